#!/bin/bash
# Builds the 64-bit benchmark program and runs it under Wine with an X
# display (Xvfb when there is none). Extra arguments go to the program:
#   tools/bench.sh [--runs N] [--filter TEXT]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/build-gtest.sh" x86_64 >/dev/null
cmake -S "$here" -B "$here/build/win64" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-x86_64-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DNW_WERROR=ON \
    -DGTest_DIR="$here/build/deps/gtest-x86_64/lib/cmake/GTest" >/dev/null
cmake --build "$here/build/win64" -j"$(nproc)" --target nearwatch_bench >/dev/null
# The release's size is measured on the 32-bit build (NW_BENCH_NO_WIN32=1 skips it).
[ "${NW_BENCH_NO_WIN32:-}" = 1 ] || NW_BUILD_TARGETS=nearwatch "$here/tools/build.sh" win32 >/dev/null
. "$here/tools/xsession.sh"
oui=/usr/share/ieee-data/oui.txt
args=()
[ -f "$oui" ] && args+=(--oui "Z:${oui//\//\\}")
status=0
[ -f "$here/build/win32/bin/nearwatch.exe" ] && "$here/tools/size-report.sh" "$here/build/win32/bin/nearwatch.exe" 0
/usr/lib/wine/wine64 "$here/build/win64/bin/nearwatch_bench.exe" "${args[@]}" "$@" || status=$?
[ -n "${NW_XVFB_PID:-}" ] && kill "$NW_XVFB_PID" 2>/dev/null
exit $status
