#include "formats/igc/igc_reader.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "formats/common/coordinate_text.hpp"
#include "formats/igc/igc_security.hpp"

namespace tracora::igc {
namespace {

// Characters of a line beyond this are not looked at (extensions past the fixed fields).
constexpr std::size_t kLineBuffer = 80;
constexpr std::size_t kFirstCapacity = 800;
constexpr int kMidnightStepSeconds = 3600;
constexpr std::uint32_t kDaySeconds = 86400;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The digits of line[from, from + count) as a number, or -1 when one is missing or no digit.
int Digits(std::string_view line, std::size_t from, std::size_t count) {
    if (from + count > line.size()) {
        return -1;
    }
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (!IsDigit(line[i])) {
            return -1;
        }
        value = value * 10 + (line[i] - '0');
    }
    return value;
}

// Five digits, or a minus sign and four digits. False when neither.
bool Altitude(std::string_view line, std::size_t from, int& value) {
    if (from < line.size() && line[from] == '-') {
        const int digits = Digits(line, from + 1, 4);
        value = -digits;
        return digits >= 0;
    }
    value = Digits(line, from, 5);
    return value >= 0;
}

// The date of "HFDTEddmmyy", or of "HFDTEDATE:ddmmyy" with an optional ",nn" flight number
// (the form current recorders write). 0 and `base` set, or 1 (the fault code).
int ParseDate(std::string_view line, std::uint32_t& base) {
    std::string_view rest = line.substr(5);
    constexpr std::string_view kLongForm = "DATE:";
    if (rest.starts_with(kLongForm)) {
        rest.remove_prefix(kLongForm.size());
        if (rest.size() > 6) {
            const std::string_view number = rest.substr(6);
            if (number.size() < 2 || number[0] != ',') {
                return 1;
            }
            for (const char c : number.substr(1)) {
                if (!IsDigit(c)) {
                    return 1;
                }
            }
            rest = rest.substr(0, 6);
        }
    }
    if (rest.size() != 6) {
        return 1;
    }
    const int day = Digits(rest, 0, 2);
    const int month = Digits(rest, 2, 2);
    const int year = Digits(rest, 4, 2);
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0) {
        return 1;
    }
    CalendarTime calendar;
    calendar.year = 2000 + year;
    calendar.month = month;
    calendar.day = day;
    base = CalendarToTime(calendar);
    return 0;
}

// One angle field: degrees, thousandths of minutes and the hemisphere letter.
int ParseAngle(std::string_view line, std::size_t from, std::size_t degreeDigits, int maxDegrees,
               char positive, char negative, int firstCode, std::int32_t& semicircles) {
    const int degrees = Digits(line, from, degreeDigits);
    if (degrees < 0) {
        return firstCode;
    }
    if (degrees > maxDegrees) {
        return firstCode + 1;
    }
    const int milliMinutes = Digits(line, from + degreeDigits, 5);
    if (milliMinutes < 0) {
        return firstCode + 2;
    }
    if (milliMinutes > 60000) {
        return firstCode + 3;
    }
    const std::size_t hemisphere = from + degreeDigits + 5;
    if (hemisphere >= line.size() ||
        (line[hemisphere] != positive && line[hemisphere] != negative)) {
        return firstCode + 4;
    }
    std::int32_t value = degrees * 60000 + milliMinutes;
    if (line[hemisphere] == negative) {
        value = -value;
    }
    semicircles = formats::MilliMinutesToSemicircles(value);
    return 0;
}

// A B-record into a point (time of day in `point.time`). 0, or the fault code.
int ParseBRecord(std::string_view line, TrackPoint& point) {
    const int hour = Digits(line, 1, 2);
    if (hour < 0) {
        return 1;
    }
    if (hour > 23) {
        return 2;
    }
    const int minute = Digits(line, 3, 2);
    if (minute < 0) {
        return 3;
    }
    if (minute > 59) {
        return 4;
    }
    const int second = Digits(line, 5, 2);
    if (second < 0) {
        return 5;
    }
    if (second > 59) {
        return 6;
    }
    int code = ParseAngle(line, 7, 2, 89, 'N', 'S', 7, point.latitude);
    if (code != 0) {
        return code;
    }
    code = ParseAngle(line, 15, 3, 179, 'E', 'W', 12, point.longitude);
    if (code != 0) {
        return code;
    }
    if (line.size() <= 24) {
        return 17;
    }
    int pressure = 0;
    int gps = 0;
    if (!Altitude(line, 25, pressure) || !Altitude(line, 30, gps)) {
        return 18;
    }
    point.pressureAltitude = pressure;
    point.gpsAltitude = gps * 10;
    point.time = static_cast<std::uint32_t>(hour * 3600 + minute * 60 + second);
    return 0;
}

// What a B-record fault code means, in words.
const char* PositionFaultText(int code) {
    static constexpr const char* kTexts[] = {
        "the hour of the time is not a number",
        "the hour of the time is above 23",
        "the minutes of the time are not a number",
        "the minutes of the time are above 59",
        "the seconds of the time are not a number",
        "the seconds of the time are above 59",
        "the latitude's degrees are not a number",
        "the latitude is above 89 degrees",
        "the latitude's minutes are not a number",
        "the latitude's minutes are above 60",
        "the latitude has no N or S",
        "the longitude's degrees are not a number",
        "the longitude is above 179 degrees",
        "the longitude's minutes are not a number",
        "the longitude's minutes are above 60",
        "the longitude has no E or W",
        "the line ends before the altitudes",
        "the altitudes are not numbers",
    };
    return code >= 1 && code <= static_cast<int>(std::size(kTexts)) ? kTexts[code - 1]
                                                                    : "the position is unreadable";
}

