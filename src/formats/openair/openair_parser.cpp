#include "formats/openair/openair_parser.hpp"

#include <cmath>
#include <new>
#include <optional>

#include "core/strings.hpp"
#include "formats/common/text_encoding.hpp"

namespace tracora::openair {

namespace {

constexpr double kNauticalMileMetres = 1852.185;
constexpr double kMaxRadius = 10000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view SkipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    return text.substr(i);
}

// Whether nothing but a comment or blanks follows: the end, a blank or '*'.
bool EndsField(std::string_view rest) {
    return rest.empty() || IsBlank(rest.front()) || rest.front() == '*';
}

// An A record's text: a comment after " *" cut off, blanks normalised (leading ones removed,
// runs reduced to one, a trailing one removed).
std::string RecordText(std::string_view argument) {
    for (std::size_t i = 1; i < argument.size(); ++i) {
        if (argument[i] == '*' && IsBlank(argument[i - 1])) {
            argument = argument.substr(0, i);
            break;
        }
    }
    std::string text;
    bool pendingBlank = false;
    for (const char c : argument) {
        if (IsBlank(c)) {
            pendingBlank = !text.empty();
            continue;
        }
        if (pendingBlank) {
            text += ' ';
            pendingBlank = false;
        }
        text += c;
    }
    return text;
}

// Digits as a whole number (at most 9 kept, further ones make the number too large to pass
// any range check). Returns the count of digits read.
std::size_t ReadWhole(std::string_view text, std::size_t i, long long& value) {
    const std::size_t start = i;
    value = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (value < 1000000000LL) {
            value = value * 10 + (text[i] - '0');
        }
        ++i;
    }
    return i - start;
}

// A fraction after its separator: the digits as a value below 1. Returns the count read.
std::size_t ReadFraction(std::string_view text, std::size_t i, double& value) {
    const std::size_t start = i;
    value = 0;
    double scale = 0.1;
    while (i < text.size() && IsDigit(text[i])) {
        value += (text[i] - '0') * scale;
        scale /= 10;
        ++i;
    }
    return i - start;
}

bool IsFractionSeparator(char c) {
    return c == '.' || c == ',';
}

// One number of an angle at `i`, below `limit`: whole, then a fraction or (while `levels`
// remain) ':' and the next number, in sixtieths. The position after it, 0 on a bad number.
std::size_t ParseAnglePart(std::string_view text, std::size_t i, long long limit, int levels,
                           double& value) {
    long long whole = 0;
    const std::size_t digits = ReadWhole(text, i, whole);
    if (digits == 0 || whole >= limit) {
        return 0;
    }
    i += digits;
    value = static_cast<double>(whole);
    if (i < text.size() && IsFractionSeparator(text[i]) && i + 1 < text.size() &&
        IsDigit(text[i + 1])) {
        double fraction = 0;
        i += 1 + ReadFraction(text, i + 1, fraction);
        value += fraction;
    } else if (levels > 0 && i < text.size() && text[i] == ':') {
        double sixtieths = 0;
        i = ParseAnglePart(text, i + 1, 60, levels - 1, sixtieths);
        if (i == 0) {
            return 0;
        }
        value += sixtieths / 60.0;
    }
    return i;
}

// One angle: degrees, optionally ':' minutes and ':' seconds, the last number optionally with a
// fraction; then optional blanks and the hemisphere letter. Returns the characters used, 0 on
// a bad angle.
std::size_t ParseAngle(std::string_view text, int degreeLimit, char positive, char negative,
                       double& degrees) {
    double value = 0;
    std::size_t i = ParseAnglePart(text, 0, degreeLimit, 2, value);
    if (i == 0) {
        return 0;
    }
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (i >= text.size()) {
        return 0;
    }
    const char hemisphere = Upper(text[i]);
    if (hemisphere == negative) {
        value = -value;
    } else if (hemisphere != positive) {
        return 0;
    }
    degrees = value;
    return i + 1;
}

// A decimal number after blanks: digits, optionally '.' and more digits. The position after
// it; `digits` counts the digits of both parts (0: no number there).
std::size_t ParseDecimal(std::string_view text, double& value, std::size_t& digits) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    long long whole = 0;
    digits = ReadWhole(text, i, whole);
    i += digits;
    value = static_cast<double>(whole);
    if (i < text.size() && text[i] == '.') {
        double fraction = 0;
        const std::size_t fractionDigits = ReadFraction(text, i + 1, fraction);
        i += 1 + fractionDigits;
        digits += fractionDigits;
        value += fraction;
    }
    return i;
}

