#!/usr/bin/env bash
# Side-by-side timing of a round trip IGC -> GPX -> IGC: two `tracora-cli convert` processes
# against two gpsbabel processes doing the same, on the same files in the same run, best of
# RUNS rounds each (wall clock, process start-up included).
#
# Usage: tools/bench_track_conversion.sh TRACORA_CLI FILE.igc...
# Environment: RUNS (default 5).
set -euo pipefail
export LC_ALL=C TZ=UTC
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
runs=${RUNS:-5}
# In memory (tmpfs) where there is one: the figure is the conversion, not the disk's flushes
# (ours writes every file durably, gpsbabel does not).
work=$(mktemp -d -p "$(test -d /dev/shm && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
trap 'rm -rf "$work"' EXIT

now_us() { echo $(($(date +%s%N) / 1000)); }

# The best of $runs rounds of the command line given, in microseconds.
best_of() {
    local best=0
    for _ in $(seq "$runs"); do
        local start
        start=$(now_us)
        "$@" >/dev/null 2>&1
        local took=$(($(now_us) - start))
        if [ "$best" -eq 0 ] || [ "$took" -lt "$best" ]; then
            best=$took
        fi
    done
    echo "$best"
}

ours() {
    "$cli" convert --force "$1" "$work/ours.gpx" && "$cli" convert --force "$work/ours.gpx" "$work/ours.igc"
}
theirs() {
    gpsbabel -i igc -f "$1" -o gpx,gpxver=1.1 -F "$work/theirs.gpx" &&
        gpsbabel -i gpx -f "$work/theirs.gpx" -o igc -F "$work/theirs.igc"
}

printf '%-36s %7s %10s %12s %7s\n' file fixes ours_ms gpsbabel_ms ratio
for file in "$@"; do
    fixes=$(grep -c '^B' "$file" || true)
    # Both must succeed before they are timed.
    ours "$file" >/dev/null 2>&1 || { echo "$file: tracora-cli failed" >&2; exit 1; }
    theirs "$file" >/dev/null 2>&1 || { echo "$file: gpsbabel failed" >&2; exit 1; }
    a=$(best_of ours "$file")
    b=$(best_of theirs "$file")
    printf '%-36s %7d %10.1f %12.1f %7.1f\n' "$(basename "$file")" "$fixes" \
        "$(awk -v v="$a" 'BEGIN { print v / 1000 }')" "$(awk -v v="$b" 'BEGIN { print v / 1000 }')" \
        "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f", b / (a > 0 ? a : 1) }')"
done
