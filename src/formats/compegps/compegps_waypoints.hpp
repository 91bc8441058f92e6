// CompeGPS waypoint files (.wpt): "G" and "U" header lines, then per waypoint a "W" line (ID,
// position as decimal degrees or UTM, date, altitude, description) and a "w" line with the
// symbol.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/time_base.hpp"
#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::waypoints {

inline constexpr const char* kCompeGpsTitle = "Decoding CompeGPS file";

// Errors: "Bad line %d" (title "Decoding CompeGPS file"). 0 when the text has no "W" line.
WaypointReadResult ReadCompeGpsWaypoints(std::string_view text, const WaypointReadOptions& options);
// The file in Latin-1 (its degree sign is the byte 0xBA), dated `written`. Blanks in an ID
// become '-' and an empty ID is "-", since the fields are separated by blanks.
std::string WriteCompeGpsWaypoints(std::span<const Waypoint> waypoints,
                                   const CalendarTime& written);

extern const formats::FormatRecord kCompeGpsFormat;

}  // namespace tracora::waypoints
