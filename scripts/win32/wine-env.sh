# Sourced by the Wine rig scripts: where the prefix and its drives live.
#
# The prefix holds drive E:, a fixed FAT32 volume labelled VELNO with serial
# 1A2B3C4D (the instrument), and drive F:, a removable volume with the same
# label and file system, which detection must pass over.

export WINEPREFIX="${VELNO_WINEPREFIX:-${HOME:-/root}/.cache/velno-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs when the prefix is created, and no
# debugger that would wait forever when a program crashes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"

VELNO_DRIVES_DIR="$WINEPREFIX/velno-drives"
VELNO_DRIVE_E="$VELNO_DRIVES_DIR/e"
VELNO_DRIVE_F="$VELNO_DRIVES_DIR/f"
# The volume's boot sector, kept in the drive's folder as a hidden file.
VELNO_VOLUME_FILE=".velno-volume"
VELNO_RIG_MARKER="$WINEPREFIX/.velno-rig-ready"
VELNO_RIG_VERSION=2

# Wine's own loaders. /usr/bin/wine always starts the 32-bit one when it is
# installed, even for a 64-bit program, and a kernel that cannot execute
# 32-bit x86 programs refuses it ("Exec format error"). The rig therefore
# starts 64-bit programs with the 64-bit loader itself.
VELNO_WINE64=/usr/lib/wine/wine64
VELNO_WINE32=/usr/lib/wine/wine

# Succeeds when this machine can execute 32-bit x86 programs: the 32-bit
# dynamic loader is itself such a program. VELNO_PRETEND_NO_32BIT=1 makes
# the rig behave as on a machine that cannot.
velno_can_run_32bit() {
    [ -z "${VELNO_PRETEND_NO_32BIT:-}" ] || return 1
    [ -x "$VELNO_WINE32" ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Prints the Wine loader for a Windows program: the 64-bit loader for a
# PE32+ (x86-64) program, the 32-bit loader for anything else.
velno_wine_for() {  # program.exe
    local header machine
    header="$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')"
    machine="$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')"
    if [ "$machine" = 8664 ]; then
        echo "$VELNO_WINE64"
    else
        echo "$VELNO_WINE32"
    fi
}
