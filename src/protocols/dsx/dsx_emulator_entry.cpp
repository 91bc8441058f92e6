// tracora-emulate's "dsx" instrument: the DSX flight recorder emulator with its options.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/dsx/dsx_emulator.hpp"

namespace tracora::protocols::dsx {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// In the order of DsxStep and DsxFault.
constexpr std::string_view kSteps[] = {"connect", "list", "flight", "field"};
constexpr std::string_view kFaults[] = {"silence", "garbled", "cut", "stop", "garbage"};

constexpr std::string_view kUsage =
    "  --first-track N      the track number of the first flight (default 1)\n"
    "  --fault STEP:FAULT   STEP connect, list, flight or field; FAULT silence, garbled (a\n"
    "                       connection answer other than the recorder's, a list line with a\n"
    "                       two-digit number), cut, stop (the answer stops halfway),\n"
    "                       garbage (line noise before the answer)\n";

int RunDsxInstrument(EmulatorSession& session) {
    DsxEmulatorConfig config;
    emulate::KitOptions kit;
    if (emulate::ParseOptions("dsx", session.args, kSteps, kFaults,
                              {{"--first-track", config.firstNumber}}, kit) != 0)
        return 2;
    config.flights = std::move(kit.igcTexts);
    config.lineRateBaud = kit.rateBaud;
    std::fprintf(session.log, "dsx: %zu flights\n", config.flights.size());
    std::fflush(session.log);
    DsxEmulator emulator(session.link, std::move(config), session.log);
    emulator.ArmFaults(kit);
    const int rc = emulator.Run();
    for (const std::string& field : emulator.Fields()) {
        std::fprintf(session.log, "field %s\n", field.c_str());
    }
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "dsx", "a DSX flight recorder: flight list, IGC flights, pilot data fields", kUsage,
    RunDsxInstrument, kFaults};

}  // namespace tracora::protocols::dsx
