#!/bin/bash
# Smoke test of velno-updater.exe on the Wine rig, on an X display (Xvfb):
# stages an update beside the program, starts it, finds its window by the
# caption with the instrument's serial number, presses "Start Updating" with
# the mouse, answers every message box by mouse, presses "Exit", and checks
# the files on drive E: afterwards, and the exit status: 0 after Exit,
# non-zero after a failed precondition. Keeps a screenshot of the completed
# window.
#
# usage: smoke-test.sh PROGRAM.exe NAME SCREENSHOT.png
# Needs DISPLAY (an X server without window manager is fine), xdotool and
# ImageMagick's import.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
program="$1"
name="$2"
screenshot="$3"
: "${DISPLAY:?smoke-test.sh needs an X display}"

"$here/prepare-prefix.sh"

wine="$(velno_wine_for "$program")"
caption='VELNO4 updater     Serial N.  1A2B3C4D'
e="$VELNO_DRIVE_E"
staging_windows="C:\\velno-smoke-$name"
staging="$WINEPREFIX/drive_c/velno-smoke-$name"
failures=0
fail() {
    echo "smoke test $name: FAILED: $*" >&2
    failures=$((failures + 1))
}

# The instrument as it is before the update: a memory image in the root, the
# start-up settings, an installed file older than the staged one, one newer,
# and one the list deletes. Only the volume's hidden boot-sector file stays.
find "$e" -mindepth 1 -maxdepth 1 ! -name "$VELNO_VOLUME_FILE" -exec rm -rf {} +
mkdir -p "$e/system/init" "$e/system/data"
echo "factory" >"$e/system/init/startup.ini"
echo "image 1" >"$e/Veln4main.mem"
echo "installed b" >"$e/system/data/b.bin"
touch -d '2020-01-01 10:00:00' "$e/system/data/b.bin"
echo "installed c, newer" >"$e/system/data/c.bin"
touch -d '2024-06-01 10:00:00' "$e/system/data/c.bin"
echo "to delete" >"$e/system/data/old.bin"

# The update beside the program: staged files and the position list.
rm -rf "$staging"
mkdir -p "$staging/mtmp"
cp "$program" "$staging/velno-updater.exe"
echo "staged a" >"$staging/mtmp/a.bin"
echo "staged b" >"$staging/mtmp/b.bin"
echo "staged c, older" >"$staging/mtmp/c.bin"
echo "staged d" >"$staging/mtmp/d.bin"
touch -d '2023-03-03 12:00:01' "$staging/mtmp/"*.bin
touch -d '2019-01-01 10:00:00' "$staging/mtmp/c.bin"
printf '%s\r\n' '\system\data\a.bin' '\system\data\b.bin' '\system\data\c.bin' \
    '-\system\data\old.bin' '\system\new\d.bin' '\system\new2\missing.bin' \
    '\..\..\..\system\data\e.bin' | head -c -2 >"$staging/mtmp/position.txt"
cp "$staging/mtmp/a.bin" "$staging/mtmp/e.bin"

# Waits for a visible window whose name matches; prints its id.
wait_window() {  # regex seconds
    local deadline=$((SECONDS + $2)) id
    while [ $SECONDS -lt $deadline ]; do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)"
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.5
    done
    return 1
}

# Clicks at a point of a window, given in pixels from its top-left corner
# (without a window manager the X window is the client area).
click_in() {  # window x y
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove "$((X + $2))" "$((Y + $3))" click 1
}

# Answers a message box with one button (OK) by clicking it: the button
# stands centred near the bottom edge.
answer_box() {  # window
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT - 21))" click 1
}

messages=0
answered=""
log="$(mktemp)"
(cd "$staging" && exec "$wine" "$staging_windows\\velno-updater.exe") >"$log" 2>&1 &
pid=$!

if ! window="$(wait_window "^${caption}\$" 60)"; then
    fail "no window with the caption \"$caption\""
    cat "$log" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
fi
echo "smoke test $name: window \"$caption\" found"
sleep 1
# "Start Updating": Command1 index 0 at 24, 152, 121 x 33 pixels.
click_in "$window" 84 168

