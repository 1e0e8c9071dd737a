#!/usr/bin/env bash
# Builds the pattern engine's libFuzzer target with clang and runs it for a
# bounded time (seconds, default 180) over fuzz/pattern/corpus. New inputs
# go to a scratch corpus, so the kept corpus stays small; crashes are left
# in build-pattern-fuzz/ as crash-* files. The whole build is instrumented
# for coverage, not only the fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}
build=build-pattern-fuzz
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_BUILD_FUZZERS=ON -DKT_BUILD_TESTS=OFF -DKT_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" --target pattern_fuzzer -j2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$build"
./fuzz/pattern/pattern_fuzzer -max_total_time="$seconds" -timeout=10 -max_len=200 -print_final_stats=1 \
  "$scratch" ../fuzz/pattern/corpus
