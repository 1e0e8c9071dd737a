#!/usr/bin/env bash
# Builds every libFuzzer target with clang (build-hardening-fuzz) and runs
# each for a bounded time: the transport's response parser, header
# extraction and body decoding, and the pattern engine (scripts/test-all.sh
# runs it for a few seconds per target). Prints executions and this run's
# findings per target; crash-*/timeout-* files are left in
# build-hardening-fuzz/findings/<target>/.
# Usage: scripts/fuzz-all.sh [seconds per target, default 120] [target...]
# (all four targets when none is named). FUZZ_SEED=n makes every target
# take the same choices on each run (default 0: a fresh seed each run).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
build=build-hardening-fuzz
targets=(response_parser_fuzzer header_extraction_fuzzer body_decoding_fuzzer pattern_fuzzer)
(($# > 1)) && targets=("${@:2}")

cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_BUILD_FUZZERS=ON -DKT_BUILD_TESTS=OFF -DKT_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j2

# Where each target's kept seed corpus lives, and how long its inputs may be.
declare -A corpus=(
  [response_parser_fuzzer]=fuzz/transport/corpus/response
  [header_extraction_fuzzer]=fuzz/transport/corpus/headers
  [body_decoding_fuzzer]=fuzz/transport/corpus/body
  [pattern_fuzzer]=fuzz/pattern/corpus)
declare -A max_len=(
  [response_parser_fuzzer]=60000 [header_extraction_fuzzer]=8192
  [body_decoding_fuzzer]=60000 [pattern_fuzzer]=200)

summary=()
status=0
for target in "${targets[@]}"; do
  binary=$(find "$build/fuzz" -type f -name "$target" -perm -u+x | head -n1)
  findings="$build/findings/$target"
  scratch=$(mktemp -d)
  mkdir -p "$findings"
  log="$findings/run.log"
  # Only this run's findings count; earlier ones stay for reading.
  started="$findings/.started"
  touch "$started"
  echo "== $target for ${seconds}s"
  # New inputs go to a scratch corpus, so the kept one stays small.
  set +e
  "$binary" -max_total_time="$seconds" -seed="${FUZZ_SEED:-0}" -timeout=10 -rss_limit_mb=2048 -max_len="${max_len[$target]}" \
    -print_final_stats=1 -artifact_prefix="$findings/" "$scratch" "${corpus[$target]}" >"$log" 2>&1
  rc=$?
  set -e
  rm -rf "$scratch"
  runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo "?")
  found=$(find "$findings" -newer "$started" \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) | wc -l)
  summary+=("$target: $runs executions, $found findings (exit $rc)")
  ((rc == 0 && found == 0)) || status=1
done
printf '\n'
printf '%s\n' "${summary[@]}"
exit $status
