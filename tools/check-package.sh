#!/bin/bash
# The release zip is whole: packs BUILD_DIR's program (tools/package.sh),
# unpacks it into a fresh folder, checks SHA256SUMS, and runs the unpacked
# nearwatch.exe once: /export with the simulated radio must write its device.
# Usage: tools/check-package.sh BUILD_DIR   (a 64-bit build; Wine must be set up)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
zip=$("$here/tools/package.sh" "$build" win64 "$work/dist")
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/unpacked"
folder=$(echo "$work"/unpacked/nearwatch-*)
(cd "$folder" && sha256sum --quiet -c SHA256SUMS)
for f in nearwatch.exe README.txt german/nearwatch_lng.ini; do
    [ -s "$folder/$f" ] || { echo "the zip lacks $f"; exit 1; }
done
printf 'unit_ms 1\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n' >"$work/scenario.txt"
export NEARWATCH_RADIO="Z:${build//\//\\}\\bin\\simradio.dll" NEARWATCH_SIMRADIO="Z:${work//\//\\}\\scenario.txt"
status=0
(cd "$folder" && "$here/tools/wine-run.sh" ./nearwatch.exe /export csv devices.csv /scans 1 </dev/null) || status=$?
[ $status -eq 0 ] || { echo "the unpacked program ended with $status"; exit 1; }
grep -qi '00:1a:7d:da:71:13' "$folder/devices.csv" || { echo "devices.csv lacks the device"; exit 1; }
echo "package ok: $(basename "$zip")"
