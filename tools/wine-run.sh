#!/bin/bash
# Runs a Windows program under the 64-bit Wine loader with the project's own
# prefix. ctest uses it as the cross-compiling emulator.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No prompts for the .NET and HTML engines Wine would otherwise offer to fetch.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine64 "$@"
