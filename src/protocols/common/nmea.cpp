#include "protocols/common/nmea.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/angles.hpp"
#include "core/strings.hpp"

namespace tracora::protocols {

std::uint8_t NmeaChecksum(std::string_view body) {
    std::uint8_t sum = 0;
    for (const char c : body) {
        sum = static_cast<std::uint8_t>(sum ^ static_cast<std::uint8_t>(c));
    }
    return sum;
}

bool HexDigitValue(char c, int& value) {
    if (c >= '0' && c <= '9') {
        value = c - '0';
        return true;
    }
    if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
        return true;
    }
    if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
        return true;
    }
    return false;
}

int SplitNmeaSentence(std::string_view sentence, std::vector<std::string>& fields,
                      std::size_t maxFields) {
    fields.clear();
    const std::string_view text = sentence.substr(0, sentence.find('\0'));
    if (text.empty() || text[0] != '$') {
        return kNmeaNoDollar;
    }
    const std::size_t star = text.find('*');
    if (star == std::string_view::npos) {
        return kNmeaNoStar;
    }
    const std::string_view checksumText = text.substr(star + 1);
    int high = 0;
    int low = 0;
    if (checksumText.size() < 2 || !HexDigitValue(checksumText[0], high) ||
        !HexDigitValue(checksumText[1], low)) {
        return kNmeaBadChecksumDigit;
    }
    if (checksumText.size() > 2) {
        return kNmeaTrailingText;
    }
    if (NmeaChecksum(text.substr(1, star - 1)) != high * 16 + low) {
        return kNmeaChecksumMismatch;
    }
    const std::string_view body = text.substr(0, star);
    std::size_t start = 0;
    while (fields.size() < maxFields) {
        const std::size_t comma = body.find(',', start);
        fields.emplace_back(body.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return static_cast<int>(fields.size());
}

std::string BuildNmeaSentence(std::string_view body) {
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "*%02X\r\n", NmeaChecksum(body));
    std::string sentence = "$";
    sentence += body;
    sentence += checksum;
    return sentence;
}

void AppendDegreesMinutes(std::string& out, std::int32_t milliMinutes, int degreeDigits,
                          char positive, char negative) {
    const std::int64_t magnitude = std::llabs(static_cast<long long>(milliMinutes));
    const long long degrees = magnitude / 60000;
    const long long minutes = magnitude % 60000 / 1000;
    const long long thousandths = magnitude % 1000;
    out += StringPrintf("%0*lld.%03lld,%c", degreeDigits + 2, degrees * 100 + minutes, thousandths,
                        milliMinutes < 0 ? negative : positive);
}

std::int32_t SemicirclesToMilliMinutes(std::int32_t semicircles) {
    // Thousandths of a minute of arc per radian.
    constexpr double kRadiansToMilliMinutes = 3437746.770785;
    const double radians = SemicirclesToRadians(semicircles);
    const auto magnitude =
        static_cast<std::int32_t>(std::fabs(radians) * kRadiansToMilliMinutes + 0.5);
    return radians < 0 ? -magnitude : magnitude;
}

}  // namespace tracora::protocols
