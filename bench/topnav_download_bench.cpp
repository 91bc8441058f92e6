// A long flight pushed by the XC Trainer emulator as an MXP track log at the instrument's line
// rate (57,600 baud, 10 bits a byte) through a pseudo-terminal and read by the real session.
// Reports the wall time beside the line time of the bytes sent plus the fixed waits (port
// settling and the unit's start after the port opens).
//
//   tracora_bench_topnav_download [--benchmark_...] ; TRACORA_BENCH_FIXES=N sets the flight's
//   length (default 10,000 fixes, one a second).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/debug_trace.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/topnav/topnav_emulator.hpp"

namespace {

using namespace tracora;

constexpr int kLineRate = 57600;
// Port settling (2 x 100 ms), the unit's start 300 ms after it sees the line set, and its
// look at the line every 20 ms.
constexpr double kFixedSeconds = 0.2 + 0.3 + 0.02;

class QuietSink : public device::JobSink {
public:
    void JobError(const std::string& text, const std::string& title) override {
        error = title + ": " + text;
    }
    void JobStatus(const std::string&) override {}
    void JobStatus2(const std::string&) override {}
    std::string error;
};

// A thermal drifting east: one fix a second.
std::vector<TrackPoint> Flight(int fixes) {
    std::vector<TrackPoint> points(static_cast<std::size_t>(fixes));
    for (int i = 0; i < fixes; ++i) {
        TrackPoint& p = points[static_cast<std::size_t>(i)];
        p.time = 1'000'000'000u + static_cast<std::uint32_t>(i);
        p.latitude = 550'000'000 + static_cast<std::int32_t>(20000 * std::sin(i / 20.0));
        p.longitude = 85'000'000 + i * 300 + static_cast<std::int32_t>(20000 * std::cos(i / 20.0));
        p.gpsAltitude = 15000 + (i % 2000) * 5;
        p.pressureAltitude = 1480 + (i % 2000) / 2;
    }
    return points;
}

void BM_TopnavMxpPushAtLineRate(benchmark::State& state) {
    const char* chosen = std::getenv("TRACORA_BENCH_FIXES");
    const int fixes = chosen != nullptr ? std::atoi(chosen) : 10'000;
    for (auto _ : state) {
        device::PseudoTerminal pty;
        if (pty.Open() != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        device::EmulatorLink link(pty.TakeMaster());
        protocols::topnav::TopnavEmulatorConfig config;
        config.flight = Flight(fixes);
        config.lineRateBaud = kLineRate;
        config.slaveFd = pty.SlaveFd();
        config.transfers = 1;
        std::size_t bytes = 0;
        for (const std::string& line : protocols::topnav::TransferLines(config))
            bytes += line.size();
        protocols::topnav::TopnavEmulator emulator(link, std::move(config));
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
        start.protocol = GpsProtocol::kXcTrainerMxp;
        start.parameter = kLineRate;
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
        if (result < 0 || points != static_cast<std::size_t>(fixes)) {
            state.SkipWithError(("download failed: " + sink.error).c_str());
            return;
        }
        const double line = static_cast<double>(bytes) * 10.0 / kLineRate;
        state.SetIterationTime(wall);
        state.counters["fixes"] = static_cast<double>(points);
        state.counters["bytes"] = static_cast<double>(bytes);
        state.counters["line_s"] = line;
        state.counters["expected_s"] = line + kFixedSeconds;
        state.counters["wall_s"] = wall;
        state.counters["ratio"] = wall / (line + kFixedSeconds);
    }
}

BENCHMARK(BM_TopnavMxpPushAtLineRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
