// What a LogIt logger or a Tracklogger (or line noise) can send: the received bytes through
// the product answer parser, the point count parser, and the block decoder with the transfer
// state, restarting the state as the session does after an error.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocols/common/block_frame.hpp"
#include "protocols/common/pmlr.hpp"
#include "protocols/logit/logit_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols;
    PmlrProductParser product(logit::kProductRules);
    logit::PointCountParser count;
    FrameDecoder decoder(logit::kTrackShape);
    logit::TransferState state;
    std::vector<TrackRecord> records;
    for (std::size_t i = 0; i < size; ++i) {
        if (product.Feed(data[i])) {
            logit::DeviceLine(logit::DecodeProduct(product.Fields()));
        }
        count.Feed(data[i]);
        const FrameEvent event = decoder.Feed(data[i]);
        if (event == FrameEvent::kNone) {
            continue;
        }
        int code = logit::FrameErrorCode(event);
        if (event == FrameEvent::kFrame) {
            records.clear();
            code = state.Block(decoder.Number(), decoder.Type(), decoder.Records(), records);
            for (const TrackRecord& record : records) {
                logit::ToTrackPoint(record, false);
            }
        }
        if (code < 0) {
            if (state.Begun()) {
                state.ExpectRestart();
            } else {
                state = logit::TransferState();
            }
            decoder.Reset();
        }
    }
    return 0;
}