// A radius: a positive decimal number up to 10000, nautical miles unless "km" follows (either
// case). Metres in `metres`; the characters used, 0 when bad.
std::size_t ParseRadius(std::string_view text, std::int32_t& metres) {
    double value = 0;
    std::size_t digits = 0;
    std::size_t i = ParseDecimal(text, value, digits);
    if (digits == 0 || value <= 0 || value > kMaxRadius) {
        return 0;
    }
    std::size_t unitEnd = i;
    while (unitEnd < text.size() && IsBlank(text[unitEnd])) {
        ++unitEnd;
    }
    double factor = kNauticalMileMetres;
    if (unitEnd + 1 < text.size() && Upper(text[unitEnd]) == 'K' &&
        Upper(text[unitEnd + 1]) == 'M') {
        factor = 1000;
        i = unitEnd + 2;
    }
    metres = static_cast<std::int32_t>(value * factor + 0.5);
    return i;
}

// A bearing: a decimal number from 0 to below 360, blanks around it. The characters used, 0
// when bad.
std::size_t ParseBearing(std::string_view text, double& bearing) {
    double value = 0;
    std::size_t digits = 0;
    std::size_t i = ParseDecimal(text, value, digits);
    if (digits == 0 || value >= 360) {
        return 0;
    }
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bearing = value;
    return i;
}

class Parser {
public:
    Parser(std::vector<CtrArea>& out, OpenAirReport& report) : areas_(out), report_(report) {}

    // 0, or a parser code with report_.line set.
    int Line(std::string_view line, int number);
    int Finish();

private:
    enum class Mode { kUndecided, kNameFirst, kClassFirst };

    int Fail(int code, int line) {
        report_.code = code;
        report_.line = line;
        return code;
    }
    CtrArea& Current() { return areas_.back(); }
    int StartAirspace(int line);
    int Record(std::string_view keyword, std::string_view argument, int line);
    int Variable(std::string_view argument, int line);
    int Arc(std::string_view argument, int line);
    int ArcByEndpoints(std::string_view argument, int line);
    int Circle(std::string_view argument, int line);
    // The arc with the centre and direction the records before it set, added to the airspace.
    int AddArc(CtrSegment& segment, int line);

    std::vector<CtrArea>& areas_;
    OpenAirReport& report_;
    Mode mode_ = Mode::kUndecided;
    bool haveCurrent_ = false;
    // After DY, TO or TC: records are skipped until the next airspace starts.
    bool skipping_ = false;
    std::optional<DegreePosition> centre_;
    char direction_ = kClockwise;
};

int Parser::StartAirspace(int line) {
    if (haveCurrent_ && Current().segments.empty()) {
        return Fail(kErrorNoSegments, Current().sourceLine);
    }
    areas_.emplace_back();
    CtrArea& area = areas_.back();
    area.sourceLine = line;
    haveCurrent_ = true;
    skipping_ = false;
    direction_ = kClockwise;
    return 0;
}

int Parser::Line(std::string_view line, int number) {
    line = SkipBlanks(line);
    if (line.empty() || line.front() == '*') {
        return 0;
    }
    std::size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    const std::string_view keyword = line.substr(0, end);
    const std::string_view argument = end < line.size() ? line.substr(end + 1) : std::string_view();
    const bool name = keyword == "AN";
    const bool klass = keyword == "AC";
    if (name || klass) {
        if (mode_ == Mode::kUndecided) {
            mode_ = name ? Mode::kNameFirst : Mode::kClassFirst;
        }
        const bool starts = name ? mode_ == Mode::kNameFirst : mode_ == Mode::kClassFirst;
        if (starts) {
            if (const int code = StartAirspace(number); code != 0) {
                return code;
            }
        }
    }
    if (mode_ == Mode::kUndecided || skipping_ || !haveCurrent_) {
        return 0;
    }
    return Record(keyword, argument, number);
}

