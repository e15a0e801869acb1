#!/bin/sh
# Installs the build BUILD into a new prefix under WORK and builds the
# consumer against it, with the CMake package (shared and static) and with
# pkg-config; every program must print EXPECTED. The SONAME is checked too.
# usage: run.sh BUILD WORK
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$1
work=$2
expected="orvasm 1.4.0 (header 10400) status 0 rom a0 01 05 2e 00 80 2a main=0100 lib=0105"
rm -rf "$work" && mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name liborvasm.so -print -quit)")

check() {
  output=$("$@" 2>/dev/null)
  if [ "$output" != "$expected" ]; then
    echo "$1 printed: $output" >&2
    echo "expected:   $expected" >&2
    exit 1
  fi
  echo "ok: $1"
}

readelf -d "$libdir/liborvasm.so" | grep -q 'SONAME.*\[liborvasm\.so\.1\]' ||
  { echo "liborvasm.so has no SONAME liborvasm.so.1" >&2; exit 1; }

cmake -S "$here" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
check "$work/cmake/consumer_shared"
check "$work/cmake/consumer_static"
! ldd "$work/cmake/consumer_static" | grep -q liborvasm || { echo "consumer_static uses the shared library" >&2; exit 1; }

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046 # the flags are words
cc -std=c99 -Wall -Wextra -Wpedantic -Werror "$here/consumer.c" -o "$work/consumer_pc" \
  $(pkg-config --cflags --libs orvasm)
LD_LIBRARY_PATH="$libdir" check "$work/consumer_pc"
