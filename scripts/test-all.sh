#!/usr/bin/env bash
# Runs every test from nothing: installs what is missing, builds the Windows
# DLLs (mingw-w64), the Linux build (which also checks those DLLs and runs
# them under Wine) and the sanitizer build, runs ctest in both Linux builds,
# gives each fuzz target a short run and ends with one summary line over
# all runs.
set -uo pipefail
cd "$(dirname "$0")/.."

log() { printf '\n== %s\n' "$*"; }

# package name -> something that is there once it is installed
declare -A needs=(
  [cmake]=/usr/bin/cmake
  [g++]=/usr/bin/g++
  [make]=/usr/bin/make
  [libgtest-dev]=/usr/include/gtest/gtest.h
  [g++-mingw-w64-x86-64-posix]=/usr/bin/x86_64-w64-mingw32-g++-posix
  [wine64]=/usr/lib/wine/wine64
  [locales]=/usr/bin/localedef
  [libbenchmark-dev]=/usr/include/benchmark/benchmark.h
  [libssl-dev]=/usr/include/openssl/ssl.h
  [zip]=/usr/bin/zip
  [osslsigncode]=/usr/bin/osslsigncode
  [clang]=/usr/bin/clang++
  [libclang-rt-14-dev]=/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a
)

install_missing() {
  local missing=() package
  for package in "${!needs[@]}"; do
    [[ -e ${needs[$package]} ]] || missing+=("$package")
  done
  if ((${#missing[@]})); then
    log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update && apt-get install -y "${missing[@]}" || return 1
  fi
  # The double-formatting tests run under a locale with a decimal comma.
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    log "generating de_DE.UTF-8"
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || return 1
  fi
}

passed=0
failed=0

# A stage that cannot even run counts as one failure.
stage() {
  log "$*"
  "$@" || { echo "FAILED: $*"; failed=$((failed + 1)); return 1; }
}

run_ctest() {
  local preset=$1 out summary
  out=$(mktemp)
  log "ctest --preset $preset"
  ctest --preset "$preset" --output-on-failure 2>&1 | tee "$out"
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$out" | tail -n1)
  rm -f "$out"
  if [[ -z $summary ]]; then
    echo "FAILED: ctest --preset $preset printed no summary"
    failed=$((failed + 1))
    return
  fi
  local total bad
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

# Each fuzz target built with clang and run for a few seconds, counted as
# one test: a target that found something fails, and so does the stage
# when the targets do not build. A fixed seed keeps the short run the same
# from one run to the next: long runs, with fresh seeds, are for finding.
fuzz_smoke() {
  local out ran ok
  out=$(mktemp)
  log "fuzz smoke: FUZZ_SEED=1 scripts/fuzz-all.sh 5"
  FUZZ_SEED=1 scripts/fuzz-all.sh 5 2>&1 | tee "$out"
  ran=$(grep -cE '^[a-z_]+_fuzzer: ' "$out")
  ok=$(grep -cE '^[a-z_]+_fuzzer: [0-9]+ executions, 0 findings \(exit 0\)$' "$out")
  rm -f "$out"
  if ((ran == 0)); then
    echo "FAILED: the fuzz targets did not build"
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + ok))
  failed=$((failed + ran - ok))
}

build_and_test() {
  local preset=$1
  stage cmake --preset "$preset" || return
  stage cmake --build --preset "$preset" || return
  run_ctest "$preset"
}

stage install_missing
if stage cmake --preset windows; then
  stage cmake --build --preset windows
fi
build_and_test linux
# Nothing of the Wine tests may outlive the run, even when ctest was cut short.
scripts/wine-env.sh stop "$PWD/build/linux/wineprefix" || true
build_and_test linux-asan
fuzz_smoke

echo
echo "$passed passed, $failed failed"
((failed == 0))
