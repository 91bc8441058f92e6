#include "automation/automation_runner.hpp"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "automation/automation_parser.hpp"
#include "competition/pilot_id_upload.hpp"
#include "competition/pilot_list_file.hpp"
#include "core/file_io.hpp"
#include "core/gps_types.hpp"
#include "core/pilot_list.hpp"
#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "documents/competition_log.hpp"
#include "documents/file_read_messages.hpp"
#include "documents/flybook_document.hpp"
#include "documents/igc_files.hpp"
#include "documents/kml_commands.hpp"
#include "documents/track_documents.hpp"
#include "documents/trip_record.hpp"
#include "documents/waypoint_commands.hpp"
#include "formats/dat_log/dat_log.hpp"
#include "formats/format_registry.hpp"
#include "formats/igc/igc_names.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_writer.hpp"
#include "formats/kml/kml_reader.hpp"
#include "formats/openair/openair_parser.hpp"
#include "protocols/family_registry.hpp"

namespace tracora::automation {

namespace {

using device::AccessFunction;
using Action = AutomationAction;

bool IsTrackAction(Action action) {
    return action == Action::kKmlLog || action == Action::kOziLog || action == Action::kIgcLog ||
           action == Action::kMpsLog || action == Action::kCompetitionLog ||
           action == Action::kFlybook;
}

bool IsWaypointDownload(Action action) {
    return action == Action::kReadWaypoints || action == Action::kReadGeoWaypoints;
}

// The file format each output action writes: the registry's id, and the name for the message
// while the registry has no writer for it.
struct OutputFormat {
    Action action;
    std::string_view formatId;
    const char* name;
};
constexpr OutputFormat kOutputFormats[] = {
    {Action::kKmlLog, "kml", "KML"},
    {Action::kOziLog, "ozi-track", "OziExplorer track"},
    {Action::kIgcLog, "igc", "IGC"},
    {Action::kMpsLog, "mapsource", "MapSource"},
    {Action::kCompetitionLog, "competition", "competition log"},
    {Action::kReadWaypoints, "ozi-waypoints", "OziExplorer waypoint"},
    {Action::kReadGeoWaypoints, "geo-waypoints", "Geo waypoint"},
};

const OutputFormat* OutputFormatOf(Action action) {
    for (const OutputFormat& output : kOutputFormats) {
        if (output.action == action) {
            return &output;
        }
    }
    return nullptr;
}

// The registry's writer of the action's output; null while there is none.
const formats::FormatRecord* OutputWriter(Action action) {
    const OutputFormat* output = OutputFormatOf(action);
    if (output == nullptr) {
        return nullptr;
    }
    const formats::FormatRecord* format = formats::FindFormat(output->formatId);
    return format != nullptr && format->directions.write ? format : nullptr;
}

}  // namespace

AutomationRunner::AutomationRunner(AppState& state, Host& host, device::JobLayer& jobs)
    : state_(state),
      host_(host),
      jobs_(jobs),
      ownDownloads_(std::in_place, state, host, jobs),
      downloads_(*ownDownloads_),
      notify_(state.automation ? NotifySender::ForRequest(*state.automation) : NotifySender()) {}

AutomationRunner::AutomationRunner(ProgramCore& core)
    : state_(core.State()),
      host_(core.GetHost()),
      jobs_(core.Jobs()),
      downloads_(core.Downloads()),
      notify_(state_.automation ? NotifySender::ForRequest(*state_.automation) : NotifySender()) {}

void AutomationRunner::NotifyText(std::string_view text) const {
    if (notify_.Active())
        notify_.Send(text);
}

int AutomationRunner::Fail(const std::string& title, const std::string& text) {
    host_.ShowMessage(title, text);
    // A request that could not be carried out must not end as a success.
    state_.jobFailed = true;
    return state_.automation->exitWhenDone ? -1 : 0;
}

int AutomationRunner::Run() {
    if (!state_.automation)
        return 0;
    const AutomationRequest& request = *state_.automation;
    // The request's port is used for this run only; the configured one stays as it is.
    jobs_.SetPortName(request.portName.empty() ? state_.settings.portName : request.portName);
    jobs_.SetOpenAttempts(request.timeoutSeconds);
    state_.gpsTypeName = std::string(GpsTypeInfoOf(request.gpsType).name);

    const Action action = request.action;
    if (IsTrackAction(action)) {
        if (action == Action::kCompetitionLog) {
            TakeCompetitionSettings();
        }
        return StartTrackDownload();
    }
    if (IsWaypointDownload(action))
        return StartWaypointDownload();
    switch (action) {
        case Action::kFlightList:
            return StartReportingJob(AccessFunction::kReadFlightList, GpsActionFamily::kFlightList);
        case Action::kWriteUserName:
            return StartReportingJob(AccessFunction::kWritePilotData,
                                     GpsActionFamily::kUserNameUpload);
        case Action::kWriteWaypoints:
        case Action::kWriteWaypointsWithId:
            return StartWaypointUpload();
        case Action::kWriteAirspace:
            return StartAirspaceUpload();
        case Action::kLogFile:
            return ReadLogFile();
        case Action::kIgcToKml:
            return ConvertIgcToKml();
        case Action::kDatToKml:
            return ConvertDatToKml();
        case Action::kCheckKml:
            return CheckKmlFile();
        default:
            return 0;
    }
}

int AutomationRunner::StartJob(GpsActionFamily family, const std::string& refusalTitle,
                               const std::string& refusal,
                               const std::function<StartOutcome(device::JobStart)>& start) {
    const AutomationRequest& request = *state_.automation;
    const std::optional<GpsJob> job = GpsJobFor(request.gpsType, family, request.usb);
    if (!job) {
        return Fail(refusalTitle, refusal);
    }
    device::JobStart jobStart;
    jobStart.protocol = job->protocol;
    jobStart.parameter = job->parameter;
    for (int slot : request.trackList) {
        if (slot >= 0 && slot < device::FlightList::kSlots) {
            jobStart.selectedFlights.set(static_cast<std::size_t>(slot));
        }
    }
    jobStart.notify = [this](const std::string& text) { NotifyText(text); };
    jobStart.sendLogSeconds = request.sendLogSeconds;
    jobStart.pilotName = request.pilotName;
    // USERNAME stores the name with the IDs; a negative ID leaves its field empty.
    jobStart.pilotData.mode = device::PilotDataUpload::Mode::kIds;
    jobStart.pilotData.pilotName = request.pilotName;
    jobStart.pilotData.competitionId = request.competitionId;
    jobStart.pilotData.civlId = request.civlId;
    // With a command line its PWROFF option decides.
    jobStart.powerOff = request.powerOff;
    jobStart.chooseFlights = chooser_;
    // A competition download reads the pilot ID waypoints the instrument carries.
    if (request.action == Action::kCompetitionLog) {
        jobStart.competitionMode = true;
        jobStart.compSpecial = state_.settings.compSpecial != 0;
    }
    if (start(std::move(jobStart)) != StartOutcome::kStarted) {
        return request.exitWhenDone ? -1 : 0;
    }
    waiting_ = true;
    NotifyText(kNotifyTransferStarted);
    return 0;
}

int AutomationRunner::StartTrackDownload() {
    const AutomationRequest& request = *state_.automation;
    const auto family = request.action == Action::kIgcLog ? GpsActionFamily::kIgcTrackLog
                                                          : GpsActionFamily::kTrackLog;
    if (!GpsJobFor(request.gpsType, family, request.usb)) {
        return Fail("Download track log", "Unsupported GPS for track log download");
    }
    if (request.action == Action::kFlybook) {
        // Every flight at once: only the Flytec/Brauniger family reads them all.
        const std::optional<GpsJob> job = GpsJobFor(request.gpsType, family, request.usb);
        if (!job || job->protocol != GpsProtocol::kFlytec) {
            return Fail("Read GPS track logs", "Unsupported GPS for reading all track logs");
        }
    }
    const bool all = request.action == Action::kFlybook;
    return StartJob(family, "", "", [this, all](device::JobStart start) {
        if (all) {
            start.protocol = GpsProtocol::kReadAllFlytec;
        }
        return downloads_.StartTrackLogDownload(std::move(start));
    });
}

int AutomationRunner::StartWaypointDownload() {
    return StartJob(GpsActionFamily::kWaypointDownload, "Download waypoints",
                    "Unsupported GPS for waypoint download", [this](device::JobStart start) {
                        return downloads_.StartWaypointDownload(std::move(start));
                    });
}

int AutomationRunner::StartWaypointUpload() {
    const AutomationRequest& request = *state_.automation;
    const std::string title = "Reading waypoint file";
    std::vector<Waypoint> waypoints;
    const int read =
        documents::ReadWaypointsFromFile(host_, request.fileName, true, title, waypoints);
    if (read <= 0) {
        state_.jobFailed = true;
        return request.exitWhenDone ? -1 : 0;
    }
    // The instruments that show one name per waypoint get the ID into it.
    switch (request.gpsType) {
        case GpsType::kIqCompeo:
        case GpsType::kIqBasic:
        case GpsType::kFlymaster:
        case GpsType::kLeonardo:
        case GpsType::kDigiflyAir:
        case GpsType::kSyride:
            documents::PrepareUploadNames(request.action == Action::kWriteWaypointsWithId
                                              ? documents::WaypointUploadMode::kIdAndName
                                              : documents::WaypointUploadMode::kOnlyName,
                                          waypoints);
            break;
        default:
            break;
    }
    for (const Waypoint& id : competition::PilotIdWaypoints(request.competitionId, request.civlId,
                                                            false, CurrentTime())) {
        waypoints.push_back(id);
    }
    if (!request.exitWhenDone) {
        state_.waypoints.items = waypoints;
        host_.SetStatus(StringPrintf("%d waypoints read", read));
    }
    return StartJob(GpsActionFamily::kWaypointUpload, "Upload waypoints",
                    "Unsupported GPS for track log upload",
                    [this, &waypoints](device::JobStart start) {
                        start.function = AccessFunction::kWriteWaypoints;
                        start.waypoints = std::move(waypoints);
                        start.completion = ReportingCompletion();
                        return downloads_.Start(std::move(start));
                    });
}

int AutomationRunner::StartAirspaceUpload() {
    const AutomationRequest& request = *state_.automation;
    const std::string title = "Reading CTR file";
    std::string text;
    if (const char* message =
            documents::FileReadMessage(ReadWholeFile(request.fileName, text),
                                       "Error opening CTR file", "CTR file read error")) {
        return Fail(title, message);
    }
    std::vector<CtrArea> areas;
    openair::OpenAirReport report;
    const int count = openair::ParseOpenAir(text, areas, report);
    for (const openair::OpenAirNotice& notice : report.notices) {
        host_.SetStatus(notice.text);
    }
    if (count < 0) {
        return Fail(openair::kParseTitle, report.message);
    }
    if (count == 0) {
        return Fail(title, "No CTR(s) found");
    }
    for (CtrArea& area : areas) {
        area.selected = true;
    }
    if (!request.exitWhenDone) {
        host_.SetStatus(StringPrintf("%d CTRs read", count));
    }
    return StartJob(GpsActionFamily::kAirspaceUpload, "Upload CTR",
                    "Unsupported GPS for CTR upload", [this, &areas](device::JobStart start) {
                        start.function = AccessFunction::kWriteAirspace;
                        start.airspaces = std::move(areas);
                        start.completion = ReportingCompletion();
                        return downloads_.Start(std::move(start));
                    });
}

std::function<void(device::GpsAccessJob&)> AutomationRunner::ReportingCompletion() {
    return [this](device::GpsAccessJob& done) {
        const bool success = done.result >= 0;
        if (!success) {
            state_.jobFailed = true;
        }
        PostJobEnd(state_, host_, success, false);
    };
}

int AutomationRunner::StartReportingJob(AccessFunction function, GpsActionFamily family) {
    return StartJob(family, "GPS access", "Unsupported GPS for this transfer",
                    [this, function](device::JobStart start) {
                        start.function = function;
                        start.completion = ReportingCompletion();
                        return downloads_.Start(std::move(start));
                    });
}

int AutomationRunner::SaveOutput() {
    const Action action = state_.automation->action;
    if (IsTrackAction(action)) {
        if (!state_.trackLog.Loaded()) {
            host_.ShowMessage("Download track log", "No positions");
            return -1;
        }
    } else if (IsWaypointDownload(action)) {
        if (state_.waypoints.items.empty()) {
            host_.ShowMessage("Download waypoints", "No waypoints");
            return -1;
        }
    } else {
        return 0;  // uploads, the flight list and the user name only report
    }
    if (action == Action::kFlybook) {
        return SaveFlybookFile();
    }
    if (action == Action::kCompetitionLog) {
        return SaveCompetitionOutput();
    }
    if (const formats::FormatRecord* format = OutputWriter(action)) {
        if (IsWaypointDownload(action)) {
            return SaveWaypointFile(*format);
        }
        if (format->id == "kml") {
            return SaveKmlLog();
        }
        if (format->id == "igc") {
            // An instrument's own IGC text is saved as it came.
            const AutomationRequest& request = *state_.automation;
            const std::optional<GpsJob> job =
                GpsJobFor(request.gpsType, GpsActionFamily::kIgcTrackLog, request.usb);
            return job && protocols::DeliversIgcText(job->protocol) ? SaveRawIgcLog()
                                                                    : SaveEncodedIgcLog();
        }
    }
    const OutputFormat* output = OutputFormatOf(action);
    host_.ShowMessage("File creation", std::string("Saving ") +
                                           (output != nullptr ? output->name : "output") +
                                           " files is not available yet");
    return -1;
}

void AutomationRunner::FileError(const std::string& title, const std::string& text) {
    // The user must see a file error: the program no longer closes by itself.
    AutomationRequest& request = *state_.automation;
    request.exitWhenDone = false;
    request.showState = WindowShowState::kNormal;
    host_.ShowMessage(title, text);
}

int AutomationRunner::WriteRequestedFile(const std::string& path, std::string_view content) {
    const AutomationRequest& request = *state_.automation;
    int error = request.overwrite ? ReplaceFileAtomically(path, content)
                                  : CreateFileAtomically(path, content);
    if (error == EEXIST) {
        // A hidden run cannot ask, and never overwrites without OVERWRITE.
        if (request.showState == WindowShowState::kHidden ||
            host_.Ask("File creation", "File already exists, overwrite ?",
                      QuestionButtons::kYesNo) != Answer::kYes) {
            // Never lose a download without a word: say what was not written and why.
            FileError("File creation", path +
                                           ": File already exists, not replaced (/OVERWRITE "
                                           "replaces it); nothing was saved");
            return -1;
        }
        error = ReplaceFileAtomically(path, content);
    }
    if (error != 0) {
        FileError("File creation", SaveErrorText(kErrorOpeningFile, path, error));
        return -1;
    }
    host_.SetStatus(path);
    return 0;
}

int AutomationRunner::ReadLogFile() {
    const std::string title = "Read track log file";
    const std::string& name = state_.automation->fileName;
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return Fail(title, "Missing track log file extension");
    }
    const std::string extension = name.substr(dot + 1);
    // The extensions the command line accepts; the registry says which of them can be read.
    static constexpr std::string_view kKnown[] = {"kml", "plt", "dat", "tnc", "mps",
                                                  "log", "igc", "gpx", "csv"};
    if (std::find(std::begin(kKnown), std::end(kKnown), extension) == std::end(kKnown)) {
        return Fail(title, "Unsupported track log file extension");
    }
    // The track format of the extension (a .dat file is the position log here, never a
    // waypoint file).
    const TrackFileFormat* reader = nullptr;
    for (const TrackFileFormat& known : documents::ReadableTrackFormats()) {
        if (reader == nullptr && known.filter.extension == extension) {
            reader = &known;
        }
    }
    if (reader == nullptr) {
        return Fail(title, "Reading ." + extension + " files is not available yet");
    }
    TrackReadResult read;
    if (extension != "igc") {
        std::string text;
        if (const char* message = documents::FileReadMessage(
                ReadWholeFile(name, text), "Error opening file", "Track log file read error")) {
            return Fail(title, message);
        }
        if (reader->reader(host_, text, read) <= 0) {
            state_.jobFailed = true;
            return state_.automation->exitWhenDone ? -1 : 0;
        }
    } else if (igc::ReadIgcFile(host_, name, read) < 0) {
        state_.jobFailed = true;
        return state_.automation->exitWhenDone ? -1 : 0;
    }
    if (InstallReadTrackLog(state_, host_, std::move(read), false) != 1) {
        state_.jobFailed = true;
    }
    return state_.automation->exitWhenDone ? -1 : 0;
}

