// tracora-emulate's "topnav" instrument: a Top Navigator or XC Trainer with its options.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/angles.hpp"
#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/topnav/topnav_emulator.hpp"

namespace tracora::protocols::topnav {

extern const emulate::EmulatorEntry kEmulator;

namespace {

// In the order of TopnavStep and TopnavFault.
constexpr std::string_view kSteps[] = {"start", "line", "end"};
constexpr std::string_view kFaults[] = {"silence", "garbage", "cut", "short", "checksum", "stop"};

constexpr std::string_view kUsage =
    "  --model tn|xc         Top Navigator or XC Trainer (default xc)\n"
    "  --mode MODE           mxp (default), tncm (the block log), waypoints (sends the list),\n"
    "                        receive (takes an upload)\n"
    "  --format 0|1|2        altitudes: pressure, GPS, both (default 2)\n"
    "  --utc-offset SECONDS  the unit's local time minus UTC (default 0)\n"
    "  --serial N            the serial number (default 4660)\n"
    "  --waypoint ID:LAT:LON:ALT  a waypoint of the list (degrees, metres; repeatable)\n"
    "  --fault STEP:FAULT    STEP start, line or end; FAULT silence, garbage, cut, short,\n"
    "                        checksum or stop (stops before the end marker)\n"
    "  The unit starts sending once a session opens the port at the transfer's speed.\n";

bool ParseWaypoint(const std::string& text, Waypoint& out) {
    const std::size_t a = text.find(':');
    const std::size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    const std::size_t c = b == std::string::npos ? b : text.find(':', b + 1);
    if (c == std::string::npos)
        return false;
    out.SetId(text.substr(0, a));
    out.latitude = DegreesToSemicircles(std::atof(text.substr(a + 1, b - a - 1).c_str()));
    out.longitude = DegreesToSemicircles(std::atof(text.substr(b + 1, c - b - 1).c_str()));
    out.altitude = std::atoi(text.substr(c + 1).c_str());
    return true;
}

int RunTopnavInstrument(emulate::EmulatorSession& session) {
    emulate::KitOptions kit;
    if (emulate::ParseKitOptions("topnav", session.args, kSteps, kFaults, kit) != 0)
        return 2;
    TopnavEmulatorConfig config;
    config.lineRateBaud = kit.rateBaud;
    config.slaveFd = session.slaveFd;
    for (std::size_t i = 0; i < kit.igcTexts.size(); ++i) {
        std::vector<TrackPoint> points;
        if (!FlightFromIgc(kit.igcTexts[i], points)) {
            std::fprintf(stderr, "tracora-emulate topnav: %s holds no flight\n",
                         kit.igcPaths[i].c_str());
            return 2;
        }
        config.flight.insert(config.flight.end(), points.begin(), points.end());
    }
    const std::vector<std::string>& args = kit.rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--model" && hasValue && (args[i + 1] == "tn" || args[i + 1] == "xc")) {
            config.model = args[++i] == "tn" ? TopnavModel::kTopNavigator : TopnavModel::kXcTrainer;
        } else if (arg == "--mode" && hasValue) {
            const std::string& mode = args[++i];
            if (mode == "mxp") {
                config.mode = TopnavMode::kMxp;
            } else if (mode == "tncm") {
                config.mode = TopnavMode::kTncm;
            } else if (mode == "waypoints") {
                config.mode = TopnavMode::kWaypoints;
            } else if (mode == "receive") {
                config.mode = TopnavMode::kReceive;
            } else {
                std::fprintf(stderr, "tracora-emulate topnav: unknown mode '%s'\n", mode.c_str());
                return 2;
            }
        } else if (arg == "--format" && hasValue) {
            config.altitudeFormat = std::atoi(args[++i].c_str());
            if (config.altitudeFormat < 0 || config.altitudeFormat > 2) {
                std::fprintf(stderr, "tracora-emulate topnav: the format is 0, 1 or 2\n");
                return 2;
            }
        } else if (arg == "--utc-offset" && hasValue) {
            config.utcOffsetSeconds = std::atoi(args[++i].c_str());
        } else if (arg == "--serial" && hasValue) {
            config.serial = std::atoi(args[++i].c_str()) & 0xFFFF;
        } else if (arg == "--waypoint" && hasValue) {
            Waypoint waypoint;
            if (!ParseWaypoint(args[++i], waypoint)) {
                std::fprintf(stderr, "tracora-emulate topnav: a waypoint is ID:LAT:LON:ALT\n");
                return 2;
            }
            config.waypoints.push_back(waypoint);
        } else {
            std::fprintf(stderr, "tracora-emulate topnav: unknown option '%s'\n", arg.c_str());
            return 2;
        }
    }
    TopnavEmulator emulator(session.link, config, session.log);
    std::fprintf(session.log, "topnav: %s, %zu points, %zu waypoints, transfers at %d baud\n",
                 config.model == TopnavModel::kTopNavigator ? "Top Navigator" : "XC Trainer",
                 config.flight.size(), config.waypoints.size(), emulator.TransferBaud());
    std::fflush(session.log);
    for (const auto& [step, fault] : kit.faults)
        emulator.ArmFault(static_cast<TopnavStep>(step), static_cast<TopnavFault>(fault));
    emulator.Run();
    return 0;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "topnav",
    "a Top Navigator or XC Trainer: pushes the flight given with --igc (MXP or block log) or "
    "a waypoint list once the port opens, or takes a waypoint upload",
    kUsage, RunTopnavInstrument, kFaults};

}  // namespace tracora::protocols::topnav
