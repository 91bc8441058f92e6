// The program's own Geographical waypoint files ("$FormatGEO"): one line per waypoint with
// the ID, latitude and longitude as hemisphere, degrees, minutes and seconds, the altitude in
// metres and the description ("[A]" at its end marks an airfield).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::waypoints {

inline constexpr std::string_view kGeoHeader = "$FormatGEO";

// Errors: "Bad line %d" (title "Decoding waypoint file").
WaypointReadResult ReadGeoWaypoints(std::string_view text, const WaypointReadOptions& options);
std::string WriteGeoWaypoints(std::span<const Waypoint> waypoints);

// The description of a Geo or UTM line: "[A]" or "[a]" at its end makes an airfield and is cut
// off; the rest is converted as a comment.
void SetDescriptionAndKind(std::string_view rest, Waypoint& waypoint);
// The description as a blank-separated format writes it: a description that ends in "[A]"
// without being an airfield gets its bracket group changed so that it does not read as one.
std::string SafeTrailingDescription(const Waypoint& waypoint);

extern const formats::FormatRecord kGeoWaypointFormat;

}  // namespace tracora::waypoints
