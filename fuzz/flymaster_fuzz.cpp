// What a Flymaster instrument (or line noise) can send: the received bytes through the packet
// receiver and the track decoder as the session feeds them, and each line through the waypoint
// and upload-answer checks.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocols/flymaster/flymaster_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::flymaster;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    PacketReceiver receiver;
    TrackDecoder decoder;
    decoder.SetB1Nav(size > 0 && data[0] == 'B');
    for (std::size_t i = 0; i < size; ++i) {
        const PacketReceiver::Event event = receiver.Feed(data[i]);
        if (event == PacketReceiver::Event::kNone) {
            continue;
        }
        const std::uint8_t type =
            event == PacketReceiver::Event::kEnd ? kEndPacket : receiver.Type();
        // The session gives the track up on an error; the fuzzer goes on with a fresh one.
        if (event == PacketReceiver::Event::kBadChecksum ||
            decoder.Packet(type, receiver.Data()) != 0 || decoder.Ended()) {
            decoder = TrackDecoder();
        }
    }

    FlymasterWaypointFields fields;
    if (ParseWaypointAnswer(text, fields) == 0) {
        ToWaypoint(fields, 0);
    }
    CheckUploadAnswer(text, "1.14", "NAME            ");
    CheckUploadAnswer(text, "1.21", "NAME            ");
    StoredFlight flight;
    if (FlightFromIgc(text, flight)) {
        TrackPackets(flight);
    }
    return 0;
}
