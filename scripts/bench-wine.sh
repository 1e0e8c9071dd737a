#!/usr/bin/env bash
# The product path's per-call figure: CheckLimits through Kestrane.dll
# against a bare WinHTTP POST, in one Wine process, interleaved, for a
# minimal head and for 60 KB heads of plain and of Set-Cookie lines.
#   scripts/bench-wine.sh [Kestrane.dll] [rounds] [runs]
# Needs build/windows (the DLL and percall_wine.exe) and build/linux (the
# bench server); the DLL must be built for the windows preset's signal host.
set -euo pipefail
cd "$(dirname "$0")/.."

dll=${1:-build/windows/signal/Kestrane.dll}
rounds=${2:-400}
runs=${3:-3}
port=47801
server=build/linux/bench/transport/bench_http_server
caller=build/windows/bench/wine/percall_wine.exe
prefix=$PWD/build/linux/wineprefix
for file in "$dll" "$server" "$caller"; do
  [[ -e $file ]] || { echo "bench-wine: $file is not built" >&2; exit 2; }
done

windows_dll="Z:$(realpath "$dll" | tr / '\\')"
scripts/wine-env.sh start "$prefix" || true
trap 'scripts/wine-env.sh stop "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all

echo "| head | run | ours (us) | bare WinHTTP (us) | ours / bare |"
echo "|---|---|---|---|---|"
for head in minimal /headers/61440/plain /headers/61440/cookies; do
  answer=/; [[ $head == minimal ]] || answer=$head
  for run in $(seq "$runs"); do
    "$server" --port "$port" --answer "$answer" --idle-seconds 20 --max-seconds 600 >/dev/null &
    pid=$!
    sleep 0.3
    read -r _ ours _ bare _ ratio _ failures < <(/usr/lib/wine/wine64 "$caller" "$windows_dll" "$port" "$rounds" | tr -d "\r")
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
    note=""; [[ $failures == 0 ]] || note=" ($failures calls failed)"
    echo "| $head | $run | $ours | $bare | $ratio$note |"
  done
done
