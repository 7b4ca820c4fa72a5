#!/usr/bin/env bash
# Installs the library from a build tree into a scratch prefix, then builds
# and runs the consumer program against it twice: with find_package and with
# pkg-config. Usage: run.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -L "$work/prefix/lib/liburlkeys.so" || { echo "consumer: no liburlkeys.so link"; exit 1; }
test -f "$work/prefix/include/urlkeys/urlkeys.h" || { echo "consumer: no headers"; exit 1; }

cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/cmake-build/consumer" >/dev/null
echo "consumer: find_package build runs"

export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
# shellcheck disable=SC2046
c++ -std=c++11 -o "$work/consumer-pc" "$here/main.cpp" $(pkg-config --cflags --libs urlkeys)
LD_LIBRARY_PATH="$work/prefix/lib" "$work/consumer-pc" >/dev/null
echo "consumer: pkg-config build runs"
