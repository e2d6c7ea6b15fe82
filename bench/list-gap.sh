#!/usr/bin/env bash
# The longest wait of the window's event loop over whole update runs of
# lists of different lengths (bench/update_run.cpp: preconditions, room
# check, backup, counting pass, every entry, the drive's flush), for an
# install into an empty drive and for a re-run with everything up to date.
# Target: under 100 ms at every length.
#
# Usage: bench/list-gap.sh [ram|fuse] [ENTRIES...]   (defaults: ram; 100 1000 10000 100000)
#   ram:  a tmpfs volume, which reports its room: the room check runs, on
#         the re-run both its passes (the volume is sized so that the
#         staged files would not all fit again as new files).
#   fuse: a 2 GiB FAT32 image mounted with fusefat (its figure of the room
#         fits every list here, so the check's first pass runs). Each
#         re-run's volume is filled with mtools before it is mounted; the
#         install runs up to 1,000 entries (fusefat slows down as its volume
#         fills: 2,000 files take 15 s, 10,000 about 20 minutes).
# The entries are 1 KiB files, 500 to a folder (at least 20 folders).
# Needs root (a private mount namespace) and, for fuse, fusefat.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
kind=${1:-ram}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 1000 10000 100000)

if [ "$(id -u)" -ne 0 ] || { [ "$kind" = fuse ] && ! command -v fusefat >/dev/null; }; then
    echo "event-loop gap by list length: skipped (needs root, and fusefat for fuse)"
    exit 0
fi
# The volumes are mounted where nothing else on the machine sees them.
if [ -z "${VELNO_LIST_GAP_PRIVATE:-}" ]; then
    exec env VELNO_LIST_GAP_PRIVATE=1 unshare -m --propagation private bash "$0" "$kind" "${sizes[@]}"
fi
# shellcheck source-path=SCRIPTDIR
source "$here/staging.sh"

# VELNO_UPDATE_RUN: another build's benchmark program, to compare with.
update_run=${VELNO_UPDATE_RUN:-$repo/build/release/bench/velno_bench_update_run}
if [ -z "${VELNO_UPDATE_RUN:-}" ]; then
    (cd "$repo" && cmake --preset release >/dev/null &&
        cmake --build --preset release --target velno_bench_update_run >/dev/null)
fi

work=$(mktemp -d /var/tmp/velno-list-gap.XXXXXX)
volume=$work/volume
mkdir -p "$volume"
cleanup() {
    for _ in $(seq 20); do
        mountpoint -q "$volume" || break
        umount "$volume" 2>/dev/null || sleep 0.5
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_volume() {  # mount_volume ENTRIES FILL_TREE(0|1)
    if [ "$kind" = ram ]; then
        mount -t tmpfs -o size=$(($1 * 6 + 64))k velno "$volume"
        mkdir -p "$volume/system"
        [ "$2" = 0 ] || cp -a "$work/tree/system/." "$volume/system/"
    else
        rm -f "$work/image"
        truncate -s 2G "$work/image"
        mkfs.fat -F 32 -n VELNO -i 1A2B3C4D "$work/image" >/dev/null
        MTOOLS_SKIP_CHECK=1 mmd -i "$work/image" ::/system
        [ "$2" = 0 ] || velno_fill_image "$work/image" "$work/tree"
        fusefat -o "rw+,fsname=$work/image" "$work/image" "$volume" >/dev/null 2>&1
    fi
}

# run CASE ENTRIES: one run, one line of figures.
run() {
    local load
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    "$update_run" "$volume" "$work/app" >"$work/run.out"
    awk -v c="$1" -v n="$2" -v load="$load" '
        { v[$1] = $2 }
        END { printf "%-8s %7d %9.3f s %9.1f ms %10s %8d   %s\n", c, n, v["seconds"],
              v["longest-gap-ms"], v["longest-gap-before-turn"], v["turns"], load }' \
        "$work/run.out"
}

echo "machine: $(nproc) cores, volume: $kind, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %7s %11s %12s %10s %8s   %s\n' case entries time "longest gap" "before turn" turns \
    "load average"
for entries in "${sizes[@]}"; do
    folders=$(((entries + 499) / 500))
    [ "$folders" -ge 20 ] || folders=20
    velno_stage_list "$work/app" "$work/tree" rerun "$entries" "$folders" 1024
    if [ "$kind" = ram ] || [ "$entries" -le 1000 ]; then
        mount_volume "$entries" 0
        run install "$entries"
        umount "$volume"
    fi
    mount_volume "$entries" 1
    run re-run "$entries"
    umount "$volume"
done
