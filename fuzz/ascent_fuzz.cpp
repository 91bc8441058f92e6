// What an Ascent logger (or line noise) can send: the bytes as a product reply, through the
// block readers and their numbering as the session feeds them, and as one flight's log data.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocols/ascent/ascent_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::ascent;
    const std::span<const std::uint8_t> bytes(data, size);
    AscentProduct product;
    if (DecodeProduct(bytes, product)) {
        DeviceLine(product);
    }
    BlockReader list(kTrackListId, kEntrySize);
    BlockReader log(kTrackLogId, kLogDataSize);
    BlockSequence listSequence;
    BlockSequence logSequence;
    for (const std::uint8_t b : bytes) {
        if (list.Feed(b) == BlockReader::Event::kBlock) {
            listSequence.Next(list.Number());
            DecodeEntry(list.Body());
        }
        if (log.Feed(b) == BlockReader::Event::kBlock) {
            logSequence.Next(log.Number());
        }
    }
    std::vector<tracora::TrackPoint> points;
    DecodeFlightLog(bytes, size >= 3 ? static_cast<std::uint16_t>(data[1] << 8 | data[2]) : 0,
                    points);
    return 0;
}
