# Cross build for 64-bit ARM Linux (NEON block scans) with Debian's
# g++-aarch64-linux-gnu; the tests run under qemu-user. Use
#   cmake --workflow --preset aarch64
# or -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(URLKEYS_CROSS_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux-gnu.cmake)
