#!/usr/bin/env bash
# A power cut at every write of an update, on the kernel's FAT driver.
#
#   power-cut-sweep.sh TEST_PROGRAM [CUTS]
#
# TEST_PROGRAM is velno_linux_vfat_tests. Three VMs of run-in-vm.sh:
#  1. KernelFat.PrepareInstrument seeds the fault matrix's typical instrument
#     on a fresh FAT32 image: the volume before the update;
#  2. the typical update runs on a copy of it as the desktop's user
#     (KernelFat.TheOwnersUpdate..., which checks the clean run's outcome)
#     while qemu's blklogwrites driver records every write to the disk, and
#     every flush, in the order the guest's kernel issued them;
#  3. replay-log.c writes the first N entries of that log onto a copy of the
#     volume before: the volume as a power cut after the device acknowledged
#     them leaves it. Each such cut is judged as it is, which the instrument
#     itself may be given, and after fsck.fat -a, as an owner's computer
#     would repair it (power-cut-guest.sh, KernelFat.AfterAPowerCut...): read
#     with mtools, without mounting, every file is old or new; then mounted
#     as a desktop mounts it, the update run again completes and leaves what
#     the clean run left, the same listing, contents and times.
#
# CUTS: "all" (the default) cuts before the first write and after each one;
# "flushes" at each flush mark; "changes" at the first write after which an
# entry of the volume before or after the update reads otherwise than before
# (created, moved, replaced, deleted), and at the first flush mark from there:
# the earliest state, and the earliest durable state, of each change the
# update makes; a number N picks N cuts spread evenly over all of them, the
# first and the last included. The last line says how many cuts were
# recovered, with and without fsck. Exit status 0 when all were, 1
# otherwise, 77 with the reason where the VM cannot run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 TEST_PROGRAM [all|flushes|changes|N]" >&2
  exit 2
fi
program=$(realpath "$1") cuts=${2:-all}
for tool in mdir mcopy mtype; do
  command -v "$tool" >/dev/null || { echo "vfat: SKIPPED: $tool (mtools) is not installed"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/velno-power-cut-XXXXXX")
trap 'rm -rf "$work"' EXIT
desktop=uid=1000,gid=1000,shortname=mixed,utf8,flush,showexec,errors=remount-ro
vm() {
  local status=0
  bash "$here/run-in-vm.sh" "$@" 2>&1 | tr -d '\r' >"$work/vm.out" || status=${PIPESTATUS[0]}
  [ "$status" -ne 77 ] || { grep '^vfat: SKIPPED' "$work/vm.out"; exit 77; }
  [ "$status" -eq 0 ] || { tail -40 "$work/vm.out"; echo "vfat: the VM failed ($status)"; exit 1; }
}

VELNO_VM_IMAGE=$work/before.img vm "$desktop" \
  "$program --gtest_filter=KernelFat.PrepareInstrument --gtest_brief=1"
gcc -O2 -static -o "$work/replay-log" "$here/replay-log.c"
cp "$work/before.img" "$work/after.img"
VELNO_VM_IMAGE=$work/after.img VELNO_VM_LOG=$work/writes.log vm "$desktop" \
  "$program --gtest_filter=KernelFat.TheOwnersUpdateEndsWithTheSystemFolderHiddenAndSystem --gtest_brief=1"

# Each entry of an image, a tab, and for a file a digest of what mtools
# reads of it.
entries_of() {
  MTOOLS_SKIP_CHECK=1 mdir -/ -b -a -i "$1" :: | while read -r entry; do
    case "$entry" in
      */) printf '%s\t-\n' "$entry" ;;
      *) printf '%s\t%s\n' "$entry" "$(MTOOLS_SKIP_CHECK=1 mtype -i "$1" "$entry" 2>&1 | md5sum)" ;;
    esac
  done
}
# For each entry of the volume before or after the update, the first cut at
# which it reads otherwise than before, and the first flush mark from there.
first_changes() {
  local applied=0 cut
  cp "$work/before.img" "$work/replayed.img"
  entries_of "$work/before.img" >"$work/entries.before"
  entries_of "$work/after.img" | cat - "$work/entries.before" | cut -f1 | sort -u >"$work/names"
  for cut in $every; do
    "$work/replay-log" "$work/writes.log" "$work/replayed.img" "$applied" "$cut"
    applied=$cut
    entries_of "$work/replayed.img" | sed "s/^/$cut\t/"
    printf '%s\t<end>\n' "$cut"
  done | awk -F'\t' 'FILENAME == ARGV[1] { was[$1] = $2; next }
      FILENAME == ARGV[2] { names[$1] = 1; next }
      $2 != "<end>" { now[$2] = $3; next }
      { for (name in names) if (!(name in seen) && now[name] "" != was[name] "") { seen[name] = 1; print $1 }
        split("", now) }' "$work/entries.before" "$work/names" - |
    while read -r cut; do
      echo "$cut"
      awk -v c="$cut" '$2 == "flush" && $1 >= c { print $1; exit }' "$work/entries"
    done
}

# Cut c holds the first c entries of the log.
"$work/replay-log" "$work/writes.log" >"$work/entries"
writes=$(grep -c -E ' (write|fua) ' "$work/entries" || true)
flushes=$(grep -c ' flush ' "$work/entries" || true)
every=$( (echo 0 && awk '$2 == "write" || $2 == "fua" { print $1 + 1 }' "$work/entries") | sort -n -u)
case "$cuts" in
  all) chosen=$every ;;
  flushes) chosen=$(awk '$2 == "flush" { print $1 }' "$work/entries" | sort -n -u) ;;
  changes) chosen=$(first_changes | sort -n -u) ;;
  *[!0-9]* | "") echo "CUTS must be all, flushes or a number" >&2; exit 2 ;;
  *) chosen=$(echo "$every" | awk -v n="$cuts" '{ c[NR] = $1 } END {
       for (i = 0; i < n; i++) { k = n > 1 ? 1 + int(i * (NR - 1) / (n - 1)) : NR; print c[k] } }' |
       sort -n -u) ;;
esac
echo "the update wrote $writes times with $flushes flushes; $(echo "$chosen" | wc -w) cuts to judge"

# The guest gets every file its command names: ":" names mtools' two
# programs and the converter of their code page.
gconv=$(dirname "$(realpath "$(ldd "$(command -v mdir)" | awk '/libc\.so/ { print $3 }')")")/gconv
cp "$work/before.img" "$work/scratch.img"
VELNO_VM_IMAGE=$work/scratch.img VELNO_VM_DISKS="$work/before.img $work/writes.log $work/after.img" \
  vm - ": $(command -v mdir mcopy | tr '\n' ' ') $gconv/IBM850.so $gconv/gconv-modules.cache ; \
sh $here/power-cut-guest.sh $program \
$work/replay-log $(command -v fsck.fat) $desktop $(echo $chosen)"
grep -v -e '^velno-vm:' -e '^\[ ' -e '^vfat: the VM ran' -e '^fsck.fat ' -e "^$work/scratch.img" \
  "$work/vm.out" || true
awk '$1 == "velno-cut" && $3 == "without-fsck" {
       n++; a += $4 == "recovered"; b += $6 == "recovered"; both += $4 == "recovered" && $6 == "recovered"
       s += $7 != "" }
     END { printf "without fsck %d of %d recovered, after fsck.fat -a %d of %d", a, n, b, n
           printf " (fsck.fat salvaged lost clusters at %d)\n", s
           printf "%d of %d cuts recovered\n", both, n; exit !(n > 0 && both == n) }' "$work/vm.out"
