#include "formats/waypoint_text/waypoint_text.hpp"

#include <cmath>
#include <cstdlib>

#include "core/strings.hpp"
#include "formats/common/text_encoding.hpp"

namespace tracora::waypoints {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsUpperOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Letters of Latin-1 and Latin Extended-A (U+00C0 to U+017F without the two signs).
bool IsLatinLetter(char32_t code) {
    return (code >= 0xC0 && code <= 0x17F && code != 0xD7 && code != 0xF7);
}

}  // namespace

int ConvertWaypointName(std::string_view text, std::string& id, bool lenient) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (i >= text.size()) {
        return kNameEmpty;
    }
    std::string stored;
    while (i < text.size() && !IsBlank(text[i]) && stored.size() < 6) {
        const char c = text[i];
        std::size_t length = 1;
        if (static_cast<unsigned char>(c) >= 0x80) {
            formats::DecodeUtf8At(text, i, length);
        }
        if (IsUpperOrDigit(c)) {
            stored += c;
        } else if (!lenient) {
            return kNameNeedsChange;
        } else if (c >= 'a' && c <= 'z') {
            stored += static_cast<char>(c - 'a' + 'A');
        } else {
            stored += '-';
        }
        i += length;
    }
    if (i < text.size() && !IsBlank(text[i]) && !lenient) {
        return kNameNeedsChange;
    }
    id = stored;
    return 0;
}

std::string ConvertWaypointComment(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    std::string out;
    std::size_t characters = 0;
    while (i < text.size() && characters < 40) {
        const char c = text[i];
        std::size_t length = 1;
        if (static_cast<unsigned char>(c) >= 0x80) {
            const char32_t code = formats::DecodeUtf8At(text, i, length);
            if (IsLatinLetter(code)) {
                out.append(text.substr(i, length));
            } else {
                out += '-';
            }
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == ' ' || c == '-') {
            out += c;
        } else {
            out += '-';
        }
        i += length;
        ++characters;
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

WaypointReadResult BadLine(const char* title, int line) {
    WaypointReadResult result;
    result.status = -1;
    result.title = title;
    result.message = StringPrintf("Bad line %d", line);
    return result;
}

LineRead LineReadOfName(WaypointNamer::Outcome outcome) {
    switch (outcome) {
        case WaypointNamer::Outcome::kNamed:
            return LineRead::kWaypoint;
        case WaypointNamer::Outcome::kSkip:
            return LineRead::kSkip;
        case WaypointNamer::Outcome::kFail:
            break;
    }
    return LineRead::kBad;
}

WaypointReadResult ReadWaypointLines(
    std::string_view text, const char* title,
    const std::function<LineRead(std::string_view line, int number, Waypoint& waypoint,
                                 std::span<Waypoint> kept)>& readLine) {
    WaypointReadResult result;
    result.title = title;
    WaypointLines lines(text);
    std::string_view line;
    std::vector<Waypoint> waypoints;
    waypoints.reserve(50);
    while (lines.Next(line)) {
        Waypoint waypoint;
        const LineRead read = readLine(line, lines.Number(), waypoint, waypoints);
        if (read == LineRead::kBad) {
            return BadLine(title, lines.Number());
        }
        if (read == LineRead::kEnd) {
            break;
        }
        if (read == LineRead::kWaypoint) {
            waypoints.push_back(waypoint);
        }
    }
    result.status = static_cast<int>(waypoints.size());
    result.waypoints = std::move(waypoints);
    return result;
}

WaypointReadResult ReadNamedWaypointLines(
    std::string_view text, const WaypointReadOptions& options, int firstLine,
    const std::function<LineRead(std::string_view line, WaypointNamer& namer, Waypoint& waypoint)>&
        readLine) {
    WaypointNamer namer(options);
    return ReadWaypointLines(
        text, kDecodingTitle,
        [&](std::string_view line, int number, Waypoint& waypoint, std::span<Waypoint>) {
            if (number < firstLine) {
                return LineRead::kSkip;
            }
            waypoint.time = options.readTime;
            return readLine(line, namer, waypoint);
        });
}

WaypointNamer::WaypointNamer(const WaypointReadOptions& options)
    : options_(options), convertAll_(options.lenientNames) {}

WaypointNamer::Outcome WaypointNamer::Name(std::string_view text, Waypoint& waypoint) {
    std::string id;
    int result = ConvertWaypointName(text, id, convertAll_);
    if (result == kNameNeedsChange) {
        if (!options_.askModifyId) {
            return Outcome::kFail;
        }
        std::string_view shown = text;
        while (!shown.empty() && IsBlank(shown.front())) {
            shown.remove_prefix(1);
        }
        switch (options_.askModifyId(shown)) {
            case ModifyIdAnswer::kYesToAll:
                convertAll_ = true;
                break;
            case ModifyIdAnswer::kYes:
                break;
            case ModifyIdAnswer::kNo:
                return Outcome::kSkip;
            case ModifyIdAnswer::kCancel:
                return Outcome::kFail;
        }
        result = ConvertWaypointName(text, id, true);
    }
    if (result != 0) {
        return Outcome::kFail;
    }
    waypoint.SetId(id);
    return Outcome::kNamed;
}

WaypointLines::WaypointLines(std::string_view text) : text_(text) {
    const std::size_t end = text_.find('\x1A');
    if (end != std::string_view::npos) {
        text_ = text_.substr(0, end);
    }
}

bool WaypointLines::Next(std::string_view& line) {
    while (position_ < text_.size()) {
        while (position_ < text_.size() && (text_[position_] == '\r' || text_[position_] == '\n')) {
            ++position_;
        }
        if (position_ >= text_.size()) {
            return false;
        }
        std::size_t end = position_;
        while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') {
            ++end;
        }
        std::string_view candidate = text_.substr(position_, end - position_);
        position_ = end;
        ++number_;
        while (!candidate.empty() && IsBlank(candidate.front())) {
            candidate.remove_prefix(1);
        }
        if (!candidate.empty()) {
            line = candidate;
            return true;
        }
    }
    return false;
}

std::string WaypointTextAsUtf8(std::string_view text) {
    return formats::TextAsUtf8(text);
}

std::string Utf8ToLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 1;
        const char32_t code = formats::DecodeUtf8At(text, i, length);
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += length;
    }
    return out;
}

