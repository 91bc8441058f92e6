#!/usr/bin/env bash
# Installs what is missing, builds Tracora and runs every test: the CI build (warnings are
# errors), the build without Qt, and the unit tests under the address and undefined-behaviour
# sanitizers. Also checks the formatting of the sources.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== formatting"
files=$(git ls-files -- 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'bench/*.cpp' 'fuzz/*.cpp')
clang-format --dry-run --Werror $files

jobs=$(nproc)
for preset in ci headless asan; do
    echo "== $preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

# The threads of device jobs, the main loop, the notify senders, the runner and the instrument
# sessions with their emulators under the thread sanitizer.
echo "== tsan"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
for suite in device headless notify automation protocols; do
    "build/tsan/tests/tracora_${suite}_tests" --gtest_brief=1
done
