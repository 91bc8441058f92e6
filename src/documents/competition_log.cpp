#include "documents/competition_log.hpp"

#include <cerrno>
#include <filesystem>
#include <new>

#include "analysis/track_filters.hpp"
#include "core/automation_request.hpp"
#include "core/file_io.hpp"
#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "documents/trip_record.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::documents {
namespace {

constexpr std::size_t kMinPoints = analysis::kMinFilteredPoints;
// The longest file name a folder entry may have.
constexpr std::size_t kMaxNameBytes = 255;

bool BadTimestamp(std::uint32_t time) {
    return time == 0 || time == 0x7FFFFFFFu || time == 0xFFFFFFFFu;
}

std::string IdPart(int id, const char* none) {
    return id >= 0 ? StringPrintf("%d", id) : std::string(none);
}

// Writes one output file under the competition rule. 1 written, 0 already there (command line),
// -1 after a message.
int WriteOutputFile(Host& host, const std::string& path, std::string_view content,
                    const CompetitionSaveOptions& options) {
    const int error = options.commandLineRun ? CreateFileAtomically(path, content)
                                             : ReplaceFileAtomically(path, content);
    if (error == EEXIST && options.commandLineRun) {
        if (options.notify) {
            options.notify("File \"" + path + "\" already processed");
        }
        host.SetStatus(path + ": already processed");
        return 0;
    }
    if (error != 0) {
        host.ShowMessage(kCompetitionSaveTitle, SaveErrorText(kErrorOpeningFile, path, error));
        return -1;
    }
    if (options.notify) {
        options.notify("File \"" + path + "\" written");
    }
    return 1;
}

}  // namespace

std::string CompetitionNamePart(std::string_view pilotName) {
    if (pilotName.empty()) {
        return "[pilot name]";
    }
    std::string out(pilotName);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) {
            c = '_';
        }
    }
    if (out.front() == '.') {
        out.front() = '_';
    }
    return out;
}

std::string CompetitionBasePath(std::string_view folder, const CurrentPilot& pilot,
                                std::uint32_t nowUtc) {
    const CalendarTime c = TimeToCalendar(nowUtc);
    const std::string name =
        CompetitionNamePart(CutUtf8Characters(pilot.name, kCurrentPilotNameChars)) +
        StringPrintf(".%d%02d%02d-%02d%02d%02d.", c.year, c.month, c.day, c.hour, c.minute,
                     c.second) +
        IdPart(pilot.civlId, "[CIVLID]") + "." + IdPart(pilot.competitionId, "[COMPID]");
    std::string path(folder);
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + name;
}

WindowFilterResult FilterByCompetitionWindow(std::vector<TrackPoint>& points, std::uint32_t start,
                                             std::uint32_t stop) {
    WindowFilterResult result;
    std::vector<TrackPoint> kept;
    kept.reserve(points.size());
    for (const TrackPoint& p : points) {
        if (BadTimestamp(p.time)) {
            result.badTimestamps = true;
            continue;
        }
        bool outside = false;
        if (start == 0 && stop != 0) {
            outside = p.time > stop;
        } else if (start != 0 && stop == 0) {
            outside = p.time < start;
        } else if (start != 0 && stop != 0 && start < stop) {
            outside = p.time < start || p.time > stop;
        }
        if (outside) {
            result.outsideWindow = true;
            continue;
        }
        kept.push_back(p);
    }
    points = std::move(kept);
    return result;
}

int PrepareCompetitionSave(AppState& state, Host& host, std::vector<TrackPoint> points,
                           const CompetitionSaveOptions& options, CompetitionPrepared& prepared) {
    if (points.empty()) {
        return 0;
    }
    const WindowFilterResult window =
        FilterByCompetitionWindow(points, options.windowStart, options.windowStop);
    if (!points.empty() && SplitCheck(state, host, points) == 0) {
        return 0;
    }
    if (points.empty()) {
        std::string text = "No positions found";
        if (window.badTimestamps) {
            text += "\r\nSome removed due to bad timestamp";
        }
        if (window.outsideWindow) {
            text += "\r\nSome removed due to time filtering";
        }
        host.ShowMessage(kCompetitionSaveTitle, text);
        return -1;
    }
    const char* tooFew = "Too few positions for statistics analysis";
    if (points.size() < kMinPoints) {
        host.ShowMessage(kCompetitionSaveTitle, tooFew);
        return -1;
    }
    const Settings& settings = state.settings;
    if (settings.varioFilter > 0 && analysis::VarioFilter(points, settings.varioFilter) > 0) {
        host.ShowMessage(kCompetitionSaveTitle,
                         "Position(s) have been removed due to vario filtering");
        if (points.size() < kMinPoints) {
            host.ShowMessage(kCompetitionSaveTitle, tooFew);
            return -1;
        }
    }
    if (settings.logFilter != 0) {
        const std::size_t before = points.size();
        analysis::SpeedAnalysis(points);
        if (points.size() < kMinPoints) {
            host.ShowMessage(kCompetitionSaveTitle, analysis::kTooFewAfterSpeedAnalysis);
            return -1;
        }
        if (points.size() < before) {
            host.ShowMessage(kCompetitionSaveTitle, analysis::kSpeedAnalysisRemoved);
        }
    }
    prepared.now = options.now != 0 ? options.now : CurrentTime();
    prepared.basePath = CompetitionBasePath(options.folder, state.pilot, prepared.now);
    const std::string fileName = std::filesystem::path(prepared.basePath).filename().string();
    // Room for the longest extension, ".kml" or ".igc".
    if (prepared.basePath.size() + 4 > kFileNameMax || fileName.size() + 4 > kMaxNameBytes) {
        host.ShowMessage(kCompetitionSaveTitle, "Too long filename");
        return -1;
    }
    prepared.points = std::move(points);
    return 1;
}

