#!/usr/bin/env bash
# Generates the trip-analysis oracle fixture with the npm package igc-xc-score (its proven
# optimum under the TRIP rules of tools/oracles/score.mjs: 5-point distance, flat and FAI
# triangles with a closing gap below 0.8 km, score = perimeter - gap, Vincenty distances):
#   trip_optimum.tsv  file, fixes, 5-point km, flat triangle km, FAI triangle km
# for every scored flight listed in the scores table. Running it twice gives identical
# files; the "oracle" ctest reruns it and compares with the committed copy.
#
# Usage: tools/make_trip_oracle_fixtures.sh [output-dir [scores.tsv [igc-dir...]]]
#        tools/make_trip_oracle_fixtures.sh --check fixture-dir [scores.tsv [igc-dir...]]
# The scores table defaults to tests/fixtures/real/scores/expected.tsv, the flights to those of
# tests/fixtures/igc and tests/fixtures/real/igc; a flight found in several folders is read
# from the first.
# Exit status with --check: 0 identical, 1 different, 77 when node or the package are missing
# (1 with TRACORA_REQUIRE_ORACLES set).
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=oracle_tools.sh
. "$here/oracle_tools.sh"
fixtures=$here/../tests/fixtures
check=
if [ "${1:-}" = "--check" ]; then
    check=${2:?"usage: $0 --check fixture-dir"}
    shift 2
    out=
else
    out=${1:-$fixtures/analysis}
    shift $(($# > 0 ? 1 : 0))
fi
scores=${1:-$fixtures/real/scores/expected.tsv}
shift $(($# > 0 ? 1 : 0))
igc_dirs=("$@")
((${#igc_dirs[@]})) || igc_dirs=("$fixtures/igc" "$fixtures/real/igc")

require_programs node "the Debian packages nodejs and npm"
[ -d "$here/oracles/node_modules/igc-xc-score" ] ||
    missing_oracle igc-xc-score "npm ci in tools/oracles"
[ -f "$scores" ] || { echo "missing scores table: $scores" >&2; exit 1; }

flight() {  # flight NAME: its path in the first folder that has it, or nothing
    local dir
    for dir in "${igc_dirs[@]}"; do
        if [ -f "$dir/$1" ]; then
            printf '%s\n' "$dir/$1"
            return
        fi
    done
}

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
        path=$(flight "$file")
        [ -n "$path" ] || { echo "$file: not found in ${igc_dirs[*]}" >&2; exit 1; }
        row=$file
        fixes=
        for kind in od tri fai; do
            line=$(cd "$here/oracles" && node score.mjs "$path" "TRIP/$kind" hp)
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
