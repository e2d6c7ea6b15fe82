#!/usr/bin/env bash
# Prints the longest time the window's event loop would wait while one
# large file is copied onto a FAT32 volume mounted with FUSE and the drive
# is then flushed (needs root, /dev/fuse and fusefat, else skipped).
#
# Usage: bench/event-gap.sh [BUILD_DIR] [MIB]
# BUILD_DIR defaults to build-bench in the repository (configured Release
# when new); MIB to 1024.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build_dir=${1:-$repo/build-bench}
mib=${2:-1024}

if [ "$(id -u)" -ne 0 ] || [ ! -c /dev/fuse ] || ! command -v fusefat >/dev/null; then
    echo "event-loop gap on FAT32 over FUSE: skipped (needs root, /dev/fuse and fusefat)"
    exit 0
fi
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build_dir" --target velno_bench_event_gap -j2 >/dev/null

# The image lives on disk, as a device's content would; the staged file in
# a folder of its own.
work=$(mktemp -d /var/tmp/velno-gap.XXXXXX)
cleanup() {
    # The daemon may still be writing its image out for a moment.
    for _ in $(seq 20); do
        mountpoint -q "$work/fat32" || break
        fusermount3 -u "$work/fat32" 2>/dev/null || sleep 0.5
    done
    rm -rf "$work"
}
trap cleanup EXIT
truncate -s $((mib + 256))M "$work/image"
mkfs.fat -F 32 -n VELNO -i 1A2B3C4D "$work/image" >/dev/null
mkdir "$work/fat32" "$work/staging"
fusefat -o "rw+,fsname=$work/image" "$work/image" "$work/fat32" >/dev/null 2>&1

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
${VELNO_BENCH_WRAP:-} "$build_dir/bench/velno_bench_event_gap" "$work/fat32" "$work/staging" "$mib"
