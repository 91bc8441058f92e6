// IGC text: the reader, the security verification, and the writer over whatever was read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_security.hpp"
#include "formats/igc/igc_writer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tracora::igc::VerifyIgcSecurity(text);
    tracora::igc::IgcParseResult parsed;
    const int count = tracora::igc::ParseIgc(text, parsed);
    if (count <= 0) {
        if (!parsed.points.empty() || parsed.error.empty()) {
            std::abort();  // a failure always has its text and no points
        }
        return 0;
    }
    if (static_cast<std::size_t>(count) != parsed.points.size() ||
        parsed.manufacturer.size() != 3 || parsed.serial.size() != 3) {
        std::abort();
    }
    tracora::igc::IgcEncodeOptions options;
    options.gRecordEligible = true;
    options.wantSecurityRecord = true;
    options.wantEnl = (size & 1) != 0;
    std::string written;
    bool securityWritten = false;
    if (tracora::igc::EncodeIgc(parsed.points, {}, options, written, securityWritten) <= 0) {
        std::abort();
    }
    // What the writer signs always passes the verification.
    if (tracora::igc::VerifyIgcSecurity(written) != tracora::igc::kSecurityPassed) {
        std::abort();
    }
    // A conversion carries the source's header values and L records over; the result reads
    // back (or says why not).
    if (tracora::igc::EncodeConvertedIgc(text, parsed.points, written) <= 0) {
        std::abort();
    }
    tracora::igc::IgcParseResult again;
    if (tracora::igc::ParseIgc(written, again) <= 0 && again.error.empty()) {
        std::abort();
    }
    return 0;
}
