#include "automation/automation_runner.hpp"

#include <algorithm>
#include <cerrno>

#include "core/automation_parser.hpp"
#include "core/file_io.hpp"
#include "core/gps_types.hpp"
#include "core/track_store.hpp"

namespace tracora::automation {

namespace {

using device::AccessFunction;
using Action = AutomationAction;

bool IsTrackAction(Action action) {
    return action == Action::kKmlLog || action == Action::kOziLog || action == Action::kIgcLog ||
           action == Action::kMpsLog || action == Action::kCompetitionLog;
}

bool IsWaypointDownload(Action action) {
    return action == Action::kReadWaypoints || action == Action::kReadGeoWaypoints;
}

// The name of the file format an action writes, for the message of a writer that is missing.
const char* OutputFormat(Action action) {
    switch (action) {
        case Action::kKmlLog:
            return "KML";
        case Action::kOziLog:
            return "OziExplorer track";
        case Action::kIgcLog:
            return "IGC";
        case Action::kMpsLog:
            return "MapSource";
        case Action::kCompetitionLog:
            return "competition log";
        case Action::kReadWaypoints:
            return "OziExplorer waypoint";
        case Action::kReadGeoWaypoints:
            return "Geo waypoint";
        default:
            return "output";
    }
}

// The families whose instruments deliver their own IGC text, which is saved as it came.
bool DeliversIgcText(GpsType type) {
    return type == GpsType::kIqCompeo || type == GpsType::kDsx || type == GpsType::kIqBasic;
}

// The logger's three-character serial number from the A record ("AXXXSSS..."), "000" without.
std::string RawLogSerial(std::string_view raw) {
    std::size_t start = 0;
    while (start < raw.size()) {
        const std::size_t end = std::min(raw.find('\n', start), raw.size());
        const std::string_view line = raw.substr(start, end - start);
        if (!line.empty() && line.front() == 'A') {
            return line.size() >= 7 ? std::string(line.substr(4, 3)) : std::string("000");
        }
        start = end + 1;
    }
    return "000";
}

}  // namespace

AutomationRunner::AutomationRunner(AppState& state, Host& host, device::JobLayer& jobs)
    : state_(state),
      host_(host),
      jobs_(jobs),
      notify_(state.automation ? NotifySender::ForRequest(*state.automation) : NotifySender()) {}

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
            return Fail("Download track log", "Competition logs are not available yet");
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
            return Fail("Reading waypoint file", "Reading waypoint files is not available yet");
        case Action::kWriteAirspace:
            return Fail("Reading CTR file", "Reading OpenAir files is not available yet");
        case Action::kLogFile:
            return Fail("Read track log file", "Reading track log files is not available yet");
        case Action::kIgcToKml:
        case Action::kDatToKml:
            return Fail("Convert to KML", "Converting to KML is not available yet");
        case Action::kCheckKml:
            return Fail("Check KML file", "Checking KML files is not available yet");
        default:
            return 0;
    }
}

int AutomationRunner::StartJob(AccessFunction function, GpsActionFamily family,
                               const std::string& refusalTitle, const std::string& refusal,
                               std::function<void(device::GpsAccessJob&)> completion) {
    const AutomationRequest& request = *state_.automation;
    const std::optional<GpsJob> job = GpsJobFor(request.gpsType, family, request.usb);
    if (!job) {
        return Fail(refusalTitle, refusal);
    }
    device::JobStart start;
    start.function = function;
    start.protocol = job->protocol;
    start.parameter = job->parameter;
    for (int slot : request.trackList) {
        if (slot >= 0 && slot < device::FlightList::kSlots) {
            start.selectedFlights.set(static_cast<std::size_t>(slot));
        }
    }
    start.notify = [this](const std::string& text) { NotifyText(text); };
    start.completion = std::move(completion);
    state_.jobFailed = false;
    if (jobs_.StartGpsJob(std::move(start)) != 0) {
        // A transfer that could not even start must not end as a success.
        state_.jobFailed = true;
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
    if (!PrepareTrackLogDownload(state_, host_)) {
        return request.exitWhenDone ? -1 : 0;
    }
    return StartJob(
        AccessFunction::kReadTrackLog, family, "", "", [this](device::GpsAccessJob& done) {
            TakeOverDownloadedTrackLog(state_, host_, done.result, std::move(done.track));
        });
}

int AutomationRunner::StartWaypointDownload() {
    return StartJob(AccessFunction::kReadWaypoints, GpsActionFamily::kWaypointDownload,
                    "Download waypoints", "Unsupported GPS for waypoint download",
                    [this](device::GpsAccessJob& done) {
                        const bool success = done.result >= 0;
                        if (success) {
                            state_.waypoints.items = std::move(done.waypoints);
                        } else {
                            state_.jobFailed = true;
                        }
                        PostJobEnd(state_, host_, success, false);
                    });
}

int AutomationRunner::StartReportingJob(AccessFunction function, GpsActionFamily family) {
    return StartJob(function, family, "GPS access", "Unsupported GPS for this transfer",
                    [this](device::GpsAccessJob& done) {
                        const bool success = done.result >= 0;
                        if (!success) {
                            state_.jobFailed = true;
                        }
                        PostJobEnd(state_, host_, success, false);
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
    if (action == Action::kIgcLog && DeliversIgcText(state_.automation->gpsType)) {
        return SaveRawIgcLog();
    }
    host_.ShowMessage("File creation", std::string("Saving ") + OutputFormat(action) +
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
            return -1;
        }
        error = ReplaceFileAtomically(path, content);
    }
    if (error != 0) {
        FileError("File creation", "Error opening file");
        return -1;
    }
    host_.SetStatus(path);
    return 0;
}

int AutomationRunner::SaveRawIgcLog() {
    const std::string title = "Save IGC log";
    AutomationRequest& request = *state_.automation;
    TrackLog& log = state_.trackLog;
    if (log.rawIgc.Empty()) {
        host_.ShowMessage(title, "No log stored");
        return -1;
    }
    const CalendarTime date = TimeToCalendar(log.points.front().time);
    std::string name;
    if (ExpandDateInFileName(request.fileName, date, name) != 0) {
        FileError(title, "Too long file name");
        return -1;
    }
    if (!NamesDirectory(name)) {
        if (WriteRequestedFile(name, log.rawIgc.text) != 0) {
            return -1;
        }
        log.saved = true;
        return 0;
    }
    // A folder: the first free flight number of the day names the file.
    const std::string serial = RawLogSerial(log.rawIgc.text);
    for (int flight = 1; flight <= kMaxIgcFlightNumber; ++flight) {
        std::string path;
        if (IgcLogPath(name, IgcNameKind::kRawLog, date, serial, flight, path) != 0) {
            FileError(title, "Too long file name");
            return -1;
        }
        const int error = request.overwrite ? ReplaceFileAtomically(path, log.rawIgc.text)
                                            : CreateFileAtomically(path, log.rawIgc.text);
        if (error == 0) {
            log.saved = true;
            host_.SetStatus(path);
            return 0;
        }
        if (error != EEXIST) {
            FileError(title, request.overwrite ? "File open error" : "Error opening file");
            return -1;
        }
    }
    FileError(title, "No free flight number available");
    return -1;
}

bool AutomationRunner::Complete(bool success) {
    waiting_ = false;
    if (!state_.automation)
        return false;
    // The worker has handed its result over; wait for it to be gone before anything else.
    jobs_.Join();
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
