# Sourced by tools/run_tests.sh and tools/soak.sh: how a test suite's build
# folder is configured, and the sanitizer settings its runs take.

# configure_suite ROOT BUILD_DIR CROSS [cmake options...]: configures the
# suite. CROSS=1 hands it the Windows and ARM builds of korvel (build-win,
# build-arm64, build-armhf) for the Wine and qemu rows, and the WebAssembly
# build (build-web) for the browser rows; CROSS=0 hands it none, and those
# rows are skipped rather than run against an old build.
configure_suite() {
  local root="$1" dir="$2" cross="$3"
  shift 3
  local win="" arm64="" armhf="" web=""
  if [ "$cross" = 1 ]; then
    win="$root/build-win/app/korvel.exe" arm64="$root/build-arm64/app/korvel" armhf="$root/build-armhf/app/korvel"
    web="$root/build-web"
  fi
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_WINDOWS_EXE="$win" \
    -DKORVEL_ARM64_EXE="$arm64" -DKORVEL_ARMHF_EXE="$armhf" -DKORVEL_WEB_BUILD="$web" "$@" >/dev/null
}

# The sanitizer suite's settings: any report ends the process with a
# failure, which the tests see as a wrong exit code or a crash.
sanitizer_env() {
  export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
}
