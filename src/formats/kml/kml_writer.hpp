// The KML writers: the trip document (a "Trip" folder with the flight statistics, one placemark
// per distance optimisation result and the track placemark whose FsInfo metadata carries the
// relative times, pressure altitudes and a keyed SHA-1 hash for competition scoring), the
// logbook file that collects such folders, the KML waypoint file and the animation track.
//
// Documents are built into memory first; files are written through a temporary file renamed
// into place, so a failure never leaves a partial document or loses earlier logbook flights.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/distance_optimisation.hpp"
#include "analysis/flight_statistics.hpp"
#include "core/app_state.hpp"
#include "core/host.hpp"
#include "core/settings.hpp"
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

// The input of WriteTripFolder. The points are the analysis's own copy: invalid times are
// renumbered there, never in the track log.
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

// Builds the trip record from the analysis module's statistics and optimisation results.
// The times, flags and identifiers are left for the caller. Triangle and out-and-return legs
// not held by the optimisation result are measured on the ellipsoid.
TripAnalysis MakeTripAnalysis(std::span<const TrackPoint> points,
                              const analysis::FlightStatistics& statistics,
                              const analysis::TripAnalysis& optimisation,
                              std::int32_t loopFlightGapMetres);

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

struct GoogleEarthOptions {
    bool hashWanted = false;
    bool timesAreUtc = false;
    bool pressureAltitudePresent = false;
    std::optional<std::string_view> instrument;
    bool overwrite = false;  // replace an existing file
    std::int32_t loopFlightGapMetres = 0;
    int threads = 2;
};

// The whole trip document of `points` as the Google Earth file holds it. Returns 0, or -1 with
// `title` and `message` set.
int BuildGoogleEarthDocument(std::span<const TrackPoint> points, const GoogleEarthOptions& options,
                             std::string& document, std::string& title, std::string& message);

// Writes the trip document of `points` to `basePath` with ".kml" appended. Returns 0 or -1
// after a message.
int WriteGoogleEarthFile(Host& host, const std::filesystem::path& basePath,
                         std::span<const TrackPoint> points, const GoogleEarthOptions& options);

// The logbook file with `folder` added to the folders of `existing` (a whole logbook
// document). Returns 0, or -1 when `existing` holds no Document element.
int AppendToLogbook(std::string_view existing, std::string_view folder, std::string& document);

// "&Save log (Flybook/.kml)": the save dialog, then a new file, or for an existing one the
// question whose Yes appends, No overwrites and Cancel stops. Returns 0 or -1.
int SaveLogbookFile(Host& host, Settings& settings, TripAnalysis& analysis,
                    std::string_view description,
                    const std::optional<std::string_view>& instrument);

// The KML waypoint file of `waypoints`; ids and descriptions escaped.
std::string KmlWaypointDocument(std::span<const Waypoint> waypoints);
// Writes it to `path` (created, or replaced when `overwrite`). Returns 0 or -1.
int WriteKmlWaypointFile(Host& host, const std::filesystem::path& path,
                         std::span<const Waypoint> waypoints, bool overwrite);

// The animation track (KML 2.2 gx:Track) of `points`.
std::string AnimationTrackDocument(std::span<const TrackPoint> points, bool timesAreUtc);
// "Save log for animation in GE" over the selected points. Returns 0 or -1.
int SaveAnimationTrack(AppState& state, Host& host, std::span<const std::size_t> selection,
                       bool trackViewShown);

}  // namespace tracora::kml
