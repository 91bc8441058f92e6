// The KML format's record: the trip document of an analysed flight, or the waypoint file;
// written only.
#pragma once

#include "formats/format_record.hpp"

namespace tracora::kml {

extern const formats::FormatRecord kKmlFormat;

}  // namespace tracora::kml
