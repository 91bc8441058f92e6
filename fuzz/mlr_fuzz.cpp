// What an MLR-style receiver or a logger (or line noise) can send: the received bytes through
// the block frame decoder in every shape the families use, the records of each complete frame,
// the product answer parser, and each line through the "$GPWPL" parser.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocols/common/block_frame.hpp"
#include "protocols/common/pmlr.hpp"
#include "protocols/mlr/mlr_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const FrameShape shapes[] = {mlr::kTrackShape, mlr::kWaypointShape,
                                 FrameShape{'T', 0x01, kTrackRecordSize, 16, true}};
    for (const FrameShape& shape : shapes) {
        FrameDecoder decoder(shape);
        for (std::size_t i = 0; i < size; ++i) {
            if (decoder.Feed(data[i]) != FrameEvent::kFrame) {
                continue;
            }
            const auto records = decoder.Records();
            for (std::size_t at = 0; at + shape.recordSize <= records.size();
                 at += shape.recordSize) {
                if (shape.recordSize == mlr::kWaypointRecordSize) {
                    mlr::DecodeWaypointRecord(records.subspan(at, shape.recordSize), 0);
                } else {
                    mlr::ToTrackPoint(DecodeTrackRecord(records.subspan(at)), mlr::kEpochOffset,
                                      at == 0);
                }
            }
        }
    }
    PmlrProductParser product(5, 40);
    for (std::size_t i = 0; i < size; ++i) {
        if (product.Feed(data[i])) {
            mlr::StatusLine(mlr::DecodeProduct(product.Fields()));
        }
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        mlr::ParseGpwpl(line, 0);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return 0;
}
