#!/bin/bash
# Long fuzz runs: the seeded fuzz tests of the unit test program, again and
# again with a new seed each time, until SECONDS have passed.
#   tools/fuzz.sh SECONDS [SCALE]
# SCALE multiplies each test's rounds per run (default 10). Every run prints
# its seed; a failure prints the seed, the round and the input (also kept in
# Wine's %TEMP%\nw_fuzz_input.bin) and ends the script with status 1. Run a
# seed again with NW_FUZZ_SEED=0x... and the same NW_FUZZ_SCALE.
# NW_FUZZ_BUILD=DIR uses the test program of an existing build folder
# (e.g. build/dev-NAME) instead of building build/win64.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: tools/fuzz.sh SECONDS [SCALE]}
scale=${2:-10}
build=${NW_FUZZ_BUILD:-}
if [ -z "$build" ]; then
    build=$here/build/win64
    NW_BUILD_TARGETS=nearwatch_tests "$here/tools/build.sh" win64 >/dev/null
fi
. "$here/tools/xsession.sh"
end=$(( $(date +%s) + seconds ))
runs=0
status=0
while [ "$(date +%s)" -lt "$end" ]; do
    seed=0x$(od -An -N8 -tx8 /dev/urandom | tr -d ' \n')
    echo "fuzz run $((runs + 1)): NW_FUZZ_SEED=$seed NW_FUZZ_SCALE=$scale"
    log=$(mktemp)
    if ! NW_FUZZ_SEED=$seed NW_FUZZ_SCALE=$scale NW_TEST_BIN="$build/bin" \
        /usr/lib/wine/wine64 "$build/bin/nearwatch_tests.exe" --gtest_filter='*Fuzz*.*' >"$log" 2>&1; then
        grep -v '^\[ *\(RUN\|OK\) *\]' "$log" | tail -60
        echo "FAILED with NW_FUZZ_SEED=$seed NW_FUZZ_SCALE=$scale"
        rm -f "$log"
        status=1
        break
    fi
    rm -f "$log"
    runs=$((runs + 1))
done
[ "$status" = 0 ] && echo "fuzz: $runs runs passed"
[ -n "${NW_XVFB_PID:-}" ] && kill "$NW_XVFB_PID" 2>/dev/null
exit $status
