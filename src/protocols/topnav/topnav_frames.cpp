#include "protocols/topnav/topnav_frames.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/angles.hpp"
#include "core/time_base.hpp"

namespace tracora::protocols::topnav {

namespace {

constexpr double kMxpUnitToSemicircles = 497.1026962963;  // 2^31 / 180 / 24000
constexpr double kSemicirclesToDeg6000 = 0.0005029141902924;
constexpr double kArcSecondsToRadians = 4.848136811095e-06;

std::optional<int> DecimalValue(std::string_view digits) {
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

std::string Two(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value % 100);
    return text;
}

// The checksum characters at `at`: -3 when not hexadecimal, -4 when they differ from the XOR
// of the characters before them.
int CheckSum(std::string_view text, std::size_t at) {
    const std::optional<std::uint32_t> sum = HexValue(text.substr(at, 2));
    if (!sum)
        return -3;
    if (*sum != XorOf(text.substr(0, at)))
        return -4;
    return 0;
}

}  // namespace

std::uint8_t XorOf(std::string_view text) {
    std::uint8_t sum = 0;
    for (const char c : text)
        sum ^= static_cast<std::uint8_t>(c);
    return sum;
}

std::int32_t Mxp24000ToSemicircles(std::int32_t value) {
    return RoundAway(value * kMxpUnitToSemicircles);
}

std::int32_t SemicirclesToDeg6000(std::int32_t semicircles) {
    const double magnitude = std::fabs(static_cast<double>(semicircles)) * kSemicirclesToDeg6000;
    const auto rounded = static_cast<std::int32_t>(std::floor(magnitude + 0.5));
    return semicircles < 0 ? -rounded : rounded;
}

std::string_view MxpIdentifier(MxpModel model) {
    return model == MxpModel::kTopNavigator ? "@tn" : "@xc";
}

int MxpDecoder::ParseHeader(std::string_view text) {
    // Characters 0-37: the checksum is the last two. A shorter line is refused whole, so that
    // no field is read from beyond the text.
    if (text.size() < 38)
        return -2;
    if (const int sum = CheckSum(text, 36); sum != 0)
        return sum;
    if (text.substr(0, 3) != MxpIdentifier(model_))
        return -5;
    const std::optional<std::uint32_t> serial = HexValue(text.substr(7, 4));
    if (!serial)
        return -17;
    MxpHeader header;
    header.firmware = std::string(text.substr(3, 4));
    header.serial = static_cast<int>(*serial);
    int values[6] = {};
    for (int i = 0; i < 6; ++i) {
        const std::optional<int> value =
            DecimalValue(text.substr(13 + static_cast<std::size_t>(i) * 2, 2));
        if (!value)
            return -6;
        values[i] = *value;
    }
    if (values[1] < 1 || values[1] > 12 || values[2] < 1 || values[2] > 31 || values[3] > 24 ||
        values[4] > 59 || values[5] > 59)
        return -7;
    header.start =
        CalendarTime{2000 + values[0], values[1], values[2], values[3], values[4], values[5]};
    const std::optional<std::uint32_t> datum = HexValue(text.substr(25, 2));
    if (!datum || *datum != 1)
        return -8;
    const std::optional<std::uint32_t> positions = HexValue(text.substr(27, 4));
    if (!positions)
        return -9;
    header.positions = static_cast<int>(*positions);
    const std::optional<std::uint32_t> interval = HexValue(text.substr(31, 2));
    if (!interval)
        return -10;
    header.interval = static_cast<int>(*interval);
    header.altitudeFormat = text[33] == '1' ? 1 : text[33] == '2' ? 2 : 0;
    header_ = header;
    startTime_ = CalendarToTime(header.start);
    dayOffset_ = 0;
    previousOffset_ = 0;
    firstRecord_ = true;
    received_ = 0;
    if (header.positions == 0)
        return 0;
    headerSeen_ = true;
    return 1;
}

int MxpDecoder::ParsePosition(std::string_view text, TrackPoint& point) {
    const bool both = header_.altitudeFormat == 2;
    const std::size_t sumAt = both ? 30 : 26;
    if (text.size() < sumAt + 2)
        return -2;
    if (const int sum = CheckSum(text, sumAt); sum != 0)
        return sum;
    const std::optional<std::uint32_t> record = HexValue(text.substr(0, 4));
    if (!record)
        return -11;
    if (firstRecord_) {
        if (*record > 1)
            return -12;
        expectedRecord_ = static_cast<int>(*record);
    } else if (static_cast<int>(*record) != expectedRecord_) {
        return -12;
    }
    const std::optional<std::uint32_t> offset = HexValue(text.substr(4, 4));
    if (!offset)
        return -13;
    if (!firstRecord_ && *offset < previousOffset_)
        dayOffset_ += 86400;
    if (!HexValue(text.substr(8, 2)))
        return -18;
    const std::optional<std::uint32_t> latitude = HexValue(text.substr(10, 6));
    const std::optional<std::uint32_t> longitude = HexValue(text.substr(16, 6));
    if (!latitude || !longitude)
        return -14;
    const std::optional<std::uint32_t> altitudeA = HexValue(text.substr(22, 4));
    std::optional<std::uint32_t> altitudeB = 0u;
    if (both)
        altitudeB = HexValue(text.substr(26, 4));
    if (!altitudeA || !altitudeB)
        return -15;
    point = TrackPoint{};
    std::int64_t time = static_cast<std::int64_t>(startTime_) + dayOffset_ + *offset;
    if (model_ == MxpModel::kTopNavigator)
        time -= utcOffset_;
    point.time = static_cast<std::uint32_t>(time);
    point.latitude = Mxp24000ToSemicircles(SignExtend(*latitude, 24));
    point.longitude = Mxp24000ToSemicircles(SignExtend(*longitude, 24));
    const std::int32_t a = SignExtend(*altitudeA, 16);
    const std::int32_t b = SignExtend(*altitudeB, 16);
    switch (header_.altitudeFormat) {
        case 0:
            point.pressureAltitude = a;
            break;
        case 1:
            point.gpsAltitude = a * 10;
            break;
        default:
            point.pressureAltitude = a;
            point.gpsAltitude = b * 10;
            break;
    }
    point.flags = received_ == 0 ? TrackPoint::kSegmentStart : 0;
    previousOffset_ = *offset;
    firstRecord_ = false;
    ++expectedRecord_;
    ++received_;
    return received_ >= header_.positions ? 0 : 1;
}

std::string MxpDecoder::Description() const {
    std::string f = header_.firmware;
    f.resize(4, '0');  // before any header: no firmware yet
    std::string text;
    if (model_ == MxpModel::kTopNavigator)
        text = "Top Navigator V" + f.substr(0, 1) + "." + f.substr(1);
    else
        text = "XC Trainer V" + f.substr(0, 1) + "." + f.substr(1, 1) + "-" + f.substr(2);
    return text + ", S/N " + std::to_string(header_.serial);
}

std::string MxpErrorText(int result) {
    static const char* const kTexts[] = {"",
                                         "E202 Too long line",
                                         "E202 Too short line",
                                         "E202 Bad checksum format",
                                         "E202 Bad checksum",
                                         "E202 Bad identifier",
                                         "E202 Bad start time entry",
                                         "E202 Bad start time value",
                                         "E202 Bad geodetic ID",
                                         "E202 Bad track positions entry",
                                         "E202 Bad interval entry",
                                         "E202 Bad record number entry",
                                         "E202 Bad record number sequence",
                                         "E202 Bad position time entry",
                                         "E202 Bad position value entry",
                                         "E202 Bad height entry",
                                         "E202 Memory allocation error",
                                         "E202 Bad S/N entry",
                                         "E202 Bad GPS pos. valid entry"};
    const int number = -result;
    if (number >= 1 && number <= 18)
        return kTexts[number];
    return "E202 Unknown error";
}

std::string EncodeMxpHeader(MxpModel model, const MxpHeader& header) {
    std::string text(MxpIdentifier(model));
    std::string firmware = header.firmware;
    firmware.resize(4, '0');
    text += firmware;
    text += Hex(static_cast<std::uint32_t>(header.serial), 4);
    text += "00";
    text += Two(header.start.year - 2000) + Two(header.start.month) + Two(header.start.day) +
            Two(header.start.hour) + Two(header.start.minute) + Two(header.start.second);
    text += "01";
    text += Hex(static_cast<std::uint32_t>(header.positions), 4);
    text += Hex(static_cast<std::uint32_t>(header.interval), 2);
    text += static_cast<char>('0' + header.altitudeFormat);
    text += "00";
    text += Hex(XorOf(text), 2);
    return text;
}

std::string EncodeMxpPosition(const MxpPosition& p, int altitudeFormat) {
    std::string text = Hex(static_cast<std::uint32_t>(p.record), 4);
    text += Hex(p.timeOffset, 4);
    text += "01";
    text += Hex(static_cast<std::uint32_t>(p.latitude) & 0xFFFFFF, 6);
    text += Hex(static_cast<std::uint32_t>(p.longitude) & 0xFFFFFF, 6);
    text += Hex(static_cast<std::uint16_t>(p.altitudeA), 4);
    if (altitudeFormat == 2)
        text += Hex(static_cast<std::uint16_t>(p.altitudeB), 4);
    text += Hex(XorOf(text), 2);
    return text;
}

// ---------------------------------------------------------------- waypoint record

int DecodeWaypointRecord(const WaypointRecord& r, std::uint32_t time, Waypoint& out) {
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i <= 27; ++i)
        sum ^= r[i];
    if (sum != r[28])
        return -2;
    if (r[0] != '@')
        return -3;
    if (r[1] != '@')
        return -4;
    if (r[2] != 'W')
        return -5;
    if (r[3] != 'P')
        return -6;
    Waypoint w;
    w.altitude = (r[5] << 8) | r[6];
    const std::string name(reinterpret_cast<const char*>(r.data() + 7), 11);
    // The units pad names with blanks (an upload does too); the padding is no part of them.
    std::string bare = name.substr(0, name.find('\0'));
    const auto trimmed = [](std::string text) {
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text;
    };
    w.SetId(trimmed(bare.substr(0, 6)));
    w.SetDescription(trimmed(bare));
    const auto le24 = [&r](std::size_t at) {
        return SignExtend(static_cast<std::uint32_t>(r[at] | (r[at + 1] << 8) | (r[at + 2] << 16)),
                          24);
    };
    w.latitude = Deg6000ToSemicircles(le24(22));
    w.longitude = Deg6000ToSemicircles(le24(25));
    w.time = time;
    w.kind = 0;
    out = w;
    return 0;
}

