# shellcheck shell=bash disable=SC2034
# Shell functions for a demonstration instrument: a FAT32 image labelled
# VELNO, its mount, a demonstration update beside the program, and helpers
# that drive the program's window on an X display. Sourced by run-demo.sh
# and by the benchmark.

# The window's buttons, at the centres of their described places (twips
# divided by 15): "Start Updating" at 24,152 and "Exit" at 416,152, both
# 121 x 33.
VELNO_START_BUTTON=(84 168)
VELNO_EXIT_BUTTON=(476 168)

velno_log() { printf '\033[1m== %s\033[0m\n' "$*" >&2; }

# Everything the program and its demonstration need, from the project's
# one list of packages.
velno_install_packages() {
    bash "$(dirname "${BASH_SOURCE[0]}")/../install-deps.sh"
}

# What a run leaves behind, cleaned up on exit, Ctrl-C included: the
# updater, the mount, the virtual display and the work folder. The calling
# script sets these as it makes them.
work=""
mount_dir=""
updater_pid=""
VELNO_XVFB_PID=""

velno_cleanup() {
    local status=$?
    trap - EXIT INT TERM
    if [ -n "$updater_pid" ] && kill -0 "$updater_pid" 2>/dev/null; then
        kill "$updater_pid" 2>/dev/null || true
        wait "$updater_pid" 2>/dev/null || true
    fi
    if [ -n "$mount_dir" ]; then
        velno_unmount "$mount_dir" || echo "Could not unmount $mount_dir" >&2
    fi
    if [ -n "$VELNO_XVFB_PID" ]; then
        kill "$VELNO_XVFB_PID" 2>/dev/null || true
        wait "$VELNO_XVFB_PID" 2>/dev/null || true
    fi
    if [ -n "$work" ] && ! mountpoint -q "$mount_dir"; then
        rm -rf "$work"
    fi
    exit "$status"
}

