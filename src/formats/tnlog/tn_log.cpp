#include "formats/tnlog/tn_log.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/text_forms.hpp"
#include "core/time_base.hpp"

namespace tracora::tnlog {

namespace {

constexpr double kDeg6000ToSemicircles = 1988.410785185;  // 2^31 / 180 / 6000
constexpr std::size_t kMaxBlockLines = 40;
constexpr std::size_t kBlockSeconds = 30;
constexpr std::size_t kSliceBytes = 200;

std::atomic<int> utcOffset{0};

bool AllHex(std::string_view text) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::optional<int> Decimal(std::string_view digits) {
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string Hex(std::uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0x0F];
        value >>= 4;
    }
    return text;
}

}  // namespace

int TnUtcOffset() {
    return utcOffset.load();
}

void SetTnUtcOffset(int seconds) {
    utcOffset.store(seconds);
}

UtcOffsetChoice UtcOffsetToChoice(int seconds) {
    UtcOffsetChoice choice;
    choice.hours = std::clamp(seconds / 3600, -12, 12);
    choice.halfHour = seconds % 1800 == 0 && (seconds / 1800) % 2 != 0;
    return choice;
}

int UtcOffsetFromChoice(const UtcOffsetChoice& choice) {
    const int half = choice.halfHour ? 1800 : 0;
    return choice.hours >= 0 ? choice.hours * 3600 + half : choice.hours * 3600 - half;
}

LineAssembler::Result LineAssembler::Feed(std::uint8_t byte) {
    if (complete_)
        Reset();
    if (length_ >= kMaxLength)
        return kTooLong;
    ++length_;
    if (byte == '\n') {
        complete_ = true;
        return kComplete;
    }
    if (byte == '\r') {
        ended_ = true;
        return kGoesOn;
    }
    if (!ended_)
        text_ += static_cast<char>(byte);
    return kGoesOn;
}

void LineAssembler::Reset() {
    text_.clear();
    length_ = 0;
    ended_ = false;
    complete_ = false;
}

std::optional<std::uint32_t> HexValue(std::string_view digits) {
    if (digits.empty() || digits.size() > 8 || !AllHex(digits))
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int digit = c <= '9' ? c - '0' : c <= 'F' ? c - 'A' + 10 : c - 'a' + 10;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::int32_t SignExtend(std::uint32_t value, int bits) {
    const std::uint32_t mask = bits >= 32 ? ~0u : (1u << bits) - 1;
    const std::uint32_t sign = 1u << (bits - 1);
    value &= mask;
    return static_cast<std::int32_t>(static_cast<std::int64_t>(value ^ sign) -
                                     static_cast<std::int64_t>(sign));
}

std::int32_t RoundAway(double value) {
    const double magnitude = std::floor(std::fabs(value) + 0.5);
    return static_cast<std::int32_t>(value < 0 ? -magnitude : magnitude);
}

std::int32_t Deg6000ToSemicircles(std::int32_t value) {
    return RoundAway(value * kDeg6000ToSemicircles);
}

int TnLogParser::ParseStart(std::string_view line) {
    if (line.size() != 78 || line.substr(0, 3) != "@TN")
        return -1;
    int format = 1;
    if (readsFormat_)
        format = line[4] == '0' ? 0 : line[4] == '2' ? 2 : 1;
    const std::optional<std::uint32_t> unit = HexValue(line.substr(5, 4));
    if (!unit)
        return -1;
    const std::optional<int> year = Decimal(line.substr(15, 2));
    const std::optional<int> month = Decimal(line.substr(17, 2));
    const std::optional<int> day = Decimal(line.substr(19, 2));
    if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31)
        return -1;
    if (!Decimal(line.substr(21, 8)) || !AllHex(line.substr(29, 2)) ||
        !AllHex(line.substr(42, 28)) || !AllHex(line.substr(72, 6)))
        return -1;
    format_ = format;
    unitNumber_ = static_cast<int>(*unit);
    startDate_ = CalendarToTime(CalendarTime{2000 + *year, *month, *day, 0, 0, 0});
    dayOffset_ = 0;
    return 0;
}

