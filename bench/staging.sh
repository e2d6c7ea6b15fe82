# shellcheck shell=bash
# Update packages for the benchmarks, and volumes filled without going
# through a mount. Sourced by the benchmark scripts.

# velno_stage_list APP TREE NAME FILES FOLDERS BYTES: an update package
# APP/mtmp whose position list installs FILES files of BYTES bytes, spread
# over FOLDERS folders below \system\NAME, all dated 2025-09-01 12:00; and
# the same files laid out as on the drive in TREE (hard links), for mtools,
# cp and rsync. Writes each file with the shell's own printf and links a
# folder's files with one cp, so that 100,000 files take seconds.
velno_stage_list() {
    local app=$1 tree=$2 name=$3 files=$4 folders=$5 bytes=$6
    rm -rf "$app" "$tree"
    mkdir -p "$app/mtmp"
    local content i k
    content=$(head -c "$bytes" /dev/zero | tr '\0' 'v')
    {
        for ((i = 0; i < files; i++)); do
            printf '%s' "$content" >"$app/mtmp/n$i.bin"
            printf '\\system\\%s\\f%d\\n%d.bin\r\n' "$name" $((i % folders)) "$i"
        done
    } >"$app/mtmp/position.txt"
    find "$app/mtmp" -name '*.bin' -exec touch -d '2025-09-01 12:00' {} +
    for ((k = 0; k < folders && k < files; k++)); do
        local linked=()
        for ((i = k; i < files; i += folders)); do
            linked+=("$app/mtmp/n$i.bin")
        done
        mkdir -p "$tree/system/$name/f$k"
        cp -l "${linked[@]}" "$tree/system/$name/f$k/"
    done
}

# velno_fill_image IMAGE TREE: copies TREE's folders and files into the
# root of the FAT32 image with mtools, keeping their times, before the
# image is mounted: through fusefat, writing thousands of files takes
# minutes to hours. fusefat reads the month of a time that mtools wrote
# one later, so the files then look a month newer than their staged
# copies: still up to date for the updater and for rsync --update.
velno_fill_image() {
    local image=$1 tree=$2 entry
    for entry in "$tree"/*; do
        MTOOLS_SKIP_CHECK=1 mcopy -s -m -o -i "$image" "$entry" ::/
    done
}
