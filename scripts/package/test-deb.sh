#!/bin/bash
# Tests the Debian package's program as installed, on this machine's own Qt
# (Debian's, which the package depends on): its files unpacked as dpkg puts
# them, its menu entry valid and its icon there; then, with the entry opened
# on an update's folder as "Open With" does (GLib), the program updates a
# FAT32 instrument (FUSE, in a mount namespace of its own) from that
# folder's mtmp on a virtual display (Xvfb, xdotool).
#
# Usage: test-deb.sh PACKAGE.deb
set -euo pipefail

deb=$(realpath "$1")
here=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${VELNO_IN_NAMESPACE:-}" != 1 ]; then
    if [ "$(id -u)" != 0 ] || [ ! -e /dev/fuse ] || ! command -v fusefat >/dev/null; then
        echo "SKIP: the installed program's update run: it needs root and FUSE (fusefat)"
        exit 0
    fi
    exec env VELNO_IN_NAMESPACE=1 unshare -m --propagation private bash "$0" "$@"
fi
# shellcheck source-path=SCRIPTDIR
source "$here/scripts/demo/instrument.sh"
velno_trap_cleanup
work=$(mktemp -d)
installed=$work/installed
dpkg-deb -x "$deb" "$installed"

echo "== the menu entry and its icon"
entry=$installed/usr/share/applications/velno-updater.desktop
desktop-file-validate "$entry"
icon=$(sed -n 's/^Icon=//p' "$entry")
ls "$installed"/usr/share/icons/hicolor/*/apps/"$icon".* >/dev/null || fail "no icon $icon in the package"
grep -qx 'MimeType=inode/directory;' "$entry" || fail "the menu entry is not offered for folders"

echo "== an update run from a folder the menu entry is opened on"
mount_dir=$work/instrument
velno_make_image "$work/velno.img" "$work/scratch"
velno_mount "$work/velno.img" "$mount_dir"
velno_stage_update "$work/update" 3
velno_runtime_dir "$work"
velno_start_xvfb "$work"
PATH=$installed/usr/bin:$PATH /usr/bin/python3 "$here/scripts/package/launch-entry.py" "$entry" "$work/update"
window=
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^VELNO4 updater' 2>/dev/null | head -n1) && [ -n "$window" ] && break
    sleep 0.05
done
[ -n "$window" ] || fail "the program's window never showed"
updater_pid=$(xdotool getwindowpid "$window")
velno_wait_state "$window" ready "$work/ready.png" 30
velno_click "$window" "${VELNO_START_BUTTON[@]}"
velno_wait_state "$window" completed "$work/completed.png" 120
for file in system/voices/voices.lst system/voices/piano.bin system/styles/S003.sty; do
    cmp "$work/update/mtmp/$(basename "$file")" "$mount_dir/$file" || fail "$file was not installed"
done
velno_click "$window" "${VELNO_EXIT_BUTTON[@]}"
wait_for=$updater_pid
for _ in $(seq 100); do kill -0 "$wait_for" 2>/dev/null || break; sleep 0.05; done
! kill -0 "$wait_for" 2>/dev/null || fail "the program did not end at Exit"
updater_pid=
echo "PASS: the installed program runs an update from the folder its menu entry is opened on"
