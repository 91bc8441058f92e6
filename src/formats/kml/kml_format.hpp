// The KML format's record: the trip document of an analysed flight, or the waypoint file;
// read back (the first track of a document, the waypoints of its "Waypoints" folders).
#pragma once

#include "formats/format_record.hpp"

namespace tracora::kml {

extern const formats::FormatRecord kKmlFormat;

}  // namespace tracora::kml