int TnLogParser::ParseBlockLine(std::string_view line, std::uint32_t& secondsOfDay) const {
    if (line.size() != 14)
        return -1;
    const std::optional<int> hour = Decimal(line.substr(0, 2));
    const std::optional<int> minute = Decimal(line.substr(2, 2));
    const std::optional<int> second = Decimal(line.substr(4, 2));
    if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59)
        return -1;
    if (!AllHex(line.substr(6, 4)) || !Decimal(line.substr(10, 1)) || line.substr(11, 2) != "AC")
        return -1;
    secondsOfDay = static_cast<std::uint32_t>(*hour * 3600 + *minute * 60 + *second);
    return 0;
}

int TnLogParser::ParsePosition(std::string_view line, TrackPoint& point) const {
    const bool both = format_ == 2;
    if (line.size() != (both ? 34u : 30u))
        return -1;
    const std::optional<std::uint32_t> lat = HexValue(line.substr(0, 6));
    const std::optional<std::uint32_t> lon = HexValue(line.substr(6, 6));
    const std::optional<std::uint32_t> a = HexValue(line.substr(12, 4));
    const std::optional<std::uint32_t> b = both ? HexValue(line.substr(16, 4)) : 0u;
    if (!lat || !lon || !a || !b)
        return -1;
    if (!AllHex(line.substr(both ? 20 : 16, 11)))
        return -1;
    const std::int32_t latitude = SignExtend(*lat, 24);
    const std::int32_t longitude = SignExtend(*lon, 24);
    if (latitude <= -540000 || latitude >= 540000 || longitude <= -1080000 || longitude >= 1080000)
        return -1;
    point = TrackPoint{};
    point.latitude = Deg6000ToSemicircles(latitude);
    point.longitude = Deg6000ToSemicircles(longitude);
    const std::int32_t altitudeA = SignExtend(*a, 16);
    switch (format_) {
        case 0:
            point.pressureAltitude = altitudeA;
            break;
        case 2:
            point.pressureAltitude = altitudeA;
            point.gpsAltitude = SignExtend(*b, 16) * 10;
            break;
        default:
            point.gpsAltitude = altitudeA * 10;
            break;
    }
    return 0;
}

void TnLogParser::Store(const TrackPoint& line, std::uint32_t time) {
    TrackPoint point = line;
    point.time = time;
    point.flags = points_.empty() ? TrackPoint::kSegmentStart : 0;
    points_.push_back(point);
}

int TnLogParser::Flush(bool atEnd) {
    const std::int64_t base =
        static_cast<std::int64_t>(startDate_) + dayOffset_ + blockTime_ - utcOffset_;
    const std::size_t n = block_.size();
    std::size_t i = 0;
    for (; i < n && block_[i]; ++i) {
        if (i >= kBlockSeconds)
            return -13;
        Store(*block_[i], static_cast<std::uint32_t>(base + static_cast<std::int64_t>(i)));
    }
    if (i < n) {
        ++errorBlocks_;
        while (i < n && !block_[i])
            ++i;
        if (i < n) {
            if (atEnd)
                return -10;
            if (n - i > kBlockSeconds)
                return -14;
            for (; i < n; ++i) {
                if (!block_[i])
                    return -11;
                Store(*block_[i],
                      static_cast<std::uint32_t>(base + static_cast<std::int64_t>(kBlockSeconds) -
                                                 static_cast<std::int64_t>(n - i)));
            }
        }
    }
    block_.clear();
    return 0;
}