int AutomationRunner::SaveWaypointFile(const formats::FormatRecord& format) {
    const std::vector<Waypoint>& waypoints = state_.waypoints.items;
    std::string path;
    if (ExpandDateInFileName(state_.automation->fileName, TimeToCalendar(waypoints.front().time),
                             path) != 0) {
        FileError("File creation", "Too long file name");
        return -1;
    }
    std::string document;
    std::string message;
    if (documents::WaypointDocument(format, waypoints, document, message) != 0) {
        FileError("File creation", message);
        return -1;
    }
    if (WriteRequestedFile(path, document) != 0) {
        return -1;
    }
    host_.SetStatus(path + ": " + StringPrintf("%zu waypoints written", waypoints.size()));
    return 0;
}

int AutomationRunner::WriteKml(std::span<const TrackPoint> points,
                               const kml::GoogleEarthOptions& options, const std::string& path) {
    std::string document;
    std::string title;
    std::string message;
    if (kml::BuildGoogleEarthDocument(points, options, document, title, message) != 0) {
        FileError(title, message);
        return -1;
    }
    if (WriteRequestedFile(path, document) != 0) {
        return -1;
    }
    host_.SetStatus(path + ": " + StringPrintf("%zu positions written", points.size()));
    return 0;
}

int AutomationRunner::SaveKmlLog() {
    std::vector<TrackPoint> points;
    const long long count = CopyWholeTrackLog(state_, host_, points);
    if (count <= 0) {
        if (count < 0) {
            host_.ShowMessage("Download track log", "Track log memory allocation");
        }
        return -1;
    }
    std::string path;
    if (ExpandDateInFileName(state_.automation->fileName, TimeToCalendar(points.front().time),
                             path) != 0) {
        FileError("File creation", "Too long file name");
        return -1;
    }
    if (!path.ends_with(".kml")) {
        path += ".kml";
    }
    const TrackLog& log = state_.trackLog;
    kml::GoogleEarthOptions options;
    // The keyed hash marks a log that came straight from an instrument.
    options.hashWanted = log.gRecordEligible;
    options.timesAreUtc = log.timeIsUtc;
    options.pressureAltitudePresent = log.hasPressureAltitude;
    options.instrument = log.instrumentDescription;
    options.overwrite = state_.automation->overwrite;
    options.loopFlightGapMetres = state_.automation->noLoopOpt ? 0 : state_.settings.loopFlightGap;
    if (WriteKml(points, options, path) != 0) {
        return -1;
    }
    state_.trackLog.saved = true;
    return 0;
}

