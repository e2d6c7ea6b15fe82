#!/bin/bash
# Packs the Windows programs for owners: velno-updater.exe (64-bit),
# velno-updater-32bit.exe and README.txt in build/velno-updater-VERSION-windows.zip.
# Builds the program in both cross builds first where it is missing.
# Checks that each executable is the Windows program for its machine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
exe64=build/mingw64/app/win32/velno-updater.exe
exe32=build/mingw32/app/win32/velno-updater.exe
for preset in mingw64 mingw32; do
    if [ ! -f "build/$preset/app/win32/velno-updater.exe" ]; then
        cmake --preset "$preset" >/dev/null
        cmake --build "build/$preset" --target velno-updater
    fi
done
file "$exe64" | grep -q 'PE32+ executable (GUI) x86-64' || { echo "FAIL: $exe64 is no 64-bit Windows program" >&2; exit 1; }
file "$exe32" | grep -q 'PE32 executable (GUI) Intel 80386' || { echo "FAIL: $exe32 is no 32-bit Windows program" >&2; exit 1; }

version=$(sed -n 's/^project(velno_updater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=velno-updater-$version-windows
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp "$exe64" "$stage/$name/velno-updater.exe"
cp "$exe32" "$stage/$name/velno-updater-32bit.exe"
# Windows' Notepad before 2018 shows only CR LF line ends.
cat docs/owners/windows.txt docs/owners/update.txt | sed 's/$/\r/' >"$stage/$name/README.txt"
rm -f "build/$name.zip"
(cd "$stage" && zip -qr -X "$OLDPWD/build/$name.zip" "$name")
unzip -l "build/$name.zip"