int Parser::Record(std::string_view keyword, std::string_view argument, int line) {
    CtrArea& area = Current();
    if (keyword == "AN") {
        const std::string text = RecordText(argument);
        if (text.empty()) {
            return Fail(kErrorMissingName, line);
        }
        area.name = CutUtf8(text, CtrArea::kMaxName);
        return 0;
    }
    if (keyword == "AC") {
        // An empty class leaves the airspace without one (as the writer writes it).
        const std::string text = RecordText(argument);
        area.classText = CutUtf8(text, CtrArea::kMaxClassText);
        area.classCode = CtrClassCode(area.classText);
        return 0;
    }
    if (keyword == "AH" || keyword == "AL") {
        const std::string text = CutUtf8(RecordText(argument), CtrArea::kMaxLimitText);
        const std::int32_t value = AirspaceLimitValue(text);
        if (keyword == "AH") {
            area.ceiling = text;
            area.ceilingValue = value;
        } else {
            area.floor = text;
            area.floorValue = value;
        }
        return 0;
    }
    if ((keyword.size() == 2 && keyword[0] == 'A' && keyword[1] >= 'A' && keyword[1] <= 'Z') ||
        keyword == "SB" || keyword == "SP") {
        return 0;
    }
    if (keyword == "TO" || keyword == "TC") {
        if (area.segments.empty()) {
            return Fail(kErrorNoSegments, line);
        }
        skipping_ = true;
        return 0;
    }
    if (keyword == "V") {
        return Variable(argument, line);
    }
    if (keyword == "DP") {
        CtrSegment segment;
        segment.kind = CtrSegmentKind::kPoint;
        const std::size_t used = ParseOpenAirPosition(argument, segment.position);
        if (used == 0 || !EndsField(argument.substr(used))) {
            return Fail(kErrorPointPosition, line);
        }
        area.segments.push_back(segment);
        direction_ = kClockwise;
        return 0;
    }
    if (keyword == "DA") {
        return Arc(argument, line);
    }
    if (keyword == "DB") {
        return ArcByEndpoints(argument, line);
    }
    if (keyword == "DC") {
        return Circle(argument, line);
    }
    if (keyword == "DY") {
        report_.notices.push_back(
            {area.sourceLine,
             StringPrintf("CTR at line %d:  DY record (not implemented)", area.sourceLine)});
        areas_.pop_back();
        haveCurrent_ = false;
        skipping_ = true;
        return 0;
    }
    return Fail(kErrorUnknownRecord, line);
}

int Parser::Variable(std::string_view argument, int line) {
    argument = SkipBlanks(argument);
    if (argument.empty()) {
        return Fail(kErrorVariable, line);
    }
    const char name = Upper(argument.front());
    if (name != 'D' && name != 'X' && name != 'W' && name != 'Z' && name != 'T') {
        return Fail(kErrorVariable, line);
    }
    std::string_view rest = SkipBlanks(argument.substr(1));
    if (rest.empty() || rest.front() != '=') {
        return Fail(kErrorVariable, line);
    }
    const std::string_view value = SkipBlanks(rest.substr(1));
    if (value.empty()) {
        return Fail(kErrorVariable, line);
    }
    if (name == 'D') {
        if (value.front() != kClockwise && value.front() != kCounterClockwise) {
            return Fail(kErrorDirection, line);
        }
        direction_ = value.front();
        return 0;
    }
    if (name == 'X') {
        DegreePosition centre;
        const std::size_t used = ParseOpenAirPosition(value, centre);
        if (used == 0 || !EndsField(value.substr(used))) {
            return Fail(kErrorCentrePosition, line);
        }
        centre_ = centre;
    }
    return 0;
}

int Parser::Arc(std::string_view argument, int line) {
    CtrSegment segment;
    segment.kind = CtrSegmentKind::kArcByAngles;
    std::size_t used = ParseRadius(argument, segment.radiusMetres);
    std::string_view rest = used == 0 ? std::string_view() : SkipBlanks(argument.substr(used));
    if (rest.empty() || rest.front() != ',') {
        return Fail(kErrorArc, line);
    }
    used = ParseBearing(rest.substr(1), segment.startBearing);
    rest = used == 0 ? std::string_view() : rest.substr(1 + used);
    if (rest.empty() || rest.front() != ',') {
        return Fail(kErrorArc, line);
    }
    used = ParseBearing(rest.substr(1), segment.endBearing);
    rest = used == 0 ? std::string_view("?") : rest.substr(1 + used);
    if (!rest.empty() && rest.front() != '*') {
        return Fail(kErrorArc, line);
    }
    return AddArc(segment, line);
}

int Parser::ArcByEndpoints(std::string_view argument, int line) {
    CtrSegment segment;
    segment.kind = CtrSegmentKind::kArcByEndpoints;
    std::size_t used = ParseOpenAirPosition(argument, segment.start);
    std::string_view rest = used == 0 ? std::string_view() : SkipBlanks(argument.substr(used));
    if (rest.empty() || rest.front() != ',') {
        return Fail(kErrorArc, line);
    }
    rest = rest.substr(1);
    used = ParseOpenAirPosition(rest, segment.end);
    if (used == 0 || !EndsField(rest.substr(used))) {
        return Fail(kErrorArc, line);
    }
    return AddArc(segment, line);
}

int Parser::AddArc(CtrSegment& segment, int line) {
    if (!centre_) {
        return Fail(kErrorMissingArcCentre, line);
    }
    segment.centre = *centre_;
    segment.direction = direction_;
    Current().segments.push_back(segment);
    return 0;
}

