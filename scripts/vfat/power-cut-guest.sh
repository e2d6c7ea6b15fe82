#!/bin/sh
# Runs inside the VM of power-cut-sweep.sh, as root: /dev/vdb holds the
# volume before the update, /dev/vdc the log of every block write of the
# update, /dev/vdd the volume after it; /dev/vda is the scratch disk, a copy
# of /dev/vdb, left so at the end.
#
#   power-cut-guest.sh TEST_PROGRAM REPLAY_LOG FSCK_FAT OPTIONS CUT...
#
# For each CUT (a number of log entries, ascending) the volume the cut leaves
# is judged as it is and after fsck.fat -a: the test reads an image of it
# with mtools, then runs the update on it, mounted with OPTIONS, as the
# desktop's user. One line per cut: "velno-cut CUT without-fsck RESULT
# with-fsck RESULT", RESULT "recovered" or "LOST", and whether fsck.fat
# salvaged lost clusters (into FSCKnnnn.REC files, which the judging passes
# over); the test's failures above it.
set -u
program=$1 replay=$2 fsck=$3 options=$4
shift 4
mount_point=/media/user/VELNO
state=/tmp/state.img
cat /dev/vdb >/tmp/before.img
cat /dev/vdd >/tmp/reference.img
cp /tmp/before.img "$state"

# Judges the volume in /tmp/cut.img: 0 when it is recovered.
judge() {
    chmod 644 /tmp/before.img /tmp/reference.img /tmp/cut.img
    cat /tmp/cut.img >/dev/vda
    mount -t vfat -o "$options" /dev/vda "$mount_point" || return 1
    (cd /home/user && HOME=/home/user VELNO_VFAT_MOUNT=$mount_point VELNO_CUT=/tmp/cut.img \
        VELNO_CUT_BEFORE=/tmp/before.img VELNO_CUT_REFERENCE=/tmp/reference.img \
        /velno/as-user 1000 1000 "$program" --gtest_brief=1 --gtest_color=no \
        --gtest_filter=KernelFat.AfterAPowerCutEveryFileIsOldOrNewAndARunFinishesTheUpdate) \
        >/tmp/test.out 2>&1
    status=$?
    umount "$mount_point" || return 1
    [ "$status" -eq 0 ] && return 0
    grep -v -e '^\[' -e '^$' -e '^Note: ' -e '^Running main' -e '^With diff' -e '^@@' \
        /tmp/test.out | cut -c1-150 | head -30
    return 1
}

applied=0
for cut in "$@"; do
    "$replay" /dev/vdc "$state" "$applied" "$cut" || exit 1
    applied=$cut
    echo "velno-cut $cut: without fsck"
    cp "$state" /tmp/cut.img
    judge && without=recovered || without=LOST
    echo "velno-cut $cut: after fsck.fat -a"
    cp "$state" /tmp/cut.img
    "$fsck" -a /tmp/cut.img >/tmp/fsck.out 2>&1
    judge && with=recovered || { with=LOST && grep -v -e '^fsck.fat' -e '^/tmp/cut' /tmp/fsck.out; }
    salvaged=$(grep -q '^Reclaimed' /tmp/fsck.out && echo "(lost clusters salvaged)" || true)
    echo "velno-cut $cut without-fsck $without with-fsck $with $salvaged"
done
cat /tmp/before.img >/dev/vda
