#!/bin/bash
# The program binds the Bluetooth library at run time: no executable may import
# it, nor the Windows Runtime (Windows 7 has none), nor any C/C++ runtime DLL
# that a bare Windows lacks.
# The oldest Windows the README names is Windows 7 SP1: every imported DLL
# must be one it has, and no imported function one added after it (those
# are bound at run time, e.g. GetDpiForWindow in frame/Dpi.cpp). Delay imports
# count as imports.
set -u
# DLLs of a Windows 7 SP1 installation.
win7_dlls="advapi32.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll
oleaut32.dll psapi.dll secur32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll winmm.dll
ws2_32.dll iphlpapi.dll bcrypt.dll"
# Functions of those DLLs that Windows 7 lacks (Windows 8 and later): the ones
# a Win32 program of this kind is tempted to call directly.
newer_functions="GetDpiForWindow GetDpiForSystem GetDpiForMonitor GetSystemMetricsForDpi SystemParametersInfoForDpi
AdjustWindowRectExForDpi EnableNonClientDpiScaling SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext
GetThreadDpiAwarenessContext GetWindowDpiAwarenessContext AreDpiAwarenessContextsEqual SetProcessDpiAwareness
GetProcessDpiAwareness LogicalToPhysicalPointForPerMonitorDPI GetSystemTimePreciseAsFileTime CreateFile2
GetCurrentThreadStackLimits WaitOnAddress WakeByAddressSingle WakeByAddressAll SetThreadDescription
GetThreadDescription InitializeSynchronizationBarrier EnterSynchronizationBarrier SetDefaultDllDirectories
AddDllDirectory RemoveDllDirectory GetOverlappedResultEx CreateProcessInternalW RoInitialize RoUninitialize
RoActivateInstance RoGetActivationFactory WindowsCreateString WindowsDeleteString WindowsGetStringRawBuffer
GetPointerType GetPointerInfo RegisterPointerInputTarget SetProcessMitigationPolicy GetProcessMitigationPolicy
PathCchCombine PathCchAppend CopyFile2 MapViewOfFileFromApp VirtualAllocFromApp GetPackageFamilyName
GetCurrentPackageId ChangeWindowMessageFilterEx_ InitializeProcThreadAttributeList_ FindFirstFileExFromAppW"
status=0
for exe in "$@"; do
    [ -f "$exe" ] || { echo "missing: $exe"; status=1; continue; }
    dump=$(x86_64-w64-mingw32-objdump -p "$exe")
    dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump")
    # Delay imports (cmake/DelayImports.cmake) have no table objdump shows:
    # the link map beside the exe names each one, "dll function", as the
    # library member that the first call pulled in.
    map=${exe%.exe}.map
    if [ -f "$map" ]; then
        delayed=$(awk '/^Archive member included/ {on=1; next}
                /^(Allocating common symbols|Discarded input sections|Memory Configuration)/ {on=0} on' "$map" |
            awk 'NR > 1 && /^[ \t]/ {printf " %s %s", $1, $2; next} {printf "\n%s", $0} END {print ""}' |
            sed -n 's/^[^ ]*lib\([A-Za-z0-9_]*\)_delay\.a([^)]*_s[0-9]*\.o) .*(\([^()]*\))$/\1.dll \2/p' |
            sed -E 's/ (__imp_|_imp_)?_?([^ @]+)(@[0-9]+)?$/ \2/' | sort -u)
        dlls=$(printf '%s\n%s\n' "$dlls" "$(awk '{print tolower($1)}' <<<"$delayed")" | sort -u)
    else
        delayed=
        echo "$exe: no link map beside it, its delay imports are unchecked"; status=1
    fi
    for bad in bthprops.cpl bluetoothapis.dll combase.dll api-ms-win-core-winrt-l1-1-0.dll api-ms-win-core-winrt-string-l1-1-0.dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll; do
        if grep -qx "$bad" <<<"$dlls"; then echo "$exe imports $bad"; status=1; fi
    done
    for dll in $dlls; do
        grep -qw -- "$dll" <<<"$win7_dlls" || { echo "$exe imports $dll, which Windows 7 lacks"; status=1; }
    done
    # Imported names: the lines under "DLL Name:" with a hint and a name.
    names=$(awk '/DLL Name:/ {on=1; next} on && NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print $3} /^$/ {on=0}' <<<"$dump")
    names=$(printf '%s\n%s\n' "$names" "$(awk '{print $2}' <<<"$delayed")")
    for f in $newer_functions; do
        if grep -qx -- "$f" <<<"$names"; then echo "$exe imports $f, which Windows 7 lacks"; status=1; fi
    done
done
[ $status -eq 0 ] && echo "imports ok (Windows 7 SP1 and later): $*"
exit $status