int AutomationRunner::SaveFlybookFile() {
    std::string document;
    std::string title;
    std::string message;
    const int flights =
        documents::BuildFlybookDocument(state_.trackLog, state_.settings, document, title, message);
    if (flights < 0) {
        FileError(title, message);
        return -1;
    }
    if (flights == 0) {
        FileError(documents::kFlybookSaveTitle, "No track log with at least 10 positions");
        return -1;
    }
    if (WriteRequestedFile(state_.automation->fileName, document) != 0) {
        return -1;
    }
    host_.SetStatus(FormatCount("% flight(s) written", flights));
    return 0;
}

int AutomationRunner::CheckKmlFile() {
    const std::string title = "Check KML file";
    const std::string& name = state_.automation->fileName;
    std::string text;
    if (const char* message = documents::FileReadMessage(
            ReadWholeFile(name, text), "Error opening file", "Track log file read error")) {
        Fail(title, message);
        return -1;
    }
    const kml::KmlCheck check = kml::CheckKmlText(text);
    std::string lines;
    for (const std::string& line : check.lines) {
        lines += (lines.empty() ? "" : "\n") + line;
    }
    if (!check.good) {
        // A bad file is the check's failure: the exit code says so.
        Fail(title, lines);
        return -1;
    }
    host_.ShowMessage(title, lines);
    // The check ends the program.
    return -1;
}

