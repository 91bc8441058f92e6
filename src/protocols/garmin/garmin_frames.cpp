#include "protocols/garmin/garmin_frames.hpp"

#include <algorithm>

namespace tracora::protocols::garmin {

std::vector<std::uint8_t> FramePacket(const GarminPacket& packet) {
    const std::uint8_t size = static_cast<std::uint8_t>(std::min<std::uint32_t>(packet.size, 255));
    const std::uint8_t id = static_cast<std::uint8_t>(packet.id & 0xFF);
    std::vector<std::uint8_t> frame;
    frame.reserve(3 + 2 * (static_cast<std::size_t>(size) + 1) + 2);
    auto stuffed = [&frame](std::uint8_t byte) {
        frame.push_back(byte);
        if (byte == kDle)
            frame.push_back(kDle);
    };
    frame.push_back(kDle);
    frame.push_back(id);
    stuffed(size);
    std::uint8_t sum = static_cast<std::uint8_t>(id + size);
    for (std::size_t i = 0; i < size; ++i) {
        stuffed(packet.data[i]);
        sum = static_cast<std::uint8_t>(sum + packet.data[i]);
    }
    stuffed(static_cast<std::uint8_t>(-sum));
    frame.push_back(kDle);
    frame.push_back(kEtx);
    return frame;
}

FrameReceiver::Result FrameReceiver::Feed(std::uint8_t byte) {
    switch (state_) {
        case 0:
            if (byte == kDle)
                state_ = 1;
            return Result::kNone;
        case 1:
            if (byte == kDle || byte == kEtx) {
                state_ = 0;
                return Result::kNone;
            }
            packet_.Clear();
            packet_.id = byte;
            sum_ = byte;
            pendingDle_ = false;
            index_ = 0;
            state_ = 2;
            return Result::kPacketStarted;
        case 2:
        case 3:
        case 4:
            if (pendingDle_) {
                pendingDle_ = false;
                if (byte != kDle) {
                    state_ = 0;
                    return Result::kNone;
                }
            } else if (byte == kDle) {
                pendingDle_ = true;
                return Result::kNone;
            }
            break;
        case 5:
            state_ = byte == kDle ? 6 : 0;
            return Result::kNone;
        default:
            state_ = 0;
            return byte == kEtx ? Result::kPacketComplete : Result::kNone;
    }
    sum_ = static_cast<std::uint8_t>(sum_ + byte);
    if (state_ == 2) {
        packet_.size = byte;
        index_ = 0;
        state_ = byte == 0 ? 4 : 3;
    } else if (state_ == 3) {
        packet_.data[index_++] = byte;
        if (index_ >= packet_.size)
            state_ = 4;
    } else {
        state_ = sum_ == 0 ? 5 : 0;
    }
    return Result::kNone;
}

std::vector<std::uint8_t> UsbPacketBytes(std::uint8_t type, const GarminPacket& packet) {
    const std::size_t size = std::min<std::size_t>(packet.size, GarminPacket::kMaxData);
    std::vector<std::uint8_t> bytes(kUsbHeaderSize + size, 0);
    bytes[0] = type;
    bytes[4] = static_cast<std::uint8_t>(packet.id & 0xFF);
    bytes[5] = static_cast<std::uint8_t>((packet.id >> 8) & 0xFF);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[8 + i] = static_cast<std::uint8_t>((size >> (8 * i)) & 0xFF);
    std::copy_n(packet.data.begin(), size,
                bytes.begin() + static_cast<std::ptrdiff_t>(kUsbHeaderSize));
    return bytes;
}

bool ParseUsbPacket(std::span<const std::uint8_t> bytes, std::uint8_t& type, GarminPacket& out) {
    if (bytes.size() < kUsbHeaderSize)
        return false;
    out.Clear();
    type = bytes[0];
    out.id = static_cast<std::uint32_t>(bytes[4] | (bytes[5] << 8));
    std::uint32_t size = 0;
    for (std::size_t i = 0; i < 4; ++i)
        size |= static_cast<std::uint32_t>(bytes[8 + i]) << (8 * i);
    // The data that came, at most what the header announces and what the packet holds.
    const std::size_t present = std::min<std::size_t>(
        {static_cast<std::size_t>(size), bytes.size() - kUsbHeaderSize, GarminPacket::kMaxData});
    out.size = static_cast<std::uint32_t>(present);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(kUsbHeaderSize), present,
                out.data.begin());
    return true;
}

bool SplitCapabilityArray(const GarminPacket& packet, std::vector<CapabilityEntry>& entries) {
    entries.clear();
    if (packet.size % 3 != 0 || packet.size > GarminPacket::kMaxData)
        return false;
    for (std::size_t i = 0; i + 3 <= packet.size; i += 3) {
        entries.push_back(
            {static_cast<char>(packet.data[i]),
             static_cast<std::uint16_t>(packet.data[i + 1] | (packet.data[i + 2] << 8))});
    }
    return true;
}

