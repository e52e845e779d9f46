#!/bin/bash
# Has real parsers read what the presence feature writes: the end-to-end
# test leaves its history file and timeline page here, then
#   - Python's csv module reads the history (UTF-8 with byte-order mark,
#     RFC 4180) and finds the header, the events in order and the hostile
#     name as one harmless field;
#   - xmllint reads the timeline as XML (well-formed, one row group per
#     device) and as HTML. The HTML parser of libxml2 2.9 knows no SVG
#     elements and says so ("Tag svg invalid"); any other complaint fails.
# Usage: tools/check-presence-files.sh BIN_DIR
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
NW_HISTORY_OUT="Z:${out//\//\\}\\history.csv" NW_TIMELINE_OUT="Z:${out//\//\\}\\timeline.html" \
    "$here/tools/wine-run.sh" "$bin/nearwatch_e2e.exe" \
    --gtest_filter=PresenceE2E.ADeviceLeavesTurnsGreyRunsTheCommandOnceAndArrivesAgain >"$out/log" 2>&1 \
    || { cat "$out/log"; exit 1; }
[ -s "$out/history.csv" ] && [ -s "$out/timeline.html" ] || { echo "the test left no files"; cat "$out/log"; exit 1; }

python3 - "$out/history.csv" <<'PY'
import csv, re, sys
with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:
    rows = list(csv.reader(f, strict=True))
assert rows[0] == ['Time', 'Event', 'Address', 'Name', 'Description', 'Company', 'Major Type', 'Minor Type'], rows[0]
events = [(r[1], r[2]) for r in rows[1:]]
assert events == [('present', '0a:00:00:00:00:01'), ('present', '0a:00:00:00:00:02'),
                  ('left', '0a:00:00:00:00:02'), ('arrived', '0a:00:00:00:00:02')], events
for r in rows[1:]:
    assert len(r) == 8, r
    assert re.fullmatch(r'\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d', r[0]), r[0]
assert rows[1][3:] == ['Stays', '', '', 'Phone', 'Smartphone'], rows[1]
assert rows[2][3] == '\'=Goes, "away" & echo PWNED>pwned.txt', rows[2][3]
print('history: %d events read back' % (len(rows) - 1))
PY

page=$out/timeline.html
xmllint --noout "$page"
rows=$(xmllint --xpath 'count(//*[local-name()="g"][@class="row"])' "$page")
[ "$rows" = 2 ] || { echo "expected 2 rows, found $rows"; exit 1; }
complaints=$(xmllint --html --noout "$page" 2>&1 | grep 'error' | grep -v -E 'Tag (svg|g|rect|line|text|path|title) invalid' || true)
[ -z "$complaints" ] || { echo "$complaints"; exit 1; }
echo "timeline: well-formed, $rows rows"
