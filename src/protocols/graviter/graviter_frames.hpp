// The Graviter wire format and memory image, without any I/O: the product answer, the page
// request and answer, the name command, and the memory image a track log is decoded from
// (NOTES.md describes them byte by byte).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"

namespace tracora::protocols::graviter {

inline constexpr int kBaud = 38400;
// The source kind of a Graviter track log.
inline constexpr int kSourceKind = 6;
inline constexpr std::size_t kPageSize = 256;
inline constexpr std::size_t kRecordSize = 16;
inline constexpr std::size_t kMaxFlights = 24;
// Pages 1 to kMaxPages - 1 hold records: at most (kMaxPages - 1) * 16 records.
inline constexpr std::size_t kMaxPages = 0x10000;
inline constexpr std::size_t kNameMax = 16;

inline constexpr std::string_view kProductRequest = "V";
inline constexpr std::string_view kMakerTag = "GRAVITER";

// The five words of the product answer.
struct GraviterProduct {
    std::string model;
    std::string serial;
    std::string firmware;
    std::string pilot;  // '_' stands for a blank
};

// "GRAVITER <model> <serial> <firmware> <pilot>" (without CR LF). 0, or -1 when the line has
// not five words or the first is not the maker's tag.
int DecodeProduct(std::string_view line, GraviterProduct& out);
std::string EncodeProduct(const GraviterProduct& product);

// "R" and the page number as four hex digits.
std::string PageRequest(std::uint16_t page);
// The number of a page request, or nothing when `text` is not one.
std::optional<std::uint16_t> ParsePageRequest(std::string_view text);

using Page = std::array<std::uint8_t, kPageSize>;

// "P", the page number (4 hex digits), the page (512 hex digits) and the XOR of its bytes
// (2 hex digits), without CR LF.
std::string EncodePageAnswer(std::uint16_t page, const Page& bytes);

enum class PageStatus { kOk, kNoSuchPage, kBadFormat, kWrongPage, kBadChecksum };
// Decodes an answer line to the request of `page`.
PageStatus DecodePageAnswer(std::string_view line, std::uint16_t page, Page& bytes);

// The answer of a page beyond the memory, and of a name that could not be stored.
inline constexpr std::string_view kNoSuchPage = "E01";
inline constexpr std::string_view kNameRefused = "E02";
inline constexpr std::string_view kNameStored = "OK";

// "N", the name (at most 16 printable ASCII characters), CR. Empty when the name cannot be
// sent (too long or not printable ASCII).
std::string NameCommand(std::string_view name);

// The header in page 0 of the memory image.
struct ImageHeader {
    std::uint32_t recordCount = 0;
    bool hasPressureAltitude = false;
    std::vector<std::uint32_t> flightStarts;  // record index of each flight's first record
};

// 0, or -1 when page 0 is not a Graviter image (magic, record size, flight table).
int DecodeHeader(const Page& page0, ImageHeader& out);

// Pages 1.. needed for `recordCount` records.
std::size_t RecordPages(std::uint32_t recordCount);

// The points of the records in `records` (the bytes of pages 1.., at least recordCount * 16),
// the first point of each flight starting a segment.
std::vector<TrackPoint> DecodeRecords(const ImageHeader& header,
                                      std::span<const std::uint8_t> records);

// The memory image of these flights (each a list of points), as the instrument stores it:
// page 0 and the record pages. Empty when there are more than 24 flights or too many points.
std::vector<std::uint8_t> EncodeImage(const std::vector<std::vector<TrackPoint>>& flights,
                                      bool hasPressureAltitude);

}  // namespace tracora::protocols::graviter
