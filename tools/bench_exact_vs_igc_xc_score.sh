#!/usr/bin/env bash
# Side-by-side timing of the exact optimum against igc-xc-score on the same files, same machine,
# same run, per flight, rule set and kind (5-point distance, flat triangle, FAI triangle).
# igc-xc-score: the solver time that tools/oracles/score.mjs reports for that one rule (node
# start-up and IGC parsing excluded), Vincenty distances ("hp"). Ours: the exact search's own
# time for that kind from `tracora-cli analyse --json --no-filter --exact-rules R --exact-no-seed`
# (start-up, reading and the two-stage analysis excluded; the search starts from nothing, not
# from the two-stage results). Peak resident memory of both whole processes, from
# /usr/bin/time -v (ours: one process for all three kinds with the two-stage analysis).
#
# Usage: tools/bench_exact_vs_igc_xc_score.sh TRACORA_CLI FILE.igc...
# Environment: RULES (default "trip olc"), SCORER_TIMEOUT seconds per igc-xc-score run
# (default 900).
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
limit=${SCORER_TIMEOUT:-900}
rules=${RULES:-trip olc}

peak_of() {  # peak_of LOG: the peak resident set in kB
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"
}

printf '%-32s %6s %-4s %-4s %9s %10s %8s %9s %10s %8s\n' file fixes rule kind ours_ms scorer_ms \
    ratio ours_kb scorer_kb proven
for file in "$@"; do
    path=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
    for rule in $rules; do
        log=$(mktemp)
        json=$(/usr/bin/time -v "$cli" analyse "$path" --json --no-filter --exact-rules "$rule" \
            --exact-no-seed 2>"$log")
        ours_peak=$(peak_of "$log")
        rm -f "$log"
        set_name=$(echo "$rule" | tr '[:lower:]' '[:upper:]')
        for kind in five:od flat:tri fai:fai; do
            ours_kind=${kind%%:*}
            scorer_kind=${kind##*:}
            read -r ours_ms proven < <(node -e '
                const e = JSON.parse(process.argv[1]).exact[process.argv[2]];
                console.log((e.seconds * 1000).toFixed(1), e.optimal ? "yes" : "no");' \
                "$json" "$ours_kind")
            log=$(mktemp)
            if line=$(cd "$here/oracles" &&
                /usr/bin/time -v timeout "$limit" node score.mjs "$path" "$set_name/$scorer_kind" hp \
                    2>"$log"); then
                read -r ms fixes < <(node -e '
                    const o = JSON.parse(process.argv[1]); console.log(o.ms, o.fixes);' "$line")
                ratio=$(awk -v a="$ms" -v b="$ours_ms" 'BEGIN { printf "%.1f", a / (b > 0.1 ? b : 0.1) }')
            else
                ms=">${limit}000"
                fixes=-
                ratio=-
            fi
            scorer_peak=$(peak_of "$log")
            rm -f "$log"
            printf '%-32s %6s %-4s %-4s %9s %10s %8s %9s %10s %8s\n' "$(basename "$file")" \
                "$fixes" "$rule" "$ours_kind" "$ours_ms" "$ms" "$ratio" "$ours_peak" \
                "$scorer_peak" "$proven"
        done
    done
done
