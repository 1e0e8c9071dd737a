#!/usr/bin/env bash
# Builds the transport benchmarks (Release) and runs them all: per-call cost
# against libcurl and the raw-socket floor, body throughput, memory per
# call, header work. Prints the tables and keeps them in
# <build dir>/bench-report.md. libcurl's headers are a benchmark-only
# dependency and are installed here when missing.
#
#   scripts/bench.sh [--quick]
#
# Environment: KT_BENCH_BUILD_DIR (default build-bench), KT_BENCH_PORT
# (default 47901; the server listens on 127.0.0.1 only, the TLS bench's
# front on the next port).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${KT_BENCH_BUILD_DIR:-build-bench}
port=${KT_BENCH_PORT:-47901}
quick=false
[[ ${1:-} == --quick ]] && quick=true

if ! dpkg -s libcurl4-openssl-dev >/dev/null 2>&1; then
  echo "== installing libcurl4-openssl-dev (benchmarks only)"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends libcurl4-openssl-dev
fi

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DKT_BUILD_TESTS=OFF -DKT_BUILD_TOOLS=ON \
  -DSIGNAL_SERVER_HOST="127.0.0.1:$port" >/dev/null
targets=(bench_http_server bench_tls_front transport_percall_bench transport_tls_percall_bench transport_body_bench
  transport_header_bench transport_memory_bench)
cmake --build "$build_dir" -j2 --target "${targets[@]}" >/dev/null

load=$(cut -d' ' -f1 /proc/loadavg)
if awk -v l="$load" 'BEGIN { exit !(l > 1.5) }'; then
  echo "warning: load average $load: other work shares the cores, timings will be noisy" >&2
fi

if $quick; then
  percall=(--rounds 500 --warmup 50 --repeats 2) body=(--scale 0.3) header=(--seconds 0.5)
  tls=(--rounds 200 --warmup 20)
else
  percall=(--rounds 3000 --warmup 200 --repeats 5) body=(--scale 1) header=(--seconds 2)
  tls=(--rounds 1000 --warmup 100)
fi

bin="$build_dir/bench/transport"
report="$build_dir/bench-report.md"
set +e
(
  status=0
  echo "# Transport benchmarks ($(date -u '+%Y-%m-%d %H:%M UTC'))"
  echo
  echo "nproc $(nproc); $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
  echo
  "$bin/transport_percall_bench" "${percall[@]}" || status=1
  echo
  "$bin/transport_tls_percall_bench" "${tls[@]}" || status=1
  echo
  "$bin/transport_body_bench" "${body[@]}" || status=1
  echo
  "$bin/transport_memory_bench" || status=1
  echo
  "$bin/transport_header_bench" "${header[@]}" || status=1
  exit $status
) | tee "$report"
status=${PIPESTATUS[0]}
echo "report: $report"
exit "$status"
