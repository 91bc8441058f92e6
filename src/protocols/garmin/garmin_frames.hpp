// The Garmin link layers without any I/O: the serial frame (DLE, ID, size, data, checksum, DLE
// ETX, with DLE stuffing) and its byte-by-byte receiver, the USB packet header, the capability
// array and the product table of units that send none, and the check of what the session can
// talk to. NOTES.md describes them byte by byte.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocols/garmin/garmin_records.hpp"

namespace tracora::protocols::garmin {

inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr int kBaud = 9600;

// The serial frame of a packet (ID and size as single bytes; a size above 255 is cut).
std::vector<std::uint8_t> FramePacket(const GarminPacket& packet);

// The receiver of serial frames, fed one byte at a time. Garbled frames (bad stuffing, a
// checksum that does not add up, no DLE ETX) are dropped silently.
class FrameReceiver {
public:
    enum class Result { kNone, kPacketStarted, kPacketComplete };
    Result Feed(std::uint8_t byte);
    // The packet of the last kPacketComplete.
    const GarminPacket& Packet() const { return packet_; }
    void Reset() {
        state_ = 0;
        pendingDle_ = false;
    }

private:
    GarminPacket packet_;
    int state_ = 0;
    bool pendingDle_ = false;
    std::uint8_t sum_ = 0;
    std::size_t index_ = 0;
};

// The USB packet: type (0 the USB layer, 20 the application), 3 reserved bytes, the 16-bit ID,
// 2 reserved bytes, the 32-bit size, the data.
inline constexpr std::size_t kUsbHeaderSize = 12;
inline constexpr std::uint8_t kUsbLayerType = 0;
inline constexpr std::uint8_t kUsbApplicationType = 20;
inline constexpr std::uint32_t kUsbDataAvailable = 2;
inline constexpr std::uint32_t kUsbStartSession = 5;
inline constexpr std::uint32_t kUsbSessionStarted = 6;

std::vector<std::uint8_t> UsbPacketBytes(std::uint8_t type, const GarminPacket& packet);
// One USB packet from the bytes of a transfer: its type and the packet (data beyond 255 bytes
// are dropped). False when fewer than 12 bytes came.
bool ParseUsbPacket(std::span<const std::uint8_t> bytes, std::uint8_t& type, GarminPacket& out);

// What the unit supports, as its capability array or the product table says.
struct GarminCapabilities {
    std::uint16_t productId = 0;
    std::uint16_t lowestVersion = 0;
    std::uint16_t highestVersion = 0;
    std::uint16_t physical = 0;
    std::uint16_t link = 0;
    std::uint16_t command = 0;
    std::uint16_t transport = 0;
    std::uint16_t waypointProtocol = 0;
    std::uint16_t waypointType = 0;
    std::uint16_t routeProtocol = 0;
    std::uint16_t routeHeaderType = 0;
    std::uint16_t routeWaypointType = 0;
    std::uint16_t routeLinkType = 0;
    std::uint16_t trackProtocol = 0;
    std::uint16_t trackHeaderType = 0;
    std::uint16_t trackPointType = 0;
    std::uint16_t proximityProtocol = 0;
    std::uint16_t proximityType = 0;
    std::uint16_t almanacProtocol = 0;
    std::uint16_t almanacType = 0;

    friend bool operator==(const GarminCapabilities&, const GarminCapabilities&) = default;
};

// One entry of the capability array: a tag ('P', 'L', 'A', 'T', 'D') and a number.
struct CapabilityEntry {
    char tag;
    std::uint16_t number;
};

// The entries of a capability array packet. False when its size is not a multiple of 3.
bool SplitCapabilityArray(const GarminPacket& packet, std::vector<CapabilityEntry>& entries);
// Fills `caps` from the entries (the product fields are left alone). 0, or -1 for an entry
// whose tag is none of P, L, T, A, D.
int ParseProtocolArray(std::span<const CapabilityEntry> entries, GarminCapabilities& caps);
// A capability array packet for these entries.
void EncodeCapabilityArray(std::span<const CapabilityEntry> entries, GarminPacket& packet);

// The product table's row for a unit that sends no capability array. False when none matches.
bool LookUpProduct(std::uint16_t productId, std::uint16_t version, GarminCapabilities& caps);

// Whether the session can talk to the unit: an empty text, or the message that refuses it
// ("E180 Unsupported link protocol", ...).
std::string CheckCapabilities(const GarminCapabilities& caps);

// The product data packet: ID, software version and description.
struct ProductData {
    std::uint16_t productId = 0;
    std::int16_t version = 0;
    std::string description;
};
// False unless the packet is product data with at least 5 bytes. The description is read up to
// its NUL or the end of the packet, 80 characters at most.
bool DecodeProductData(const GarminPacket& packet, ProductData& out);
void EncodeProductData(const ProductData& product, GarminPacket& packet);

// A packet of `id` with a 16-bit value (commands, records, transfer complete) or the ID and 0
// (acknowledge, NAK).
void MakeWordPacket(std::uint32_t id, std::uint16_t value, GarminPacket& packet);

}  // namespace tracora::protocols::garmin
