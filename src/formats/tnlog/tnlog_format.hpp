// The Top Navigator log file as a readable track format.
#pragma once

#include "formats/format_record.hpp"

namespace tracora::tnlog {

extern const formats::FormatRecord kTnLogFormat;

}  // namespace tracora::tnlog
