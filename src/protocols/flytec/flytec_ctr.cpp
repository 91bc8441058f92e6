#include "protocols/flytec/flytec_ctr.hpp"

#include <algorithm>
#include <cmath>

#include "core/strings.hpp"
#include "formats/openair/ctr_polygon.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/upload_names.hpp"

namespace tracora::protocols::flytec {

namespace {

constexpr int kPauseMs = 100;
constexpr int kArcPauseMs = 200;
constexpr std::string_view kAckIdentifier = "PBRANS,";

// "DDMM.mmm,N,DDDMM.mmm,E" from degrees: thousandths of a minute, rounded.
std::string PositionFields(const DegreePosition& position) {
    const auto milli = [](double degrees) {
        const double value = std::min(std::fabs(degrees) * 60000.0 + 0.5, 180.0 * 60000.0);
        return static_cast<long>(value);
    };
    const long lat = milli(position.latitude);
    const long lon = milli(position.longitude);
    return StringPrintf("%02ld%02ld.%03ld,%c,%03ld%02ld.%03ld,%c", lat / 60000, lat / 1000 % 60,
                        lat % 1000, position.latitude < 0 ? 'S' : 'N', lon / 60000, lon / 1000 % 60,
                        lon % 1000, position.longitude < 0 ? 'W' : 'E');
}

std::string SentenceText(std::string_view body, bool xon) {
    std::string text = xon ? "\x11" : "";
    text += BuildNmeaSentence(body);
    return text;
}

// A non-empty run of at most nine decimal digits.
bool Number(std::string_view text, long& value) {
    if (text.empty() || text.size() > 9) {
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

// "DDMM.mmm" (or "DDDMM.mmm") into degrees. 0, or the code for an integer part above `max`,
// a missing '.', or characters after the fraction.
int Angle(std::string_view text, long max, int tooLarge, int noPoint, int trailing,
          double& degrees) {
    std::size_t i = 0;
    long whole = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        whole = whole * 10 + (text[i] - '0');
        if (whole > max) {
            return tooLarge;
        }
        ++i;
    }
    if (i == text.size() || text[i] != '.') {
        return noPoint;
    }
    ++i;
    double fraction = 0;
    double scale = 0.1;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        fraction += (text[i] - '0') * scale;
        scale /= 10;
        ++i;
    }
    if (i != text.size()) {
        return trailing;
    }
    degrees = static_cast<double>(whole / 100) + (static_cast<double>(whole % 100) + fraction) / 60;
    return 0;
}

std::string TrimRight(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ') {
        --end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace

int CtrSentenceCount(const CtrArea& area) {
    int count = 2;
    for (const CtrSegment& segment : area.segments) {
        switch (segment.kind) {
            case CtrSegmentKind::kPoint:
            case CtrSegmentKind::kCircle:
                count += 1;
                break;
            case CtrSegmentKind::kArcByEndpoints:
            case CtrSegmentKind::kArcByAngles:
                count += 3;
                break;
        }
    }
    return count;
}

bool CtrSentences(const CtrArea& area, std::string_view identifier, bool xon,
                  std::vector<CtrSentence>& out) {
    out.clear();
    const int count = CtrSentenceCount(area);
    if (area.segments.empty() || count > kMaxCtrSentences) {
        return false;
    }
    const std::string id(identifier);
    int index = 0;
    const auto head = [&] { return StringPrintf("%s,%03d,%03d,", id.c_str(), count, index++); };
    const auto add = [&](const std::string& body, int pause, bool endsSegment) {
        out.push_back({SentenceText(body, xon), pause, endsSegment});
    };
    add(head() + FixedWidthName(BlankSentenceDelimiters(area.name), kCtrTextChars) +
            StringPrintf(",%04d", std::clamp(area.warningDistance, 0, 9999)),
        kPauseMs, false);
    add(head() + FixedWidthName(BlankSentenceDelimiters(area.floor), kCtrTextChars), kPauseMs,
        false);
    for (const CtrSegment& segment : area.segments) {
        switch (segment.kind) {
            case CtrSegmentKind::kPoint:
                add(head() + "P," + PositionFields(segment.position), kPauseMs, true);
                break;
            case CtrSegmentKind::kCircle:
                add(head() + "C," + PositionFields(segment.centre) +
                        StringPrintf(",%05d", std::clamp(segment.radiusMetres, 0, 99999)),
                    kPauseMs, true);
                break;
            case CtrSegmentKind::kArcByEndpoints:
            case CtrSegmentKind::kArcByAngles: {
                DegreePosition start = segment.start;
                DegreePosition end = segment.end;
                if (segment.kind == CtrSegmentKind::kArcByAngles) {
                    openair::ArcByAnglesEndpoints(segment, start, end);
                }
                const char direction = segment.direction == kCounterClockwise ? '-' : '+';
                add(head() + "X," + PositionFields(segment.centre), kArcPauseMs, false);
                add(head() + "T," + PositionFields(start) + "," + direction, kArcPauseMs, false);
                add(head() + "Z," + PositionFields(end) + "," + direction, kPauseMs, true);
                break;
            }
        }
    }
    return true;
}

int CtrAckParser::Feed(std::uint8_t byte) {
    if (state_ == State::kWaitDollar) {
        if (byte == '$') {
            state_ = State::kIdentifier;
            matched_ = 0;
            xor_ = 0;
        }
        return 1;
    }
    const auto fail = [this](int code) {
        state_ = State::kWaitDollar;
        return -code;
    };
    int digit = 0;
    switch (state_) {
        case State::kWaitDollar:
            break;
        case State::kIdentifier:
            if (byte != static_cast<std::uint8_t>(kAckIdentifier[matched_])) {
                return fail(1);
            }
            xor_ ^= byte;
            if (++matched_ == kAckIdentifier.size()) {
                state_ = State::kStatus;
            }
            return 1;
        case State::kStatus:
            xor_ ^= byte;
            status_ = static_cast<char>(byte);
            state_ = State::kSkipToStar;
            return 1;
        case State::kSkipToStar:
            if (byte == '*') {
                state_ = State::kHigh;
            } else {
                xor_ ^= byte;
            }
            return 1;
        case State::kHigh:
            if (!HexDigitValue(static_cast<char>(byte), digit) || (byte >= 'a' && byte <= 'f')) {
                return fail(2);
            }
            checksum_ = digit << 4;
            state_ = State::kLow;
            return 1;
        case State::kLow:
            if (!HexDigitValue(static_cast<char>(byte), digit) || (byte >= 'a' && byte <= 'f')) {
                return fail(3);
            }
            checksum_ |= digit;
            state_ = State::kCr;
            return 1;
        case State::kCr:
            if (byte != '\r') {
                return fail(4);
            }
            state_ = State::kLf;
            return 1;
        case State::kLf:
            if (byte != '\n') {
                return fail(6);
            }
            if (checksum_ != xor_) {
                return fail(5);
            }
            state_ = State::kWaitDollar;
            return 0;
    }
    return 1;
}

std::string_view CtrAckText(char status) {
    switch (status) {
        case '1':
            return "CTR transfer ok";
        case '2':
            return "Plausibility error";
        case '3':
            return "No further memory";
        case '4':
            return "No more writing allowed";
        case '5':
            return "NMEA syntax error";
        default:
            return "Unknown ack. status";
    }
}

std::string CtrAckSentence(char status) {
    return BuildNmeaSentence(std::string(kAckIdentifier) + status);
}

int CtrSentenceAssembler::Fail(int code) {
    state_ = State::kWaitDollar;
    return -code;
}

int CtrSentenceAssembler::Feed(std::uint8_t byte) {
    if (byte == '$' && state_ != State::kHigh && state_ != State::kLow) {
        state_ = State::kBody;
        sentence_ = "$";
        xor_ = 0;
        return 1;
    }
    int digit = 0;
    switch (state_) {
        case State::kWaitDollar:
            return 1;
        case State::kBody:
            if (byte == '*') {
                state_ = State::kHigh;
                return 1;
            }
            if (sentence_.size() > kMaxCtrSentenceChars) {
                return Fail(1);
            }
            sentence_ += static_cast<char>(byte);
            xor_ ^= byte;
            return 1;
        case State::kHigh:
            if (!HexDigitValue(static_cast<char>(byte), digit) || (byte >= 'a' && byte <= 'f')) {
                return Fail(2);
            }
            checksum_ = digit << 4;
            state_ = State::kLow;
            return 1;
        case State::kLow:
            if (!HexDigitValue(static_cast<char>(byte), digit) || (byte >= 'a' && byte <= 'f')) {
                return Fail(3);
            }
            checksum_ |= digit;
            state_ = State::kCr;
            return 1;
        case State::kCr:
            if (byte != '\r') {
                return Fail(4);
            }
            state_ = State::kLf;
            return 1;
        case State::kLf:
            if (byte != '\n') {
                return Fail(6);
            }
            state_ = State::kWaitDollar;
            return checksum_ == xor_ ? 0 : -5;
    }
    return 1;
}

int CtrListParser::Sentence(std::string_view sentence) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = sentence.find(',', start);
        fields.push_back(sentence.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (fields.size() < 2) {
        return 1;
    }
    if (phase_ == Phase::kFirst && fields[0] == "$PBRANS") {
        return fields[1] == "1" ? kCtrListDone : 2;
    }
    if (fields[0] != identifier_) {
        return 3;
    }
    long total = 0;
    long index = 0;
    if (fields[1].empty()) {
        return 4;
    }
    if (!Number(fields[1], total)) {
        return 5;
    }
    if (fields.size() < 3 || fields[2].empty()) {
        return 6;
    }
    if (!Number(fields[2], index)) {
        return 7;
    }
    switch (phase_) {
        case Phase::kFirst: {
            if (total < 3) {
                return 8;
            }
            if (index != 0) {
                return 9;
            }
            long warning = 0;
            if (fields.size() < 5) {
                return 10;
            }
            if (!Number(fields[4], warning)) {
                return 11;
            }
            building_ = CtrArea{};
            building_.name = CutUtf8(TrimRight(fields[3]), CtrArea::kMaxName);
            building_.warningDistance = static_cast<std::int32_t>(warning);
            count_ = static_cast<int>(total);
            expected_ = 1;
            phase_ = Phase::kRemark;
            return kCtrAreaStarted;
        }
        case Phase::kRemark:
            if (index != 1) {
                return 13;
            }
            building_.floor =
                CutUtf8(TrimRight(fields.size() > 3 ? fields[3] : ""), CtrArea::kMaxLimitText);
            building_.floorValue = AirspaceLimitValue(building_.floor);
            expected_ = 2;
            phase_ = Phase::kSegments;
            return kCtrMore;
        default:
            if (index != expected_) {
                return 14;
            }
            if (const int code = Segment(fields); code != 0) {
                return code;
            }
            ++expected_;
            if (index == count_ - 1) {
                areas_.push_back(std::move(building_));
                building_ = CtrArea{};
                phase_ = Phase::kFirst;
                return kCtrAreaDone;
            }
            return kCtrMore;
    }
}

void CtrListParser::Reset() {
    phase_ = Phase::kFirst;
    building_ = CtrArea{};
}

int CtrListParser::Segment(const std::vector<std::string_view>& fields) {
    if (fields.size() < 4) {
        return 15;
    }
    const std::string_view type = fields[3];
    if (type.size() != 1 || std::string_view("PXCTZ").find(type[0]) == std::string_view::npos) {
        return 16;
    }
    const char kind = type[0];
    DegreePosition position;
    if (fields.size() < 5) {
        return 17;
    }
    if (const int code = Angle(fields[4], 8999, 18, 19, 20, position.latitude); code != 0) {
        return code;
    }
    if (fields.size() < 6) {
        return 21;
    }
    if (fields[5] != "N" && fields[5] != "S") {
        return 22;
    }
    if (fields[5] == "S") {
        position.latitude = -position.latitude;
    }
    if (fields.size() < 7) {
        return 23;
    }
    if (const int code = Angle(fields[6], 17999, 24, 25, 26, position.longitude); code != 0) {
        return code;
    }
    long radius = 0;
    char direction = kClockwise;
    if (kind == 'C') {
        if (fields.size() < 9) {
            return 27;
        }
        if (!Number(fields[8], radius)) {
            return 28;
        }
    } else if (kind == 'T' || kind == 'Z') {
        if (fields.size() < 9) {
            return 29;
        }
        if (fields[8] != "+" && fields[8] != "-") {
            return 30;
        }
        direction = fields[8][0];
    }
    if (fields.size() < 8 || (fields[7] != "E" && fields[7] != "W")) {
        return 31;
    }
    if (fields[7] == "W") {
        position.longitude = -position.longitude;
    }
    const bool last = expected_ == count_ - 1;
    switch (phase_) {
        case Phase::kSegments:
            if (kind == 'P') {
                CtrSegment point;
                point.kind = CtrSegmentKind::kPoint;
                point.position = position;
                building_.segments.push_back(point);
            } else if (kind == 'C') {
                if (expected_ != 2) {
                    return 34;
                }
                if (count_ != 3) {
                    return 35;
                }
                CtrSegment circle;
                circle.kind = CtrSegmentKind::kCircle;
                circle.centre = position;
                circle.radiusMetres = static_cast<std::int32_t>(radius);
                building_.segments.push_back(circle);
            } else if (kind == 'X') {
                if (last) {
                    return 37;
                }
                arc_ = CtrSegment{};
                arc_.kind = CtrSegmentKind::kArcByEndpoints;
                arc_.centre = position;
                phase_ = Phase::kAfterCentre;
            } else {
                return 38;
            }
            return 0;
        case Phase::kAfterCentre:
            if (kind != 'T') {
                return 40;
            }
            if (last) {
                return 39;
            }
            arc_.start = position;
            phase_ = Phase::kAfterStart;
            return 0;
        case Phase::kAfterStart:
            if (kind != 'Z') {
                return 41;
            }
            arc_.end = position;
            arc_.direction = direction;
            building_.segments.push_back(arc_);
            phase_ = Phase::kSegments;
            return 0;
        case Phase::kFirst:
        case Phase::kRemark:
            break;
    }
    return 0;
}

}  // namespace tracora::protocols::flytec
