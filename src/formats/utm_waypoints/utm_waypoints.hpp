// The program's own UTM waypoint files ("$FormatUTM"): one line per waypoint with the ID, the
// UTM zone and band, easting and northing in metres, the altitude and the description ("[A]"
// at its end marks an airfield).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::waypoints {

inline constexpr std::string_view kUtmHeader = "$FormatUTM";

// Errors: "Bad line %d" (title "Decoding waypoint file").
WaypointReadResult ReadUtmWaypoints(std::string_view text, const WaypointReadOptions& options);
std::string WriteUtmWaypoints(std::span<const Waypoint> waypoints);

// The position of a waypoint from the UTM fields of a line: zone with its band ("32T"),
// easting (0 to 1000000) and northing (0 to 20000000) in metres. False when they do not read
// (`waypoint` may then be changed).
bool ReadUtmPosition(std::string_view zone, std::string_view easting, std::string_view northing,
                     Waypoint& waypoint);

extern const formats::FormatRecord kUtmWaypointFormat;

}  // namespace tracora::waypoints
