#!/usr/bin/env bash
# The longest wait of the real window, seen from outside the program: the
# program runs under Xvfb and re-runs a list of ENTRIES entries, all up to
# date, on a FAT32 image mounted with fusefat (filled with mtools before it
# is mounted); meanwhile bench/window_ping.cpp pings the window as a window
# manager does (_NET_WM_PING) and prints the longest wait for an answer.
# Then the same re-run through bench/update_run.cpp gives the program's own
# figure for comparison. Target: under 100 ms.
#
# Usage: bench/window-gap.sh [ENTRIES]   (default 10000; 1 KiB files, 500 to a folder)
# Needs root (a private mount namespace), fusefat and Xvfb.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
entries=${1:-10000}

if [ "$(id -u)" -ne 0 ] || ! command -v fusefat >/dev/null || ! command -v Xvfb >/dev/null; then
    echo "window gap seen from outside: skipped (needs root, fusefat and Xvfb)"
    exit 0
fi
# The program updates the first VELNO volume it finds: only this one is
# mounted where it looks.
if [ -z "${VELNO_WINDOW_GAP_PRIVATE:-}" ]; then
    exec env VELNO_WINDOW_GAP_PRIVATE=1 unshare -m --propagation private bash "$0" "$entries"
fi
# shellcheck source-path=SCRIPTDIR/../scripts/demo
source "$repo/scripts/demo/instrument.sh"
# shellcheck source-path=SCRIPTDIR
source "$here/staging.sh"

velno_trap_cleanup
# VELNO_BUILD_DIR: another build's program and benchmark, to compare with.
build_dir=${VELNO_BUILD_DIR:-$repo/build/release}
[ -n "${VELNO_BUILD_DIR:-}" ] ||
    velno_build "$repo" velno-updater velno_bench_window_ping velno_bench_update_run >/dev/null
ping=$repo/build/release/bench/velno_bench_window_ping

work=$(mktemp -d /var/tmp/velno-window-gap.XXXXXX)
mount_dir=$work/instrument
velno_runtime_dir "$work"
folders=$(((entries + 499) / 500))
[ "$folders" -ge 20 ] || folders=20
velno_stage_list "$work/updater" "$work/tree" rerun "$entries" "$folders" 1024
truncate -s 2G "$work/velno.img"
mkfs.fat -F 32 -n VELNO -i 1A2B3C4D "$work/velno.img" >/dev/null
MTOOLS_SKIP_CHECK=1 mmd -i "$work/velno.img" ::/system
velno_fill_image "$work/velno.img" "$work/tree"
velno_mount "$work/velno.img" "$mount_dir"
cp "$build_dir/app/qt/velno-updater" "$work/updater/"
velno_display_works || velno_start_xvfb "$work"

echo "re-run of $entries entries, up to date, on FAT32 ($VELNO_MOUNT_KIND mount)"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$work/updater/velno-updater" &
updater_pid=$!
window=$(velno_window_id "$updater_pid")
"$ping" "$window" "$work/stop" >"$work/ping.out" &
ping_pid=$!
started=$SECONDS
sleep 1
velno_click "$window" "${VELNO_START_BUTTON[@]}"
# One look a second, so that the screenshots take next to nothing from the
# run.
state=""
while [ "$state" != completed ] && [ $((SECONDS - started)) -lt 900 ]; do
    sleep 1
    velno_shot "$window" "$work/shot.png" 2>/dev/null || continue
    read -r state _ < <(velno_state "$work/shot.png")
done
touch "$work/stop"
wait "$ping_pid"
echo "the window, pinged from outside: $(cat "$work/ping.out")"
velno_click "$window" "${VELNO_EXIT_BUTTON[@]}"
wait "$updater_pid" || true
updater_pid=""
[ "$state" = completed ] || { echo "the run did not complete" >&2; exit 1; }

echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$build_dir/bench/velno_bench_update_run" "$mount_dir" "$work/updater" |
    awk '{ v[$1] = $2 } END { printf "the same re-run, own figure: %.3f s, longest gap %.1f ms (before turn %d of %d)\n",
         v["seconds"], v["longest-gap-ms"], v["longest-gap-before-turn"], v["turns"] }'
