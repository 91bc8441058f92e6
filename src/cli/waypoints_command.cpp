#include "cli/waypoints_command.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::cli {

namespace {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += StringPrintf("\\u%04X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

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
            std::fprintf(stderr,
                         "tracora-cli: waypoints needs FILE [--json] [--strict-names]\n"
                         "Try 'tracora-cli --help'.\n");
            return 2;
        }
    }
    if (path == nullptr) {
        std::fprintf(stderr, "tracora-cli: waypoints needs FILE\nTry 'tracora-cli --help'.\n");
        return 2;
    }
    std::string text;
    int errorNumber = 0;
    const FileReadStatus status = ReadWholeFile(path, text, &errorNumber);
    if (status == FileReadStatus::kEmpty) {
        std::fprintf(stderr, "tracora-cli: %s: File is empty\n", path);
        return 1;
    }
    if (status != FileReadStatus::kOk) {
        std::fprintf(stderr, "tracora-cli: %s: Error opening waypoint file: %s\n", path,
                     std::strerror(errorNumber != 0 ? errorNumber : EIO));
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
