#!/bin/sh
# Runs inside the VM of power-cut-sweep.sh, as root: /dev/vdb holds the
# volume before the update, /dev/vdc the log of every block write of the
# update, /dev/vdd the volume after it; /dev/vda is the scratch disk, a copy
# of /dev/vdb, left so at the end.
#
#   power-cut-guest.sh TEST_PROGRAM REPLAY_LOG FSCK_FAT OPTIONS CUT...
#
# For each CUT (a number of log entries, ascending) the volume the cut leaves
# is judged as it is and after fsck.fat -a: read with mtools, then mounted
# with OPTIONS for the run that follows, as the desktop's user, then read
# again. One line per cut: "velno-cut CUT without-fsck RESULT with-fsck
# RESULT", RESULT "recovered" or "LOST"; the tests' failures above it.
set -u
program=$1 replay=$2 fsck=$3 options=$4
shift 4
mount_point=/media/user/VELNO
state=/tmp/state.img
cat /dev/vdb >"$state"

# Runs the tests of the filter; their output only when one fails.
tests() {
    "$@" --gtest_brief=1 --gtest_color=no >/tmp/tests.out 2>&1 && return 0
    grep -v -e '^\[' -e '^$' -e '^Note: ' -e '^Running main' -e '^With diff' -e '^@@' \
        /tmp/tests.out | cut -c1-150 | head -30
    return 1
}
as_read() {
    VELNO_CUT=/dev/vda VELNO_CUT_BEFORE=/dev/vdb VELNO_CUT_REFERENCE=/dev/vdd \
        tests "$program" --gtest_filter="PowerCut.$1"
}
# Judges the volume on /dev/vda: 0 when it is recovered.
judge() {
    as_read EveryFileIsOldOrNew || return 1
    mount -t vfat -o "$options" /dev/vda "$mount_point" || return 1
    (cd /home/user && HOME=/home/user VELNO_VFAT_MOUNT=$mount_point \
        tests /velno/as-user 1000 1000 "$program" \
        --gtest_filter=KernelFat.TheRunAfterAPowerCutCompletes)
    status=$?
    umount "$mount_point" || return 1
    [ "$status" -eq 0 ] && as_read TheNextRunLeavesWhatTheCleanRunLeft
}

applied=0
for cut in "$@"; do
    "$replay" /dev/vdc "$state" "$applied" "$cut" || exit 1
    applied=$cut
    echo "velno-cut $cut: without fsck"
    cat "$state" >/dev/vda
    judge && without=recovered || without=LOST
    echo "velno-cut $cut: after fsck.fat -a"
    cat "$state" >/dev/vda
    "$fsck" -a /dev/vda >/tmp/fsck.out 2>&1
    judge && with=recovered || { with=LOST && grep -v -e '^fsck.fat' -e '^/dev/vda' /tmp/fsck.out; }
    echo "velno-cut $cut without-fsck $without with-fsck $with"
done
cat /dev/vdb >/dev/vda