# The run: answer each message box ("File missing.bin not found") until
# the system folder is hidden again, which is the run's last change.
deadline=$((SECONDS + 90))
completed=0
while [ $SECONDS -lt $deadline ]; do
    if box="$(xdotool search --onlyvisible --name '^VELNO updater$' 2>/dev/null | head -n 1)" &&
        [ -n "$box" ]; then
        # A box stays on screen for a moment after its click: count each
        # box once, and click again only if it does not go.
        case " $answered " in
            *" $box "*) ;;
            *)
                answered="$answered $box"
                messages=$((messages + 1))
                echo "smoke test $name: answering message box $messages"
                ;;
        esac
        sleep 0.5
        answer_box "$box"
        sleep 1
        continue
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
        break
    fi
    if [ -f "$e/system/data/e.bin" ] && [ ! -f "$e/system/new2/missing.bin" ] && [ $messages -ge 1 ]; then
        completed=1
        sleep 2
        break
    fi
    sleep 0.5
done
[ $completed = 1 ] || fail "the run did not complete"

mkdir -p "$(dirname "$screenshot")"
if import -window root -crop "$(xdotool getwindowgeometry --shell "$window" |
    awk -F= '/WIDTH/{w=$2} /HEIGHT/{h=$2} /^X/{x=$2} /^Y/{y=$2} END{printf "%dx%d+%d+%d", w, h, x, y}')" \
    +repage "$screenshot" 2>/dev/null; then
    echo "smoke test $name: screenshot $screenshot"
else
    fail "no screenshot"
fi

# Waits for the program to end and checks its exit status: "zero" or
# "non-zero".
expect_exit() {  # expected when
    local status=0
    for _ in $(seq 1 40); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "the program did not end $2"
        kill "$pid" 2>/dev/null || true
        return
    fi
    wait "$pid" || status=$?
    case "$1:$status" in
        zero:0 | non-zero:[1-9]*) ;;
        *) fail "the program ended $2 with status $status" ;;
    esac
}

# "Exit": Command1 index 1 at 416, 152, 121 x 33 pixels.
click_in "$window" 476 168
expect_exit zero "on Exit"

# The instrument afterwards.
expect_file() {  # path contents
    if [ ! -f "$e/$1" ]; then
        fail "E:/$1 is missing"
    elif [ "$(cat "$e/$1")" != "$2" ]; then
        fail "E:/$1 holds \"$(cat "$e/$1")\", not \"$2\""
    fi
}
expect_gone() {
    [ ! -e "$e/$1" ] || fail "E:/$1 is still there"
}
expect_file system/OldRel/Veln4main.mem "image 1"
expect_gone Veln4main.mem
expect_gone system/init/startup.ini
expect_file system/data/a.bin "staged a"
expect_file system/data/b.bin "staged b"
expect_file system/data/c.bin "installed c, newer"
expect_file system/data/e.bin "staged a"
expect_gone system/data/old.bin
expect_file system/new/d.bin "staged d"
[ -d "$e/system/new2" ] || fail "E:/system/new2 was not created"
expect_gone system/new2/missing.bin
[ "$(stat -c %Y "$e/system/data/a.bin")" = "$(stat -c %Y "$staging/mtmp/a.bin")" ] ||
    fail "E:/system/data/a.bin does not carry the staged time"
[ "$messages" = 1 ] || fail "$messages message boxes instead of 1"
leftovers="$(find "$e" -name '~velno-copy-*' | wc -l)"
[ "$leftovers" = 0 ] || fail "$leftovers temporary files left on E:"
attributes="$("$wine" cmd /c attrib 'E:\system' 2>/dev/null | tr -d '\r')"
case "$attributes" in
    *H*S*E:\\system* | *S*H*E:\\system*) ;;
    *) fail "E:\\system is not hidden and system: $attributes" ;;
esac

# A start beside no update: the run stops at its first precondition with a
# message, and the program ends with a failure status.
empty_windows="C:\\velno-smoke-$name-empty"
empty="$WINEPREFIX/drive_c/velno-smoke-$name-empty"
rm -rf "$empty"
mkdir -p "$empty"
cp "$program" "$empty/velno-updater.exe"
(cd "$empty" && exec "$wine" "$empty_windows\\velno-updater.exe") >"$log" 2>&1 &
pid=$!
if window="$(wait_window "^${caption}\$" 60)"; then
    sleep 1
    click_in "$window" 84 168
    if box="$(wait_window '^VELNO updater$' 30)"; then
        sleep 0.5
        answer_box "$box"
    else
        fail "no message box without an update"
    fi
else
    fail "no window on the start without an update"
fi
expect_exit non-zero "after the failed precondition"
rm -rf "$empty"

rm -f "$log"
if [ $failures -ne 0 ]; then
    exit 1
fi
echo "smoke test $name: passed"
