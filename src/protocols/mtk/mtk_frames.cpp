#include "protocols/mtk/mtk_frames.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/angles.hpp"
#include "core/strings.hpp"
#include "protocols/common/nmea.hpp"

namespace tracora::protocols::mtk {

namespace {

// Seconds from 1970-01-01 to the receiver epoch 1989-12-31.
constexpr std::uint32_t kUnixToReceiverEpoch = 631065600;
constexpr double kDegreesToRadians = 0.017453292519943295;

bool ParseHex(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (const char c : text) {
        int digit = 0;
        if (!HexDigitValue(c, digit))
            return false;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

bool ParseUnsigned(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return true;
}

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

float F32(const std::uint8_t* p) {
    return std::bit_cast<float>(U32(p));
}

double F64(const std::uint8_t* p) {
    const std::uint64_t bits =
        static_cast<std::uint64_t>(U32(p)) | static_cast<std::uint64_t>(U32(p + 4)) << 32;
    return std::bit_cast<double>(bits);
}

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Append64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

bool AllBytes(std::span<const std::uint8_t> bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

// A sector header: 0 usable, 1 empty (all 0xFF), -1 bad.
int CheckHeader(std::span<const std::uint8_t> header) {
    if (AllBytes(header, 0xFF))
        return 1;
    const bool zeros =
        U16(&header[0x0A]) == 0 && U16(&header[0x0E]) == 0 && U16(&header[0x12]) == 0;
    const bool marker = header[0x1FA] == '*' && AllBytes(header.subspan(0x1FC, 4), 0xBB);
    return zeros && marker ? 0 : -1;
}

bool IsSettingRecord(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 16 && AllBytes(bytes.first(7), 0xAA) &&
           AllBytes(bytes.subspan(12, 4), 0xBB);
}

// The size of a record's fields under `mask` (without '*' and checksum); the satellite block
// depends on the record's own count, read at `record`.
std::size_t FieldsSize(std::uint32_t mask, bool holux, std::span<const std::uint8_t> record,
                       std::size_t& satelliteAt, bool& complete) {
    struct Field {
        std::uint32_t bit;
        std::size_t size;
        std::size_t holuxSize;
    };
    static constexpr Field kFields[] = {
        {kUtc, 4, 4},        {kValid, 2, 2},          {kLatitude, 8, 4}, {kLongitude, 8, 4},
        {kHeight, 4, 3},     {kSpeed, 4, 4},          {kHeading, 4, 4},  {kDgpsStation, 2, 2},
        {kDgpsAge, 4, 4},    {kPdop, 2, 2},           {kHdop, 2, 2},     {kVdop, 2, 2},
        {kSatellites, 2, 2}, {kSatelliteBlock, 0, 0}, {kRcr, 2, 2},      {kMilliseconds, 2, 2},
        {kDistance, 8, 8}};
    std::size_t size = 0;
    complete = true;
    for (const Field& field : kFields) {
        if ((mask & field.bit) == 0)
            continue;
        if (field.bit != kSatelliteBlock) {
            size += holux ? field.holuxSize : field.size;
            continue;
        }
        satelliteAt = size;
        if (size + 4 > record.size()) {
            complete = false;
            return size + 4;
        }
        const std::size_t count = std::min<std::size_t>(U16(&record[size + 2]), 32);
        std::size_t entry = 4;
        if (count > 0) {
            entry += (mask & kElevation) != 0 ? 2 : 0;
            entry += (mask & kAzimuth) != 0 ? 2 : 0;
            entry += (mask & kSnr) != 0 ? 2 : 0;
        }
        size += std::max<std::size_t>(count, 1) * entry;
    }
    return size;
}

}  // namespace

std::string ChunkRequest(std::uint32_t address) {
    return BuildNmeaSentence(
        StringPrintf("PMTK182,7,%08X,%08X", address, static_cast<unsigned>(kChunkSize)));
}

Answer DecodeAnswer(std::string_view sentence) {
    Answer answer;
    std::vector<std::string> fields;
    const int count = SplitNmeaSentence(sentence, fields, kMaxFields);
    if (count == kNmeaChecksumMismatch) {
        answer.badChecksum = true;
        return answer;
    }
    if (count < 1)
        return answer;
    const std::string& name = fields[0];
    if (name == "$PMTK705" && count >= 3) {
        answer.kind = AnswerKind::kFirmware;
        answer.firmware1 = fields[1].substr(0, 80);
        answer.firmware2 = fields[2].substr(0, 80);
    } else if (name == "$PMTK001" && count >= 2 && fields[1] == "182") {
        answer.kind = AnswerKind::kAck;
        std::uint32_t sub = 0;
        if (count >= 3 && ParseUnsigned(fields[2], sub))
            answer.ackSubcommand = static_cast<int>(sub);
    } else if (name == "$PMTK182" && count == 4 && fields[1] == "3" && fields[2] == "7") {
        if (ParseUnsigned(fields[3], answer.value))
            answer.kind = AnswerKind::kLogStatus;
    } else if (name == "$PMTK182" && count == 4 && fields[1] == "3" && fields[2] == "8") {
        if (ParseHex(fields[3], answer.value))
            answer.kind = AnswerKind::kMemoryUsed;
    } else if (name == "$PMTK182" && count == 4 && fields[1] == "8") {
        const std::string& hex = fields[3];
        if (!ParseHex(fields[2], answer.value) || hex.size() % 2 != 0)
            return answer;
        answer.bytes.reserve(hex.size() / 2);
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            int high = 0;
            int low = 0;
            if (!HexDigitValue(hex[i], high) || !HexDigitValue(hex[i + 1], low)) {
                answer.bytes.clear();
                return answer;
            }
            answer.bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        }
        answer.kind = AnswerKind::kChunk;
    }
    return answer;
}

LogResult ParseLog(std::span<const std::uint8_t> memory, std::size_t usedSize) {
    LogResult result;
    result.points.reserve(2000);
    const std::size_t limit = std::min(memory.size(), usedSize);
    bool holux = false;
    for (std::size_t base = 0; base < limit; base += kSectorSize) {
        if (base + kSectorHeaderSize > memory.size())
            break;
        const std::span<const std::uint8_t> header = memory.subspan(base, kSectorHeaderSize);
        const int check = CheckHeader(header);
        if (check == 1)
            continue;
        if (check < 0) {
            result.status = LogStatus::kBadHeader;
            result.points.clear();
            return result;
        }
        const std::uint16_t count = U16(&header[0]);
        std::uint32_t mask = U32(&header[2]);
        const std::size_t sectorEnd = std::min(base + kSectorSize, memory.size());
        // Records are read up to the used size at most: beyond it lies memory the logger has
        // not written (or a buffer the download never filled).
        const std::size_t recordEnd = std::min(sectorEnd, limit);
        std::size_t pos = base + kSectorHeaderSize;
        std::size_t records = 0;
        while (pos < recordEnd && (count == 0xFFFF || records < count)) {
            const std::span<const std::uint8_t> rest = memory.subspan(pos, sectorEnd - pos);
            if (rest.size() >= 4 && AllBytes(rest.first(4), 0xFF))
                break;
            if (rest.size() >= kHoluxSignature.size() &&
                std::memcmp(rest.data(), kHoluxSignature.data(), kHoluxSignature.size()) == 0) {
                holux = true;
                pos += 20;
                continue;
            }
            if (IsSettingRecord(rest)) {
                if (rest[7] == 2)
                    mask = U32(&rest[8]);
                pos += 16;
                continue;
            }
            std::size_t satelliteAt = 0;
            bool complete = true;
            const std::size_t fields = FieldsSize(mask, holux, rest, satelliteAt, complete);
            const std::size_t total = fields + (holux ? 1 : 2);
            if (!complete || total > rest.size()) {
                result.status = LogStatus::kBadData;
                result.badDataCode = 1;
                result.points.clear();
                return result;
            }
            if (pos + total > recordEnd)
                break;  // a record the logger was still writing when the size was read
            std::uint8_t sum = 0;
            for (std::size_t i = 0; i < fields; ++i)
                sum ^= rest[i];
            std::size_t at = fields;
            if (!holux && rest[at++] != '*') {
                result.status = LogStatus::kBadData;
                result.badDataCode = 2;
                result.points.clear();
                return result;
            }
            if (rest[at] != sum) {
                result.status = LogStatus::kBadData;
                result.badDataCode = 3;
                result.points.clear();
                return result;
            }
            // The fields in order.
            std::size_t field = 0;
            std::uint32_t utc = 0;
            std::uint16_t valid = 0;
            double latitude = 0;
            double longitude = 0;
            double height = 0;
            if ((mask & kUtc) != 0) {
                utc = U32(&rest[field]);
                field += 4;
            }
            if ((mask & kValid) != 0) {
                valid = U16(&rest[field]);
                field += 2;
            }
            if ((mask & kLatitude) != 0) {
                latitude = holux ? F32(&rest[field]) : F64(&rest[field]);
                field += holux ? 4 : 8;
            }
            if ((mask & kLongitude) != 0) {
                longitude = holux ? F32(&rest[field]) : F64(&rest[field]);
                field += holux ? 4 : 8;
            }
            if ((mask & kHeight) != 0) {
                if (holux) {
                    const std::uint8_t bytes[4] = {0, rest[field], rest[field + 1],
                                                   rest[field + 2]};
                    height = F32(bytes);
                } else {
                    height = F32(&rest[field]);
                }
            }
            pos += total;
            ++records;
            if ((valid & 1) != 0)
                continue;  // no fix
            // A position a damaged record makes impossible is not a point.
            if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90 ||
                std::fabs(longitude) > 180)
                continue;
            TrackPoint point;
            point.time = utc - kUnixToReceiverEpoch;
            point.latitude = RadiansToSemicircles(latitude * kDegreesToRadians);
            point.longitude = RadiansToSemicircles(longitude * kDegreesToRadians);
            const double decimetres = std::isfinite(height) ? height * 10.0 : 0.0;
            point.gpsAltitude = static_cast<std::int32_t>(std::clamp(decimetres, -1e8, 1e8));
            if (result.points.empty())
                point.flags = TrackPoint::kSegmentStart;
            result.points.push_back(point);
        }
    }
    if (result.points.empty())
        result.status = LogStatus::kNoPoints;
    return result;
}

std::size_t RecordSize(bool holux) {
    return holux ? 4 + 2 + 4 + 4 + 3 + 1 : 4 + 2 + 8 + 8 + 4 + 2;
}

std::size_t FirstRecordOffset(bool holux) {
    return kSectorHeaderSize + (holux ? 20 : 0);
}

std::vector<std::uint8_t> BuildLog(const std::vector<TrackPoint>& points, bool holux) {
    constexpr std::uint32_t kMask = kUtc | kValid | kLatitude | kLongitude | kHeight;
    std::vector<std::uint8_t> out;
    std::size_t sectorBase = 0;
    std::uint16_t inSector = 0;
    const auto startSector = [&] {
        sectorBase = out.size();
        out.resize(sectorBase + kSectorHeaderSize, 0xFF);
        Put16(out, sectorBase, 0xFFFF);  // open until the sector is full
        Put16(out, sectorBase + 2, static_cast<std::uint16_t>(kMask & 0xFFFF));
        Put16(out, sectorBase + 4, static_cast<std::uint16_t>(kMask >> 16));
        Put16(out, sectorBase + 6, 0x0106);  // logging on, overwrite
        Put16(out, sectorBase + 8, 10);      // every second (tenths)
        Put16(out, sectorBase + 0x0A, 0);
        Put16(out, sectorBase + 0x0C, 0);  // no distance rule
        Put16(out, sectorBase + 0x0E, 0);
        Put16(out, sectorBase + 0x10, 0);  // no speed rule
        Put16(out, sectorBase + 0x12, 0);
        out[sectorBase + 0x1FA] = '*';
        for (std::size_t i = 0x1FC; i < 0x200; ++i)
            out[sectorBase + i] = 0xBB;
        inSector = 0;
    };
    startSector();
    if (holux) {
        out.insert(out.end(), kHoluxSignature.begin(), kHoluxSignature.end());
        out.insert(out.end(), 4, ' ');
    }
    const std::size_t recordSize = RecordSize(holux);
    for (const TrackPoint& point : points) {
        if (out.size() + recordSize > sectorBase + kSectorSize) {
            Put16(out, sectorBase, inSector);
            out.resize(sectorBase + kSectorSize, 0xFF);
            startSector();
        }
        const std::size_t start = out.size();
        Append32(out, point.time + kUnixToReceiverEpoch);
        out.push_back(2);  // a 3D fix
        out.push_back(0);
        const double latitude = SemicirclesToDegrees(point.latitude);
        const double longitude = SemicirclesToDegrees(point.longitude);
        const float height = static_cast<float>(point.gpsAltitude) / 10.0f;
        if (holux) {
            Append32(out, std::bit_cast<std::uint32_t>(static_cast<float>(latitude)));
            Append32(out, std::bit_cast<std::uint32_t>(static_cast<float>(longitude)));
            const std::uint32_t bits = std::bit_cast<std::uint32_t>(height);
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 24));
        } else {
            Append64(out, std::bit_cast<std::uint64_t>(latitude));
            Append64(out, std::bit_cast<std::uint64_t>(longitude));
            Append32(out, std::bit_cast<std::uint32_t>(height));
        }
        std::uint8_t sum = 0;
        for (std::size_t i = start; i < out.size(); ++i)
            sum ^= out[i];
        if (!holux)
            out.push_back('*');
        out.push_back(sum);
        ++inSector;
    }
    return out;
}

}  // namespace tracora::protocols::mtk
