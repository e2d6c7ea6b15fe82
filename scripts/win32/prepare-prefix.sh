#!/bin/bash
# Prepares the Wine prefix for the Windows tests: creates it when missing and
# sets up drive E: (fixed, FAT32, label VELNO, serial 1A2B3C4D) and drive F:
# (removable, FAT32, label VELNO). Idempotent; safe to call from parallel
# test runs (the first one prepares, the others wait).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9

if [ -f "$VELNO_RIG_MARKER" ] && [ "$(cat "$VELNO_RIG_MARKER")" = "$VELNO_RIG_VERSION" ]; then
    exit 0
fi

# Writes the first 2 KiB of a fresh FAT32 image: Wine reads the volume's
# label, file system and serial number from that boot sector.
make_volume_file() {  # folder label serial
    local image
    image="$(mktemp)"
    rm -f "$image"
    mkfs.fat -C -F 32 -s 1 -n "$2" -i "$3" "$image" 40000 >/dev/null 2>&1
    head -c 2048 "$image" >"$1/$VELNO_VOLUME_FILE"
    rm -f "$image"
}

echo "Preparing Wine prefix $WINEPREFIX" >&2
# The 64-bit loader sets the prefix up, so that a machine without 32-bit
# support still gets a working prefix for the 64-bit program.
"$VELNO_WINE64" wineboot -i >/dev/null 2>&1 || true
wineserver -w

# Drive types live in the registry; change them while Wine runs, then stop it
# before the drive links change.
for drive in e:=hd f:=floppy; do
    "$VELNO_WINE64" reg add 'HKLM\Software\Wine\Drives' /v "${drive%%=*}" /d "${drive#*=}" /f \
        /reg:64 >/dev/null 2>&1
done
wineserver -w

mkdir -p "$VELNO_DRIVE_E" "$VELNO_DRIVE_F"
make_volume_file "$VELNO_DRIVE_E" VELNO 1A2B3C4D
make_volume_file "$VELNO_DRIVE_F" VELNO 0BADF00D
ln -sfn "$VELNO_DRIVE_E" "$WINEPREFIX/dosdevices/e:"
ln -sfn "$VELNO_DRIVE_E/$VELNO_VOLUME_FILE" "$WINEPREFIX/dosdevices/e::"
ln -sfn "$VELNO_DRIVE_F" "$WINEPREFIX/dosdevices/f:"
ln -sfn "$VELNO_DRIVE_F/$VELNO_VOLUME_FILE" "$WINEPREFIX/dosdevices/f::"

echo "$VELNO_RIG_VERSION" >"$VELNO_RIG_MARKER"
