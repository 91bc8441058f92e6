// tracora-emulate's "iqbasic" instrument: the IQ Basic / Flytec 6015 emulator with its options.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/iqbasic/iqbasic_emulator.hpp"

namespace tracora::protocols::iqbasic {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// In the order of IqStep and IqFault.
constexpr std::string_view kSteps[] = {"product", "list", "track", "waypoints", "upload"};
constexpr std::string_view kFaults[] = {"silence", "garbage", "cut", "stall", "stop", "no-done"};

constexpr std::string_view kUsage =
    "  --type 6015|IQ       the device type (default IQ, the IQ Basic)\n"
    "  --serial N           the serial number (default 1137)\n"
    "  --first-track N      the device number of the first flight (default 1)\n"
    "  --fault STEP:FAULT   STEP product, list, track, waypoints or upload; FAULT silence,\n"
    "                       garbage, cut, stall, stop, no-done (an upload answered without\n"
    "                       \" Done\", a waypoint list without its \"Done\")\n";

int RunIqInstrument(EmulatorSession& session) {
    IqEmulatorConfig config;
    config.waypointLines = BuiltInWaypointLines();
    std::string type;
    const auto serial = [&config](const std::string& value) {
        config.product.serial =
            static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        return true;
    };
    int firstNumber = static_cast<int>(config.firstNumber);
    emulate::KitOptions kit;
    if (emulate::ParseOptions(
            "iqbasic", session.args, kSteps, kFaults,
            {{"--type", type}, {"--serial", serial}, {"--first-track", firstNumber}}, kit) != 0)
        return 2;
    if (!type.empty()) {
        config.product.type = type == "6015" ? 0 : 1;
    }
    config.firstNumber = static_cast<unsigned>(firstNumber);
    config.flights = std::move(kit.igcTexts);
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    std::fprintf(session.log, "iqbasic: %s, %zu flights\n",
                 DeviceIdentifier(config.product).c_str(), config.flights.size());
    std::fflush(session.log);
    IqEmulator emulator(session.link, std::move(config), session.log);
    emulator.ArmFaults(kit);
    const int rc = emulator.Run();
    for (const std::string& line : emulator.Uploads()) {
        std::fprintf(session.log, "uploaded %s\n", line.c_str());
    }
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "iqbasic",
    "an IQ Basic or Flytec 6015: product data, track list, IGC track logs, waypoints down and up",
    kUsage, RunIqInstrument, kFaults};

}  // namespace tracora::protocols::iqbasic
