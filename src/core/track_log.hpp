// The records of the store: track points, the current track log, waypoints and the list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/angles.hpp"
#include "core/time_base.hpp"

namespace tracora {

// One position, seven 32-bit words (the layout instruments and files are converted into).
struct TrackPoint {
    std::uint32_t flags = 0;            // bit 0: starts a new track segment
    std::uint32_t time = 0;             // seconds since the receiver epoch
    std::int32_t latitude = 0;          // semicircles
    std::int32_t longitude = 0;         // semicircles
    std::int32_t gpsAltitude = 0;       // decimetres
    std::int32_t pressureAltitude = 0;  // metres, 0 when absent
    float depth = 0;                    // metres; an extra per-point value (IGC ENL)

    bool StartsSegment() const { return (flags & kSegmentStart) != 0; }
    static constexpr std::uint32_t kSegmentStart = 1;
};
static_assert(sizeof(TrackPoint) == 28);

// The position of a point in radians, for the geodesy.
inline GeoPoint PointRadians(const TrackPoint& p) {
    return {SemicirclesToRadians(p.latitude), SemicirclesToRadians(p.longitude)};
}

// The IGC text an instrument or a file delivered, kept byte for byte.
struct RawIgcLog {
    std::string text;
    bool Empty() const { return text.empty(); }
};

// Source kinds whose raw data survive the take-over of a new download.
inline constexpr int kSourceKindFile = 0;
inline constexpr int kSourceKindMxpTncm = 3;  // keeps the protocol raw buffer
inline constexpr int kSourceKindFlytec = 5;   // keeps the raw IGC text
inline constexpr int kSourceKindDsx = 9;
inline constexpr int kSourceKindIqBasic = 11;

// The kinds whose instruments deliver IGC text of their own, which survives the take-over of
// their download.
constexpr bool KeepsRawIgc(int kind) {
    return kind == kSourceKindFlytec || kind == kSourceKindDsx || kind == kSourceKindIqBasic;
}
// The kinds that keep the protocol's raw buffer.
constexpr bool KeepsRawProtocolData(int kind) {
    return kind == kSourceKindMxpTncm;
}

struct TrackLog {
    std::vector<TrackPoint> points;
    int sourceKind = kSourceKindFile;
    int protocol = -1;  // the instrument family of the job that downloaded it
    bool gRecordEligible = false;
    bool timeIsUtc = false;
    bool hasPressureAltitude = false;
    bool saved = false;
    std::string productName;            // at most 16 characters
    std::string instrumentDescription;  // at most 80 characters
    std::string productText;            // at most 53 characters
    CalendarTime downloadTime;
    int civlPilotId = -1;
    int compPilotId = -1;
    RawIgcLog rawIgc;
    std::vector<std::uint8_t> rawProtocolData;

    bool Loaded() const { return !points.empty(); }
};

struct Waypoint {
    std::int32_t latitude = 0;           // semicircles
    std::int32_t longitude = 0;          // semicircles
    std::int32_t altitude = 0;           // metres
    std::array<char, 7> id{};            // NUL-terminated, at most 6 characters
    std::array<char, 41> description{};  // NUL-terminated, at most 40 characters
    std::uint32_t time = 0;
    std::int32_t kind = 0;  // 0 point, 1 airfield

    std::string_view Id() const;
    std::string_view Description() const;
    // Store text cut to the field's length, never inside a UTF-8 sequence.
    void SetId(std::string_view text);
    void SetDescription(std::string_view text);
};

inline constexpr int kWaypointKindPoint = 0;
inline constexpr int kWaypointKindAirfield = 1;

struct WaypointList {
    std::vector<Waypoint> items;
    static constexpr std::size_t kFirstCapacity = 50;
};

}  // namespace tracora
