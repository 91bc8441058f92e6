#include "protocols/ascent/ascent_frames.hpp"

#include <cmath>
#include <cstdlib>

#include "core/angles.hpp"
#include "core/strings.hpp"

namespace tracora::protocols::ascent {

namespace {

constexpr double kSemicirclesPerTenThousandth = 19.88410785185;  // 2^31 / 108,000,000
constexpr std::size_t kHeaderSize = 9;
constexpr std::size_t kTimeRecordSize = 7;
constexpr std::size_t kLocationRecordSize = 13;
constexpr std::uint8_t kHeaderType = 0xFE;
constexpr std::uint8_t kTimeType = 0xFE;

std::uint16_t Big16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}

void PutBig16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// An angle's magnitude in ten-thousandths of a minute, split as the logger keeps it.
void SplitAngle(std::int32_t semicircles, std::uint16_t& degreesMinutes,
                std::uint16_t& tenThousandths) {
    const auto total = static_cast<long long>(
        std::llround(std::fabs(SemicirclesToDegrees(semicircles)) * 600'000));
    const long long degrees = total / 600'000;
    const long long minutes = total % 600'000 / 10'000;
    degreesMinutes = static_cast<std::uint16_t>(degrees * 100 + minutes);
    tenThousandths = static_cast<std::uint16_t>(total % 10'000);
}

}  // namespace

std::array<std::uint8_t, 4> TrackLogRequest(std::uint16_t flight) {
    return {0x03, 0x03, static_cast<std::uint8_t>(flight >> 8),
            static_cast<std::uint8_t>(flight & 0xFF)};
}

bool DecodeProduct(std::span<const std::uint8_t> reply, AscentProduct& product) {
    if (reply.size() < kProductReplySize || reply[0] != 2) {
        return false;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        product.serial[i] = reply[1 + i];
    }
    product.hardware = Big16(reply, 5);
    product.software = Big16(reply, 7);
    product.usedSectors = Big16(reply, 10);
    return true;
}

std::string ProductText(const AscentProduct& product) {
    return StringPrintf("Ascent: %02X%02X%02X%02X", product.serial[0], product.serial[1],
                        product.serial[2], product.serial[3]);
}

std::string DeviceLine(const AscentProduct& product) {
    return StringPrintf("Ascent, SNR %02X%02X%02X%02X, SW %d.%d, HW %d", product.serial[0],
                        product.serial[1], product.serial[2], product.serial[3],
                        product.software / 1000, product.software % 1000, product.hardware);
}

BlockReader::Event BlockReader::Feed(std::uint8_t byte) {
    switch (at_) {
        case 0:
            if (byte != id_) {
                return Event::kBadId;
            }
            body_.clear();
            break;
        case 1:
            number_ = static_cast<std::uint16_t>(byte << 8);
            break;
        case 2:
            number_ = static_cast<std::uint16_t>(number_ | byte);
            break;
        case 3:
            extra_ = byte;
            break;
        default:
            body_.push_back(byte);
            break;
    }
    if (++at_ == 4 + bodySize_) {
        at_ = 0;
        return Event::kBlock;
    }
    return Event::kNone;
}

BlockSequence::Verdict BlockSequence::Next(std::uint16_t number) {
    if (!started_) {
        if (number != 1) {
            return Verdict::kSkip;
        }
        started_ = true;
        last_ = 1;
        return Verdict::kAccept;
    }
    if (number == 0) {
        return Verdict::kLast;
    }
    if (number != static_cast<std::uint16_t>(last_ + 1)) {
        return Verdict::kBad;
    }
    last_ = number;
    return Verdict::kAccept;
}

FlightEntry DecodeEntry(std::span<const std::uint8_t> e) {
    FlightEntry entry;
    entry.empty = Big16(e, 0) == 0;
    entry.number = Big16(e, 2);
    CalendarTime start;
    start.hour = e[4];
    start.minute = e[5];
    start.day = e[6];
    start.month = e[7];
    start.year = 2000 + e[8];
    entry.start = CalendarToTime(start);
    entry.durationSeconds = static_cast<std::uint32_t>(Big16(e, 9)) * 60;
    return entry;
}

std::int32_t LoggerAngle(std::uint16_t degreesMinutes, std::uint16_t tenThousandths,
                         bool negative) {
    const long long total =
        (static_cast<long long>(degreesMinutes / 100) * 60 + degreesMinutes % 100) * 10'000 +
        tenThousandths;
    const auto magnitude =
        static_cast<std::int32_t>(static_cast<double>(total) * kSemicirclesPerTenThousandth + 0.5);
    return negative ? -magnitude : magnitude;
}

std::string DecodeFlightLog(std::span<const std::uint8_t> data, std::uint16_t flight,
                            std::vector<TrackPoint>& points) {
    if (data.size() < kHeaderSize) {
        return "Incomplete Log data flash header";
    }
    if (data[0] != kHeaderType) {
        return "Bad Log data flash header type";
    }
    if (Big16(data, 1) != flight) {
        return "Bad flight number in Log data flash header";
    }
    bool timed = false;
    std::uint32_t time = 0;
    std::size_t at = kHeaderSize;
    while (at < data.size()) {
        const std::uint8_t type = data[at];
        const std::size_t left = data.size() - at;
        if (type == kTimeType) {
            if (left < kTimeRecordSize) {
                return "Truncated time record";
            }
            if (!timed) {
                CalendarTime t;
                t.hour = data[at + 1];
                t.minute = data[at + 2];
                t.second = data[at + 3];
                t.day = data[at + 4];
                t.month = data[at + 5];
                t.year = 2000 + data[at + 6];
                time = CalendarToTime(t);
                timed = true;
            }
            at += kTimeRecordSize;
            continue;
        }
        if (type < 0xF8 || type > 0xFB) {
            return "Bad Log data record type";
        }
        if (left < kLocationRecordSize) {
            return "Truncated location record";
        }
        if (timed) {
            TrackPoint p;
            p.time = time++;
            p.latitude = LoggerAngle(Big16(data, at + 1), Big16(data, at + 3), (type & 1) != 0);
            p.longitude = LoggerAngle(Big16(data, at + 5), Big16(data, at + 7), (type & 2) == 0);
            p.gpsAltitude = static_cast<std::int16_t>(Big16(data, at + 9)) * 10;
            p.flags = points.empty() ? TrackPoint::kSegmentStart : 0U;
            if (points.size() == points.capacity()) {
                points.reserve(points.empty() ? 5000 : points.size() * 2);
            }
            points.push_back(p);
        }
        at += kLocationRecordSize;
    }
    return {};
}

std::vector<std::uint8_t> EncodeProduct(const AscentProduct& product) {
    std::vector<std::uint8_t> out(kProductReplySize, 0);
    out[0] = 2;
    for (std::size_t i = 0; i < 4; ++i) {
        out[1 + i] = product.serial[i];
    }
    const auto put = [&out](std::size_t at, int value) {
        out[at] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        out[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
    };
    put(5, product.hardware);
    put(7, product.software);
    put(10, product.usedSectors);
    return out;
}

std::vector<std::uint8_t> EncodeBlock(std::uint8_t id, std::uint16_t number, std::uint8_t extra,
                                      std::span<const std::uint8_t> body, std::size_t bodySize) {
    std::vector<std::uint8_t> out{id};
    PutBig16(out, number);
    out.push_back(extra);
    out.insert(out.end(), body.begin(), body.end());
    out.resize(4 + bodySize, 0);
    return out;
}

std::vector<std::uint8_t> EncodeEntry(std::uint16_t number, const CalendarTime& start,
                                      std::uint32_t durationMinutes) {
    std::vector<std::uint8_t> out;
    PutBig16(out, 1);
    PutBig16(out, number);
    for (const int v : {start.hour, start.minute, start.day, start.month, start.year - 2000}) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    PutBig16(out, durationMinutes);
    out.resize(kEntrySize, 0);
    return out;
}

std::vector<std::uint8_t> EncodeFlightLog(std::uint16_t flight,
                                          const std::vector<TrackPoint>& points) {
    std::vector<std::uint8_t> out{kHeaderType};
    PutBig16(out, flight);
    out.resize(kHeaderSize, 0);
    if (points.empty()) {
        return out;
    }
    const CalendarTime t = TimeToCalendar(points.front().time);
    for (const int v :
         {int{kTimeType}, t.hour, t.minute, t.second, t.day, t.month, t.year - 2000}) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    for (const TrackPoint& p : points) {
        std::uint16_t latDm = 0, latT = 0, lonDm = 0, lonT = 0;
        SplitAngle(p.latitude, latDm, latT);
        SplitAngle(p.longitude, lonDm, lonT);
        const auto type =
            static_cast<std::uint8_t>(0xF8 | (p.latitude < 0 ? 1 : 0) | (p.longitude < 0 ? 0 : 2));
        out.push_back(type);
        PutBig16(out, latDm);
        PutBig16(out, latT);
        PutBig16(out, lonDm);
        PutBig16(out, lonT);
        const long metres = std::lround(p.gpsAltitude / 10.0);
        PutBig16(out, static_cast<std::uint32_t>(
                          static_cast<std::uint16_t>(static_cast<std::int16_t>(metres))));
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

}  // namespace tracora::protocols::ascent
