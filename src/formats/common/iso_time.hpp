// Times written as year-month-dayThh:mm:ss with an optional fraction and an optional zone
// ('Z' or a +/- offset), as the CSV and GPX files carry them.
#pragma once

#include <cstdint>
#include <string_view>

namespace tracora::formats {

// The whole of `text` as such a time, in seconds since the receiver epoch: digits for each
// part, '-' between the date's parts, 'T', ':' between the time's; then '.' and a fraction
// (rounded to the nearest second), then the end (local time), 'Z', or '+'/'-' with two digits
// of hours, optionally two of minutes and two of seconds, each pair optionally after ':'. The
// offset is taken off for '+' and added for '-'. False for anything else, an impossible date or
// a time outside the epoch's range.
bool ParseIsoTime(std::string_view text, std::uint32_t& time);

}  // namespace tracora::formats
