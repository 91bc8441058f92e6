// CSV track files: a header line naming the columns, then one line per point; fields separated
// by ',' or ';', times as year-month-dayThh:mm:ss with an optional zone.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "formats/format_record.hpp"

namespace tracora::csv {

inline constexpr const char* kCsvReadTitle = "Read CSV track log file";

struct CsvTrackRead {
    int status = 0;       // the number of points, 0 for none (no message), or -1 with `message`
    std::string message;  // under kCsvReadTitle
    std::vector<TrackPoint> points;
    bool hasPressureAltitude = false;  // the file has a pressure height column
};

// The columns are recognised by their names (upper case): time ("TIME" or "DATE"), latitude
// ("LATITUDE"), longitude ("LONGITUDE"), GPS height ("H-GPS", "ALTITUDE" or "HEIGHT"), pressure
// height ("H-BARO"); the first three are required. Every line is read, the last one also without
// a line end. Errors: "Could not determine items from header", "Error parsing line %d", "Error
// decoding time on line %d", "Error decoding latitude on line %d", "Latitude out of range on
// line %d" (and the same for the longitude), "Bad GPS height data on line %d", "Bad pressure
// height data on line %d".
CsvTrackRead ReadCsvTrack(std::string_view text);

// The file: "Date/time,Latitude,Longitude,H-GPS,H-Baro" and the optional `columns`. Distances
// in km on the ellipsoid, the bearing from the point before (degrees, or 400 units), the speed
// (km/h) and vario (m/s) over the step from the point before; the first point gives 0.
std::string CsvTrackDocument(std::span<const TrackPoint> points,
                             const formats::CsvColumns& columns);

extern const formats::FormatRecord kCsvFormat;

}  // namespace tracora::csv
