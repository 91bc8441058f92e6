#include "protocols/logit/logit_frames.hpp"

#include "core/strings.hpp"
#include "protocols/common/nmea.hpp"

namespace tracora::protocols::logit {

namespace {

// Seconds from 1980-01-06 (the loggers' epoch) to the system's epoch (1989-12-31).
constexpr std::uint32_t kEpochOffset = 315'100'800;
constexpr long long kCountLimit = 214'748'363;

std::string Trimmed(std::string_view text) {
    if (text.starts_with(' ')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

}  // namespace

int TransferBaud(int parameter) {
    switch (parameter) {
        case 19200:
        case 38400:
        case 57600:
        case 115200:
            return parameter;
        default:
            return kBaud;
    }
}

std::string_view TrackRequest(int parameter) {
    switch (parameter) {
        case 19200:
            return "$PMLR,24,02,0100,0398\r\n";
        case 38400:
            return "$PMLR,24,02,0101,0399\r\n";
        case 57600:
            return "$PMLR,24,02,0102,039A\r\n";
        case 115200:
            return "$PMLR,24,02,0103,039B\r\n";
        default:
            return "$PMLR,24,02,0110,0388\r\n";
    }
}

std::string RestartRequest(long long point) {
    return PmlrSentence(StringPrintf("$PMLR,59,%lld,", point));
}

std::string NameSentence(std::string_view name) {
    std::string field(name.substr(0, 9));
    for (char& c : field) {
        if (c == ',' || c == '*' || c == '$' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    field.resize(9, ' ');
    return std::string(kPmlrProductPrefix) + field + ",       *00\r\n";
}

LogItProduct DecodeProduct(const std::vector<std::string>& fields) {
    LogItProduct product;
    std::string* targets[] = {&product.model, &product.user, &product.serial, &product.version};
    for (std::size_t i = 0; i < 4 && i < fields.size(); ++i) {
        *targets[i] = Trimmed(fields[i]);
    }
    return product;
}

std::string DeviceLine(const LogItProduct& product) {
    return product.model + " " + product.version.substr(0, 4) + " (" + product.user + ")";
}

int PointCountParser::Fail(int code) {
    state_ = State::kIdle;
    matched_ = 0;
    return code;
}

int PointCountParser::Feed(std::uint8_t byte) {
    const char c = static_cast<char>(byte);
    switch (state_) {
        case State::kIdle:
            if (c == '$') {
                state_ = State::kPrefix;
                matched_ = 1;
            }
            return 0;
        case State::kPrefix:
            if (c != kPointCountPrefix[matched_]) {
                return Fail(-1);
            }
            if (++matched_ == kPointCountPrefix.size()) {
                state_ = State::kDigits;
                count_ = 0;
                xor_ = NmeaChecksum(kPointCountPrefix.substr(1));
            }
            return 0;
        case State::kDigits:
            if (c == '*') {
                state_ = State::kDigit1;
                return 0;
            }
            if (c == '\r' || c == '\n') {
                return Fail(-2);
            }
            if (c < '0' || c > '9') {
                return Fail(-3);
            }
            if (count_ >= kCountLimit) {
                return Fail(-4);
            }
            count_ = count_ * 10 + (c - '0');
            xor_ = static_cast<std::uint8_t>(xor_ ^ byte);
            return 0;
        case State::kDigit1:
        case State::kDigit2: {
            if (c == '\r' || c == '\n') {
                return Fail(-5);
            }
            int value = 0;
            if (!HexDigitValue(c, value)) {
                return Fail(-6);
            }
            received_ = state_ == State::kDigit1 ? value << 4 : received_ | value;
            state_ = state_ == State::kDigit1 ? State::kDigit2 : State::kCr;
            return 0;
        }
        case State::kCr:
            if (c != '\r') {
                return Fail(-7);
            }
            if (received_ != xor_) {
                return Fail(-8);
            }
            state_ = State::kLast;
            return 0;
        case State::kLast:
            state_ = State::kIdle;
            matched_ = 0;
            return 1;
    }
    return Fail(-14);
}

int FrameErrorCode(FrameEvent event) {
    switch (event) {
        case FrameEvent::kWrongKind:
            return -2;
        case FrameEvent::kWrongKindNumber:
            return -3;
        case FrameEvent::kBadBlockType:
            return -4;
        case FrameEvent::kBadBeginText:
            return -5;
        case FrameEvent::kBadEndText:
            return -6;
        case FrameEvent::kBadRestartText:
            return -7;
        case FrameEvent::kBadCount:
            return -8;
        case FrameEvent::kBadChecksum:
            return -9;
        case FrameEvent::kNoCr:
        case FrameEvent::kNoLf:
            return -10;
        default:
            return 0;
    }
}

int TransferState::Block(std::uint8_t number, BlockType type, std::span<const std::uint8_t> records,
                         std::vector<TrackRecord>& out) {
    switch (waiting_) {
        case Waiting::kBegin:
        case Waiting::kRestart: {
            const BlockType wanted =
                waiting_ == Waiting::kBegin ? BlockType::kBegin : BlockType::kRestart;
            if (type != wanted) {
                return waiting_ == Waiting::kBegin ? -50 : -51;
            }
            last_ = number;
            counter_ = 0;
            begun_ = true;
            waiting_ = Waiting::kReceiving;
            return 0;
        }
        case Waiting::kReceiving:
            break;
    }
    const auto next = static_cast<std::uint8_t>(last_ + 1);
    if (type == BlockType::kEnd) {
        return number == next ? 1 : -54;
    }
    if (type != BlockType::kData) {
        return -55;
    }
    if (number != next) {
        return -53;
    }
    last_ = number;
    for (std::size_t at = 0; at + kTrackRecordSize <= records.size(); at += kTrackRecordSize) {
        const TrackRecord record = DecodeTrackRecord(records.subspan(at));
        const auto expected = static_cast<std::uint16_t>(counter_ + 1);
        if (record.number != expected) {
            return -52;
        }
        counter_ = expected;
        out.push_back(record);
    }
    return 0;
}

TrackPoint ToTrackPoint(const TrackRecord& record, bool first) {
    TrackPoint point;
    point.time = record.time - kEpochOffset;
    point.latitude = record.latitude;
    point.longitude = record.longitude;
    point.gpsAltitude = record.altitude;
    point.flags = first || (record.flag & 0x0F) == 1 ? TrackPoint::kSegmentStart : 0U;
    return point;
}

}  // namespace tracora::protocols::logit
