#!/bin/bash
# Has a real XML parser read an XML export: the unit-test program exports
# awkward texts (markup, controls, lone surrogates, line breaks) and xmllint
# must accept the file and find every item.
# Usage: tools/check-xml-export.sh BIN_DIR
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
file=$out/export.xml
NW_XML_EXPORT_OUT="Z:${file//\//\\}" "$here/tools/wine-run.sh" "$bin/nearwatch_tests.exe" \
    --gtest_filter=ReportExport.XmlOfAwkwardTextsForAnXmlParser >"$out/log" 2>&1 \
    || { cat "$out/log"; exit 1; }
[ -s "$file" ] || { echo "no XML file was written"; cat "$out/log"; exit 1; }
head -c 2 "$file" | od -An -tx1 | grep -q 'ff fe' || { echo "no UTF-16 byte order mark"; exit 1; }
xmllint --noout "$file"
count=$(xmllint --xpath 'count(/device_list/item)' "$file")
[ "$count" = 3 ] || { echo "expected 3 items, found $count"; exit 1; }
text=$(xmllint --xpath 'string(/device_list/item[1]/device_name)' "$file")
[ "$text" = 'A&B <"1"> 20°' ] || { echo "first name read back as: $text"; exit 1; }
echo "XML export parsed: $count items"
