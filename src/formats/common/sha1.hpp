// SHA-1 (FIPS 180-4), for the keyed hashes of documents. Not for security against an attacker.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tracora::formats {

class Sha1 {
public:
    using Digest = std::array<std::uint8_t, 20>;

    Sha1();
    void Update(std::string_view bytes);
    // The digest of everything updated so far; the object must not be updated afterwards.
    Digest Finish();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 5> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

Sha1::Digest Sha1Of(std::string_view bytes);
// Forty lower-case hexadecimal digits.
std::string Sha1Hex(const Sha1::Digest& digest);

}  // namespace tracora::formats
