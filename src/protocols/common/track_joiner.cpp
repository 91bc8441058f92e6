#include "protocols/common/track_joiner.hpp"

#include <iterator>

namespace tracora::protocols {

int JoinTrack(std::vector<TrackPoint>& joined, std::vector<TrackPoint>&& track,
              bool keepSegmentStarts) {
    if (track.empty()) {
        return 0;
    }
    if (joined.empty()) {
        joined = std::move(track);
        return 0;
    }
    if (track.front().time > joined.back().time) {
        if (!keepSegmentStarts) {
            track.front().flags &= ~TrackPoint::kSegmentStart;
        }
        joined.insert(joined.end(), std::make_move_iterator(track.begin()),
                      std::make_move_iterator(track.end()));
        return 0;
    }
    if (track.back().time < joined.front().time) {
        if (!keepSegmentStarts) {
            joined.front().flags &= ~TrackPoint::kSegmentStart;
        }
        joined.insert(joined.begin(), std::make_move_iterator(track.begin()),
                      std::make_move_iterator(track.end()));
        return 0;
    }
    return -1;
}

}  // namespace tracora::protocols
