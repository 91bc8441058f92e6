// tracora-emulate's "logit" instrument: the LogIt / Tracklogger emulator with its options.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/logit/logit_emulator.hpp"

namespace tracora::protocols::logit {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// In the order of LogItStep and LogItFault.
constexpr std::string_view kSteps[] = {"product", "count", "track"};
constexpr std::string_view kFaults[] = {"silence", "checksum", "sequence", "count",
                                        "garbage", "cut",      "stall",    "stop"};

constexpr std::string_view kUsage =
    "  --model NAME[:SW]     model and software (default LOGIT:2.10); TRACKLOGGER answers\n"
    "                        the point count and restarts broken transfers\n"
    "  --user NAME           the user name (default PILOT)\n"
    "  --serial TEXT         the serial number (default 4711)\n"
    "  --fault STEP:FAULT    STEP product, count or track; FAULT silence, checksum,\n"
    "                        sequence, count (17 records), garbage, cut, stall, stop\n";

int RunLogItInstrument(EmulatorSession& session) {
    LogItEmulatorConfig config;
    config.slaveFd = session.slaveFd;
    std::string model;
    emulate::KitOptions kit;
    std::vector<std::vector<TrackPoint>> flights;
    if (emulate::ParseOptions(
            "logit", session.args, kSteps, kFaults,
            {{"--model", model}, {"--user", config.user}, {"--serial", config.serial}}, kit) != 0 ||
        !emulate::ConvertFlights("logit", kit, FlightFromIgc, flights))
        return 2;
    for (const std::vector<TrackPoint>& points : flights) {
        config.points.insert(config.points.end(), points.begin(), points.end());
    }
    if (!model.empty()) {
        emulate::SplitModel(model, config.model, config.version);
    }
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    std::fprintf(session.log, "logit: %s SW%s, %zu points\n", config.model.c_str(),
                 config.version.c_str(), config.points.size());
    std::fflush(session.log);
    LogItEmulator emulator(session.link, std::move(config), session.log);
    emulator.ArmFaults(kit);
    const int rc = emulator.Run();
    for (const std::string& name : emulator.Names()) {
        std::fprintf(session.log, "name %s\n", name.c_str());
    }
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "logit",
    "a LogIt track logger or Tracklogger: product data, point count, binary track log at the "
    "chosen speed with restarts, erase and user name",
    kUsage, RunLogItInstrument, kFaults};

}  // namespace tracora::protocols::logit
