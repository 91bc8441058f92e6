// What an Ascent logger sends and takes: the one- to four-byte requests, the product reply, the
// numbered blocks of the track list (81-byte flight entries) and of the log memory, and the log
// data of one flight (a header, then time and location records).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora::protocols::ascent {

inline constexpr int kBaud = 128'000;

inline constexpr std::uint8_t kProductRequest = 0x01;
inline constexpr std::array<std::uint8_t, 2> kTrackListRequest{0x03, 0x05};
inline constexpr std::array<std::uint8_t, 2> kEraseRequest{0x03, 0x02};
std::array<std::uint8_t, 4> TrackLogRequest(std::uint16_t flight);

inline constexpr std::size_t kProductReplySize = 18;
inline constexpr std::uint8_t kTrackListId = 0x05;
inline constexpr std::uint8_t kTrackLogId = 0x04;
inline constexpr std::size_t kEntrySize = 81;
inline constexpr std::size_t kLogDataSize = 255;

struct AscentProduct {
    std::array<std::uint8_t, 4> serial{};
    int hardware = 0;
    int software = 0;  // x 1000
    int usedSectors = 0;
};

// The first 18 bytes of a reply; false when there are fewer or byte 0 is not 2.
bool DecodeProduct(std::span<const std::uint8_t> reply, AscentProduct& product);
// "Ascent: %02X%02X%02X%02X".
std::string ProductText(const AscentProduct& product);
// "Ascent, SNR ..., SW %d.%d, HW %d".
std::string DeviceLine(const AscentProduct& product);

// One numbered block: id, block number (2 bytes, big-endian), one byte (unused, or the data
// length of a log block), then `bodySize` bytes.
class BlockReader {
public:
    enum class Event { kNone, kBadId, kBlock };
    BlockReader(std::uint8_t id, std::size_t bodySize) : id_(id), bodySize_(bodySize) {}
    Event Feed(std::uint8_t byte);
    std::uint16_t Number() const { return number_; }
    std::uint8_t Extra() const { return extra_; }
    std::span<const std::uint8_t> Body() const { return body_; }

private:
    std::uint8_t id_;
    std::size_t bodySize_;
    std::size_t at_ = 0;
    std::uint16_t number_ = 0;
    std::uint8_t extra_ = 0;
    std::vector<std::uint8_t> body_;
};

// How a block number is taken. The first accepted block is 1 (others are read over; a block 0
// read over first still waits for 1); after it the previous number + 1, or 0 for the last.
class BlockSequence {
public:
    enum class Verdict { kSkip, kAccept, kLast, kBad };
    Verdict Next(std::uint16_t number);

private:
    bool started_ = false;
    std::uint16_t last_ = 0;
};

struct FlightEntry {
    bool empty = false;  // bytes 0-1 are 0: the logger holds no flights
    std::uint16_t number = 0;
    std::uint32_t start = 0;  // system seconds
    std::uint32_t durationSeconds = 0;
};
FlightEntry DecodeEntry(std::span<const std::uint8_t> entry);

// The log data of one flight into points (time from the first time record, then one second per
// location record). "" on success, else the message.
std::string DecodeFlightLog(std::span<const std::uint8_t> data, std::uint16_t flight,
                            std::vector<TrackPoint>& points);

// Thousandths-of-a-minute-free form of the logger: degrees x 100 + minutes and ten-thousandths
// of a minute, as semicircles (2^31 / 108,000,000 per ten-thousandth).
std::int32_t LoggerAngle(std::uint16_t degreesMinutes, std::uint16_t tenThousandths, bool negative);

// For the emulator: the encoders of what the logger sends.
std::vector<std::uint8_t> EncodeProduct(const AscentProduct& product);
std::vector<std::uint8_t> EncodeBlock(std::uint8_t id, std::uint16_t number, std::uint8_t extra,
                                      std::span<const std::uint8_t> body, std::size_t bodySize);
std::vector<std::uint8_t> EncodeEntry(std::uint16_t number, const CalendarTime& start,
                                      std::uint32_t durationMinutes);
// A flight's log data: header, one time record, a location record per point (rounded to a
// ten-thousandth of a minute and a metre).
std::vector<std::uint8_t> EncodeFlightLog(std::uint16_t flight,
                                          const std::vector<TrackPoint>& points);

}  // namespace tracora::protocols::ascent
