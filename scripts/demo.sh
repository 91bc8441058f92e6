#!/usr/bin/env bash
# Installs what is missing, builds Tracora and runs its main job: a flight downloaded from an
# emulated instrument over a pseudo-terminal, saved as IGC and KML, and its figures printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev

bin=build/dev/src
demo="$PWD/build/demo"
flight=data/demo/flat-ffvl-26.37.igc
rm -rf "$demo"
mkdir -p "$demo/flights"

echo
echo "== Tracora $($bin/cli/tracora-cli --version | cut -d' ' -f2): download from an emulated instrument"
# The instrument: a Compeo+ holding one real flight, on a pseudo-terminal linked as $demo/port.
$bin/emulate/tracora-emulate --link "$demo/port" flytec --igc "$flight" >"$demo/emulator.log" 2>&1 &
emulator=$!
trap 'kill $emulator 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    [ -e "$demo/port" ] && break
    sleep 0.1
done

$bin/program/tracora /GPS=IQCOMPEO "/COM=$demo/port" "/IGC_LOG=$demo/flights/" /EXIT
saved=$(ls "$demo"/flights/*.igc)
echo
echo "Written: $saved ($(wc -c <"$saved") bytes, the instrument's own IGC text)"
if cmp -s "$saved" "$flight"; then
    echo "It is byte for byte the flight the instrument holds."
fi


# The same flight as a KML trip document (statistics, distances and triangles for Google Earth).
$bin/program/tracora "/IGC2KML=$saved"
echo "Written: ${saved%.igc}.kml"

echo
echo "== The flight's figures"
$bin/cli/tracora-cli analyse "$saved"
