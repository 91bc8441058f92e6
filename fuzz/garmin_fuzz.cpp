// What a Garmin unit (or line noise) can send: serial frames, USB packets, product data, a
// capability array, and waypoint and track point records of every type.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocols/garmin/garmin_frames.hpp"
#include "protocols/garmin/garmin_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::garmin;
    const std::span<const std::uint8_t> bytes(data, size);

    // The bytes as a serial stream: every packet it completes goes through every decoder.
    FrameReceiver receiver;
    std::vector<GarminPacket> packets;
    for (std::uint8_t byte : bytes) {
        if (receiver.Feed(byte) == FrameReceiver::Result::kPacketComplete)
            packets.push_back(receiver.Packet());
    }
    // And as one USB transfer.
    std::uint8_t type = 0;
    GarminPacket usb;
    if (ParseUsbPacket(bytes, type, usb))
        packets.push_back(usb);

    for (GarminPacket packet : packets) {
        ProductData product;
        DecodeProductData(packet, product);
        std::vector<CapabilityEntry> entries;
        if (SplitCapabilityArray(packet, entries)) {
            GarminCapabilities caps;
            if (ParseProtocolArray(entries, caps) == 0)
                CheckCapabilities(caps);
        }
        for (std::uint16_t t = 100; t <= 155; ++t) {
            tracora::Waypoint waypoint;
            packet.id = kPidWaypoint;
            DecodeWaypoint(packet, t, waypoint);
        }
        for (std::uint16_t t = 300; t <= 304; ++t) {
            tracora::TrackPoint point;
            DecodeTrackPoint(packet, t, point);
        }
    }
    return 0;
}
