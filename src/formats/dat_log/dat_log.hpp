// The .dat position log: a binary file of big-endian 32-bit words, a 16-byte header (record
// count, UTM zone and band, whether records carry an altitude), records of time, easting,
// northing (and altitude), a sum word and an optional validation word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "formats/format_record.hpp"

namespace tracora::dat {

inline constexpr const char* kDatReadTitle = "Decoding track log file";

struct DatRead {
    int status = 0;       // the number of points (> 0), or -1 with `message`
    std::string message;  // under kDatReadTitle
    std::vector<TrackPoint> points;
};

// Checks in this order: "File header too small", "File size not a multiple of 4", "Zero track
// positions", "Bad DWORD number 4", "File size not consistent with track positions" (the size
// the count announces computed in 64 bits, so that no count can wrap to a small file's size),
// "Checksum verification failed", "Data validation failed".
DatRead ReadDatTrack(std::string_view bytes);

// Whether `bytes` are a position log rather than a text: a header whose byte 12 has bit 7 set
// and a size that fits the record count.
bool LooksLikePositionLog(std::string_view bytes);

// The reader of every .dat file of the registry: a position log's track, or else the waypoints
// of a waypoint file (WinPilot's .dat, read as every waypoint file is).
formats::ReadResult ReadDatFileOfRegistry(std::string_view bytes);

extern const formats::FormatRecord kDatFormat;

}  // namespace tracora::dat
