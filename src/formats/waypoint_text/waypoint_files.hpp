// Waypoint files of every format: the content decides the reader (the file name does not).
#pragma once

#include <string_view>

#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::waypoints {

// Results of ReadWaypointText besides the readers' own.
inline constexpr int kXmlOtherFirstTag = -3;
inline constexpr int kXmlNoSecondTag = -4;

// The whole file: MapSource ("MsRcd"), then (after a UTF-8 byte-order mark is dropped and text
// that is not UTF-8 is read as Latin-1) OziExplorer, Geo, UTM and SeeYou by their first line
// (the SeeYou header in either case), GPX and KML by their first tags, and otherwise
// CompeGPS, or WinPilot when the CompeGPS reader finds no waypoint. A result of 0 becomes
// "No waypoints found" (title "Decoding waypoint file").
WaypointReadResult ReadWaypointText(std::string_view text, const WaypointReadOptions& options);

// The reader every waypoint format of the registry shares: ReadWaypointText without questions
// (names are converted as after "Yes to All"), times of reading now.
formats::ReadResult ReadWaypointFileOfRegistry(std::string_view text);

}  // namespace tracora::waypoints
