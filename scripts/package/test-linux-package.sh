#!/bin/bash
# Tests the portable Linux folder:
#   - no ELF file in it needs a newer C library than its floor
#     (cmake/packaging.cmake): the launchers none newer than GLIBC_2.2.5, the
#     C++ runtime in lib/c++ VELNO_GLIBC_CXX_FLOOR, everything else
#     VELNO_GLIBC_FLOOR; and none a newer C++ runtime than VELNO_CXX_RUNTIME;
#   - its menu entry starts the launcher beside it (GLib, as a desktop
#     does), and both menu entries are valid (desktop-file-validate);
#   - in a root that holds the base list's libraries and nothing else
#     (base-root.sh; chroot, own mount and process namespaces, the root
#     read-only):
#       every ELF file's libraries load, Qt's from the folder;
#       the launcher, told by a stand-in that the C library is older, says
#       what the system lacks in a message box (a stand-in zenity records
#       it) and, without a display, on the terminal, and starts nothing;
#       the program starts through the launcher offscreen, on X11 (Xvfb) and
#       on Wayland (weston, headless) up to the message asking to connect the
#       instrument, and without an
#       update beside the launcher, asks for the update's folder.
#
# Usage: test-linux-package.sh ARCHIVE.tar.gz PROBE.so STAND_IN.so
#   PROBE.so: libvelno_message_probe.so, which prints and answers message boxes;
#   STAND_IN.so: libvelno_reported_libc.so, a C library version of choice.
set -euo pipefail

archive=$(realpath "$1")
probe=$(realpath "$2")
stand_in=$(realpath "$3")
here=$(cd "$(dirname "$0")/../.." && pwd)
connect_message="VELNO4 NOT FOUND , PLEASE CONNECT TO USB"
setting() { sed -n "s/^set($1 \(.*\))$/\1/p" "$here/cmake/packaging.cmake"; }
glibc_floor=$(setting VELNO_GLIBC_FLOOR)
glibc_cxx_floor=$(setting VELNO_GLIBC_CXX_FLOOR)
cxx_runtime=$(setting VELNO_CXX_RUNTIME)

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
servers=()
trap '[ ${#servers[@]} = 0 ] || kill "${servers[@]}"; rm -rf "$work"' EXIT
mkdir -p "$work/folder" "$work/probe/bin" "$work/qt-probe"
tar xzf "$archive" -C "$work/folder" --strip-components=1
folder=$work/folder
cp "$stand_in" "$work/probe/"
cp "$probe" "$work/qt-probe/"
# Preloaded into the program in bin/ but not into the launcher that starts
# it: the loader reads $ORIGIN in LD_PRELOAD as the program's own folder,
# /opt/velno/bin for the program, /opt/velno for the launcher, which finds no
# /probe/libvelno_message_probe.so and goes on. The probe needs Qt, which
# the launcher cannot load.
probe_preload="\$ORIGIN/../../probe/$(basename "$probe")"

