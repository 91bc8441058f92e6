// Magellan track files (.log): an optional "$PMGNFMT," line, then "$PMGNTRK" sentences with
// their checksums, ended by "$PMGNCMD,END" or the end of the text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "formats/format_record.hpp"

namespace tracora::magellan {

inline constexpr const char* kMagellanReadTitle = "Decoding track log file";

struct MagellanTrackRead {
    int status = 0;       // the number of points (0: none), or -1 with `message`
    std::string message;  // "Bad line %d" under kMagellanReadTitle
    std::vector<TrackPoint> points;
};

// Points of status 'A'; others are passed over. An altitude may carry a sign (below sea level).
MagellanTrackRead ReadMagellanTrackFile(std::string_view text);

extern const formats::FormatRecord kMagellanTrackFormat;

}  // namespace tracora::magellan
