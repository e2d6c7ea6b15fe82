#!/usr/bin/env bash
# Feeds the position list arbitrary bytes for a while (60 s unless told
# otherwise: scripts/fuzz.sh SECONDS), starting from the committed seed
# corpus, and prints how many inputs were tried. Fails on any crash or
# failed check; the input that caused it is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

if ! command -v clang++-14 >/dev/null ||
    ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a >/dev/null 2>&1; then
  echo "fuzz: skipped: clang++-14 with libFuzzer (clang-14, libclang-rt-14-dev) is not installed"
  exit 0
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
work=build/fuzz/corpus
artifacts=build/fuzz/artifacts
mkdir -p "$work" "$artifacts"
log=build/fuzz/fuzz.log
status=0
# New inputs go to the work folder; the committed corpus is only read.
build/fuzz/tests/fuzz/velno_position_list_fuzz -max_total_time="$seconds" -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" tests/fuzz/corpus/position_list \
  >"$log" 2>&1 || status=$?
runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
if [ "$status" -ne 0 ]; then
  grep -v '^#' "$log" | tail -40
  echo "fuzz: FAILED after ${runs:-?} executions; the input is in $artifacts/" >&2
  exit "$status"
fi
echo "fuzz: ${runs} executions in ${seconds} s, no crash and no failed check"
