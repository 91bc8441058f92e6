#include "protocols/syride/syride_frames.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace tracora::protocols::syride {

namespace {

constexpr double kE7ToSemicircles = 1.1930464711111;  // 2^31 / 180 / 1e7
constexpr double kSemicirclesToE7 = 0.8381903171539;  // 180 / 2^31 x 1e7
constexpr std::size_t kFlightHeader = 8;
constexpr std::size_t kFullRecord = 19;
constexpr std::size_t kDeltaRecord = 14;

std::int32_t RoundAway(double value) {
    const double magnitude = std::floor(std::fabs(value) + 0.5);
    return static_cast<std::int32_t>(value < 0 ? -magnitude : magnitude);
}

std::int32_t Be32(const std::uint8_t* p) {
    return static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                     (std::uint32_t{p[2]} << 8) | p[3]);
}
std::int16_t Be16(const std::uint8_t* p) {
    return static_cast<std::int16_t>((p[0] << 8) | p[1]);
}
void PutBe32(std::uint8_t* p, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
void PutBe16(std::uint8_t* p, std::int32_t value) {
    const auto v = static_cast<std::uint16_t>(value);
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

}  // namespace

std::uint8_t ReportSum(std::span<const std::uint8_t> report) {
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i <= 62 && i < report.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + report[i]);
    return sum;
}

Report MakeRequest(std::uint8_t command, std::span<const std::uint8_t> arguments) {
    Report r{};
    r[0] = kReportId;
    r[1] = command;
    std::copy_n(arguments.begin(), std::min<std::size_t>(arguments.size(), 61), r.begin() + 2);
    r[63] = ReportSum(r);
    return r;
}

bool ReplyComplete(std::span<const std::uint8_t> reply) {
    return reply.size() == kReportSize && reply[62] == kCompleteMark &&
           reply[63] == ReportSum(reply);
}

Report MakeReply(std::span<const std::uint8_t> data) {
    Report r{};
    r[0] = kReportId;
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 61), r.begin() + 1);
    r[62] = kCompleteMark;
    r[63] = ReportSum(r);
    return r;
}

std::array<std::uint8_t, 4> Le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::uint32_t ReadLe32(std::span<const std::uint8_t> b) {
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
           (std::uint32_t{b[3]} << 24);
}

FlightEntry DecodeFlightEntry(std::span<const std::uint8_t> bytes) {
    FlightEntry entry;
    entry.startUnix = ReadLe32(bytes.subspan(0, 4));
    entry.startPage = bytes[6];
    entry.duration = static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8));
    return entry;
}

std::array<std::uint8_t, 20> EncodeFlightEntry(const FlightEntry& entry) {
    std::array<std::uint8_t, 20> bytes{};
    const auto start = Le32(entry.startUnix);
    std::copy(start.begin(), start.end(), bytes.begin());
    bytes[6] = entry.startPage;
    bytes[8] = static_cast<std::uint8_t>(entry.duration);
    bytes[9] = static_cast<std::uint8_t>(entry.duration >> 8);
    return bytes;
}

std::size_t FlightBytes(std::size_t n) {
    return ((59 * n / 60) + (n / 60) * 2) * 5 + 9 * n + 18;
}

std::int32_t E7ToSemicircles(std::int32_t value) {
    return RoundAway(value * kE7ToSemicircles);
}

std::int32_t SemicirclesToE7(std::int32_t semicircles) {
    return RoundAway(semicircles * kSemicirclesToE7);
}

std::vector<TrackPoint> DecodeFlight(std::span<const std::uint8_t> bytes, std::size_t n,
                                     std::uint32_t start) {
    std::vector<TrackPoint> points;
    if (n == 0 || bytes.size() < FlightBytes(n))
        return points;
    points.reserve(n);
    std::size_t at = kFlightHeader;
    std::int32_t latitude = 0, longitude = 0, altitude = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = bytes.data() + at;
        if (i % 60 == 0) {
            latitude = Be32(p);
            longitude = Be32(p + 4);
            altitude = Be16(p + 8);
            at += kFullRecord;
        } else {
            latitude -= Be16(p);
            longitude -= Be16(p + 2);
            altitude -= static_cast<std::int8_t>(p[4]);
            at += kDeltaRecord;
        }
        TrackPoint point;
        point.time = start + static_cast<std::uint32_t>(i);
        point.latitude = E7ToSemicircles(latitude);
        point.longitude = E7ToSemicircles(longitude);
        point.gpsAltitude = altitude * 10;
        point.flags = i == 0 ? TrackPoint::kSegmentStart : 0;
        points.push_back(point);
    }
    return points;
}

