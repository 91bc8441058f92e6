#include "formats/winpilot/winpilot_waypoints.hpp"

#include <cmath>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "formats/common/coordinate_text.hpp"
#include "formats/dat_log/dat_log.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::waypoints {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits at `i` as a whole number (at most 9). False when there is none.
bool ReadWhole(std::string_view text, std::size_t& i, long long& value) {
    const std::size_t start = i;
    value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 9) {
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    return i > start;
}

// "DD:MM.mmmN", "DD:MM:SSN" or "DDN": degrees in `degrees`.
bool ReadAngle(std::string_view field, char positive, char negative, int limit, double& degrees) {
    field = TrimBlanks(field);
    std::size_t i = 0;
    long long whole = 0;
    if (!ReadWhole(field, i, whole) || whole >= limit) {
        return false;
    }
    double value = static_cast<double>(whole);
    if (i < field.size() && field[i] == ':') {
        ++i;
        long long minutes = 0;
        if (!ReadWhole(field, i, minutes) || minutes >= 60) {
            return false;
        }
        double minuteValue = static_cast<double>(minutes);
        if (i < field.size() && field[i] == '.') {
            ++i;
            double scale = 0.1;
            const std::size_t start = i;
            while (i < field.size() && IsDigit(field[i])) {
                minuteValue += (field[i] - '0') * scale;
                scale /= 10;
                ++i;
            }
            if (i == start) {
                return false;
            }
        } else if (i < field.size() && field[i] == ':') {
            ++i;
            long long seconds = 0;
            if (!ReadWhole(field, i, seconds) || seconds >= 60) {
                return false;
            }
            minuteValue += static_cast<double>(seconds) / 60.0;
        }
        value += minuteValue / 60;
    }
    if (i + 1 != field.size()) {
        return false;
    }
    const char letter =
        field[i] >= 'a' && field[i] <= 'z' ? static_cast<char>(field[i] - 32) : field[i];
    if (letter != positive && letter != negative) {
        return false;
    }
    degrees = letter == negative ? -value : value;
    return true;
}

// "+ 1200.5M", "1200", "3500F": metres, rounded. An empty field (an unknown altitude, as other
// programs write it) is 0.
bool ReadAltitude(std::string_view field, std::int32_t& metres) {
    field = TrimBlanks(field);
    if (field.empty()) {
        metres = 0;
        return true;
    }
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field.remove_prefix(1);
        field = TrimBlanks(field);
    }
    double factor = 1;
    if (!field.empty() && (field.back() == 'F' || field.back() == 'f')) {
        factor = 0.3048;
        field.remove_suffix(1);
    } else if (!field.empty() && (field.back() == 'M' || field.back() == 'm')) {
        field.remove_suffix(1);
    }
    if (field.empty() || !IsDigit(field.front())) {
        return false;
    }
    double value = 0;
    if (!ParseNumber(field, value) || value > 1e7) {
        return false;
    }
    metres = RoundHalfAwayFromZero((negative ? -value : value) * factor);
    return true;
}

LineRead ReadLine(std::string_view line, const WaypointReadOptions& options, Waypoint& waypoint) {
    const std::vector<std::string_view> fields = SplitFields(line, ',');
    if (fields.size() < 6) {
        return LineRead::kBad;
    }
    // The waypoint number becomes the ID.
    std::string id;
    const std::string_view number = TrimBlanks(fields[0]);
    for (std::size_t i = 0; i < number.size() && id.size() < 6 && number[i] != ' '; ++i) {
        const char c = number[i];
        id += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    waypoint.SetId(id);
    double latitude = 0, longitude = 0;
    if (!ReadAngle(fields[1], 'N', 'S', 90, latitude) ||
        !ReadAngle(fields[2], 'E', 'W', 180, longitude) ||
        !ReadAltitude(fields[3], waypoint.altitude)) {
        return LineRead::kBad;
    }
    waypoint.latitude = DegreesToSemicircles(latitude);
    waypoint.longitude = DegreesToSemicircles(longitude);
    const std::string_view flags = TrimBlanks(fields[4]);
    waypoint.kind =
        !flags.empty() && flags.front() == 'A' ? kWaypointKindAirfield : kWaypointKindPoint;
    waypoint.SetDescription(FirstCharacters(fields[5], 40));
    waypoint.time = options.readTime;
    return LineRead::kWaypoint;
}

// Text for a field of the file: Latin-1, ';' for a comma, at most `length` characters.
std::string FieldText(std::string_view text, std::size_t length) {
    return Utf8ToLatin1(FirstCharacters(ReplaceCharacters(text, ",", ';'), length));
}

constexpr std::string_view kExtensions[] = {"dat"};

}  // namespace

WaypointReadResult ReadWinPilotWaypoints(std::string_view text,
                                         const WaypointReadOptions& options) {
    return ReadWaypointLines(
        text, kWinPilotTitle,
        [&](std::string_view line, int, Waypoint& waypoint, std::span<Waypoint>) {
            if (line.front() == '*') {
                return LineRead::kSkip;
            }
            return ReadLine(line, options, waypoint);
        });
}

std::string WriteWinPilotWaypoints(std::span<const Waypoint> waypoints) {
    std::string out;
    int number = 0;
    for (const Waypoint& w : waypoints) {
        const formats::DegreeMinutes lat =
            formats::SplitMilliMinutes(formats::SemicirclesToMilliMinutes(w.latitude));
        const formats::DegreeMinutes lon =
            formats::SplitMilliMinutes(formats::SemicirclesToMilliMinutes(w.longitude));
        out += StringPrintf("%d,%d:%02d.%03d%c,%d:%02d.%03d%c,%d,%c,%s,%s\r\n", ++number,
                            lat.degrees, lat.minutes, lat.thousandths, lat.negative ? 'S' : 'N',
                            lon.degrees, lon.minutes, lon.thousandths, lon.negative ? 'W' : 'E',
                            w.altitude, w.kind == kWaypointKindAirfield ? 'A' : 'T',
                            FieldText(w.Id(), 12).c_str(), FieldText(w.Description(), 12).c_str());
    }
    return out;
}

// .dat is also the extension of the binary position log: one reader tells them apart by content.
constinit const formats::FormatRecord kWinPilotFormat = [] {
    formats::FormatRecord record = WaypointFormat("winpilot", "WinPilot files", kExtensions,
                                                  &WriteWaypointDocument<&WriteWinPilotWaypoints>);
    record.read = &dat::ReadDatFileOfRegistry;
    return record;
}();

}  // namespace tracora::waypoints
