# Cross build for IBM Z Linux, a big-endian target (plain block scans), with
# Debian's g++-s390x-linux-gnu; the tests run under qemu-user. Use
#   cmake --workflow --preset s390x
# or -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(URLKEYS_CROSS_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux-gnu.cmake)
