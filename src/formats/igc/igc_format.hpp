// The IGC format's record: track logs, read and written.
#pragma once

#include "formats/format_record.hpp"

namespace tracora::igc {

extern const formats::FormatRecord kIgcFormat;

}  // namespace tracora::igc
