// The time a track download still needs, from what has arrived so far.
#pragma once

#include <cstdint>

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

}  // namespace tracora::protocols
