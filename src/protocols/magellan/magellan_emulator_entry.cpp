// tracora-emulate's "magellan" instrument: the Magellan emulator with its options.
#include <cstdio>
#include <string>
#include <vector>

#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "core/text_forms.hpp"
#include "emulate/emulator_kit.hpp"
#include "emulate/emulator_registry.hpp"
#include "protocols/magellan/magellan_emulator.hpp"

namespace tracora::protocols::magellan {

extern const emulate::EmulatorEntry kEmulator;

namespace {

// In the order of MagellanStep and MagellanFault.
constexpr std::string_view kSteps[] = {"version", "track", "waypoints"};
constexpr std::string_view kFaults[] = {"silence", "checksum",  "garbage", "cut",      "stall",
                                        "stop",    "bad-field", "no-fix",  "below-sea"};

constexpr std::string_view kUsage =
    "  --model ID[:SW]       product ID and software version of the version answer\n"
    "                        (default 33:4.03); 24 below 3.14 and 30 below 2.01 keep no\n"
    "                        times or dates in their track log\n"
    "  --description TEXT    the description of the version answer (default MERIDIAN GPS)\n"
    "  --waypoints FILE      waypoints, one a line: latitude,longitude,id,description,altitude\n"
    "                        (decimal degrees, negative south/west); built-in ones otherwise\n"
    "  --fault STEP:FAULT    STEP version, track or waypoints; FAULT silence, checksum,\n"
    "                        garbage, cut, stall, stop (the answer stops in the middle of a\n"
    "                        sentence), bad-field (a latitude of 91 degrees, a waypoint name\n"
    "                        of 9 characters), no-fix (a point with status V), below-sea (a\n"
    "                        point at -12 m)\n";

std::vector<std::string_view> SplitCommas(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

int ReadWaypointFile(const std::string& path, std::vector<Waypoint>& out) {
    std::string text;
    if (ReadWholeFile(path, text) != FileReadStatus::kOk) {
        std::fprintf(stderr, "tracora-emulate magellan: cannot read %s\n", path.c_str());
        return -1;
    }
    std::size_t lineNumber = 0;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::vector<std::string_view> fields = SplitCommas(line);
        double latitude = 0;
        double longitude = 0;
        double altitude = 0;
        if (fields.size() != 5 || ParseDecimal(fields[0], latitude) != 0 ||
            ParseDecimal(fields[1], longitude) != 0 || ParseDecimal(fields[4], altitude) != 0) {
            std::fprintf(stderr, "tracora-emulate magellan: %s:%zu: bad waypoint line\n",
                         path.c_str(), lineNumber);
            return -1;
        }
        Waypoint waypoint;
        waypoint.latitude = DegreesToSemicircles(latitude);
        waypoint.longitude = DegreesToSemicircles(longitude);
        waypoint.altitude = static_cast<std::int32_t>(altitude);
        waypoint.SetId(fields[2]);
        waypoint.SetDescription(fields[3]);
        out.push_back(waypoint);
    }
    return 0;
}

int RunMagellanInstrument(emulate::EmulatorSession& session) {
    MagellanEmulatorConfig config;
    config.waypoints = BuiltInWaypoints();
    const auto model = [&config](const std::string& value) {
        std::string id;
        emulate::SplitModel(value, id, config.version);
        double number = 0;
        if (ParseDecimal(id, number) != 0 || number < 0 || number > 65535) {
            std::fprintf(stderr, "tracora-emulate magellan: bad product ID '%s'\n", id.c_str());
            return false;
        }
        config.productId = static_cast<unsigned>(number);
        return true;
    };
    const auto waypoints = [&config](const std::string& path) {
        config.waypoints.clear();
        return ReadWaypointFile(path, config.waypoints) == 0;
    };
    emulate::KitOptions kit;
    std::vector<std::vector<TrackPoint>> flights;
    if (emulate::ParseOptions(
            "magellan", session.args, kSteps, kFaults,
            {{"--model", model}, {"--description", config.description}, {"--waypoints", waypoints}},
            kit) != 0 ||
        !emulate::ConvertFlights("magellan", kit, emulate::FlightFromIgc, flights,
                                 "holds no flight"))
        return 2;
    for (const std::vector<TrackPoint>& points : flights)
        config.track.insert(config.track.end(), points.begin(), points.end());
    config.lineRateBaud = kit.rateBaud;
    config.stallMs = kit.stallMs;
    std::fprintf(session.log, "magellan: product %u SW%s, %zu track points, %zu waypoints\n",
                 config.productId, config.version.c_str(), config.track.size(),
                 config.waypoints.size());
    std::fflush(session.log);
    MagellanEmulator emulator(session.link, config, session.log);
    emulator.ArmFaults(kit);
    emulator.Run();
    std::fprintf(session.log, "%zu waypoints uploaded%s\n", emulator.Uploads().size(),
                 emulator.UploadEnded() ? ", upload ended" : "");
    std::fflush(session.log);
    return 0;
}

}  // namespace

const emulate::EmulatorEntry kEmulator = {
    "magellan",
    "a Magellan unit: version, track log (the flights given with --igc), waypoints and "
    "waypoint uploads, with the sentence handshake",
    kUsage, RunMagellanInstrument, kFaults};

}  // namespace tracora::protocols::magellan
