#!/bin/bash
# Includes only go down: a folder may include its own files and those of the
# folders in the layers below it, never one beside it or above it. The order is
# the layer table of docs/ARCHITECTURE.md (rows "| N | `folder/` ... |", the
# ground floor first); res/ may be included from anywhere.
# Usage: tools/check-layers.sh [source dir]
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
map=$root/docs/ARCHITECTURE.md
[ -f "$map" ] || { echo "missing: $map"; exit 1; }

# "folder layer" pairs from the table.
layers=$(awk -F'|' '$2 ~ /^ *[0-9]+ *$/ {
    n = $2 + 0; s = $3
    while (match(s, /`[a-z0-9_]+\/`/)) {
        print substr(s, RSTART + 1, RLENGTH - 3), n; s = substr(s, RSTART + RLENGTH)
    }
}' "$map")
[ -n "$layers" ] || { echo "no layer table in $map"; exit 1; }

# Every folder with a sources.cmake holds program code and needs a layer.
status=0
for list in "$root"/*/sources.cmake; do
    dir=$(basename "$(dirname "$list")")
    [ "$dir" = tests ] && continue
    grep -q "^$dir " <<<"$layers" || { echo "$dir/ is not in the layer table of docs/ARCHITECTURE.md"; status=1; }
done

# The include lines of every layered folder, judged against the table.
cd "$root" || exit 1
dirs=$(awk '{print $1}' <<<"$layers")
existing=$(for d in $dirs; do [ -d "$d" ] && echo "$d"; done)
if [ -n "$existing" ]; then
    # shellcheck disable=SC2086
    bad=$(find $existing -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' \) -print0 |
        sort -z | xargs -0 grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' |
        awk -v layers="$layers" '
        BEGIN { n = split(layers, rows, "\n")
                for (i = 1; i <= n; i++) { split(rows[i], f, " "); level[f[1]] = f[2] } }
        {
            split($0, loc, ":"); file = loc[1]; line = loc[2]
            from = file; sub(/\/.*/, "", from)
            inc = $0; sub(/^[^"]*"/, "", inc); sub(/".*/, "", inc)
            if (inc !~ /\//) next                  # its own folder, or res/ on the path
            to = inc; sub(/\/.*/, "", to)
            if (to == from || to == "res") next
            text = $0; sub(/^[^:]*:[^:]*:/, "", text)
            if (!(to in level))
                why = "\"" to "/\" has no layer"
            else if (level[to] == level[from])
                why = from "/ and " to "/ share layer " level[to] " and must not include each other"
            else if (level[to] > level[from])
                why = from "/ (layer " level[from] ") includes " to "/ (layer " level[to] "), which is above it"
            else next
            print file ":" line ": " text "    <- " why
        }')
    if [ -n "$bad" ]; then echo "$bad"; status=1; fi
fi
[ $status -eq 0 ] && echo "layers ok: $(awk '{print $1}' <<<"$layers" | tr '\n' ' ')"
exit $status
