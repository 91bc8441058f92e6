// MapSource files (.mps): binary records of track logs and waypoints after the "MsRcd" mark,
// every number little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::mapsource {

inline constexpr const char* kMapSourceReadTitle = "Decoding MapSource file";
// Seconds from 1970-01-01 to the receiver epoch 1989-12-31.
inline constexpr std::uint32_t kUnixToReceiverEpoch = 631065600u;

struct MapSourceRead {
    int status = 0;       // the number of points or waypoints (0: none), or -1 with `message`
    std::string message;  // under kMapSourceReadTitle
    std::vector<TrackPoint> points;  // every 'T' record's points, each record a segment
    std::vector<Waypoint> waypoints;
};

// The track points of every 'T' record. Errors: "Not a MapSource file", "Unsupported MapSource
// version", "File format error at %08xh" (the offset reached).
MapSourceRead ReadMapSourceTrack(std::string_view bytes);
// The waypoints of every 'W' record of the versions 'd' to 'i'; every field is checked against
// the end of its record before it is read.
MapSourceRead ReadMapSourceWaypoints(std::string_view bytes);

// The file of a track log (one 'T' record, altitudes in whole metres) or of a waypoint list
// (one 'W' record each), version 'i'. Both given: the waypoints, then the track.
std::string MapSourceDocument(std::span<const TrackPoint> points,
                              std::span<const Waypoint> waypoints);

// The waypoint file reader of the waypoint file detection.
waypoints::WaypointReadResult ReadMapSourceWaypointFile(std::string_view bytes);

extern const formats::FormatRecord kMapSourceFormat;

}  // namespace tracora::mapsource
