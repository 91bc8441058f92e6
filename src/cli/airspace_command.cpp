#include "cli/airspace_command.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "cli/cli_common.hpp"
#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "core/version.hpp"
#include "formats/igc/igc_writer.hpp"
#include "formats/openair/airspace_exports.hpp"
#include "formats/openair/ctr_polygon.hpp"
#include "formats/openair/openair_parser.hpp"
#include "formats/openair/openair_writer.hpp"

namespace tracora::cli {

namespace {

constexpr const char* kUsage =
    "airspace needs FILE [--json [--segments]] [--gpx OUT] [--no-arcs OUT] [--script OUT] "
    "[--segment-error METRES] [--force]";

// The segments of an airspace as JSON: kind and values, positions as [lat,lon] in degrees.
std::string SegmentsJson(const CtrArea& area) {
    std::string out = "[";
    const auto position = [](const DegreePosition& p) {
        return StringPrintf("[%.9f,%.9f]", p.latitude, p.longitude);
    };
    for (std::size_t i = 0; i < area.segments.size(); ++i) {
        const CtrSegment& s = area.segments[i];
        out += i == 0 ? "{" : ",{";
        switch (s.kind) {
            case CtrSegmentKind::kPoint:
                out += "\"kind\":\"point\",\"position\":" + position(s.position);
                break;
            case CtrSegmentKind::kCircle:
                out += "\"kind\":\"circle\",\"centre\":" + position(s.centre) +
                       StringPrintf(",\"radius_m\":%d", s.radiusMetres);
                break;
            case CtrSegmentKind::kArcByEndpoints:
                out += "\"kind\":\"arc_endpoints\",\"centre\":" + position(s.centre) +
                       ",\"start\":" + position(s.start) + ",\"end\":" + position(s.end) +
                       StringPrintf(",\"direction\":\"%c\"", s.direction);
                break;
            case CtrSegmentKind::kArcByAngles:
                out += "\"kind\":\"arc_angles\",\"centre\":" + position(s.centre) +
                       StringPrintf(
                           ",\"radius_m\":%d,\"start_bearing\":%.6f,"
                           "\"end_bearing\":%.6f,\"direction\":\"%c\"",
                           s.radiusMetres, s.startBearing, s.endBearing, s.direction);
                break;
        }
        out += "}";
    }
    return out + "]";
}

int WriteOutput(const char* path, const std::string& content, bool force) {
    const int written =
        force ? ReplaceFileAtomically(path, content) : CreateFileAtomically(path, content);
    if (written == EEXIST) {
        std::fprintf(stderr, "tracora-cli: %s: File already exists (--force replaces it)\n", path);
        return 1;
    }
    if (written != 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", path, std::strerror(written));
        return 1;
    }
    return 0;
}

}  // namespace

int Airspace(const std::vector<const char*>& arguments) {
    const char* path = nullptr;
    const char* gpx = nullptr;
    const char* noArcs = nullptr;
    const char* script = nullptr;
    bool json = false;
    bool segments = false;
    bool force = false;
    int segmentError = openair::kDefaultMaxSegmentError;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--segments") {
            segments = true;
        } else if (arg == "--force" || arg == "-f") {
            force = true;
        } else if ((arg == "--gpx" || arg == "--no-arcs" || arg == "--script") &&
                   i + 1 < arguments.size()) {
            (arg == "--gpx" ? gpx : arg == "--script" ? script : noArcs) = arguments[++i];
        } else if (arg == "--segment-error" && i + 1 < arguments.size()) {
            char* end = nullptr;
            const long metres = std::strtol(arguments[++i], &end, 10);
            if (*end != '\0' || metres < openair::kMinMaxSegmentError || metres > 100000) {
                return UsageError("--segment-error needs whole metres, 1 or more");
            }
            segmentError = static_cast<int>(metres);
        } else if (path == nullptr && !arg.starts_with("-")) {
            path = arguments[i];
        } else {
            return UsageError(kUsage);
        }
    }
    if (path == nullptr) {
        return UsageError(kUsage);
    }
    std::string text;
    if (!ReadInputFile(path, "CTR", text)) {
        return 1;
    }
    try {
        std::vector<CtrArea> areas;
        openair::OpenAirReport report;
        const int count = openair::ParseOpenAir(text, areas, report);
        std::vector<const CtrArea*> chosen;
        for (const CtrArea& area : areas) {
            chosen.push_back(&area);
        }
        std::vector<openair::AirspaceOutline> outlines;
        if (openair::MakeOutlines(chosen, segmentError, CurrentTime(), outlines) != 0) {
            std::fprintf(stderr, "tracora-cli: %s: Memory allocation error\n", path);
            return 1;
        }
        if (json) {
            std::string out = "{\"airspaces\":[";
            for (std::size_t i = 0; i < outlines.size(); ++i) {
                const CtrArea& area = *outlines[i].area;
                out += i == 0 ? "\n" : ",\n";
                out += "{\"name\":" + JsonString(area.name) +
                       ",\"class\":" + JsonString(area.classText) +
                       ",\"floor\":" + JsonString(area.floor) +
                       ",\"ceiling\":" + JsonString(area.ceiling) + ",\"polygon\":[";
                for (std::size_t k = 0; k < outlines[i].points.size(); ++k) {
                    const Waypoint& point = outlines[i].points[k];
                    out += StringPrintf("%s[%.9f,%.9f]", k == 0 ? "" : ",",
                                        SemicirclesToDegrees(point.latitude),
                                        SemicirclesToDegrees(point.longitude));
                }
                out += "]";
                if (segments) {
                    out += ",\"segments\":" + SegmentsJson(area);
                }
                out += "}";
            }
            out += "],\n\"errors\":[";
            bool first = true;
            const auto error = [&out, &first](const std::string& message) {
                out += (first ? "" : ",") + JsonString(message);
                first = false;
            };
            if (count < 0) {
                error(report.message);
            }
            for (const openair::OpenAirNotice& notice : report.notices) {
                error(notice.text);
            }
            out += "]}\n";
            std::fputs(out.c_str(), stdout);
        } else {
            for (const openair::OpenAirNotice& notice : report.notices) {
                std::fprintf(stderr, "tracora-cli: %s: %s\n", path, notice.text.c_str());
            }
            for (const openair::AirspaceOutline& outline : outlines) {
                const CtrArea& area = *outline.area;
                std::printf("%s | %s | %s - %s | %zu segments, %zu points\n", area.name.c_str(),
                            area.classText.c_str(), area.floor.c_str(), area.ceiling.c_str(),
                            area.segments.size(), outline.points.size());
            }
        }
        if (count < 0) {
            if (!json) {
                std::fprintf(stderr, "tracora-cli: %s: %s\n", path, report.message.c_str());
            }
            return 1;
        }
        // A file without one airspace is not what was meant (another format, a wrong file).
        if (count == 0) {
            std::fprintf(stderr, "tracora-cli: %s: No CTR found\n", path);
            return 1;
        }
        if (gpx != nullptr && WriteOutput(gpx,
                                          openair::AirspaceGpx(outlines, CurrentCalendarTime(),
                                                               igc::IgcVersionText(kVersion)),
                                          force) != 0) {
            return 1;
        }
        if (noArcs != nullptr &&
            WriteOutput(noArcs, openair::WriteOpenAir(chosen, false, segmentError), force) != 0) {
            return 1;
        }
        if (script != nullptr &&
            WriteOutput(script, openair::AirspaceMapScript(outlines), force) != 0) {
            return 1;
        }
        std::fprintf(stderr, "%d CTRs read\n", count);
        return 0;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tracora-cli: %s: Memory allocation error\n", path);
        return 1;
    }
}

}  // namespace tracora::cli