int AutomationRunner::ConvertIgcToKml() {
    const std::string& name = state_.automation->fileName;
    TrackReadResult read;
    if (igc::ReadIgcFile(host_, name, read) < 0) {
        state_.jobFailed = true;  // the reader has said why
        return -1;
    }
    const std::string path = kml::KmlPathForIgc(name).string();
    kml::GoogleEarthOptions options =
        kml::IgcConversionOptions(state_.automation->noLoopOpt ? 0 : state_.settings.loopFlightGap);
    options.overwrite = state_.automation->overwrite;
    if (WriteKml(read.points, options, path) != 0) {
        state_.jobFailed = true;
    }
    // The conversion ends the program.
    return -1;
}

int AutomationRunner::ConvertDatToKml() {
    const std::string title = "Reading .dat log file";
    // The name is a base name: the log is NAME.dat, the document NAME.kml.
    const std::string& base = state_.automation->fileName;
    if (base.size() > 256) {
        Fail(title, "File name too long");
        return -1;
    }
    std::string bytes;
    if (const char* message =
            documents::FileReadMessage(ReadWholeFile(base + ".dat", bytes), "Error opening file",
                                       ".dat track log file read error")) {
        Fail(title, message);
        return -1;
    }
    dat::DatRead read = dat::ReadDatTrack(bytes);
    if (read.status <= 0) {
        Fail(dat::kDatReadTitle, read.message);
        return -1;
    }
    kml::GoogleEarthOptions options =
        kml::IgcConversionOptions(state_.automation->noLoopOpt ? 0 : state_.settings.loopFlightGap);
    // The log holds GPS altitudes only.
    options.pressureAltitudePresent = false;
    options.overwrite = state_.automation->overwrite;
    if (WriteKml(read.points, options, base + ".kml") != 0) {
        state_.jobFailed = true;
    }
    // The conversion ends the program.
    return -1;
}

