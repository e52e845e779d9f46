#!/bin/bash
# Builds both targets and writes the downloads:
#   dist/nearwatch-VERSION-win32.zip, dist/nearwatch-VERSION-win64.zip and
#   dist/SHA256SUMS (of the two zips). VERSION comes from the file VERSION.
# The same sources give the same bytes: no time stamps in the exe or the
# zip, no build path in either (see CMakeLists.txt and tools/package.sh).
# Check: run it from two copies of the tree in different folders and compare
# their dist/SHA256SUMS.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
NW_BUILD_TARGETS=nearwatch "$here/tools/build.sh" win32 win64
"$here/tools/check-imports.sh" "$here/build/win32/bin/nearwatch.exe" "$here/build/win64/bin/nearwatch.exe"
rm -rf "$here/dist"
for arch in win32 win64; do
    "$here/tools/package.sh" "$here/build/$arch" $arch "$here/dist" >/dev/null
done
(cd "$here/dist" && sha256sum -- *.zip >SHA256SUMS && cat SHA256SUMS)
"$here/tools/size-report.sh" "$here/build/win32/bin/nearwatch.exe" 0 | head -1
