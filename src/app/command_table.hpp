// The main window's commands: one constant table of command identifiers, menu texts (with '&'
// mnemonics and, after a tab, the shortcut), the menu that holds them, what they do and, for
// an instrument command, the device job it starts. The window walks the table to build its
// menus; its handler table says how each action is carried out.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/gps_types.hpp"
#include "device/gps_job.hpp"
#include "documents/waypoint_commands.hpp"

namespace tracora::app {

enum class Menu {
    kNone,  // a window button only
    kFile,
    kReadLog,
    kReadWaypoints,
    kWriteWaypoints,
    kAirspace,
    kEdit,
    kInstrument,
    kAnalysis,
    kOptions,
    kView,
    kHelp,
};

enum class Action {
    kNotAvailable,  // the feature does not exist yet: shown disabled
    kDownloadTrackLog,
    kDownloadWaypoints,
    kUploadWaypoints,
    kEraseLog,  // instrument maintenance: the job erases the instrument's log memory
    kCompetitionMode,
    kFlymasterPowerOff,  // "Pwr off after log read": flips FlymasterPwrOff
    kUsbCheckWaypoints,  // a competition download over USB scans the waypoints first
    // The instrument settings dialogs and the jobs that send what they hold.
    kFlymasterIds,
    kFlymasterName,
    kFlymasterAltitudeAlarm,
    kDsxPilotData,
    // The LogIt's user name ("Write GPS name") and its product data ("Product Data").
    kLogItName,
    kLogItProductData,
    kAbort,
    kExit,
    kReadTrackLogFile,
    kReadWaypointFile,
    kSaveWaypoints,
    kReadCtrFile,
    kWriteCtrOpenAir,
    kWriteCtrNoArcs,
    kWriteCtrGpx,
    kWriteCtrMapScript,
    kDeleteCtr,
    kShowCtrAsWaypoints,
    kUploadCtr,
    kDownloadCtr,
    kEditCtr,
    kNewCtr,
    kSegmentAccuracy,
    kWriteIgcFile,
    kVerifyIgc,
    kWaypointNew,
    kWaypointEdit,
    kWaypointDelete,
    kSelectAll,
    kCopyTrack,
    kRotateTrack,
    kSetComPort,
    kTrackGapTime,
    kTimestampFilter,
    kDownloadFilter,
    kCompactTitle,
    kViewTrackLog,
    kViewWaypoints,
    kViewPilots,
    kViewAirspace,
    kUtm,
    kShowTrack,
    kListSmall,
    kListDefault,
    kListLarge,
    kListFont,
    kAbout,
    kUtcOffsetForTn,
    kDumpDebug,
    kClearDebug,
    kConvertPosition,
    kCalculateDistance,
    kFlightStatistics,
    kSaveAnimation,
    kSaveRawIgc,
    kConvertIgcToKml,
    kConvertKmlToIgc,
    kLoopFlightGap,
    kVarioFilter,
    kSpeedFilter,
    kOlcIgcBuffer,
    kOlcSelection,
    kServer,
    kSendFtp,
    kShowVario,
    kShowGlide,
    kShowPolar,
    kCurveIntervals,
    kSaveTrackLogAs,
    kCsvParameters,
    kAddIgcToCompOut,
    kSavePilotListCsv,
};

// The device job an instrument command starts: what it does, with which instrument family,
// and the baud rate or variant.
struct DeviceJob {
    device::AccessFunction function = device::AccessFunction::kReadTrackLog;
    GpsProtocol protocol = GpsProtocol::kGarmin;
    int parameter = 0;
};

struct Command {
    int id;
    Menu menu;
    std::string_view text;  // "Read &Garmin\tCtrl+G"
    Action action;
    std::optional<DeviceJob> job = std::nullopt;  // instrument commands only
    bool checkable = false;
};

std::span<const Command> CommandTable();
const Command* FindCommand(int id);

// Whether the command's device job has a routine that really talks to the instrument (true
// for a command without a job). The window offers an instrument command only then.
bool CommandJobWorks(const Command& command);

// What a waypoint upload command puts into the waypoints' names (the items ending "(Only Name)",
// "(ID+Name)", "(Only ID)"); normal for every other command.
documents::WaypointUploadMode CommandUploadMode(const Command& command);

// The menu text without the shortcut, and the shortcut ("Ctrl+G") or empty.
std::string_view CommandLabel(const Command& command);
std::string_view CommandShortcut(const Command& command);
// The title of the command's messages: the label without '&' and a trailing "...".
std::string CommandTitle(const Command& command);

// The window's buttons: command and button text.
struct QuickButton {
    int id;
    std::string_view text;
};
std::span<const QuickButton> QuickButtons();
std::span<const QuickButton> WindowButtons();

std::string_view MenuTitle(Menu menu);

// Control identifiers of the window that are not commands.
inline constexpr int kProductTextId = 1098;
inline constexpr int kStatusTextId = 1097;
inline constexpr int kSelectLabelId = 1100;
inline constexpr int kListViewId = 1101;

}  // namespace tracora::app