namespace {

bool InRange(std::uint16_t n, std::uint16_t low, std::uint16_t high) {
    return n >= low && n <= high;
}

bool IsKnownWaypointType(std::uint16_t n) {
    return InRange(n, 100, 104) || InRange(n, 107, 110) || InRange(n, 150, 152) ||
           InRange(n, 154, 155);
}

}  // namespace

int ParseProtocolArray(std::span<const CapabilityEntry> entries, GarminCapabilities& caps) {
    // The application protocol the 'D' entries that follow belong to (0: none of interest).
    std::uint16_t current = 0;
    for (const CapabilityEntry& entry : entries) {
        const std::uint16_t n = entry.number;
        switch (entry.tag) {
            case 'P':
                caps.physical = n;
                current = 0;
                break;
            case 'L':
                caps.link = n;
                current = 0;
                break;
            case 'T':
                caps.transport = n;
                current = 0;
                break;
            case 'A':
                current = n;
                if (n == 10 || n == 11) {
                    caps.command = n;
                    current = 0;
                } else if (n == 100) {
                    caps.waypointProtocol = n;
                } else if (n == 200 || n == 201) {
                    caps.routeProtocol = n;
                } else if (n >= 300 && n <= 302) {
                    caps.trackProtocol = n;
                } else if (n == 400) {
                    caps.proximityProtocol = n;
                } else if (n == 500) {
                    caps.almanacProtocol = n;
                } else {
                    current = 0;
                }
                break;
            case 'D':
                if (current == 100) {
                    if (IsKnownWaypointType(n))
                        caps.waypointType = n;
                } else if (current == 200 || current == 201) {
                    if (IsKnownWaypointType(n))
                        caps.routeWaypointType = n;
                    else if (InRange(n, 200, 202))
                        caps.routeHeaderType = n;
                    else if (n == 210)
                        caps.routeLinkType = n;
                } else if (current >= 300 && current <= 302) {
                    if (InRange(n, 300, 304))
                        caps.trackPointType = n;
                    else if (InRange(n, 310, 312))
                        caps.trackHeaderType = n;
                } else if (current == 400) {
                    if (n == 400 || n == 403 || n == 450)
                        caps.proximityType = n;
                } else if (current == 500) {
                    if (n == 500 || n == 501 || n == 550 || n == 551)
                        caps.almanacType = n;
                }
                break;
            default:
                return -1;
        }
    }
    return 0;
}

void EncodeCapabilityArray(std::span<const CapabilityEntry> entries, GarminPacket& packet) {
    packet.Clear();
    packet.id = kPidCapabilities;
    std::size_t at = 0;
    for (const CapabilityEntry& entry : entries) {
        if (at + 3 > GarminPacket::kMaxData)
            break;
        packet.data[at] = static_cast<std::uint8_t>(entry.tag);
        PutU16(packet, at + 1, entry.number);
        at += 3;
    }
    packet.size = static_cast<std::uint32_t>(at);
}

namespace {

struct ProductRow {
    std::uint16_t id;
    std::uint16_t lowest;
    std::uint16_t highest;
    std::uint16_t waypointType;
    std::uint16_t routeHeaderType;
    bool track;                   // A300 with D300
    std::uint16_t proximityType;  // 0: no proximity protocol; else A400 with this type
    std::uint16_t almanacType;
};

constexpr std::uint16_t kAny = 65535;

// The units that answer the product request but send no capability array; the first row whose
// ID matches and whose version range holds the unit's version is used.
constexpr ProductRow kProductTable[] = {
    {7, 0, kAny, 100, 200, false, 0, 500},    {13, 0, kAny, 100, 200, true, 400, 500},
    {14, 0, kAny, 100, 200, false, 400, 500}, {15, 0, kAny, 151, 200, false, 151, 500},
    {18, 0, kAny, 100, 200, true, 400, 500},  {22, 0, kAny, 152, 200, true, 152, 500},
    {23, 0, kAny, 100, 200, true, 400, 500},  {24, 0, kAny, 100, 200, true, 400, 500},
    {25, 0, kAny, 100, 200, true, 400, 500},  {29, 400, kAny, 102, 201, true, 102, 500},
    {29, 0, 399, 101, 201, true, 101, 500},   {31, 0, kAny, 100, 201, true, 0, 500},
    {35, 0, kAny, 100, 200, true, 400, 500},  {36, 300, kAny, 152, 200, true, 0, 500},
    {36, 0, 299, 152, 200, true, 152, 500},   {39, 0, kAny, 151, 201, true, 0, 500},
    {41, 0, kAny, 100, 201, true, 0, 500},    {42, 0, kAny, 100, 200, true, 400, 500},
    {44, 0, kAny, 101, 201, true, 101, 500},  {45, 0, kAny, 152, 201, true, 0, 500},
    {47, 0, kAny, 100, 201, true, 0, 500},    {48, 0, kAny, 154, 201, true, 0, 501},
    {49, 0, kAny, 102, 201, true, 102, 501},  {50, 0, kAny, 152, 201, true, 0, 501},
    {53, 0, kAny, 152, 201, true, 0, 501},    {55, 0, kAny, 100, 201, true, 0, 500},
    {56, 0, kAny, 100, 201, true, 0, 500},    {59, 0, kAny, 100, 201, true, 0, 500},
    {61, 0, kAny, 100, 201, true, 0, 500},    {62, 0, kAny, 100, 201, true, 0, 500},
    {71, 0, kAny, 155, 201, true, 0, 501},    {72, 0, kAny, 104, 201, true, 0, 501},
    {73, 0, kAny, 103, 201, true, 0, 501},    {74, 0, kAny, 100, 201, true, 0, 500},
    {76, 0, kAny, 102, 201, true, 102, 501},  {77, 361, kAny, 103, 201, true, 403, 501},
    {77, 350, 360, 103, 201, true, 0, 501},   {77, 301, 349, 103, 201, true, 403, 501},
    {77, 0, 300, 100, 201, true, 400, 501},   {87, 0, kAny, 103, 201, true, 403, 501},
    {88, 0, kAny, 102, 201, true, 102, 501},  {95, 0, kAny, 103, 201, true, 403, 501},
    {96, 0, kAny, 103, 201, true, 403, 501},  {97, 0, kAny, 103, 201, true, 0, 501},
    {100, 0, kAny, 103, 201, true, 403, 501}, {105, 0, kAny, 103, 201, true, 403, 501},
    {106, 0, kAny, 103, 201, true, 403, 501}, {112, 0, kAny, 152, 201, true, 0, 501},
};
static_assert(std::size(kProductTable) == 48);

}  // namespace