std::string FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n) {
        std::size_t length = 1;
        formats::DecodeUtf8At(text, i, length);
        i += length;
    }
    return std::string(text.substr(0, std::min(i, text.size())));
}

std::string BlankFreeId(std::string_view id) {
    if (id.empty()) {
        return "-";
    }
    return ReplaceCharacters(id, " \t", '-');
}

std::string ReplaceCharacters(std::string_view text, std::string_view from, char to) {
    std::string out(text);
    for (char& c : out) {
        if (from.find(c) != std::string_view::npos) {
            c = to;
        }
    }
    return out;
}

bool ParseNumber(std::string_view text, double& value) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 64) {
        return false;
    }
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') {
        ++i;
    }
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            digits = true;
        }
    }
    if (!digits || i != text.size()) {
        return false;
    }
    const std::string copy(text);
    value = std::strtod(copy.c_str(), nullptr);
    return std::isfinite(value);
}

bool ParseUnsigned(std::string_view text, long long& value) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 12) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(separator, start);
        if (end == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::string_view> SplitBlankFields(std::string_view line, std::size_t maxFields) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        if (fields.size() + 1 == maxFields) {
            std::string_view rest = line.substr(i);
            while (!rest.empty() && IsBlank(rest.back())) {
                rest.remove_suffix(1);
            }
            fields.push_back(rest);
            break;
        }
        std::size_t end = i;
        while (end < line.size() && !IsBlank(line[end])) {
            ++end;
        }
        fields.push_back(line.substr(i, end - i));
        i = end;
    }
    return fields;
}

}  // namespace tracora::waypoints