int AnalyseCompetitionTrip(const CompetitionPrepared& prepared, const TrackLog& log,
                           const CurrentPilot& pilot, std::int32_t loopFlightGapMetres,
                           kml::TripAnalysis& trip, std::string& title, std::string& message) {
    kml::GoogleEarthOptions options;
    options.hashWanted = log.gRecordEligible;
    options.timesAreUtc = log.timeIsUtc;
    options.pressureAltitudePresent = log.hasPressureAltitude;
    options.loopFlightGapMetres = loopFlightGapMetres;
    if (kml::AnalyseTrip(prepared.points, options, trip, title, message) != 0) {
        return -1;
    }
    trip.downloadTime = log.gRecordEligible && prepared.now <= 0x7FFFFFFFu
                            ? static_cast<std::int32_t>(prepared.now)
                            : -1;
    trip.identifiersPresent = true;
    trip.compPilotId = pilot.competitionId;
    trip.civlPilotId = pilot.civlId;
    return 0;
}

int WriteCompetitionIgc(AppState& state, Host& host, const CompetitionPrepared& prepared,
                        const CompetitionSaveOptions& options) {
    if (!options.writeIgc) {
        return 0;
    }
    const TrackLog& log = state.trackLog;
    const std::string competitionId = state.pilot.competitionId >= 0
                                          ? StringPrintf("%d", state.pilot.competitionId)
                                          : std::string();
    const std::string pilotName = CutUtf8Characters(state.pilot.name, kCurrentPilotNameChars);
    const igc::IgcHeaderTexts header{
        pilotName, competitionId, "", "", "", "", log.instrumentDescription, "000"};
    igc::IgcEncodeOptions encode;
    encode.gRecordEligible = log.gRecordEligible;
    encode.wantSecurityRecord = true;
    encode.downloadTime = log.downloadTime;
    std::string text;
    bool signedLog = false;
    try {
        if (igc::EncodeIgc(prepared.points, header, encode, text, signedLog) <= 0) {
            host.ShowMessage(kCompetitionSaveTitle, "Memory allocation error");
            return -1;
        }
    } catch (const std::bad_alloc&) {
        host.ShowMessage(kCompetitionSaveTitle, "Memory allocation error");
        return -1;
    }
    const std::string path = prepared.basePath + ".igc";
    const int written = WriteOutputFile(host, path, text, options);
    if (written < 0) {
        return -1;
    }
    if (written > 0) {
        host.SetStatus(path + ": " +
                       (signedLog ? "File saved, signature OK" : "File saved, NO signature"));
    }
    return 0;
}

int WriteCompetitionKml(AppState& state, Host& host, const CompetitionPrepared& prepared,
                        kml::TripAnalysis& trip, const CompetitionSaveOptions& options) {
    const TrackLog& log = state.trackLog;
    std::string document;
    try {
        kml::KmlOutput output;
        output.Append(kml::kDocumentHead);
        const int status =
            kml::WriteTripFolder(output, trip, kCompetitionDescription, log.instrumentDescription);
        if (status != 0) {
            host.ShowMessage(kCompetitionSaveTitle, kml::TripFolderError(status));
            return -1;
        }
        output.Append(kml::kDocumentTail);
        document = output.Take();
    } catch (const std::bad_alloc&) {
        host.ShowMessage(kCompetitionSaveTitle, "Memory allocation error");
        return -1;
    }
    const std::string path = prepared.basePath + ".kml";
    const int written = WriteOutputFile(host, path, document, options);
    if (written < 0) {
        return -1;
    }
    if (written > 0) {
        host.SetStatus(path + ": " +
                       (trip.hashWanted ? "File saved, signature OK" : "File saved, NO signature"));
    }
    state.trackLog.saved = true;
    return 0;
}

int SaveCompetitionLog(AppState& state, Host& host, std::vector<TrackPoint> points,
                       const CompetitionSaveOptions& options) {
    if (!state.trackLog.Loaded()) {
        return 0;
    }
    CompetitionPrepared prepared;
    const int ready = PrepareCompetitionSave(state, host, std::move(points), options, prepared);
    if (ready <= 0) {
        return ready;
    }
    if (WriteCompetitionIgc(state, host, prepared, options) != 0) {
        return -1;
    }
    kml::TripAnalysis trip;
    std::string title, message;
    if (AnalyseCompetitionTrip(prepared, state.trackLog, state.pilot, state.settings.loopFlightGap,
                               trip, title, message) != 0) {
        host.ShowMessage(title, message);
        return -1;
    }
    return WriteCompetitionKml(state, host, prepared, trip, options) == 0 ? 1 : -1;
}

}  // namespace tracora::documents
