# Shared part of the cross toolchain files: Debian's cross compiler
# URLKEYS_CROSS_TRIPLE-g++ (package g++-TRIPLE, with the target's C library
# under /usr/TRIPLE), and qemu-user (qemu-PROCESSOR -L /usr/TRIPLE) to run
# the programs, so ctest and test discovery work unchanged. Without
# GoogleTest for the target, the tests build GoogleTest from the sources of
# Debian's googletest package (URLKEYS_GTEST_SOURCE_DIR).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${URLKEYS_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${URLKEYS_CROSS_TRIPLE}-g++)
# The target's libraries and headers; build tools come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${URLKEYS_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(URLKEYS_QEMU qemu-${CMAKE_SYSTEM_PROCESSOR})
if(URLKEYS_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${URLKEYS_QEMU} -L /usr/${URLKEYS_CROSS_TRIPLE})
endif()