echo "== the versions of the C library and the C++ runtime each ELF file needs"
# The highest version with the prefix that the file needs (not defines).
needs() {
    readelf -V -W "$1" | awk '/^Version needs section/ { on = 1; next } /^Version/ { on = 0 }
        on && $2 == "Name:" { print $3 }' | sed -n "s/^$2//p" | sort -V | tail -1
}
at_most() { [ -z "$1" ] || [ "$(printf '%s\n' "$1" "$2" | sort -V | tail -1)" = "$2" ]; }
highest=
while IFS= read -r -d '' file; do
    file -L "$file" | grep -q ELF || continue
    name=${file#"$folder"/}
    case "$name" in
        velno-updater | velno-check) floor=2.2.5 ;;
        lib/c++/*) floor=$glibc_cxx_floor ;;
        *) floor=$glibc_floor ;;
    esac
    glibc=$(needs "$file" GLIBC_)
    at_most "$glibc" "$floor" || fail "$name needs GLIBC_$glibc, above its floor $floor"
    at_most "$(needs "$file" GLIBCXX_)" "${cxx_runtime#GLIBCXX_}" ||
        fail "$name needs GLIBCXX_$(needs "$file" GLIBCXX_), above $cxx_runtime"
    [ "$floor" != "$glibc_floor" ] || highest=$(printf '%s\n' "$highest" "$glibc" | sort -V | tail -1)
done < <(find "$folder" -type f -print0)
echo "highest GLIBC_ needed by the programs, Qt and lib/: $highest (floor $glibc_floor);" \
    "the launchers GLIBC_2.2.5, lib/c++ at most $glibc_cxx_floor, $cxx_runtime at most"

echo "== the menu entries"
desktop-file-validate "$folder/velno-updater.desktop" "$here/app/qt/resources/velno-updater.desktop"
mkdir "$work/entry"
cp "$folder/velno-updater.desktop" "$work/entry/"
printf '#!/bin/sh\necho "$0" >"%s"\n' "$work/entry/started" >"$work/entry/velno-updater"
chmod +x "$work/entry/velno-updater"
(cd / && /usr/bin/python3 "$here/scripts/package/launch-entry.py" "$work/entry/velno-updater.desktop")
for _ in $(seq 50); do [ -s "$work/entry/started" ] && break; sleep 0.1; done
[ "$(cat "$work/entry/started" 2>/dev/null)" = "$work/entry/velno-updater" ] ||
    fail "the folder's menu entry did not start the launcher beside it"

if ! unshare -m -p -f true 2>/dev/null; then
    echo "SKIP: the folder in the base-list root: no mount and process namespaces here (unshare refused)"
    exit 0
fi
status=0
root=$(bash "$here/scripts/package/base-root.sh" "$here/cmake/linux-base-libraries.txt") || status=$?
if [ "$status" = 77 ]; then
    echo "$root"
    echo "PASS (without the base-list root): the floors hold and the menu entry starts the launcher"
    exit 0
fi
[ "$status" = 0 ] || fail "no base-list root"
echo "the base-list root: $root"

# Runs "${cmd[@]}" in the root, with the environment assignments given, the
# folder at /opt/velno, the stand-ins at /probe, the message probe at
# /opt/probe; LD_PRELOAD (inside the root) from PRELOAD.
mkdir "$work/mnt"
in_root() {
    timeout 60 env -i PATH=/probe/bin:/usr/sbin:/usr/bin:/sbin:/bin QT_QPA_PLATFORM=offscreen \
        XDG_RUNTIME_DIR=/run/user XDG_CACHE_HOME=/tmp "$@" \
        unshare -m -p -f --kill-child sh -c '
            set -e
            root=$1 mnt=$2 folder=$3 probe=$4 qt_probe=$5
            shift 5
            mount --bind "$root" "$mnt" && mount -o remount,bind,ro "$mnt"
            mount --bind "$folder" "$mnt/opt/velno" && mount -o remount,bind,ro "$mnt/opt/velno"
            mount --bind "$probe" "$mnt/probe"
            mount --bind "$qt_probe" "$mnt/opt/probe"
            mount -t tmpfs tmpfs "$mnt/tmp"
            mount -t tmpfs -o mode=700 tmpfs "$mnt/run/user"
            mount -t proc proc "$mnt/proc"
            exec chroot "$mnt" /usr/bin/env LD_PRELOAD="${PRELOAD:-}" "$@"' \
        sh "$root" "$work/mnt" "$folder" "$work/probe" "$work/qt-probe" "${cmd[@]}" 2>&1 |
        grep -v "^ERROR: ld.so: object '\\\$ORIGIN/../../probe/" || true
}

echo "== the libraries of every ELF file in the root (ld.so --list, as ldd lists them)"
# Libraries and plugins find lib/ through the program's run path, which the
# loader cannot see from them alone: LD_LIBRARY_PATH stands in for it.
while IFS= read -r -d '' file; do
    file -L "$file" | grep -q ELF || continue
    cmd=(/lib64/ld-linux-x86-64.so.2 --list "/opt/velno/${file#"$folder"/}")
    listing=$(in_root LD_LIBRARY_PATH=/opt/velno/lib:/opt/velno/lib/c++)
    if grep -E 'not found|No such file' <<<"$listing"; then fail "${file#"$folder"/} lacks a library"; fi
    if grep 'libQt6' <<<"$listing" | grep -v '=> /opt/velno/'; then
        fail "a Qt library above comes from outside the folder"
    fi
done < <(find "$folder" -type f -print0)
cmd=(/lib64/ld-linux-x86-64.so.2 --list /opt/velno/bin/velno-updater)
in_root LD_LIBRARY_PATH=/opt/velno/lib/c++

echo "== the launcher on an older C library: a message box, and the terminal without a display"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >/probe/zenity.args\n' >"$work/probe/bin/zenity"
chmod +x "$work/probe/bin/zenity"
cmd=(/opt/velno/velno-updater)
output=$(in_root PRELOAD="/probe/$(basename "$stand_in")" VELNO_REPORTED_LIBC=2.31 DISPLAY=:99)
message="The VELNO updater cannot run on this system: it needs the GNU C library (glibc) $glibc_floor or later, and this system has 2.31. Debian 12, Ubuntu 22.04, Fedora 36 and later releases have it."
echo "$output"
grep -qxF "$message" "$work/probe/zenity.args" || fail "no message box said: $message"
[ "$output" = "$message" ] || fail "the terminal did not say it alone"
output=$(in_root PRELOAD="/probe/$(basename "$stand_in")" VELNO_REPORTED_LIBC=2.35)
echo "$output"
grep -q "needs the C++ runtime of GCC 12 or later (libstdc++ with $cxx_runtime), or the GNU C library (glibc) $glibc_cxx_floor" <<<"$output" ||
    fail "the launcher did not say that the C++ runtime is missing"

echo "== velno-check through the launcher"
cmd=(/opt/velno/velno-check --help)
output=$(in_root)
echo "$output" | head -1
grep -q "^usage: velno-check PACKAGE-FOLDER" <<<"$output" || fail "velno-check did not start through the launcher"

cmd=(/opt/velno/velno-updater)
echo "== the program through the launcher, offscreen: without an update the folder chooser (Cancel), with one the connect message"
output=$(in_root PRELOAD="$probe_preload")
echo "$output"
grep -q "^chooser: " <<<"$output" || fail "the program did not ask for the update's folder"
mkdir "$folder/mtmp"
output=$(in_root PRELOAD="$probe_preload")
echo "$output"
grep -qxF "message: $connect_message" <<<"$output" || fail "the program did not show \"$connect_message\""

if command -v Xvfb >/dev/null; then
    echo "== the program through the launcher on X11 (Xvfb)"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>/dev/null &
    servers+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    output=$(in_root PRELOAD="$probe_preload" QT_QPA_PLATFORM=xcb DISPLAY=":$(cat "$work/display")")
    echo "$output"
    grep -qxF "message: $connect_message" <<<"$output" || fail "the program did not show \"$connect_message\" on X11"
else
    echo "SKIP: the program on X11: no Xvfb here"
fi
if command -v weston >/dev/null; then
    echo "== the program through the launcher on Wayland (weston, headless)"
    mkdir -m 700 "$work/probe/wayland"
    XDG_RUNTIME_DIR=$work/probe/wayland weston --backend=headless-backend.so --socket=velno \
        --idle-time=0 >"$work/weston.log" 2>&1 &
    servers+=($!)
    for _ in $(seq 50); do [ -S "$work/probe/wayland/velno" ] && break; sleep 0.1; done
    output=$(in_root PRELOAD="$probe_preload" QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=/probe/wayland/velno)
    echo "$output"
    grep -qxF "message: $connect_message" <<<"$output" ||
        fail "the program did not show \"$connect_message\" on Wayland"
else
    echo "SKIP: the program on Wayland: no weston here"
fi
echo "PASS: the portable folder runs on the base list alone, and says so where the C library is older"
