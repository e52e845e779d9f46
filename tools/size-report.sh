#!/bin/bash
# Where the bytes of the shipped program go: the file size against the
# budget, each section, what each library and object brings, and the largest
# functions and data. Reads the exe and the linker map the build leaves
# beside it (nearwatch.map).
# Usage: tools/size-report.sh [EXE] [TOP]   (default build/win32/bin/nearwatch.exe, 25)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$here/build/win32/bin/nearwatch.exe}
top=${2:-25}
[ -f "$exe" ] || { echo "no $exe: build it first (tools/build.sh win32)"; exit 1; }
budget=409600
size=$(stat -c %s "$exe")
echo "$exe: $size bytes of $budget ($(( size * 100 / budget ))%), $(( (budget - size) / 1024 )) KB left"
echo
echo "section          bytes"
x86_64-w64-mingw32-objdump -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $2, $3}' |
    while read -r name hex; do
        printf "%-14s %9d%s\n" "$name" $((16#$hex)) "$([ "$name" = .bss ] && echo '  (zeroed at load: no bytes in the file)')"
    done
map=${exe%.exe}.map
[ -f "$map" ] || { echo "(no $map: no breakdown)"; exit 0; }
python3 "$here/tools/size-report.py" "$map" "$top"
