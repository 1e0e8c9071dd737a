#!/usr/bin/env bash
# The main job: builds both libraries for Linux and for Windows, starts the
# bundled local server on loopback, and runs the sample caller against it,
# first with the Linux libraries, then with the Windows DLLs under Wine.
# The server's log shows what went over the wire.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

PORT=47811
HOSTS=(-DSIGNAL_SERVER_HOST=127.0.0.1:$PORT -DACCOUNT_SERVICE_HOST=localhost:$PORT -DKT_BUILD_TESTS=OFF)
LINUX_DIR=build/main-linux
WINDOWS_DIR=build/main-windows

install_missing() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v g++ >/dev/null || missing+=(g++)
  command -v make >/dev/null || missing+=(make)
  [[ -e /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
  [[ -e /usr/include/openssl/ssl.h ]] || missing+=(libssl-dev)
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
  [[ -x /usr/lib/wine/wine64 ]] || missing+=(wine64)
  if ((${#missing[@]})); then
    echo "== installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  fi
}

build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "${HOSTS[@]}" "$@" >/dev/null
  cmake --build "$dir" -j2 --target Kestrane Falloway sample-caller "${EXTRA_TARGETS[@]}"
}

# Serves at most `requests` posts, then stops by itself; its log goes to `log`.
start_server() {
  "$LINUX_DIR/tools/local-server/local-server" "$PORT" "$1" 120 >"$2" &
  SERVER_PID=$!
  sleep 0.5
}

# The server stops by itself after its requests; one that is still up a
# few seconds after the caller finished is stopped here.
stop_server() {
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.5
  done
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
}

install_missing

echo "== Linux build"
EXTRA_TARGETS=(local-server)
build "$LINUX_DIR"
echo "== Windows build"
EXTRA_TARGETS=()
build "$WINDOWS_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKT_BUILD_TOOLS=ON

STORY_CALLS=9

echo "== Linux sample caller"
start_server "$STORY_CALLS" build/main-linux-server.log
"$LINUX_DIR/tools/sample-caller/sample-caller" "$LINUX_DIR/signal/libKestrane.so" "$LINUX_DIR/account/libFalloway.so"
stop_server
echo "== what the local server received"
cat build/main-linux-server.log

echo "== Windows sample caller under Wine"
mkdir -p build/wineprefix
cp "$WINDOWS_DIR/signal/Kestrane.dll" "$WINDOWS_DIR/account/Falloway.dll" "$WINDOWS_DIR/tools/sample-caller/"
start_server "$STORY_CALLS" build/main-windows-server.log
(cd "$WINDOWS_DIR/tools/sample-caller" &&
  WINEPREFIX="$ROOT/build/wineprefix" WINEDEBUG=-all timeout 300 /usr/lib/wine/wine64 sample-caller.exe Kestrane.dll Falloway.dll)
stop_server
echo "== what the local server received"
cat build/main-windows-server.log
