#include "emulate/flytec_instrument.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_io.hpp"
#include "core/text_forms.hpp"
#include "protocols/flytec/flytec_emulator.hpp"

namespace tracora::emulate {

using protocols::flytec::EmulatedWaypoint;
using protocols::flytec::FlytecEmulator;
using protocols::flytec::FlytecEmulatorConfig;
using protocols::flytec::FlytecFault;
using protocols::flytec::FlytecStep;

namespace {

struct Named {
    std::string_view name;
    int value;
};

constexpr Named kSteps[] = {{"product", static_cast<int>(FlytecStep::kProductData)},
                            {"list", static_cast<int>(FlytecStep::kTrackList)},
                            {"track", static_cast<int>(FlytecStep::kTrack)},
                            {"waypoints", static_cast<int>(FlytecStep::kWaypoints)}};

constexpr Named kFaults[] = {{"silence", static_cast<int>(FlytecFault::kSilence)},
                             {"checksum", static_cast<int>(FlytecFault::kBadChecksum)},
                             {"garbage", static_cast<int>(FlytecFault::kGarbage)},
                             {"long-line", static_cast<int>(FlytecFault::kLineTooLong)},
                             {"record-type", static_cast<int>(FlytecFault::kBadRecordType)},
                             {"b-before-date", static_cast<int>(FlytecFault::kBRecordBeforeDate)},
                             {"cut", static_cast<int>(FlytecFault::kCutConnection)}};

template <std::size_t N>
bool Lookup(const Named (&table)[N], std::string_view name, int& value) {
    for (const Named& entry : table) {
        if (entry.name == name) {
            value = entry.value;
            return true;
        }
    }
    return false;
}

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

}  // namespace

int RunFlytecInstrument(EmulatorSession& session) {
    FlytecEmulatorConfig config;
    config.waypoints = protocols::flytec::BuiltInWaypoints();
    bool forceNoTrackList = false;
    std::vector<std::pair<FlytecStep, FlytecFault>> faults;
    const std::vector<std::string>& args = session.args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--igc" && hasValue) {
            while (i + 1 < args.size() && !args[i + 1].starts_with("--")) {
                std::string igc;
                const std::string& path = args[++i];
                if (ReadWholeFile(path, igc) != FileReadStatus::kOk) {
                    std::fprintf(stderr, "tracora-emulate flytec: cannot read %s\n", path.c_str());
                    return 2;
                }
                config.flights.push_back(std::move(igc));
            }
        } else if (arg == "--model" && hasValue) {
            const std::string& value = args[++i];
            const std::size_t colon = value.find(':');
            config.product.product = value.substr(0, colon);
            if (colon != std::string::npos) {
                config.product.software = value.substr(colon + 1);
            }
        } else if (arg == "--user" && hasValue) {
            config.product.userName = args[++i];
        } else if (arg == "--serial" && hasValue) {
            config.product.serial = args[++i];
        } else if (arg == "--no-track-list") {
            forceNoTrackList = true;
        } else if (arg == "--waypoints" && hasValue) {
            config.waypoints.clear();
            if (ReadWaypointFile(args[++i], config.waypoints) != 0) {
                return 2;
            }
        } else if (arg == "--rate" && hasValue) {
            config.lineRateBaud = std::atoi(args[++i].c_str());
        } else if (arg == "--no-g") {
            config.stripGRecords = true;
        } else if (arg == "--fault" && hasValue) {
            const std::string& value = args[++i];
            const std::size_t colon = value.find(':');
            int step = 0;
            int fault = 0;
            if (colon == std::string::npos || !Lookup(kSteps, value.substr(0, colon), step) ||
                !Lookup(kFaults, std::string_view(value).substr(colon + 1), fault)) {
                std::fprintf(stderr, "tracora-emulate flytec: bad fault '%s'\n", value.c_str());
                return 2;
            }
            faults.emplace_back(static_cast<FlytecStep>(step), static_cast<FlytecFault>(fault));
        } else {
            std::fprintf(stderr, "tracora-emulate flytec: unknown option '%s'\n", arg.c_str());
            return 2;
        }
    }
    // The instrument's firmware decides whether it keeps a flight list.
    config.hasTrackList = !forceNoTrackList && protocols::flytec::HasTrackList(
                                                   config.product.product, config.product.software);
    std::fprintf(session.log, "flytec: %s SW%s, %zu flights, %zu waypoints%s\n",
                 config.product.product.c_str(), config.product.software.c_str(),
                 config.flights.size(), config.waypoints.size(),
                 config.hasTrackList ? "" : ", no flight list");
    std::fflush(session.log);
    FlytecEmulator emulator(session.link, std::move(config), session.log);
    for (const auto& [step, fault] : faults) {
        emulator.ArmFault(step, fault);
    }
    const int rc = emulator.Run();
    for (const std::string& sentence : emulator.UploadSentences()) {
        std::fprintf(session.log, "uploaded %s\n", sentence.c_str());
    }
    std::fflush(session.log);
    return rc == 0 ? 0 : 1;
}

}  // namespace tracora::emulate
