// tracora-emulate's "digifly" instrument: the Digifly Air / Leonardo Pro emulator with its
// options.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/digifly/digifly_emulator.hpp"

namespace tracora::protocols::digifly {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// The answers a fault can hit and the faults, in the order of DigiflyStep and DigiflyFault.
constexpr std::string_view kSteps[] = {"product", "list", "track", "waypoints", "write"};
constexpr std::string_view kFaults[] = {"silence", "garbage", "cut",   "checksum",
                                        "stall",   "stop",    "count", "end"};

// A fault of a memory step hits its third answer, in the middle of the transfer.
constexpr int kMemoryFaultSkip = 2;

constexpr std::string_view kUsage =
    "  --model TEXT[:SW]     product text and software version (default \"DIGIFLY AIR\":2.14)\n"
    "  --serial TEXT         serial number (default 10457)\n"
    "  --user NAME           user name (default PILOT)\n"
    "  --comp-wpts           the built-in waypoints in the competition list too\n"
    "  --fault STEP:FAULT    STEP product, list, track, waypoints or write; FAULT silence,\n"
    "                        garbage, cut, checksum, stall, stop, count (a memory answer one\n"
    "                        byte short, a list count one too high), end (list: end addresses\n"
    "                        beyond their pages); silence on write: a missing write answer\n";

int RunDigiflyInstrument(EmulatorSession& session) {
    DigiflyEmulatorConfig config;
    config.userWaypoints = BuiltInWaypoints();
    config.slaveFd = session.slaveFd;
    bool compWaypoints = false;
    emulate::KitOptions kit;
    const std::vector<emulate::Option> own = {
        {"--model",
         [&](const std::string& value) {
             emulate::SplitModel(value, config.product.product, config.product.software);
             return true;
         }},
        {"--serial", config.product.serial},
        {"--user", config.product.userName},
        {"--comp-wpts", compWaypoints},
    };
    if (emulate::ParseOptions("digifly", session.args, kSteps, kFaults, own, kit) != 0 ||
        !emulate::ConvertFlights("digifly", kit, emulate::FlightFromIgc, config.flights)) {
        return 2;
    }
    if (compWaypoints) {
        config.compWaypoints = BuiltInWaypoints();
    }
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    std::fprintf(session.log, "digifly: %s SW%s, %zu flights, %zu user waypoints\n",
                 config.product.product.c_str(), config.product.software.c_str(),
                 config.flights.size(), config.userWaypoints.size());
    std::fflush(session.log);
    DigiflyEmulator emulator(session.link, std::move(config), session.log);
    for (const auto& [step, fault] : kit.faults) {
        const auto s = static_cast<DigiflyStep>(step);
        const bool memory = s == DigiflyStep::kTrack || s == DigiflyStep::kWaypoints;
        emulator.ArmFault(s, static_cast<DigiflyFault>(fault), memory ? kMemoryFaultSkip : 0);
    }
    const int rc = emulator.Run();
    std::fprintf(session.log, "%llu bytes sent\n",
                 static_cast<unsigned long long>(emulator.BytesSent()));
    for (const auto& [slot, waypoint] : emulator.StoredWaypoints(false)) {
        std::fprintf(session.log, "user waypoint %d: %s\n", slot,
                     std::string(waypoint.Id()).c_str());
    }
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "digifly",
    "a Digifly Air or Leonardo Pro: product data, flight list, track and waypoint memory read "
    "in pages, waypoint memory written",
    kUsage, RunDigiflyInstrument, kFaults};

}  // namespace tracora::protocols::digifly