WaypointRecord EncodeWaypointRecord(const Waypoint& waypoint) {
    WaypointRecord r{};
    r[0] = '@';
    r[1] = '@';
    r[2] = 'W';
    r[3] = 'P';
    r[4] = 0x81;
    const int altitude = waypoint.altitude < 0 ? 0 : std::min(waypoint.altitude, 0xFFFF);
    r[5] = static_cast<std::uint8_t>(altitude >> 8);
    r[6] = static_cast<std::uint8_t>(altitude & 0xFF);
    std::string name(waypoint.Id());
    name.resize(11, ' ');
    for (std::size_t i = 0; i < 11; ++i)
        r[7 + i] = static_cast<std::uint8_t>(name[i]);
    r[18] = 'N';
    r[19] = 'O';
    r[20] = 0x06;
    r[21] = 0x00;
    const auto put24 = [&r](std::size_t at, std::int32_t semicircles) {
        const std::int32_t units = SemicirclesToDeg6000(semicircles);
        const std::uint32_t value = units < 0 ? 0x1000000u - static_cast<std::uint32_t>(-units)
                                              : static_cast<std::uint32_t>(units);
        r[at] = static_cast<std::uint8_t>(value & 0xFF);
        r[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        r[at + 2] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
    };
    put24(22, waypoint.latitude);
    put24(25, waypoint.longitude);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i <= 27; ++i)
        sum ^= r[i];
    r[28] = sum;
    r[29] = '\r';
    r[30] = '\n';
    return r;
}

