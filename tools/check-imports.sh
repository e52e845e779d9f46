#!/bin/bash
# The program binds the Bluetooth library at run time: no executable may import
# it, nor the Windows Runtime (Windows 7 has none), nor any C/C++ runtime DLL
# that a bare Windows lacks.
set -u
status=0
for exe in "$@"; do
    [ -f "$exe" ] || { echo "missing: $exe"; status=1; continue; }
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
    for bad in bthprops.cpl bluetoothapis.dll combase.dll api-ms-win-core-winrt-l1-1-0.dll api-ms-win-core-winrt-string-l1-1-0.dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll; do
        if grep -qx "$bad" <<<"$dlls"; then echo "$exe imports $bad"; status=1; fi
    done
done
[ $status -eq 0 ] && echo "imports ok: $*"
exit $status