int AutomationRunner::SaveEncodedIgcLog() {
    const std::string title = "Save IGC log";
    AutomationRequest& request = *state_.automation;
    std::vector<TrackPoint> points;
    const long long count = CopyWholeTrackLog(state_, host_, points);
    if (count <= 0) {
        if (count < 0) {
            host_.ShowMessage(title, "Track log memory allocation");
        }
        return -1;
    }
    const TrackLog& log = state_.trackLog;
    const igc::IgcHeaderTexts header{request.pilotName,         "",   "", request.gliderId, "", "",
                                     log.instrumentDescription, "000"};
    igc::IgcEncodeOptions options;
    options.gRecordEligible = log.gRecordEligible;
    options.wantSecurityRecord = true;
    options.downloadTime = log.downloadTime;
    std::string text;
    bool signedLog = false;
    if (igc::EncodeIgc(points, header, options, text, signedLog) <= 0) {
        host_.ShowMessage(title, "Memory allocation error");
        return -1;
    }
    const CalendarTime date = TimeToCalendar(points.front().time);
    const int written = SaveIgcText(text, date, igc::IgcNameKind::kEncodedLog, "000");
    if (written == 0) {
        host_.SetStatus(StringPrintf("%lld positions written", count));
    }
    return written;
}

int AutomationRunner::SaveRawIgcLog() {
    TrackLog& log = state_.trackLog;
    if (log.rawIgc.Empty()) {
        host_.ShowMessage("Save IGC log", "No log stored");
        return -1;
    }
    // The name comes from the log itself: its first fix's date and the recorder's serial.
    igc::RawIgcDetails details;
    if (igc::ReadRawIgcDetails(log.rawIgc.text, details) != 0 || details.serial.size() != 3) {
        details.serial = "000";
        details.firstTime = log.points.front().time;
    }
    return SaveIgcText(log.rawIgc.text, TimeToCalendar(details.firstTime),
                       igc::IgcNameKind::kRawLog, details.serial);
}

