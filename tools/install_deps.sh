#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo use,
# when any is missing: compilers and GoogleTest, the H8 cross toolchain
# (sample programs and a reference disassembler), srecord, the mingw-w64
# Windows cross compiler, Wine to run korvel.exe, the arm64 and armhf cross
# compilers with qemu-user to run their korvel, clang for the fuzzers,
# dpkg-dev (dpkg-shlibdeps), lintian and unzip for the packages; emscripten
# for the WebAssembly build, and headless Chromium with its driver, selenium
# and websockets for the browser rows (tests/web).
# With package names as arguments, only those (tools/demo.sh asks for what
# its run needs).
set -euo pipefail
packages=(cmake g++ make libgtest-dev googletest binutils-h8300-hms gcc-h8300-hms srecord
          g++-mingw-w64-x86-64 wine64 g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user
          clang libclang-rt-14-dev dpkg-dev lintian unzip
          emscripten chromium chromium-driver python3-selenium python3-websockets)
[ $# -gt 0 ] && packages=("$@")
missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ "${#missing[@]}" -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
