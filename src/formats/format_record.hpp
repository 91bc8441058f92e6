// The record each file format exports: what the dialogs and the command line call it, the file
// name extensions, what its files hold, which directions work, and its pure reader and writer.
// Readers take text in memory and return what they found; writers append a whole document to a
// text buffer. Neither touches files, asks questions or runs an analysis: saving, messages and
// the flight's analysis belong to the documents library above.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/airspace.hpp"
#include "core/time_base.hpp"
#include "core/track_log.hpp"
#include "formats/common/text_buffer.hpp"

namespace tracora::kml {
struct TripAnalysis;
}

namespace tracora::formats {

// What a format's files hold.
struct FormatHolds {
    bool track = false;
    bool waypoints = false;
    bool airspace = false;
};

// Which ways a format works: read (a file into the program) and write (the program's data into
// a file). Each set direction has its function in the record, each unset one has none.
struct FormatDirections {
    bool read = false;
    bool write = false;
};

// What a reader found.
struct ReadResult {
    int status = 0;       // the number of records read (> 0), or -1 with `message` set
    std::string message;  // one line, why nothing was read
    std::vector<TrackPoint> track;
    std::vector<Waypoint> waypoints;
    std::vector<CtrArea> airspaces;
    bool timesAreUtc = false;
    bool pressureAltitudePresent = false;
};

// The optional columns of a CSV track file, in the order they are written (the settings
// switch them on), and how many positions back the bearing, the speed and the vario look: 1
// takes the step from the position before, N the last N steps together (the first positions
// look back to the first one).
struct CsvColumns {
    bool absTime = false;
    bool relTime = false;
    bool relDist = false;
    bool accDist = false;
    bool bearing = false;
    bool bearing400 = false;  // the bearing in 400 units to the circle in place of 360
    bool speed = false;
    bool vario = false;
    int bearingSpan = 1;
    int speedSpan = 1;
    int varioSpan = 1;
};

// What a writer writes, and what is known about it.
struct WriteInput {
    std::span<const TrackPoint> track;
    std::span<const Waypoint> waypoints;
    std::span<const CtrArea> airspaces;
    bool timesAreUtc = false;
    bool pressureAltitudePresent = false;
    // Straight from an instrument: the formats that mark such logs (a security record, a
    // keyed hash) do so.
    bool fromInstrument = false;
    std::optional<std::string_view> instrument;  // the instrument's description
    CalendarTime downloadTime;                   // when the log left the instrument
    // The analysed flight, for the formats whose documents carry the analysis (the record's
    // `writesAnalysis`); the writer may renumber its points' times.
    kml::TripAnalysis* trip = nullptr;
    // The columns a CSV track file adds to its fixed ones.
    CsvColumns csvColumns;
};

// Reader: the text of a whole file.
using FormatReader = ReadResult (*)(std::string_view text);
// Writer: the document appended to `out`. Returns 0, or -1 with `message` set (nothing
// appended).
using FormatWriter = int (*)(const WriteInput& input, TextBuffer& out, std::string& message);

struct FormatRecord {
    std::string_view id;                           // short, lower case: "igc", "kml"
    std::string_view name;                         // as the file dialogs show it
    std::span<const std::string_view> extensions;  // without dot, lower case; the first is used
                                                   // for new files
    FormatHolds holds;
    FormatDirections directions;
    FormatReader read = nullptr;
    FormatWriter write = nullptr;
    bool writesAnalysis = false;  // the writer needs `WriteInput::trip`

    std::string_view DefaultExtension() const {
        return extensions.empty() ? std::string_view() : extensions.front();
    }
};

}  // namespace tracora::formats
