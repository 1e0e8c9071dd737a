#!/usr/bin/env bash
# The Wine environment in which the tests run the Windows DLLs.
#   wine-env.sh start <prefix>   create the prefix when new and keep a
#                                wineserver up, so each test run starts fast
#   wine-env.sh stop <prefix>    stop that wineserver and its processes
# The server lingers at most a minute after its last client, so a run that
# is cut short leaves nothing behind for long.
set -euo pipefail

find_tool() {
  local candidate
  for candidate in "$@"; do
    if command -v "$candidate" >/dev/null 2>&1; then command -v "$candidate"; return 0; fi
    if [[ -x "$candidate" ]]; then echo "$candidate"; return 0; fi
  done
  echo "wine-env: none of $* found" >&2
  return 1
}

[[ $# -eq 2 ]] || { echo "usage: $0 start|stop <prefix>" >&2; exit 2; }
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
server=$(find_tool wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver)

case "$action" in
  start)
    wine=$(find_tool /usr/lib/wine/wine64 wine64)
    mkdir -p "$WINEPREFIX"
    "$server" -p60 </dev/null >/dev/null 2>&1
    # Creates or updates the prefix; its helper processes must not hold our output.
    "$wine" wineboot -i </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$server" -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop <prefix>" >&2
    exit 2
    ;;
esac
