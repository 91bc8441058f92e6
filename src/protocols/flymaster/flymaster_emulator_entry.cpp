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
    emulate::KitOptions kit;
    if (emulate::ParseKitOptions("flymaster", session.args, kSteps, kFaults, kit) != 0)
        return 2;
    for (std::size_t i = 0; i < kit.igcTexts.size(); ++i) {
        StoredFlight flight;
        if (!FlightFromIgc(kit.igcTexts[i], flight)) {
            std::fprintf(stderr, "tracora-emulate flymaster: %s has no date or no fix\n",
                         kit.igcPaths[i].c_str());
            return 2;
        }
        config.flights.push_back(std::move(flight));
    }
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    const std::vector<std::string>& args = kit.rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--model" && hasValue) {
            emulate::SplitModel(args[++i], config.product.model, config.product.software);
        } else if (arg == "--serial" && hasValue) {
            config.product.serial = args[++i];
        } else {
            std::fprintf(stderr, "tracora-emulate flymaster: unknown option '%s'\n", arg.c_str());
            return 2;
        }
    }
    std::fprintf(session.log, "flymaster: %s SW%s, %zu flights, %zu waypoints\n",
                 config.product.model.c_str(), config.product.software.c_str(),
                 config.flights.size(), config.waypoints.size());
    std::fflush(session.log);
    FlymasterEmulator emulator(session.link, std::move(config), session.log);
    for (const auto& [step, fault] : kit.faults) {
        emulator.ArmFault(static_cast<FlymasterStep>(step), static_cast<FlymasterFault>(fault));
    }
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
