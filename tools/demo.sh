#!/usr/bin/env bash
# One real programming run. With a serial device (or port number) as the
# first argument, korvel programs the board on it with the given file.
# Without one it builds everything and starts the virtual H8/3048F board on
# a pseudo-terminal twice, paced to the line's real 9600 bit/s (and the fast
# mode's rates) so that the figures korvel gives are the line's: first the
# 32 KB sample file in fast mode, then the small blink program in the
# ordinary run. After each it checks that the board's flash holds exactly
# the file.
#
#   tools/demo.sh                       virtual board, sample files
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
board=""
trap '[ -z "$board" ] || kill "$board" 2>/dev/null || true; rm -rf "$work"' EXIT
"$root/tools/make_sample_records.sh" "$work" >/dev/null

# run_on_board NAME FILE [OPTION...]: a paced board, one korvel run on it,
# then the board's whole 128 KB against the file: the data, H'FF elsewhere.
run_on_board() {
  local name=$1 file=$2
  shift 2
  "$build/sim/h8board" --pace --link "$work/$name" --out "$work/$name.bin" --timeout 600 >"$work/$name.out" &
  board=$!
  for _ in $(seq 100); do [ -e "$work/$name" ] && break; sleep 0.05; done
  "$build/app/korvel" --exit-status "$@" "$work/$name" "$file"
  wait "$board"
  srec_cat "$file" -fill 0xFF 0 0x20000 -o "$work/$name.expected" -binary
  if cmp -s "$work/$name.bin" "$work/$name.expected"; then
    echo "flash matches $(basename "$file") byte for byte"
  else
    echo "flash differs from $(basename "$file")" >&2
    exit 1
  fi
}

run_on_board fast "$work/random32k_s1_16.mot" --fast
run_on_board ordinary "$work/blink.mot"
