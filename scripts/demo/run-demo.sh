#!/usr/bin/env bash
# Runs the updater on a demonstration instrument.
#
# Installs what it needs (Debian 12, as root), builds the program, makes a
# FAT32 image labelled VELNO with a system folder, start-up settings and two
# memory images, mounts it, puts a demonstration update beside a copy of the
# program and starts it. With a display the window is yours to use; without
# one the demonstration runs on a virtual display, presses the buttons
# itself, saves a screenshot of each state and prints the instrument's files
# before and after. Everything is unmounted and removed on exit, Ctrl-C
# included.
#
# The program is the release preset's (build/release). Environment:
# VELNO_SHOTS_DIR (where the screenshots go; default demo-screenshots in the
# build folder), VELNO_HEADLESS=1 to use the virtual display even when a
# display is present.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source-path=SCRIPTDIR
source "$here/instrument.sh"

build_dir=$repo/build/release
shots_dir=${VELNO_SHOTS_DIR:-$build_dir/demo-screenshots}

velno_trap_cleanup

velno_install_packages
velno_log "Building the program in $build_dir"
velno_build "$repo"

others=$(velno_other_instruments || true)
if [ -n "$others" ]; then
    echo "Another VELNO volume is mounted, and the updater would update it instead of the" \
        "demonstration's: $others. Unmount it and run this again." >&2
    exit 1
fi

work=$(mktemp -d /tmp/velno-demo.XXXXXX)
image=$work/velno.img
mount_dir=$work/instrument
velno_runtime_dir "$work"
velno_log "Making the instrument: $image"
velno_make_image "$image" "$work/scratch"
velno_mount "$image" "$mount_dir"
velno_log "Instrument mounted at $mount_dir ($VELNO_MOUNT_KIND mount)"

# The program reads its update from "mtmp" beside itself.
program_dir=$work/updater
mkdir -p "$program_dir"
cp "$build_dir/app/qt/velno-updater" "$program_dir/"
velno_stage_update "$program_dir"
velno_log "Update staged in $program_dir/mtmp ($(grep -c . "$program_dir/mtmp/position.txt") entries)"

if [ "$VELNO_MOUNT_KIND" = fuse ]; then
    velno_log "fusefat shows times written by other tools one month late, and its own right"
fi
velno_log "The instrument before the update"
velno_list "$mount_dir"

if velno_display_works && [ "${VELNO_HEADLESS:-0}" != 1 ]; then
    velno_log "Starting the updater on $DISPLAY: press Start Updating, then Exit"
    "$program_dir/velno-updater" &
    updater_pid=$!
    wait "$updater_pid" || true
    updater_pid=""
else
    velno_start_xvfb "$work"
    velno_log "No display: running on the virtual display $DISPLAY"
    mkdir -p "$shots_dir"
    "$program_dir/velno-updater" &
    updater_pid=$!
    window=$(velno_window_id "$updater_pid") || { echo "The window never showed" >&2; exit 1; }
    velno_log "Window shown: $(xdotool getwindowname "$window")"
    velno_wait_state "$window" ready "$shots_dir/ready.png" 20
    velno_log "Ready: $shots_dir/ready.png; pressing Start Updating"
    velno_click "$window" "${VELNO_START_BUTTON[@]}"
    status=0
    velno_capture_run "$window" "$shots_dir/running.png" "$shots_dir/completed.png" || status=$?
    case $status in
        0) velno_log "Running: $shots_dir/running.png" ;;
        2) velno_log "The run finished before the Running state could be captured" ;;
        *) exit 1 ;;
    esac
    velno_log "Completed: $shots_dir/completed.png; pressing Exit"
    velno_click "$window" "${VELNO_EXIT_BUTTON[@]}"
    for _ in $(seq 1 100); do
        kill -0 "$updater_pid" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$updater_pid" 2>/dev/null; then
        echo "The updater did not end on Exit" >&2
        exit 1
    fi
    wait "$updater_pid" || true
    updater_pid=""
fi

velno_log "The instrument after the update"
velno_list "$mount_dir"
velno_unmount "$mount_dir"
velno_log "Checking the volume"
fsck.fat -n "$image" | tail -n 1
