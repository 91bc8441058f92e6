// OziExplorer waypoint files (.wpt): four header lines, then one comma-separated line per
// waypoint with decimal degrees, a date in days since 1899-12-30 and the altitude in feet.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::waypoints {

inline constexpr std::string_view kOziHeader = "OziExplorer Waypoint File";

// The text after its header (the whole file, UTF-8). Errors: "Bad line %d" (title "Decoding
// waypoint file").
WaypointReadResult ReadOziWaypoints(std::string_view text, const WaypointReadOptions& options);

// The file, in Latin-1 as OziExplorer writes it; a ',' in a text field becomes character 209,
// OziExplorer's own stand-in for a comma. An empty ID is written "-" and blanks in an ID '-',
// so that the name reads back.
std::string WriteOziWaypoints(std::span<const Waypoint> waypoints);

extern const formats::FormatRecord kOziWaypointFormat;

}  // namespace tracora::waypoints
