// What a Top Navigator or XC Trainer (or line noise) can send: MXP lines through the line
// assembler and both decoders, the block-structured log (as a download and as a file), the
// binary waypoint records and the waypoint lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/tnlog/tn_log.hpp"
#include "protocols/topnav/topnav_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::topnav;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const MxpModel model : {MxpModel::kXcTrainer, MxpModel::kTopNavigator}) {
        MxpDecoder decoder(model, 3600);
        LineAssembler assembler;
        for (std::size_t i = 0; i < size; ++i) {
            const LineAssembler::Result fed = assembler.Feed(data[i]);
            if (fed == LineAssembler::kTooLong)
                assembler.Reset();
            if (fed != LineAssembler::kComplete)
                continue;
            tracora::TrackPoint point;
            const int result = decoder.HeaderSeen() ? decoder.ParsePosition(assembler.Text(), point)
                                                    : decoder.ParseHeader(assembler.Text());
            if (result <= 0 && decoder.HeaderSeen() && result < 0)
                break;
        }
        decoder.Description();
    }

    for (const bool readsFormat : {false, true}) {
        tracora::tnlog::TnLogParser parser(readsFormat, -7200);
        tracora::tnlog::LineAssembler assembler;
        for (std::size_t i = 0; i < size; ++i) {
            const auto fed = assembler.Feed(data[i]);
            if (fed == tracora::tnlog::LineAssembler::kTooLong)
                assembler.Reset();
            if (fed == tracora::tnlog::LineAssembler::kComplete &&
                parser.ProcessLine(assembler.Text()) <= 0)
                break;
        }
    }
    tracora::tnlog::ReadTnLogFile(text, 0);

    WaypointRecord record{};
    for (std::size_t at = 0; at + record.size() <= size; at += record.size()) {
        std::copy_n(data + at, record.size(), record.begin());
        tracora::Waypoint waypoint;
        DecodeWaypointRecord(record, 0, waypoint);
    }
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            tracora::Waypoint waypoint;
            ParseTnWaypointLine(text.substr(begin, i - begin), 0, waypoint);
            begin = i + 1;
        }
    }
    return 0;
}
