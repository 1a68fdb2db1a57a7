#!/usr/bin/env bash
# Serves the browser page on http://localhost:PORT/ (default 8000): web/
# beside korvel-web.js and korvel-web.wasm from the WebAssembly build
# (default build-web/, built first when they are missing). Open the address
# in Chrome, Edge or Chromium; Ctrl-C stops the server.
#   tools/serve_web.sh [PORT] [BUILD_DIR]
# The build is Debian's emscripten: emcmake cmake -S . -B build-web
# -DKORVEL_BUILD_TESTS=OFF && cmake --build build-web --target korvel-web.
# Debian's emscripten ships its libraries prebuilt in a frozen cache; with
# another emscripten whose cache is not writable, EM_CACHE=DIR points it at
# a folder of your own (e.g. EM_CACHE=$PWD/build-web/em-cache).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
port="${1:-8000}"
build="${2:-$root/build-web}"
if [ ! -f "$build/app/korvel-web.wasm" ]; then
  emcmake cmake -S "$root" -B "$build" -DKORVEL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target korvel-web -j "${JOBS:-2}"
fi
site=$(mktemp -d)
trap 'rm -rf "$site"' EXIT
for file in "$root"/web/* "$build"/app/korvel-web.js "$build"/app/korvel-web.wasm; do
  ln -s "$file" "$site/$(basename "$file")"
done
echo "korvel's page: http://localhost:$port/ (Chrome, Edge or Chromium)"
# The system's python3: the standard library's server is all it takes.
/usr/bin/python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
