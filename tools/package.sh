#!/bin/bash
# Packs one build into the zip a Windows user downloads:
#   OUT/nearwatch-VERSION-ARCH.zip holding nearwatch-VERSION-ARCH/ with
#   nearwatch.exe, german/nearwatch_lng.ini, README.txt and SHA256SUMS.
# Usage: tools/package.sh BUILD_DIR win32|win64 OUT_DIR
# The same files give the same zip: fixed dates and modes, sorted names.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1 arch=$2 out=$3
version=$(head -n1 "$here/VERSION")
name=nearwatch-$version-$arch
exe=$build/bin/nearwatch.exe
[ -f "$exe" ] || { echo "no $exe"; exit 1; }
mkdir -p "$out"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/german"
cp "$exe" "$stage/nearwatch.exe"
cp "$here/lang/translations/german/nearwatch_lng.ini" "$stage/german/nearwatch_lng.ini"
# Notepad before Windows 10 shows a text only with CR LF line ends.
sed -e "s/@VERSION@/$version/g" -e "s/@ARCH@/$arch/g" -e 's/$/\r/' "$here/tools/readme-windows.txt" >"$stage/README.txt"
(cd "$stage" && sha256sum nearwatch.exe README.txt german/nearwatch_lng.ini >SHA256SUMS)
python3 - "$stage" "$out/$name.zip" "$name" <<'PY'
import os, sys, zipfile
stage, target, top = sys.argv[1:]
files = sorted(os.path.relpath(os.path.join(d, f), stage)
               for d, _, names in os.walk(stage) for f in names)
with zipfile.ZipFile(target + '.new', 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for rel in files:
        info = zipfile.ZipInfo(top + '/' + rel.replace(os.sep, '/'), date_time=(2000, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        info.create_system = 0
        with open(os.path.join(stage, rel), 'rb') as f:
            z.writestr(info, f.read(), compresslevel=9)
os.replace(target + '.new', target)
PY
echo "$out/$name.zip"
