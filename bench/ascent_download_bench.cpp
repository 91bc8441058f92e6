// A long flight (10,000 fixes unless TRACORA_BENCH_FIXES says otherwise) downloaded by the
// real Ascent session from the emulator pacing its answers at the logger's 128,000 baud (10
// bits a byte), through a pseudo-terminal: product data, the track list and the flight's log
// memory, one 259-byte block for each 4-byte request. Reports the wall time beside the line
// time of every byte that crossed the line (answers one way, requests the other) plus the
// protocol's own pauses.
//
//   tracora_bench_ascent_download [--benchmark_...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>

#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "download_bench.hpp"
#include "protocols/ascent/ascent_emulator.hpp"
#include "protocols/ascent/ascent_frames.hpp"

namespace {

using namespace tracora;
namespace ascent = protocols::ascent;

constexpr int kLineRate = 128'000;
// Port settling (2 x 100 ms), the silence that ends the product reply (200 ms) and the pause
// after the product data (500 ms).
constexpr double kFixedPauseSeconds = 0.2 + 0.2 + 0.5;

// Every byte of a download of one flight: the product request and its reply, two track-list
// requests and blocks (one flight is listed as block 1 and again as the closing block 0), and a
// request and a block of 4 + 255 bytes for each 255 bytes of log memory (two at the least).
double LineBytes(const std::vector<TrackPoint>& flight) {
    const std::size_t log = ascent::EncodeFlightLog(1, flight).size();
    const std::size_t blocks =
        std::max<std::size_t>((log + ascent::kLogDataSize - 1) / ascent::kLogDataSize, 2);
    const std::size_t product = 1 + ascent::kProductReplySize;
    const std::size_t list = 2 * (2 + 4 + ascent::kEntrySize);
    return static_cast<double>(product + list + blocks * (4 + 4 + ascent::kLogDataSize));
}

void BM_AscentDownloadAtLineRate(benchmark::State& state) {
    const char* chosen = std::getenv("TRACORA_BENCH_FIXES");
    const int fixes = chosen != nullptr ? std::atoi(chosen) : 10'000;
    for (auto _ : state) {
        device::PseudoTerminal pty;
        if (pty.Open() != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        device::EmulatorLink link(pty.TakeMaster());
        ascent::AscentEmulatorConfig config;
        config.flights.push_back(bench::LongTrack(fixes));
        config.lineRateBaud = kLineRate;
        const double bytes = LineBytes(config.flights.front());
        ascent::AscentEmulator emulator(link, std::move(config));
        emulator.Start();
        const bench::Download run =
            bench::RunDownload(pty.SlavePath(), GpsProtocol::kAscent,
                               device::AccessFunction::kReadTrackLog, std::bitset<256>(1));
        emulator.Stop();
        if (run.result < 0 || run.points != static_cast<std::size_t>(fixes)) {
            state.SkipWithError(("download failed: " + run.error).c_str());
            return;
        }
        const double line = bytes * 10.0 / kLineRate;
        const double expected = line + kFixedPauseSeconds;
        state.SetIterationTime(run.wallSeconds);
        state.counters["fixes"] = static_cast<double>(run.points);
        state.counters["bytes"] = bytes;
        state.counters["line_s"] = line;
        state.counters["expected_s"] = expected;
        state.counters["wall_s"] = run.wallSeconds;
        state.counters["ratio"] = run.wallSeconds / expected;
    }
}

BENCHMARK(BM_AscentDownloadAtLineRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
