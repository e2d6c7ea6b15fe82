#!/bin/sh
# Runs inside the VM of bench/vm-compare.sh (busybox sh, as the desktop's
# user, the volume at $VELNO_VFAT_MOUNT). Arguments: the update-run and copy
# benchmarks, cp, sync, rsync, dd, cmp (the host's own, copied into the VM)
# and RUNS.
set -eu
update_run=$1 copy_bench=$2 cp=$3 sync=$4 rsync=$5 dd=$6 cmp=$7 runs=$8
volume=$VELNO_VFAT_MOUNT
work=/tmp/compare
mkdir -p "$volume/system"

# Seconds since boot, to the hundredth.
now() { cut -d' ' -f1 /proc/uptime; }
seconds_of() {
    start=$(now)
    "$@" >/dev/null
    awk -v s="$start" -v e="$(now)" 'BEGIN { printf "%.2f\n", e - s }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
row() { awk -v c="$1" -v a="$2" -v b="$3" \
    'BEGIN { printf "%-50s %9.2f s %9.2f s %6.2f\n", c, a, b, a / b }'; }

# stage NAME FILES FOLDERS KIB: a package in $work/NAME-app whose list
# installs the files below \system\NAME, and the same files laid out as on
# the drive in $work/NAME-tree (staged with busybox's cp, which starts faster).
stage() {
    app=$work/$1-app
    tree=$work/$1-tree
    mkdir -p "$app/mtmp"
    dd if=/dev/urandom of="$work/sample" bs=1024 count="$4" 2>/dev/null
    : >"$app/mtmp/position.txt"
    i=0
    while [ "$i" -lt "$2" ]; do
        folder=f$((i % $3))
        mkdir -p "$tree/system/$1/$folder"
        cp "$work/sample" "$app/mtmp/n$i.bin"
        cp "$work/sample" "$tree/system/$1/$folder/n$i.bin"
        printf '\\system\\%s\\%s\\n%d.bin\r\n' "$1" "$folder" "$i" >>"$app/mtmp/position.txt"
        i=$((i + 1))
    done
    touch -d '2025-09-01 12:00:00' "$app"/mtmp/*.bin "$tree"/system/"$1"/*/*.bin
}
clear_target() { rm -rf "$volume/system/$1" "$volume/system/OldRel" && "$sync" -f "$volume"; }
by_updater() { "$update_run" "$volume" "$app"; }
by_cp() { "$cp" -r --preserve=timestamps "$tree/system/$1" "$volume/system/" && "$sync" -f "$volume"; }
# As careful by hand as the updater: copy, flush, drop the copies from the
# cache (what an ordinary user can: dd's nocache, a fadvise as the updater's
# read-back does) and compare each with its staged file read from the device.
by_hand() {
    by_cp "$1"
    (cd "$tree" && find . -type f) | while read -r file; do
        "$dd" if="$volume/$file" iflag=nocache count=0 status=none
        "$cmp" -s "$tree/$file" "$volume/$file"
    done
}
by_rsync() { "$rsync" -rt --update "$tree/system/" "$volume/system/" && "$sync" -f "$volume"; }

install_case() {
    stage "$@"
    : >"$work/u"
    : >"$work/c"
    : >"$work/h"
    r=0
    while [ "$r" -lt "$runs" ]; do
        clear_target "$1"
        seconds_of by_updater >>"$work/u"
        clear_target "$1"
        seconds_of by_cp "$1" >>"$work/c"
        clear_target "$1"
        seconds_of by_hand "$1" >>"$work/h"
        r=$((r + 1))
    done
    clear_target "$1"
    rm -rf "$app" "$tree"
}

printf '%-50s %11s %11s %6s\n' case updater "own tool" ratio
install_case small 200 4 64
row "install 200 x 64 KiB, 4 folders (cp+sync)" "$(median <"$work/u")" "$(median <"$work/c")"
row "  the same (cp+sync, drop from cache, cmp)" "$(median <"$work/u")" "$(median <"$work/h")"
install_case big 1 1 16384
row "install one 16 MiB file (cp+sync)" "$(median <"$work/u")" "$(median <"$work/c")"

stage rerun 1000 10 1
by_cp rerun
: >"$work/u"
: >"$work/s"
r=0
while [ "$r" -lt "$runs" ]; do
    seconds_of by_updater >>"$work/u"
    seconds_of by_rsync >>"$work/s"
    r=$((r + 1))
done
row "re-run, 1,000 entries up to date (rsync)" "$(median <"$work/u")" "$(median <"$work/s")"
clear_target rerun

echo
echo "reading each copy back, 8 MiB onto the volume:"
mkdir -p "$volume/verify"
"$copy_bench" "$volume/verify" 8 "$runs"
rm -rf "$volume/verify"
