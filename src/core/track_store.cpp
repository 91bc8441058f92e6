#include "core/track_store.hpp"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "core/geodesy.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"

namespace tracora {

namespace {

constexpr std::size_t kMaxSplitParts = 100;
constexpr std::size_t kMaxFileNameLength = 256;
constexpr double kRecentWindowSeconds = 60.0;

// Signed difference b - a of two point times.
long long TimeDifference(std::uint32_t a, std::uint32_t b) {
    return static_cast<long long>(b) - static_cast<long long>(a);
}

std::string DateTimeText(std::uint32_t time) {
    const CalendarTime c = TimeToCalendar(time);
    return StringPrintf("%d-%02d-%02d  %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                        c.second);
}

std::string DurationText(long long seconds) {
    if (seconds < 0)
        seconds = 0;
    return StringPrintf("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

TrackLogSummary Summarise(std::span<const TrackPoint> points) {
    if (points.empty())
        return {};
    return {DateTimeText(points.front().time), DateTimeText(points.back().time),
            DurationText(TimeDifference(points.front().time, points.back().time))};
}

bool RefuseWhenBusy(const AppState& state, Host& host, const std::string& title) {
    if (!state.busy.load())
        return false;
    host.ShowMessage(title, std::string(kBusyGpsDriver));
    return true;
}

bool AutomationForbidsSplit(const AppState& state) {
    return state.automation.has_value() && state.automation->noSplit;
}

bool AutomationExits(const AppState& state) {
    return state.automation.has_value() && state.automation->exitWhenDone;
}

void PostJobMessage(AppState& state, Host& host, JobMessage message, bool success) {
    host.PostToMain([&state, message, success] {
        if (state.onJobMessage)
            state.onJobMessage(message, success);
    });
}

// A 3-vector on the unit sphere, for the rotation.
struct Vec3 {
    double x, y, z;
};

Vec3 ToVector(const GeoPoint& p) {
    return {std::cos(p.latitude) * std::cos(p.longitude),
            std::cos(p.latitude) * std::sin(p.longitude), std::sin(p.latitude)};
}

double Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

void ClearTrackLog(TrackLog& log) {
    log.points.clear();
    log.points.shrink_to_fit();
    log.rawIgc.text.clear();
    log.rawIgc.text.shrink_to_fit();
    log.rawProtocolData.clear();
    log.rawProtocolData.shrink_to_fit();
    log.gRecordEligible = false;
    log.saved = false;
    log.hasPressureAltitude = false;
}

int TakeOverDownloadedTrackLog(AppState& state, Host& host, int jobResult,
                               DownloadedTrackLog&& download) {
    // A failed job leaves the store alone; the end-of-job message still goes out so that a
    // command-line run learns of the failure and ends.
    int installed = 0;
    if (jobResult < 0) {
        state.jobFailed = true;
    } else if (state.busy.load()) {
        TrackLog& log = state.trackLog;
        log.points.clear();
        log.points.shrink_to_fit();
        const int kind = download.sourceKind;
        if (!KeepsRawIgc(kind))
            log.rawIgc.text.clear();
        if (!KeepsRawProtocolData(kind))
            log.rawProtocolData.clear();

        std::vector<TrackPoint>& points = download.points;
        const std::size_t before = points.size();
        const Settings& settings = state.settings;
        if (settings.downloadFilter != 0) {
            std::size_t first = 0;
            if (settings.timestampFilter != 0 && CountBackwardTimes(points, first) > 0) {
                RemoveBackwardTimes(points);
            }
            if (state.downloadFilters)
                state.downloadFilters(points, settings);
        }
        if (points.size() < before) {
            host.SetStatus(StringPrintf("%zu points removed by filter(s)", before - points.size()));
        }

        log.points = std::move(points);
        log.sourceKind = kind;
        log.timeIsUtc = download.timeIsUtc;
        log.gRecordEligible = download.gRecordEligible;
        log.hasPressureAltitude = download.hasPressureAltitude;
        log.protocol = download.protocol;
        log.saved = false;
        if (!download.productName.empty())
            log.productName = std::move(download.productName);
        if (!download.instrumentDescription.empty()) {
            log.instrumentDescription = std::move(download.instrumentDescription);
        }
        if (!download.productText.empty())
            log.productText = std::move(download.productText);
        if (!download.rawIgc.Empty())
            log.rawIgc = std::move(download.rawIgc);
        if (!download.rawProtocolData.empty()) {
            log.rawProtocolData = std::move(download.rawProtocolData);
        }
        log.downloadTime = CurrentCalendarTime();
        installed = 1;
        if (!AutomationExits(state)) {
            host.PostToMain([&host] { host.ShowTrackView(); });
        }
    }

    // The busy mark itself is cleared by the device layer once the worker has ended, so that
    // no command can touch the store while this job still runs.
    PostJobEnd(state, host, jobResult >= 0, true);
    return installed;
}

void PostJobEnd(AppState& state, Host& host, bool success, bool trackLogJob) {
    if (state.automation.has_value()) {
        PostJobMessage(state, host, JobMessage::kAutomationDone, success);
    } else if (trackLogJob && state.settings.compMode != 0) {
        PostJobMessage(state, host, JobMessage::kCompetitionSave, success);
    }
}

std::size_t CountBackwardTimes(std::span<const TrackPoint> points, std::size_t& firstIndex) {
    std::size_t count = 0;
    if (points.empty())
        return 0;
    std::uint32_t latest = points.front().time;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i].time < latest) {
            if (count == 0)
                firstIndex = i;
            ++count;
        } else {
            latest = points[i].time;
        }
    }
    return count;
}

std::size_t RemoveBackwardTimes(std::vector<TrackPoint>& points) {
    if (points.empty())
        return 0;
    std::size_t kept = 1;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i].time >= points[kept - 1].time)
            points[kept++] = points[i];
    }
    points.resize(kept);
    return kept;
}

