// A long flight (10,000 fixes unless TRACORA_BENCH_FIXES says otherwise) downloaded by the real
// Digifly Air session from the emulator's track memory, the emulator pacing its answers at the
// instrument's line rate (115,200 baud, 10 bits a byte), through a pseudo-terminal. Reports the
// wall time beside the line time of the answers plus the protocol's fixed pauses; what is left
// over is the turnaround of the 92-byte reads (request written, answer parsed, next request).
//
//   tracora_bench_digifly_download [--benchmark_...]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "download_bench.hpp"
#include "protocols/digifly/digifly_emulator.hpp"

namespace {

using namespace tracora;

constexpr int kLineRate = 115200;
// Port settling (2 x 100 ms) and the pause before the track's first read (500 ms).
constexpr double kFixedPauseSeconds = 0.2 + 0.5;

void BM_DigiflyDownloadAtLineRate(benchmark::State& state) {
    const char* chosen = std::getenv("TRACORA_BENCH_FIXES");
    const int fixes = chosen != nullptr ? std::atoi(chosen) : 10'000;
    for (auto _ : state) {
        device::PseudoTerminal pty;
        if (pty.Open() != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        device::EmulatorLink link(pty.TakeMaster());
        protocols::digifly::DigiflyEmulatorConfig config;
        config.flights.push_back(bench::LongTrack(fixes));
        config.lineRateBaud = kLineRate;
        protocols::digifly::DigiflyEmulator emulator(link, std::move(config));
        emulator.Start();
        // Parameter 1: the Digifly Air.
        const bench::Download run = bench::RunDownload(
            pty.SlavePath(), GpsProtocol::kLeonardo, device::AccessFunction::kReadTrackLog, {}, 1);
        emulator.Stop();
        if (run.result < 0) {
            state.SkipWithError(("download failed: " + run.error).c_str());
            return;
        }
        const auto bytes = static_cast<double>(emulator.BytesSent());
        const auto reads = static_cast<double>(emulator.Requests().size());
        const double expected = bytes * 10.0 / kLineRate + kFixedPauseSeconds;
        const double wall = run.wallSeconds;
        state.SetIterationTime(wall);
        state.counters["fixes"] = static_cast<double>(run.points);
        state.counters["requests"] = reads;
        state.counters["bytes"] = bytes;
        state.counters["line_s"] = bytes * 10.0 / kLineRate;
        state.counters["expected_s"] = expected;
        state.counters["wall_s"] = wall;
        state.counters["ratio"] = wall / expected;
        state.counters["turnaround_ms"] = (wall - expected) * 1000.0 / reads;
    }
}

BENCHMARK(BM_DigiflyDownloadAtLineRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