// ---------------------------------------------------------------- Top Navigator line

bool ParseTnWaypointLine(std::string_view line, std::uint32_t time, Waypoint& out) {
    if (line.empty() || line.front() == ';')
        return false;
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        const std::size_t begin = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t')
            ++at;
        if (at > begin)
            fields.emplace_back(line.substr(begin, at - begin));
    }
    if (fields.size() < 12)
        return false;
    std::string id = fields[0].substr(0, 6);
    while (!id.empty() && id.back() == '_')
        id.pop_back();
    if (id.empty() || fields[1] != "TPT" || fields[11] != "m")
        return false;
    if (fields[2] != "N" && fields[2] != "S")
        return false;
    if (fields[6] != "E" && fields[6] != "W")
        return false;
    std::optional<int> numbers[7];
    const std::size_t where[7] = {3, 4, 5, 7, 8, 9, 10};
    for (int i = 0; i < 6; ++i) {
        numbers[i] = DecimalValue(fields[where[i]]);
        if (!numbers[i])
            return false;
    }
    int altitude = 0;
    {
        std::string_view text = fields[10];
        const bool negative = !text.empty() && text.front() == '-';
        if (negative)
            text.remove_prefix(1);
        const std::optional<int> value = text.empty() ? std::nullopt : DecimalValue(text);
        if (!value)
            return false;
        altitude = negative ? 0 : *value;
    }
    const int latD = *numbers[0], latM = *numbers[1], latS = *numbers[2];
    const int lonD = *numbers[3], lonM = *numbers[4], lonS = *numbers[5];
    if (latD >= 90 || latM >= 60 || latS >= 60 || lonD >= 180 || lonM >= 60 || lonS >= 60)
        return false;
    double latitude = (latD * 3600.0 + latM * 60.0 + latS) * kArcSecondsToRadians;
    double longitude = (lonD * 3600.0 + lonM * 60.0 + lonS) * kArcSecondsToRadians;
    if (fields[2] == "S")
        latitude = -latitude;
    if (fields[6] == "W")
        longitude = -longitude;
    Waypoint w;
    w.SetId(id);
    w.latitude = RadiansToSemicircles(latitude);
    w.longitude = RadiansToSemicircles(longitude);
    w.altitude = altitude;
    w.time = time;
    w.kind = 0;
    out = w;
    return true;
}

std::string FormatTnWaypointLine(const Waypoint& waypoint) {
    std::string id(waypoint.Id());
    id.resize(6, '_');
    const auto dms = [](std::int32_t semicircles, char positive, char negative) {
        const double seconds = std::fabs(SemicirclesToDegrees(semicircles)) * 3600.0;
        const long total = std::lround(seconds);
        char text[32];
        std::snprintf(text, sizeof text, "%c %ld %ld %ld", semicircles < 0 ? negative : positive,
                      total / 3600, (total / 60) % 60, total % 60);
        return std::string(text);
    };
    return id + " TPT " + dms(waypoint.latitude, 'N', 'S') + " " +
           dms(waypoint.longitude, 'E', 'W') + " " + std::to_string(waypoint.altitude) + " m";
}

}  // namespace tracora::protocols::topnav