std::string RemoveBackwardTimesWithNotice(std::vector<TrackPoint>& points) {
    std::size_t firstBackward = 0;
    const std::size_t backward = CountBackwardTimes(points, firstBackward);
    if (backward == 0)
        return {};
    RemoveBackwardTimes(points);
    return StringPrintf("%zu position(s) going backwards in time removed (the first at pos. %zu)",
                        backward, firstBackward + 1);
}

int ReadTrackLogFile(AppState& state, Host& host, std::span<const TrackFileFormat> formats) {
    if (RefuseWhenBusy(state, host, "Read track log file"))
        return 0;
    if (formats.empty())
        return 0;

    FileDialogRequest request;
    request.title = "Read track log file";
    for (const TrackFileFormat& format : formats)
        request.filters.push_back(format.filter);
    const int count = static_cast<int>(formats.size());
    request.filterIndex = std::clamp(state.settings.logImportExt, 1, count);
    request.folder = state.settings.trackLogDir;
    std::optional<FileDialogResult> chosen = host.OpenFileDialog(request);
    if (!chosen)
        return 0;

    const int index = std::clamp(chosen->filterIndex, 1, count);
    const TrackFileFormat& format = formats[static_cast<std::size_t>(index - 1)];
    std::filesystem::path path = chosen->path;
    if (!path.has_extension())
        path += "." + format.filter.extension;
    if (path.native().size() > kMaxFileNameLength) {
        host.ShowMessage("Error opening file", "Too long file name");
        return 0;
    }
    state.settings.logImportExt = index;
    state.settings.trackLogDir = path.parent_path().string();

    std::string text;
    switch (ReadWholeFile(path, text)) {
        case FileReadStatus::kOk:
            break;
        case FileReadStatus::kEmpty:
            host.ShowMessage("Read track log file", "File is empty");
            return 0;
        case FileReadStatus::kNoMemory:
        case FileReadStatus::kTooLarge:
            host.ShowMessage("Read track log file", "File buffer memory allocation");
            return 0;
        case FileReadStatus::kAbsent:
        case FileReadStatus::kCannotOpen:
            host.ShowMessage("Read track log file", "Error opening track log file");
            return 0;
        case FileReadStatus::kReadError:
            host.ShowMessage("Read track log file", "Track log file read error");
            return 0;
    }

    TrackReadResult read;
    if (format.reader(host, text, read) < 0)
        return 0;
    return InstallReadTrackLog(state, host, std::move(read));
}

