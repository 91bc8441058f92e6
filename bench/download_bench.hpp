// What the download benchmarks share: a job sink that keeps only the first error, a long
// synthetic track, and one download by the real session through the job layer.
#pragma once

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/track_log.hpp"
#include "device/gps_job.hpp"
#include "protocols/dispatch_table.hpp"

namespace tracora::bench {

class QuietSink : public device::JobSink {
public:
    void JobError(const std::string& text, const std::string& title) override {
        if (error.empty())
            error = title + ": " + text;
    }
    void JobStatus(const std::string&) override {}
    void JobStatus2(const std::string&) override {}
    std::string error;
};

// `fixes` fixes one second apart, moving a little north-west and climbing and sinking.
inline std::vector<TrackPoint> LongTrack(int fixes) {
    std::vector<TrackPoint> points(static_cast<std::size_t>(fixes));
    for (int i = 0; i < fixes; ++i) {
        TrackPoint& p = points[static_cast<std::size_t>(i)];
        p.time = 1'000'000'000U + static_cast<std::uint32_t>(i);
        p.latitude = 550'000'000 + i * 1000;
        p.longitude = 60'000'000 - i * 700;
        p.gpsAltitude = 10'000 + (i % 500) * 10;
    }
    if (!points.empty())
        points.front().flags = TrackPoint::kSegmentStart;
    return points;
}

struct Download {
    int result = -1;
    std::size_t points = 0;
    double wallSeconds = 0;
    std::string error;
};

// Runs `function` of `protocol` on the port `portPath` (the flights of `selected` chosen, the
// job's `parameter` given) and times it from the job's start to its end.
inline Download RunDownload(const std::string& portPath, GpsProtocol protocol,
                            device::AccessFunction function, std::bitset<256> selected = {},
                            int parameter = 0) {
    DebugTrace trace;
    QuietSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer(protocols::GpsDispatchTable(), trace, sink, busy);
    layer.SetPortName(portPath);
    Download out;
    device::JobStart start;
    start.function = function;
    start.protocol = protocol;
    start.selectedFlights = selected;
    start.parameter = parameter;
    start.completion = [&out](device::GpsAccessJob& job) {
        out.result = job.result;
        out.points = job.track.points.size();
    };
    const auto begin = std::chrono::steady_clock::now();
    layer.StartGpsJob(std::move(start));
    layer.Join();
    out.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    out.error = sink.error;
    return out;
}

}  // namespace tracora::bench