velno_trap_cleanup() {
    trap velno_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

# velno_build SOURCE [TARGET...]: the optimised build of the release preset
# (build/release, without the tests); the program by default.
velno_build() {
    local source=$1
    shift
    (cd "$source" && cmake --preset release >/dev/null &&
        cmake --build --preset release --target "${@:-velno-updater}")
}

# A file of SIZE bytes of random data with a given modification time.
velno_random_file() {
    local path=$1 size=$2 stamp=$3
    head -c "$size" /dev/urandom >"$path"
    touch -d "$stamp" "$path"
}

# velno_make_image IMAGE SCRATCH: a FAT32 volume labelled VELNO with a
# protected system folder, start-up settings, two memory images and some
# installed files, written with mtools before the volume is ever mounted.
velno_make_image() {
    local image=$1 scratch=$2
    mkdir -p "$scratch"
    truncate -s 128M "$image"
    mkfs.fat -F 32 -n VELNO -i 1A2B3C4D "$image" >/dev/null
    export MTOOLS_SKIP_CHECK=1
    printf 'language=de\r\nvolume=80\r\nlast_style=42\r\n' >"$scratch/startup.ini"
    velno_random_file "$scratch/Veln4main.mem" 262144 "2024-03-01 10:00"
    velno_random_file "$scratch/Veln4user.mem" 65536 "2024-03-02 10:00"
    velno_random_file "$scratch/sounds.bin" 131072 "2024-01-10 09:00"
    velno_random_file "$scratch/current.bin" 4096 "2025-06-01 12:00"
    velno_random_file "$scratch/obsolete.bin" 4096 "2023-05-05 08:00"
    echo "Demonstration instrument" >"$scratch/readme.txt"
    mmd -i "$image" ::/system ::/system/init ::/system/data
    mcopy -m -i "$image" "$scratch/startup.ini" ::/system/init/startup.ini
    mcopy -m -i "$image" "$scratch/sounds.bin" "$scratch/current.bin" "$scratch/obsolete.bin" \
        ::/system/data/
    mcopy -m -i "$image" "$scratch/Veln4main.mem" "$scratch/Veln4user.mem" \
        "$scratch/readme.txt" ::/
    mattrib -i "$image" +h +s ::/system
}

# velno_stage_update FOLDER STYLES: the staging folder "mtmp" in FOLDER with
# its position list. It replaces an older installed file, keeps a newer
# one, installs into new folders, deletes a file, and installs STYLES small
# files and one large file so that the run lasts long enough to watch.
velno_stage_update() {
    local folder=$1 styles=${2:-240}
    local mtmp=$folder/mtmp
    mkdir -p "$mtmp"
    velno_random_file "$mtmp/sounds.bin" 196608 "2025-09-01 12:00"
    velno_random_file "$mtmp/current.bin" 4096 "2025-01-01 12:00"
    velno_random_file "$mtmp/piano.bin" 24117248 "2025-09-01 12:00"
    velno_random_file "$mtmp/voices.lst" 2048 "2025-09-01 12:00"
    {
        printf '\\system\\data\\sounds.bin\r\n'
        printf '\\system\\data\\current.bin\r\n'
        printf -- '-\\system\\data\\obsolete.bin\r\n'
        printf '\\system\\voices\\voices.lst\r\n'
        local i name
        for ((i = 1; i <= styles; i++)); do
            name=$(printf 'S%03d.sty' "$i")
            printf 'style %d\r\n' "$i" >"$mtmp/$name"
            printf '\\system\\styles\\%s\r\n' "$name"
            if [ "$i" -eq $((styles / 2)) ]; then
                printf '\\system\\voices\\piano.bin\r\n'
            fi
        done
    } >"$mtmp/position.txt"
}

# velno_mount IMAGE DIR: a loop mount where the kernel has a FAT driver,
# otherwise FUSE. Sets VELNO_MOUNT_KIND.
velno_mount() {
    local image=$1 dir=$2
    mkdir -p "$dir"
    if mount -o loop,rw -t vfat "$image" "$dir" 2>/dev/null; then
        VELNO_MOUNT_KIND=loop
    else
        fusefat -o "rw+,fsname=$image" "$image" "$dir"
        VELNO_MOUNT_KIND=fuse
    fi
}

# The mount points of VELNO volumes already mounted (a real instrument, or a
# test's or benchmark's leftover), one a line. The program updates the first
# VELNO volume it finds, which could be one of these.
velno_other_instruments() {
    local target source
    findmnt -rn -o TARGET,SOURCE | while read -r target source; do
        source=$(printf '%b' "$source")  # findmnt -r writes a blank as \x20
        if [ -e "$source" ] && [ "$(blkid -s LABEL -o value "$source" 2>/dev/null)" = VELNO ]; then
            printf '%b\n' "$target"
        fi
    done
}

velno_unmount() {
    local dir=$1
    mountpoint -q "$dir" || return 0
    sync
    if [ "${VELNO_MOUNT_KIND:-}" = fuse ]; then
        fusermount -u "$dir" 2>/dev/null || fusermount3 -u "$dir" 2>/dev/null || umount "$dir"
    else
        umount "$dir"
    fi
}

# Every file and folder of the instrument, with time, size and path.
velno_list() {
    (cd "$1" && find . -mindepth 1 -printf '%TY-%Tm-%Td %TH:%TM  %9s  %y  %P\n' | sort -k5) |
        awk 'tolower($0) ~ /  f  system\/styles\/s/ { styles++; next } { print }
             END { if (styles) printf "%36s  system/styles/S001.sty ... (%d style files)\n", "", styles }'
}

# velno_start_xvfb FOLDER: a virtual display on a free number that the
# server picks itself; sets DISPLAY and VELNO_XVFB_PID.
velno_start_xvfb() {
    local number_file=$1/xvfb-display
    : >"$number_file"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$number_file" >/dev/null 2>&1 &
    VELNO_XVFB_PID=$!
    for _ in $(seq 1 200); do
        if [ -s "$number_file" ]; then
            DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
            export DISPLAY
            return 0
        fi
        kill -0 "$VELNO_XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "Xvfb did not start" >&2
    return 1
}

# velno_runtime_dir FOLDER: a private runtime folder for the program where
# the session has none (as root on a bare machine).
velno_runtime_dir() {
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        mkdir -m 0700 "$1/runtime"
        export XDG_RUNTIME_DIR=$1/runtime
    fi
}

velno_display_works() {
    [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1
}

# velno_window_id PID: waits for the program's shown window.
velno_window_id() {
    local pid=$1 id
    for _ in $(seq 1 600); do
        id=$(xdotool search --onlyvisible --pid "$pid" --name '^VELNO4 updater' 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

velno_click() {
    local window=$1 x=$2 y=$3
    xdotool mousemove --window "$window" "$x" "$y" click 1
}

velno_shot() { import -silent -window "$1" "png:$2"; }

# Share of the pixels in a region (WxH+X+Y) of a picture within 20% of a
# colour, in thousandths.
velno_share() {
    local picture=$1 region=$2 colour=$3
    convert "$picture" -crop "$region" +repage -fuzz 20% -fill black +opaque "$colour" \
        -fill white -opaque "$colour" -format '%[fx:int(mean*1000)]' info:
}

# The window's state as a screenshot shows it: ready, running, running-bar
# (the bar has advanced), completed or unknown, followed by how far the bar
# has advanced (in thousandths of its width). It looks for the red warning
# under the bar, the red instructions in the bar's place, the blue notice,
# and the bar's filled (coloured) part.
velno_state() {
    local picture=$1
    local warning instructions notice bar
    warning=$(velno_share "$picture" 489x49+32+104 '#FF0000')
    instructions=$(velno_share "$picture" 497x40+32+8 '#FF0000')
    notice=$(velno_share "$picture" 497x25+32+56 '#0000C0')
    bar=$(convert "$picture" -crop 525x37+18+10 +repage -colorspace HSL -channel G -separate \
        -threshold 40% -format '%[fx:int(mean*1000)]' info:)
    # The instructions first: at completion a red line about the volume may
    # stand where the warning stood while running.
    if [ "$instructions" -gt 5 ]; then
        echo "completed 0"
    elif [ "$warning" -gt 5 ]; then
        if [ "$bar" -gt 10 ]; then echo "running-bar $bar"; else echo "running $bar"; fi
    elif [ "$notice" -gt 5 ]; then
        echo "ready 0"
    else
        echo "unknown 0"
    fi
}

# velno_capture_run WINDOW RUNNING_FILE COMPLETED_FILE [SECONDS]: follows a
# run by screenshots until it completes. Keeps a Running screenshot with the
# bar at least a third of the way (or the furthest one seen) and the
# Completed one. Returns 2 when no Running state was caught.
velno_capture_run() {
    local window=$1 running=$2 completed=$3 seconds=${4:-300}
    local deadline=$((SECONDS + seconds)) state fill kept=-1 shot=$completed.tmp.png
    while [ $SECONDS -lt $deadline ]; do
        velno_shot "$window" "$shot" 2>/dev/null || { sleep 0.1; continue; }
        read -r state fill < <(velno_state "$shot")
        if [ "$state" = running-bar ] && [ "$kept" -lt 333 ] && [ "$fill" -gt "$kept" ]; then
            cp "$shot" "$running"
            kept=$fill
        elif [ "$state" = completed ]; then
            mv "$shot" "$completed"
            [ "$kept" -ge 0 ] && return 0
            return 2
        fi
    done
    rm -f "$shot"
    echo "The run did not complete within $seconds seconds" >&2
    return 1
}

# velno_wait_state WINDOW STATE FILE [SECONDS [LATER]]: screenshots until
# one shows the state, and keeps that one. Returns 2 when the window shows
# the state LATER instead, which comes after the one awaited.
velno_wait_state() {
    local window=$1 wanted=$2 file=$3 seconds=${4:-120} later=${5:-}
    local deadline=$((SECONDS + seconds)) state=""
    while [ $SECONDS -lt $deadline ]; do
        velno_shot "$window" "$file.tmp.png" 2>/dev/null || { sleep 0.1; continue; }
        read -r state _ < <(velno_state "$file.tmp.png")
        if [ "$state" = "$wanted" ]; then
            mv "$file.tmp.png" "$file"
            return 0
        fi
        if [ -n "$later" ] && [ "$state" = "$later" ]; then
            rm -f "$file.tmp.png"
            return 2
        fi
        sleep 0.05
    done
    rm -f "$file.tmp.png"
    echo "The window did not reach the state $wanted (last seen: ${state:-nothing})" >&2
    return 1
}