int AutomationRunner::SaveIgcText(const std::string& text, const CalendarTime& date,
                                  igc::IgcNameKind kind, const std::string& serial) {
    const std::string title = "Save IGC log";
    AutomationRequest& request = *state_.automation;
    std::string name;
    if (ExpandDateInFileName(request.fileName, date, name) != 0) {
        FileError(title, "Too long file name");
        return -1;
    }
    // An existing folder is a folder even when the trailing separator was left out.
    if (!NamesDirectory(name)) {
        std::error_code ec;
        if (std::filesystem::is_directory(name, ec)) {
            name += '/';
        }
    }
    if (!NamesDirectory(name)) {
        if (WriteRequestedFile(name, text) != 0) {
            return -1;
        }
        state_.trackLog.saved = true;
        return 0;
    }
    // A folder: the first free flight number of the day names the file.
    std::string path, message;
    if (igc::SaveIgcInFolder(name, kind, date, serial, text, request.overwrite, path, message) !=
        0) {
        FileError(title, message);
        return -1;
    }
    state_.trackLog.saved = true;
    host_.SetStatus(path);
    return 0;
}

void AutomationRunner::TakeCompetitionSettings() {
    const AutomationRequest& request = *state_.automation;
    Settings& settings = state_.settings;
    // The settings file holds the desk's competition settings; the command line's own options
    // take their place for this run (a run never writes the settings back).
    if (request.filterStart != 0) {
        settings.compTimeStart = static_cast<std::int32_t>(request.filterStart);
    }
    if (request.filterStop != 0) {
        settings.compTimeStop = static_cast<std::int32_t>(request.filterStop);
    }
    if (!request.competitionDir.empty()) {
        settings.compDir = request.competitionDir;
    }
    if (request.compSpecial) {
        settings.compSpecial = 1;
    }
    if (request.noCheck) {
        settings.logFilter = 0;
    }
    // A desk in competition mode names its pilot list in the settings; COMP_FS replaces it.
    if (!request.pilotListLoaded && settings.compMode != 0 && !settings.pilotListName.empty() &&
        state_.pilotList.pilots.empty()) {
        // A list that cannot be read leaves the run with the request's pilot.
        competition::ReadPilotListFile(host_, settings.pilotListName, state_.pilotList, {});
    }
}

