#!/usr/bin/env bash
# The curve plots of tracora-cli are well-formed SVG (xmllint) and draw every value: the vario
# and glide polylines one vertex a second, the polar one mark per pair of fixes.
# Usage: tools/check_curve_plots.sh TRACORA_CLI FILE.igc
# Exit status: 0 when all agree, 1 when not, 77 when xmllint is missing.
set -euo pipefail
cli=$1
igc=$2
command -v xmllint >/dev/null || exit 77
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for kind in vario glide polar; do
    out="$work/$kind.svg"
    report=$("$cli" curves "$igc" --kind "$kind" --svg "$out")
    if ! xmllint --noout --nonet "$out"; then
        echo "$kind: not well-formed" >&2
        status=1
        continue
    fi
    count=${report%% *}
    if [[ $kind == polar ]]; then
        drawn=$(xmllint --xpath 'count(//*[local-name()="g"]/*[local-name()="circle"])' "$out")
    else
        points=$(xmllint --xpath 'string(//*[local-name()="polyline"]/@points)' "$out")
        drawn=$(wc -w <<<"$points")
    fi
    if [[ $drawn != "$count" ]]; then
        echo "$kind: $count values reported, $drawn drawn" >&2
        status=1
    fi
    echo "$kind: $count values, well-formed"
done
exit $status
