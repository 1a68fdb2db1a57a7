# Cross build for 32-bit ARM Linux with hardware floating point (armhf:
# ARMv7 and later, Raspberry Pi 2 and later with a 32-bit system) with
# Debian's cross compiler (package g++-arm-linux-gnueabihf). Built programs
# run here under qemu-arm (package qemu-user) with the cross libraries as
# their root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KORVEL_DEBIAN_ARCH armhf)

set(TOOLCHAIN_PREFIX arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
