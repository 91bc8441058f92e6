#!/usr/bin/env bash
# Generates the exact-optimum oracle fixture with the npm package igc-xc-score: its proven
# optimum (Vincenty distances, every fix of the flight) of the 5-point distance, the flat and
# the FAI triangle under both rule sets of tools/oracles/score.mjs:
#   TRIP  closing gap at most 0.8 km, value = perimeter - gap
#   OLC   closing gap at most 20 % of the perimeter, value = perimeter - gap (before the
#         1.5 / 1.75 / 2.0 points multipliers)
# exact_optimum.tsv  file, fixes, then the value in km (legs and gap rounded to 10 m by the
# scorer) of trip_five, trip_flat, trip_fai, olc_free, olc_flat, olc_fai
# for every flight of the given folders (default tests/fixtures/real/igc). Running it twice
# gives identical files; with --check it regenerates the file and compares it with the
# committed copy. The scorer needs minutes on the longer flights: run it with nice.
#
# Usage: tools/make_exact_oracle_fixtures.sh [output-dir [igc-dir...]]
#        tools/make_exact_oracle_fixtures.sh --check fixture-dir [igc-dir...]
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
igc_dirs=("$@")
((${#igc_dirs[@]})) || igc_dirs=("$fixtures/real/igc")

require_programs node "the Debian packages nodejs and npm"
[ -d "$here/oracles/node_modules/igc-xc-score" ] ||
    missing_oracle igc-xc-score "npm ci in tools/oracles"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -n "$check" ] && out=$work/generated
mkdir -p "$out"

# value JSON-LINE: the scorer's distance minus its closing gap (km, 2 decimals), then the
# number of fixes; fails when the scorer did not prove its result optimal.
value() {
    node -e '
        const o = JSON.parse(process.argv[1]);
        if (!o.optimal) { console.error(o.file + ": not proven optimal"); process.exit(1); }
        const v = (o.distance_km || 0) - (o.closing_km || 0);
        console.log(Math.max(0, v).toFixed(2), o.fixes);' "$1"
}

{
    printf 'file\tfixes\ttrip_five_km\ttrip_flat_km\ttrip_fai_km\tolc_free_km\tolc_flat_km\tolc_fai_km\n'
    for dir in "${igc_dirs[@]}"; do
        for path in "$dir"/*.igc; do
            row=$(basename "$path")
            fixes=
            for spec in TRIP/od TRIP/tri TRIP/fai OLC/od OLC/tri OLC/fai; do
                line=$(cd "$here/oracles" && node score.mjs "$path" "$spec" hp)
                result=$(value "$line")
                [ -z "$fixes" ] && fixes=${result#* } && row="$row	$fixes"
                row="$row	${result% *}"
            done
            printf '%s\n' "$row"
        done
    done
} > "$out/exact_optimum.tsv"

if [ -n "$check" ]; then
    if cmp -s "$out/exact_optimum.tsv" "$check/exact_optimum.tsv"; then
        exit 0
    fi
    diff "$check/exact_optimum.tsv" "$out/exact_optimum.tsv" >&2 || true
    exit 1
fi
