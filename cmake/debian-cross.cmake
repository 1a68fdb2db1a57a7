# What the ARM Linux toolchain files share: Debian's cross compiler for
# TOOLCHAIN_PREFIX, its libraries in /usr/TOOLCHAIN_PREFIX, and qemu-user
# to run what it builds (CMAKE_CROSSCOMPILING_EMULATOR).
find_program(CMAKE_CXX_COMPILER NAMES ${TOOLCHAIN_PREFIX}-g++ REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(qemu qemu-aarch64)
else()
  set(qemu qemu-arm)
endif()
find_program(KORVEL_QEMU ${qemu})
if(KORVEL_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVEL_QEMU} -L /usr/${TOOLCHAIN_PREFIX})
endif()
