// SeeYou waypoint files (.cup): a header line, then one comma-separated line per waypoint with
// the quoted name, the code, the country, latitude and longitude in degrees and decimal minutes,
// the elevation with its unit and the style; a "-----" line starts the task section.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::waypoints {

inline constexpr const char* kSeeYouTitle = "Decoding SeeYou file";

// The whole file (UTF-8). Errors: "Bad line %d" (title "Decoding SeeYou file").
WaypointReadResult ReadSeeYouWaypoints(std::string_view text, const WaypointReadOptions& options);
// The file in UTF-8. A '"' inside the quoted name becomes '\'' and a ',' ';' (readers that
// split at every comma, quoted or not, are common); a ',' or '"' in the unquoted code becomes
// '-'. No field can shift.
std::string WriteSeeYouWaypoints(std::span<const Waypoint> waypoints);

extern const formats::FormatRecord kSeeYouFormat;

}  // namespace tracora::waypoints
