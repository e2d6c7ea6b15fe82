#!/bin/bash
# Unpacks the portable Linux folder into a root that holds nothing but the
# folder and the base system's libraries it needs (cmake/linux-base-libraries.txt),
# then, inside that root (chroot, own mount and process namespaces, no Qt):
#   - lists the program's libraries with the dynamic loader (what ldd shows)
#     and requires every Qt library to come from the folder;
#   - starts the program under QT_QPA_PLATFORM=offscreen, and on X11 with
#     Xvfb, and requires the message asking to connect the instrument.
# A root built this way proves the folder complete: a library the folder
# lacks and the base system does not provide is either refused while the
# root is built or missing when the program loads.
#
# Usage: test-linux-package.sh ARCHIVE.tar.gz PROBE.so
#   PROBE.so: libvelno_message_probe.so, which prints and answers message boxes.
set -euo pipefail

archive=$(realpath "$1")
probe=$(realpath "$2")
here=$(cd "$(dirname "$0")/../.." && pwd)
base_list="$here/cmake/linux-base-libraries.txt"
connect_message="VELNO4 NOT FOUND , PLEASE CONNECT TO USB"

if ! unshare -m -p -f true 2>/dev/null && ! unshare -r -m -p -f true 2>/dev/null; then
    echo "SKIP: no mount and process namespaces here (unshare refused); the package cannot be run in a root of its own"
    exit 0
fi

work=$(mktemp -d)
xvfb_pid=
trap '[ -z "$xvfb_pid" ] || kill "$xvfb_pid"; rm -rf "$work"' EXIT
root="$work/root"
app=/opt/velno
mkdir -p "$root$app" "$root/tmp" "$root/proc" "$root/probe" "$root/etc" "$root/run/user"
chmod 700 "$root/run/user"
tar xzf "$archive" -C "$root$app" --strip-components=1
cp "$probe" "$root/probe/"
folder="$root$app"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Every library the folder's programs and plugins need from outside the
# folder must be a base-system library; those are copied into the root.
# Libraries and plugins find the folder's lib/ through the program's run
# path, which ldd cannot see from them: LD_LIBRARY_PATH stands in for it.
patterns=$(grep -v '^#' "$base_list" | grep -v '^$')
declare -A outside=()
while IFS= read -r -d '' object; do
    file -L "$object" | grep -q ELF || continue
    while read -r name _ path _; do
        [ "$path" != not ] || fail "$(basename "$object") needs $name, which is nowhere"
        [[ "$path" == /* ]] || continue
        case "$path" in "$folder"/*) continue ;; esac
        grep -qEf <(echo "$patterns") <<<"$name" ||
            fail "$(basename "$object") needs $name ($path), which is neither in the folder nor a base-system library"
        outside["$path"]=1
    done < <(LD_LIBRARY_PATH="$folder/lib" ldd "$object" | grep '=>')
done < <(find "$folder" -type f -print0)

for path in "${!outside[@]}" /lib64/ld-linux-x86-64.so.2; do
    mkdir -p "$root$(dirname "$path")"
    cp -L "$path" "$root$path"
done
# Fonts are part of the base system too.
mkdir -p "$root/usr/share/fonts/truetype"
cp -r /etc/fonts "$root/etc/" 2>/dev/null || true
cp -r /usr/share/fonts/truetype/dejavu "$root/usr/share/fonts/truetype/" 2>/dev/null || true

if find "$root" -path "$folder" -prune -o -name 'libQt6*' -print | grep -q .; then
    fail "a Qt library lies outside the folder in the test root"
fi

# Runs cmd (with the environment assignments given; PROBE is preloaded into
# the command) in the root, with /proc
# mounted, in namespaces that end with it.
in_root() {
    local user=()
    [ "$(id -u)" = 0 ] || user=(-r)
    timeout 60 env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/run/user \
        XDG_CACHE_HOME=/tmp "$@" unshare "${user[@]}" -m -p -f --kill-child sh -c \
        'mount -t proc proc "$0/proc" && export LD_PRELOAD="$PROBE" && exec chroot "$0" "$@"' \
        "$root" "${cmd[@]}"
}

echo "== libraries of the program in the test root (ld.so --list, as ldd lists them)"
cmd=(/lib64/ld-linux-x86-64.so.2 --list "$app/velno-updater")
listing=$(in_root)
echo "$listing"
if grep -q 'not found' <<<"$listing"; then fail "a library is missing"; fi
qt_lines=$(grep 'libQt6' <<<"$listing" || true)
[ -n "$qt_lines" ] || fail "the program loads no Qt library"
if grep -v "=> $app/lib/" <<<"$qt_lines"; then fail "a Qt library above comes from outside the folder"; fi

echo "== the program under QT_QPA_PLATFORM=offscreen"
cmd=("$app/velno-updater")
# chroot itself cannot load the probe, which exists only inside the root.
output=$(in_root PROBE="/probe/$(basename "$probe")" 2>&1 | grep -v "^ERROR: ld.so: object '/probe/" || true)
echo "$output"
grep -qxF "message: $connect_message" <<<"$output" || fail "the program did not show \"$connect_message\""

# The X11 platform plugin owners use, on a virtual display (its abstract
# socket is reachable from the root).
if command -v Xvfb >/dev/null; then
    echo "== the program on X11 (Xvfb)"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    output=$(in_root PROBE="/probe/$(basename "$probe")" QT_QPA_PLATFORM=xcb \
        DISPLAY=":$(cat "$work/display")" 2>&1 | grep -v "^ERROR: ld.so: object '/probe/" || true)
    echo "$output"
    grep -qxF "message: $connect_message" <<<"$output" || fail "the program did not show \"$connect_message\" on X11"
else
    echo "SKIP: the program on X11: no Xvfb here"
fi
echo "PASS: the portable folder runs with Qt from the folder only"