bool LookUpProduct(std::uint16_t productId, std::uint16_t version, GarminCapabilities& caps) {
    for (const ProductRow& row : kProductTable) {
        if (row.id != productId || version < row.lowest || version > row.highest)
            continue;
        caps = GarminCapabilities{};
        caps.productId = row.id;
        caps.lowestVersion = row.lowest;
        caps.highestVersion = row.highest;
        caps.link = 1;
        caps.command = 10;
        caps.waypointProtocol = 100;
        caps.waypointType = row.waypointType;
        caps.routeProtocol = 200;
        caps.routeHeaderType = row.routeHeaderType;
        caps.routeWaypointType = row.waypointType;
        if (row.track) {
            caps.trackProtocol = 300;
            caps.trackPointType = 300;
        }
        if (row.proximityType != 0) {
            caps.proximityProtocol = 400;
            caps.proximityType = row.proximityType;
        }
        caps.almanacProtocol = 500;
        caps.almanacType = row.almanacType;
        return true;
    }
    return false;
}

std::string CheckCapabilities(const GarminCapabilities& caps) {
    if (caps.link != 1)
        return "E180 Unsupported link protocol";
    if (caps.command != 10)
        return "E181 Unsupported device command protocol";
    if (caps.waypointProtocol == 100 && !IsKnownWaypointType(caps.waypointType))
        return "E183 Unsupported waypoint data type";
    if (caps.waypointProtocol != 0 && caps.waypointProtocol != 100)
        return "E182 Unsupported waypoint transfer protocol";
    if (caps.trackProtocol == 0)
        return "";
    if (caps.trackProtocol >= 300 && caps.trackProtocol <= 302 &&
        InRange(caps.trackPointType, 300, 304))
        return "";
    return "E185 Unsupported track log data type";
}

bool DecodeProductData(const GarminPacket& packet, ProductData& out) {
    if (packet.id != kPidProductData || packet.size < 5 || packet.size > GarminPacket::kMaxData)
        return false;
    out.productId = GetU16(packet, 0);
    out.version = static_cast<std::int16_t>(GetU16(packet, 2));
    out.description.clear();
    for (std::size_t i = 4; i < packet.size && packet.data[i] != 0 && out.description.size() < 80;
         ++i)
        out.description += static_cast<char>(packet.data[i]);
    return true;
}

void EncodeProductData(const ProductData& product, GarminPacket& packet) {
    packet.Clear();
    packet.id = kPidProductData;
    PutU16(packet, 0, product.productId);
    PutU16(packet, 2, static_cast<std::uint16_t>(product.version));
    const std::size_t length = std::min<std::size_t>(product.description.size(), 250);
    std::copy_n(product.description.begin(), length, packet.data.begin() + 4);
    packet.size = static_cast<std::uint32_t>(4 + length + 1);
}

void MakeWordPacket(std::uint32_t id, std::uint16_t value, GarminPacket& packet) {
    packet.Clear();
    packet.id = id;
    packet.size = 2;
    PutU16(packet, 0, value);
}

}  // namespace tracora::protocols::garmin
