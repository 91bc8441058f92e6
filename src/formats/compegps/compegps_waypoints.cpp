#include "formats/compegps/compegps_waypoints.hpp"

#include <cmath>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "formats/geo_waypoints/geo_waypoints.hpp"
#include "formats/utm_waypoints/utm_waypoints.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::waypoints {

namespace {

constexpr char kDegreeSign = static_cast<char>(0xBA);
constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// "46.5000000ºN": decimal degrees, an optional degree sign (in whatever encoding the file has
// it: any non-ASCII characters), the hemisphere letter.
bool ReadDegrees(std::string_view field, char positive, char negative, double limit,
                 double& degrees) {
    if (field.empty()) {
        return false;
    }
    const char last = field.back();
    const char letter = last >= 'a' && last <= 'z' ? static_cast<char>(last - 32) : last;
    if (letter != positive && letter != negative) {
        return false;
    }
    field.remove_suffix(1);
    while (!field.empty() && static_cast<unsigned char>(field.back()) >= 0x80) {
        field.remove_suffix(1);
    }
    double value = 0;
    if (!ParseNumber(field, value) || value < 0 || value > limit) {
        return false;
    }
    degrees = letter == negative ? -value : value;
    return true;
}

int ReadWaypointLine(const std::vector<std::string_view>& fields, Waypoint& waypoint) {
    if (fields.size() < 8) {
        return -1;
    }
    std::string id;
    for (std::size_t i = 0; i < fields[1].size() && id.size() < 6; ++i) {
        const char c = fields[1][i];
        id += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    waypoint.SetId(id);
    if (fields[2] == "A") {
        double latitude = 0, longitude = 0;
        if (!ReadDegrees(fields[3], 'N', 'S', 90, latitude) ||
            !ReadDegrees(fields[4], 'E', 'W', 180, longitude)) {
            return -1;
        }
        waypoint.latitude = DegreesToSemicircles(latitude);
        waypoint.longitude = DegreesToSemicircles(longitude);
    } else if (!ReadUtmPosition(fields[2], fields[3], fields[4], waypoint)) {
        return -1;
    }
    double altitude = 0;
    if (!ParseNumber(fields[7], altitude) || std::fabs(altitude) > 1e7) {
        return -1;
    }
    waypoint.altitude = static_cast<std::int32_t>(altitude);
    waypoint.SetDescription(fields.size() > 8 ? FirstCharacters(fields[8], 40) : std::string());
    waypoint.kind = kWaypointKindPoint;
    return 0;
}

int WriteDocument(const formats::WriteInput& input, formats::TextBuffer& out,
                  std::string& message) {
    return AppendWaypointDocument(
        out, message, [&] { return WriteCompeGpsWaypoints(input.waypoints, input.downloadTime); });
}

constexpr std::string_view kExtensions[] = {"wpt"};

}  // namespace

WaypointReadResult ReadCompeGpsWaypoints(std::string_view text,
                                         const WaypointReadOptions& options) {
    bool afterWaypoint = false;
    return ReadWaypointLines(
        text, kCompeGpsTitle,
        [&](std::string_view line, int, Waypoint& waypoint, std::span<Waypoint> kept) {
            const std::vector<std::string_view> fields = SplitBlankFields(line, 9);
            if (fields.empty()) {
                return LineRead::kSkip;
            }
            if (fields[0] == "W") {
                waypoint.time = options.readTime;
                if (ReadWaypointLine(fields, waypoint) != 0) {
                    return LineRead::kBad;
                }
                afterWaypoint = true;
                return LineRead::kWaypoint;
            }
            // The line after a waypoint may say that it is an airfield.
            if (fields[0] == "w" && afterWaypoint && fields.size() > 1 &&
                (StartsWithIgnoringCase(fields[1], "airport") ||
                 StartsWithIgnoringCase(fields[1], "airfield"))) {
                kept.back().kind = kWaypointKindAirfield;
            }
            afterWaypoint = false;
            return LineRead::kSkip;
        });
}

std::string WriteCompeGpsWaypoints(std::span<const Waypoint> waypoints,
                                   const CalendarTime& written) {
    std::string out = "G  WGS 84\r\nU  1\r\n";
    const int month = written.month >= 1 && written.month <= 12 ? written.month : 1;
    for (const Waypoint& w : waypoints) {
        const double latitude = SemicirclesToDegrees(w.latitude);
        const double longitude = SemicirclesToDegrees(w.longitude);
        out += StringPrintf("W  %s A %.7f%c%c %.7f%c%c %d-%s-%d %02d:%02d:%02d %d.000000 %s\r\n",
                            Utf8ToLatin1(BlankFreeId(w.Id())).c_str(), std::fabs(latitude),
                            kDegreeSign, latitude < 0 ? 'S' : 'N', std::fabs(longitude),
                            kDegreeSign, longitude < 0 ? 'W' : 'E', written.day, kMonths[month - 1],
                            written.year, written.hour, written.minute, written.second, w.altitude,
                            Utf8ToLatin1(w.Description()).c_str());
        out += StringPrintf("w %s,,,,,,,,,\r\n",
                            w.kind == kWaypointKindAirfield ? "Airport" : "Waypoint");
    }
    return out;
}

const formats::FormatRecord kCompeGpsFormat =
    WaypointFormat("compegps", "CompeGPS files", kExtensions, &WriteDocument);

}  // namespace tracora::waypoints
