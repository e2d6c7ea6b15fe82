#!/usr/bin/env bash
# Measures the program on the demonstration instrument: start-up to the
# first shown window (several starts), and peak memory over a whole update
# run. Prints the figures; targets: start-up under 150 ms, peak memory
# under 60 MB.
#
# Usage: bench/run-bench.sh [RUNS] [slow]
# Builds and measures the release preset's program (build/release). With
# "slow", another FAT32 volume (labelled DATA) is mounted with fusefat
# before the instrument and kept busy with writes meanwhile, so that
# detection meets a slow FUSE volume first.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
# shellcheck source-path=SCRIPTDIR/../scripts/demo
source "$repo/scripts/demo/instrument.sh"

build_dir=$repo/build/release
runs=${1:-15}
slow=${2:-}
slow_dir=""
writer_pid=""

velno_trap_cleanup
stop_slow_volume() {
    [ -z "$writer_pid" ] || { kill "$writer_pid" 2>/dev/null; wait "$writer_pid" 2>/dev/null || true; }
    [ -z "$slow_dir" ] || VELNO_MOUNT_KIND=fuse velno_unmount "$slow_dir" || true
    writer_pid="" slow_dir=""
}
trap 'status=$?; stop_slow_volume; (exit $status); velno_cleanup' EXIT

velno_install_packages
velno_build "$repo" velno-updater velno_bench_startup >/dev/null
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build_dir/CMakeCache.txt")

work=$(mktemp -d /tmp/velno-bench.XXXXXX)
mount_dir=$work/instrument
velno_runtime_dir "$work"
if [ "$slow" = slow ]; then
    slow_dir=$work/data
    truncate -s 1G "$work/data.img"
    mkfs.fat -F 32 -n DATA "$work/data.img" >/dev/null
    mkdir -p "$slow_dir"
    fusefat -o "rw+,fsname=$work/data.img" "$work/data.img" "$slow_dir" >/dev/null 2>&1
    # New files only: fusefat corrupts its volume when a file is rewritten.
    (
        i=0
        while :; do
            i=$((i + 1))
            printf '%4096s' "$i" >"$slow_dir/f$i"
            if [ $((i % 500)) = 0 ]; then rm -f "$slow_dir"/f*; fi
        done
    ) &
    writer_pid=$!
fi
velno_make_image "$work/velno.img" "$work/scratch"
velno_mount "$work/velno.img" "$mount_dir"
mkdir -p "$work/updater"
cp "$build_dir/app/qt/velno-updater" "$work/updater/"
velno_stage_update "$work/updater"
program=$work/updater/velno-updater

velno_display_works || velno_start_xvfb "$work"
echo "velno-updater ($build_type build) on the demonstration instrument ($VELNO_MOUNT_KIND mount), display $DISPLAY"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

[ -z "$slow_dir" ] || echo "a busy FAT32 volume labelled DATA mounted with fusefat before the instrument"
"$build_dir/bench/velno_bench_startup" "$runs" "VELNO4 updater" "$program"
stop_slow_volume

# One whole update run: the most memory the program ever holds.
"$program" &
updater_pid=$!
window=$(velno_window_id "$updater_pid")
velno_click "$window" "${VELNO_START_BUTTON[@]}"
velno_wait_state "$window" completed "$work/completed.png" 300
peak_kib=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$updater_pid/status")
velno_click "$window" "${VELNO_EXIT_BUTTON[@]}"
wait "$updater_pid" || true
updater_pid=""
entries=$(grep -c . "$work/updater/mtmp/position.txt")
awk -v kib="$peak_kib" -v entries="$entries" 'BEGIN {
    printf "peak memory over a whole run (%d entries, 24 MiB file): %.1f MiB (%.1f MB)\n",
        entries, kib / 1024, kib * 1.024 / 1000 }'
