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
