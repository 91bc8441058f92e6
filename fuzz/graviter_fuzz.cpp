// What a Graviter instrument (or line noise) can send: the product answer, a page answer, and
// page 0 with the record pages of a memory image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "protocols/graviter/graviter_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::graviter;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    GraviterProduct product;
    DecodeProduct(text, product);
    Page page{};
    DecodePageAnswer(text, 0, page);
    ParsePageRequest(text);

    // The bytes as a memory image: the first page the header, the rest the records.
    Page header{};
    std::copy_n(data, std::min(size, kPageSize), header.begin());
    ImageHeader decoded;
    if (DecodeHeader(header, decoded) == 0 && size > kPageSize) {
        DecodeRecords(decoded, std::span(data + kPageSize, size - kPageSize));
    }
    return 0;
}
