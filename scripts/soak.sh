#!/usr/bin/env bash
# Soak run: 100,000 export calls (or the number given) in one process
# against echoing loopback servers, every result checked, with resident
# memory and the live heap printed at the start, the middle and the end.
# Not part of the CI run (which makes 2,000 calls). Uses the hardening
# build (build-hardening), configuring it if needed.
# Usage: scripts/soak.sh [calls, default 100000] [allowed RSS growth in KiB]
set -euo pipefail
cd "$(dirname "$0")/.."
calls=${1:-100000}
allowed=${2:-2048}
build=build-hardening
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKT_BUILD_TOOLS=OFF \
    -DSIGNAL_SERVER_HOST=127.0.0.1:47811 -DACCOUNT_SERVICE_HOST=localhost:47812 >/dev/null
fi
cmake --build "$build" --target hardening_soak -j2
# Without the allocator's per-thread caches the live heap can be read exactly.
GLIBC_TUNABLES=glibc.malloc.tcache_count=0 "$build/tests/hardening/hardening_soak" "$calls" "$allowed"
