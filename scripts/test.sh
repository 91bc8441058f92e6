#!/usr/bin/env bash
# Installs what is missing, builds Tracora and runs every test: the CI build with Qt (warnings
# are errors) with every test, the oracle comparisons and a run of every benchmark; the build
# without Qt under the address and undefined-behaviour sanitizers (warnings are errors) with
# every test it has; the threads under the thread sanitizer. Also checks the formatting of the
# sources. Prints the seconds each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# Every comparison with an independent program runs: a missing oracle fails its test instead
# of skipping it.
export TRACORA_REQUIRE_ORACLES=1

# The compiler cache finds its entries wherever the repository is checked out.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

jobs=$(nproc)
stage_start=$SECONDS
stage() {  # stage NAME: closes the previous stage with its time and opens the next
    if [ -n "${stage_name:-}" ]; then
        echo "== $stage_name: $((SECONDS - stage_start)) s"
    fi
    stage_name=${1:-}
    stage_start=$SECONDS
    [ -z "$stage_name" ] || echo "== $stage_name"
}

stage formatting
files=$(git ls-files -- 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'bench/*.cpp' 'fuzz/*.cpp')
clang-format --dry-run --Werror $files

# ci: with Qt, every test and one run of every benchmark. asan: without Qt, every test it has
# but the fixture checks that run only independent programs (ci runs those).
for preset in ci asan; do
    stage "$preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    # Most of the tests wait on lines paced at an instrument's baud rate rather than compute:
    # twice as many at once as there are cores keeps the cores busy.
    ctest --preset "$preset" -j "$((jobs * 2))"
done

# The threads of device jobs, the main loop, the notify senders, the runner and the instrument
# sessions with their emulators under the thread sanitizer.
stage tsan
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
# Every family's sessions, the USB and HID fakes and the kit's faults on one family: the fault
# tables of the other families walk the same threads through the same kit, and under the
# thread sanitizer each costs minutes (the ci and asan stages run them all). The sessions
# mostly wait on paced lines, so they run in three shards beside the other suites.
shards=()
for shard in 0 1 2; do
    GTEST_TOTAL_SHARDS=3 GTEST_SHARD_INDEX=$shard build/tsan/tests/tracora_protocols_tests \
        --gtest_brief=1 --gtest_filter='-Faults/*:Arrays/*' &
    shards+=($!)
done
for suite in device headless notify automation remote; do
    "build/tsan/tests/tracora_${suite}_tests" --gtest_brief=1
done
build/tsan/tests/tracora_protocols_tests --gtest_brief=1 --gtest_filter='Faults/FlytecFaultTest.*'
for pid in "${shards[@]}"; do
    wait "$pid"
done
stage
echo "== all passed in $SECONDS s"
