#!/bin/bash
# A developer's own 64-bit build and test run, apart from the release dirs.
# Usage: tools/dev.sh NAME build [make targets...]
#        tools/dev.sh NAME test [ctest args...]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
name=$1; verb=$2; shift 2
dir=$here/build/dev-$name
case $verb in
    build)
        "$here/tools/build-gtest.sh" x86_64 >/dev/null
        [ -f "$dir/CMakeCache.txt" ] || cmake -S "$here" -B "$dir" -G "Unix Makefiles" \
            -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-x86_64-w64-mingw32.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DNW_WERROR=ON \
            -DGTest_DIR="$here/build/deps/gtest-x86_64/lib/cmake/GTest" >/dev/null
        if ! cmake --build "$dir" -j2 ${*:+--target "$@"} >"$dir/build.log" 2>&1; then
            grep -v '^\[' "$dir/build.log" | head -80
            echo "BUILD FAILED (full log: $dir/build.log)"
            exit 1
        fi
        ;;
    test)
        . "$here/tools/xsession.sh"
        cd "$dir" && ctest --output-on-failure "$@"
        ;;
    *) echo "usage: dev.sh NAME build|test ..."; exit 2 ;;
esac
