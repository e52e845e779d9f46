#!/bin/bash
# Installs what is missing, builds both targets and runs every test: the
# 64-bit build's, and the 32-bit release's where this machine can run it.
# The 32-bit tests run natively where the kernel runs 32-bit programs, and
# under user-mode emulation where it refuses them (there only the unit tests
# and the start-up and crash-report end-to-end tests: each process starts
# slowly). NW_32BIT_MODE=native|emulated|off overrides what is found.
# Extra arguments go to every ctest run (e.g. -R Pattern).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
start=$(date +%s)
"$here/tools/install-deps.sh" 32bit
mode=$("$here/tools/emu32/detect.sh")
case $mode in
    native) echo "32-bit build: runs natively here (unit and end-to-end tests)" ;;
    emulated) echo "32-bit build: emulated ($([ "${NW_32BIT_MODE:-auto}" = emulated ] \
        && echo "NW_32BIT_MODE=emulated" || echo "this kernel refuses 32-bit programs"))" \
        "with $(qemu-i386-static --version | head -1) (unit tests, start-up and crash-report tests)" ;;
    off) echo "32-bit build: not run (NW_32BIT_MODE=off); built and checked only" ;;
esac

# Each build gets an X display and a Wine prefix (so a wineserver, a
# clipboard and a focus) of its own: the two runs cannot disturb each other
# and go side by side. The 64-bit tests start as soon as their build is
# done, while the 32-bit build compiles: much of a window test is waiting.
logs=$here/build/test-logs
rm -rf "$logs"
mkdir -p "$logs"
if [ "$mode" = emulated ]; then
    export NW_EMU32=$(command -v qemu-i386-static) NW_EMU32_PRELOAD=$here/build/emu32/trapno.so
fi
# Waits in the end-to-end tests end as soon as their condition holds; their
# limits are doubled since the cores are shared with the other build, and
# raised more under emulation, where every step is several times slower.
export NW_E2E_WAIT_SCALE=${NW_E2E_WAIT_SCALE:-2}
xvfb_pids=()
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for b in win64 win32; do "$here/tools/mqtt-broker.sh" stop "$here/build/test-mqtt/$b" || true; done
    for prefix in wineprefix wineprefix32; do
        WINEPREFIX=$here/build/$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    done
    for p in "${xvfb_pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
session() {  # Wine prefix
    export DISPLAY= WINEPREFIX=$1
    NW_XVFB_PID=
    . "$here/tools/xsession.sh"
    [ -z "$NW_XVFB_PID" ] || xvfb_pids+=("$NW_XVFB_PID")
}
# Each build's tests get a broker of their own (tools/mqtt-broker.sh): the
# restart test stops and starts it.
run_ctest() {  # build dir, log name, ctest arguments...
    local dir=$1 log=$logs/$2.log
    shift 2
    (cd "$dir" && ctest --output-on-failure --timeout 300 "$@") >"$log" 2>&1
}
broker() {  # name: starts it and exports its folder to the tests
    export NW_TEST_MQTT_DIR=$here/build/test-mqtt/$1
    "$here/tools/mqtt-broker.sh" start "$NW_TEST_MQTT_DIR" >/dev/null
}

# Only what runs: the benchmark and the command-line driver are not built.
# The unit tests run one suite to a process: a process start under Wine is
# most of a unit test's time (about a second under emulation), and by suite
# the 64-bit ones took 80 s instead of 155 s on a quiet machine.
programs="nearwatch simradio nearwatch_tests nearwatch_e2e"
export NW_TESTS_BY_SUITE=1
NW_BUILD_TARGETS=$programs "$here/tools/build.sh" win64
session "$here/build/wineprefix"
broker win64
run_ctest "$here/build/win64" win64 "$@" &
pids+=($!)

if [ "$mode" = off ]; then
    NW_BUILD_TARGETS=nearwatch "$here/tools/build.sh" win32
else
    NW_32BIT_TESTS=1 NW_BUILD_TARGETS=$programs "$here/tools/build.sh" win32
fi
file "$here/build/win32/bin/nearwatch.exe" | grep -q "PE32 executable (GUI) Intel 80386" \
    || { echo "build/win32/bin/nearwatch.exe is not a 32-bit GUI executable"; exit 1; }
"$here/tools/check-imports.sh" "$here/build/win32/bin/nearwatch.exe"

if [ "$mode" = emulated ]; then
    # Wine's fault handler needs the trap number the emulator leaves out.
    mkdir -p "$here/build/emu32"
    gcc -m32 -O2 -shared -fPIC -o "$here/build/emu32/trapno.so" "$here/tools/emu32/trapno.c" -ldl
fi
if [ "$mode" != off ]; then
    session "$here/build/wineprefix32"
    broker win32
    if [ "$mode" = native ]; then
        run_ctest "$here/build/win32" win32 "$@" &
    else
        (
            status=0
            run_ctest "$here/build/win32" win32 -LE e2e "$@" || status=$?
            NW_E2E_WAIT_SCALE=$((NW_E2E_WAIT_SCALE * 3)) run_ctest "$here/build/win32" win32-e2e -L e2e \
                -R '^(AppScan\.DevicesShowWithTheirTexts|CrashReport\..*)$' "$@" || status=$?
            exit $status
        ) &
    fi
    pids+=($!)
fi

status=0
for p in "${pids[@]}"; do wait "$p" || status=1; done
passed=0 failed=0 summary=""
for log in "$logs"/*.log; do
    [ -f "$log" ] || continue
    name=$(basename "$log" .log)
    echo "==== $name ===="
    cat "$log"
    # "100% tests passed, 0 tests failed out of 295"
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
    if [ -z "$line" ]; then echo "$name: no ctest summary"; status=1; continue; fi
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    n=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + n - f)); failed=$((failed + f))
    summary+="$name: $line"$'\n'
done
printf '%s' "$summary"
pids=()
echo "test run took $(( $(date +%s) - start )) s (32-bit: $mode)"
echo "tests: $passed passed, $failed failed"
exit $status
