// What an MTK logger (or line noise) can send: the bytes as one answer sentence, and as a log
// memory decoded up to every used size a logger could report.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "protocols/mtk/mtk_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::mtk;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    DecodeAnswer(text);

    // The first two bytes choose the used size; the rest is the memory.
    if (size < 2)
        return 0;
    const std::size_t used = static_cast<std::size_t>(data[0] | data[1] << 8) * 16;
    const std::span<const std::uint8_t> memory(data + 2, size - 2);
    ParseLog(memory, used);
    ParseLog(memory, memory.size());
    return 0;
}
