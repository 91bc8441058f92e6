#include "core/text_forms.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/strings.hpp"

namespace tracora {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void SkipSpaces(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
    }
}

bool OnlySpacesFrom(std::string_view text, std::size_t pos) {
    SkipSpaces(text, pos);
    return pos == text.size();
}

// "H DD  MM  SS.hh" with `degreeDigits` digits for the degrees.
std::string FormatAngle(std::int32_t hundredthSeconds, char positive, char negative,
                        int degreeDigits) {
    // 64 bits: the magnitude of INT32_MIN does not fit in 32.
    const long long magnitude = std::llabs(static_cast<long long>(hundredthSeconds));
    const long long degrees = magnitude / 360000;
    const long long minutes = magnitude / 6000 % 60;
    const long long seconds = magnitude / 100 % 60;
    const long long hundredths = magnitude % 100;
    char text[48];
    std::snprintf(text, sizeof text, "%c %0*lld  %02lld  %02lld.%02lld",
                  hundredthSeconds < 0 ? negative : positive, degreeDigits, degrees, minutes,
                  seconds, hundredths);
    return text;
}

// One number of a typed coordinate: digits, optionally followed by '.' or ',' and more
// digits. Leaves `pos` after it; false when no digit starts at `pos`.
struct ScannedNumber {
    double value = 0;
    bool hasFraction = false;
};

bool ScanNumber(std::string_view text, std::size_t& pos, ScannedNumber& number) {
    const std::size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos])) {
        ++pos;
    }
    if (pos == start) {
        return false;
    }
    std::string digits(text.substr(start, pos - start));
    number.hasFraction = false;
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        number.hasFraction = true;
        digits += '.';
        ++pos;
        while (pos < text.size() && IsDigit(text[pos])) {
            digits += text[pos];
            ++pos;
        }
    }
    // from_chars is exact and ignores the locale.
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number.value);
    if (result.ec == std::errc::result_out_of_range) {
        number.value = HUGE_VAL;  // only reachable with hundreds of digits; rejected later
    }
    return true;
}

}  // namespace

std::string FormatLatitude(std::int32_t hundredthSeconds) {
    return FormatAngle(hundredthSeconds, 'N', 'S', 2);
}

std::string FormatLongitude(std::int32_t hundredthSeconds) {
    return FormatAngle(hundredthSeconds, 'E', 'W', 3);
}

std::string FormatUtmZone(int zone, char band) {
    char text[24];
    std::snprintf(text, sizeof text, "%02d%c", zone, band);
    return text;
}

std::string FormatUtmMetres(double metres) {
    char text[24];
    std::snprintf(text, sizeof text, "%07d", static_cast<int>(RoundHalfAwayFromZero(metres)));
    return text;
}

int ParseUtmZone(std::string_view text, int& zone, char& band) {
    std::size_t pos = 0;
    SkipSpaces(text, pos);
    int number = 0;
    bool anyDigit = false;
    while (pos < text.size() && IsDigit(text[pos])) {
        anyDigit = true;
        if (number <= 60) {  // stop growing once too large; the value no longer matters
            number = number * 10 + (text[pos] - '0');
        }
        ++pos;
    }
    if (!anyDigit || number == 0) {
        return -2;
    }
    if (number > 60) {
        return -1;
    }
    SkipSpaces(text, pos);
    if (pos == text.size()) {
        return -3;
    }
    char letter = text[pos];
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    if (letter < 'B' || letter > 'X' || letter == 'I' || letter == 'O') {
        return -3;
    }
    if (!OnlySpacesFrom(text, pos + 1)) {
        return -4;
    }
    zone = number;
    band = letter;
    return 0;
}

