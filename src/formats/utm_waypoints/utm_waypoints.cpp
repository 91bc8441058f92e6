#include "formats/utm_waypoints/utm_waypoints.hpp"

#include <cmath>
#include <new>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "formats/geo_waypoints/geo_waypoints.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::waypoints {

namespace {

// The position, altitude and description of the fields from the zone on.
bool ReadRest(const std::vector<std::string_view>& fields, Waypoint& waypoint) {
    if (fields.size() < 4) {
        return false;
    }
    UtmPosition utm;
    double easting = 0, northing = 0, altitude = 0;
    if (ParseUtmZone(fields[0], utm.zone, utm.band) != 0 || !ParseNumber(fields[1], easting) ||
        easting < 0 || easting > 1000000 || !ParseNumber(fields[2], northing) || northing < 0 ||
        northing > 20000000 || !ParseNumber(fields[3], altitude) ||
        altitude != std::floor(altitude) || std::fabs(altitude) > 1e7) {
        return false;
    }
    utm.easting = easting;
    utm.northing = northing;
    GeoPoint point;
    FromUtm(utm, point);
    waypoint.latitude = RadiansToSemicircles(point.latitude);
    waypoint.longitude = RadiansToSemicircles(point.longitude);
    waypoint.altitude = altitude < 0 ? 0 : static_cast<std::int32_t>(altitude);
    SetDescriptionAndKind(fields.size() > 4 ? fields[4] : std::string_view(), waypoint);
    return true;
}

int ReadLine(std::string_view line, WaypointNamer& namer, Waypoint& waypoint) {
    // The name is the first word; names written with blanks in them ("Golden G") reach up to
    // the first word where the rest of the line reads.
    const std::vector<std::string_view> words = SplitBlankFields(line, 64);
    std::size_t first = 1;
    for (; first < words.size(); ++first) {
        const std::string_view rest =
            line.substr(static_cast<std::size_t>(words[first].data() - line.data()));
        if (ReadRest(SplitBlankFields(rest, 5), waypoint)) {
            break;
        }
    }
    if (first >= words.size()) {
        return -1;
    }
    const std::string_view name =
        line.substr(0, static_cast<std::size_t>(words[first - 1].data() - line.data()) +
                           words[first - 1].size());
    switch (namer.Name(name, waypoint)) {
        case WaypointNamer::Outcome::kNamed:
            return 0;
        case WaypointNamer::Outcome::kSkip:
            return 1;
        case WaypointNamer::Outcome::kFail:
            break;
    }
    return -1;
}

int WriteDocument(const formats::WriteInput& input, formats::TextBuffer& out,
                  std::string& message) {
    try {
        out.Append(WriteUtmWaypoints(input.waypoints));
        return 0;
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
}

constexpr std::string_view kExtensions[] = {"wpt"};

}  // namespace

WaypointReadResult ReadUtmWaypoints(std::string_view text, const WaypointReadOptions& options) {
    WaypointReadResult result;
    result.title = kDecodingTitle;
    WaypointLines lines(text);
    WaypointNamer namer(options);
    std::string_view line;
    std::vector<Waypoint> waypoints;
    waypoints.reserve(20);
    while (lines.Next(line)) {
        if (lines.Number() < 2) {
            continue;
        }
        Waypoint waypoint;
        waypoint.time = options.readTime;
        const int read = ReadLine(line, namer, waypoint);
        if (read < 0) {
            return BadLine(kDecodingTitle, lines.Number());
        }
        if (read == 0) {
            waypoints.push_back(waypoint);
        }
    }
    result.status = static_cast<int>(waypoints.size());
    result.waypoints = std::move(waypoints);
    return result;
}

std::string WriteUtmWaypoints(std::span<const Waypoint> waypoints) {
    std::string out = "$FormatUTM\r\n";
    for (const Waypoint& w : waypoints) {
        const GeoPoint point{SemicirclesToRadians(w.latitude), SemicirclesToRadians(w.longitude)};
        int zone = 0;
        UtmPosition utm;
        ToUtm(point, zone, utm);
        const std::string id = BlankFreeId(w.Id());
        const int padding = id.size() < 9 ? static_cast<int>(9 - id.size()) : 0;
        out += StringPrintf("%s%*s%02d%c   %07d   %07d  %5d  %s", id.c_str(), padding, "", utm.zone,
                            utm.band, RoundHalfAwayFromZero(utm.easting),
                            RoundHalfAwayFromZero(utm.northing), w.altitude,
                            SafeTrailingDescription(w).c_str());
        if (w.kind == kWaypointKindAirfield) {
            out += " [A]";
        }
        out += "\r\n";
    }
    return out;
}

const formats::FormatRecord kUtmWaypointFormat{
    .id = "utm-waypoints",
    .name = "UTM files",
    .extensions = kExtensions,
    .holds = {.waypoints = true},
    .directions = {.read = true, .write = true},
    .read = &ReadWaypointFileOfRegistry,
    .write = &WriteDocument,
};

}  // namespace tracora::waypoints
