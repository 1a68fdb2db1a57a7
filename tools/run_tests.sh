#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the cross builds of korvel: Windows (its korvel.exe is run under Wine
#      by the suite), arm64 and armhf Linux (run under qemu by the suite);
#   2. the WebAssembly build of korvel (build-web, target korvel-web) and
#      the Linux build with the whole suite through CTest, the browser rows
#      (tests/web) driving the page against it;
#   3. the fault campaign (tools/fault_campaign.sh, CAMPAIGN_RUNS a mode,
#      default 500): it fails when a fast run ends in "Success" with the
#      flash different;
#   4. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   5. each libFuzzer target for a bounded time (FUZZ_SECONDS, default 60).
# --quick, the inner loop after a change: step 2 alone, without the cross
# builds; the suite skips the Wine, qemu and browser rows.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
quick=0
[ "${1:-}" = "--quick" ] && quick=1
source "$root/tools/suite_setup.sh"
"$root/tools/install_deps.sh"

# suite BUILD_DIR [cmake options...]: configures, builds and runs CTest.
suite() {
  local dir="$1"
  shift
  configure_suite "$root" "$dir" $((1 - quick)) "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

if [ $quick -eq 1 ]; then
  echo "== Linux build and tests (quick: no cross builds)"
  suite "$root/build"
  exit 0
fi

echo "== Windows cross build"
cmake -S "$root" -B "$root/build-win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-win" -j "$jobs" --target korvel serial_contract
ls -l "$root/build-win/app/korvel.exe"
for toolchain in aarch64-linux-gnu:arm64 arm-linux-gnueabihf:armhf; do
  echo "== Linux cross build (${toolchain#*:})"
  dir="$root/build-${toolchain#*:}"
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/${toolchain%:*}.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir" -j "$jobs" --target korvel
done

echo "== WebAssembly build (korvel-web, for the browser rows)"
# Debian's emscripten links against its prebuilt libraries in a frozen
# cache, which it only reads: a user who may not write there builds as well
# (an EM_CACHE set by the caller is passed on).
emcmake cmake -S "$root" -B "$root/build-web" -DKORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-web" -j "$jobs" --target korvel-web

echo "== Linux build and tests"
suite "$root/build"

echo "== Fault campaign"
"$root/tools/fault_campaign.sh" --build "$root/build" "${CAMPAIGN_RUNS:-500}"

echo "== Sanitizer build (ASan + UBSan) and tests"
sanitizer_env
suite "$root/build-asan" -DKORVEL_SANITIZE=ON
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== Fuzzing"
"$root/tools/fuzz.sh" "${FUZZ_SECONDS:-60}"
