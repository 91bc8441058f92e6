#include "protocols/common/block_frame.hpp"

#include <algorithm>

namespace tracora::protocols {

namespace {

constexpr const char* kBeginText = "DEBUT";
constexpr const char* kEndText = "FIN";
constexpr const char* kRestartText = "RESTART";

std::uint32_t Big32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | static_cast<std::uint32_t>(b[at + 3]);
}

void PutBig(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

void FrameDecoder::Reset() {
    state_ = State::kHunt;
    records_.clear();
    head_.clear();
}

void FrameDecoder::Begin() {
    state_ = State::kNumber;
    sum_ = kFrameStart;
    count_ = 0;
    records_.clear();
    head_.assign(1, kFrameStart);
}

void FrameDecoder::Take(std::uint8_t byte) {
    sum_ = static_cast<std::uint16_t>(sum_ + byte);
    head_.push_back(byte);
}

FrameEvent FrameDecoder::Fail(FrameEvent event, std::uint8_t byte) {
    std::vector<std::uint8_t> again;
    if (event != FrameEvent::kBadCount && event != FrameEvent::kNoCr &&
        event != FrameEvent::kNoLf && head_.size() > 1) {
        // A head that does not match: a start byte among its bytes may begin the real frame.
        again.assign(head_.begin() + 1, head_.end());
    }
    again.push_back(byte);
    state_ = State::kHunt;
    head_.clear();
    for (const std::uint8_t b : again) {
        Feed(b);
    }
    return event;
}

FrameEvent FrameDecoder::Feed(std::uint8_t byte) {
    const auto add = [this](std::uint8_t b) { sum_ = static_cast<std::uint16_t>(sum_ + b); };
    switch (state_) {
        case State::kHunt:
            if (byte == kFrameStart) {
                Begin();
            }
            return FrameEvent::kNone;
        case State::kNumber:
            number_ = byte;
            Take(byte);
            state_ = State::kKind;
            return FrameEvent::kNone;
        case State::kKind:
            if (byte != static_cast<std::uint8_t>(shape_.kind)) {
                return Fail(FrameEvent::kWrongKind, byte);
            }
            Take(byte);
            state_ = State::kKindNumber;
            return FrameEvent::kNone;
        case State::kKindNumber:
            if (byte != shape_.kindNumber) {
                return Fail(FrameEvent::kWrongKindNumber, byte);
            }
            Take(byte);
            state_ = State::kBlockType;
            return FrameEvent::kNone;
        case State::kBlockType:
            Take(byte);
            if (byte == 0x00) {
                type_ = BlockType::kData;
                state_ = State::kCount;
            } else if (byte == static_cast<std::uint8_t>(kBeginText[0])) {
                type_ = BlockType::kBegin;
                typeText_ = kBeginText;
            } else if (byte == static_cast<std::uint8_t>(kEndText[0])) {
                type_ = BlockType::kEnd;
                typeText_ = kEndText;
            } else if (shape_.restartBlocks && byte == static_cast<std::uint8_t>(kRestartText[0])) {
                type_ = BlockType::kRestart;
                typeText_ = kRestartText;
            } else {
                return Fail(FrameEvent::kBadBlockType, byte);
            }
            if (type_ != BlockType::kData) {
                typeAt_ = 1;
                state_ = State::kTypeText;
            }
            return FrameEvent::kNone;
        case State::kTypeText:
            if (byte != static_cast<std::uint8_t>(typeText_[typeAt_])) {
                return Fail(type_ == BlockType::kBegin ? FrameEvent::kBadBeginText
                            : type_ == BlockType::kEnd ? FrameEvent::kBadEndText
                                                       : FrameEvent::kBadRestartText,
                            byte);
            }
            Take(byte);
            if (typeText_[++typeAt_] == '\0') {
                state_ = State::kSumHigh;
            }
            return FrameEvent::kNone;
        case State::kCount:
            if (byte == 0 || byte > shape_.maxRecords) {
                return Fail(FrameEvent::kBadCount, byte);
            }
            add(byte);
            count_ = byte;
            records_.reserve(static_cast<std::size_t>(count_) * shape_.recordSize);
            state_ = State::kRecords;
            return FrameEvent::kNone;
        case State::kRecords:
            add(byte);
            records_.push_back(byte);
            if (records_.size() == static_cast<std::size_t>(count_) * shape_.recordSize) {
                state_ = State::kSumHigh;
            }
            return FrameEvent::kNone;
        case State::kSumHigh:
            received_ = static_cast<std::uint16_t>(byte << 8);
            state_ = State::kSumLow;
            return FrameEvent::kNone;
        case State::kSumLow:
            received_ = static_cast<std::uint16_t>(received_ | byte);
            if (received_ != sum_) {
                state_ = State::kHunt;
                return FrameEvent::kBadChecksum;
            }
            state_ = State::kCr;
            return FrameEvent::kNone;
        case State::kCr:
            if (byte != '\r') {
                return Fail(FrameEvent::kNoCr, byte);
            }
            state_ = State::kLf;
            return FrameEvent::kNone;
        case State::kLf:
            if (byte != '\n') {
                return Fail(FrameEvent::kNoLf, byte);
            }
            state_ = State::kHunt;
            return FrameEvent::kFrame;
    }
    return FrameEvent::kNone;
}

std::string EncodeFrame(const FrameShape& shape, std::uint8_t number, BlockType type,
                        std::span<const std::uint8_t> records) {
    std::vector<std::uint8_t> bytes{kFrameStart, number, static_cast<std::uint8_t>(shape.kind),
                                    shape.kindNumber};
    const char* text = type == BlockType::kBegin     ? kBeginText
                       : type == BlockType::kEnd     ? kEndText
                       : type == BlockType::kRestart ? kRestartText
                                                     : nullptr;
    if (text != nullptr) {
        for (const char* c = text; *c != '\0'; ++c) {
            bytes.push_back(static_cast<std::uint8_t>(*c));
        }
    } else {
        bytes.push_back(0x00);
        bytes.push_back(static_cast<std::uint8_t>(records.size() / shape.recordSize));
        bytes.insert(bytes.end(), records.begin(), records.end());
    }
    std::uint16_t sum = 0;
    for (const std::uint8_t b : bytes) {
        sum = static_cast<std::uint16_t>(sum + b);
    }
    bytes.push_back(static_cast<std::uint8_t>(sum >> 8));
    bytes.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    bytes.push_back('\r');
    bytes.push_back('\n');
    return std::string(bytes.begin(), bytes.end());
}

void DecodeRecordTail(std::span<const std::uint8_t> b, TrackRecord& record) {
    record.time = Big32(b, 0);
    record.latitude = static_cast<std::int32_t>(Big32(b, 4));
    record.longitude = static_cast<std::int32_t>(Big32(b, 8));
    std::uint32_t altitude =
        static_cast<std::uint32_t>(b[12]) << 16 | static_cast<std::uint32_t>(b[13]) << 8 | b[14];
    if ((altitude & 0x800000U) != 0) {
        altitude |= 0xFF000000U;
    }
    record.altitude = static_cast<std::int32_t>(altitude);
    record.flag = b[15];
}

TrackRecord DecodeTrackRecord(std::span<const std::uint8_t> bytes) {
    TrackRecord record;
    record.number = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    DecodeRecordTail(bytes.subspan(2), record);
    return record;
}

void AppendRecordTail(std::vector<std::uint8_t>& out, const TrackRecord& record) {
    PutBig(out, record.time, 4);
    PutBig(out, static_cast<std::uint32_t>(record.latitude), 4);
    PutBig(out, static_cast<std::uint32_t>(record.longitude), 4);
    const std::int32_t altitude = std::clamp(record.altitude, -0x800000, 0x7FFFFF);
    PutBig(out, static_cast<std::uint32_t>(altitude) & 0xFFFFFFU, 3);
    out.push_back(record.flag);
}

void AppendTrackRecord(std::vector<std::uint8_t>& out, const TrackRecord& record) {
    PutBig(out, record.number, 2);
    AppendRecordTail(out, record);
}

}  // namespace tracora::protocols
