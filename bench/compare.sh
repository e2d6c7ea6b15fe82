#!/usr/bin/env bash
# The updater's speed against the tools an owner would use on the same
# volume, side by side, each figure the median of RUNS runs:
#   - install into an empty drive: the whole update run (with every copy
#     flushed and read back) against `cp --preserve=timestamps` + `sync`;
#   - a re-run with every entry up to date, against `rsync --update`;
#   - one 256 MiB file, with the longest wait of the event loop;
#   - the time per entry for 100, 1,000 and 10,000 files in one folder;
#   - start-up to the shown window and peak memory (bench/run-bench.sh).
# The volume is a FAT32 image on the machine's disk, mounted with the
# kernel's FAT driver where the machine has one, else with fusefat. The
# re-run's files are put into the image with mtools while it is not
# mounted (through fusefat, 10,000 files take 20 minutes or more). Each row
# ends with the load average and the time the row took.
#
# Usage: bench/compare.sh [RUNS] [RERUN_ENTRIES]   (defaults 5 and 10000)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
# shellcheck source-path=SCRIPTDIR/../scripts/demo
source "$repo/scripts/demo/instrument.sh"
# shellcheck source-path=SCRIPTDIR
source "$here/staging.sh"

runs=${1:-5}
rerun_entries=${2:-10000}
build_dir=$repo/build/release

velno_trap_cleanup
velno_install_packages >/dev/null
velno_build "$repo" velno_bench_update_run velno_bench_folder_scaling >/dev/null
update_run=$build_dir/bench/velno_bench_update_run

work=$(mktemp -d /var/tmp/velno-compare.XXXXXX)
mount_dir=$work/volume
truncate -s 1G "$work/velno.img"
mkfs.fat -F 32 -n VELNO -i 1A2B3C4D "$work/velno.img" >/dev/null
velno_mount "$work/velno.img" "$mount_dir"
mkdir -p "$mount_dir/system"

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg); volume: FAT32 image on disk," \
    "$VELNO_MOUNT_KIND mount; $runs runs per figure"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds_of() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}
row() { awk -v c="$1" -v a="$2" -v b="$3" -v t="$4" -v l="$(cut -d' ' -f1 /proc/loadavg)" \
    -v s=$((SECONDS - row_started)) \
    'BEGIN { printf "%-44s %10.3f s %10.3f s %7.2f   %s (load %s, row %d s)\n", c, a, b, a / b, t, l, s }'; }

# stage NAME FILES FOLDERS BYTES: an update package APP/mtmp whose list
# installs FILES files of BYTES bytes spread over FOLDERS folders below
# \system\NAME, and the same files laid out as on the drive in TREE for cp
# and rsync.
stage() {
    local name=$1 files=$2 folders=$3 bytes=$4
    app=$work/$name-app
    tree=$work/$name-tree
    rm -rf "$app" "$tree"
    mkdir -p "$app/mtmp"
    head -c "$bytes" /dev/urandom >"$work/sample"
    local i folder list=$app/mtmp/position.txt
    : >"$list"
    for ((i = 0; i < files; i++)); do
        folder=f$((i % folders))
        mkdir -p "$tree/system/$name/$folder"
        cp "$work/sample" "$app/mtmp/n$i.bin"
        ln "$app/mtmp/n$i.bin" "$tree/system/$name/$folder/n$i.bin"
        printf '\\system\\%s\\%s\\n%d.bin\r\n' "$name" "$folder" "$i" >>"$list"
    done
    touch -d '2025-09-01 12:00' "$app/mtmp"/*.bin
}

clear_target() {
    rm -rf "$mount_dir/system/$1" "$mount_dir/system/OldRel"
    sync -f "$mount_dir"
}
by_updater() { "$update_run" "$mount_dir" "$app" >"$work/run.out" && cat "$work/run.out" >>"$work/runs.log"; }
by_cp() { cp -r --preserve=timestamps "$tree/system/$1" "$mount_dir/system/" && sync -f "$mount_dir"; }
# FAT keeps no owner, group or permissions: -rt is what -a can keep there.
by_rsync() { rsync -rt --update "$tree/system/" "$mount_dir/system/" && sync -f "$mount_dir"; }

# install NAME FILES FOLDERS BYTES: prints the median install times.
install_case() {
    local name=$1 u=() c=() gaps=()
    stage "$@"
    for ((r = 0; r < runs; r++)); do
        clear_target "$name"
        u+=("$(seconds_of by_updater)")
        gaps+=("$(awk '/^longest-gap-ms/ { print $2 }' "$work/run.out")")
        clear_target "$name"
        c+=("$(seconds_of by_cp "$name")")
    done
    install_updater=$(printf '%s\n' "${u[@]}" | median)
    install_cp=$(printf '%s\n' "${c[@]}" | median)
    longest_gap=$(printf '%s\n' "${gaps[@]}" | sort -g | tail -n1)
}

printf '%-44s %12s %12s %7s\n' "case" "updater" "own tool" "ratio"
row_started=$SECONDS
install_case small 200 4 65536
row "install 200 x 64 KiB, 4 folders (cp+sync)" "$install_updater" "$install_cp" \
    "longest gap ${longest_gap} ms"
row_started=$SECONDS
install_case big 1 1 268435456
row "install one 256 MiB file (cp+sync)" "$install_updater" "$install_cp" \
    "longest gap ${longest_gap} ms"
clear_target big

# Re-run: everything already installed and up to date.
row_started=$SECONDS
app=$work/rerun-app
tree=$work/rerun-tree
velno_stage_list "$app" "$tree" rerun "$rerun_entries" 20 1024
clear_target rerun
velno_unmount "$mount_dir"
velno_fill_image "$work/velno.img" "$tree"
velno_mount "$work/velno.img" "$mount_dir"
u=() s=()
for ((r = 0; r < runs; r++)); do
    u+=("$(seconds_of by_updater)")
    s+=("$(seconds_of by_rsync)")
done
row "re-run, $rerun_entries entries up to date (rsync)" "$(printf '%s\n' "${u[@]}" | median)" \
    "$(printf '%s\n' "${s[@]}" | median)" ""

echo
echo "time per entry, one folder (RAM folder: the lookups, not the device):"
row_started=$SECONDS
"$build_dir/bench/velno_bench_folder_scaling" /dev/shm "$runs"
echo "(load $(cut -d' ' -f1 /proc/loadavg), row $((SECONDS - row_started)) s)"

velno_unmount "$mount_dir"
mount_dir=""
echo
row_started=$SECONDS
bash "$here/run-bench.sh" 15
echo "(load $(cut -d' ' -f1 /proc/loadavg), row $((SECONDS - row_started)) s)"
