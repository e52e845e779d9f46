#!/bin/bash
# Shows Nearwatch at work with the simulated radio and a demo scenario of a
# dozen devices, some arriving later (new-device alerts).
#
# On a working X display the window appears there. Without one the program
# runs on a virtual display (Xvfb): the terminal shows what the window shows
# after every scan, and build/demo-screenshot.png is refreshed every few
# seconds. Ctrl+C ends the demo.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

tools/install-deps.sh
# Only what the demo runs; the test programs are built by tools/test.sh.
NW_BUILD_TARGETS="nearwatch simradio nwdriver" tools/build.sh win64

bin=$here/build/win64/bin
[ -f /usr/share/ieee-data/oui.txt ] && cp -f /usr/share/ieee-data/oui.txt "$bin/oui.txt"

# Windows paths of Unix files: Wine maps / to drive Z:.
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

log=$here/build/demo-radio.log
pidfile=$here/build/demo.pid
shot=$here/build/demo-screenshot.png
: >"$log"
rm -f "$pidfile"

export NEARWATCH_RADIO=$(winpath "$bin/simradio.dll")
# The same library stands in for the Windows Runtime: LE advertisements.
export NEARWATCH_WINRT=$NEARWATCH_RADIO
export NEARWATCH_SIMRADIO=$(winpath "$here/tests/simradio/demo-scenario.txt")
export NEARWATCH_SIMRADIO_LOG=$(winpath "$log")
unset NEARWATCH_SIMRADIO_SCAN

on_display=0
xvfb=""
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    on_display=1
else
    # A virtual display in a session of its own, so that Ctrl+C reaches the
    # demo and not the display: the program is ended cleanly first.
    n=90
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    setsid Xvfb :$n -screen 0 1280x900x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:$n
    # No window manager there: Wine draws the window frames itself.
    export NW_UNMANAGED=1
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
# Prepares Wine (prefix, running wineserver) for this display.
. tools/xsession.sh

shooter=""
cleanup() {
    trap - INT TERM EXIT
    if [ -s "$pidfile" ]; then
        tools/wine-run.sh "$bin/nwdriver.exe" exit "$(tr -dc 0-9 <"$pidfile")" >/dev/null 2>&1 || true
    fi
    [ -n "$driver" ] && kill "$driver" 2>/dev/null || true
    [ -n "$shooter" ] && kill "$shooter" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    echo
    echo "demo ended"
}
driver=""
trap cleanup INT TERM EXIT

if [ $on_display = 1 ]; then
    echo "Nearwatch is starting on display $DISPLAY; close its window or press Ctrl+C to end."
else
    echo "No X display: running on virtual display $DISPLAY."
    echo "The list is printed after every scan; screenshot: $shot (Ctrl+C ends)."
    (
        while sleep 3; do
            import -display "$DISPLAY" -window root "$shot.tmp.png" 2>/dev/null && mv -f "$shot.tmp.png" "$shot"
        done
    ) &
    shooter=$!
fi

# nwdriver starts the program with this environment, prints the status text
# and the rows after every completed scan, and ends the program when asked.
tools/wine-run.sh "$bin/nwdriver.exe" run --pidfile "$(winpath "$pidfile")" --log "$NEARWATCH_SIMRADIO_LOG" \
    "$(winpath "$bin/nearwatch.exe")" &
driver=$!
wait "$driver" || true
driver=""
