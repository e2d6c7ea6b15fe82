#!/usr/bin/env bash
# Measures what reading every copy back from the device costs, in percent
# of an unverified copy: on a tmpfs folder and on a FAT32 volume mounted
# with FUSE (as the tests do; needs root and /dev/fuse, else skipped).
#
# Usage: bench/copy-verify.sh [BUILD_DIR] [MIB] [RUNS]
# BUILD_DIR defaults to build-bench in the repository (configured Release
# when new).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build_dir=${1:-$repo/build-bench}
mib=${2:-32}
runs=${3:-5}

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build_dir" --target velno_bench_copy -j2 >/dev/null
bench=$build_dir/bench/velno_bench_copy

work=$(mktemp -d /dev/shm/velno-copy.XXXXXX)
cleanup() {
    if mountpoint -q "$work/fat32"; then
        fusermount3 -u "$work/fat32" 2>/dev/null || umount "$work/fat32"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
mkdir "$work/tmpfs"
"$bench" "$work/tmpfs" "$mib" "$runs"

if [ "$(id -u)" -ne 0 ] || [ ! -c /dev/fuse ] || ! command -v fusefat >/dev/null; then
    echo "FAT32 over FUSE: skipped (needs root, /dev/fuse and fusefat)"
    exit 0
fi
# The image lives on disk, as a device's content would.
image=$(mktemp /var/tmp/velno-copy.XXXXXX.img)
trap 'cleanup; rm -f "$image"' EXIT
truncate -s 1G "$image"
mkfs.fat -F 32 -n VELNO -i 1A2B3C4D "$image" >/dev/null
mkdir "$work/fat32"
fusefat -o "rw+,fsname=$image" "$image" "$work/fat32" >/dev/null 2>&1
"$bench" "$work/fat32" "$mib" "$runs"