int ParseIntegerField(std::string_view text, long long& value) {
    const std::string_view trimmed = TrimBlanks(text, " \t");
    if (trimmed.empty()) {
        return kFieldEmpty;
    }
    std::size_t i = 0;
    bool negative = false;
    if (trimmed[0] == '+' || trimmed[0] == '-') {
        negative = trimmed[0] == '-';
        ++i;
    }
    if (i == trimmed.size()) {
        return kFieldNotInteger;
    }
    long long magnitude = 0;
    for (; i < trimmed.size(); ++i) {
        if (trimmed[i] < '0' || trimmed[i] > '9') {
            return kFieldNotInteger;
        }
        magnitude = std::min(magnitude * 10 + (trimmed[i] - '0'), 1000000LL);
    }
    value = negative ? -magnitude : magnitude;
    return 0;
}

int ParseDecimal(std::string_view text, double& value) {
    std::size_t pos = 0;
    SkipSpaces(text, pos);
    if (pos == text.size() || !(IsDigit(text[pos]) || text[pos] == '+' || text[pos] == '-')) {
        return -1;
    }
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-') {
        negative = text[pos] == '-';
        ++pos;
    }
    std::string number;
    long long integerPart = 0;
    bool anyDigit = false;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (integerPart > 214748364) {
            return -2;
        }
        integerPart = integerPart * 10 + (text[pos] - '0');
        number += text[pos];
        anyDigit = true;
        ++pos;
    }
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        number += '.';
        ++pos;
        while (pos < text.size() && IsDigit(text[pos])) {
            number += text[pos];
            anyDigit = true;
            ++pos;
        }
    }
    // A lone sign or decimal mark is not a number (it must not read as 0).
    if (!anyDigit) {
        return -1;
    }
    if (!OnlySpacesFrom(text, pos)) {
        return -4;
    }
    double magnitude = 0;
    std::from_chars(number.data(), number.data() + number.size(), magnitude);
    value = negative ? -magnitude : magnitude;
    return 0;
}

int ParseAngle(std::string_view text, AngleKind kind, double& radians) {
    const bool latitude = kind == AngleKind::kLatitude;
    const char positive = latitude ? 'N' : 'E';
    const char negative = latitude ? 'S' : 'W';
    const double degreeLimit = latitude ? 90 : 180;

    std::size_t pos = 0;
    SkipSpaces(text, pos);
    double sign = 1;
    if (pos < text.size()) {
        const char c = text[pos];
        if (c == '+' || c == positive || c == positive - 'A' + 'a') {
            ++pos;
        } else if (c == '-' || c == negative || c == negative - 'A' + 'a') {
            sign = -1;
            ++pos;
        }
    }

    // Degrees, then optional minutes, then optional seconds; only the last may carry a
    // fraction.
    double parts[3] = {0, 0, 0};
    int count = 0;
    for (;;) {
        SkipSpaces(text, pos);
        if (pos == text.size()) {
            break;
        }
        if (count == 3) {
            return -1;
        }
        ScannedNumber number;
        if (!ScanNumber(text, pos, number)) {
            return -1;
        }
        // The number must end at a space or the end of the text.
        if (pos < text.size() && !IsSpace(text[pos])) {
            return -1;
        }
        parts[count++] = number.value;
        if (number.hasFraction) {
            if (!OnlySpacesFrom(text, pos)) {
                return -1;
            }
            break;
        }
    }
    if (count == 0) {
        return -1;
    }
    if (!(parts[0] < degreeLimit) || !(parts[1] < 60) || !(parts[2] < 60)) {
        return -1;
    }
    const double degrees = parts[0] + parts[1] / 60 + parts[2] / 3600;
    radians = sign * degrees * (kPi / 180);
    return 0;
}

std::string FormatCount(std::string_view pattern, long long a, long long b, long long c,
                        long long d) {
    const long long arguments[4] = {a, b, c, d};
    std::string text;
    text.reserve(pattern.size() + 16);
    int used = 0;
    for (const char ch : pattern) {
        if (ch != '%') {
            text += ch;
            continue;
        }
        text += std::to_string(arguments[used]);
        if (used < 3) {
            ++used;
        }
    }
    return text;
}

}  // namespace tracora