int InstallReadTrackLog(AppState& state, Host& host, TrackReadResult&& read, bool interactive) {
    std::vector<TrackPoint>& points = read.points;
    if (points.empty()) {
        host.SetStatus("No positions found");
        return 0;
    }

    std::size_t firstBackward = 0;
    if (interactive && CountBackwardTimes(points, firstBackward) > 0) {
        const Answer answer = host.Ask(
            "Read track log",
            StringPrintf("One or more positions (the first at pos. %zu) go backwards in time. "
                         "Remove ?",
                         firstBackward + 1),
            QuestionButtons::kYesNoCancel);
        if (answer == Answer::kCancel) {
            host.SetStatus("Operation aborted");
            return 0;
        }
        if (answer == Answer::kYes) {
            RemoveBackwardTimes(points);
            read.signatureOk = false;
        }
    } else if (!interactive) {
        // No one to ask: the safe answer, said on the status line.
        if (std::string notice = RemoveBackwardTimesWithNotice(points); !notice.empty()) {
            read.signatureOk = false;
            host.SetStatus(notice);
        }
    }

    TrackLog& log = state.trackLog;
    bool appended = false;
    if (interactive && log.Loaded()) {
        const NewTrackChoice choice = host.AskNewTrackLog(Summarise(log.points), Summarise(points));
        if (choice == NewTrackChoice::kCancel)
            return 0;
        if (choice == NewTrackChoice::kAppend) {
            points.front().flags = 0;
            if (log.points.back().time >= points.front().time) {
                host.ShowMessage("Append track", "New track overlaps current one");
                return 0;
            }
            try {
                std::vector<TrackPoint> joined;
                joined.reserve(log.points.size() + points.size());
                joined.insert(joined.end(), log.points.begin(), log.points.end());
                joined.insert(joined.end(), points.begin(), points.end());
                points = std::move(joined);
            } catch (const std::bad_alloc&) {
                host.ShowMessage("Append track", "Track log memory allocation");
                return 0;
            }
            read.signatureOk = false;
            read.timeIsUtc = false;
            appended = true;
        }
    }

    ClearTrackLog(log);
    const std::size_t count = points.size();
    log.points = std::move(points);
    log.downloadTime = CurrentCalendarTime();
    log.civlPilotId = -1;
    log.compPilotId = -1;
    log.gRecordEligible = false;
    log.timeIsUtc = read.timeIsUtc;
    log.hasPressureAltitude = read.hasPressureAltitude;
    log.sourceKind = kSourceKindFile;
    log.instrumentDescription.clear();
    // The file's own text describes the new log only when it was not joined to another.
    if (!appended)
        log.rawIgc = std::move(read.rawIgc);

    if (!interactive) {
        host.SetStatus(StringPrintf("%zu positions read (Signature ignored)", count));
    } else {
        host.SetStatus(read.signatureOk ? StringPrintf("%zu positions read (Signature ok)", count)
                                        : StringPrintf("%zu positions read", count));
    }
    host.ShowTrackView();
    return 1;
}

