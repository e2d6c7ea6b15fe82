#!/usr/bin/env bash
# Installs what the updater needs to build, run and be tested on Debian 12.
# Run as root (or through sudo). Safe to run again.
set -euo pipefail

packages=(
  # Build: compiler, CMake, pkg-config for the system libraries, one code style.
  g++ cmake make pkg-config clang-format
  # Tests of the logic.
  libgtest-dev libgmock-dev
  # The Linux host: volume probing and the udev database.
  libblkid-dev libudev-dev
  # Hashing each copy's bytes as written and as read back (header-only).
  libxxhash-dev
  # The window.
  qt6-base-dev libgl-dev libxcb1-dev fonts-dejavu-core
  # FAT32 volumes for the end-to-end tests and the demonstration instrument.
  fuse3 fusefat dosfstools mtools
  # Removal through udisks2 over D-Bus, tested against a mock on a private bus.
  dbus-daemon python3-dbusmock
  # The fuzz target: clang with libFuzzer and the sanitizers' runtimes.
  clang-14 libclang-rt-14-dev
  # The vfat tests' VM; its kernel and busybox are fetched by scripts/vfat/run-in-vm.sh.
  qemu-system-x86 cpio xz-utils
  # A display for the demonstration and the smoke tests, driven by xdotool.
  xvfb xdotool imagemagick
  # Packages for owners: the .deb's dependencies (dpkg-shlibdeps), the
  # Windows zip, telling executables apart in the package tests; Qt's Wayland
  # plugins for the portable folder; the package tests' minimal Debian root,
  # menu entries checked and opened as a desktop opens them, a Wayland
  # compositor without a screen.
  dpkg-dev zip unzip file qt6-wayland debootstrap desktop-file-utils python3-gi weston
  # The speed benchmark's yardstick for a re-run (bench/compare.sh).
  rsync
)

export DEBIAN_FRONTEND=noninteractive
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
