#include "formats/igc/igc_names.hpp"

#include "core/strings.hpp"
#include "core/text_forms.hpp"

namespace tracora::igc {
namespace {

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

char Base36Digit(int value) {
    if (value < 0 || value > 35) {
        return '?';
    }
    return static_cast<char>(value < 10 ? '0' + value : 'A' + value - 10);
}

std::string IgcProposedName(IgcNameStyle style, const CalendarTime& date,
                            std::string_view manufacturer, std::string_view serial, int flight) {
    const std::string code(manufacturer);
    const std::string number(serial);
    switch (style) {
        case IgcNameStyle::kLong:
            return StringPrintf("%d-%02d-%02d-%s-%s-%02d.igc", date.year, date.month, date.day,
                                code.c_str(), number.c_str(), flight);
        case IgcNameStyle::kShort:
            return StringPrintf("%d%c%cX%s%c.igc", date.year % 10, Base36Digit(date.month),
                                Base36Digit(date.day), number.c_str(), Base36Digit(flight));
        case IgcNameStyle::kNone:
            break;
    }
    return {};
}

std::string NormaliseBlanks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == ' ') {
            if (!out.empty() && out.back() != ' ') {
                out += ' ';
            }
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

const char* CheckFlightNumber(std::string_view text, int& flight) {
    long long value = 0;
    switch (ParseIntegerField(text, value)) {
        case kFieldEmpty:
            return "Missing flight number";
        case kFieldNotInteger:
            return "Bad flight number input";
        default:
            break;
    }
    if (value < 1 || value > kMaxFlightNumber) {
        return "Flight number out of range";
    }
    flight = static_cast<int>(value);
    return nullptr;
}

const char* CheckIgcParameters(std::string_view pilot, std::string_view flightNumber,
                               std::string_view frSerial, int& flight) {
    if (NormaliseBlanks(pilot).empty()) {
        return "Missing pilot name";
    }
    if (const char* error = CheckFlightNumber(flightNumber, flight)) {
        return error;
    }
    if (frSerial.empty()) {
        return "Missing FR serial number";
    }
    if (frSerial.size() != 3) {
        return "FR serial number string too short";
    }
    for (const char c : frSerial) {
        if (!IsAlnum(c)) {
            return "FR serial number not alpha-numeric";
        }
    }
    return nullptr;
}

std::string IgcLogName(IgcNameKind kind, const CalendarTime& date, std::string_view serial,
                       int flightNumber) {
    const int serialLength = static_cast<int>(serial.size());
    if (kind == IgcNameKind::kRawLog) {
        return StringPrintf("%d-%02d-%02d-xxx-%.*s-%02d.igc", date.year, date.month, date.day,
                            serialLength, serial.data(), flightNumber);
    }
    return StringPrintf("%d-%02d-%02d-xtr-%.*s-%02d.igc", date.year, date.month, date.day,
                        serialLength, serial.data(), flightNumber);
}

int IgcLogPath(std::string_view directory, IgcNameKind kind, const CalendarTime& date,
               std::string_view serial, int flightNumber, std::string& out) {
    // The longest path the program writes, as the command line's other file names.
    constexpr std::size_t kPathMax = 260;
    std::string path(directory);
    path += IgcLogName(kind, date, serial, flightNumber);
    if (path.size() >= kPathMax)
        return -1;
    out = std::move(path);
    return 0;
}

}  // namespace tracora::igc