// The next line of `text` from `position`, without its end: lines end in CR LF, LF or a lone
// CR (as some old programs write them), and a last line without an end is read as well.
// `position` moves past the line's end.
std::string_view NextLine(std::string_view text, std::size_t& position) {
    std::size_t end = text.find_first_of("\r\n", position);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    const std::string_view line = text.substr(position, end - position);
    position = end + 1;
    if (end < text.size() && text[end] == '\r' && position < text.size() &&
        text[position] == '\n') {
        ++position;
    }
    return line;
}

int Fail(IgcParseResult& out, std::string text) {
    out.points.clear();
    out.points.shrink_to_fit();
    out.error = std::move(text);
    return 0;
}

int Parse(std::string_view text, IgcParseResult& out) {
    bool haveDate = false;
    bool haveA = false;
    std::uint32_t dateBase = 0;
    std::uint32_t previousTimeOfDay = 0;
    // A B-record has at least 35 characters and a line end: room for every one the text can
    // hold, so that a long flight's points are not moved while they are read.
    out.points.reserve(std::max<std::size_t>(kFirstCapacity, text.size() / 36 + 1));
    std::size_t position = 0;
    int lineNumber = 0;
    while (position < text.size()) {
        std::string_view line = NextLine(text, position);
        ++lineNumber;
        if (line.size() > kLineBuffer) {
            line = line.substr(0, kLineBuffer);
        }
        if (line.empty()) {
            continue;
        }
        if (line.starts_with("HFDTE")) {
            if (haveDate) {
                return Fail(out, "Multiple date lines");
            }
            if (ParseDate(line, dateBase) != 0) {
                return Fail(out, StringPrintf("Date error %d on line %d", 1, lineNumber));
            }
            haveDate = true;
        } else if (line[0] == 'A') {
            if (haveA) {
                return Fail(out, "Multiple A-records");
            }
            if (line.size() < 4) {
                return Fail(out, "Too short A-record");
            }
            if (!IsAlnum(line[1]) || !IsAlnum(line[2]) || !IsAlnum(line[3])) {
                return Fail(out, "Bad IGC manufacturer found in the A-record");
            }
            out.manufacturer.assign(line.substr(1, 3));
            if (line.size() < 5 || line[4] == ' ') {
                out.serial = "000";
            } else if (line.size() < 7 || !IsAlnum(line[4]) || !IsAlnum(line[5]) ||
                       !IsAlnum(line[6])) {
                return Fail(out, "Bad serial number found in the A-record");
            } else {
                out.serial.assign(line.substr(4, 3));
            }
            haveA = true;
        } else if (line[0] == 'B') {
            if (!haveDate) {
                // Say where the date is, if anywhere: the fixes need it before them.
                const bool dateLater =
                    text.find("\nHFDTE", position - 1) != std::string_view::npos ||
                    text.find("\rHFDTE", position - 1) != std::string_view::npos;
                return Fail(out, dateLater
                                     ? "Missing date line: the date (HFDTE) line comes after the "
                                       "first position, on line " +
                                           std::to_string(lineNumber) +
                                           "; it must come before the positions"
                                     : "Missing date line: the file has no date (HFDTE) line "
                                       "before its first position, on line " +
                                           std::to_string(lineNumber));
            }
            TrackPoint point;
            const int code = ParseBRecord(line, point);
            if (code != 0) {
                return Fail(out, StringPrintf("Pos. error %d on line %d: %s", code, lineNumber,
                                              PositionFaultText(code)));
            }
            const std::uint32_t timeOfDay = point.time;
            if (!out.points.empty() && previousTimeOfDay >= timeOfDay + kMidnightStepSeconds) {
                dateBase += kDaySeconds;
            }
            previousTimeOfDay = timeOfDay;
            point.time = dateBase + timeOfDay;
            point.flags = out.points.empty() ? TrackPoint::kSegmentStart : 0;
            out.points.push_back(point);
        }
    }
    if (!haveA) {
        return Fail(out, "No A-record found");
    }
    if (out.points.empty()) {
        return Fail(out, "No positions found");
    }
    return static_cast<int>(out.points.size());
}

}  // namespace

int ParseIgc(std::string_view text, IgcParseResult& out) {
    out = IgcParseResult{};
    try {
        return Parse(text, out);
    } catch (const std::bad_alloc&) {
        return Fail(out, "Memory allocation error");
    }
}

int ReadRawIgcDetails(std::string_view text, RawIgcDetails& out) {
    IgcParseResult parsed;
    if (ParseIgc(text, parsed) <= 0) {
        return -1;
    }
    out.manufacturer = parsed.manufacturer;
    out.serial = parsed.serial;
    out.firstTime = parsed.points.front().time;
    return 0;
}

IgcSourceHeader ReadIgcSourceHeader(std::string_view text) {
    IgcSourceHeader header;
    std::size_t position = 0;
    while (position < text.size()) {
        const std::string_view line = NextLine(text, position);
        if (line.empty()) {
            continue;
        }
        if (line[0] == 'A' && header.aRecord.empty()) {
            header.aRecord.assign(line);
        } else if (line[0] == 'L') {
            header.lRecords.emplace_back(line);
        } else if (line[0] == 'H' && line.size() >= 5) {
            const std::string_view code = line.substr(2, 3);
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                continue;
            }
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') {
                value.remove_prefix(1);
            }
            std::string* field = code == "PLT"   ? &header.pilot
                                 : code == "GTY" ? &header.gliderType
                                 : code == "GID" ? &header.gliderId
                                 : code == "CID" ? &header.competitionId
                                 : code == "CCL" ? &header.gliderClass
                                 : code == "SIT" ? &header.site
                                                 : nullptr;
            if (field != nullptr && field->empty()) {
                field->assign(value);
            }
        }
    }
    return header;
}

}  // namespace tracora::igc
