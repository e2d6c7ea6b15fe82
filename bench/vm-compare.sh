#!/usr/bin/env bash
# The install and re-run comparisons of bench/compare.sh on a FAT32 volume of
# the kernel's own vfat driver, mounted with a desktop's options and written
# as its ordinary user, inside the VM of scripts/vfat/run-in-vm.sh. Each
# figure is the median of RUNS runs:
#   - install 200 x 64 KiB in 4 folders, against cp --preserve=timestamps + sync,
#     and against the same made as careful as the updater by hand: cp, sync,
#     each copy dropped from the cache, then compared with cmp;
#   - install one 16 MiB file, the same way (the VM's volume holds 64 MiB);
#   - a re-run with 1,000 entries up to date, against rsync -rt --update + sync;
#   - what reading each copy back costs (velno_bench_copy, 8 MiB).
# Without KVM the VM is emulated: every figure is the emulator's, slower
# than a real machine's by far; the ratios are what compare.
#
# Usage: bench/vm-compare.sh [RUNS]   (default 5)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
runs=${1:-5}

(cd "$repo" && cmake --preset release >/dev/null &&
    cmake --build --preset release --target velno_bench_update_run velno_bench_copy >/dev/null)
bench=$repo/build/release/bench
for program in cp sync rsync dd cmp; do
    command -v "$program" >/dev/null || { echo "$program is not installed" >&2; exit 1; }
done

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg);" \
    "volume: 64 MiB FAT32, kernel vfat in an emulated VM; $runs runs per figure"
desktop=uid=1000,gid=1000,shortname=mixed,utf8,flush,showexec,errors=remount-ro
bash "$repo/scripts/vfat/run-in-vm.sh" "$desktop" \
    "sh $here/vm-compare-guest.sh $bench/velno_bench_update_run $bench/velno_bench_copy \
$(command -v cp) $(command -v sync) $(command -v rsync) $(command -v dd) $(command -v cmp) $runs" |
    grep -v -E '^(velno-vm:|\[ )'
