#include "core/airspace.hpp"

#include <array>

#include "core/strings.hpp"

namespace tracora {

namespace {

constexpr std::array<std::string_view, kCtrClassCount> kClassNames = {
    "A", "B", "C", "D", "E", "P", "Q", "R", "W", "CTR", "CTZ", "GP", "?",
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The leading digits of `text` as a number, saturating far above any altitude.
std::int32_t LeadingNumber(std::string_view text) {
    std::int64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > 10000000) {
            value = 10000000;
        }
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::string_view CtrClassName(int code) {
    if (code < 0 || code >= kCtrClassCount) {
        return kClassNames[kCtrClassOther];
    }
    return kClassNames[static_cast<std::size_t>(code)];
}

int CtrClassCode(std::string_view text) {
    for (int code = 0; code < kCtrClassOther; ++code) {
        if (EqualsIgnoringCase(text, kClassNames[static_cast<std::size_t>(code)])) {
            return code;
        }
    }
    return kCtrClassOther;
}

std::int32_t AirspaceLimitValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    text.remove_prefix(i);
    if (!text.empty() && IsDigit(text.front())) {
        return LeadingNumber(text);
    }
    if (text.size() >= 2 && (text[0] == 'F' || text[0] == 'f') &&
        (text[1] == 'L' || text[1] == 'l')) {
        std::size_t j = 2;
        while (j < text.size() && text[j] == ' ') {
            ++j;
        }
        if (j < text.size() && IsDigit(text[j])) {
            return LeadingNumber(text.substr(j)) * 100;
        }
        return 0;
    }
    if (text.size() >= 9 && EqualsIgnoringCase(text.substr(0, 9), "UNLIMITED")) {
        return 999999;
    }
    return 0;
}

std::string CutUtf8(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return std::string(text);
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace tracora
