// Reading KML back: the tracks of trip documents and logbooks (the FsInfo metadata of each trip
// folder's track placemark, its relative times, pressure altitudes and coordinates, and its keyed
// hash checked), the KML waypoint file, and the place of the Document element's content for the
// logbook append.
//
// The reader accepts the layout the writer produces (line breaks and indentation between values
// and before closing tags) and checks the hash over the canonical texts the writer hashed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "formats/format_record.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace tracora::kml {

inline constexpr const char* kKmlTrackReadTitle = "Parsing track log file";
inline constexpr const char* kKmlWaypointReadTitle = "Parsing waypoint file";

// The texts of one trip folder's track, as they stand in the file.
struct KmlTrackText {
    bool hasFsInfo = false;
    std::string fsInfo;  // the FsInfo attribute text
    bool hasOffsets = false;
    std::string offsets;  // SecondsFromTimeOfFirstPoint
    bool hasPressure = false;
    std::string pressure;  // PressureAltitude
    bool hasCoordinates = false;
    std::string coordinates;
};

struct KmlTracks {
    int status = 0;       // the number of tracks (> 0), or -1 with `message` set
    std::string message;  // under kKmlTrackReadTitle
    std::vector<KmlTrackText> tracks;
};

// Every folder's track in document order. Errors: the XML reader's, "Multiple tracks in one
// <Placemark> element", "Multiple tracks in one <Folder> element", "No track log found".
KmlTracks FindKmlTracks(std::string_view text);

// The line the "Select track" dialog shows for a track: its time_of_first_point as
// "YYYY-MM-DD   hh:mm:ss", or "Bad track time" / "Missing track time".
std::string KmlTrackLabel(const KmlTrackText& track);

// Signature values: 2 when the hash attribute matches the content, 0 otherwise.
inline constexpr int kKmlSignatureOk = 2;
inline constexpr int kKmlSignatureNone = 0;

struct KmlTrackRead {
    int status = 0;       // the number of points (> 0), or -1 with `message` set
    std::string message;  // under kKmlTrackReadTitle
    std::vector<TrackPoint> points;
    bool timesAreUtc = false;
    bool pressureAltitudePresent = false;
    int signature = kKmlSignatureNone;
    std::string instrument;  // the "instrument" attribute, decoded; empty when absent
};

// The points of one track, its hash checked.
KmlTrackRead DecodeKmlTrack(const KmlTrackText& track);

// The track of a document: the one at `index` (document order) of FindKmlTracks.
KmlTrackRead ReadKmlTrack(std::string_view text, std::size_t index = 0);

// The content of the Document element: [start, end) between its start tag and its end tag.
// Returns 0, -1 when the first tag (after an optional UTF-8 byte-order mark) is not "?xml", -2
// when no whole Document element is found.
int LocateKmlDocument(std::string_view text, std::size_t& start, std::size_t& end);

// The waypoints of the placemarks inside folders named "Waypoints", named through `options`;
// title kKmlWaypointReadTitle. Errors: "Missing tag(s) for waypoint %d", "Missing data for
// waypoint %d", "Bad ID for waypoint %d", "Bad <coordinates> in waypoint %s", the XML reader's.
// No such placemark: status 0.
waypoints::WaypointReadResult ReadKmlWaypoints(std::string_view text,
                                               const waypoints::WaypointReadOptions& options);

// The checking mode: every track of the document read and its hash checked. `good` when
// there is at least one track and every one reads with a matching hash. `lines`: one per track,
// "%d positions read (Signature ok)", "%d positions read (NO valid signature)" or the reader's
// message; with several tracks each line starts with "Track %d: ".
struct KmlCheck {
    bool good = false;
    std::vector<std::string> lines;
};
KmlCheck CheckKmlText(std::string_view text);

// The registry's reader: the first track of the document (status = its points) and any
// waypoints; a document with neither gives the track reader's message.
formats::ReadResult ReadKmlFile(std::string_view text);

}  // namespace tracora::kml
