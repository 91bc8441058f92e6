// tracora-emulate's "flymaster" instrument: the Flymaster emulator with its options.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/flymaster/flymaster_emulator.hpp"

namespace tracora::protocols::flymaster {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// The answers a fault can hit and the faults, in the order of FlymasterStep and FlymasterFault.
constexpr std::string_view kSteps[] = {"product", "list", "track", "waypoints", "upload"};
constexpr std::string_view kFaults[] = {"silence", "checksum", "garbage", "cut",
                                        "stall",   "stop",     "resend"};

constexpr std::string_view kUsage =
    "  --model NAME[:SW]     model and software version (default F1:1.21); B1NAV is the\n"
    "                        B1 NAV, software 1.14 echoes uploaded names\n"
    "  --serial TEXT         the serial number (default 12345)\n"
    "  --fault STEP:FAULT    STEP product, list, track, waypoints or upload; FAULT silence,\n"
    "                        checksum (a sentence, or a track packet halfway), garbage, cut,\n"
    "                        stall, stop (the answer stops halfway), resend (a track packet\n"
    "                        with a bad checksum, sent again when refused)\n";

int RunFlymasterInstrument(EmulatorSession& session) {
    FlymasterEmulatorConfig config;
    config.waypoints = BuiltInWaypoints();
    std::string model;
    emulate::KitOptions kit;
    if (emulate::ParseOptions("flymaster", session.args, kSteps, kFaults,
                              {{"--model", model}, {"--serial", config.product.serial}},
                              kit) != 0 ||
        !emulate::ConvertFlights("flymaster", kit, FlightFromIgc, config.flights,
                                 "has no date or no fix"))
        return 2;
    if (!model.empty()) {
        emulate::SplitModel(model, config.product.model, config.product.software);
    }
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    std::fprintf(session.log, "flymaster: %s SW%s, %zu flights, %zu waypoints\n",
                 config.product.model.c_str(), config.product.software.c_str(),
                 config.flights.size(), config.waypoints.size());
    std::fflush(session.log);
    FlymasterEmulator emulator(session.link, std::move(config), session.log);
    emulator.ArmFaults(kit);
    const int rc = emulator.Run();
    std::fprintf(session.log, "%llu bytes sent\n",
                 static_cast<unsigned long long>(emulator.BytesSent()));
    for (const std::string& name : emulator.UploadedNames()) {
        std::fprintf(session.log, "uploaded %s\n", name.c_str());
    }
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "flymaster",
    "a Flymaster instrument: product data, flight list, binary track logs, waypoints down and "
    "up, pilot data and power off",
    kUsage, RunFlymasterInstrument, kFaults};

}  // namespace tracora::protocols::flymaster
