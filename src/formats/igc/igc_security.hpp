// The program's own IGC security record: a CRC-32 register over the covered lines, a salt, a
// second register and a bit permutation, printed as one G-record line of sixteen hexadecimal
// digits. The writer produces it; VerifyIgcSecurity recomputes it over a file.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tracora::igc {

// The running register over the covered lines (no final inversion).
class SecurityChecksum {
public:
    void Update(std::string_view bytes);
    void UpdateByte(std::uint8_t byte);
    std::uint32_t Register() const { return register_; }

private:
    std::uint32_t register_ = 0xFFFFFFFFu;
};

// The fixed salt byte shared by the writer and the verification.
inline constexpr std::uint8_t kSecuritySalt = '7';

// The sixteen upper-case hexadecimal digits of the G-record for a register.
std::array<char, 16> SecurityRecordDigits(std::uint32_t checksumRegister);

// Whether a line (from its record letter) belongs to the signed text: A, I and B records and
// the lines that begin with "HF" or "LX".
bool IsSignedLine(std::string_view line);

// Results of VerifyIgcSecurity.
inline constexpr int kSecurityPassed = 0;
inline constexpr int kSecurityNoRecord = 1;
inline constexpr int kSecurityFailed = -1;

int VerifyIgcSecurity(std::string_view text);

inline constexpr const char* kSecurityCheckTitle = "Security check";
inline constexpr const char* kSecurityPassedText = "Security check PASSED";
inline constexpr const char* kSecurityFailedText = "Security check FAILED";
inline constexpr const char* kNoSecurityRecordText = "No security record";

}  // namespace tracora::igc
