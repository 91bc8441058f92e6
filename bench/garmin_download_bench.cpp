// A long track log (10,000 fixes unless TRACORA_BENCH_FIXES says otherwise) downloaded by the
// real Garmin session from the emulator, which paces both directions of the line at 9,600 baud
// (10 bits a byte), through a pseudo-terminal. Reports the wall time beside the line time of
// every frame that crossed the line (records one way, acknowledges the other) plus the
// protocol's own pauses.
//
//   tracora_bench_garmin_download [--benchmark_...]
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include "core/debug_trace.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/garmin/garmin_emulator.hpp"

namespace {

using namespace tracora;

constexpr int kLineRate = 9600;
// The port's settling pause after it opens.
constexpr double kFixedPauseSeconds = 0.1;

class QuietSink : public device::JobSink {
public:
    void JobError(const std::string& text, const std::string& title) override {
        error = title + ": " + text;
    }
    void JobStatus(const std::string&) override {}
    void JobStatus2(const std::string&) override {}
    std::string error;
};

std::vector<TrackPoint> LongTrack(int fixes) {
    std::vector<TrackPoint> points(static_cast<std::size_t>(fixes));
    for (int i = 0; i < fixes; ++i) {
        TrackPoint& p = points[static_cast<std::size_t>(i)];
        p.time = 1'000'000'000U + static_cast<std::uint32_t>(i);
        p.latitude = 550'000'000 + i * 1000;
        p.longitude = 60'000'000 - i * 700;
        p.gpsAltitude = 10'000 + (i % 500) * 10;
    }
    points.front().flags = TrackPoint::kSegmentStart;
    return points;
}

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
        config.flights.push_back(LongTrack(fixes));
        config.lineRateBaud = kLineRate;
        protocols::garmin::GarminEmulator emulator(link, std::move(config));
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
        start.protocol = GpsProtocol::kGarmin;
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
        const auto bytes = static_cast<double>(emulator.LineBytes());
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

BENCHMARK(BM_GarminDownloadAtLineRate)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
