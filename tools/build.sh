#!/bin/bash
# Builds both Windows targets: build/win32 (the 32-bit release) and build/win64.
# Usage: build.sh [win32|win64]...   (default: both)
# NW_BUILD_TARGETS may name the make targets to build (default: all).
# build/win32 holds test programs only with NW_32BIT_TESTS=1: then its tests
# are registered to run under the Wine loader as well. NW_TESTS_BY_SUITE=1
# registers the unit tests one suite to a process (cmake/TestSuites.cmake).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
targets=${*:-win32 win64}
for t in $targets; do
    extra=()
    case $t in
        win32) arch=i686
            if [ "${NW_32BIT_TESTS:-}" = 1 ]; then
                extra=(-DNW_BUILD_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR="$here/tools/wine-test.sh"
                       -DNW_TESTS_BY_SUITE="${NW_TESTS_BY_SUITE:-OFF}")
            else
                extra=(-DNW_BUILD_TESTS=OFF)
            fi ;;
        win64) arch=x86_64
            extra=(-DNW_TESTS_BY_SUITE="${NW_TESTS_BY_SUITE:-OFF}") ;;
        *) echo "unknown target $t"; exit 2 ;;
    esac
    "$here/tools/build-gtest.sh" $arch
    cmake -S "$here" -B "$here/build/$t" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DNW_WERROR=ON "${extra[@]}" \
        -DGTest_DIR="$here/build/deps/gtest-$arch/lib/cmake/GTest" >/dev/null
    cmake --build "$here/build/$t" -j"$(nproc)" ${NW_BUILD_TARGETS:+--target $NW_BUILD_TARGETS}
done
