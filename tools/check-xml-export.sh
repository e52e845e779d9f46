#!/bin/bash
# Has a real XML parser read an XML export.
#   unit (default): the unit-test program exports awkward texts (markup,
#                   controls, lone surrogates, line breaks) through ExportRows;
#   e2e:            the real program saves a row with a hostile device name
#                   through its save dialog.
# xmllint must accept the file and find the items and texts expected.
# Usage: tools/check-xml-export.sh BIN_DIR [unit|e2e]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$1
mode=${2:-unit}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
file=$out/export.xml
case $mode in
    unit) program=nearwatch_tests.exe; filter=ReportExport.XmlOfAwkwardTextsForAnXmlParser
          root=device_list; items=3; first='A&B <"1"> 20°' ;;
    e2e)  program=nearwatch_e2e.exe; filter=ReportsE2E.SaveWritesTheFormatOfTheChosenTypeWhateverTheName
          root=bluetooth_devices_list; items=1; first='<b>A&B, "1"</b>' ;;
    *) echo "usage: check-xml-export.sh BIN_DIR [unit|e2e]"; exit 2 ;;
esac
NW_XML_EXPORT_OUT="Z:${file//\//\\}" "$here/tools/wine-run.sh" "$bin/$program" --gtest_filter="$filter" \
    >"$out/log" 2>&1 || { cat "$out/log"; exit 1; }
[ -s "$file" ] || { echo "no XML file was written"; cat "$out/log"; exit 1; }
head -c 2 "$file" | od -An -tx1 | grep -q 'ff fe' || { echo "no UTF-16 byte order mark"; exit 1; }
xmllint --noout "$file"
count=$(xmllint --xpath "count(/$root/item)" "$file")
[ "$count" = "$items" ] || { echo "expected $items items, found $count"; exit 1; }
text=$(xmllint --xpath "string(/$root/item[1]/device_name)" "$file")
[ "$text" = "$first" ] || { echo "first name read back as: $text"; exit 1; }
echo "XML export ($mode) parsed: $count items"
