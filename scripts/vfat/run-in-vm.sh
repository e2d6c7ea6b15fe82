#!/usr/bin/env bash
# Runs commands on a FAT32 volume mounted by the Linux kernel's own vfat
# driver, as an ordinary desktop user (uid 1000), inside a small virtual
# machine that this script starts and stops itself.
#
#   run-in-vm.sh OPTIONS COMMAND [OPTIONS COMMAND]...
#
# A fresh FAT32 image labelled VELNO (serial 1A2B-3C4D) is attached as a
# virtio disk. For each pair, in turn, the guest mounts it at
# /media/user/VELNO with the mount OPTIONS, runs COMMAND with sh as uid 1000
# and unmounts it; the first failing command ends the run. Files named by
# absolute path in a COMMAND are copied into the guest, programs with their
# shared libraries. Afterwards `fsck.fat -n` must find the image clean. OPTIONS
# "-" runs COMMAND as root with nothing mounted.
#
# VELNO_VM_IMAGE names the image to use instead of a fresh one (created there
# when missing, kept afterwards); VELNO_VM_LOG a file that then receives
# every block write to it with its flushes, in the order the guest's kernel
# issued them, in the log format of the kernel's dm-log-writes (qemu's
# blklogwrites; without request merging, which would sort writes that arrive
# together by sector, at random with the host's load); VELNO_VM_DISKS more
# image files, attached read-only as /dev/vdb, /dev/vdc... in that order.
#
# The exit status is the first failing command's (0 when all passed and the
# volume is clean). It is 77 (a skipped test for CTest), with the reason on
# one line, when the machine cannot run the VM: no qemu, or Debian's kernel
# and busybox packages cannot be fetched with apt-get download. They are
# unpacked once into ${VELNO_VM_CACHE:-~/.cache/velno-vm}.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "vfat: SKIPPED: $*"
  exit 77
}
if [ $# -lt 2 ] || [ $(($# % 2)) -ne 0 ]; then
  echo "usage: $0 OPTIONS COMMAND [OPTIONS COMMAND]..." >&2
  exit 2
fi
for program in qemu-system-x86_64 mkfs.fat fsck.fat blkid cpio gcc apt-get dpkg-deb xz; do
  command -v "$program" >/dev/null || skip "$program is not installed (scripts/install-deps.sh)"
done

# The guest's modules in load order: each after those its modinfo depends on.
wanted_modules="virtio_pci virtio_blk vfat nls_cp437 nls_iso8859-1 nls_utf8 nls_ascii"

cache=${VELNO_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velno-vm}
mkdir -p "$cache"

# Fetches and unpacks Debian's kernel and busybox once, into $cache/guest.
prepare_cache() {
  local guest=$cache/guest download=$cache/download
  [ -f "$guest/ready" ] && [ "$guest/as-user" -nt "$here/as-user.c" ] && return 0
  rm -rf "$guest" "$download"
  mkdir -p "$guest/modules" "$download"
  (
    cd "$download"
    apt-get -q -o APT::Sandbox::User=root download linux-image-amd64 busybox-static >/dev/null
    local image
    image=$(dpkg-deb -f linux-image-amd64_*.deb Depends | grep -o 'linux-image-[^ ,]*' | head -1)
    apt-get -q -o APT::Sandbox::User=root download "$image" >/dev/null
    mkdir unpacked
    for deb in ./*.deb; do dpkg-deb -x "$deb" unpacked; done
  ) || return 1
  local root=$download/unpacked
  cp "$root/bin/busybox" "$guest/busybox"
  # The compressed kernel unpacked once boots about twice as fast.
  local vmlinuz offset
  vmlinuz=$(ls "$root"/boot/vmlinuz-* | head -1)
  offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -1 | cut -d: -f1)
  if [ -n "$offset" ]; then
    tail -c +$((offset + 1)) "$vmlinuz" | xz -dc --single-stream >"$guest/vmlinux" 2>/dev/null || true
  fi
  if [ "$(head -c 4 "$guest/vmlinux" 2>/dev/null | od -An -tx1 | tr -d ' ')" != 7f454c46 ]; then
    rm -f "$guest/vmlinux"
    cp "$vmlinuz" "$guest/vmlinuz"
  fi
  local order=() seen=" "
  add_module() {
    local name=${1//-/_} file depends dependency
    [[ "$seen" == *" $name "* ]] && return 0
    seen+="$name "
    file=$(find "$root/lib/modules" -name "${name//_/[-_]}.ko*" | head -1)
    [ -n "$file" ] || { echo "vfat: no module $name in the kernel package" >&2; return 1; }
    depends=$(tr '\0' '\n' <"$file" | grep -a '^depends=' | head -1 | cut -d= -f2)
    for dependency in ${depends//,/ }; do add_module "$dependency" || return 1; done
    cp "$file" "$guest/modules/$name.ko"
    order+=("$name")
  }
  for module in $wanted_modules; do add_module "$module" || return 1; done
  printf '%s\n' "${order[@]}" >"$guest/modules.order"
  gcc -static -O2 -o "$guest/as-user" "$here/as-user.c" || return 1
  rm -rf "$download"
  touch "$guest/ready"
}
exec 9>"$cache/lock"
flock 9
prepare_cache || skip "Debian's kernel and busybox packages could not be fetched or unpacked"
flock -u 9
guest=$cache/guest

work=$(mktemp -d "${TMPDIR:-/tmp}/velno-vm-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The guest's root: busybox, modules, the commands and their libraries.
root=$work/root
mkdir -p "$root"/{bin,proc,sys,dev,tmp,run,media,velno/modules}
cp "$guest/busybox" "$root/bin/busybox"
cp "$here/init.sh" "$root/init"
cp "$guest/as-user" "$root/velno/as-user"
cp "$guest"/modules/*.ko "$root/velno/modules/"
cp "$guest/modules.order" "$root/velno/modules.list"
add_program() {
  local file=$1 library
  [ -e "$root$file" ] && return 0
  mkdir -p "$root$(dirname "$file")"
  cp -L "$file" "$root$file"
  for library in $(ldd "$file" 2>/dev/null | grep -o '/[^ ]*'); do
    [ -e "$root$library" ] || { mkdir -p "$root$(dirname "$library")" && cp -L "$library" "$root$library"; }
  done
}
: >"$root/velno/steps"
args=("$@")
for ((i = 0; i < ${#args[@]}; i += 2)); do
  for word in ${args[i + 1]}; do
    if [[ "$word" == /* ]] && [ -f "$word" ]; then add_program "$word"; fi
  done
  printf '%s|%s\n' "${args[i]}" "${args[i + 1]}" >>"$root/velno/steps"
done
image=${VELNO_VM_IMAGE:-$work/velno.img}
[ -e "$image" ] || mkfs.fat -C -F 32 -n VELNO -i 1A2B3C4D "$image" 65536 >/dev/null
disks=(-drive "file=$image,format=raw,if=virtio")
if [ -n "${VELNO_VM_LOG:-}" ]; then
  : >"$VELNO_VM_LOG"
  disks=(-blockdev "driver=file,filename=$image,node-name=volume"
    -blockdev "driver=file,filename=$VELNO_VM_LOG,node-name=log"
    -blockdev "driver=blklogwrites,node-name=logged,file=volume,log=log,log-sector-size=512"
    -device "virtio-blk-pci,drive=logged,write-cache=on,request-merging=off")
fi
for disk in ${VELNO_VM_DISKS:-}; do
  disks+=(-drive "file=$disk,format=raw,if=virtio,readonly=on")
done
blkid -o udev -p "$image" | sed 's/^/E:/' >"$root/velno/udev"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd"

kernel=$guest/vmlinux
[ -f "$kernel" ] || kernel=$guest/vmlinuz
started=$(date +%s%N)
for attempt in 1 2; do
  timeout 600 qemu-system-x86_64 -accel tcg -smp 1 -m 1024 -nodefaults -no-reboot -display none \
    -serial stdio -kernel "$kernel" -initrd "$work/initrd" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init" \
    "${disks[@]}" </dev/null | tee "$work/console" || true
  grep -q 'velno-vm: started' "$work/console" && break
  # Seen once on a loaded machine: the guest ended before its first command.
  echo "vfat: the VM did not start its commands (attempt $attempt)"
  [ "$attempt" -eq 1 ] || exit 1
done
echo "vfat: the VM ran for $((($(date +%s%N) - started) / 1000000)) ms"

status=$(sed -n 's/.*velno-vm: exit status \([0-9]*\).*/\1/p' "$work/console" | tail -1)
[ -n "$status" ] || { echo "vfat: the VM ended without an exit status"; exit 1; }
[ "$status" -eq 0 ] || exit "$status"
fsck.fat -n "$image" || { echo "vfat: fsck.fat -n found faults on the volume"; exit 1; }
