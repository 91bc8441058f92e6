#include "app/command_table.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "protocols/dispatch_table.hpp"

namespace tracora::app {

namespace {

using A = Action;
using M = Menu;
using P = GpsProtocol;
using device::AccessFunction;

constexpr DeviceJob ReadLog(GpsProtocol protocol, int parameter = 0) {
    return {AccessFunction::kReadTrackLog, protocol, parameter};
}
constexpr DeviceJob ReadWaypoints(GpsProtocol protocol, int parameter = 0) {
    return {AccessFunction::kReadWaypoints, protocol, parameter};
}
constexpr DeviceJob WriteWaypoints(GpsProtocol protocol, int parameter = 0) {
    return {AccessFunction::kWriteWaypoints, protocol, parameter};
}
constexpr DeviceJob EraseLog(GpsProtocol protocol, int parameter) {
    return {AccessFunction::kEraseTrackLogs, protocol, parameter};
}
constexpr DeviceJob WritePilotData(GpsProtocol protocol) {
    return {AccessFunction::kWritePilotData, protocol, 0};
}
constexpr DeviceJob ReadProductData(GpsProtocol protocol) {
    return {AccessFunction::kReadProductData, protocol, 0};
}
constexpr DeviceJob WriteAirspace(GpsProtocol protocol) {
    return {AccessFunction::kWriteAirspace, protocol, 0};
}
constexpr DeviceJob ReadAirspace(GpsProtocol protocol) {
    return {AccessFunction::kReadAirspace, protocol, 0};
}

// Every command of the window. An instrument command names its device job; whether it can be
// used follows from the dispatch table (see CommandJobWorks), not from this list.
constexpr auto kCommands = std::to_array<Command>({
    // File
    {40117, M::kFile, "&Open log...", A::kReadTrackLogFile},
    {40115, M::kFile, "&Save log (Flybook/.kml)\tCtrl+S", A::kFlightStatistics},
    {40116, M::kFile, "Save log &as...", A::kSaveTrackLogAs},
    {40188, M::kFile, "Save log for animation in GE", A::kSaveAnimation},
    {40043, M::kFile, "Save log in &IGC format\tCtrl+I", A::kWriteIgcFile},
    {40072, M::kFile, "Save IGC log from &GPS", A::kSaveRawIgc},
    {40073, M::kFile, "&Verify IGC log...", A::kVerifyIgc},
    {40139, M::kFile, "Add IGC file to &comp. output", A::kAddIgcToCompOut, {}, true},
    {40047, M::kFile, "Open &waypoints...", A::kReadWaypointFile},
    {40118, M::kFile, "Save waypoin&ts...", A::kSaveWaypoints},
    {40143, M::kFile, "Save pilot list as .csv", A::kSavePilotListCsv},
    {40170, M::kFile, "&Convert .kml files to .igc", A::kConvertKmlToIgc},
    {40171, M::kFile, "Convert .igc files to .kml", A::kConvertIgcToKml},
    {40187, M::kFile, "Set .csv parameters", A::kCsvParameters},
    {40019, M::kFile, "E&xit", A::kExit},

    // Track log downloads
    {40029, M::kReadLog, "Read &Garmin\tCtrl+G", A::kDownloadTrackLog, ReadLog(P::kGarmin)},
    {40075, M::kReadLog, "Read Garmin &USB\tCtrl+U", A::kDownloadTrackLog, ReadLog(P::kGarminUsb)},
    {40054, M::kReadLog, "Read &Compeo/Competino\tCtrl+E", A::kDownloadTrackLog,
     ReadLog(P::kFlytec)},
    {40085, M::kReadLog, "Read Flytec 50xx/60xx\tCtrl+F", A::kDownloadTrackLog,
     ReadLog(P::kFlytec)},
    {40119, M::kReadLog, "Read all &IQ Tracks", A::kDownloadTrackLog, ReadLog(P::kReadAllFlytec)},
    {40120, M::kReadLog, "Read all &Flytec Tracks", A::kDownloadTrackLog,
     ReadLog(P::kReadAllFlytec)},
    {40091, M::kReadLog, "Read XC Trainer (MXP at 57600)", A::kDownloadTrackLog,
     ReadLog(P::kXcTrainerMxp, 57600)},
    {40071, M::kReadLog, "Read XC Trainer (57600)", A::kDownloadTrackLog,
     ReadLog(P::kXcTrainer, 57600)},
    {40090, M::kReadLog, "Read Top Nav (MXP at 57600)", A::kDownloadTrackLog,
     ReadLog(P::kTopNavigatorMxp, 57600)},
    {40039, M::kReadLog, "Read Top Navigator (TNCM)", A::kDownloadTrackLog,
     ReadLog(P::kTopNavigator)},
    {40010, M::kReadLog, "Read Log It (&57600)", A::kDownloadTrackLog, ReadLog(P::kLogIt, 57600)},
    {40011, M::kReadLog, "Read Log It (&38400)", A::kDownloadTrackLog, ReadLog(P::kLogIt, 38400)},
    {40012, M::kReadLog, "Read Log It (&19200)", A::kDownloadTrackLog, ReadLog(P::kLogIt, 19200)},
    {40069, M::kReadLog, "Read Tracklogger (115&200)", A::kDownloadTrackLog,
     ReadLog(P::kLogIt, 115200)},
    {40004, M::kReadLog, "Read &MLR\tCtrl+M", A::kDownloadTrackLog, ReadLog(P::kMlr)},
    {40137, M::kReadLog, "Read Leonardo (MLR)\tCtrl+R", A::kDownloadTrackLog,
     ReadLog(P::kMlrTrackReader)},
    {40179, M::kReadLog, "Read Leonardo (New)", A::kDownloadTrackLog, ReadLog(P::kLeonardo)},
    {40198, M::kReadLog, "Read Digifly Air", A::kDownloadTrackLog, ReadLog(P::kLeonardo, 1)},
    {40058, M::kReadLog, "Read Graviter (all tracks)", A::kDownloadTrackLog, ReadLog(P::kGraviter)},
    {40065, M::kReadLog, "Read Magella&n (9600)\tCtrl+N", A::kDownloadTrackLog,
     ReadLog(P::kMagellan)},
    {40126, M::kReadLog, "Read Fl&ymaster\tCtrl+Y", A::kDownloadTrackLog, ReadLog(P::kFlymaster)},
    {40148, M::kReadLog, "Read DSX", A::kDownloadTrackLog, ReadLog(P::kDsx)},
    {40193, M::kReadLog, "Read MTK/Pentagram (38400)", A::kDownloadTrackLog,
     ReadLog(P::kMtk, 38400)},
    {40154, M::kReadLog, "Read MTK/Pentagram (115200)", A::kDownloadTrackLog,
     ReadLog(P::kMtk, 115200)},
    {40155, M::kReadLog, "Read IQ Basic / Flytec 6015", A::kDownloadTrackLog, ReadLog(P::kIqBasic)},
    {40196, M::kReadLog, "Read Ascent", A::kDownloadTrackLog, ReadLog(P::kAscent)},
    {40204, M::kReadLog, "Read Syride SYS'Nav", A::kDownloadTrackLog, ReadLog(P::kSyride)},

    // Waypoint downloads
    {40027, M::kReadWaypoints, "Garmin (RS232)", A::kDownloadWaypoints, ReadWaypoints(P::kGarmin)},
    {40078, M::kReadWaypoints, "Garmin (USB)", A::kDownloadWaypoints, ReadWaypoints(P::kGarminUsb)},
    {40055, M::kReadWaypoints, "Compeo/Competino", A::kDownloadWaypoints,
     ReadWaypoints(P::kFlytec)},
    {40086, M::kReadWaypoints, "Flytec 50xx/60xx", A::kDownloadWaypoints,
     ReadWaypoints(P::kFlytec)},
    {40158, M::kReadWaypoints, "IQ Basic / Flytec 6015", A::kDownloadWaypoints,
     ReadWaypoints(P::kIqBasic)},
    {40033, M::kReadWaypoints, "MLR (NMEA)", A::kDownloadWaypoints, ReadWaypoints(P::kMlr)},
    {40150, M::kReadWaypoints, "MLR (fast)", A::kDownloadWaypoints, ReadWaypoints(P::kMlrFast)},
    {40066, M::kReadWaypoints, "Magellan", A::kDownloadWaypoints, ReadWaypoints(P::kMagellan)},
    {40053, M::kReadWaypoints, "Top Navigator", A::kDownloadWaypoints,
     ReadWaypoints(P::kTopNavigator)},
    {40076, M::kReadWaypoints, "XC Trainer", A::kDownloadWaypoints, ReadWaypoints(P::kXcTrainer)},
    {40167, M::kReadWaypoints, "Flymaster", A::kDownloadWaypoints, ReadWaypoints(P::kFlymaster)},
    {40205, M::kReadWaypoints, "Syride SYS'Nav", A::kDownloadWaypoints, ReadWaypoints(P::kSyride)},
    {40181, M::kReadWaypoints, "Leonardo Pro (user)", A::kDownloadWaypoints,
     ReadWaypoints(P::kLeonardo)},
    {40186, M::kReadWaypoints, "Leonardo Pro (comp.)", A::kDownloadWaypoints,
     ReadWaypoints(P::kLeonardo, 2)},
    {40199, M::kReadWaypoints, "Digifly Air (user)", A::kDownloadWaypoints,
     ReadWaypoints(P::kLeonardo, 1)},
    {40200, M::kReadWaypoints, "Digifly Air (comp.)", A::kDownloadWaypoints,
     ReadWaypoints(P::kLeonardo, 3)},

    // Waypoint uploads
    {40021, M::kWriteWaypoints, "Garmin (RS232)", A::kUploadWaypoints, WriteWaypoints(P::kGarmin)},
    {40022, M::kWriteWaypoints, "Garmin (USB)", A::kUploadWaypoints, WriteWaypoints(P::kGarminUsb)},
    {40007, M::kWriteWaypoints, "MLR", A::kUploadWaypoints, WriteWaypoints(P::kMlr)},
    {40008, M::kWriteWaypoints, "Magellan", A::kUploadWaypoints, WriteWaypoints(P::kMagellan)},
    {40009, M::kWriteWaypoints, "Top Navigator", A::kUploadWaypoints,
     WriteWaypoints(P::kTopNavigator)},
    {40013, M::kWriteWaypoints, "XC Trainer", A::kUploadWaypoints, WriteWaypoints(P::kXcTrainer)},
    {40138, M::kWriteWaypoints, "MLR (Leonardo)", A::kUploadWaypoints,
     WriteWaypoints(P::kMlrTrackReader)},
    {40206, M::kWriteWaypoints, "Syride SYS'Nav", A::kUploadWaypoints, WriteWaypoints(P::kSyride)},
    {40018, M::kWriteWaypoints, "Compeo/Competino (Only Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlytec)},
    {40023, M::kWriteWaypoints, "Flytec 50xx/60xx (Only Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlytec)},
    {40159, M::kWriteWaypoints, "IQ Basic / Flytec 6015 (Only Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kIqBasic)},
    {40163, M::kWriteWaypoints, "Flymaster (Only Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlymaster)},
    {40096, M::kWriteWaypoints, "Compeo/Competino (ID+Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlytec)},
    {40097, M::kWriteWaypoints, "Flytec 50xx/60xx (ID+Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlytec)},
    {40162, M::kWriteWaypoints, "IQ Basic / Flytec 6015 (ID+Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kIqBasic)},
    {40164, M::kWriteWaypoints, "Flymaster (ID+Name)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlymaster)},
    {40134, M::kWriteWaypoints, "Compeo/Competino (Only ID)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlytec)},
    {40135, M::kWriteWaypoints, "Flytec 50xx/60xx (Only ID)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlytec)},
    {40161, M::kWriteWaypoints, "IQ Basic / Flytec 6015 (OnlyID)", A::kUploadWaypoints,
     WriteWaypoints(P::kIqBasic)},
    {40165, M::kWriteWaypoints, "Flymaster (Only ID)", A::kUploadWaypoints,
     WriteWaypoints(P::kFlymaster)},
    {40182, M::kWriteWaypoints, "Leonardo Pro (user)", A::kUploadWaypoints,
     WriteWaypoints(P::kLeonardo)},
    {40184, M::kWriteWaypoints, "Leonardo Pro (comp.)", A::kUploadWaypoints,
     WriteWaypoints(P::kLeonardo, 2)},
    {40201, M::kWriteWaypoints, "Digifly Air (user)", A::kUploadWaypoints,
     WriteWaypoints(P::kLeonardo, 1)},
    {40202, M::kWriteWaypoints, "Digifly Air (comp.)", A::kUploadWaypoints,
     WriteWaypoints(P::kLeonardo, 3)},
    {40017, M::kWriteWaypoints, "Send waypoints as Garmin log (RS232)", A::kNotAvailable},
    {40092, M::kWriteWaypoints, "Send waypoints as Garmin log (USB)", A::kNotAvailable},
    {40144, M::kWriteWaypoints, "Power off after transfer", A::kNotAvailable, {}, true},
    {40142, M::kWriteWaypoints, "USB && comp. mode: Check wpts", A::kUsbCheckWaypoints, {}, true},

    // Airspace
    {40100, M::kAirspace, "Read OpenAir file...", A::kReadCtrFile},
    {40108, M::kAirspace, "Write OpenAir file (with arcs)...", A::kWriteCtrOpenAir},
    {40195, M::kAirspace, "Write OpenAir file (without arcs)...", A::kWriteCtrNoArcs},
    {40104, M::kAirspace, "Edit CTR...", A::kEditCtr},
    {40105, M::kAirspace, "New CTR...", A::kNewCtr},
    {40111, M::kAirspace, "Delete CTR", A::kDeleteCtr},
    {40190, M::kAirspace, "Segment accuracy...", A::kSegmentAccuracy},
    {40112, M::kAirspace, "Show CTR as waypoints", A::kShowCtrAsWaypoints},
    {40149, M::kAirspace, "Write CTR as GPX...", A::kWriteCtrGpx},
    {40189, M::kAirspace, "Write map script file...", A::kWriteCtrMapScript},
    {40098, M::kAirspace, "Send CTR to Compeo/Competino", A::kUploadCtr, WriteAirspace(P::kFlytec)},
    {40099, M::kAirspace, "Send CTR to Flytec 50xx/60xx", A::kUploadCtr, WriteAirspace(P::kFlytec)},
    {40106, M::kAirspace, "Send CTR to Garmin (RS232) as log", A::kUploadCtr,
     WriteAirspace(P::kGarmin)},
    {40107, M::kAirspace, "Send CTR to Garmin (USB) as log", A::kUploadCtr,
     WriteAirspace(P::kGarminUsb)},
    {40109, M::kAirspace, "Read CTR from Compeo/Competino", A::kDownloadCtr,
     ReadAirspace(P::kFlytec)},
    {40110, M::kAirspace, "Read CTR from Flytec 50xx/60xx", A::kDownloadCtr,
     ReadAirspace(P::kFlytec)},

    // Edit: the lists
    {40038, M::kEdit, "&New waypoint...", A::kWaypointNew},
    {40030, M::kEdit, "&Edit waypoint...", A::kWaypointEdit},
    {40031, M::kEdit, "&Delete waypoint(s)", A::kWaypointDelete},
    {40042, M::kEdit, "Select &all", A::kSelectAll},
    {40083, M::kEdit, "&Copy track to clip board\tCtrl+C", A::kCopyTrack},
    {40124, M::kEdit, "&Rotate track log...", A::kRotateTrack},
    {40032, M::kEdit, "Convert &Position", A::kConvertPosition},
    {40028, M::kEdit, "&Calculate distance\tCtrl+Alt+D", A::kCalculateDistance},

    // Instrument maintenance
    {40197, M::kInstrument, "Erase Ascent", A::kEraseLog, EraseLog(P::kAscent, 0)},
    {40014, M::kInstrument, "&Erase LogIt track", A::kEraseLog, EraseLog(P::kLogIt, 0)},
    {40015, M::kInstrument, "Write LogIt &Name", A::kLogItName, WritePilotData(P::kLogIt)},
    {40016, M::kInstrument, "Read LogIt &Data", A::kLogItProductData, ReadProductData(P::kLogIt)},
    {40156, M::kInstrument, "Erase MTK (115200)", A::kEraseLog, EraseLog(P::kMtk, 115200)},
    {40194, M::kInstrument, "Erase MTK (38400)", A::kEraseLog, EraseLog(P::kMtk, 38400)},
    {40166, M::kInstrument, "Flymaster IDs...", A::kFlymasterIds, WritePilotData(P::kFlymaster)},
    {40145, M::kInstrument, "Flymaster name...", A::kFlymasterName, WritePilotData(P::kFlymaster)},
    {40157, M::kInstrument, "Flymaster altitude alarm...", A::kFlymasterAltitudeAlarm,
     WritePilotData(P::kFlymaster)},
    {40146, M::kInstrument, "Power off after log read", A::kFlymasterPowerOff, {}, true},
    {40153, M::kInstrument, "DSX pilot data...", A::kDsxPilotData, WritePilotData(P::kDsx)},
    {40185, M::kInstrument, "UTC offset for Top Navigator...", A::kUtcOffsetForTn},

    // Analysis
    {40095, M::kAnalysis, "&OLC statistics (use IGC buffer)", A::kOlcIgcBuffer},
    {40094, M::kAnalysis, "OLC statistics (use selected pos.)", A::kOlcSelection},
    {40175, M::kAnalysis, "Show vario", A::kShowVario},
    {40176, M::kAnalysis, "Show glide", A::kShowGlide},
    {40178, M::kAnalysis, "Show polar", A::kShowPolar},
    {40177, M::kAnalysis, "Set intervals...", A::kCurveIntervals},

    // Options
    {40006, M::kOptions, "Set &COM port", A::kSetComPort},
    {40121, M::kOptions, "Competition &Mode", A::kCompetitionMode, {}, true},
    {40130, M::kOptions, "Compact title", A::kCompactTitle, {}, true},
    {40203, M::kOptions, "FTP...", A::kSendFtp},
    {40173, M::kOptions, "Server...", A::kServer},
    {40151, M::kOptions, "Loop flight gap...", A::kLoopFlightGap},
    {40136, M::kOptions, "Track gap time...", A::kTrackGapTime},
    {40088, M::kOptions, "Track log filter (&speed analysis)", A::kSpeedFilter, {}, true},
    {40172, M::kOptions, "Set vario filter (&height analysis)", A::kVarioFilter, {}, true},
    {40191, M::kOptions, "Timestamp filter (&time analysis)", A::kTimestampFilter, {}, true},
    {40192, M::kOptions, "Use filter(s) during download", A::kDownloadFilter, {}, true},

    // View
    {40025, M::kView, "&Track log\tCtrl+1", A::kViewTrackLog},
    {40024, M::kView, "&Waypoints\tCtrl+2", A::kViewWaypoints},
    {40129, M::kView, "&Pilot list\tCtrl+3", A::kViewPilots},
    {40101, M::kView, "&Airspace\tCtrl+4", A::kViewAirspace},
    {1018, M::kView, "&UTM", A::kUtm},
    {40141, M::kView, "&Show track", A::kShowTrack},
    {40131, M::kView, "Small list\tCtrl+Alt+0", A::kListSmall},
    {40132, M::kView, "Default list\tCtrl+Alt+1", A::kListDefault},
    {40133, M::kView, "Large list\tCtrl+Alt+2", A::kListLarge},
    {40174, M::kView, "List &font...", A::kListFont},

    // Help
    {40005, M::kHelp, "&About Tracora", A::kAbout},
    {40079, M::kHelp, "Dump debug data...", A::kDumpDebug},
    {40080, M::kHelp, "Clear debug data", A::kClearDebug},

    // Window buttons
    {1102, M::kNone, "&Abort transfer", A::kAbort},
    {1315, M::kNone, "Save log\n(Flight &Data)", A::kFlightStatistics},
    {1010, M::kNone, "E&xit", A::kExit},
});

constexpr auto kQuickButtons = std::to_array<QuickButton>({
    {40029, "Garmin (RS232)"},
    {40075, "Garmin (USB)"},
    {40054, "Compeo/Competino"},
    {40085, "Flytec 5020/5030"},
    {40091, "XC Trainer (MXP)"},
    {40004, "MLR types"},
    {40198, "Digifly Air"},
    {40126, "Flymaster"},
});

// The Windows line break of the save button's text is a plain line break here.
constexpr auto kWindowButtons = std::to_array<QuickButton>({
    {1315, "Save log\n(Flight &Data)"},
    {1018, "&UTM"},
    {1102, "&Abort transfer"},
    {1010, "E&xit"},
});

}  // namespace

std::span<const Command> CommandTable() {
    return kCommands;
}

const Command* FindCommand(int id) {
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [id](const Command& command) { return command.id == id; });
    return it == kCommands.end() ? nullptr : &*it;
}

bool CommandJobWorks(const Command& command) {
    return !command.job ||
           protocols::HasWorkingRoutine(command.job->function, command.job->protocol);
}

documents::WaypointUploadMode CommandUploadMode(const Command& command) {
    using Mode = documents::WaypointUploadMode;
    struct ModeEntry {
        int id;
        Mode mode;
    };
    static constexpr ModeEntry kModes[] = {
        {40018, Mode::kOnlyName},  {40023, Mode::kOnlyName},  {40159, Mode::kOnlyName},
        {40163, Mode::kOnlyName},  {40096, Mode::kIdAndName}, {40097, Mode::kIdAndName},
        {40162, Mode::kIdAndName}, {40164, Mode::kIdAndName}, {40134, Mode::kOnlyId},
        {40135, Mode::kOnlyId},    {40161, Mode::kOnlyId},    {40165, Mode::kOnlyId},
    };
    for (const ModeEntry& entry : kModes) {
        if (entry.id == command.id) {
            return entry.mode;
        }
    }
    return Mode::kNormal;
}

std::string_view CommandLabel(const Command& command) {
    return command.text.substr(0, command.text.find('\t'));
}

std::string_view CommandShortcut(const Command& command) {
    const std::size_t tab = command.text.find('\t');
    return tab == std::string_view::npos ? std::string_view{} : command.text.substr(tab + 1);
}

std::string CommandTitle(const Command& command) {
    switch (command.action) {
        case Action::kDownloadTrackLog:
            return "Download track log";
        case Action::kDownloadWaypoints:
            return "Download waypoints";
        default:
            break;
    }
    std::string title;
    for (char c : CommandLabel(command)) {
        if (c == '&') {
            continue;
        }
        title += c == '\n' ? ' ' : c;
    }
    while (!title.empty() && title.back() == '.') {
        title.pop_back();
    }
    return title;
}

std::span<const QuickButton> QuickButtons() {
    return kQuickButtons;
}

std::span<const QuickButton> WindowButtons() {
    return kWindowButtons;
}

std::string_view MenuTitle(Menu menu) {
    switch (menu) {
        case Menu::kFile:
            return "&File";
        case Menu::kReadLog:
            return "Read &Log";
        case Menu::kReadWaypoints:
            return "Read &Wpts";
        case Menu::kWriteWaypoints:
            return "Wri&te Wpts";
        case Menu::kAirspace:
            return "&CTR";
        case Menu::kEdit:
            return "&Edit";
        case Menu::kInstrument:
            return "&Instrument";
        case Menu::kAnalysis:
            return "A&nalysis";
        case Menu::kOptions:
            return "&Options";
        case Menu::kView:
            return "&View";
        case Menu::kHelp:
            return "&Help";
        case Menu::kNone:
            break;
    }
    return {};
}

}  // namespace tracora::app
