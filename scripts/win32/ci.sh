#!/bin/bash
# The Windows program's CI: installs the packages, builds the 64-bit and
# 32-bit velno-updater.exe, checks their DLL imports, runs every test of the
# cross builds under Wine (CTest label wine) and the smoke test of both
# programs on an X server of its own (Xvfb). Exits non-zero on any failure.
# Screenshots of the completed window go to build/win32-artifacts/.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"

"$here/install-deps.sh"
"$here/build.sh"
"$here/check-imports.sh" build/mingw64/app/win32/velno-updater.exe \
    build/mingw32/app/win32/velno-updater.exe

# An X server for the window tests and the smoke test, on a free display.
display=99
while [ -e "/tmp/.X${display}-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done

"$here/prepare-prefix.sh"
status=0
for preset in mingw64 mingw32; do
    echo "== tests of the $preset build under Wine"
    ctest --preset "$preset" 2>&1 | tee "build/$preset/ctest.log" | grep -E "tests passed|tests failed|\*\*\*|Failed|Not Run" || true
    if grep -q "100% tests passed" "build/$preset/ctest.log"; then
        :
    else
        tail -40 "build/$preset/ctest.log"
        status=1
    fi
done

artifacts=build/win32-artifacts
mkdir -p "$artifacts"
"$here/smoke-test.sh" build/mingw64/app/win32/velno-updater.exe win64 \
    "$artifacts/velno-updater-win64-completed.png" || status=1
"$here/smoke-test.sh" build/mingw32/app/win32/velno-updater.exe win32 \
    "$artifacts/velno-updater-win32-completed.png" || status=1

if [ $status -eq 0 ]; then
    echo "Windows build: all checks passed"
else
    echo "Windows build: FAILED" >&2
fi
exit $status
