// The "$PDGF" memory protocol of the Digifly Air and the Leonardo Pro, both directions, without
// any I/O: the fixed requests, the memory read and write sentences, the memory answer and flight
// list parsers, the 23-byte track record and the 44-byte waypoint record, the walk over the track
// memory's pages and the waypoint image of an upload. The emulator builds its answers from the
// instrument-side encoders here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"

namespace tracora::protocols::digifly {

inline constexpr int kAirBaud = 115200;
inline constexpr int kProBaud = 38400;

inline constexpr std::string_view kProductRequest = "$PDGFVID*4E\r\n";
inline constexpr std::string_view kFlightListRequest = "$PDGFFLL*53\r\n";
inline constexpr std::string_view kProductIdentifier = "$PDGFVID";
// The instrument's answer to every memory write, without CR LF.
inline constexpr std::string_view kWriteAnswer = "$PDGFWMM*42";

// Times of the instrument count from 1980-01-06; the system's from 1989-12-31.
inline constexpr std::uint32_t kEpochOffset = 315'100'800;

// Memory.
inline constexpr int kTrackMemory = 2;
inline constexpr int kWaypointMemory = 1;
inline constexpr int kPageSize = 4096;
inline constexpr int kPageCount = 256;
inline constexpr int kTrackRecordSize = 23;
inline constexpr int kMaxReadBytes = 92;     // four track records
inline constexpr int kMaxAnswerBytes = 100;  // the most a memory answer may carry
inline constexpr int kWaypointRecordSize = 44;
inline constexpr int kWaypointsPerPage = 93;
inline constexpr int kWaypointRecords = 2 * kWaypointsPerPage;
inline constexpr int kUserWaypointPage = 230;  // and 231
inline constexpr int kCompWaypointPage = 228;  // and 229
inline constexpr std::uint8_t kEmptyRecord = 0xFF;

// The job's parameter: bit 0 the model (Digifly Air, else Leonardo Pro), bit 1 the competition
// waypoint list.
inline bool IsDigiflyAir(int parameter) {
    return (parameter & 1) != 0;
}
inline bool UsesCompetitionList(int parameter) {
    return (parameter & 2) != 0;
}
inline int LineBaud(int parameter) {
    return IsDigiflyAir(parameter) ? kAirBaud : kProBaud;
}

// The product data of a "$PDGFVID" answer, spaces normalised.
struct DigiflyProduct {
    std::string product;   // upper case, at most 40 characters
    std::string software;  // at most 20
    std::string serial;    // at most 20
    std::string userName;  // at most 40
};
// From the fields of the answer (identifier first, at least 5 fields). 0, or -1 when the user
// name is empty.
int DecodeProductData(const std::vector<std::string>& fields, DigiflyProduct& out);
// "DigiflyAir" or "LeonardoPro", by the model the job was started for.
std::string_view DisplayName(int parameter);
// "DigiflyAir SN1234 SW2.1", at most 80 characters.
std::string DeviceDescription(int parameter, const DigiflyProduct& product);
// "DigiflyAir: 1234", at most 50 characters.
std::string DeviceIdentifier(int parameter, const DigiflyProduct& product);
// The instrument's answer: "$PDGFVID,product,software,serial,user*XX\r\n".
std::string ProductAnswer(const DigiflyProduct& product);

// Codes of the memory read exchange ("Error % reading track log").
inline constexpr int kReadWriteFailed = 10;
inline constexpr int kReadAborted = 11;
inline constexpr int kReadTimeout = 12;
inline constexpr int kReadPortError = 13;
inline constexpr int kAnswerTextBeforeComma = 14;
inline constexpr int kAnswerBadIdentifier = 15;
inline constexpr int kAnswerOddDigits = 16;
inline constexpr int kAnswerTooLong = 17;
inline constexpr int kAnswerBadDigit = 18;
inline constexpr int kAnswerBadChecksumDigit = 19;
inline constexpr int kAnswerChecksumMismatch = 20;
inline constexpr int kAnswerWrongLength = 21;
// The walk over the track memory cannot reach the track's end address (an offset beyond the
// page, or more pages than the memory has).
inline constexpr int kTrackEndUnreachable = 22;

// "$PDGFRMM,type,page,offset,length*XX\r\n".
std::string ReadRequest(int type, int page, int offset, int length);
// "$PDGFWMM,1,page,offset,length,<bytes as hex>*XX\r\n".
std::string WriteRequest(int page, int offset, std::span<const std::uint8_t> bytes);
// The instrument's answer to a read: "$PDGFRMM,<bytes as hex>*XX\r\n".
std::string MemoryAnswer(std::span<const std::uint8_t> bytes);

// Reads one memory answer a byte at a time. Bytes before its '$' are passed over. Feed()
// returns 0 while more bytes are needed, 1 when the answer is complete (after its two checksum
// digits; Bytes() then holds the data) or one of the codes 14-20 above. After a result other
// than 0 the parser waits for the next '$'.
class MemoryAnswerParser {
public:
    int Feed(std::uint8_t byte);
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    void Reset();

private:
    enum class State { kIdle, kIdentifier, kComma, kData, kChecksum1, kChecksum2 };
    int Fail(int code);
    State state_ = State::kIdle;
    std::size_t matched_ = 0;
    std::uint8_t xor_ = 0;
    int high_ = -1;  // the first digit of a pair
    int checksum_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// A write command sent, with its bytes for the instrument side.
struct WriteCommand {
    int type = 0;
    int page = 0;
    int offset = 0;
    std::vector<std::uint8_t> bytes;
};
// A "$PDGFRMM" or "$PDGFWMM" request (without CR LF) as the instrument reads it; a write's
// bytes go to `write`. Nothing for another sentence, a bad checksum or a field out of range.
struct MemoryRequest {
    bool write = false;
    int type = 0;
    int page = 0;
    int offset = 0;
    int length = 0;
    std::vector<std::uint8_t> bytes;  // a write's data
};
std::optional<MemoryRequest> ParseMemoryRequest(std::string_view sentence);

// One entry of the flight list, times in the system's seconds.
struct FlightEntry {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint32_t startAddress = 0;  // page << 16 | offset
    std::uint32_t endAddress = 0;    // the last byte of the last record
};
inline constexpr int kFlightEntrySize = 14;
inline constexpr int kMaxFlights = 255;

// The instrument's flight list answer: "$PDGFFLL,<count>,<14-byte records as hex>*XX\r\n";
// times are converted to the instrument's epoch.
std::string FlightListAnswer(std::span<const FlightEntry> entries);
std::string FlightListAnswer(std::span<const FlightEntry> entries, int count);

// Reads the flight list answer a byte at a time. Bytes before the '$' are passed over. Feed()
// returns 0 while more bytes are needed, 1 when the list is complete and valid, or a negative
// code (FlightListParserText gives its message).
inline constexpr int kListBadSentence = -1;     // "Bad NMEA sentence"
inline constexpr int kListBadCount = -2;        // "Bad track count format"
inline constexpr int kListBadFormat = -3;       // "Bad sentence format"
inline constexpr int kListEndBeforeStart = -4;  // "End time before start time"
inline constexpr int kListBadChecksum = -5;     // "Bad NMEA checksum"
inline constexpr int kListCountMismatch = -6;   // "Number of tracks detected unequal ..."
class FlightListParser {
public:
    int Feed(std::uint8_t byte);
    // The entries in the order received, at most kMaxFlights.
    const std::vector<FlightEntry>& Entries() const { return entries_; }
    // Whether the answer has begun and not ended.
    bool Inside() const { return state_ != State::kIdle && state_ != State::kDone; }

private:
    enum class State { kIdle, kIdentifier, kCount, kData, kChecksum1, kChecksum2, kEnd, kDone };
    int Fail(int code);
    State state_ = State::kIdle;
    std::size_t matched_ = 0;
    std::uint8_t xor_ = 0;
    int count_ = 0;
    int countDigits_ = 0;
    int high_ = -1;
    int checksum_ = 0;
    int records_ = 0;
    std::vector<std::uint8_t> record_;
    std::vector<FlightEntry> entries_;
};
const char* FlightListParserText(int code);

// The entries newest first (by start time).
std::vector<FlightEntry> NewestFirst(std::vector<FlightEntry> entries);

// A track record.
struct TrackRecord {
    std::uint8_t flags = 0;
    std::uint32_t time = 0;  // the instrument's seconds
    float latitude = 0;      // radians
    float longitude = 0;
    std::int16_t pressureAltitude = 0;  // metres
    std::int16_t gpsAltitude = 0;       // metres
};
TrackRecord DecodeTrackRecord(std::span<const std::uint8_t> bytes);  // 23 bytes
void AppendTrackRecord(std::vector<std::uint8_t>& out, const TrackRecord& record);
TrackPoint ToTrackPoint(const TrackRecord& record);
TrackRecord FromTrackPoint(const TrackPoint& point);

// One read of a track: where and how many bytes.
struct MemoryRead {
    int page = 0;
    int offset = 0;
    int length = 0;
};

// The reads of one track from its start to its end address, whole records only: a record never
// crosses a page end (the rest of a page is left over and the track goes on at offset 0 of the
// next page; page numbers wrap at 256), at most 92 bytes a read.
class TrackWalk {
public:
    TrackWalk(std::uint32_t startAddress, std::uint32_t endAddress);
    // The next read: 1 with `read` set, 0 when the track is complete, or kTrackEndUnreachable
    // when the addresses lie beyond a page or the walk would pass every page of the memory.
    int Next(MemoryRead& read);
    // After a read of `read.length` bytes.
    void Advance(const MemoryRead& read);

private:
    int page_;
    int offset_;
    int endPage_;
    int endOffset_;
    bool outside_;  // an address beyond the end of its page
    int pagesWalked_ = 0;
};

// Where the instrument's memory puts a track of `records` records that starts at `address`: the
// address of its last byte. The page walk of TrackWalk, backwards for the emulator.
std::uint32_t TrackEndAddress(std::uint32_t startAddress, std::size_t records);
// The address just behind that track's last record, where the next track starts.
std::uint32_t NextTrackAddress(std::uint32_t startAddress, std::size_t records);
// The address of record `index` of a track starting at `startAddress`.
std::uint32_t RecordAddress(std::uint32_t startAddress, std::size_t index);

// A waypoint record: nothing for an empty slot (first byte 0xFF) or an empty ID; the kind 1
// is recognised, anything else is kind 0.
std::optional<Waypoint> DecodeWaypointRecord(std::span<const std::uint8_t> bytes,
                                             std::uint32_t now);
void AppendWaypointRecord(std::vector<std::uint8_t>& out, const Waypoint& waypoint);
bool IsEmptyWaypointRecord(std::span<const std::uint8_t> record);

// The waypoint list of an upload: the 186 records of a list, compacted, with the new waypoints
// behind the used ones.
struct UploadPlan {
    int usedBefore = 0;    // used records of the instrument's list
    int highestUsed = -1;  // the last used slot before the compaction
    int added = 0;         // new waypoints that fit
    int recordsToWrite = 0;
};
// Compacts `image` (186 records) in place: the used records move to the front in their order,
// the rest become empty (all bytes 0xFF); then appends as many of `waypoints` as there are
// empty records. The records to write run to the last used one, and at least over every slot
// that was used before, so that no old record survives behind the list as a duplicate.
UploadPlan PlanWaypointUpload(std::vector<std::uint8_t>& image,
                              std::span<const Waypoint> waypoints);
// The records (first, count) of each write command of an upload: one or two at a time, never
// across the end of a page.
std::vector<std::pair<int, int>> WriteChunks(int recordsToWrite);

}  // namespace tracora::protocols::digifly
