// Operations on the current track log and waypoint list: take-over of a download, reading a
// track log file with the backward-time and append rules, the split check, clipboard text,
// rotation, waypoint insertion and the unsaved-track guard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_state.hpp"
#include "core/host.hpp"
#include "core/track_log.hpp"

namespace tracora {

// What a track log download job hands over when it ends.
struct DownloadedTrackLog {
    std::vector<TrackPoint> points;
    int sourceKind = kSourceKindFile;
    int protocol = -1;
    bool timeIsUtc = false;
    bool gRecordEligible = false;
    bool hasPressureAltitude = false;
    std::string productName;
    std::string instrumentDescription;
    std::string productText;
    RawIgcLog rawIgc;  // kept for instruments that deliver IGC text
    std::vector<std::uint8_t> rawProtocolData;
};

// What a track log file reader delivers.
struct TrackReadResult {
    std::vector<TrackPoint> points;
    bool signatureOk = false;
    bool timeIsUtc = false;
    bool hasPressureAltitude = false;
    RawIgcLog rawIgc;  // the IGC reader keeps the file's text
};

// A track log file reader: the whole file's text in, points out. Returns 0 or the count
// read; a negative value after it has shown its own message.
using TrackFileReaderFn =
    std::function<int(Host& host, std::string_view text, TrackReadResult& out)>;

struct TrackFileFormat {
    FileFilter filter;
    TrackFileReaderFn reader;
};

void ClearTrackLog(TrackLog& log);

// The completion of a track log download: installs the job's points (applying the download
// filters) unless the job failed, and posts the end-of-job message to the main thread.
// Returns 1 when a new log was installed.
int TakeOverDownloadedTrackLog(AppState& state, Host& host, int jobResult,
                               DownloadedTrackLog&& download);

// Tells the main thread that a device job ended: a command-line request hears of every job; in
// competition mode a track log download also triggers the competition save.
void PostJobEnd(AppState& state, Host& host, bool success, bool trackLogJob);

// Number of points whose time is below the running latest time; the first one's index is
// written to `firstIndex`.
std::size_t CountBackwardTimes(std::span<const TrackPoint> points, std::size_t& firstIndex);
// Keeps the first point and every point not older than the last kept one. Returns the count.
std::size_t RemoveBackwardTimes(std::vector<TrackPoint>& points);
// The safe answer where no one can be asked: removes the points going backwards in time and
// returns what was done in words ("N position(s) going backwards in time removed (the first at
// pos. K)"), or an empty text when every time goes forward.
std::string RemoveBackwardTimesWithNotice(std::vector<TrackPoint>& points);

// "Read track log file": dialog, whole-file read, the reader of the chosen type, then
// InstallReadTrackLog. Returns 1 when a log was installed, 0 when nothing changed.
int ReadTrackLogFile(AppState& state, Host& host, std::span<const TrackFileFormat> formats);
// The part after the reader: backward times, the New Track Log dialog, install.
// Not `interactive` (a command line): no backward-time question, no append question, and the
// signature is not judged.
int InstallReadTrackLog(AppState& state, Host& host, TrackReadResult&& read,
                        bool interactive = true);

// Splits `points` into parts at time gaps and segment starts and lets the user keep some.
// Returns the new count, or 0 when the user cancelled.
std::size_t SplitCheck(AppState& state, Host& host, std::vector<TrackPoint>& points);

// The selected points (indexes into the track log, in list order), split-checked.
// Returns the count, 0 when nothing is selected or cancelled, -1 when memory runs out.
long long CopySelection(AppState& state, Host& host, std::span<const std::size_t> selection,
                        std::vector<TrackPoint>& out);
long long CopyWholeTrackLog(AppState& state, Host& host, std::vector<TrackPoint>& out);

// Speed (km/h) and climb (m/s) over the 60 seconds before points[index].
void RecentSpeedAndClimb(std::span<const TrackPoint> points, std::size_t index, double& speed,
                         double& climb);

// The clipboard text of a list of points, one CR LF line each.
std::string TrackClipboardText(std::span<const TrackPoint> points);

// "Copy track to clip board". `trackViewShown` is false when the list shows something else.
int CopyTrackToClipboard(AppState& state, Host& host, std::span<const std::size_t> selection,
                         bool trackViewShown);

// "Rotate track log": the selection turned so that the typed start lies at 0/0 and the
// typed end due east of it. Returns 1 when the rotated track was installed.
int RotateTrackLog(AppState& state, Host& host, std::span<const std::size_t> selection);

// Adds a waypoint; an existing identifier is overwritten when the user says so.
// Returns 0, or -1 when memory runs out.
int InsertWaypoint(WaypointList& list, Host& host, const Waypoint& waypoint);
// Installs the waypoints of a file: replaces an empty list, else appends or replaces as the
// user says. Returns the number read.
int InstallReadWaypoints(AppState& state, Host& host, std::vector<Waypoint>&& waypoints);

// Asks before a download replaces a track log that was never saved. False: do not go on.
bool ConfirmDiscardUnsaved(const AppState& state, Host& host);
// The checks before a track log download: busy, the unsaved-track guard; then clears the log.
// True when the job may start.
bool PrepareTrackLogDownload(AppState& state, Host& host);

// Texts shared by the commands that touch the store.
inline constexpr std::string_view kBusyGpsDriver = "Busy GPS driver";
inline constexpr std::string_view kIncorrectViewMode = "Incorrect view mode";

}  // namespace tracora
