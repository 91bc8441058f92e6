#include "protocols/digifly/digifly_frames.hpp"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <limits>

#include "core/angles.hpp"
#include "protocols/common/flight_list.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/common/product_data.hpp"

namespace tracora::protocols::digifly {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::string_view kReadIdentifier = "PDGFRMM";
constexpr std::string_view kListIdentifier = "PDGFFLL";

void AppendHex(std::string& out, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
}

std::uint32_t Little32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint32_t Little24(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16;
}

void PutLittle(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

float FloatAt(std::span<const std::uint8_t> b, std::size_t at) {
    return std::bit_cast<float>(Little32(b, at));
}

void PutFloat(std::vector<std::uint8_t>& out, double value) {
    PutLittle(out, std::bit_cast<std::uint32_t>(static_cast<float>(value)), 4);
}

std::int16_t ClampInt16(std::int32_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(
        value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

std::string Padded(std::string_view text, std::size_t size) {
    std::string out(text.substr(0, size));
    out.resize(size, ' ');
    return out;
}

std::string_view TextOf(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes.data()) + at, size};
}

// The position of a track's records in memory: a record that does not fit in the rest of its
// page goes to offset 0 of the next page.
struct Cursor {
    int page;
    int offset;
    void Fit() {
        if (offset + kTrackRecordSize > kPageSize) {
            page = (page + 1) % kPageCount;
            offset = 0;
        }
    }
    void Step() {
        Fit();
        offset += kTrackRecordSize;
    }
    std::uint32_t Address() const {
        return static_cast<std::uint32_t>(page) << 16 | static_cast<std::uint32_t>(offset);
    }
};

Cursor CursorAt(std::uint32_t address) {
    return {static_cast<int>(address >> 16 & 0xFF), static_cast<int>(address & 0xFFFF)};
}

}  // namespace

int DecodeProductData(const std::vector<std::string>& fields, DigiflyProduct& out) {
    if (fields.size() < 5) {
        return -1;
    }
    DigiflyProduct product;
    product.product = NormaliseSpaces(fields[1], 40);
    for (char& c : product.product) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    product.software = NormaliseSpaces(fields[2], 20);
    product.serial = NormaliseSpaces(fields[3], 20);
    product.userName = NormaliseSpaces(fields[4], 40);
    if (product.userName.empty()) {
        return -1;
    }
    out = std::move(product);
    return 0;
}

std::string_view DisplayName(int parameter) {
    return IsDigiflyAir(parameter) ? "DigiflyAir" : "LeonardoPro";
}

std::string DeviceDescription(int parameter, const DigiflyProduct& product) {
    std::string text =
        std::string(DisplayName(parameter)) + " SN" + product.serial + " SW" + product.software;
    return text.substr(0, 80);
}

std::string DeviceIdentifier(int parameter, const DigiflyProduct& product) {
    return (std::string(DisplayName(parameter)) + ": " + product.serial).substr(0, 50);
}

std::string ProductAnswer(const DigiflyProduct& product) {
    return BuildNmeaSentence("PDGFVID," + product.product + "," + product.software + "," +
                             product.serial + "," + product.userName);
}

std::string ReadRequest(int type, int page, int offset, int length) {
    return BuildNmeaSentence("PDGFRMM," + std::to_string(type) + "," + std::to_string(page) + "," +
                             std::to_string(offset) + "," + std::to_string(length));
}

std::string WriteRequest(int page, int offset, std::span<const std::uint8_t> bytes) {
    std::string body = "PDGFWMM," + std::to_string(kWaypointMemory) + "," + std::to_string(page) +
                       "," + std::to_string(offset) + "," + std::to_string(bytes.size()) + ",";
    AppendHex(body, bytes);
    return BuildNmeaSentence(body);
}

std::string MemoryAnswer(std::span<const std::uint8_t> bytes) {
    std::string body = std::string(kReadIdentifier) + ",";
    AppendHex(body, bytes);
    return BuildNmeaSentence(body);
}

int MemoryAnswerParser::Fail(int code) {
    state_ = State::kIdle;
    return code;
}

void MemoryAnswerParser::Reset() {
    state_ = State::kIdle;
    bytes_.clear();
}

int MemoryAnswerParser::Feed(std::uint8_t byte) {
    int value = 0;
    switch (state_) {
        case State::kIdle:
            if (byte == '$') {
                state_ = State::kIdentifier;
                matched_ = 0;
                xor_ = 0;
                high_ = -1;
                bytes_.clear();
            }
            return 0;
        case State::kIdentifier:
            if (byte != static_cast<std::uint8_t>(kReadIdentifier[matched_])) {
                return Fail(kAnswerBadIdentifier);
            }
            xor_ ^= byte;
            if (++matched_ == kReadIdentifier.size()) {
                state_ = State::kComma;
            }
            return 0;
        case State::kComma:
            if (byte != ',') {
                return Fail(kAnswerTextBeforeComma);
            }
            xor_ ^= byte;
            state_ = State::kData;
            return 0;
        case State::kData:
            if (byte == '*') {
                if (high_ >= 0) {
                    return Fail(kAnswerOddDigits);
                }
                state_ = State::kChecksum1;
                return 0;
            }
            if (!HexDigitValue(static_cast<char>(byte), value)) {
                return Fail(kAnswerBadDigit);
            }
            xor_ ^= byte;
            if (high_ < 0) {
                high_ = value;
                return 0;
            }
            if (bytes_.size() >= static_cast<std::size_t>(kMaxAnswerBytes)) {
                return Fail(kAnswerTooLong);
            }
            bytes_.push_back(static_cast<std::uint8_t>(high_ << 4 | value));
            high_ = -1;
            return 0;
        case State::kChecksum1:
            if (!HexDigitValue(static_cast<char>(byte), value)) {
                return Fail(kAnswerBadChecksumDigit);
            }
            checksum_ = value << 4;
            state_ = State::kChecksum2;
            return 0;
        case State::kChecksum2:
            if (!HexDigitValue(static_cast<char>(byte), value)) {
                return Fail(kAnswerBadChecksumDigit);
            }
            state_ = State::kIdle;
            return (checksum_ | value) == xor_ ? 1 : kAnswerChecksumMismatch;
    }
    return 0;
}

std::optional<MemoryRequest> ParseMemoryRequest(std::string_view sentence) {
    std::vector<std::string> fields;
    const int count = SplitNmeaSentence(sentence, fields, 7);
    if (count < 5) {
        return std::nullopt;
    }
    MemoryRequest request;
    if (fields[0] == "$PDGFWMM") {
        request.write = true;
    } else if (fields[0] != "$PDGFRMM") {
        return std::nullopt;
    }
    if (!ParseSmallDecimal(fields[1], request.type) ||
        !ParseSmallDecimal(fields[2], request.page) ||
        !ParseSmallDecimal(fields[3], request.offset) ||
        !ParseSmallDecimal(fields[4], request.length)) {
        return std::nullopt;
    }
    if (request.page >= kPageCount || request.offset > 0xFFFF || request.length < 1) {
        return std::nullopt;
    }
    if (!request.write) {
        return count == 5 && request.length <= kMaxAnswerBytes ? std::optional(request)
                                                               : std::nullopt;
    }
    if (count != 6 || fields[5].size() != 2 * static_cast<std::size_t>(request.length)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < fields[5].size(); i += 2) {
        int high = 0;
        int low = 0;
        if (!HexDigitValue(fields[5][i], high) || !HexDigitValue(fields[5][i + 1], low)) {
            return std::nullopt;
        }
        request.bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return request;
}

std::string FlightListAnswer(std::span<const FlightEntry> entries) {
    return FlightListAnswer(entries, static_cast<int>(entries.size()));
}

std::string FlightListAnswer(std::span<const FlightEntry> entries, int count) {
    std::vector<std::uint8_t> data;
    for (const FlightEntry& e : entries) {
        PutLittle(data, e.start + kEpochOffset, 4);
        PutLittle(data, e.end + kEpochOffset, 4);
        PutLittle(data, e.startAddress, 3);
        PutLittle(data, e.endAddress, 3);
    }
    std::string body = std::string(kListIdentifier) + "," + std::to_string(count) + ",";
    AppendHex(body, data);
    return BuildNmeaSentence(body);
}

int FlightListParser::Fail(int code) {
    state_ = State::kIdle;
    return code;
}

int FlightListParser::Feed(std::uint8_t byte) {
    int value = 0;
    switch (state_) {
        case State::kIdle:
            if (byte == '$') {
                state_ = State::kIdentifier;
                matched_ = 0;
                xor_ = 0;
                count_ = 0;
                countDigits_ = 0;
                high_ = -1;
                records_ = 0;
                record_.clear();
                entries_.clear();
            }
            return 0;
        case State::kIdentifier:
            xor_ ^= byte;
            if (matched_ < kListIdentifier.size()) {
                if (byte != static_cast<std::uint8_t>(kListIdentifier[matched_++])) {
                    return Fail(kListBadSentence);
                }
                return 0;
            }
            if (byte != ',') {
                return Fail(kListBadSentence);
            }
            state_ = State::kCount;
            return 0;
        case State::kCount:
            xor_ ^= byte;
            if (byte >= '0' && byte <= '9' && countDigits_ < 9) {
                count_ = count_ * 10 + (byte - '0');
                ++countDigits_;
                return 0;
            }
            if (byte != ',' || countDigits_ == 0) {
                return Fail(kListBadCount);
            }
            state_ = State::kData;
            return 0;
        case State::kData:
            if (byte == '*') {
                if (high_ >= 0 || !record_.empty()) {
                    return Fail(kListBadFormat);
                }
                state_ = State::kChecksum1;
                return 0;
            }
            if (!HexDigitValue(static_cast<char>(byte), value)) {
                return Fail(kListBadFormat);
            }
            xor_ ^= byte;
            if (high_ < 0) {
                high_ = value;
                return 0;
            }
            record_.push_back(static_cast<std::uint8_t>(high_ << 4 | value));
            high_ = -1;
            if (record_.size() == static_cast<std::size_t>(kFlightEntrySize)) {
                const std::uint32_t start = Little32(record_, 0);
                const std::uint32_t end = Little32(record_, 4);
                if (end < start) {
                    return Fail(kListEndBeforeStart);
                }
                if (entries_.size() < static_cast<std::size_t>(kMaxFlights)) {
                    entries_.push_back({start - kEpochOffset, end - kEpochOffset,
                                        Little24(record_, 8), Little24(record_, 11)});
                }
                ++records_;
                record_.clear();
            }
            return 0;
        case State::kChecksum1:
            if (!HexDigitValue(static_cast<char>(byte), value)) {
                return Fail(kListBadChecksum);
            }
            checksum_ = value << 4;
            state_ = State::kChecksum2;
            return 0;
        case State::kChecksum2:
            if (!HexDigitValue(static_cast<char>(byte), value) || (checksum_ | value) != xor_) {
                return Fail(kListBadChecksum);
            }
            state_ = State::kEnd;
            return 0;
        case State::kEnd:
            if (byte == '\r') {
                return 0;
            }
            if (byte != '\n') {
                return Fail(kListBadFormat);
            }
            if (records_ != count_) {
                return Fail(kListCountMismatch);
            }
            state_ = State::kDone;
            return 1;
        case State::kDone:
            return 0;
    }
    return 0;
}

const char* FlightListParserText(int code) {
    switch (code) {
        case kListBadSentence:
            return "Bad NMEA sentence";
        case kListBadCount:
            return "Bad track count format";
        case kListEndBeforeStart:
            return "End time before start time";
        case kListBadChecksum:
            return "Bad NMEA checksum";
        case kListCountMismatch:
            return "Number of tracks detected unequal to track count indication";
        default:
            return "Bad sentence format";
    }
}

std::vector<FlightEntry> NewestFirst(std::vector<FlightEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const FlightEntry& a, const FlightEntry& b) { return a.start > b.start; });
    return entries;
}

