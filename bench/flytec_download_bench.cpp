// A long flight downloaded by the real Flytec session from the emulator pacing its bytes at
// the instrument's line rate (57,600 baud, 10 bits a byte), through a pseudo-terminal. Reports
// the wall time beside the line time of the bytes sent plus the protocol's fixed pauses.
//
//   tracora_bench_flytec_download [--benchmark_...] ; TRACORA_BENCH_IGC=FILE picks the flight.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/flytec/flytec_emulator.hpp"

namespace {

using namespace tracora;

constexpr int kLineRate = 57600;
// Port settling (2 x 100 ms), the pause after the product data (1000 ms), the silence that
// ends the flight list (1000 ms), the pause before the track request (500 ms) and the silence
// that ends the track (2000 ms).
constexpr double kFixedPauseSeconds = 0.2 + 1.0 + 1.0 + 0.5 + 2.0;

class QuietSink : public device::JobSink {
public:
    void JobError(const std::string& text, const std::string& title) override {
        error = title + ": " + text;
    }
    void JobStatus(const std::string&) override {}
    void JobStatus2(const std::string&) override {}
    std::string error;
};

void BM_FlytecDownloadAtLineRate(benchmark::State& state) {
    const char* chosen = std::getenv("TRACORA_BENCH_IGC");
    const std::string path =
        chosen != nullptr
            ? chosen
            : std::string(TRACORA_SOURCE_DIR) + "/tests/fixtures/real/igc/flat-xcontest-106.82.igc";
    std::string igc;
    if (ReadWholeFile(path, igc) != FileReadStatus::kOk) {
        state.SkipWithError(("cannot read " + path).c_str());
        return;
    }
    for (auto _ : state) {
        device::PseudoTerminal pty;
        if (pty.Open() != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        device::EmulatorLink link(pty.TakeMaster());
        protocols::flytec::FlytecEmulatorConfig config;
        config.flights.push_back(igc);
        config.lineRateBaud = kLineRate;
        protocols::flytec::FlytecEmulator emulator(link, std::move(config));
        emulator.Start();

        DebugTrace trace;
        QuietSink sink;
        std::atomic<bool> busy{false};
        device::JobLayer layer(protocols::GpsDispatchTable(), trace, sink, busy);
        layer.SetPortName(pty.SlavePath());
        std::size_t points = 0;
        int result = -1;
        device::JobStart start;
        start.function = device::AccessFunction::kReadTrackLog;
        start.protocol = GpsProtocol::kFlytec;
        start.completion = [&](device::GpsAccessJob& job) {
            result = job.result;
            points = job.track.points.size();
        };
        const auto begin = std::chrono::steady_clock::now();
        layer.StartGpsJob(std::move(start));
        layer.Join();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        emulator.Stop();
        if (result < 0) {
            state.SkipWithError(("download failed: " + sink.error).c_str());
            return;
        }
        const auto bytes = static_cast<double>(emulator.BytesSent());
        const double expected = bytes * 10.0 / kLineRate + kFixedPauseSeconds;
        state.SetIterationTime(wall);
        state.counters["fixes"] = static_cast<double>(points);
        state.counters["bytes"] = bytes;
        state.counters["line_s"] = bytes * 10.0 / kLineRate;
        state.counters["expected_s"] = expected;
        state.counters["wall_s"] = wall;
        state.counters["ratio"] = wall / expected;
    }
}

BENCHMARK(BM_FlytecDownloadAtLineRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
