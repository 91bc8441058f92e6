// WinPilot waypoint files (.dat): one comma-separated line per waypoint with the number,
// latitude and longitude as degrees:minutes (decimal minutes or seconds) and hemisphere, the
// altitude with its unit, the flags ('A' first for an airfield) and the name; '*' starts a
// comment line.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::waypoints {

inline constexpr const char* kWinPilotTitle = "Decoding WinPilot file";

// Errors: "Bad line %d" (title "Decoding WinPilot file").
WaypointReadResult ReadWinPilotWaypoints(std::string_view text, const WaypointReadOptions& options);
// The file in Latin-1 as WinPilot writes it; a ',' in the ID or description becomes ';' (the
// format has no quoting).
std::string WriteWinPilotWaypoints(std::span<const Waypoint> waypoints);

extern const formats::FormatRecord kWinPilotFormat;

}  // namespace tracora::waypoints
