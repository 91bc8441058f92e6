#include "cli/waypoints_command.hpp"

#include <cstdio>
#include <string>
#include <string_view>

#include "cli/cli_common.hpp"
#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::cli {

int Waypoints(const std::vector<const char*>& arguments) {
    const char* path = nullptr;
    bool json = false;
    bool strict = false;
    for (const char* argument : arguments) {
        const std::string_view arg = argument;
        if (arg == "--json") {
            json = true;
        } else if (arg == "--strict-names") {
            strict = true;
        } else if (path == nullptr && !arg.starts_with("-")) {
            path = argument;
        } else {
            return UsageError("waypoints needs FILE [--json] [--strict-names]");
        }
    }
    if (path == nullptr) {
        return UsageError("waypoints needs FILE");
    }
    std::string text;
    if (!ReadInputFile(path, "waypoint", text)) {
        return 1;
    }
    waypoints::WaypointReadOptions options;
    // Without anyone to ask, names are converted as after "Yes to All", or (strict) a name that
    // would have to change fails the read.
    options.lenientNames = !strict;
    options.readTime = CurrentTime();
    const waypoints::WaypointReadResult read = waypoints::ReadWaypointText(text, options);
    if (json) {
        std::string out = "{\"waypoints\":[";
        for (std::size_t i = 0; i < read.waypoints.size(); ++i) {
            const Waypoint& w = read.waypoints[i];
            out += i == 0 ? "\n" : ",\n";
            out += "{\"id\":" + JsonString(w.Id()) +
                   ",\"description\":" + JsonString(w.Description()) +
                   StringPrintf(
                       ",\"lat\":%.9f,\"lon\":%.9f,\"altitude\":%d,\"airfield\":%s,"
                       "\"time\":%u}",
                       SemicirclesToDegrees(w.latitude), SemicirclesToDegrees(w.longitude),
                       w.altitude, w.kind == kWaypointKindAirfield ? "true" : "false", w.time);
        }
        out += "],\n\"errors\":[";
        if (read.status <= 0) {
            out += JsonString(read.title + ": " + read.message);
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        for (const Waypoint& w : read.waypoints) {
            std::printf("%-6s %11.6f %11.6f %6d %s%s\n", std::string(w.Id()).c_str(),
                        SemicirclesToDegrees(w.latitude), SemicirclesToDegrees(w.longitude),
                        w.altitude, std::string(w.Description()).c_str(),
                        w.kind == kWaypointKindAirfield ? " [airfield]" : "");
        }
    }
    if (read.status <= 0) {
        if (!json) {
            std::fprintf(stderr, "tracora-cli: %s: %s: %s\n", path, read.title.c_str(),
                         read.message.c_str());
        }
        return 1;
    }
    std::fprintf(stderr, "%d waypoints read\n", read.status);
    return 0;
}

}  // namespace tracora::cli
