// tracora-emulate's "ascent" instrument: the Ascent logger emulator with its options.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/ascent/ascent_emulator.hpp"

namespace tracora::protocols::ascent {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// In the order of AscentStep and AscentFault.
constexpr std::string_view kSteps[] = {"product", "list", "log", "erase"};
constexpr std::string_view kFaults[] = {"silence", "bad-id", "block-number", "cut",
                                        "stop",    "stuck",  "header",       "garbage"};

constexpr std::string_view kUsage =
    "  --sectors N           used log sectors the logger reports (default 3)\n"
    "  --fault STEP:FAULT    STEP product, list, log or erase; FAULT silence, bad-id,\n"
    "                        block-number, cut, stop, stuck (erase), header (log),\n"
    "                        garbage\n";

int RunAscentInstrument(EmulatorSession& session) {
    AscentEmulatorConfig config;
    config.slaveFd = session.slaveFd;
    emulate::KitOptions kit;
    if (emulate::ParseOptions("ascent", session.args, kSteps, kFaults,
                              {{"--sectors", config.usedSectors}}, kit) != 0 ||
        !emulate::ConvertFlights("ascent", kit, FlightFromIgc, config.flights))
        return 2;
    config.lineRateBaud = kit.rateBaud;
    std::fprintf(session.log, "ascent: %zu flights, %d used sectors\n", config.flights.size(),
                 config.usedSectors);
    std::fflush(session.log);
    AscentEmulator emulator(session.link, std::move(config), session.log);
    emulator.ArmFaults(kit);
    return emulator.Run() == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "ascent",
    "an Ascent logger at 128,000 baud: product data, track list, flight log memory, erase", kUsage,
    RunAscentInstrument, kFaults};

}  // namespace tracora::protocols::ascent
