// The main window's commands: one constant table of command identifiers, menu texts (with '&'
// mnemonics and, after a tab, the shortcut), the menu that holds them and what they do. The
// window walks the table to build its menus and to dispatch.
#pragma once

#include <span>
#include <string_view>

#include "core/gps_types.hpp"

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
    kAbort,
    kExit,
    kReadTrackLogFile,
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
    kDumpDebug,
    kClearDebug,
    kConvertPosition,
    kCalculateDistance,
    kFlightStatistics,
    kSaveAnimation,
    kSaveRawIgc,
    kConvertIgcToKml,
    kLoopFlightGap,
    kVarioFilter,
    kSpeedFilter,
};

struct Command {
    int id;
    Menu menu;
    std::string_view text;  // "Read &Garmin\tCtrl+G"
    Action action;
    GpsProtocol protocol = GpsProtocol::kGarmin;  // device jobs only
    int parameter = 0;                            // baud rate or variant of a device job
    bool checkable = false;
};

std::span<const Command> CommandTable();
const Command* FindCommand(int id);

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
