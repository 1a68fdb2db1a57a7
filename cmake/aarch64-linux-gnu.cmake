# Cross build for 64-bit ARM Linux (arm64: Raspberry Pi 3 and later with a
# 64-bit system) with Debian's cross compiler (package g++-aarch64-linux-gnu).
# Built programs run here under qemu-aarch64 (package qemu-user) with the
# cross libraries as their root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KORVEL_DEBIAN_ARCH arm64)

set(TOOLCHAIN_PREFIX aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
