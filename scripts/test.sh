#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs every test suite: the build with
# warnings as errors, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the position list fed arbitrary bytes for
# 60 s (libFuzzer), then the Windows program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for preset in dev asan; do
  echo "== $preset =="
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== fuzz =="
bash scripts/fuzz.sh

if [ -f scripts/win32/ci.sh ]; then
  echo "== windows =="
  bash scripts/win32/ci.sh
fi
