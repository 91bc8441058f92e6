// OziExplorer track point files (.plt): six header lines, then one line per point with decimal
// degrees, the altitude in feet and the date in days since 1899-12-30 (UTC).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_base.hpp"
#include "core/track_log.hpp"
#include "formats/format_record.hpp"

namespace tracora::ozi {

inline constexpr const char* kOziTrackReadTitle = "Decoding track log file";

struct OziTrackRead {
    int status = 0;       // the number of points (> 0), or -1 with `message` set
    std::string message;  // under kOziTrackReadTitle
    std::vector<TrackPoint> points;
};

// The points of the file: every point line there is. The count on line 6 is not relied on
// (other programs write 0, or a number that does not match): it only has to be a number.
// Errors: "Missing format line (1)", "Bad format line (1)", "Missing map datum line (2)", "Bad
// map datum line (2)", "Bad line %d", "Missing line(s)" (no point line at all).
OziTrackRead ReadOziTrack(std::string_view text);

// The file; `now` names the track on line 5. Refuses (empty text) no points.
std::string OziTrackDocument(std::span<const TrackPoint> points, const CalendarTime& now);

extern const formats::FormatRecord kOziTrackFormat;

}  // namespace tracora::ozi
