#!/usr/bin/env bash
# Side-by-side timing of a round trip IGC -> GPX -> IGC: two `tracora-cli convert` processes
# against two gpsbabel processes doing the same, on the same files in the same run, best of
# RUNS rounds each (wall clock, process start-up included), and the processor time the
# processes used (user and system, best of the rounds too), which a machine busy with other
# work disturbs less than the wall clock.
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

# The processor time (user + system) of the command line given, in microseconds, best of $runs
# rounds; 0 without GNU time.
cpu_of() {
    if ! [ -x /usr/bin/time ]; then
        echo 0
        return
    fi
    local best=0
    for _ in $(seq "$runs"); do
        : >"$work/cpu"
        CPU_LOG="$work/cpu" "$@" >/dev/null 2>&1
        local took
        took=$(awk '{ t += ($1 + $2) * 1000000 } END { printf "%d", t }' "$work/cpu")
        if [ "$best" -eq 0 ] || [ "$took" -lt "$best" ]; then
            best=$took
        fi
    done
    echo "$best"
}

# Runs a command, adding its user and system seconds to $CPU_LOG when that is set.
timed() {
    if [ -n "${CPU_LOG:-}" ]; then
        /usr/bin/time -a -o "$CPU_LOG" -f '%U %S' "$@"
    else
        "$@"
    fi
}

ours() {
    timed "$cli" convert --force "$1" "$work/ours.gpx" &&
        timed "$cli" convert --force "$work/ours.gpx" "$work/ours.igc"
}
theirs() {
    timed gpsbabel -i igc -f "$1" -o gpx,gpxver=1.1 -F "$work/theirs.gpx" &&
        timed gpsbabel -i gpx -f "$work/theirs.gpx" -o igc -F "$work/theirs.igc"
}

printf '%-36s %7s %10s %12s %7s %12s %16s %9s\n' file fixes ours_ms gpsbabel_ms ratio \
    ours_cpu_ms gpsbabel_cpu_ms cpu_ratio
for file in "$@"; do
    fixes=$(grep -c '^B' "$file" || true)
    # Both must succeed before they are timed.
    ours "$file" >/dev/null 2>&1 || { echo "$file: tracora-cli failed" >&2; exit 1; }
    theirs "$file" >/dev/null 2>&1 || { echo "$file: gpsbabel failed" >&2; exit 1; }
    a=$(best_of ours "$file")
    b=$(best_of theirs "$file")
    c=$(cpu_of ours "$file")
    d=$(cpu_of theirs "$file")
    printf '%-36s %7d %10.1f %12.1f %7.1f %12.1f %16.1f %9.1f\n' "$(basename "$file")" "$fixes" \
        "$(awk -v v="$a" 'BEGIN { print v / 1000 }')" "$(awk -v v="$b" 'BEGIN { print v / 1000 }')" \
        "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f", b / (a > 0 ? a : 1) }')" \
        "$(awk -v v="$c" 'BEGIN { print v / 1000 }')" "$(awk -v v="$d" 'BEGIN { print v / 1000 }')" \
        "$(awk -v a="$c" -v b="$d" 'BEGIN { printf "%.1f", b / (a > 0 ? a : 1) }')"
done
