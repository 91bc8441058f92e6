// The product-data exchange that opens every conversation of the NMEA-style families: send the
// request, wait up to 2 s for the answer sentence, and try again until the job's time is used.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "device/gps_job.hpp"

namespace tracora::protocols {

struct ProductDataRequest {
    std::string_view request;     // the bytes to send, flow-control byte and CR LF included
    std::string_view identifier;  // field 0 of a valid answer, e.g. "$PBRSNP"
    std::size_t fieldCount = 0;   // fields a valid answer has at least (the identifier counted)
    std::size_t maxLineChars = 79;
};

inline constexpr int kProductAttemptMs = 2000;

// Discards what the instrument still sends of an earlier conversation (until the line is
// quiet, within the job's time), then sends the request and collects the answer; the port
// must be open. The job's time is its
// open-attempt count in seconds (the command line's TIMEOUT, else 30), 2 s per attempt. A
// sentence with a bad checksum, too few fields or another identifier counts as no answer: the
// rest of the attempt's 2 s is waited out. 0 with the answer's first `fieldCount` fields, or -1
// after the job has reported why.
int ExchangeProductData(device::GpsAccessJob& job, const ProductDataRequest& request,
                        std::vector<std::string>& fields);

// The first `maxChars` characters of a field with their spaces normalised: leading ones removed,
// runs reduced to one, a trailing one removed.
std::string NormaliseSpaces(std::string_view text, std::size_t maxChars);

}  // namespace tracora::protocols
