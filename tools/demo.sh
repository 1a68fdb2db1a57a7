#!/usr/bin/env bash
# One real programming run. With a serial device (or port number) as the
# first argument, korvel programs the board on it with the given file.
# Without one it builds everything, starts the virtual H8/3048F board on a
# pseudo-terminal, programs a 32 KB S-record file into it and checks that
# the board's flash now holds exactly that file.
#
#   tools/demo.sh                       virtual board, sample file
#   tools/demo.sh /dev/ttyUSB0 app.mot  a real board
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Its own build folder, without the test suite: a real board needs only a
# compiler and CMake; the virtual board's run also the H8 toolchain and
# srecord for the sample file and the check.
build="$root/build-demo"

if [ $# -ge 1 ]; then
  "$root/tools/install_deps.sh" cmake g++ make
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j 2 --target korvel >/dev/null
  exec "$build/app/korvel" "$@"
fi

"$root/tools/install_deps.sh" cmake g++ make binutils-h8300-hms gcc-h8300-hms srecord
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target korvel h8board >/dev/null

work="$(mktemp -d)"
trap 'kill "$board" 2>/dev/null || true; rm -rf "$work"' EXIT
"$root/tools/make_sample_records.sh" "$work" >/dev/null
file="$work/random32k_s1_16.mot"

"$build/sim/h8board" --link "$work/h8board" --out "$work/flash.bin" --timeout 600 >"$work/board.out" &
board=$!
for _ in $(seq 100); do [ -e "$work/h8board" ] && break; sleep 0.05; done

"$build/app/korvel" "$work/h8board" "$file"
wait "$board"

# The whole 128 KB as the file should leave it: the data, erased (H'FF) elsewhere.
srec_cat "$file" -fill 0xFF 0 0x20000 -o "$work/expected.bin" -binary
if cmp -s "$work/flash.bin" "$work/expected.bin"; then
  echo "flash matches $(basename "$file") byte for byte"
else
  echo "flash differs from $(basename "$file")" >&2
  exit 1
fi
