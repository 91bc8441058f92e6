// A long flight (10,000 fixes unless TRACORA_BENCH_FIXES says otherwise) downloaded by the real
// Digifly Air session from the emulator's track memory, the emulator pacing its answers at the
// instrument's line rate (115,200 baud, 10 bits a byte), through a pseudo-terminal. Reports the
// wall time beside the line time of the answers plus the protocol's fixed pauses; what is left
// over is the turnaround of the 92-byte reads (request written, answer parsed, next request).
//
//   tracora_bench_digifly_download [--benchmark_...]
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include "core/angles.hpp"
#include "core/debug_trace.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "protocols/digifly/digifly_emulator.hpp"
#include "protocols/dispatch_table.hpp"

namespace {

using namespace tracora;

constexpr int kLineRate = 115200;
// Port settling (2 x 100 ms) and the pause before the track's first read (500 ms).
constexpr double kFixedPauseSeconds = 0.2 + 0.5;

class QuietSink : public device::JobSink {
public:
    void JobError(const std::string& text, const std::string& title) override {
        error = title + ": " + text;
    }
    void JobStatus(const std::string&) override {}
    void JobStatus2(const std::string&) override {}
    std::string error;
};

std::vector<TrackPoint> Flight(std::size_t fixes) {
    std::vector<TrackPoint> points(fixes);
    for (std::size_t i = 0; i < fixes; ++i) {
        TrackPoint& p = points[i];
        p.flags = i == 0 ? 1u : 0u;
        p.time = 1'000'000'000u + static_cast<std::uint32_t>(i);
        p.latitude = DegreesToSemicircles(46.5 + 0.0001 * static_cast<double>(i % 500));
        p.longitude = DegreesToSemicircles(7.5 + 0.0001 * static_cast<double>(i / 500));
        p.gpsAltitude = static_cast<std::int32_t>(15000 + i % 1000);
        p.pressureAltitude = static_cast<std::int32_t>(1500 + i % 100);
    }
    return points;
}

void BM_DigiflyDownloadAtLineRate(benchmark::State& state) {
    const char* chosen = std::getenv("TRACORA_BENCH_FIXES");
    const std::size_t fixes = chosen != nullptr ? std::strtoul(chosen, nullptr, 10) : 10'000;
    for (auto _ : state) {
        device::PseudoTerminal pty;
        if (pty.Open() != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        device::EmulatorLink link(pty.TakeMaster());
        protocols::digifly::DigiflyEmulatorConfig config;
        config.flights.push_back(Flight(fixes));
        config.lineRateBaud = kLineRate;
        protocols::digifly::DigiflyEmulator emulator(link, std::move(config));
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
        start.protocol = GpsProtocol::kLeonardo;
        start.parameter = 1;
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
        const auto reads = static_cast<double>(emulator.Requests().size());
        const double expected = bytes * 10.0 / kLineRate + kFixedPauseSeconds;
        state.SetIterationTime(wall);
        state.counters["fixes"] = static_cast<double>(points);
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
