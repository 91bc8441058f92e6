#include "protocols/graviter/graviter_frames.hpp"

#include <algorithm>
#include <cstdio>

#include "protocols/common/nmea.hpp"

namespace tracora::protocols::graviter {

namespace {

constexpr std::uint8_t kMagic[4] = {'G', 'R', 'V', '1'};
constexpr std::size_t kFlightTableOffset = 32;
constexpr std::uint16_t kFlagPressureAltitude = 1;
constexpr char kHex[] = "0123456789ABCDEF";

// The value of `digits` hex digits at text[0..], or -1.
long HexValue(std::string_view text, std::size_t digits) {
    if (text.size() < digits)
        return -1;
    long value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        int d = 0;
        if (!HexDigitValue(text[i], d))
            return -1;
        value = value * 16 + d;
    }
    return value;
}

void AppendHex(std::string& out, unsigned value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xF];
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::int16_t ClampMetres(std::int32_t metres) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(metres, -32768, 32767));
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

}  // namespace

int DecodeProduct(std::string_view line, GraviterProduct& out) {
    const std::vector<std::string_view> words = Words(line);
    if (words.size() != 5 || words[0] != kMakerTag)
        return -1;
    out.model = std::string(words[1]);
    out.serial = std::string(words[2]);
    out.firmware = std::string(words[3]);
    out.pilot = std::string(words[4]);
    std::replace(out.pilot.begin(), out.pilot.end(), '_', ' ');
    return 0;
}

std::string EncodeProduct(const GraviterProduct& product) {
    std::string pilot = product.pilot.empty() ? std::string("-") : product.pilot;
    std::replace(pilot.begin(), pilot.end(), ' ', '_');
    return std::string(kMakerTag) + ' ' + product.model + ' ' + product.serial + ' ' +
           product.firmware + ' ' + pilot;
}

std::string PageRequest(std::uint16_t page) {
    std::string text = "R";
    AppendHex(text, page, 4);
    return text;
}

std::optional<std::uint16_t> ParsePageRequest(std::string_view text) {
    if (text.size() != 5 || text[0] != 'R')
        return std::nullopt;
    const long value = HexValue(text.substr(1), 4);
    if (value < 0)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string EncodePageAnswer(std::uint16_t page, const Page& bytes) {
    std::string text = "P";
    text.reserve(1 + 4 + 2 * kPageSize + 2);
    AppendHex(text, page, 4);
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) {
        AppendHex(text, b, 2);
        sum ^= b;
    }
    AppendHex(text, sum, 2);
    return text;
}

PageStatus DecodePageAnswer(std::string_view line, std::uint16_t page, Page& bytes) {
    if (line == kNoSuchPage)
        return PageStatus::kNoSuchPage;
    if (line.size() != 1 + 4 + 2 * kPageSize + 2 || line[0] != 'P')
        return PageStatus::kBadFormat;
    const long number = HexValue(line.substr(1), 4);
    if (number < 0)
        return PageStatus::kBadFormat;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < kPageSize; ++i) {
        const long b = HexValue(line.substr(5 + 2 * i), 2);
        if (b < 0)
            return PageStatus::kBadFormat;
        bytes[i] = static_cast<std::uint8_t>(b);
        sum ^= bytes[i];
    }
    const long check = HexValue(line.substr(5 + 2 * kPageSize), 2);
    if (check < 0)
        return PageStatus::kBadFormat;
    if (static_cast<std::uint8_t>(check) != sum)
        return PageStatus::kBadChecksum;
    if (number != page)
        return PageStatus::kWrongPage;
    return PageStatus::kOk;
}

std::string NameCommand(std::string_view name) {
    if (name.empty() || name.size() > kNameMax)
        return {};
    for (char c : name) {
        if (c < 0x20 || c > 0x7E)
            return {};
    }
    return "N" + std::string(name) + "\r";
}

