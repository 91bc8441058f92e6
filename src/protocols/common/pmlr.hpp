// The "$PMLR" text conversation shared by the MLR-style receivers and the loggers that answer
// it: the four-digit sum checksum of its requests, the product answer "$PMLR,IDGPS,01,...", the
// product exchange, and the end of a binary transfer (the line speed back, the end sentence).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/gps_job.hpp"

namespace tracora::protocols {

// The arithmetic sum of every byte of `text`, modulo 65536.
std::uint16_t PmlrSum(std::string_view text);
// `body` (from '$' to the comma before the checksum) + its sum as four upper-case hex digits +
// CR LF.
std::string PmlrSentence(std::string_view body);

inline constexpr std::string_view kPmlrProductRequest = "$PMLR,26,01,01,0339\r\n";
inline constexpr std::string_view kPmlrEndSentence = "$PMLR,06,00,02A9\r\n";
inline constexpr std::string_view kPmlrProductPrefix = "$PMLR,IDGPS,01,";

// How an instrument's product answer is built and checked.
struct PmlrProductRules {
    std::size_t fieldCount = 5;
    // A field keeps at most this many characters; further ones are dropped, or (strictLength)
    // make the answer invalid.
    std::size_t maxFieldChars = 40;
    // Per field, when it differs from maxFieldChars (the first entries; 0 = maxFieldChars).
    std::size_t firstFieldsChars = 0;
    std::size_t firstFieldsCount = 0;
    bool strictLength = false;
    // Any byte may follow the CR (else it must be LF).
    bool anyByteAfterCr = false;
    // An answer whose last field is exactly this is taken without the checksum test (empty:
    // none); old firmware sends a wrong one.
    std::string_view uncheckedLastField = {};
    // The exchange sends the end sentence first and pauses this long after each end sentence
    // of an attempt (0: none first, no pause).
    int endPauseMs = 0;
};

// Collects the product answer: the prefix, then the fields (the last ended by '*', the others
// by ','), two hex digits of the XOR of the bytes after '$' up to '*' (either case), CR, then LF
// (or any byte). A CR or LF inside a field, a missing field, an over-long field (strict rules),
// a bad digit or a checksum mismatch restarts the match.
class PmlrProductParser {
public:
    explicit PmlrProductParser(const PmlrProductRules& rules) : rules_(rules) {}
    PmlrProductParser(std::size_t fieldCount, std::size_t maxFieldChars)
        : rules_{.fieldCount = fieldCount, .maxFieldChars = maxFieldChars} {}
    // True when `byte` completed a valid answer; Fields() holds its fields as received.
    bool Feed(std::uint8_t byte);
    const std::vector<std::string>& Fields() const { return fields_; }
    void Reset();

private:
    enum class State { kPrefix, kField, kDigit1, kDigit2, kCr, kLf };
    std::size_t FieldLimit() const;
    PmlrProductRules rules_;
    State state_ = State::kPrefix;
    std::size_t matched_ = 0;
    std::uint8_t xor_ = 0;
    int received_ = 0;
    std::vector<std::string> fields_;
};

// The product exchange at the line speed the port is open at: attempts of 2 s while the job's
// time lasts (TIMEOUT, else 30 s), "Requesting product info (%)". Every way out sends the end
// sentence (an answer, an attempt without one, an abort, a read error), so the instrument never
// stays in its transfer mode. 0 with the answer's fields, or -1 after the job reported why.
int PmlrProductExchange(device::GpsAccessJob& job, const PmlrProductRules& rules,
                        std::vector<std::string>& fields);

// The end of a binary transfer: the port back to `baud` (none when 0), `pauseMs` for the
// instrument to follow, then the end sentence. Runs after errors and aborts too.
void EndBinaryTransfer(device::GpsAccessJob& job, int baud, int pauseMs);

}  // namespace tracora::protocols
