#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the cross builds of korvel: Windows (its korvel.exe is run under Wine
#      by the suite), arm64 and armhf Linux (run under qemu by the suite);
#   2. the Linux build and the whole suite through CTest;
#   3. the fault campaign (tools/fault_campaign.sh, CAMPAIGN_RUNS a mode,
#      default 500): it fails when a fast run ends in "Success" with the
#      flash different;
#   4. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   5. each libFuzzer target for a bounded time (FUZZ_SECONDS, default 60).
# --quick stops after step 2.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
quick=0
[ "${1:-}" = "--quick" ] && quick=1
"$root/tools/install_deps.sh"

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

# suite BUILD_DIR [cmake options...]: configures, builds and runs CTest.
suite() {
  local dir="$1"
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVEL_WINDOWS_EXE="$root/build-win/app/korvel.exe" -DKORVEL_ARM64_EXE="$root/build-arm64/app/korvel" \
    -DKORVEL_ARMHF_EXE="$root/build-armhf/app/korvel" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== Linux build and tests"
suite "$root/build"
[ $quick -eq 1 ] && exit 0

echo "== Fault campaign"
"$root/tools/fault_campaign.sh" --build "$root/build" "${CAMPAIGN_RUNS:-500}"

echo "== Sanitizer build (ASan + UBSan) and tests"
# Any report ends the process with a failure, which the tests see as a
# wrong exit code or a crash.
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
suite "$root/build-asan" -DKORVEL_SANITIZE=ON
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== Fuzzing"
"$root/tools/fuzz.sh" "${FUZZ_SECONDS:-60}"
