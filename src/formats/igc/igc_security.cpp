#include "formats/igc/igc_security.hpp"

#include <cstddef>

#include "formats/common/crc32.hpp"

namespace tracora::igc {
namespace {

constexpr std::string_view kPermutationHex =
    "3E03261614182D0711222A1D05383600130D0F1F0C25321E122C0A170835200233300E153D3C1B373A3109102F39"
    "042B292321060B241C1934283B3F271A2E01";

constexpr int HexValue(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

constexpr std::array<std::uint8_t, 64> MakePermutation() {
    std::array<std::uint8_t, 64> table{};
    for (std::size_t i = 0; i < 64; ++i) {
        table[i] = static_cast<std::uint8_t>(HexValue(kPermutationHex[2 * i]) * 16 +
                                             HexValue(kPermutationHex[2 * i + 1]));
    }
    return table;
}

// Bit i x 8 + j of the output is bit P[i x 8 + j] of the input.
constexpr std::array<std::uint8_t, 64> kPermutation = MakePermutation();

constexpr bool IsPermutation() {
    std::array<bool, 64> seen{};
    for (const std::uint8_t index : kPermutation) {
        if (index >= 64 || seen[index]) {
            return false;
        }
        seen[index] = true;
    }
    return true;
}
static_assert(kPermutationHex.size() == 128 && IsPermutation());

}  // namespace

void SecurityChecksum::Update(std::string_view bytes) {
    register_ = formats::Crc32Update(register_, bytes);
}

void SecurityChecksum::UpdateByte(std::uint8_t byte) {
    register_ = formats::Crc32UpdateByte(register_, byte);
}

std::array<char, 16> SecurityRecordDigits(std::uint32_t checksumRegister) {
    const std::uint32_t c1 = formats::Crc32UpdateByte(checksumRegister, kSecuritySalt);
    std::uint32_t c2 = formats::kCrc32Start;
    for (int shift = 24; shift >= 0; shift -= 8) {
        c2 = formats::Crc32UpdateByte(c2, static_cast<std::uint8_t>((c1 >> shift) & 0xFFu));
    }
    for (int i = 0; i < 4; ++i) {
        c2 = formats::Crc32UpdateByte(c2, kSecuritySalt);
    }
    std::array<std::uint8_t, 8> in{};
    for (std::size_t i = 0; i < 4; ++i) {
        in[i] = static_cast<std::uint8_t>((c1 >> (8 * i)) & 0xFFu);
        in[4 + i] = static_cast<std::uint8_t>((c2 >> (8 * i)) & 0xFFu);
    }
    std::array<std::uint8_t, 8> out{};
    for (std::size_t i = 0; i < 8; ++i) {
        unsigned value = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            const std::uint8_t t = kPermutation[8 * i + j];
            const unsigned bit = (static_cast<unsigned>(in[t / 8u]) >> (t % 8u)) & 1u;
            value |= bit << j;
        }
        out[i] = static_cast<std::uint8_t>(value);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::array<char, 16> digits{};
    for (std::size_t k = 0; k < 8; ++k) {
        const std::uint8_t byte = out[7 - k];
        digits[2 * k] = kHex[byte >> 4];
        digits[2 * k + 1] = kHex[byte & 0xFu];
    }
    return digits;
}

bool IsSignedLine(std::string_view line) {
    if (line.empty()) {
        return false;
    }
    switch (line[0]) {
        case 'A':
        case 'B':
        case 'I':
            return true;
        case 'H':
            return line.size() > 1 && line[1] == 'F';
        case 'L':
            return line.size() > 1 && line[1] == 'X';
        default:
            return false;
    }
}

int VerifyIgcSecurity(std::string_view text) {
    SecurityChecksum checksum;
    std::size_t position = 0;
    const std::size_t size = text.size();
    while (true) {
        if (position == size) {
            return kSecurityNoRecord;
        }
        const char letter = text[position];
        const char second = position + 1 < size ? text[position + 1] : '\0';
        bool feed = false;
        switch (letter) {
            case 'A':
            case 'B':
            case 'I':
                feed = true;
                break;
            case 'H':
                feed = second == 'F';
                break;
            case 'L':
                feed = second == 'X';
                break;
            case 'G':
                break;
            default:
                // Another record letter, an empty line, a stray CR or a NUL.
                return kSecurityFailed;
        }
        if (letter == 'G') {
            break;
        }
        if (feed) {
            const std::size_t lf = text.find('\n', position);
            if (lf == std::string_view::npos) {
                return kSecurityFailed;  // the text ends inside a signed line
            }
            const std::string_view line = text.substr(position, lf + 1 - position);
            if (line.find('\0') != std::string_view::npos) {
                return kSecurityFailed;
            }
            checksum.Update(line);
            position = lf + 1;
        } else {
            while (position < size && text[position] != '\r' && text[position] != '\n') {
                if (text[position] == '\0') {
                    return kSecurityFailed;
                }
                ++position;
            }
            while (position < size && (text[position] == '\r' || text[position] == '\n')) {
                ++position;
            }
        }
    }
    const std::array<char, 16> expected = SecurityRecordDigits(checksum.Register());
    const std::string_view found = text.substr(position + 1);
    if (found.size() < expected.size() ||
        found.substr(0, expected.size()) != std::string_view(expected.data(), expected.size())) {
        return kSecurityFailed;
    }
    for (const char c : found.substr(expected.size())) {
        if (c != '\r' && c != '\n') {
            return kSecurityFailed;
        }
    }
    return kSecurityPassed;
}

}  // namespace tracora::igc
