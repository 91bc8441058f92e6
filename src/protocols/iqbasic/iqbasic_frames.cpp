#include "protocols/iqbasic/iqbasic_frames.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/product_data.hpp"
#include "protocols/common/upload_names.hpp"

namespace tracora::protocols::iqbasic {

namespace {

constexpr std::size_t kUploadNameWidth = 16;

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t semicolon = line.find(';', start);
        fields.push_back(line.substr(start, semicolon == std::string_view::npos
                                                ? std::string_view::npos
                                                : semicolon - start));
        if (semicolon == std::string_view::npos) {
            return fields;
        }
        start = semicolon + 1;
    }
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// "N  46'30.000": hemisphere, blanks, degrees, blanks, apostrophe, blanks, minutes. Degrees
// (signed by the hemisphere) or false.
bool ParseAngle(std::string_view text, char positive, char negative, int maxDegrees,
                double& degrees) {
    text = Trim(text);
    if (text.empty()) {
        return false;
    }
    const char hemisphere = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (hemisphere != positive && hemisphere != negative) {
        return false;
    }
    text.remove_prefix(1);
    const std::size_t apostrophe = text.find('\'');
    if (apostrophe == std::string_view::npos) {
        return false;
    }
    int whole = 0;
    if (!ParseSmallDecimal(text.substr(0, apostrophe), whole) || whole >= maxDegrees) {
        return false;
    }
    std::string_view minutesText = text.substr(apostrophe + 1);
    while (!minutesText.empty() && minutesText.front() == ' ') {
        minutesText.remove_prefix(1);
    }
    if (minutesText.empty()) {
        return false;
    }
    bool point = false;
    for (const char c : minutesText) {
        if (c == '.' && !point) {
            point = true;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    double minutes = 0;
    if (ParseDecimal(minutesText, minutes) != 0 || minutes >= 60) {
        return false;
    }
    degrees = whole + minutes / 60.0;
    if (hemisphere == negative) {
        degrees = -degrees;
    }
    return true;
}

}  // namespace

std::string TrackRequest(unsigned trackNumber) {
    return StringPrintf("ACT_21_%02X\r\n", trackNumber);
}

bool DecodeAnswerValue(std::string_view line, std::string_view prefix, std::uint32_t& value) {
    if (!line.starts_with(prefix)) {
        return false;
    }
    std::string_view digits = Trim(line.substr(prefix.size()));
    if (digits.size() % 2 != 0 || digits.size() > 8) {
        return false;
    }
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        int high = 0;
        int low = 0;
        if (!HexDigitValue(digits[i], high) || !HexDigitValue(digits[i + 1], low)) {
            return false;
        }
        v |= static_cast<std::uint32_t>(high * 16 + low) << (4 * i);
    }
    value = v;
    return true;
}

std::string EncodeAnswerValue(std::uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i) {
        out += StringPrintf("%02X", (value >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string ModelName(const IqProduct& product) {
    return product.type == 0 ? "6015" : "IQ-BASIC";
}

std::string DeviceIdentifier(const IqProduct& product) {
    return StringPrintf("%s, SW %u.%u.%02u, S/N %u", ModelName(product).c_str(),
                        product.version / 1000, product.version / 100 % 10, product.version % 100,
                        product.serial);
}

bool ParseTrackListLine(std::string_view line, TrackListLine& out) {
    const std::vector<std::string_view> f = SplitFields(line);
    if (f.size() < 5) {
        return false;
    }
    int number = 0;
    if (!ParseSmallDecimal(f[0], number) || number < 0) {
        return false;
    }
    // YY.MM.DD with blanks allowed, checked as the Flytec list's dates.
    const std::string_view date = f[1];
    const std::size_t dot1 = date.find('.');
    const std::size_t dot2 = dot1 == std::string_view::npos ? dot1 : date.find('.', dot1 + 1);
    int year = 0;
    int month = 0;
    int day = 0;
    if (dot2 == std::string_view::npos || !ParseSmallDecimal(date.substr(0, dot1), year) ||
        !ParseSmallDecimal(date.substr(dot1 + 1, dot2 - dot1 - 1), month) ||
        !ParseSmallDecimal(date.substr(dot2 + 1), day) || year > 99 || month > 99 || day > 99) {
        return false;
    }
    TrackListLine entry;
    if (!ParseFlightDate(StringPrintf("%02d.%02d.%02d", day, month, year), entry.start)) {
        return false;
    }
    int h = 0;
    int m = 0;
    int s = 0;
    if (!ParseClockTime(f[2], entry.start.hour, entry.start.minute, entry.start.second) ||
        !ParseClockTime(f[4], h, m, s)) {
        return false;
    }
    entry.number = static_cast<unsigned>(number);
    entry.durationSeconds = static_cast<std::uint32_t>((h * 60 + m) * 60 + s);
    out = entry;
    return true;
}

int ParseWaypointLine(std::string_view line, std::uint32_t time, Waypoint& out) {
    const std::vector<std::string_view> f = SplitFields(line);
    const std::string name = NormaliseSpaces(Trim(f[0]), f[0].size());
    if (name.empty()) {
        return 1;
    }
    if (f.size() < 3) {
        return 2;
    }
    double altitude = 0;
    if (f.size() >= 4 && ParseDecimal(Trim(f[3]), altitude) != 0) {
        return 3;
    }
    double latitude = 0;
    double longitude = 0;
    if (!ParseAngle(f[1], 'N', 'S', 90, latitude)) {
        return 4;
    }
    if (!ParseAngle(f[2], 'E', 'W', 180, longitude)) {
        return 5;
    }
    Waypoint w;
    w.latitude = DegreesToSemicircles(latitude);
    w.longitude = DegreesToSemicircles(longitude);
    w.altitude =
        static_cast<std::int32_t>(std::clamp(std::lround(altitude), -1'000'000L, 1'000'000L));
    w.SetId(UpperCase(name.substr(0, name.find(' '))).substr(0, 6));
    w.SetDescription(name);
    w.time = time;
    out = w;
    return 0;
}

bool EndsWaypointList(std::string_view line) {
    const std::string text = UpperCase(Trim(line));
    return text == "NO DATA" || text == "DONE";
}

std::string WaypointUploadLine(const Waypoint& waypoint, std::string_view name) {
    std::string clean(name);
    for (char& c : clean) {
        // A ';' would split the line into more fields, CR or LF end it.
        if (c == ';' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    const auto angle = [](std::int32_t semicircles, int degreeDigits, char positive,
                          char negative) {
        const std::int32_t mm = SemicirclesToMilliMinutes(semicircles);
        const long long magnitude = std::llabs(static_cast<long long>(mm));
        return StringPrintf(
            degreeDigits == 2 ? "%c  %02lld'%02lld.%03lld" : "%c %03lld'%02lld.%03lld",
            mm < 0 ? negative : positive, magnitude / 60000, magnitude % 60000 / 1000,
            magnitude % 1000);
    };
    return FixedWidthName(clean, kUploadNameWidth) + ";" + angle(waypoint.latitude, 2, 'N', 'S') +
           ";" + angle(waypoint.longitude, 3, 'E', 'W') +
           StringPrintf(";%6d;   400\r\n", std::clamp(waypoint.altitude, -2000, 10000));
}

std::string TrackListAnswer(unsigned number, const CalendarTime& start,
                            std::uint32_t durationSeconds) {
    return StringPrintf("%u;%02d.%02d.%02d;%02d:%02d:%02d;0;%02u:%02u:%02u\r\n", number,
                        start.year % 100, start.month, start.day, start.hour, start.minute,
                        start.second, durationSeconds / 3600, durationSeconds / 60 % 60,
                        durationSeconds % 60);
}

}  // namespace tracora::protocols::iqbasic
