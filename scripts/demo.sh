#!/usr/bin/env bash
# Installs what is missing, builds Tracora and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev

cli=build/dev/src/cli/tracora-cli
echo
echo "== Tracora $($cli --version | cut -d' ' -f2) =="
echo "Distance from a launch (N 46 30 15, E 7 49 30) to a goal (N 46 41.2, E 8 02.5):"
$cli distance "N 46 30 15" "E 7 49 30" "N 46 41.2" "E 8 02.5"
echo "The launch in UTM:"
$cli utm "N 46 30 15" "E 7 49 30"
