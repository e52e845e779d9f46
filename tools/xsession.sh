#!/bin/bash
# Sourced: makes sure an X display (Xvfb when there is none) and a warm
# wineserver exist for this shell. Sets DISPLAY and WINEPREFIX.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
NW_OWN_XVFB=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    NW_OWN_XVFB=1
    n=90
    while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1280x900x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    NW_XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
mkdir -p "$WINEPREFIX"
# A persistent wineserver makes every later Wine process start in ~50 ms.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
fi
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 || true
# Xvfb has no window manager, and Wine waits two seconds for one to confirm
# every hidden or closed window (each exit took 2 s, 4 s with the tray icon,
# whose window Wine hides too); let Wine manage its windows itself there,
# and on any given display that has no window manager either.
if [ "$NW_OWN_XVFB" = 1 ] || [ "${NW_UNMANAGED:-}" = 1 ] ||
    ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then managed=N; else managed=Y; fi
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d $managed /f </dev/null >/dev/null 2>&1 || true
(/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 &)
# The desktop process too, so the first program that opens a window does not
# start it (should it end, the next program starts one; tools/wine-test.sh
# keeps such a process from holding a test's output).
(setsid /usr/lib/wine/wine64 explorer.exe /desktop </dev/null >/dev/null 2>&1 &)
