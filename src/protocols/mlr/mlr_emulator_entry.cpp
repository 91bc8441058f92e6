// tracora-emulate's "mlr" instrument: the MLR-style receiver emulator with its options.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/mlr/mlr_emulator.hpp"

namespace tracora::protocols::mlr {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// The answers a fault can hit and the faults, in the order of MlrStep and MlrFault.
constexpr std::string_view kSteps[] = {"product", "track", "waypoints", "stream"};
constexpr std::string_view kFaults[] = {"silence", "checksum", "sequence", "count",
                                        "garbage", "cut",      "stall",    "stop"};

constexpr std::string_view kUsage =
    "  --model TEXT[:SW]     product text and software version (default \"MLR SP24\":2.80);\n"
    "                        \"DGIFLY ...\", \"CPILOT ...\" and \"COMO...\" name the other\n"
    "                        makers' units, SP24 below 2.72 runs on the GPS clock\n"
    "  --serial TEXT         product field 3 (default 12345)\n"
    "  --leonardo            38,400 baud throughout (no speed switch)\n"
    "  --stream              send the waypoints as a $GPWPL stream after the product data\n"
    "  --fault STEP:FAULT    STEP product, track, waypoints or stream; FAULT silence,\n"
    "                        checksum, sequence (a skipped sentence number), count (a bad\n"
    "                        record count), garbage, cut, stall, stop\n";

int RunMlrInstrument(EmulatorSession& session) {
    MlrEmulatorConfig config;
    config.waypoints = BuiltInWaypoints();
    config.slaveFd = session.slaveFd;
    std::string model;
    emulate::KitOptions kit;
    std::vector<std::vector<TrackPoint>> flights;
    if (emulate::ParseOptions("mlr", session.args, kSteps, kFaults,
                              {{"--model", model},
                               {"--serial", config.product[2]},
                               {"--leonardo", config.binarySpeed},
                               {"--stream", config.streamWaypoints}},
                              kit) != 0 ||
        !emulate::ConvertFlights("mlr", kit, FlightFromIgc, flights))
        return 2;
    for (const std::vector<TrackPoint>& points : flights) {
        config.points.insert(config.points.end(), points.begin(), points.end());
    }
    if (!model.empty()) {
        emulate::SplitModel(model, config.product[0], config.product[3]);
    }
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    std::fprintf(session.log, "mlr: %s SW%s, %zu points, %zu waypoints\n",
                 config.product[0].c_str(), config.product[3].c_str(), config.points.size(),
                 config.waypoints.size());
    std::fflush(session.log);
    MlrEmulator emulator(session.link, std::move(config), session.log);
    emulator.ArmFaults(kit);
    const int rc = emulator.Run();
    std::fprintf(session.log, "%llu bytes sent\n",
                 static_cast<unsigned long long>(emulator.BytesSent()));
    for (const std::string& upload : emulator.Uploads()) {
        std::fprintf(session.log, "uploaded %s\n", upload.c_str());
    }
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "mlr",
    "an MLR-style receiver (MLR, SP24, Digifly Leonardo, CoMo, CPilot): product data, binary "
    "track log and waypoints at 38,400 baud, $GPWPL stream and upload",
    kUsage, RunMlrInstrument, kFaults};

}  // namespace tracora::protocols::mlr