int Parser::Circle(std::string_view argument, int line) {
    CtrSegment segment;
    segment.kind = CtrSegmentKind::kCircle;
    const std::size_t used = ParseRadius(argument, segment.radiusMetres);
    if (used == 0 || !EndsField(argument.substr(used))) {
        return Fail(kErrorRadius, line);
    }
    if (!centre_) {
        return Fail(kErrorMissingCircleCentre, line);
    }
    segment.centre = *centre_;
    Current().segments.push_back(segment);
    direction_ = kClockwise;
    return 0;
}

int Parser::Finish() {
    if (haveCurrent_ && Current().segments.empty()) {
        return Fail(kErrorNoSegments, Current().sourceLine);
    }
    return 0;
}

}  // namespace

std::string OpenAirErrorText(int code, int line) {
    // Where a message names the line.
    enum class LineForm { kNone, kOnLine, kInParentheses };
    struct ErrorText {
        int code;
        const char* text;
        LineForm line;
    };
    static constexpr ErrorText kTexts[] = {
        {kErrorMemory, "Memory allocation error", LineForm::kNone},
        {kErrorVariable, "Bad variable assignment format", LineForm::kOnLine},
        {kErrorDirection, "Bad direction format", LineForm::kOnLine},
        {kErrorCentrePosition, "Bad position format", LineForm::kOnLine},
        {kErrorPointPosition, "Bad position format", LineForm::kOnLine},
        {kErrorMultipleCentres, "Multiple V record types", LineForm::kNone},
        {kErrorArc, "Bad arc position format", LineForm::kOnLine},
        {kErrorMissingArcCentre, "Missing centre for DB record", LineForm::kInParentheses},
        {kErrorMissingName, "Missing airspace name", LineForm::kNone},
        {kErrorMissingCircleCentre, "Missing centre for DC record", LineForm::kInParentheses},
        {kErrorExpectedArc, "Expected a DB or DC record", LineForm::kInParentheses},
        {kErrorRadius, "Bad radius format", LineForm::kOnLine},
        {kErrorUnknownRecord, "Unknown record type", LineForm::kOnLine},
        {kErrorNoSegments, "No segments in airspace", LineForm::kInParentheses},
        {kErrorUnusedCentre, "Missing DB or DC segment", LineForm::kInParentheses},
    };
    for (const ErrorText& entry : kTexts) {
        if (entry.code == code) {
            switch (entry.line) {
                case LineForm::kNone:
                    return entry.text;
                case LineForm::kOnLine:
                    return entry.text + StringPrintf(" on line %d", line);
                case LineForm::kInParentheses:
                    return entry.text + StringPrintf(" (line %d)", line);
            }
        }
    }
    return StringPrintf("Format error %d on line %d", code, line);
}

std::size_t ParseOpenAirPosition(std::string_view text, DegreePosition& position) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    double latitude = 0;
    const std::size_t latitudeUsed = ParseAngle(text.substr(i), 90, 'N', 'S', latitude);
    if (latitudeUsed == 0) {
        return 0;
    }
    i += latitudeUsed;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    double longitude = 0;
    const std::size_t longitudeUsed = ParseAngle(text.substr(i), 180, 'E', 'W', longitude);
    if (longitudeUsed == 0) {
        return 0;
    }
    position.latitude = latitude;
    position.longitude = longitude;
    return i + longitudeUsed;
}

int ParseOpenAir(std::string_view text, std::vector<CtrArea>& out, OpenAirReport& report) {
    report = OpenAirReport();
    out.clear();
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    int code = 0;
    try {
        const std::string utf8 = formats::TextAsUtf8(text);
        const std::string_view all = utf8;
        Parser parser(out, report);
        std::size_t position = 0;
        int number = 1;
        while (position < all.size() && code == 0) {
            std::size_t end = position;
            while (end < all.size() && all[end] != '\r' && all[end] != '\n') {
                ++end;
            }
            code = parser.Line(all.substr(position, end - position), number);
            // CR LF, LF and a lone CR each end one line.
            if (end < all.size() && all[end] == '\r') {
                ++end;
            }
            if (end < all.size() && all[end] == '\n') {
                ++end;
            }
            ++number;
            position = end;
        }
        if (code == 0) {
            code = parser.Finish();
        }
    } catch (const std::bad_alloc&) {
        report.code = code = kErrorMemory;
    }
    if (code != 0) {
        out.clear();
        report.message = OpenAirErrorText(report.code, report.line);
        return -1;
    }
    return static_cast<int>(out.size());
}

}  // namespace tracora::openair
