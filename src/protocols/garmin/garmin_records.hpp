// The Garmin waypoint and track point records (D100-D155, D300-D304): one table gives the layout
// of every type, one decoder and one encoder walk it. Every field is read and written byte by
// byte, little-endian, so the code does not depend on the host's byte order or on struct
// packing. NOTES.md lists the layouts.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/track_log.hpp"

namespace tracora::protocols::garmin {

// A packet of the application layer: the packet ID, the size and the data. The serial link
// carries the ID and the size as single bytes, USB as 16- and 32-bit fields.
struct GarminPacket {
    static constexpr std::size_t kMaxData = 255;
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::array<std::uint8_t, kMaxData> data{};

    std::span<const std::uint8_t> Bytes() const { return std::span(data).first(size); }
    // Empties the packet: ID and size 0, every data byte 0.
    void Clear() {
        id = size = 0;
        data.fill(0);
    }
};

// Packet IDs of the application layer.
inline constexpr std::uint32_t kPidAck = 6;
inline constexpr std::uint32_t kPidNak = 21;
inline constexpr std::uint32_t kPidCommand = 10;
inline constexpr std::uint32_t kPidTransferComplete = 12;
inline constexpr std::uint32_t kPidRecords = 27;
inline constexpr std::uint32_t kPidTrackPoint = 34;
inline constexpr std::uint32_t kPidWaypoint = 35;
inline constexpr std::uint32_t kPidTrackHeader = 99;
inline constexpr std::uint32_t kPidExtendedProduct = 248;
inline constexpr std::uint32_t kPidCapabilities = 253;
inline constexpr std::uint32_t kPidProductRequest = 254;
inline constexpr std::uint32_t kPidProductData = 255;

// Device command codes.
inline constexpr std::uint16_t kCmdAbort = 0;
inline constexpr std::uint16_t kCmdTransferTrack = 6;
inline constexpr std::uint16_t kCmdTransferWaypoints = 7;
inline constexpr std::uint16_t kCmdPowerOff = 8;

// Little-endian field access inside a packet's data. Reads past `size` give 0.
std::uint16_t GetU16(const GarminPacket& packet, std::size_t offset);
std::uint32_t GetU32(const GarminPacket& packet, std::size_t offset);
float GetFloat(const GarminPacket& packet, std::size_t offset);
void PutU16(GarminPacket& packet, std::size_t offset, std::uint16_t value);
void PutU32(GarminPacket& packet, std::size_t offset, std::uint32_t value);
void PutFloat(GarminPacket& packet, std::size_t offset, float value);

// Whether the decoder and the encoder know this waypoint or track point type.
bool IsWaypointType(std::uint16_t type);
bool IsTrackPointType(std::uint16_t type);
// The smallest data size of a record of the type (0 for an unknown type).
std::size_t WaypointMinimumSize(std::uint16_t type);
std::size_t TrackPointMinimumSize(std::uint16_t type);

// The symbols a 16-bit symbol field carries for an airfield and for any other point.
inline constexpr std::uint16_t kSymbolAirport = 16384;
inline constexpr std::uint16_t kSymbolDot = 18;

// A waypoint packet (ID 35) of `type` into `out`. 0, -1 (not a waypoint packet, too short, or an
// unknown type), -2 (a layout marker of D109/D110 does not match).
int DecodeWaypoint(const GarminPacket& packet, std::uint16_t type, Waypoint& out);
// Fills `packet` (ID 35, size, data) with `point` in the layout of `type`. 0, or -1 for an
// unknown type.
int EncodeWaypoint(const Waypoint& point, std::uint16_t type, GarminPacket& packet);

// A track point packet of `type` into `out`. 0, -1 (D300 too short), -2 (another type too short,
// or an unknown type).
int DecodeTrackPoint(const GarminPacket& packet, std::uint16_t type, TrackPoint& out);
// Fills `packet` (ID 34) with every field of `point` in the layout of `type`: what a unit sends.
// 0, or -1 for an unknown type.
int EncodeTrackPoint(const TrackPoint& point, std::uint16_t type, GarminPacket& packet);

// The track point an upload of a point list sends: ID 34, the position, every other byte 0,
// 13 bytes under A300, 21 under A301 and 25 otherwise, and never fewer than a record of the
// unit's track point type takes (a D302 unit under A301 needs 25).
void EncodeUploadPoint(std::int32_t latitude, std::int32_t longitude, std::uint16_t trackProtocol,
                       std::uint16_t pointType, GarminPacket& packet);

}  // namespace tracora::protocols::garmin