int TnLogParser::ProcessLine(std::string_view line) {
    if (line.empty())
        return 1;
    if (stage_ == 0) {
        if (ParseStart(line) == 0)
            stage_ = 1;
        return 1;
    }
    if (stage_ == 1) {
        std::uint32_t time = 0;
        if (ParseBlockLine(line, time) != 0)
            return -1;
        blockTime_ = time;
        stage_ = 2;
        return 1;
    }
    if (line == "@EOF") {
        const int flushed = Flush(true);
        return flushed;
    }
    std::uint32_t time = 0;
    if (line.size() == 14 && ParseBlockLine(line, time) == 0) {
        if (const int flushed = Flush(false); flushed != 0)
            return flushed - 10;
        std::uint32_t difference = 0;
        if (time < blockTime_) {
            dayOffset_ += 86400;
            difference = time + 86400 - blockTime_;
        } else {
            difference = time - blockTime_;
        }
        if (difference < kBlockSeconds)
            return -2;
        blockTime_ = time;
        return 1;
    }
    if (block_.size() >= kMaxBlockLines)
        return -3;
    TrackPoint point;
    if (ParsePosition(line, point) == 0)
        block_.emplace_back(point);
    else
        block_.emplace_back(std::nullopt);
    return 1;
}

TnFileResult ReadTnLogFile(std::string_view bytes, int utcOffsetSeconds) {
    TnFileResult result;
    TnLogParser parser(false, utcOffsetSeconds);
    LineAssembler assembler;
    long lines = 0;
    char text[64];
    for (std::size_t at = 0; at < bytes.size(); at += kSliceBytes) {
        const std::string_view slice = bytes.substr(at, kSliceBytes);
        for (const char c : slice) {
            const LineAssembler::Result fed = assembler.Feed(static_cast<std::uint8_t>(c));
            if (fed == LineAssembler::kTooLong) {
                std::snprintf(text, sizeof text, "Error %d on line %ld", 1, lines);
                result.message = text;
                return result;
            }
            if (fed != LineAssembler::kComplete)
                continue;
            const int processed = parser.ProcessLine(assembler.Text());
            if (processed < 0) {
                std::snprintf(text, sizeof text, "Error %d on block line %ld", -processed, lines);
                result.message = text;
                return result;
            }
            ++lines;
            if (processed == 0) {
                result.points = parser.TakePoints();
                return result;
            }
        }
    }
    result.message = parser.StartSeen() ? "Missing end-of-file record" : "Missing start record";
    return result;
}

std::string EncodeTnStart(int altitudeFormat, int unitNumber, int year, int month, int day) {
    char date[8];
    std::snprintf(date, sizeof date, "%02d%02d%02d", year % 100, month, day);
    std::string line = "@TN0";
    line += static_cast<char>('0' + altitudeFormat);
    line += Hex(static_cast<std::uint32_t>(unitNumber), 4);  // 5-8
    line += "000000";                                        // 9-14
    line += date;                                            // 15-20
    line += "00000000";                                      // 21-28
    line += "00";                                            // 29-30
    line += std::string(11, '0');                            // 31-41
    line += std::string(28, '0');                            // 42-69
    line += "00";                                            // 70-71
    line += std::string(6, '0');                             // 72-77
    return line;
}

std::string EncodeTnBlockLine(std::uint32_t secondsOfDay) {
    char text[48];
    std::snprintf(text, sizeof text, "%02u%02u%02u00001AC0", secondsOfDay / 3600,
                  (secondsOfDay / 60) % 60, secondsOfDay % 60);
    return text;
}

std::string EncodeTnPosition(std::int32_t latitude, std::int32_t longitude, int altitudeA,
                             int altitudeB, int altitudeFormat) {
    std::string line = Hex(static_cast<std::uint32_t>(latitude) & 0xFFFFFF, 6);
    line += Hex(static_cast<std::uint32_t>(longitude) & 0xFFFFFF, 6);
    line += Hex(static_cast<std::uint16_t>(altitudeA), 4);
    if (altitudeFormat == 2)
        line += Hex(static_cast<std::uint16_t>(altitudeB), 4);
    line += std::string(14, '0');
    return line;
}

}  // namespace tracora::tnlog
