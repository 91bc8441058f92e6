#!/usr/bin/env bash
# Generates the trip-analysis oracle fixture with the npm package igc-xc-score (its proven
# optimum under the TRIP rules of tools/oracles/score.mjs: 5-point distance, flat and FAI
# triangles with a closing gap below 0.8 km, score = perimeter - gap, Vincenty distances):
#   trip_optimum.tsv  file, fixes, 5-point km, flat triangle km, FAI triangle km
# for every scored flight listed in the shared scores table. Running it twice gives identical
# files; the "oracle" ctest reruns it and compares with the committed copy.
#
# Usage: tools/make_trip_oracle_fixtures.sh [output-dir] [igc-dir] [scores.tsv]
#        tools/make_trip_oracle_fixtures.sh --check fixture-dir [igc-dir] [scores.tsv]
# Exit status with --check: 0 identical, 1 different, 77 when node, the package or the data
# are missing.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
check=
if [ "${1:-}" = "--check" ]; then
    check=${2:?"usage: $0 --check fixture-dir"}
    shift 2
    out=
else
    out=${1:-$here/../tests/fixtures/analysis}
    shift $(($# > 0 ? 1 : 0))
fi
igc=${1:-$here/../../shared/data/igc}
scores=${2:-$here/../../shared/data/scores/expected.tsv}

command -v node >/dev/null || { echo "missing tool: node" >&2; exit 77; }
[ -d "$here/oracles/node_modules/igc-xc-score" ] || { echo "missing igc-xc-score" >&2; exit 77; }
[ -f "$scores" ] && [ -d "$igc" ] || { echo "missing flight data" >&2; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -n "$check" ] && out=$work/generated
mkdir -p "$out"

field() {  # field NAME JSON-LINE
    node -e 'const o = JSON.parse(process.argv[2]); console.log(o[process.argv[1]]);' "$1" "$2"
}

{
    printf 'file\tfixes\tfive_points_km\tflat_km\tfai_km\n'
    for file in $(awk -F'\t' '!/^#/ && NF > 1 { print $1 }' "$scores" | sort -u); do
        [ -f "$igc/$file" ] || continue
        row=$file
        fixes=
        for kind in od tri fai; do
            line=$(cd "$here/oracles" && node score.mjs "$igc/$file" "TRIP/$kind" hp)
            [ -z "$fixes" ] && fixes=$(field fixes "$line") && row="$row	$fixes"
            row="$row	$(field score "$line")"
        done
        printf '%s\n' "$row"
    done
} > "$out/trip_optimum.tsv"

if [ -n "$check" ]; then
    if cmp -s "$out/trip_optimum.tsv" "$check/trip_optimum.tsv"; then
        exit 0
    fi
    diff "$check/trip_optimum.tsv" "$out/trip_optimum.tsv" >&2 || true
    exit 1
fi
