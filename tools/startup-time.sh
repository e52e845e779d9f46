#!/bin/bash
# Time from starting nearwatch.exe until its main window shows, for the speed
# table. Usage: tools/startup-time.sh win32|win64 [runs]   (default 5 runs)
# The 32-bit build runs natively or, with NW_EMU32 set as tools/test.sh sets
# it, under the emulator. Prints each run and the median in ms.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1 runs=${2:-5}
bin=$here/build/$build/bin
[ -f "$bin/nearwatch.exe" ] || { echo "build $build first"; exit 1; }
[ "$build" = win32 ] && export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix32}
. "$here/tools/xsession.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -z "${NW_XVFB_PID:-}" ] || kill "$NW_XVFB_PID"' EXIT
printf 'unit_ms 5\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n' >"$work/scenario.txt"
export NEARWATCH_RADIO="Z:${bin//\//\\}\\simradio.dll" NEARWATCH_SIMRADIO="Z:${work//\//\\}\\scenario.txt"
times=()
for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    "$here/tools/wine-run.sh" "$bin/nearwatch.exe" /nosaveload </dev/null >/dev/null 2>&1 &
    window=$(timeout 120 xdotool search --sync --onlyvisible --classname nearwatch.exe | head -1)
    times+=($(( ($(date +%s%N) - t0) / 1000000 )))
    [ -z "$window" ] || kill "$(xdotool getwindowpid "$window")" 2>/dev/null || true
    wait || true
    # The next run must not find this run's window still on the screen.
    while xdotool search --onlyvisible --classname nearwatch.exe >/dev/null 2>&1; do sleep 0.2; done
    sleep 0.5
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "$build start-up, ms: ${times[*]}; median ${sorted[$((runs / 2))]}"
