// The OpenAir format's record: airspaces, read and written with their arcs.
#pragma once

#include "formats/format_record.hpp"

namespace tracora::openair {

extern const formats::FormatRecord kOpenAirFormat;

}  // namespace tracora::openair
