// The name a waypoint upload sends, in the three modes the menus and the command line offer,
// made safe for a comma-separated sentence.
#pragma once

#include <string>
#include <string_view>

#include "core/track_log.hpp"

namespace tracora::protocols {

// The job parameter of a waypoint upload.
enum class UploadNameMode : int {
    kOnlyName = 0,  // the description, or the ID when the description is empty
    kOnlyId = 1,    // the ID
    kIdAndName = 2  // the ID, a blank and the description
};

// The name text of `waypoint` in `mode` (an unknown mode counts as kOnlyName).
std::string UploadName(const Waypoint& waypoint, int mode);

// `text` with every ',' '*' '$' CR and LF replaced by a blank: inside a sentence they would
// shift the instrument's fields or end the sentence early.
std::string BlankSentenceDelimiters(std::string_view text);

// `text` cut to at most `length` bytes (never inside a UTF-8 sequence) and padded with blanks
// to exactly `length`.
std::string FixedWidthName(std::string_view text, std::size_t length);

}  // namespace tracora::protocols