TrackRecord DecodeTrackRecord(std::span<const std::uint8_t> b) {
    TrackRecord r;
    r.flags = b[0];
    r.time = Little32(b, 1);
    r.latitude = FloatAt(b, 5);
    r.longitude = FloatAt(b, 9);
    r.pressureAltitude = static_cast<std::int16_t>(b[13] << 8 | b[14]);
    r.gpsAltitude = static_cast<std::int16_t>(b[21] << 8 | b[22]);
    return r;
}

void AppendTrackRecord(std::vector<std::uint8_t>& out, const TrackRecord& r) {
    out.push_back(r.flags);
    PutLittle(out, r.time, 4);
    PutFloat(out, r.latitude);
    PutFloat(out, r.longitude);
    const auto pressure = static_cast<std::uint16_t>(r.pressureAltitude);
    out.push_back(static_cast<std::uint8_t>(pressure >> 8));
    out.push_back(static_cast<std::uint8_t>(pressure));
    out.insert(out.end(), 6, 0);
    const auto gps = static_cast<std::uint16_t>(r.gpsAltitude);
    out.push_back(static_cast<std::uint8_t>(gps >> 8));
    out.push_back(static_cast<std::uint8_t>(gps));
}

TrackPoint ToTrackPoint(const TrackRecord& record) {
    TrackPoint p;
    p.flags = record.flags & 1u;
    p.time = record.time - kEpochOffset;
    p.latitude = RadiansToSemicircles(record.latitude);
    p.longitude = RadiansToSemicircles(record.longitude);
    p.gpsAltitude = record.gpsAltitude * 10;
    p.pressureAltitude = record.pressureAltitude;
    return p;
}

