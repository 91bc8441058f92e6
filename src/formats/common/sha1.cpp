#include "formats/common/sha1.hpp"

#include <algorithm>
#include <cstring>

namespace tracora::formats {
namespace {

constexpr std::uint32_t Rotl(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

}  // namespace

Sha1::Sha1() : state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::Block(const std::uint8_t* block) {
    std::array<std::uint32_t, 80> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = (static_cast<std::uint32_t>(block[4 * i]) << 24) |
               (static_cast<std::uint32_t>(block[4 * i + 1]) << 16) |
               (static_cast<std::uint32_t>(block[4 * i + 2]) << 8) |
               static_cast<std::uint32_t>(block[4 * i + 3]);
    }
    for (std::size_t i = 16; i < 80; ++i) {
        w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t temp = Rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = temp;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(std::string_view bytes) {
    totalBytes_ += bytes.size();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t size = bytes.size();
    while (size > 0) {
        if (buffered_ == 0 && size >= 64) {
            Block(data);
            data += 64;
            size -= 64;
            continue;
        }
        const std::size_t take = std::min(size, 64 - buffered_);
        std::memcpy(buffer_.data() + buffered_, data, take);
        buffered_ += take;
        data += take;
        size -= take;
        if (buffered_ == 64) {
            Block(buffer_.data());
            buffered_ = 0;
        }
    }
}

Sha1::Digest Sha1::Finish() {
    const std::uint64_t bits = totalBytes_ * 8;
    const char one = static_cast<char>(0x80);
    Update(std::string_view(&one, 1));
    const char zero = 0;
    while (buffered_ != 56) {
        Update(std::string_view(&zero, 1));
    }
    std::array<char, 8> length{};
    for (std::size_t i = 0; i < 8; ++i) {
        length[i] = static_cast<char>((bits >> (56 - 8 * i)) & 0xFFu);
    }
    Update(std::string_view(length.data(), length.size()));
    Digest digest{};
    for (std::size_t i = 0; i < 20; ++i) {
        digest[i] = static_cast<std::uint8_t>((state_[i / 4] >> (24 - 8 * (i % 4))) & 0xFFu);
    }
    return digest;
}

Sha1::Digest Sha1Of(std::string_view bytes) {
    Sha1 sha;
    sha.Update(bytes);
    return sha.Finish();
}

std::string Sha1Hex(const Sha1::Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(40);
    for (const std::uint8_t byte : digest) {
        out += kHex[byte >> 4];
        out += kHex[byte & 0xFu];
    }
    return out;
}

}  // namespace tracora::formats
