#!/usr/bin/env bash
# Configures and builds the x64 and x86 trees: build/x64 and build/x86 (SENDARO_BUILD_ARCHES
# names fewer, e.g. "x64").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# SENDARO_BUILD_ROOT lets several working copies of the build live side by side.
build_root=${SENDARO_BUILD_ROOT:-$root/build}
jobs=$(nproc)

for arch in ${SENDARO_BUILD_ARCHES:-x64 x86}; do
  # The x86 tree holds the product and the test programs a 32-bit host process runs.
  case $arch in
    x64) toolchain=toolchain-x86_64-w64-mingw32.cmake ;;
    x86) toolchain=toolchain-i686-w64-mingw32.cmake ;;
  esac
  echo "build: $arch"
  cmake -S "$root" -B "$build_root/$arch" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
    -DSENDARO_BUILD_TEST_PROGRAMS=ON "$@" >/dev/null
  cmake --build "$build_root/$arch" -j "$jobs"
done
