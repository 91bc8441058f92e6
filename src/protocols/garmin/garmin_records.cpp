#include "protocols/garmin/garmin_records.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

namespace tracora::protocols::garmin {

namespace {

constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

enum class Altitude { kNone, kFloat, kInt16 };
enum class Symbol { kNone, kByte, kWord };

// One byte a type sets to a fixed value on upload.
struct FixedByte {
    std::size_t offset = kAbsent;
    std::uint8_t value = 0;
};

struct WaypointLayout {
    std::uint16_t type;
    std::size_t minSize;
    // The variable types hold the ident at `ident` and the comment right behind it, each
    // ending in a NUL; the fixed types hold them blank-padded at `ident` and `comment`.
    bool variable;
    std::size_t ident;
    std::size_t comment;
    std::size_t posn;
    Altitude altKind;
    std::size_t alt;
    Symbol symbolKind;
    std::size_t symbol;
    std::array<FixedByte, 3> fixed;
    std::size_t time;  // the waypoint's time, sent and read (D110)
    // A layout marker that a received record must carry, offset and value.
    std::array<FixedByte, 2> marker;
};

constexpr FixedByte kNo{};

constexpr WaypointLayout kWaypointLayouts[] = {
    {100, 58, false, 0, 18, 6, Altitude::kNone, kAbsent, Symbol::kNone, kAbsent, {}, kAbsent, {}},
    {101,
     63,
     false,
     0,
     18,
     6,
     Altitude::kNone,
     kAbsent,
     Symbol::kNone,
     kAbsent,
     {FixedByte{62, 18}, kNo, kNo},
     kAbsent,
     {}},
    {102, 64, false, 0, 18, 6, Altitude::kNone, kAbsent, Symbol::kWord, 62, {}, kAbsent, {}},
    {103, 60, false, 0, 18, 6, Altitude::kNone, kAbsent, Symbol::kNone, kAbsent, {}, kAbsent, {}},
    {104, 65, false, 0, 18, 6, Altitude::kNone, kAbsent, Symbol::kWord, 62, {}, kAbsent, {}},
    {107, 65, false, 0, 18, 6, Altitude::kNone, kAbsent, Symbol::kNone, kAbsent, {}, kAbsent, {}},
    {108,
     48,
     true,
     48,
     kAbsent,
     24,
     Altitude::kFloat,
     32,
     Symbol::kWord,
     4,
     {FixedByte{1, 255}, FixedByte{3, 0x60}, kNo},
     kAbsent,
     {}},
    {109,
     52,
     true,
     52,
     kAbsent,
     24,
     Altitude::kFloat,
     32,
     Symbol::kWord,
     4,
     {FixedByte{0, 1}, FixedByte{2, 0x1F}, FixedByte{3, 0x70}},
     kAbsent,
     {FixedByte{0, 1}, FixedByte{3, 0x70}}},
    {110,
     62,
     true,
     62,
     kAbsent,
     24,
     Altitude::kFloat,
     32,
     Symbol::kWord,
     4,
     {FixedByte{0, 1}, FixedByte{2, 0x1F}, FixedByte{3, 0x80}},
     56,
     {FixedByte{0, 1}, FixedByte{3, 0x80}}},
    {150, 115, false, 0, 75, 9, Altitude::kInt16, 17, Symbol::kNone, kAbsent, {}, kAbsent, {}},
    {151, 124, false, 0, 18, 6, Altitude::kInt16, 118, Symbol::kNone, kAbsent, {}, kAbsent, {}},
    {152, 124, false, 0, 18, 6, Altitude::kInt16, 118, Symbol::kNone, kAbsent, {}, kAbsent, {}},
    {154, 126, false, 0, 18, 6, Altitude::kInt16, 118, Symbol::kWord, 124, {}, kAbsent, {}},
    {155, 127, false, 0, 18, 6, Altitude::kInt16, 118, Symbol::kWord, 124, {}, kAbsent, {}},
};

struct TrackLayout {
    std::uint16_t type;
    std::size_t minSize;
    std::size_t alt;       // float metres
    std::size_t depth;     // float metres
    std::size_t newTrack;  // byte, not 0 when the point starts a track segment
};

constexpr TrackLayout kTrackLayouts[] = {
    {300, 13, kAbsent, kAbsent, 12}, {301, 21, 12, 16, 20},           {302, 25, 12, 16, 24},
    {303, 17, 12, kAbsent, kAbsent}, {304, 23, 12, kAbsent, kAbsent},
};

const WaypointLayout* FindWaypointLayout(std::uint16_t type) {
    for (const WaypointLayout& layout : kWaypointLayouts) {
        if (layout.type == type)
            return &layout;
    }
    return nullptr;
}

const TrackLayout* FindTrackLayout(std::uint16_t type) {
    for (const TrackLayout& layout : kTrackLayouts) {
        if (layout.type == type)
            return &layout;
    }
    return nullptr;
}

constexpr std::size_t kIdChars = 6;
constexpr std::size_t kCommentChars = 40;

// Text as received: at most `maxChars` kept, letters raised, cut after the last non-blank
// character (a text of blanks keeps its first blank).
std::string ReceivedText(const std::uint8_t* bytes, std::size_t count, std::size_t maxChars) {
    std::string text;
    for (std::size_t i = 0; i < count && text.size() < maxChars && bytes[i] != 0; ++i) {
        char c = static_cast<char>(bytes[i]);
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        text += c;
    }
    const std::size_t last = text.find_last_not_of(' ');
    if (last != std::string::npos)
        text.resize(last + 1);
    else if (!text.empty())
        text.resize(1);
    return text;
}

// The length of the NUL-terminated text at `offset`, never reading past the packet's size (a
// text without a NUL ends with the packet).
std::size_t BoundedLength(const GarminPacket& packet, std::size_t offset) {
    std::size_t length = 0;
    while (offset + length < packet.size && packet.data[offset + length] != 0)
        ++length;
    return length;
}

// Characters as an upload sends them: letters raised, digits and blank kept; `keepHyphen`
// keeps '-', every other character becomes `other`.
std::string SentText(std::string_view text, std::size_t maxChars, bool keepHyphen, char other) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && out.size() < maxChars; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                          (keepHyphen && c == '-');
        out += kept ? c : other;
    }
    return out;
}

