// tracora-emulate's "topnav" instrument: a Top Navigator or XC Trainer with its options.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
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
    TopnavEmulatorConfig config;
    config.slaveFd = session.slaveFd;
    const auto model = [&config](const std::string& value) {
        if (value != "tn" && value != "xc") {
            std::fprintf(stderr, "tracora-emulate topnav: the model is tn or xc\n");
            return false;
        }
        config.model = value == "tn" ? TopnavModel::kTopNavigator : TopnavModel::kXcTrainer;
        return true;
    };
    const auto mode = [&config](const std::string& value) {
        constexpr std::pair<std::string_view, TopnavMode> kModes[] = {
            {"mxp", TopnavMode::kMxp},
            {"tncm", TopnavMode::kTncm},
            {"waypoints", TopnavMode::kWaypoints},
            {"receive", TopnavMode::kReceive}};
        for (const auto& [name, chosen] : kModes) {
            if (value == name) {
                config.mode = chosen;
                return true;
            }
        }
        std::fprintf(stderr, "tracora-emulate topnav: unknown mode '%s'\n", value.c_str());
        return false;
    };
    const auto waypoint = [&config](const std::string& value) {
        Waypoint parsed;
        if (!ParseWaypoint(value, parsed)) {
            std::fprintf(stderr, "tracora-emulate topnav: a waypoint is ID:LAT:LON:ALT\n");
            return false;
        }
        config.waypoints.push_back(parsed);
        return true;
    };
    int serial = config.serial;
    emulate::KitOptions kit;
    std::vector<std::vector<TrackPoint>> flights;
    if (emulate::ParseOptions("topnav", session.args, kSteps, kFaults,
                              {{"--model", model},
                               {"--mode", mode},
                               {"--format", config.altitudeFormat},
                               {"--utc-offset", config.utcOffsetSeconds},
                               {"--serial", serial},
                               {"--waypoint", waypoint}},
                              kit) != 0 ||
        !emulate::ConvertFlights("topnav", kit, FlightFromIgc, flights, "holds no flight"))
        return 2;
    if (config.altitudeFormat < 0 || config.altitudeFormat > 2) {
        std::fprintf(stderr, "tracora-emulate topnav: the format is 0, 1 or 2\n");
        return 2;
    }
    for (const std::vector<TrackPoint>& points : flights)
        config.flight.insert(config.flight.end(), points.begin(), points.end());
    config.serial = serial & 0xFFFF;
    config.lineRateBaud = kit.rateBaud;
    TopnavEmulator emulator(session.link, config, session.log);
    std::fprintf(session.log, "topnav: %s, %zu points, %zu waypoints, transfers at %d baud\n",
                 config.model == TopnavModel::kTopNavigator ? "Top Navigator" : "XC Trainer",
                 config.flight.size(), config.waypoints.size(), emulator.TransferBaud());
    std::fflush(session.log);
    emulator.ArmFaults(kit);
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
