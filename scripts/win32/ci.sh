#!/bin/bash
# The Windows program's CI: installs the packages, builds the 64-bit and
# 32-bit velno-updater.exe, checks their DLL imports, runs every test of the
# cross builds under Wine (CTest label wine) and the smoke test of both
# programs on an X server of its own (Xvfb). Exits non-zero on any failure.
# On a machine that cannot execute 32-bit x86 programs the 32-bit program is
# built and checked but not run, and one line says so.
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

# The 32-bit program's Wine runs need a kernel that executes 32-bit x86
# programs; elsewhere it is still built and its imports checked above.
builds=(mingw64:win64)
if velno_can_run_32bit; then
    builds+=(mingw32:win32)
else
    echo "SKIPPED: the 32-bit Windows program's Wine tests and smoke test: this machine cannot execute 32-bit x86 programs${VELNO_PRETEND_NO_32BIT:+ (VELNO_PRETEND_NO_32BIT is set)}"
fi

status=0
artifacts=build/win32-artifacts
mkdir -p "$artifacts"
for build in "${builds[@]}"; do
    preset="${build%%:*}"
    name="${build#*:}"
    echo "== tests of the $preset build under Wine"
    if ! ctest --preset "$preset"; then
        echo "Windows build: the $preset tests FAILED" >&2
        status=1
    fi
    if ! "$here/smoke-test.sh" "build/$preset/app/win32/velno-updater.exe" "$name" \
        "$artifacts/velno-updater-$name-completed.png"; then
        echo "Windows build: the $preset smoke test FAILED" >&2
        status=1
    fi
done

if [ $status -eq 0 ]; then
    echo "Windows build: all checks passed"
else
    echo "Windows build: FAILED" >&2
fi
exit $status
