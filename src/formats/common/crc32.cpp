#include "formats/common/crc32.hpp"

#include <array>

namespace tracora::formats {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1u) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table[i] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

std::uint32_t Crc32UpdateByte(std::uint32_t crc, std::uint8_t byte) {
    return kTable[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
}

std::uint32_t Crc32Update(std::uint32_t crc, std::string_view bytes) {
    for (const char c : bytes) {
        crc = kTable[(crc ^ static_cast<std::uint8_t>(c)) & 0xFFu] ^ (crc >> 8);
    }
    return crc;
}

}  // namespace tracora::formats
