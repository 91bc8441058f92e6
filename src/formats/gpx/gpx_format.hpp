// GPX 1.1 files: track logs (every segment a track of its own) and waypoint lists, read and
// written.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_base.hpp"
#include "core/track_log.hpp"
#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::gpx {

inline constexpr const char* kTrackReadTitle = "Parsing track log file";
inline constexpr const char* kWaypointReadTitle = "Parsing waypoint file";
inline constexpr std::size_t kMaxTracks = 100;

struct GpxTrackRead {
    int status = 0;       // the number of tracks (> 0), or -1 with `message` set
    std::string message;  // under kTrackReadTitle
    // Each trkseg with points, in file order; the points' flags are 0.
    std::vector<std::vector<TrackPoint>> tracks;
};

// Every track segment of the document. Errors: "No tags found", "Missing tag(s) for position
// %d", "Bad time data for position %d", "Too many track segments", "No tracks found" ...
GpxTrackRead ReadGpxTracks(std::string_view text);

// The line the "Select track" dialog shows for a track: the time of its first point.
std::string GpxTrackLabel(std::span<const TrackPoint> track);

// The waypoints (wpt directly inside gpx), named through `options` (the "Modify waypoint ID"
// question); title kWaypointReadTitle. A cancelled question ends with waypoints::kReadCancelled.
waypoints::WaypointReadResult ReadGpxWaypoints(std::string_view text,
                                               const waypoints::WaypointReadOptions& options);

// The documents. `now` goes into the metadata, `version` into the creator. All track points go
// into one segment; texts are escaped. No points or waypoints: a valid document without them.
std::string GpxTrackDocument(std::span<const TrackPoint> track, const CalendarTime& now,
                             std::string_view version);
std::string GpxWaypointDocument(std::span<const Waypoint> waypoints, const CalendarTime& now,
                                std::string_view version);

extern const formats::FormatRecord kGpxFormat;

}  // namespace tracora::gpx
