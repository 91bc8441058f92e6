#include "formats/magellan_track/magellan_track.hpp"

#include <cmath>
#include <cstdlib>
#include <new>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"

namespace tracora::magellan {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    // Upper case only: lower-case checksum digits are refused.
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The body of a sentence between '$' and '*', its checksum checked.
bool SentenceBody(std::string_view line, std::string_view& body) {
    if (line.size() < 4 || line.front() != '$' || line[line.size() - 3] != '*') {
        return false;
    }
    const int high = HexDigit(line[line.size() - 2]);
    const int low = HexDigit(line[line.size() - 1]);
    if (high < 0 || low < 0) {
        return false;
    }
    body = line.substr(1, line.size() - 4);
    unsigned sum = 0;
    for (const char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    return sum == static_cast<unsigned>(high * 16 + low);
}

// Digits with an optional fraction; `maxBefore` digits at most before the point.
bool Decimal(std::string_view text, double& value) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    bool digits = false;
    bool point = false;
    for (const char c : text) {
        if (IsDigit(c)) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits) {
        return false;
    }
    value = std::strtod(std::string(text).c_str(), nullptr);
    return true;
}

// ddmm.mmm (or dddmm.mmm) and the hemisphere letter; degrees.
bool Angle(std::string_view text, std::string_view hemisphere, char positive, char negative,
           double limit, double& degrees) {
    double value = 0;
    if (!Decimal(text, value) || hemisphere.size() != 1 ||
        (hemisphere[0] != positive && hemisphere[0] != negative)) {
        return false;
    }
    const double whole = std::floor(value / 100);
    const double minutes = value - whole * 100;
    degrees = whole + minutes / 60;
    if (!(minutes < 60) || !(degrees < limit)) {
        return false;
    }
    if (hemisphere[0] == negative) {
        degrees = -degrees;
    }
    return true;
}

std::vector<std::string_view> Split(std::string_view body) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = body.find(',', start);
        fields.push_back(body.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

enum class LineResult { kPoint, kSkipped, kBad };

LineResult ReadLine(std::string_view line, TrackPoint& point) {
    std::string_view body;
    if (!SentenceBody(line, body)) {
        return LineResult::kBad;
    }
    const std::vector<std::string_view> f = Split(body);
    if (f.size() < 11 || f[0] != "PMGNTRK") {
        return LineResult::kBad;
    }
    double latitude = 0, longitude = 0;
    if (!Angle(f[1], f[2], 'N', 'S', 90, latitude) ||
        !Angle(f[3], f[4], 'E', 'W', 180, longitude)) {
        return LineResult::kBad;
    }
    // The altitude: an integer, with a sign below sea level.
    std::string_view altitudeText = f[5];
    bool negative = false;
    if (!altitudeText.empty() && (altitudeText[0] == '-' || altitudeText[0] == '+')) {
        negative = altitudeText[0] == '-';
        altitudeText.remove_prefix(1);
    }
    if (altitudeText.empty() || altitudeText.size() > 7) {
        return LineResult::kBad;
    }
    long altitude = 0;
    for (const char c : altitudeText) {
        if (!IsDigit(c)) {
            return LineResult::kBad;
        }
        altitude = altitude * 10 + (c - '0');
    }
    if (negative) {
        altitude = -altitude;
    }
    if (f[6] == "M") {
        point.gpsAltitude = static_cast<std::int32_t>(altitude * 10);
    } else if (f[6] == "F") {
        point.gpsAltitude =
            static_cast<std::int32_t>(std::trunc(static_cast<double>(altitude) * 3.048 + 0.5));
    } else {
        return LineResult::kBad;
    }
    // Time of day hhmmss with an optional fraction.
    const std::string_view timeText = f[7];
    double fraction = 0;
    if (timeText.size() < 6 || !IsDigit(timeText[0]) || !IsDigit(timeText[1]) ||
        !IsDigit(timeText[2]) || !IsDigit(timeText[3]) || !IsDigit(timeText[4]) ||
        !IsDigit(timeText[5])) {
        return LineResult::kBad;
    }
    if (timeText.size() > 6) {
        double withFraction = 0;
        if (timeText[6] != '.' || !Decimal(timeText.substr(6), withFraction)) {
            return LineResult::kBad;
        }
        fraction = withFraction;
    }
    CalendarTime calendar;
    calendar.hour = (timeText[0] - '0') * 10 + (timeText[1] - '0');
    calendar.minute = (timeText[2] - '0') * 10 + (timeText[3] - '0');
    calendar.second = (timeText[4] - '0') * 10 + (timeText[5] - '0');
    if (calendar.hour > 23 || calendar.minute > 59 || calendar.second > 59) {
        return LineResult::kBad;
    }
    if (f[8].size() != 1) {
        return LineResult::kBad;
    }
    const std::string_view dateText = f[10].substr(0, f[10].find('*'));
    if (dateText.size() != 6) {
        return LineResult::kBad;
    }
    for (const char c : dateText) {
        if (!IsDigit(c)) {
            return LineResult::kBad;
        }
    }
    calendar.day = (dateText[0] - '0') * 10 + (dateText[1] - '0');
    calendar.month = (dateText[2] - '0') * 10 + (dateText[3] - '0');
    calendar.year = 2000 + (dateText[4] - '0') * 10 + (dateText[5] - '0');
    if (calendar.day < 1 || calendar.day > 31 || calendar.month < 1 || calendar.month > 12) {
        return LineResult::kBad;
    }
    if (f[8] != "A") {
        return LineResult::kSkipped;
    }
    point.time = CalendarToTime(calendar) + (fraction >= 0.5 ? 1u : 0u);
    point.latitude = DegreesToSemicircles(latitude);
    point.longitude = DegreesToSemicircles(longitude);
    point.pressureAltitude = 0;
    point.flags = 0;
    return LineResult::kPoint;
}

formats::ReadResult ReadMagellan(std::string_view text) {
    formats::ReadResult result;
    MagellanTrackRead read;
    try {
        read = ReadMagellanTrackFile(text);
    } catch (const std::bad_alloc&) {
        read.status = -1;
        read.message = "Memory allocation error";
    }
    if (read.status <= 0) {
        result.status = -1;
        result.message = read.status == 0 ? "No positions found" : std::move(read.message);
        return result;
    }
    result.status = read.status;
    result.track = std::move(read.points);
    result.timesAreUtc = true;
    return result;
}

constexpr std::string_view kExtensions[] = {"log"};

}  // namespace

MagellanTrackRead ReadMagellanTrackFile(std::string_view text) {
    MagellanTrackRead result;
    std::size_t position = 0;
    int number = 0;
    while (position < text.size()) {
        std::size_t end = text.find('\n', position);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(position, end - position);
        position = end + 1;
        ++number;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (number == 1 && line.starts_with("$PMGNFMT,")) {
            continue;
        }
        if (line.starts_with("$PMGNCMD,END")) {
            break;
        }
        if (line.empty()) {
            continue;
        }
        TrackPoint point;
        switch (ReadLine(line, point)) {
            case LineResult::kPoint:
                if (result.points.empty()) {
                    point.flags = TrackPoint::kSegmentStart;
                    result.points.reserve(1000);
                }
                result.points.push_back(point);
                break;
            case LineResult::kSkipped:
                break;
            case LineResult::kBad:
                result.points.clear();
                result.status = -1;
                result.message = StringPrintf("Bad line %d", number);
                return result;
        }
    }
    result.status = static_cast<int>(result.points.size());
    return result;
}

const formats::FormatRecord kMagellanTrackFormat{
    .id = "magellan",
    .name = "Magellan track files",
    .extensions = kExtensions,
    .holds = {.track = true},
    .directions = {.read = true, .write = false},
    .read = &ReadMagellan,
    .write = nullptr,
};

}  // namespace tracora::magellan
