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
    GraviterEmulatorConfig config;
    std::string model;
    bool noBaro = false;
    emulate::KitOptions kit;
    if (emulate::ParseOptions("graviter", session.args, kSteps, kFaults,
                              {{"--model", model},
                               {"--serial", config.product.serial},
                               {"--user", config.product.pilot},
                               {"--no-baro", noBaro}},
                              kit) != 0 ||
        !emulate::ConvertFlights("graviter", kit, FlightFromIgc, config.flights, "holds no flight"))
        return 2;
    if (!model.empty())
        emulate::SplitModel(model, config.product.model, config.product.firmware);
    config.hasPressureAltitude = !noBaro;
    config.lineRateBaud = kit.rateBaud;
    GraviterEmulator emulator(session.link, config, session.log);
    if (!config.flights.empty() && emulator.Image().empty()) {
        std::fprintf(stderr, "tracora-emulate graviter: the flights do not fit the memory\n");
        return 2;
    }
    std::fprintf(session.log, "graviter: %s SN%s SW%s, %zu flights, %zu bytes of memory\n",
                 config.product.model.c_str(), config.product.serial.c_str(),
                 config.product.firmware.c_str(), config.flights.size(), emulator.Image().size());
    std::fflush(session.log);
    emulator.ArmFaults(kit);
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
