// What a Syride SYS'Nav (or a damaged USB transfer) can deliver: replies, flight entries, the
// compressed flight records for any announced duration, and waypoint slots.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocols/syride/syride_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::syride;
    const std::span<const std::uint8_t> bytes(data, size);
    ReplyComplete(bytes);
    if (size >= 20)
        DecodeFlightEntry(bytes.first(20));
    // The first two bytes announce a duration, the rest are the flight's memory.
    if (size >= 2) {
        const std::size_t positions = static_cast<std::size_t>(data[0] | (data[1] << 8));
        DecodeFlight(bytes.subspan(2), positions, 1000);
        DecodeFlight(bytes.subspan(2), (size - 2) / 14, 1000);
    }
    for (std::size_t at = 0; at + kSlotSize <= size; at += kSlotSize) {
        tracora::Waypoint waypoint;
        DecodeSlot(bytes.subspan(at, kSlotSize), 0, waypoint);
    }
    return 0;
}
