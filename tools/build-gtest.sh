#!/bin/bash
# Builds Debian's GoogleTest sources with a mingw toolchain into build/deps.
# Usage: build-gtest.sh x86_64|i686
set -eu
arch=$1
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$here/build/deps/gtest-$arch
[ -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ] && exit 0
work=$here/build/deps/gtest-build-$arch
rm -rf "$work"
cmake -S /usr/src/googletest -B "$work" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch-w64-mingw32.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR= \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work" -j"$(nproc)" >/dev/null
cmake --install "$work" >/dev/null
rm -rf "$work"
echo "googletest ready for $arch"
