// CRC-32 of IEEE 802.3 in its reflected table form (polynomial 0xEDB88320). The register is
// handed in and out unchanged by any final inversion: the IGC security record uses the raw
// register, and zlib's value is its complement.
#pragma once

#include <cstdint>
#include <string_view>

namespace tracora::formats {

inline constexpr std::uint32_t kCrc32Start = 0xFFFFFFFFu;

std::uint32_t Crc32Update(std::uint32_t crc, std::string_view bytes);
std::uint32_t Crc32UpdateByte(std::uint32_t crc, std::uint8_t byte);

}  // namespace tracora::formats