std::vector<std::uint8_t> EncodeFlight(const std::vector<TrackPoint>& points) {
    std::vector<std::uint8_t> bytes(FlightBytes(points.size()), 0);
    std::size_t at = kFlightHeader;
    std::int32_t latitude = 0, longitude = 0, altitude = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        std::uint8_t* p = bytes.data() + at;
        const std::int32_t lat = SemicirclesToE7(points[i].latitude);
        const std::int32_t lon = SemicirclesToE7(points[i].longitude);
        const std::int32_t alt = points[i].gpsAltitude / 10;
        if (i % 60 == 0) {
            PutBe32(p, lat);
            PutBe32(p + 4, lon);
            PutBe16(p + 8, alt);
            latitude = lat;
            longitude = lon;
            altitude = static_cast<std::int16_t>(alt);
            at += kFullRecord;
        } else {
            // Differences the records cannot hold are clamped: such a flight is not one a
            // paraglider flies.
            const std::int32_t dLat = std::clamp(latitude - lat, -32768, 32767);
            const std::int32_t dLon = std::clamp(longitude - lon, -32768, 32767);
            const std::int32_t dAlt = std::clamp(altitude - alt, -128, 127);
            PutBe16(p, dLat);
            PutBe16(p + 2, dLon);
            p[4] = static_cast<std::uint8_t>(static_cast<std::int8_t>(dAlt));
            latitude -= dLat;
            longitude -= dLon;
            altitude -= dAlt;
            at += kDeltaRecord;
        }
    }
    return bytes;
}

bool SlotUsed(std::span<const std::uint8_t> slot) {
    return slot[10] != 0 && slot[10] != 0xFF;
}

bool DecodeSlot(std::span<const std::uint8_t> slot, std::uint32_t time, Waypoint& out) {
    if (!SlotUsed(slot))
        return false;
    const auto latitude = static_cast<std::int32_t>(ReadLe32(slot.subspan(0, 4)));
    const auto longitude = static_cast<std::int32_t>(ReadLe32(slot.subspan(4, 4)));
    if (std::abs(static_cast<long long>(latitude)) >= 900'000'000LL ||
        std::abs(static_cast<long long>(longitude)) >= 1'800'000'000LL)
        return false;
    std::string name;
    for (std::size_t i = 10; i < 20 && slot[i] != 0; ++i)
        name += static_cast<char>(slot[i]);
    std::string id;
    for (std::size_t i = 0; i < name.size() && i < 6 && name[i] != ' '; ++i)
        id += static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    Waypoint w;
    w.latitude = E7ToSemicircles(latitude);
    w.longitude = E7ToSemicircles(longitude);
    w.altitude = static_cast<std::int16_t>(slot[8] | (slot[9] << 8));
    w.SetDescription(name);
    w.SetId(id);
    w.time = time;
    w.kind = 0;
    out = w;
    return true;
}

bool EncodeSlot(const Waypoint& waypoint, std::span<std::uint8_t> slot) {
    const std::string_view id = waypoint.Id();
    const std::string_view description = waypoint.Description();
    if (id.empty() && description.empty())
        return false;
    std::fill(slot.begin(), slot.begin() + kSlotSize, 0xFF);
    const auto lat = Le32(static_cast<std::uint32_t>(SemicirclesToE7(waypoint.latitude)));
    const auto lon = Le32(static_cast<std::uint32_t>(SemicirclesToE7(waypoint.longitude)));
    std::copy(lat.begin(), lat.end(), slot.begin());
    std::copy(lon.begin(), lon.end(), slot.begin() + 4);
    slot[8] = static_cast<std::uint8_t>(waypoint.altitude);
    slot[9] = static_cast<std::uint8_t>(waypoint.altitude >> 8);
    const std::string_view name = !id.empty() ? id.substr(0, 6) : description.substr(0, 9);
    std::copy(name.begin(), name.end(), slot.begin() + 10);
    slot[10 + name.size()] = 0;
    return true;
}

}  // namespace tracora::protocols::syride
