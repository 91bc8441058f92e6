// The time a track download still needs, from what has arrived so far, and its progress on the
// job's bar.
#pragma once

#include <cstdint>

namespace tracora::device {
class JobContext;
}

namespace tracora::protocols {

struct DownloadProgress {
    long long elapsedMs = 0;       // since the first point arrived
    long long expectedPoints = 0;  // 0 when the instrument did not say
    long long receivedPoints = 0;
    std::uint32_t firstPointTime = 0;
    std::uint32_t lastPointTime = 0;
    std::uint32_t listedDurationSeconds = 0;  // the flight list's duration of the track
};

inline constexpr int kMaxRemainingSeconds = 5999;

// With an expected point count: elapsed x (expected - received) / received. Otherwise elapsed x
// (track time still to come by the listed duration) / (track time received); no track time
// received yet gives the maximum. Seconds, 0 to kMaxRemainingSeconds.
int EstimateRemainingSeconds(const DownloadProgress& progress);

// Shows the download's progress on the job's bar - points of the expected count when the
// instrument gave one, else track time of the listed duration; nothing when neither is known -
// and returns EstimateRemainingSeconds for the status text.
int ReportTrackProgress(device::JobContext& job, const DownloadProgress& progress);
// The track has arrived whole: the bar at its end, when it had a total.
void CompleteTrackProgress(device::JobContext& job, const DownloadProgress& progress);

}  // namespace tracora::protocols
