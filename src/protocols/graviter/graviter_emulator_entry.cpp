// tracora-emulate's "graviter" instrument: the Graviter emulator with its options.
#include <cstdio>
#include <string>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/graviter/graviter_emulator.hpp"

namespace tracora::protocols::graviter {

extern const emulate::EmulatorEntry kEmulator;

namespace {

// In the order of GraviterStep and GraviterFault.
constexpr std::string_view kSteps[] = {"product", "page", "name"};
constexpr std::string_view kFaults[] = {"silence", "checksum", "garbage", "cut"};

constexpr std::string_view kUsage =
    "  --model NAME[:SW]     model and firmware of the product answer (default G2:1.08)\n"
    "  --serial TEXT         the serial number (default 00417)\n"
    "  --user NAME           the stored pilot name (default TEST PILOT)\n"
    "  --no-baro             record no pressure altitude\n"
    "  --fault STEP:FAULT    STEP product, page or name; FAULT silence, checksum, garbage\n"
    "                        or cut\n";

int RunGraviterInstrument(emulate::EmulatorSession& session) {
    emulate::KitOptions kit;
    if (emulate::ParseKitOptions("graviter", session.args, kSteps, kFaults, kit) != 0)
        return 2;
    GraviterEmulatorConfig config;
    config.lineRateBaud = kit.rateBaud;
    for (std::size_t i = 0; i < kit.igcTexts.size(); ++i) {
        std::vector<TrackPoint> points;
        if (!FlightFromIgc(kit.igcTexts[i], points)) {
            std::fprintf(stderr, "tracora-emulate graviter: %s holds no flight\n",
                         kit.igcPaths[i].c_str());
            return 2;
        }
        config.flights.push_back(std::move(points));
    }
    const std::vector<std::string>& args = kit.rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--model" && hasValue) {
            emulate::SplitModel(args[++i], config.product.model, config.product.firmware);
        } else if (arg == "--serial" && hasValue) {
            config.product.serial = args[++i];
        } else if (arg == "--user" && hasValue) {
            config.product.pilot = args[++i];
        } else if (arg == "--no-baro") {
            config.hasPressureAltitude = false;
        } else {
            std::fprintf(stderr, "tracora-emulate graviter: unknown option '%s'\n", arg.c_str());
            return 2;
        }
    }
    GraviterEmulator emulator(session.link, config, session.log);
    if (!config.flights.empty() && emulator.Image().empty()) {
        std::fprintf(stderr, "tracora-emulate graviter: the flights do not fit the memory\n");
        return 2;
    }
    std::fprintf(session.log, "graviter: %s SN%s SW%s, %zu flights, %zu bytes of memory\n",
                 config.product.model.c_str(), config.product.serial.c_str(),
                 config.product.firmware.c_str(), config.flights.size(), emulator.Image().size());
    std::fflush(session.log);
    for (const auto& [step, fault] : kit.faults)
        emulator.ArmFault(static_cast<GraviterStep>(step), static_cast<GraviterFault>(fault));
    emulator.Run();
    std::fprintf(session.log, "pilot name %s\n", emulator.PilotName().c_str());
    std::fflush(session.log);
    return 0;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "graviter",
    "a Graviter instrument: product data, the track memory (the flights given with --igc), "
    "pilot name upload",
    kUsage, RunGraviterInstrument, kFaults};

}  // namespace tracora::protocols::graviter
