#!/bin/bash
# Installs what the Windows build and its Wine tests need on Debian 12, as
# root. Idempotent: installs only what is missing.
set -euo pipefail
packages=(cmake make pkg-config g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine wine64 wine32:i386
          dosfstools xvfb xdotool imagemagick)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
# 32-bit Wine, for the 32-bit program, comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
