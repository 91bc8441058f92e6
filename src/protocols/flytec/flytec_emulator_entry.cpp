// tracora-emulate's "flytec" instrument: the Flytec/Brauniger emulator with its options.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_io.hpp"
#include "core/text_forms.hpp"
#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/openair/openair_parser.hpp"
#include "protocols/flytec/flytec_emulator.hpp"

namespace tracora::protocols::flytec {

extern const emulate::EmulatorEntry kEmulator;

namespace {

using emulate::EmulatorSession;

// The answers a fault can hit and the faults, in the order of FlytecStep and FlytecFault.
constexpr std::string_view kSteps[] = {"product",   "list",    "track",
                                       "waypoints", "ctr-ack", "ctr-list"};
constexpr std::string_view kFaults[] = {"silence",       "checksum",      "garbage",    "long-line",
                                        "record-type",   "b-before-date", "cut",        "stall",
                                        "stall-at-line", "stop",          "ack-2",      "ack-3",
                                        "ack-4",         "ack-5",         "ack-unknown"};

constexpr std::string_view kUsage =
    "  --model NAME[:SW]     product text and software version (default COMPEO+:1.22);\n"
    "                        COMPETINO:1.13 and COMPEO:2.19 have no flight list\n"
    "  --user NAME           the pilot name of the product data (default TEST PILOT)\n"
    "  --serial TEXT         the serial number (default 1234)\n"
    "  --no-track-list       answer no flight-list request whatever the model\n"
    "  --waypoints FILE      waypoints, one a line: latitude,longitude,short,long,altitude\n"
    "                        (decimal degrees, negative south/west); built-in ones otherwise\n"
    "  --no-g                leave the G records out of the IGC texts\n"
    "  --airspace FILE       airspaces stored in the instrument, from an OpenAir file\n"
    "  --fault STEP:FAULT    STEP product, list, track, waypoints, ctr-ack or ctr-list;\n"
    "                        FAULT silence, checksum, garbage, long-line, record-type,\n"
    "                        b-before-date, cut, stall (the unit freezes halfway through\n"
    "                        the answer for --stall-seconds, then goes on), stall-at-line\n"
    "                        (the same at a line end), stop (the answer stops halfway), or\n"
    "                        for ctr-ack ack-2, ack-3, ack-4, ack-5, ack-unknown (the\n"
    "                        status)\n";

std::int32_t MilliMinutes(double degrees) {
    const double value = degrees * 60000.0;
    return static_cast<std::int32_t>(value < 0 ? value - 0.5 : value + 0.5);
}

// "latitude,longitude,short,long,altitude" lines; '#' starts a comment line.
int ReadWaypointFile(const std::string& path, std::vector<EmulatedWaypoint>& out) {
    std::string text;
    if (ReadWholeFile(path, text) != FileReadStatus::kOk) {
        std::fprintf(stderr, "tracora-emulate flytec: cannot read %s\n", path.c_str());
        return -1;
    }
    std::size_t lineNumber = 0;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::vector<std::string_view> fields;
        for (std::size_t start = 0;;) {
            const std::size_t comma = line.find(',', start);
            fields.push_back(line.substr(
                start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            if (comma == std::string_view::npos) {
                break;
            }
            start = comma + 1;
        }
        double latitude = 0;
        double longitude = 0;
        double altitude = 0;
        if (fields.size() != 5 || ParseDecimal(fields[0], latitude) != 0 ||
            ParseDecimal(fields[1], longitude) != 0 || ParseDecimal(fields[4], altitude) != 0) {
            std::fprintf(stderr, "tracora-emulate flytec: %s:%zu: bad waypoint line\n",
                         path.c_str(), lineNumber);
            return -1;
        }
        out.push_back({MilliMinutes(latitude), MilliMinutes(longitude), std::string(fields[2]),
                       std::string(fields[3]), static_cast<int>(altitude)});
    }
    return 0;
}

int RunFlytecInstrument(EmulatorSession& session) {
    FlytecEmulatorConfig config;
    config.waypoints = BuiltInWaypoints();
    std::string model;
    bool forceNoTrackList = false;
    const auto waypoints = [&config](const std::string& path) {
        config.waypoints.clear();
        return ReadWaypointFile(path, config.waypoints) == 0;
    };
    const auto airspaces = [&config](const std::string& path) {
        std::string text;
        openair::OpenAirReport report;
        if (ReadWholeFile(path, text) != FileReadStatus::kOk ||
            openair::ParseOpenAir(text, config.airspaces, report) < 0) {
            std::fprintf(stderr, "tracora-emulate flytec: cannot read the airspaces of %s%s%s\n",
                         path.c_str(), report.message.empty() ? "" : ": ", report.message.c_str());
            return false;
        }
        return true;
    };
    emulate::KitOptions kit;
    if (emulate::ParseOptions("flytec", session.args, kSteps, kFaults,
                              {{"--model", model},
                               {"--user", config.product.userName},
                               {"--serial", config.product.serial},
                               {"--no-track-list", forceNoTrackList},
                               {"--waypoints", waypoints},
                               {"--airspace", airspaces},
                               {"--no-g", config.stripGRecords}},
                              kit) != 0)
        return 2;
    if (!model.empty()) {
        emulate::SplitModel(model, config.product.product, config.product.software);
    }
    config.flights = std::move(kit.igcTexts);
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    // The instrument's firmware decides whether it keeps a flight list.
    config.hasTrackList =
        !forceNoTrackList && HasTrackList(config.product.product, config.product.software);
    std::fprintf(session.log, "flytec: %s SW%s, %zu flights, %zu waypoints%s\n",
                 config.product.product.c_str(), config.product.software.c_str(),
                 config.flights.size(), config.waypoints.size(),
                 config.hasTrackList ? "" : ", no flight list");
    std::fflush(session.log);
    FlytecEmulator emulator(session.link, std::move(config), session.log);
    emulator.ArmFaults(kit);
    const int rc = emulator.Run();
    for (const std::string& sentence : emulator.UploadSentences()) {
        std::fprintf(session.log, "uploaded %s\n", sentence.c_str());
    }
    std::fprintf(session.log, "%zu airspaces stored\n", emulator.Airspaces().size());
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "flytec",
    "a Flytec/Brauniger instrument: product data, flight list, IGC track logs, waypoints "
    "and waypoint uploads, airspace uploads and downloads",
    kUsage, RunFlytecInstrument, kFaults};

}  // namespace tracora::protocols::flytec
