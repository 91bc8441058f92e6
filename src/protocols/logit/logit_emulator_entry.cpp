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
    emulate::KitOptions kit;
    if (emulate::ParseKitOptions("logit", session.args, kSteps, kFaults, kit) != 0)
        return 2;
    for (std::size_t i = 0; i < kit.igcTexts.size(); ++i) {
        std::vector<TrackPoint> points;
        if (!FlightFromIgc(kit.igcTexts[i], points)) {
            std::fprintf(stderr, "tracora-emulate logit: %s has no fix\n", kit.igcPaths[i].c_str());
            return 2;
        }
        config.points.insert(config.points.end(), points.begin(), points.end());
    }
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    const std::vector<std::string>& args = kit.rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--model" && hasValue) {
            emulate::SplitModel(args[++i], config.model, config.version);
        } else if (arg == "--user" && hasValue) {
            config.user = args[++i];
        } else if (arg == "--serial" && hasValue) {
            config.serial = args[++i];
        } else {
            std::fprintf(stderr, "tracora-emulate logit: unknown option '%s'\n", arg.c_str());
            return 2;
        }
    }
    std::fprintf(session.log, "logit: %s SW%s, %zu points\n", config.model.c_str(),
                 config.version.c_str(), config.points.size());
    std::fflush(session.log);
    LogItEmulator emulator(session.link, std::move(config), session.log);
    for (const auto& [step, fault] : kit.faults) {
        emulator.ArmFault(static_cast<LogItStep>(step), static_cast<LogItFault>(fault));
    }
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
