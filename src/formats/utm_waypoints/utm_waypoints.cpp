#include "formats/utm_waypoints/utm_waypoints.hpp"

#include <cmath>

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
    double altitude = 0;
    if (!ReadUtmPosition(fields[0], fields[1], fields[2], waypoint) ||
        !ParseNumber(fields[3], altitude) || altitude != std::floor(altitude) ||
        std::fabs(altitude) > 1e7) {
        return false;
    }
    waypoint.altitude = altitude < 0 ? 0 : static_cast<std::int32_t>(altitude);
    SetDescriptionAndKind(fields.size() > 4 ? fields[4] : std::string_view(), waypoint);
    return true;
}

LineRead ReadLine(std::string_view line, WaypointNamer& namer, Waypoint& waypoint) {
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
        return LineRead::kBad;
    }
    const std::string_view name =
        line.substr(0, static_cast<std::size_t>(words[first - 1].data() - line.data()) +
                           words[first - 1].size());
    return LineReadOfName(namer.Name(name, waypoint));
}

constexpr std::string_view kExtensions[] = {"wpt"};

}  // namespace

bool ReadUtmPosition(std::string_view zone, std::string_view easting, std::string_view northing,
                     Waypoint& waypoint) {
    UtmPosition utm;
    double east = 0, north = 0;
    if (ParseUtmZone(zone, utm.zone, utm.band) != 0 || !ParseNumber(easting, east) || east < 0 ||
        east > 1000000 || !ParseNumber(northing, north) || north < 0 || north > 20000000) {
        return false;
    }
    utm.easting = east;
    utm.northing = north;
    GeoPoint point;
    FromUtm(utm, point);
    waypoint.latitude = RadiansToSemicircles(point.latitude);
    waypoint.longitude = RadiansToSemicircles(point.longitude);
    return true;
}

WaypointReadResult ReadUtmWaypoints(std::string_view text, const WaypointReadOptions& options) {
    return ReadNamedWaypointLines(text, options, 2, &ReadLine);
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

const formats::FormatRecord kUtmWaypointFormat = WaypointFormat(
    "utm-waypoints", "UTM files", kExtensions, &WriteWaypointDocument<&WriteUtmWaypoints>);

}  // namespace tracora::waypoints