std::size_t SplitCheck(AppState& state, Host& host, std::vector<TrackPoint>& points) {
    const std::size_t count = points.size();
    if (count < 2 || AutomationForbidsSplit(state))
        return count;

    const long long gap = state.settings.trackGapTime;
    std::vector<TrackSegment>& parts = state.segments;
    parts.clear();
    parts.push_back({0, count - 1, false});
    std::uint32_t lastRise = points[0].time;
    for (std::size_t i = 1; i < count && parts.size() < kMaxSplitParts; ++i) {
        const TrackPoint& p = points[i];
        if (p.time <= lastRise)
            continue;
        if (TimeDifference(lastRise, p.time) > gap || p.StartsSegment()) {
            parts.back().last = i - 1;
            parts.push_back({i, count - 1, false});
        }
        lastRise = p.time;
    }
    if (parts.size() < 2)
        return count;

    SplitDialogRequest request;
    const std::string& product = state.trackLog.productName;
    request.title = product.empty() ? StringPrintf("Split track (%s)", state.gpsTypeName.c_str())
                                    : StringPrintf("Split track (%s, %s)",
                                                   state.gpsTypeName.c_str(), product.c_str());
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        const TrackPoint& first = points[part->first];
        const CalendarTime c = TimeToCalendar(first.time);
        long long duration = TimeDifference(first.time, points[part->last].time);
        if (duration < 0)
            duration = 0;
        request.parts.push_back(StringPrintf("%02d-%02d-%02d   %02d:%02d:%02d   %lld:%02lld:%02lld",
                                             c.year, c.month, c.day, c.hour, c.minute, c.second,
                                             duration / 3600, duration / 60 % 60, duration % 60));
    }

    std::optional<std::vector<int>> chosen = host.ChooseSplitParts(request);
    if (!chosen || chosen->empty())
        return 0;
    const int shown = static_cast<int>(parts.size());
    for (int row : *chosen) {
        if (row >= 0 && row < shown)
            parts[static_cast<std::size_t>(shown - 1 - row)].selected = true;
    }

    std::size_t kept = 0;
    for (const TrackSegment& part : parts) {
        if (!part.selected)
            continue;
        for (std::size_t i = part.first; i <= part.last; ++i)
            points[kept++] = points[i];
    }
    if (kept == 0)
        return 0;
    points.resize(kept);
    return kept;
}

long long CopySelection(AppState& state, Host& host, std::span<const std::size_t> selection,
                        std::vector<TrackPoint>& out) {
    out.clear();
    const std::vector<TrackPoint>& points = state.trackLog.points;
    try {
        out.reserve(selection.size());
        for (std::size_t index : selection) {
            if (index < points.size())
                out.push_back(points[index]);
        }
    } catch (const std::bad_alloc&) {
        out.clear();
        return -1;
    }
    if (out.empty())
        return 0;
    return static_cast<long long>(SplitCheck(state, host, out));
}

long long CopyWholeTrackLog(AppState& state, Host& host, std::vector<TrackPoint>& out) {
    try {
        out = state.trackLog.points;
    } catch (const std::bad_alloc&) {
        out.clear();
        return -1;
    }
    if (out.empty())
        return 0;
    return static_cast<long long>(SplitCheck(state, host, out));
}

void RecentSpeedAndClimb(std::span<const TrackPoint> points, std::size_t index, double& speed,
                         double& climb) {
    speed = 0;
    climb = 0;
    if (index == 0 || index >= points.size() || points[index].StartsSegment())
        return;

    double distance = 0;
    double elapsed = 0;
    double referenceHeight = points[index].gpsAltitude;
    for (std::size_t j = index; j > 0; --j) {
        const TrackPoint& later = points[j];
        const TrackPoint& earlier = points[j - 1];
        const long long step = TimeDifference(earlier.time, later.time);
        if (step > 0) {
            double metres = 0;
            if (GeoDistance(PointRadians(earlier), PointRadians(later), metres) != 0)
                metres = 0;
            const double stepSeconds = static_cast<double>(step);
            if (elapsed + stepSeconds < kRecentWindowSeconds) {
                distance += metres;
                elapsed += stepSeconds;
                referenceHeight = earlier.gpsAltitude;
            } else {
                const double fraction = (kRecentWindowSeconds - elapsed) / stepSeconds;
                distance += metres * fraction;
                referenceHeight =
                    later.gpsAltitude + fraction * (earlier.gpsAltitude - later.gpsAltitude);
                break;
            }
        }
        if (earlier.StartsSegment())
            break;
    }
    speed = distance * 0.06;
    climb = (points[index].gpsAltitude - referenceHeight) * 0.001666667;
}

