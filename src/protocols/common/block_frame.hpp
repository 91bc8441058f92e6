// The binary block frame of the "$PMLR" instruments (track logs and waypoint lists sent at a
// raised line speed), and its 18-byte track record:
//
//   0x8B, sentence number, kind letter, kind number, block type, [count, count records],
//   16-bit sum (high byte first) of every byte from 0x8B to the last data byte, CR, LF.
//
// The block type is a letter followed by the rest of its word ("DEBUT" begins, "FIN" ends,
// "RESTART" restarts a broken transfer) or 0x00 for a data block, which carries the record count
// and the records. The decoder reports every way a frame can be broken; each family decides
// which of them it passes over and which end its transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tracora::protocols {

inline constexpr std::uint8_t kFrameStart = 0x8B;

// What a family's frames look like.
struct FrameShape {
    char kind = 'T';              // byte 2
    std::uint8_t kindNumber = 1;  // byte 3
    std::size_t recordSize = 18;
    int maxRecords = 27;
    bool restartBlocks = false;  // whether "RESTART" blocks exist
};

enum class BlockType { kBegin, kData, kEnd, kRestart };

enum class FrameEvent {
    kNone,             // the byte was taken; no frame is complete yet
    kFrame,            // a whole frame with a good sum
    kWrongKind,        // byte 2 is not the kind letter
    kWrongKindNumber,  // byte 3 is not the kind number
    kBadBlockType,     // byte 4 starts no block type
    kBadBeginText,     // a letter of "DEBUT" is wrong
    kBadEndText,       // a letter of "FIN" is wrong
    kBadRestartText,   // a letter of "RESTART" is wrong
    kBadCount,         // a data block's record count is 0 or above the maximum
    kBadChecksum,      // the sum differs
    kNoCr,             // no CR after the sum
    kNoLf,             // no LF after the CR
};

// Takes received bytes one at a time; bytes outside a frame other than 0x8B are passed over.
// After any event but kNone the decoder hunts for the next 0x8B again. When the fixed bytes of
// a frame's head do not match, the head is searched again from its second byte, so that a
// stray 0x8B of line noise does not swallow the frame that follows it.
class FrameDecoder {
public:
    explicit FrameDecoder(FrameShape shape) : shape_(shape) {}

    FrameEvent Feed(std::uint8_t byte);
    void Reset();

    // The last complete frame (after kFrame).
    std::uint8_t Number() const { return number_; }
    BlockType Type() const { return type_; }
    int Count() const { return count_; }
    // Count() records of shape.recordSize bytes each.
    std::span<const std::uint8_t> Records() const { return records_; }

private:
    enum class State {
        kHunt,
        kNumber,
        kKind,
        kKindNumber,
        kBlockType,
        kTypeText,
        kCount,
        kRecords,
        kSumHigh,
        kSumLow,
        kCr,
        kLf
    };
    FrameEvent Fail(FrameEvent event, std::uint8_t byte);
    void Begin();
    void Take(std::uint8_t byte);

    FrameShape shape_;
    State state_ = State::kHunt;
    std::uint16_t sum_ = 0;
    std::uint16_t received_ = 0;
    std::uint8_t number_ = 0;
    BlockType type_ = BlockType::kData;
    const char* typeText_ = "";
    std::size_t typeAt_ = 0;
    int count_ = 0;
    std::vector<std::uint8_t> records_;
    // The bytes of the head so far (start byte to block type text), for the search again.
    std::vector<std::uint8_t> head_;
};

// One frame as an instrument sends it; `records` holds whole records of shape.recordSize bytes
// (ignored for every block but data).
std::string EncodeFrame(const FrameShape& shape, std::uint8_t number, BlockType type,
                        std::span<const std::uint8_t> records = {});

// The 18-byte track record (big-endian): point number, time, latitude and longitude in
// semicircles, altitude in decimetres (24 bits, signed), flag. Waypoint records are the same
// after a 6-character ID, without the point number.
inline constexpr std::size_t kTrackRecordSize = 18;
struct TrackRecord {
    std::uint16_t number = 0;
    std::uint32_t time = 0;
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::int32_t altitude = 0;  // decimetres, sign-extended from 24 bits
    std::uint8_t flag = 0;
};

// Reads one record from `bytes` (at least 18 of them).
TrackRecord DecodeTrackRecord(std::span<const std::uint8_t> bytes);
// Appends one record; the altitude is clamped to 24 bits.
void AppendTrackRecord(std::vector<std::uint8_t>& out, const TrackRecord& record);

// The fixed part of a record after its number or ID: time, latitude, longitude, altitude, flag
// (16 bytes).
void DecodeRecordTail(std::span<const std::uint8_t> bytes, TrackRecord& record);
void AppendRecordTail(std::vector<std::uint8_t>& out, const TrackRecord& record);

}  // namespace tracora::protocols
