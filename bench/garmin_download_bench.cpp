// A long track log (10,000 fixes unless TRACORA_BENCH_FIXES says otherwise) downloaded by the
// real Garmin session from the emulator, which paces both directions of the line at 9,600 baud
// (10 bits a byte), through a pseudo-terminal. Reports the wall time beside the line time of
// every frame that crossed the line (records one way, acknowledges the other) plus the
// protocol's own pauses.
//
//   tracora_bench_garmin_download [--benchmark_...]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "download_bench.hpp"
#include "protocols/garmin/garmin_emulator.hpp"

namespace {

using namespace tracora;

constexpr int kLineRate = 9600;
// The port's settling pause after it opens.
constexpr double kFixedPauseSeconds = 0.1;

void BM_GarminDownloadAtLineRate(benchmark::State& state) {
    const char* chosen = std::getenv("TRACORA_BENCH_FIXES");
    const int fixes = chosen != nullptr ? std::atoi(chosen) : 10'000;
    for (auto _ : state) {
        device::PseudoTerminal pty;
        if (pty.Open() != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        device::EmulatorLink link(pty.TakeMaster());
        protocols::garmin::GarminEmulatorConfig config;
        config.flights.push_back(bench::LongTrack(fixes));
        config.lineRateBaud = kLineRate;
        protocols::garmin::GarminEmulator emulator(link, std::move(config));
        emulator.Start();

        const bench::Download run = bench::RunDownload(pty.SlavePath(), GpsProtocol::kGarmin,
                                                       device::AccessFunction::kReadTrackLog);
        emulator.Stop();
        if (run.result < 0) {
            state.SkipWithError(("download failed: " + run.error).c_str());
            return;
        }
        const auto bytes = static_cast<double>(emulator.LineBytes());
        const double expected = bytes * 10.0 / kLineRate + kFixedPauseSeconds;
        const double wall = run.wallSeconds;
        state.SetIterationTime(wall);
        state.counters["fixes"] = static_cast<double>(run.points);
        state.counters["bytes"] = bytes;
        state.counters["line_s"] = bytes * 10.0 / kLineRate;
        state.counters["expected_s"] = expected;
        state.counters["wall_s"] = wall;
        state.counters["ratio"] = wall / expected;
    }
}

BENCHMARK(BM_GarminDownloadAtLineRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
