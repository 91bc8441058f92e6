// What a Digifly Air or Leonardo Pro (or line noise) can send: the received bytes through the
// memory answer and flight list parsers, the records of each complete memory answer as track and
// waypoint records, the listed addresses through the page walk, and each line as a memory
// request as the emulator reads it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "protocols/digifly/digifly_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::digifly;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    MemoryAnswerParser answer;
    for (std::size_t i = 0; i < size; ++i) {
        if (answer.Feed(data[i]) != 1) {
            continue;
        }
        const std::span<const std::uint8_t> bytes = answer.Bytes();
        for (std::size_t at = 0; at + kTrackRecordSize <= bytes.size(); at += kTrackRecordSize) {
            ToTrackPoint(DecodeTrackRecord(bytes.subspan(at, kTrackRecordSize)));
        }
        for (std::size_t at = 0; at + kWaypointRecordSize <= bytes.size();
             at += kWaypointRecordSize) {
            DecodeWaypointRecord(bytes.subspan(at, kWaypointRecordSize), 0);
        }
    }
    FlightListParser list;
    for (std::size_t i = 0; i < size; ++i) {
        if (list.Feed(data[i]) != 0) {
            break;
        }
    }
    for (const FlightEntry& entry : list.Entries()) {
        TrackWalk walk(entry.startAddress, entry.endAddress);
        MemoryRead read;
        // Every walk ends: within the end page, or with an error after the last page.
        for (int reads = 0; walk.Next(read) == 1; ++reads) {
            if (read.length <= 0 || read.length > kMaxReadBytes || reads > 50'000) {
                __builtin_trap();
            }
            walk.Advance(read);
        }
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        ParseMemoryRequest(line);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return 0;
}
