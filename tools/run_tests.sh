#!/usr/bin/env bash
# Builds everything and runs every test: the Windows cross build first (its
# korvel.exe is run under Wine by the test suite), then the Linux build and
# the whole suite through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
"$root/tools/install_deps.sh"

echo "== Windows cross build"
cmake -S "$root" -B "$root/build-win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-win" -j "$jobs" --target korvel
ls -l "$root/build-win/app/korvel.exe"

echo "== Linux build and tests"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVEL_WINDOWS_EXE="$root/build-win/app/korvel.exe" >/dev/null
cmake --build "$root/build" -j "$jobs"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")