TrackRecord FromTrackPoint(const TrackPoint& point) {
    TrackRecord r;
    r.flags = static_cast<std::uint8_t>(point.flags & 1u);
    r.time = point.time + kEpochOffset;
    r.latitude = static_cast<float>(SemicirclesToRadians(point.latitude));
    r.longitude = static_cast<float>(SemicirclesToRadians(point.longitude));
    r.pressureAltitude = ClampInt16(point.pressureAltitude);
    r.gpsAltitude = ClampInt16(RoundHalfAwayFromZero(point.gpsAltitude / 10.0));
    return r;
}

TrackWalk::TrackWalk(std::uint32_t startAddress, std::uint32_t endAddress)
    : page_(static_cast<int>(startAddress >> 16 & 0xFF)),
      offset_(static_cast<int>(startAddress & 0xFFFF)),
      endPage_(static_cast<int>(endAddress >> 16 & 0xFF)),
      endOffset_(static_cast<int>(endAddress & 0xFFFF)),
      outside_(offset_ >= kPageSize || endOffset_ >= kPageSize) {}

int TrackWalk::Next(MemoryRead& read) {
    if (outside_) {
        return kTrackEndUnreachable;
    }
    for (;;) {
        if (page_ == endPage_) {
            const int left = (endOffset_ - offset_ + 1) / kTrackRecordSize * kTrackRecordSize;
            if (left <= 0) {
                return 0;
            }
            read = {page_, offset_, std::min(kMaxReadBytes, left)};
            return 1;
        }
        const int left = (kPageSize - offset_) / kTrackRecordSize * kTrackRecordSize;
        if (left > 0) {
            read = {page_, offset_, std::min(kMaxReadBytes, left)};
            return 1;
        }
        page_ = (page_ + 1) % kPageCount;
        offset_ = 0;
        if (++pagesWalked_ >= kPageCount) {
            return kTrackEndUnreachable;
        }
    }
}

