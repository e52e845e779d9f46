#!/bin/bash
# ctest's emulator: tools/wine-run.sh with the test's output taken through a
# file. Every process Wine starts for a program (a command it runs, a
# console host, a desktop) inherits the program's Unix output, and one that
# outlived a passing test held ctest's pipe until the time-out. The test's
# own process is what ctest waits for now.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mktemp "${TMPDIR:-/tmp}/nw-test.XXXXXX") || exec "$here/tools/wine-run.sh" "$@"
trap 'rm -f "$out"' EXIT
"$here/tools/wine-run.sh" "$@" >"$out" 2>&1
status=$?
cat "$out"
exit $status
