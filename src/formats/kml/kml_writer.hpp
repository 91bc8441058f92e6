// The KML documents: the trip document (a "Trip" folder with the flight statistics, one placemark
// per distance result and the track placemark whose FsInfo metadata carries the relative times,
// pressure altitudes and a keyed SHA-1 hash for competition scoring), the logbook file that
// collects such folders, the KML waypoint file and the animation track.
//
// Everything here works on text in memory: the trip record comes ready made (the documents
// library builds it from the flight's analysis), and saving is the callers' business.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "formats/common/text_buffer.hpp"

namespace tracora::kml {

// The output buffer of the KML writers: CR LF lines, grown by doubling.
using KmlOutput = formats::TextBuffer;

// The seven distance results, in writing order.
enum class DistanceKind : std::size_t {
    kFivePoint,
    kFourPoint,
    kThreePoint,
    kOpen,
    kOutAndReturn,
    kFlatTriangle,
    kFaiTriangle,
};
inline constexpr std::size_t kDistanceKindCount = 7;

// One distance result: vertex indices into the points (0-based, A first), the leg of each
// vertex after A from the vertex before it (metres) and the result's value (metres).
struct DistanceResult {
    std::array<std::size_t, 5> index{};
    std::array<double, 4> legMetres{};
    double sumMetres = 0;
};

// The analysed flight that a trip folder is written from. The points are the analysis's own copy:
// invalid times are renumbered there, never in the track log.
struct TripAnalysis {
    std::vector<TrackPoint> points;
    std::uint32_t firstTime = 0;
    std::uint32_t lastTime = 0;
    std::uint32_t durationSeconds = 0;
    std::int32_t downloadTime = -1;  // seconds since the receiver epoch; -1: none
    bool hashWanted = false;
    bool identifiersPresent = false;
    std::int32_t compPilotId = -1;
    std::int32_t civlPilotId = -1;
    bool timesAreUtc = false;
    bool pressureAltitudePresent = false;
    std::int32_t minHeightMetres = 0;
    std::int32_t maxHeightMetres = 0;
    double totalMetres = 0;
    double topSpeedKmh = 0;
    double maxMeanSpeedKmh = 0;
    double meanSpeedKmh = 0;
    double minClimbMps = 0;
    double maxClimbMps = 0;
    std::array<DistanceResult, kDistanceKindCount> results{};
    std::int32_t loopFlightGapMetres = 0;  // shown in the loop results' titles

    const DistanceResult& Result(DistanceKind kind) const {
        return results[static_cast<std::size_t>(kind)];
    }
};

// Height in whole metres from decimetres, as every KML coordinate carries it.
std::int32_t KmlHeightMetres(const TrackPoint& p);

// Whether every vertex of `r` is one of `count` points.
bool ResultWithinTrack(const DistanceResult& r, std::size_t count);

// The 17 bytes that prefix the hashed text, built at run time; never written to a file.
std::array<char, 18> FsInfoHashKey();

// Appends `text` (UTF-8) as the trip description: '<' and '>' as entities, everything else
// as UTF-8. Returns 0, or -2 (nothing appended) for text that is not valid UTF-8 or holds a
// control character other than tab, CR and LF.
int AppendDescriptionText(std::string& out, std::string_view text);

inline constexpr int kTripMemoryError = -1;
inline constexpr int kTripConversionError = -2;

// Appends the trip folder of `analysis` to `output`. `instrument`: the track log's instrument
// description, or nothing ("unknown" is written). Returns 0, -1 (memory; `output` emptied) or
// -2 (description conversion; `output` emptied).
int WriteTripFolder(KmlOutput& output, TripAnalysis& analysis, std::string_view description,
                    const std::optional<std::string_view>& instrument);

// The message of a failed WriteTripFolder.
const char* TripFolderError(int status);

inline constexpr std::string_view kDocumentHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n";
inline constexpr std::string_view kDocumentTail = "</Document>\r\n";

// The whole trip document of `analysis` (head, trip folder described by the date of its first
// position, tail) appended to `output`. Returns 0, or -1 with `message` set.
int WriteTripDocument(KmlOutput& output, TripAnalysis& analysis,
                      const std::optional<std::string_view>& instrument, std::string& message);

// The logbook file with `folder` added to the folders of `existing` (a whole logbook
// document). Returns 0, or -1 when `existing` holds no Document element.
int AppendToLogbook(std::string_view existing, std::string_view folder, std::string& document);

// The KML waypoint file of `waypoints`; ids and descriptions escaped.
std::string KmlWaypointDocument(std::span<const Waypoint> waypoints);

// The animation track (KML 2.2 gx:Track) of `points`.
std::string AnimationTrackDocument(std::span<const TrackPoint> points, bool timesAreUtc);

}  // namespace tracora::kml