void TrackWalk::Advance(const MemoryRead& read) {
    offset_ += read.length;
}

std::uint32_t RecordAddress(std::uint32_t startAddress, std::size_t index) {
    Cursor c = CursorAt(startAddress);
    for (std::size_t i = 0; i < index; ++i) {
        c.Step();
    }
    c.Fit();
    return c.Address();
}

std::uint32_t TrackEndAddress(std::uint32_t startAddress, std::size_t records) {
    if (records == 0) {
        return startAddress;
    }
    return RecordAddress(startAddress, records - 1) + kTrackRecordSize - 1;
}

std::uint32_t NextTrackAddress(std::uint32_t startAddress, std::size_t records) {
    return RecordAddress(startAddress, records);
}

bool IsEmptyWaypointRecord(std::span<const std::uint8_t> record) {
    return record.empty() || record[0] == kEmptyRecord;
}

std::optional<Waypoint> DecodeWaypointRecord(std::span<const std::uint8_t> bytes,
                                             std::uint32_t now) {
    if (bytes.size() < static_cast<std::size_t>(kWaypointRecordSize) ||
        IsEmptyWaypointRecord(bytes)) {
        return std::nullopt;
    }
    const std::string id = NormaliseSpaces(TextOf(bytes, 0, 6), 6);
    if (id.empty() || id.front() == '\0') {
        return std::nullopt;
    }
    Waypoint w;
    w.SetId(id);
    w.SetDescription(NormaliseSpaces(TextOf(bytes, 17, 16), 16));
    w.latitude = RadiansToSemicircles(FloatAt(bytes, 6));
    w.longitude = RadiansToSemicircles(FloatAt(bytes, 10));
    w.altitude = static_cast<std::int16_t>(bytes[14] | bytes[15] << 8);
    w.kind = bytes[16] == 1 ? kWaypointKindAirfield : kWaypointKindPoint;
    w.time = now;
    return w;
}

