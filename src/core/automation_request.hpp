// The request one command line (or one remote command) makes: which device job to run and
// what to do with its result.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/gps_types.hpp"

namespace tracora {

// What the request does; the numbers are the ones callers and logs know.
enum class AutomationAction : int {
    kNone = 0,
    kKmlLog = 1,                // KML_LOG: download the track log, save KML
    kOziLog = 2,                // OZI_LOG, RD_LOG: download, save an OziExplorer track
    kIgcLog = 3,                // IGC_LOG: download, save IGC
    kMpsLog = 4,                // MPS_LOG: download, save MapSource
    kReadWaypoints = 5,         // RD_WPT: download waypoints, save OziExplorer waypoints
    kWriteWaypoints = 6,        // WR_WPT: upload a waypoint file
    kWriteWaypointsWithId = 7,  // WR_WPT2: upload, identifier prefixed to the name
    kIgcToKml = 8,              // IGC2KML: convert an IGC file to KML
    kDatToKml = 9,              // DAT2KML: convert a .dat file to KML
    kLogFile = 10,              // LOGFILE or a bare file name: read a track log file
    kCompetitionLog = 11,       // COMP_LOG: download, save a competition log
    kWriteAirspace = 13,        // WR_CTR: upload an OpenAir file
    kWriteUserName = 14,        // USERNAME: upload the user name
    kReadGeoWaypoints = 15,     // RD_GEO_WPT: download waypoints, save Geo waypoints
    kCheckKml = 16,             // CHKKML: check a KML file
    kFlightList = 17,           // FLIGHTLIST: read the instrument's flight list
    kFlybook = 18,              // FLYBOOK: read every flight of a Flytec/Brauniger instrument
                                // and save their Flybook document
};

// The main window's show state; the numbers are those of the window system.
enum class WindowShowState : int { kHidden = 0, kNormal = 5, kMinimized = 6 };

enum class CompetitionFileKind : int { kKml = 0, kIgc = 1 };

// Length limits of the request's texts, in bytes.
inline constexpr std::size_t kPortNameMax = 16;
// A path value may be as long as the system allows a path (PATH_MAX, less its NUL).
inline constexpr std::size_t kFileNameMax = 4095;
inline constexpr std::size_t kPilotNameMax = 80;
inline constexpr std::size_t kGliderIdMax = 20;
inline constexpr std::size_t kNotifyNameMax = 256;

inline constexpr std::size_t kTrackListSize = 20;
inline constexpr int kTimeoutMaxSeconds = 86400;

struct AutomationRequest {
    AutomationAction action = AutomationAction::kNone;
    GpsType gpsType = GpsType::kGarmin;
    // Empty: the configured port. Otherwise "COM3", "\\.\COM12" or a device path.
    std::string portName;
    bool usb = false;
    std::string fileName;  // the file or directory of the action, UTF-8
    bool overwrite = false;
    bool exitWhenDone = false;  // EXIT: close the program when the job is done
    WindowShowState showState = WindowShowState::kNormal;
    std::string pilotName;  // PILOT, or the name USERNAME uploads
    std::string gliderId;   // ID

    // NOTIFY: the name given, and the socket it resolved to when that socket existed at
    // parse time (empty: no notify target). Notifications carry the session number when
    // SESSION was given, else the tick count taken when NOTIFY was parsed.
    std::string notifyName;
    std::string notifySocket;
    std::uint32_t notifyTickMs = 0;
    std::uint32_t sessionNumber = 0;
    bool sessionGiven = false;

    int posX = 0;  // POSX, POSY: where dialogs are placed when both are non-zero
    int posY = 0;

    CompetitionFileKind competitionFileKind = CompetitionFileKind::kKml;
    int competitionId = -1;  // COMPID, -1 = none
    int civlId = -1;         // CIVLID, -1 = none
    // FILTER, FILTEREND: receiver seconds, 0 = none.
    std::uint32_t filterStart = 0;
    std::uint32_t filterStop = 0;
    std::string competitionDir;  // COMP_DIR
    // COMP_FS: the pilot list's database file, and whether the pilot list reader took it.
    std::string flightScoreFile;
    bool pilotListLoaded = false;
    bool compSpecial = false;
    bool noSplit = false;  // NOSPLIT: save whole track logs without the split question
    bool noCheck = false;
    bool powerOff = false;  // PWROFF
    bool noLoopOpt = false;

    int timeoutSeconds = 0;  // 0 to 86400; 0 lets the device layer use its own
    // TRACK: flight-list slots to download, -1 = unused entry.
    std::array<int, kTrackListSize> trackList = [] {
        std::array<int, kTrackListSize> list{};
        list.fill(-1);
        return list;
    }();
    // SENDLOG: seconds of track time between position notifications, 0 = off.
    int sendLogSeconds = 0;

    friend bool operator==(const AutomationRequest&, const AutomationRequest&) = default;
};

}  // namespace tracora