std::string TrackClipboardText(std::span<const TrackPoint> points) {
    std::string text;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TrackPoint& p = points[i];
        const CalendarTime c = TimeToCalendar(p.time);
        double speed = 0;
        double climb = 0;
        RecentSpeedAndClimb(points, i, speed, climb);
        const long long altitude = p.gpsAltitude;
        const long long magnitude = altitude < 0 ? -altitude : altitude;
        text += StringPrintf("%4d-%02d-%02d, %02d:%02d:%02d, %.6f, %.6f, %c%lld.%lld, %.1f\r\n",
                             c.year, c.month, c.day, c.hour, c.minute, c.second,
                             SemicirclesToDegrees(p.latitude), SemicirclesToDegrees(p.longitude),
                             altitude < 0 ? '-' : ' ', magnitude / 10, magnitude % 10, speed);
    }
    return text;
}

int CopyTrackToClipboard(AppState& state, Host& host, std::span<const std::size_t> selection,
                         bool trackViewShown) {
    const std::string title = "Copy track to clip board";
    if (RefuseWhenBusy(state, host, title))
        return -1;
    if (!trackViewShown) {
        host.ShowMessage(title, std::string(kIncorrectViewMode));
        return -1;
    }
    std::vector<TrackPoint> copy;
    const long long count = CopySelection(state, host, selection, copy);
    if (count < 0) {
        host.ShowMessage(title, "Track log memory allocation");
        return -1;
    }
    if (count == 0) {
        if (selection.empty())
            host.ShowMessage(title, "No position(s) selected");
        return 0;
    }
    if (!host.SetClipboardText(TrackClipboardText(copy))) {
        host.ShowMessage(title, "Failed to copy data to clipboard");
        return -1;
    }
    return static_cast<int>(count);
}