int AutomationRunner::SaveCompetitionOutput() {
    const AutomationRequest& request = *state_.automation;
    const Settings& settings = state_.settings;
    // The request's pilot first; IDs it does not give come from the instrument's ID waypoints.
    CurrentPilot pilot{CutUtf8Characters(request.pilotName, kCurrentPilotNameChars),
                       request.competitionId, request.civlId};
    if (pilot.competitionId < 0 && pilot.civlId < 0) {
        pilot.competitionId = state_.trackLog.compPilotId;
        pilot.civlId = state_.trackLog.civlPilotId;
    }
    // With a pilot list the pilot of those IDs is the one chosen.
    const int listed = FindPilotByIds(state_.pilotList, pilot.civlId, pilot.competitionId);
    if (listed >= 0) {
        const PilotEntry& entry = state_.pilotList.pilots[static_cast<std::size_t>(listed)];
        pilot.name = CutUtf8Characters(entry.name, kCurrentPilotNameChars);
        pilot.competitionId = entry.competitionId;
        pilot.civlId = entry.civlId;
        NotifyText(StringPrintf("Pilot [%d] ", pilot.competitionId) + pilot.name);
    }
    state_.pilot = pilot;
    documents::CompetitionSaveOptions options;
    options.folder = settings.compDir;
    options.windowStart = static_cast<std::uint32_t>(settings.compTimeStart);
    options.windowStop = static_cast<std::uint32_t>(settings.compTimeStop);
    options.writeIgc = request.competitionFileKind == CompetitionFileKind::kIgc ||
                       settings.compSpecial != 0 || settings.addIgcToCompOut != 0;
    options.commandLineRun = true;
    options.now = clock_ ? clock_() : 0;
    options.notify = [this](const std::string& text) { NotifyText(text); };
    const int saved = documents::SaveCompetitionLog(state_, host_, state_.trackLog.points, options);
    return saved > 0 ? 0 : -1;
}

bool AutomationRunner::Complete(bool success) {
    waiting_ = false;
    if (!state_.automation)
        return false;
    // The worker has handed its result over; wait for it to be gone before anything else.
    downloads_.JobTaken();
    if (success && SaveOutput() != 0) {
        state_.jobFailed = true;
        success = false;
    }
    if (!success)
        state_.jobFailed = true;
    NotifyText(success ? kNotifyTransferCompleted : kNotifyTransferFailed);
    return state_.automation->exitWhenDone;
}

}  // namespace tracora::automation
