// tracora-emulate's "mtk" instrument: the MTK logger emulator with its options.
#include <cstdio>
#include <string>
#include <vector>

#include "core/file_io.hpp"
#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/mtk/mtk_emulator.hpp"
#include "protocols/mtk/mtk_frames.hpp"

namespace tracora::protocols::mtk {

extern const emulate::EmulatorEntry kEmulator;

namespace {

// In the order of MtkStep and MtkFault.
constexpr std::string_view kSteps[] = {"product", "status", "stop", "memory",
                                       "chunk",   "start",  "erase"};
constexpr std::string_view kFaults[] = {"silence", "checksum",   "garbage",
                                        "cut",     "stall",      "wrong-address",
                                        "zero",    "bad-header", "bad-record"};

constexpr std::string_view kUsage =
    "  --model NAME[:BUILD]  the two firmware fields of the firmware answer\n"
    "                        (default AXN_1.0-B_1.3_C01:0001)\n"
    "  --holux               keep the log in the Holux layout (float positions, 3-byte\n"
    "                        heights, no '*' before the checksum)\n"
    "  --logging-off         logging is off (it stays off after a download)\n"
    "  --image FILE          also write the log memory to FILE\n"
    "  --fault STEP:FAULT    STEP product, status, stop, memory, chunk, start or erase;\n"
    "                        FAULT silence, checksum, garbage, cut, stall, wrong-address (a\n"
    "                        chunk answer for the next address), zero (no memory used),\n"
    "                        bad-header (the first sector's marker lost), bad-record (the\n"
    "                        third record's checksum wrong)\n";

int RunMtkInstrument(emulate::EmulatorSession& session) {
    MtkEmulatorConfig config;
    std::string model;
    bool loggingOff = false;
    std::string imagePath;
    emulate::KitOptions kit;
    std::vector<std::vector<TrackPoint>> flights;
    if (emulate::ParseOptions("mtk", session.args, kSteps, kFaults,
                              {{"--model", model},
                               {"--holux", config.holux},
                               {"--logging-off", loggingOff},
                               {"--image", imagePath}},
                              kit) != 0 ||
        !emulate::ConvertFlights("mtk", kit, emulate::FlightFromIgc, flights, "holds no flight"))
        return 2;
    for (const std::vector<TrackPoint>& points : flights)
        config.track.insert(config.track.end(), points.begin(), points.end());
    if (!model.empty())
        emulate::SplitModel(model, config.firmware1, config.firmware2);
    if (loggingOff)
        config.logStatus = 0;
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    MtkEmulator emulator(session.link, config, session.log);
    const std::vector<std::uint8_t> image = emulator.Image();
    if (!imagePath.empty()) {
        std::FILE* file = std::fopen(imagePath.c_str(), "wb");
        const bool written =
            file != nullptr && std::fwrite(image.data(), 1, image.size(), file) == image.size();
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "tracora-emulate mtk: cannot write %s\n", imagePath.c_str());
            return 2;
        }
    }
    std::fprintf(session.log, "mtk: %s,%s, %zu track points, %zu bytes of log%s\n",
                 config.firmware1.c_str(), config.firmware2.c_str(), config.track.size(),
                 image.size(), config.holux ? " (Holux layout)" : "");
    std::fflush(session.log);
    emulator.ArmFaults(kit);
    emulator.Run();
    std::fprintf(session.log, "logging %s, %zu bytes of log\n", emulator.LoggingOn() ? "on" : "off",
                 emulator.Image().size());
    std::fflush(session.log);
    return 0;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "mtk",
    "an MTK logger (Pentagram, Holux): firmware, logging status, the log memory built from the "
    "flights given with --igc, erase",
    kUsage, RunMtkInstrument, kFaults};

}  // namespace tracora::protocols::mtk
