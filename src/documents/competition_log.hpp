// The competition output: a downloaded flight checked against the competition window, filtered,
// analysed and written into the competition folder as a signed KML trip document (and, when
// asked, an IGC file) named by pilot, time and IDs, so that the scoring office can sort them.
//
// The save runs in three phases so that a window can run the analysis on its worker: Prepare
// (the points, the filters and the file name; may ask the split question), Analyse (pure, any
// thread) and the writes. SaveCompetitionLog runs them one after the other.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_state.hpp"
#include "core/host.hpp"
#include "core/pilot_list.hpp"
#include "core/track_log.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::documents {

inline constexpr const char* kCompetitionSaveTitle = "Save log for competition";
inline constexpr std::string_view kCompetitionDescription =
    "Tracklog from Tracora competition mode";

struct CompetitionSaveOptions {
    std::string folder;  // the competition folder
    // The competition window, receiver seconds; 0 = open.
    std::uint32_t windowStart = 0;
    std::uint32_t windowStop = 0;
    bool writeIgc = false;
    // A command-line run never replaces a file: an existing one is reported "already processed"
    // and left as it is. From the window a file of the same name is replaced.
    bool commandLineRun = false;
    // The current UTC time (receiver seconds) for the file name and the download time; 0 takes
    // the clock.
    std::uint32_t now = 0;
    // The notify texts ("File \"...\" written"); may be empty.
    std::function<void(const std::string&)> notify;
};

// What the first phase hands on.
struct CompetitionPrepared {
    std::vector<TrackPoint> points;  // kept, filtered, at least 10
    std::string basePath;            // without extension
    std::uint32_t now = 0;
};

// The characters of a pilot name that may not stand in a file name ('/', '\\', control
// characters) replaced by '_', and a leading '.' too; the empty name is "[pilot name]".
std::string CompetitionNamePart(std::string_view pilotName);

// "<folder>/<name>.<YYYYMMDD-hhmmss>.<CIVL ID>.<comp. ID>" ("[CIVLID]", "[COMPID]" for none).
std::string CompetitionBasePath(std::string_view folder, const CurrentPilot& pilot,
                                std::uint32_t nowUtc);

// Which points the window keeps, bad timestamps dropped first (time 0, 0x7FFFFFFF,
// 0xFFFFFFFF). With only a stop the points after it go, with only a start those before it,
// with both (start before stop) those outside; a stop not after the start filters nothing.
struct WindowFilterResult {
    bool badTimestamps = false;
    bool outsideWindow = false;
};
WindowFilterResult FilterByCompetitionWindow(std::vector<TrackPoint>& points, std::uint32_t start,
                                             std::uint32_t stop);

// Phase 1 over `points` (all of the track log, or the selected rows): the window, the split
// check, the vario filter and the speed analysis (as the settings say), the file name. Returns
// 1 when there is something to save, 0 when the user cancelled, -1 after a message.
int PrepareCompetitionSave(AppState& state, Host& host, std::vector<TrackPoint> points,
                           const CompetitionSaveOptions& options, CompetitionPrepared& prepared);

// Phase 2: the statistics and the distance optimisation of the kept points, with the track
// log's origin (the keyed hash and the download time only for a log straight from an
// instrument) and the pilot's IDs. Touches nothing shared. 0, or -1 with `title` and `message`.
int AnalyseCompetitionTrip(const CompetitionPrepared& prepared, const TrackLog& log,
                           const CurrentPilot& pilot, std::int32_t loopFlightGapMetres,
                           kml::TripAnalysis& trip, std::string& title, std::string& message);

// Phase 3a: the IGC file (when options.writeIgc). 0 (written or already there), -1 after a
// message.
int WriteCompetitionIgc(AppState& state, Host& host, const CompetitionPrepared& prepared,
                        const CompetitionSaveOptions& options);
// Phase 3b: the KML file; marks the track log saved. 0 (written or already there), -1 after a
// message.
int WriteCompetitionKml(AppState& state, Host& host, const CompetitionPrepared& prepared,
                        kml::TripAnalysis& trip, const CompetitionSaveOptions& options);

// All phases in order on this thread. Returns 1 when saved (or already saved), 0 when nothing
// was to be saved or the user cancelled, -1 after a message.
int SaveCompetitionLog(AppState& state, Host& host, std::vector<TrackPoint> points,
                       const CompetitionSaveOptions& options);

}  // namespace tracora::documents
