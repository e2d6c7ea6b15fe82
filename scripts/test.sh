#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs every test suite: the build with
# warnings as errors, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the position list fed arbitrary bytes for
# 60 s (libFuzzer), then the Linux packages, then the Windows program under
# Wine and its zip.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for preset in dev asan; do
  echo "== $preset =="
  cmake --workflow --preset "$preset"
  # Why the VM of the vfat label could not run here, if it could not.
  grep -h '^vfat: SKIPPED' "build/$preset/Testing/Temporary/LastTest.log" | sort -u || true
done

echo "== fuzz =="
bash scripts/fuzz.sh

echo "== linux packages =="
bash scripts/package/linux.sh

echo "== windows =="
bash scripts/win32/ci.sh
bash scripts/package/windows-zip.sh