void PutText(GarminPacket& packet, std::size_t offset, std::string_view text) {
    std::memcpy(packet.data.data() + offset, text.data(), text.size());
}

void PutI32(GarminPacket& packet, std::size_t offset, std::int32_t value) {
    PutU32(packet, offset, static_cast<std::uint32_t>(value));
}

std::int32_t GetI32(const GarminPacket& packet, std::size_t offset) {
    return static_cast<std::int32_t>(GetU32(packet, offset));
}

}  // namespace

std::uint16_t GetU16(const GarminPacket& packet, std::size_t offset) {
    if (offset + 2 > packet.size)
        return 0;
    return static_cast<std::uint16_t>(packet.data[offset] | (packet.data[offset + 1] << 8));
}

std::uint32_t GetU32(const GarminPacket& packet, std::size_t offset) {
    if (offset + 4 > packet.size)
        return 0;
    return static_cast<std::uint32_t>(packet.data[offset]) |
           (static_cast<std::uint32_t>(packet.data[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(packet.data[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(packet.data[offset + 3]) << 24);
}

float GetFloat(const GarminPacket& packet, std::size_t offset) {
    return std::bit_cast<float>(GetU32(packet, offset));
}

void PutU16(GarminPacket& packet, std::size_t offset, std::uint16_t value) {
    packet.data[offset] = static_cast<std::uint8_t>(value & 0xFF);
    packet.data[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(GarminPacket& packet, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        packet.data[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

void PutFloat(GarminPacket& packet, std::size_t offset, float value) {
    PutU32(packet, offset, std::bit_cast<std::uint32_t>(value));
}

bool IsWaypointType(std::uint16_t type) {
    return FindWaypointLayout(type) != nullptr;
}

bool IsTrackPointType(std::uint16_t type) {
    return FindTrackLayout(type) != nullptr;
}

std::size_t WaypointMinimumSize(std::uint16_t type) {
    const WaypointLayout* layout = FindWaypointLayout(type);
    return layout != nullptr ? layout->minSize : 0;
}

std::size_t TrackPointMinimumSize(std::uint16_t type) {
    const TrackLayout* layout = FindTrackLayout(type);
    return layout != nullptr ? layout->minSize : 0;
}

int DecodeWaypoint(const GarminPacket& packet, std::uint16_t type, Waypoint& out) {
    const WaypointLayout* layout = FindWaypointLayout(type);
    if (layout == nullptr || packet.id != kPidWaypoint || packet.size < layout->minSize ||
        packet.size > GarminPacket::kMaxData)
        return -1;
    for (const FixedByte& marker : layout->marker) {
        if (marker.offset != kAbsent && packet.data[marker.offset] != marker.value)
            return -2;
    }
    out = Waypoint{};
    out.latitude = GetI32(packet, layout->posn);
    out.longitude = GetI32(packet, layout->posn + 4);
    if (layout->altKind == Altitude::kFloat) {
        const float alt = GetFloat(packet, layout->alt);
        // The unit's "unknown" (1.0e25) and anything not a number fall outside.
        if (alt >= -20000.0F && alt <= 20000.0F)
            out.altitude = static_cast<std::int32_t>(std::lround(alt));
    } else if (layout->altKind == Altitude::kInt16) {
        out.altitude = static_cast<std::int16_t>(GetU16(packet, layout->alt));
    }
    std::string id;
    std::string comment;
    if (layout->variable) {
        const std::size_t identAt = layout->ident;
        const std::size_t identLength = BoundedLength(packet, identAt);
        id = ReceivedText(packet.data.data() + identAt, identLength, kIdChars);
        const std::size_t commentAt = identAt + identLength + 1;
        if (commentAt < packet.size) {
            comment = ReceivedText(packet.data.data() + commentAt, BoundedLength(packet, commentAt),
                                   kCommentChars);
        }
    } else {
        id = ReceivedText(packet.data.data() + layout->ident, kIdChars, kIdChars);
        comment = ReceivedText(packet.data.data() + layout->comment, kCommentChars, kCommentChars);
    }
    std::memcpy(out.id.data(), id.data(), id.size());
    std::memcpy(out.description.data(), comment.data(), comment.size());
    if (layout->symbolKind == Symbol::kWord && GetU16(packet, layout->symbol) == kSymbolAirport)
        out.kind = kWaypointKindAirfield;
    if (layout->time != kAbsent)
        out.time = GetU32(packet, layout->time);
    return 0;
}

int EncodeWaypoint(const Waypoint& point, std::uint16_t type, GarminPacket& packet) {
    const WaypointLayout* layout = FindWaypointLayout(type);
    if (layout == nullptr)
        return -1;
    packet.Clear();
    packet.id = kPidWaypoint;
    packet.size = GarminPacket::kMaxData;  // the field writers below stay inside
    PutI32(packet, layout->posn, point.latitude);
    PutI32(packet, layout->posn + 4, point.longitude);
    if (layout->altKind == Altitude::kFloat)
        PutFloat(packet, layout->alt, static_cast<float>(point.altitude));
    else if (layout->altKind == Altitude::kInt16)
        PutU16(packet, layout->alt, static_cast<std::uint16_t>(point.altitude & 0xFFFF));
    if (layout->symbolKind == Symbol::kWord) {
        PutU16(packet, layout->symbol,
               point.kind == kWaypointKindAirfield ? kSymbolAirport : kSymbolDot);
    }
    for (const FixedByte& fixed : layout->fixed) {
        if (fixed.offset != kAbsent)
            packet.data[fixed.offset] = fixed.value;
    }
    if (layout->time != kAbsent)
        PutU32(packet, layout->time, point.time);
    const std::string id = SentText(point.Id(), kIdChars, true, ' ');
    if (layout->variable) {
        const std::string comment = SentText(point.Description(), kCommentChars, true, ' ');
        std::size_t at = layout->ident;
        PutText(packet, at, id);
        at += id.size() + 1;
        PutText(packet, at, comment);
        at += comment.size() + 1;
        packet.size = static_cast<std::uint32_t>(at);
    } else {
        std::string padded = id;
        padded.resize(kIdChars, ' ');
        PutText(packet, layout->ident, padded);
        std::string comment = SentText(point.Description(), kCommentChars, false, '-');
        comment.resize(kCommentChars, ' ');
        PutText(packet, layout->comment, comment);
        packet.size = static_cast<std::uint32_t>(layout->minSize);
    }
    return 0;
}

int DecodeTrackPoint(const GarminPacket& packet, std::uint16_t type, TrackPoint& out) {
    const TrackLayout* layout = FindTrackLayout(type);
    if (layout == nullptr || packet.size < layout->minSize || packet.size > GarminPacket::kMaxData)
        return type == 300 ? -1 : -2;
    out = TrackPoint{};
    out.latitude = GetI32(packet, 0);
    out.longitude = GetI32(packet, 4);
    out.time = GetU32(packet, 8);
    if (out.time == 0xFFFFFFFFU || out.time == 0x7FFFFFFFU)
        out.time = 0;
    if (layout->newTrack != kAbsent && packet.data[layout->newTrack] != 0)
        out.flags = TrackPoint::kSegmentStart;
    if (layout->alt != kAbsent) {
        const float alt = GetFloat(packet, layout->alt);
        // Above 1e10 is the unit's "unknown"; a value that is not a number or that does not
        // fit the decimetre field counts as unknown too.
        if (alt <= 1.0e10F && alt > -2.0e8F && alt < 2.0e8F) {
            out.gpsAltitude = static_cast<std::int32_t>(std::trunc(alt * 10.0 + 0.5));
        }
    }
    if (layout->depth != kAbsent)
        out.depth = GetFloat(packet, layout->depth);
    return 0;
}

int EncodeTrackPoint(const TrackPoint& point, std::uint16_t type, GarminPacket& packet) {
    const TrackLayout* layout = FindTrackLayout(type);
    if (layout == nullptr)
        return -1;
    packet.Clear();
    packet.id = kPidTrackPoint;
    packet.size = static_cast<std::uint32_t>(layout->minSize);
    PutI32(packet, 0, point.latitude);
    PutI32(packet, 4, point.longitude);
    PutU32(packet, 8, point.time);
    if (layout->alt != kAbsent)
        PutFloat(packet, layout->alt, static_cast<float>(point.gpsAltitude / 10.0));
    if (layout->depth != kAbsent)
        PutFloat(packet, layout->depth, point.depth);
    if (layout->newTrack != kAbsent)
        packet.data[layout->newTrack] = point.StartsSegment() ? 1 : 0;
    return 0;
}

void EncodeUploadPoint(std::int32_t latitude, std::int32_t longitude, std::uint16_t trackProtocol,
                       std::uint16_t pointType, GarminPacket& packet) {
    packet.Clear();
    packet.id = kPidTrackPoint;
    const std::size_t size = trackProtocol == 300 ? 13 : trackProtocol == 301 ? 21 : 25;
    packet.size = static_cast<std::uint32_t>(std::max(size, TrackPointMinimumSize(pointType)));
    PutI32(packet, 0, latitude);
    PutI32(packet, 4, longitude);
}

}  // namespace tracora::protocols::garmin
