// Several downloaded tracks joined into one point list in time order.
#pragma once

#include <vector>

#include "core/track_log.hpp"

namespace tracora::protocols {

inline constexpr const char* kOverlappingTracks = "Overlapping track start/stop times";

// Adds `track` (not empty) to `joined`: behind it when the track starts after the last joined
// point (the track's segment-start flag is then cleared), in front when it ends before the
// first joined point (the old first point's flag is cleared). 0, or -1 when the times overlap
// (`joined` is then unchanged). With `keepSegmentStarts` no flag is cleared: each track stays a
// segment of its own.
int JoinTrack(std::vector<TrackPoint>& joined, std::vector<TrackPoint>&& track,
              bool keepSegmentStarts = false);

}  // namespace tracora::protocols
