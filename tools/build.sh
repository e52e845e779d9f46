#!/bin/bash
# Builds both Windows targets: build/win32 (the 32-bit release) and build/win64.
# Usage: build.sh [win32|win64]...   (default: both)
# NW_BUILD_TARGETS may name the make targets to build (default: all).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
targets=${*:-win32 win64}
for t in $targets; do
    case $t in
        win32) arch=i686 ;;
        win64) arch=x86_64 ;;
        *) echo "unknown target $t"; exit 2 ;;
    esac
    "$here/tools/build-gtest.sh" $arch
    cmake -S "$here" -B "$here/build/$t" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DNW_WERROR=ON \
        -DGTest_DIR="$here/build/deps/gtest-$arch/lib/cmake/GTest" >/dev/null
    cmake --build "$here/build/$t" -j"$(nproc)" ${NW_BUILD_TARGETS:+--target $NW_BUILD_TARGETS}
done