int DecodeHeader(const Page& page0, ImageHeader& out) {
    const std::span<const std::uint8_t> b(page0);
    if (!std::equal(std::begin(kMagic), std::end(kMagic), b.begin()))
        return -1;
    if (U16(b, 4) != kRecordSize)
        return -1;
    const std::uint16_t flights = U16(b, 6);
    const std::uint32_t records = U32(b, 8);
    const std::uint16_t flags = U16(b, 12);
    if (flights > kMaxFlights || records > (kMaxPages - 1) * (kPageSize / kRecordSize))
        return -1;
    if (records > 0 && flights == 0)
        return -1;
    out.recordCount = records;
    out.hasPressureAltitude = (flags & kFlagPressureAltitude) != 0;
    out.flightStarts.clear();
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < flights; ++i) {
        const std::uint32_t start = U32(b, kFlightTableOffset + 4 * i);
        // Flights follow one another and none is empty.
        if (start >= records || (i > 0 && start <= previous) || (i == 0 && start != 0))
            return -1;
        out.flightStarts.push_back(start);
        previous = start;
    }
    return 0;
}

std::size_t RecordPages(std::uint32_t recordCount) {
    return (static_cast<std::size_t>(recordCount) * kRecordSize + kPageSize - 1) / kPageSize;
}

std::vector<TrackPoint> DecodeRecords(const ImageHeader& header,
                                      std::span<const std::uint8_t> records) {
    std::vector<TrackPoint> points;
    const std::size_t count =
        std::min<std::size_t>(header.recordCount, records.size() / kRecordSize);
    points.reserve(count);
    std::size_t nextFlight = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = i * kRecordSize;
        TrackPoint point;
        if (nextFlight < header.flightStarts.size() && header.flightStarts[nextFlight] == i) {
            point.flags = 1;
            ++nextFlight;
        }
        point.time = U32(records, at);
        point.latitude = static_cast<std::int32_t>(U32(records, at + 4));
        point.longitude = static_cast<std::int32_t>(U32(records, at + 8));
        point.gpsAltitude = static_cast<std::int16_t>(U16(records, at + 12)) * 10;
        point.pressureAltitude =
            header.hasPressureAltitude ? static_cast<std::int16_t>(U16(records, at + 14)) : 0;
        points.push_back(point);
    }
    return points;
}

std::vector<std::uint8_t> EncodeImage(const std::vector<std::vector<TrackPoint>>& flights,
                                      bool hasPressureAltitude) {
    std::size_t records = 0;
    for (const auto& flight : flights)
        records += flight.size();
    if (flights.size() > kMaxFlights || records > (kMaxPages - 1) * (kPageSize / kRecordSize))
        return {};
    std::vector<std::uint8_t> image(
        kPageSize + RecordPages(static_cast<std::uint32_t>(records)) * kPageSize, 0xFF);
    std::fill(image.begin(), image.begin() + kPageSize, std::uint8_t{0});
    std::copy(std::begin(kMagic), std::end(kMagic), image.begin());
    PutU16(image, 4, kRecordSize);
    std::size_t index = 0;
    std::uint16_t flightCount = 0;
    for (const auto& flight : flights) {
        if (flight.empty())
            continue;
        PutU32(image, kFlightTableOffset + 4 * flightCount, static_cast<std::uint32_t>(index));
        ++flightCount;
        for (const TrackPoint& point : flight) {
            const std::size_t at = kPageSize + index * kRecordSize;
            PutU32(image, at, point.time);
            PutU32(image, at + 4, static_cast<std::uint32_t>(point.latitude));
            PutU32(image, at + 8, static_cast<std::uint32_t>(point.longitude));
            PutU16(image, at + 12, static_cast<std::uint16_t>(ClampMetres(point.gpsAltitude / 10)));
            PutU16(image, at + 14, static_cast<std::uint16_t>(ClampMetres(point.pressureAltitude)));
            ++index;
        }
    }
    PutU16(image, 6, flightCount);
    PutU32(image, 8, static_cast<std::uint32_t>(index));
    PutU16(image, 12, hasPressureAltitude ? kFlagPressureAltitude : 0);
    return image;
}

}  // namespace tracora::protocols::graviter
