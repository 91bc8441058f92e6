// Waypoint files of every format: the content decides the reader (the file name does not).
#pragma once

#include <functional>
#include <span>
#include <string>
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

// The registry's writers of the waypoint formats: the document `write` makes appended to
// `out`; a failed allocation is "Memory allocation error" with nothing appended.
int AppendWaypointDocument(formats::TextBuffer& out, std::string& message,
                           const std::function<std::string()>& write);

// The registry's writer of a format whose document is made of the waypoints alone.
template <std::string (*Write)(std::span<const Waypoint>)>
int WriteWaypointDocument(const formats::WriteInput& input, formats::TextBuffer& out,
                          std::string& message) {
    return AppendWaypointDocument(out, message, [&] { return Write(input.waypoints); });
}

// The record of a waypoint format of the registry: its files read by their content (every
// waypoint format reads every other's), written by `write`.
constexpr formats::FormatRecord WaypointFormat(std::string_view id, std::string_view name,
                                               std::span<const std::string_view> extensions,
                                               formats::FormatWriter write) {
    return {
        .id = id,
        .name = name,
        .extensions = extensions,
        .holds = {.waypoints = true},
        .directions = {.read = true, .write = true},
        .read = &ReadWaypointFileOfRegistry,
        .write = write,
    };
}

}  // namespace tracora::waypoints
