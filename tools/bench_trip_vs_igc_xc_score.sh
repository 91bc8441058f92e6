#!/usr/bin/env bash
# Side-by-side timing of the trip analysis against igc-xc-score on the same files, same machine,
# same run. igc-xc-score: the solver time that tools/oracles/score.mjs reports (node start-up
# and IGC parsing excluded) for all three TRIP rules with Vincenty distances. Ours: the whole
# `tracora-cli analyse` process (start-up, reading, filters, figures, optimisation) by wall
# clock, and its peak resident memory, from /usr/bin/time -v.
#
# Usage: tools/bench_trip_vs_igc_xc_score.sh TRACORA_CLI FILE.igc...
# Environment: SCORER_TIMEOUT seconds per igc-xc-score run (default 600).
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
limit=${SCORER_TIMEOUT:-600}

printf '%-32s %7s %11s %11s %9s %10s\n' file fixes ours_ms scorer_ms ratio ours_peak_kb
for file in "$@"; do
    path=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
    log=$(mktemp)
    start=$(date +%s%N)
    /usr/bin/time -v "$cli" analyse "$path" --json >/dev/null 2>"$log"
    wall=$((($(date +%s%N) - start) / 1000000))
    peak=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
    rm -f "$log"
    if line=$(cd "$here/oracles" && timeout "$limit" node score.mjs "$path" TRIP hp); then
        scorer=$(node -e 'const o = JSON.parse(process.argv[1]); console.log(o.ms, o.fixes);' "$line")
        ms=${scorer% *}
        fixes=${scorer#* }
        ratio=$(awk -v a="$ms" -v b="$wall" 'BEGIN { printf "%.1f", a / (b > 0 ? b : 1) }')
    else
        ms=">${limit}000"
        fixes=-
        ratio="-"
    fi
    printf '%-32s %7s %11s %11s %9s %10s\n' "$(basename "$file")" "$fixes" "$wall" "$ms" \
        "$ratio" "$peak"
done
