// The MTK logger's wire format and log memory without any I/O: the "$PMTK" commands and
// answers, and the binary log of 64 KiB sectors decoded into track points (and built from
// them, for the emulator). NOTES.md describes both byte by byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"

namespace tracora::protocols::mtk {

inline constexpr int kDefaultBaud = 38400;
inline constexpr int kFastBaud = 115200;
// The source kind of an MTK track log.
inline constexpr int kSourceKind = 10;

inline constexpr std::string_view kFirmwareRequest = "$PMTK605*31\r\n";
inline constexpr std::string_view kLogStatusRequest = "$PMTK182,2,7*3C\r\n";
inline constexpr std::string_view kStopLogging = "$PMTK182,5*20\r\n";
inline constexpr std::string_view kMemoryUsedRequest = "$PMTK182,2,8*33\r\n";
inline constexpr std::string_view kStartLogging = "$PMTK182,4*21\r\n";
inline constexpr std::string_view kEraseCommand = "$PMTK182,6,1*3E\r\n";

inline constexpr std::size_t kChunkSize = 256;
inline constexpr std::size_t kSectorSize = 0x10000;
inline constexpr std::size_t kSectorHeaderSize = 0x200;
inline constexpr std::uint32_t kMaxMemory = 64u * 1024 * 1024;
// A sentence keeps at most this many fields.
inline constexpr std::size_t kMaxFields = 20;

// The read request of the chunk at `address`: "$PMTK182,7,AAAAAAAA,00000100*CS\r\n".
std::string ChunkRequest(std::uint32_t address);

// What a received sentence (without CR LF) answers.
enum class AnswerKind {
    kNone,        // no sentence of ours, or a damaged one
    kFirmware,    // PMTK705 with its two fields
    kLogStatus,   // PMTK182,3,7,<status>
    kMemoryUsed,  // PMTK182,3,8,<hex>
    kAck,         // PMTK001,182,<subcommand>,<result>
    kChunk,       // PMTK182,8,<address>,<hex bytes>
};

struct Answer {
    AnswerKind kind = AnswerKind::kNone;
    std::string firmware1, firmware2;  // at most 80 characters each
    std::uint32_t value = 0;           // the status, the used bytes, the chunk's address
    int ackSubcommand = -1;            // -1 when the acknowledgement names none
    std::vector<std::uint8_t> bytes;   // a chunk's data
    bool badChecksum = false;          // a checksum that does not match (the rest is empty)
};

// Decodes one sentence: the checksum must be the last two characters after '*'.
Answer DecodeAnswer(std::string_view sentence);

// The record fields of the log, by their bit in the field mask.
enum FieldBit : std::uint32_t {
    kUtc = 0x1,
    kValid = 0x2,
    kLatitude = 0x4,
    kLongitude = 0x8,
    kHeight = 0x10,
    kSpeed = 0x20,
    kHeading = 0x40,
    kDgpsStation = 0x80,
    kDgpsAge = 0x100,
    kPdop = 0x200,
    kHdop = 0x400,
    kVdop = 0x800,
    kSatellites = 0x1000,
    kSatelliteBlock = 0x2000,
    kElevation = 0x4000,
    kAzimuth = 0x8000,
    kSnr = 0x10000,
    kRcr = 0x20000,
    kMilliseconds = 0x40000,
    kDistance = 0x80000,
};

inline constexpr std::string_view kHoluxSignature = "HOLUXGR241LOGGER";

enum class LogStatus { kOk, kBadHeader, kBadData, kNoPoints };

struct LogResult {
    LogStatus status = LogStatus::kOk;
    int badDataCode = 0;  // 1 record past the sector, 2 no '*', 3 wrong checksum
    std::vector<TrackPoint> points;
};

// Decodes the log memory: `memory` holds the used bytes (and whatever follows them up to a
// sector's end); records beyond `usedSize` are never read.
LogResult ParseLog(std::span<const std::uint8_t> memory, std::size_t usedSize);

// The log memory of these points as a logger writes it, the standard layout (double
// positions, float heights) or the Holux one (float positions, 3-byte heights, no '*'); the
// last sector stays open. The bytes up to the end of the last record.
std::vector<std::uint8_t> BuildLog(const std::vector<TrackPoint>& points, bool holux);

// Where the records of a log start and how long they are, for tests that damage one.
std::size_t RecordSize(bool holux);
std::size_t FirstRecordOffset(bool holux);

}  // namespace tracora::protocols::mtk
