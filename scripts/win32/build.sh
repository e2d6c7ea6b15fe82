#!/bin/bash
# Builds velno-updater.exe for 64-bit and 32-bit Windows, with its tests,
# in build/mingw64 and build/mingw32.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
for preset in mingw64 mingw32; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done
