// The Syride SYS'Nav's reports and memory, without any I/O: the 64-byte request and reply, the
// flight entry, the compressed flight records and the waypoint table (NOTES.md describes them).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/track_log.hpp"

namespace tracora::protocols::syride {

inline constexpr std::uint16_t kVendorId = 0x0483;
inline constexpr std::uint16_t kProductId = 0x5753;
inline constexpr int kSourceKind = 13;
inline constexpr std::size_t kReportSize = 64;
inline constexpr std::uint8_t kReportId = 1;
inline constexpr std::uint8_t kCompleteMark = 0x17;

inline constexpr std::uint8_t kCmdIdentify = 0;
inline constexpr std::uint8_t kCmdFlightCount = 3;
inline constexpr std::uint8_t kCmdFlightEntry = 5;
inline constexpr std::uint8_t kCmdReadMemory = 6;
inline constexpr std::uint8_t kCmdPageBuffer = 11;
inline constexpr std::uint8_t kCmdWritePage = 13;
inline constexpr std::uint8_t kCmdEraseSector = 29;

inline constexpr std::size_t kReadPiece = 61;
inline constexpr std::size_t kBufferPiece = 59;
inline constexpr std::size_t kPageSize = 256;
inline constexpr std::uint32_t kSectorSize = 4096;
inline constexpr std::uint32_t kMemoryPage = 0x10000;
inline constexpr std::uint32_t kPageDataOffset = 24;
inline constexpr std::uint32_t kPageDataSize = kMemoryPage - kPageDataOffset;  // 65512
inline constexpr std::uint32_t kWaypointTable = 0x1A000;
inline constexpr std::size_t kWaypointTableSize = 24576;
inline constexpr std::size_t kSlotSize = 20;
inline constexpr std::size_t kSlots = 1228;
// Seconds from 1970-01-01 to the program's time base.
inline constexpr std::uint32_t kUnixToTimeBase = 631065600;

using Report = std::array<std::uint8_t, kReportSize>;

// Sum of bytes 1-62, 8 bits.
std::uint8_t ReportSum(std::span<const std::uint8_t> report);
// Report ID 1, the command, `arguments` from byte 2 (at most 61), the sum in byte 63.
Report MakeRequest(std::uint8_t command, std::span<const std::uint8_t> arguments = {});
// A whole reply: 64 bytes, byte 62 the completion mark, byte 63 the sum.
bool ReplyComplete(std::span<const std::uint8_t> reply);
// A reply the device sends: `data` from byte 1 (at most 61 bytes), the mark and the sum.
Report MakeReply(std::span<const std::uint8_t> data);

std::array<std::uint8_t, 4> Le32(std::uint32_t value);
std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes);

struct FlightEntry {
    std::uint32_t startUnix = 0;
    std::uint16_t duration = 0;  // seconds, one position a second
    std::uint8_t startPage = 0;
};
FlightEntry DecodeFlightEntry(std::span<const std::uint8_t> bytes);  // 20 bytes
std::array<std::uint8_t, 20> EncodeFlightEntry(const FlightEntry& entry);

// The bytes a flight of n positions occupies.
std::size_t FlightBytes(std::size_t positions);

// The n positions of a flight's bytes (at least FlightBytes(n)). Times from `start` (the
// program's time base), the first point starts a segment. An empty list for n = 0.
std::vector<TrackPoint> DecodeFlight(std::span<const std::uint8_t> bytes, std::size_t positions,
                                     std::uint32_t start);
// The flight's bytes as the device stores them (full records every 60 s, deltas between).
std::vector<std::uint8_t> EncodeFlight(const std::vector<TrackPoint>& points);

// 1e-7 degree and semicircles.
std::int32_t E7ToSemicircles(std::int32_t value);
std::int32_t SemicirclesToE7(std::int32_t semicircles);

// A waypoint slot: false when empty or out of range.
bool DecodeSlot(std::span<const std::uint8_t> slot, std::uint32_t time, Waypoint& out);
// The slot an upload writes; false for a waypoint without an ID and a description.
bool EncodeSlot(const Waypoint& waypoint, std::span<std::uint8_t> slot);
bool SlotUsed(std::span<const std::uint8_t> slot);

}  // namespace tracora::protocols::syride
