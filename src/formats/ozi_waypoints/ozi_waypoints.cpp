#include "formats/ozi_waypoints/ozi_waypoints.hpp"

#include <cmath>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::waypoints {

namespace {

constexpr double kRadiansToDegreesOfFile = 57.29577951308;
constexpr int kFirstDataLine = 5;

std::string_view SkipLeadingBlanks(std::string_view field) {
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) {
        field.remove_prefix(1);
    }
    return field;
}

// A text field as Ozi writes it: Latin-1, commas as character 209.
std::string OziText(std::string_view text) {
    std::string latin1 = Utf8ToLatin1(text);
    for (char& c : latin1) {
        if (c == ',') {
            c = static_cast<char>(209);
        }
    }
    return latin1;
}

LineRead ReadLine(std::string_view line, WaypointNamer& namer, const WaypointReadOptions& options,
                  Waypoint& waypoint) {
    const std::vector<std::string_view> fields = SplitFields(line, ',');
    // Up to the description every field must be there.
    if (fields.size() < 11) {
        return LineRead::kBad;
    }
    const LineRead named = LineReadOfName(namer.Name(fields[1], waypoint));
    if (named != LineRead::kWaypoint) {
        return named;
    }
    double latitude = 0, longitude = 0;
    if (!ParseNumber(fields[2], latitude) || !(latitude > -90 && latitude < 90) ||
        !ParseNumber(fields[3], longitude) || !(longitude > -180 && longitude < 180)) {
        return LineRead::kBad;
    }
    waypoint.latitude = DegreesToSemicircles(latitude);
    waypoint.longitude = DegreesToSemicircles(longitude);
    // An empty date (files of other programs leave it out) counts as none.
    double date = 0;
    if (!TrimBlanks(fields[4]).empty() && !ParseNumber(fields[4], date)) {
        return LineRead::kBad;
    }
    if (date == 0) {
        waypoint.time = options.readTime;
    } else {
        if (date < kDaysTo1990) {
            date = kDaysTo1990;
        }
        const double seconds = std::trunc((date - kDaysTo1990) * 86400 + 0.5);
        if (!(seconds <= 4294967295.0)) {
            return LineRead::kBad;
        }
        waypoint.time = static_cast<std::uint32_t>(seconds);
    }
    long long symbol = 0;
    if (!ParseUnsigned(fields[5], symbol)) {
        return LineRead::kBad;
    }
    waypoint.SetDescription(ConvertWaypointComment(SkipLeadingBlanks(fields[10])));
    waypoint.altitude = 0;
    if (fields.size() >= 15) {
        double feet = 0;
        if (!ParseNumber(fields[14], feet) || std::fabs(feet) > 1e7) {
            return LineRead::kBad;
        }
        const auto whole = static_cast<long long>(std::trunc(feet));
        if (whole != -777) {
            const std::int32_t metres = RoundHalfAwayFromZero(static_cast<double>(whole) * 0.3048);
            waypoint.altitude = metres < 0 ? 0 : metres;
        }
    }
    waypoint.kind = kWaypointKindPoint;
    return LineRead::kWaypoint;
}

constexpr std::string_view kExtensions[] = {"wpt"};

}  // namespace

WaypointReadResult ReadOziWaypoints(std::string_view text, const WaypointReadOptions& options) {
    return ReadNamedWaypointLines(
        text, options, kFirstDataLine,
        [&](std::string_view line, WaypointNamer& namer, Waypoint& waypoint) {
            return ReadLine(line, namer, options, waypoint);
        });
}

std::string WriteOziWaypoints(std::span<const Waypoint> waypoints) {
    std::string out =
        "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";
    int number = 0;
    for (const Waypoint& w : waypoints) {
        const double latitude = SemicirclesToRadians(w.latitude) * kRadiansToDegreesOfFile;
        const double longitude = SemicirclesToRadians(w.longitude) * kRadiansToDegreesOfFile;
        const double date = w.time / 86400.0 + kDaysTo1990;
        const int feet = RoundHalfAwayFromZero(w.altitude * 3.28084);
        out +=
            StringPrintf("%4d,%-14s,%11.6f,%11.6f,%.7f,%d, 1, 3, 0, 65535,%-40s, 0, 0, 0, %d\r\n",
                         ++number, OziText(BlankFreeId(w.Id())).c_str(), latitude, longitude, date,
                         0, OziText(w.Description()).c_str(), feet);
    }
    return out;
}

const formats::FormatRecord kOziWaypointFormat = WaypointFormat(
    "ozi-waypoints", "Ozi files", kExtensions, &WriteWaypointDocument<&WriteOziWaypoints>);

}  // namespace tracora::waypoints