void AppendWaypointRecord(std::vector<std::uint8_t>& out, const Waypoint& w) {
    const std::string id = Padded(w.Id(), 6);
    out.insert(out.end(), id.begin(), id.end());
    PutFloat(out, SemicirclesToRadians(w.latitude));
    PutFloat(out, SemicirclesToRadians(w.longitude));
    const auto altitude = static_cast<std::uint16_t>(ClampInt16(w.altitude));
    out.push_back(static_cast<std::uint8_t>(altitude));
    out.push_back(static_cast<std::uint8_t>(altitude >> 8));
    out.push_back(w.kind == kWaypointKindAirfield ? 1 : 3);
    const std::string description = Padded(w.Description(), 16);
    out.insert(out.end(), description.begin(), description.end());
    out.insert(out.end(), kWaypointRecordSize - 33, 0);
}

UploadPlan PlanWaypointUpload(std::vector<std::uint8_t>& image,
                              std::span<const Waypoint> waypoints) {
    constexpr auto kSize = static_cast<std::size_t>(kWaypointRecordSize);
    image.resize(kSize * kWaypointRecords, kEmptyRecord);
    UploadPlan plan;
    std::vector<std::uint8_t> compact;
    compact.reserve(image.size());
    for (int i = 0; i < kWaypointRecords; ++i) {
        const auto record = std::span(image).subspan(static_cast<std::size_t>(i) * kSize, kSize);
        if (IsEmptyWaypointRecord(record)) {
            continue;
        }
        compact.insert(compact.end(), record.begin(), record.end());
        ++plan.usedBefore;
        plan.highestUsed = i;
    }
    const auto room = static_cast<std::size_t>(kWaypointRecords - plan.usedBefore);
    plan.added = static_cast<int>(std::min(room, waypoints.size()));
    for (int i = 0; i < plan.added; ++i) {
        AppendWaypointRecord(compact, waypoints[static_cast<std::size_t>(i)]);
    }
    compact.resize(image.size(), kEmptyRecord);
    image = std::move(compact);
    plan.recordsToWrite = std::max(plan.usedBefore + plan.added, plan.highestUsed + 1);
    return plan;
}

std::vector<std::pair<int, int>> WriteChunks(int recordsToWrite) {
    std::vector<std::pair<int, int>> chunks;
    for (int i = 0; i < recordsToWrite;) {
        const bool two = i + 1 < recordsToWrite && (i + 1) % kWaypointsPerPage != 0;
        chunks.emplace_back(i, two ? 2 : 1);
        i += two ? 2 : 1;
    }
    return chunks;
}

}  // namespace tracora::protocols::digifly
