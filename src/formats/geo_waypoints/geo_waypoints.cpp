#include "formats/geo_waypoints/geo_waypoints.hpp"

#include <cmath>
#include <cstdlib>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::waypoints {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void SkipBlanks(std::string_view text, std::size_t& i) {
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
}

// A whole number at `i`, then optionally a '.' or ',' fraction when `fraction`. False when no
// digit is there.
bool ReadNumber(std::string_view text, std::size_t& i, bool fraction, double& value) {
    const std::size_t start = i;
    double whole = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 9) {
        whole = whole * 10 + (text[i] - '0');
        ++i;
    }
    if (i == start || (i < text.size() && IsDigit(text[i]))) {
        return false;
    }
    value = whole;
    if (fraction && i + 1 < text.size() && (text[i] == '.' || text[i] == ',') &&
        IsDigit(text[i + 1])) {
        ++i;
        double scale = 0.1;
        while (i < text.size() && IsDigit(text[i])) {
            value += (text[i] - '0') * scale;
            scale /= 10;
            ++i;
        }
    }
    return true;
}

// "N 46 30 15.50 " and the like: the hemisphere letter, degrees, optionally minutes and seconds
// (the last number may have a fraction), each followed by a blank. Degrees in `degrees`.
bool ReadAngle(std::string_view text, std::size_t& i, char positive, char negative, int limit,
               double& degrees) {
    SkipBlanks(text, i);
    if (i >= text.size()) {
        return false;
    }
    const char letter =
        static_cast<char>(text[i] >= 'a' && text[i] <= 'z' ? text[i] - 32 : text[i]);
    if (letter != positive && letter != negative) {
        return false;
    }
    ++i;
    double parts[3] = {0, 0, 0};
    int count = 0;
    for (; count < 3; ++count) {
        std::size_t at = i;
        SkipBlanks(text, at);
        if (at == i || at >= text.size() || !IsDigit(text[at])) {
            break;
        }
        std::size_t end = at;
        double value = 0;
        if (!ReadNumber(text, end, true, value) || end >= text.size() || !IsBlank(text[end])) {
            return false;
        }
        parts[count] = value;
        i = end;
    }
    if (count == 0 || parts[0] >= limit || parts[1] >= 60 || parts[2] >= 60 ||
        (count > 1 && parts[0] != std::floor(parts[0])) ||
        (count > 2 && parts[1] != std::floor(parts[1]))) {
        return false;
    }
    degrees = parts[0] + parts[1] / 60 + parts[2] / 3600;
    if (letter == negative) {
        degrees = -degrees;
    }
    return true;
}

// The position, altitude and description from `i` on. False when they do not read.
bool ReadRest(std::string_view line, std::size_t i, Waypoint& waypoint) {
    double latitude = 0, longitude = 0;
    if (!ReadAngle(line, i, 'N', 'S', 90, latitude) ||
        !ReadAngle(line, i, 'E', 'W', 180, longitude)) {
        return false;
    }
    SkipBlanks(line, i);
    std::size_t altitudeEnd = i;
    while (altitudeEnd < line.size() && !IsBlank(line[altitudeEnd])) {
        ++altitudeEnd;
    }
    double altitude = 0;
    if (!ParseNumber(line.substr(i, altitudeEnd - i), altitude) || std::fabs(altitude) > 1e7) {
        return false;
    }
    waypoint.latitude = DegreesToSemicircles(latitude);
    waypoint.longitude = DegreesToSemicircles(longitude);
    waypoint.altitude = altitude < 0 ? 0 : static_cast<std::int32_t>(altitude);
    SetDescriptionAndKind(line.substr(altitudeEnd), waypoint);
    return true;
}

LineRead ReadLine(std::string_view line, WaypointNamer& namer, Waypoint& waypoint) {
    // The name is the first word; names written with blanks in them ("Golden G") reach up to
    // the first place where the rest of the line reads.
    std::size_t end = 0;
    bool read = false;
    while (!read) {
        while (end < line.size() && !IsBlank(line[end])) {
            ++end;
        }
        if (end >= line.size()) {
            return LineRead::kBad;
        }
        read = ReadRest(line, end, waypoint);
        if (!read) {
            SkipBlanks(line, end);
        }
    }
    std::string_view name = line.substr(0, end);
    while (!name.empty() && IsBlank(name.back())) {
        name.remove_suffix(1);
    }
    return LineReadOfName(namer.Name(name, waypoint));
}

constexpr std::string_view kExtensions[] = {"wpt"};

}  // namespace

void SetDescriptionAndKind(std::string_view rest, Waypoint& waypoint) {
    rest = TrimBlanks(rest);
    waypoint.kind = kWaypointKindPoint;
    if (rest.size() >= 3 &&
        (rest.substr(rest.size() - 3) == "[A]" || rest.substr(rest.size() - 3) == "[a]")) {
        waypoint.kind = kWaypointKindAirfield;
        rest.remove_suffix(3);
    }
    waypoint.SetDescription(ConvertWaypointComment(rest));
}

std::string SafeTrailingDescription(const Waypoint& waypoint) {
    std::string text(waypoint.Description());
    if (waypoint.kind != kWaypointKindAirfield && text.size() >= 3 &&
        (text.ends_with("[A]") || text.ends_with("[a]"))) {
        text[text.size() - 1] = ')';
        text[text.size() - 3] = '(';
    }
    return text;
}

WaypointReadResult ReadGeoWaypoints(std::string_view text, const WaypointReadOptions& options) {
    return ReadNamedWaypointLines(text, options, 2, &ReadLine);
}

std::string WriteGeoWaypoints(std::span<const Waypoint> waypoints) {
    std::string out = "$FormatGEO\r\n";
    for (const Waypoint& w : waypoints) {
        const std::int32_t lat = SemicirclesToHundredthSeconds(w.latitude);
        const std::int32_t lon = SemicirclesToHundredthSeconds(w.longitude);
        const long long a = std::llabs(static_cast<long long>(lat));
        const long long o = std::llabs(static_cast<long long>(lon));
        out += StringPrintf(
            "%-10s%c %02lld %02lld %02lld.%02lld    %c %03lld %02lld %02lld.%02lld "
            "%5d  %s",
            BlankFreeId(w.Id()).c_str(), lat < 0 ? 'S' : 'N', a / 360000, a / 6000 % 60,
            a / 100 % 60, a % 100, lon < 0 ? 'W' : 'E', o / 360000, o / 6000 % 60, o / 100 % 60,
            o % 100, w.altitude, SafeTrailingDescription(w).c_str());
        if (w.kind == kWaypointKindAirfield) {
            out += " [A]";
        }
        out += "\r\n";
    }
    return out;
}

const formats::FormatRecord kGeoWaypointFormat = WaypointFormat(
    "geo-waypoints", "Geographical files", kExtensions, &WriteWaypointDocument<&WriteGeoWaypoints>);

}  // namespace tracora::waypoints
