#include "formats/seeyou/seeyou_waypoints.hpp"

#include <cmath>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "formats/common/coordinate_text.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::waypoints {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Splits at commas outside double quotes into at most `maxFields` fields (the last takes the
// rest). False when a quote is left open.
bool SplitQuoted(std::string_view line, std::size_t maxFields,
                 std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ',' && !quoted && fields.size() + 1 < maxFields) {
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(line.substr(start));
    return true;
}

// A field without blanks around it and, when it is quoted, without its quotes. False for an
// opening quote without a closing one.
bool Unquote(std::string_view field, std::string_view& text) {
    field = TrimBlanks(field);
    if (!field.empty() && field.front() == '"') {
        if (field.size() < 2 || field.back() != '"') {
            return false;
        }
        field = field.substr(1, field.size() - 2);
    }
    text = field;
    return true;
}

// DDMM.mmmN or DDDMM.mmmE: degrees in `degrees`.
bool ReadAngle(std::string_view field, int degreeDigits, char positive, char negative, int limit,
               double& degrees) {
    field = TrimBlanks(field);
    if (field.size() < static_cast<std::size_t>(degreeDigits) + 5) {
        return false;
    }
    const char hemisphere = static_cast<char>(
        field.back() >= 'a' && field.back() <= 'z' ? field.back() - 32 : field.back());
    if (hemisphere != positive && hemisphere != negative) {
        return false;
    }
    field.remove_suffix(1);
    int whole = 0;
    for (int i = 0; i < degreeDigits; ++i) {
        if (!IsDigit(field[static_cast<std::size_t>(i)])) {
            return false;
        }
        whole = whole * 10 + (field[static_cast<std::size_t>(i)] - '0');
    }
    const std::string_view minuteText = field.substr(static_cast<std::size_t>(degreeDigits));
    if (minuteText.size() < 2 || !IsDigit(minuteText[0]) || !IsDigit(minuteText[1])) {
        return false;
    }
    double minutes = 0;
    if (!ParseNumber(minuteText, minutes) || minutes < 0 || minutes >= 60 || whole >= limit) {
        return false;
    }
    degrees = whole + minutes / 60;
    if (hemisphere == negative) {
        degrees = -degrees;
    }
    return true;
}

// A number followed by "m" or "M" (metres) or "ft" in any case (feet), truncated to metres. An
// empty field (an unknown elevation, as other programs write it) is 0.
bool ReadElevation(std::string_view field, std::int32_t& metres) {
    field = TrimBlanks(field);
    if (field.empty()) {
        metres = 0;
        return true;
    }
    double factor = 1;
    if (field.size() >= 2 && (field.back() == 't' || field.back() == 'T') &&
        (field[field.size() - 2] == 'f' || field[field.size() - 2] == 'F')) {
        factor = 0.3048;
        field.remove_suffix(2);
    } else if (!field.empty() && (field.back() == 'm' || field.back() == 'M')) {
        field.remove_suffix(1);
    } else {
        return false;
    }
    double value = 0;
    if (!ParseNumber(field, value) || std::fabs(value) > 1e7) {
        return false;
    }
    metres = static_cast<std::int32_t>(value * factor);
    return true;
}

LineRead ReadLine(std::string_view line, const WaypointReadOptions& options, Waypoint& waypoint) {
    std::vector<std::string_view> fields;
    if (!SplitQuoted(line, 8, fields) || fields.size() < 7) {
        return LineRead::kBad;
    }
    std::string_view name, code;
    if (!Unquote(fields[0], name) || !Unquote(fields[1], code)) {
        return LineRead::kBad;
    }
    waypoint.SetDescription(FirstCharacters(name, 40));
    std::string id;
    for (std::size_t i = 0; i < code.size() && id.size() < 6 && code[i] != ' '; ++i) {
        const char c = code[i];
        id += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    waypoint.SetId(id);
    double latitude = 0, longitude = 0;
    if (!ReadAngle(fields[3], 2, 'N', 'S', 90, latitude) ||
        !ReadAngle(fields[4], 3, 'E', 'W', 180, longitude)) {
        return LineRead::kBad;
    }
    waypoint.latitude = DegreesToSemicircles(latitude);
    waypoint.longitude = DegreesToSemicircles(longitude);
    if (!ReadElevation(fields[5], waypoint.altitude)) {
        return LineRead::kBad;
    }
    waypoint.kind = kWaypointKindPoint;
    const std::string_view style = TrimBlanks(fields[6]);
    if (!style.empty()) {
        long long value = 0;
        if (!ParseUnsigned(style, value)) {
            return LineRead::kBad;
        }
        if (value == 2 || value == 5) {
            waypoint.kind = kWaypointKindAirfield;
        }
    }
    waypoint.time = options.readTime;
    return LineRead::kWaypoint;
}

constexpr std::string_view kExtensions[] = {"cup"};

}  // namespace

WaypointReadResult ReadSeeYouWaypoints(std::string_view text, const WaypointReadOptions& options) {
    bool header = true;
    return ReadWaypointLines(
        text, kSeeYouTitle,
        [&](std::string_view line, int, Waypoint& waypoint, std::span<Waypoint>) {
            if (header) {
                header = false;
                return LineRead::kSkip;
            }
            if (line.starts_with("-----")) {
                return LineRead::kEnd;
            }
            // Comment lines, as some files carry under their header.
            if (line.front() == '*') {
                return LineRead::kSkip;
            }
            return ReadLine(line, options, waypoint);
        });
}

std::string WriteSeeYouWaypoints(std::span<const Waypoint> waypoints) {
    std::string out = "name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n";
    for (const Waypoint& w : waypoints) {
        const std::string_view name = w.Description().empty() ? w.Id() : w.Description();
        const formats::DegreeMinutes lat =
            formats::SplitMilliMinutes(formats::SemicirclesToMilliMinutes(w.latitude));
        const formats::DegreeMinutes lon =
            formats::SplitMilliMinutes(formats::SemicirclesToMilliMinutes(w.longitude));
        out += StringPrintf(
            "\"%s\",%s,,%02d%02d.%03d%c,%03d%02d.%03d%c,%d.0m,%d,,,,\r\n",
            ReplaceCharacters(ReplaceCharacters(name, "\"", '\''), ",", ';').c_str(),
            ReplaceCharacters(w.Id(), ",\"", '-').c_str(), lat.degrees, lat.minutes,
            lat.thousandths, lat.negative ? 'S' : 'N', lon.degrees, lon.minutes, lon.thousandths,
            lon.negative ? 'W' : 'E', w.altitude, w.kind == kWaypointKindAirfield ? 2 : 1);
    }
    return out;
}

const formats::FormatRecord kSeeYouFormat = WaypointFormat(
    "seeyou", "SeeYou files", kExtensions, &WriteWaypointDocument<&WriteSeeYouWaypoints>);

}  // namespace tracora::waypoints
