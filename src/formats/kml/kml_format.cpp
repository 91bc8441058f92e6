#include "formats/kml/kml_format.hpp"

#include <new>

#include "formats/kml/kml_reader.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::kml {
namespace {

constexpr std::string_view kExtensions[] = {"kml"};

// A track is written as the trip document of its analysed flight, waypoints as the waypoint
// file.
int WriteKml(const formats::WriteInput& input, formats::TextBuffer& out, std::string& message) {
    if (input.trip != nullptr) {
        return WriteTripDocument(out, *input.trip, input.instrument, message);
    }
    if (!input.track.empty()) {
        message = "The trip document needs the flight's analysis";
        return -1;
    }
    try {
        out.Append(KmlWaypointDocument(input.waypoints));
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
    return 0;
}

}  // namespace

const formats::FormatRecord kKmlFormat{
    .id = "kml",
    .name = "KML files",
    .extensions = kExtensions,
    .holds = {.track = true, .waypoints = true},
    .directions = {.read = true, .write = true},
    .read = &ReadKmlFile,
    .write = &WriteKml,
    .writesAnalysis = true,
};

}  // namespace tracora::kml