int RotateTrackLog(AppState& state, Host& host, std::span<const std::size_t> selection) {
    const std::string title = "Rotate track log";
    if (RefuseWhenBusy(state, host, title))
        return 0;
    if (!state.trackLog.Loaded()) {
        host.ShowMessage(title, "No positions loaded");
        return 0;
    }
    if (selection.empty()) {
        host.ShowMessage(title, "No position(s) selected");
        return 0;
    }
    if (selection.size() == 1 && host.Ask(title, "Only one position selected, continue ?",
                                          QuestionButtons::kYesNo) != Answer::kYes) {
        return 0;
    }

    std::optional<RotateDialogResult> typed = host.AskRotation();
    if (!typed)
        return 0;
    struct Field {
        const std::string& text;
        AngleKind kind;
        const char* name;
        double value;
    };
    Field fields[] = {{typed->startLatitude, AngleKind::kLatitude, "start latitude", 0},
                      {typed->startLongitude, AngleKind::kLongitude, "start longitude", 0},
                      {typed->endLatitude, AngleKind::kLatitude, "end latitude", 0},
                      {typed->endLongitude, AngleKind::kLongitude, "end longitude", 0}};
    for (Field& field : fields) {
        if (field.text.find_first_not_of(' ') == std::string::npos) {
            host.ShowMessage("Decode position", StringPrintf("Missing %s input", field.name));
            return 0;
        }
        if (ParseAngle(field.text, field.kind, field.value) != 0) {
            host.ShowMessage("Decode position", StringPrintf("Bad %s input", field.name));
            return 0;
        }
    }
    const Vec3 start = ToVector({fields[0].value, fields[1].value});
    const Vec3 end = ToVector({fields[2].value, fields[3].value});
    // The rotated frame: x through the start, y towards the end along the great circle.
    const double along = Dot(end, start);
    Vec3 east{end.x - along * start.x, end.y - along * start.y, end.z - along * start.z};
    const double eastLength = std::sqrt(Dot(east, east));
    if (eastLength < 1e-9) {
        host.ShowMessage("Decode position", "Positions are too close");
        return 0;
    }
    east = {east.x / eastLength, east.y / eastLength, east.z / eastLength};
    const Vec3 north = Cross(start, east);

    std::vector<TrackPoint> rotated;
    const long long count = CopySelection(state, host, selection, rotated);
    if (count < 0) {
        host.ShowMessage(title, "Track log memory allocation");
        return 0;
    }
    if (count == 0)
        return 0;
    for (TrackPoint& p : rotated) {
        const Vec3 v = ToVector(PointRadians(p));
        const double x = Dot(v, start);
        const double y = Dot(v, east);
        const double z = std::clamp(Dot(v, north), -1.0, 1.0);
        p.latitude = RadiansToSemicircles(std::asin(z));
        p.longitude = RadiansToSemicircles(std::atan2(y, x));
    }

    TrackLog& log = state.trackLog;
    const bool pressure = log.hasPressureAltitude;
    ClearTrackLog(log);
    log.points = std::move(rotated);
    log.hasPressureAltitude = pressure;
    log.sourceKind = kSourceKindFile;
    log.instrumentDescription.clear();
    host.ShowTrackView();
    return 1;
}

int InsertWaypoint(WaypointList& list, Host& host, const Waypoint& waypoint) {
    try {
        if (list.items.capacity() == 0)
            list.items.reserve(WaypointList::kFirstCapacity);
        for (Waypoint& stored : list.items) {
            if (stored.Id() != waypoint.Id())
                continue;
            const std::string question =
                "Waypoint " + std::string(waypoint.Id()) + " already exists, overwrite ?";
            if (host.Ask("Insert waypoint", question, QuestionButtons::kYesNo) == Answer::kYes) {
                stored = waypoint;
                return 0;
            }
        }
        list.items.push_back(waypoint);
    } catch (const std::bad_alloc&) {
        host.ShowMessage("Insert waypoint", "Waypoint memory allocation");
        return -1;
    }
    return 0;
}

int InstallReadWaypoints(AppState& state, Host& host, std::vector<Waypoint>&& waypoints) {
    const int count = static_cast<int>(waypoints.size());
    WaypointList& list = state.waypoints;
    const bool append = !list.items.empty() &&
                        host.Ask("Read waypoint file", "Append new waypoints to existing list ?",
                                 QuestionButtons::kYesNo) == Answer::kYes;
    if (append) {
        for (const Waypoint& w : waypoints) {
            if (InsertWaypoint(list, host, w) != 0)
                break;
        }
    } else {
        list.items = std::move(waypoints);
        list.items.shrink_to_fit();
    }
    host.SetStatus(StringPrintf("%d waypoints read", count));
    return count;
}

bool ConfirmDiscardUnsaved(const AppState& state, Host& host) {
    const TrackLog& log = state.trackLog;
    if (!log.Loaded() || log.saved || state.automation.has_value())
        return true;
    return host.Ask("Unsaved track log", "Continue without saving current track log ?",
                    QuestionButtons::kYesNo) == Answer::kYes;
}

bool PrepareTrackLogDownload(AppState& state, Host& host) {
    if (RefuseWhenBusy(state, host, "Download track log"))
        return false;
    if (!ConfirmDiscardUnsaved(state, host))
        return false;
    ClearTrackLog(state.trackLog);
    if (!AutomationExits(state))
        host.ShowTrackView();
    return true;
}

}  // namespace tracora
