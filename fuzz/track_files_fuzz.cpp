// Track files of every text and binary format: each track reader of the registry (GPX, CSV,
// OziExplorer, Magellan, MapSource, the .dat log) and the GPX and MapSource waypoint readers
// over the same bytes; what reads is written in every writable track format and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/dat_log/dat_log.hpp"
#include "formats/format_registry.hpp"
#include "formats/gpx/gpx_format.hpp"
#include "formats/mapsource/mapsource.hpp"
#include "formats/waypoint_text/waypoint_text.hpp"

namespace formats = tracora::formats;

namespace {

// A failure has its message and keeps nothing; a success counts what it kept.
template <typename Read>
void CheckPoints(const Read& read) {
    if (read.status < 0 && (read.message.empty() || !read.points.empty())) {
        std::abort();
    }
    if (read.status > 0 && static_cast<std::size_t>(read.status) != read.points.size()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckPoints(tracora::dat::ReadDatTrack(bytes));
    CheckPoints(tracora::mapsource::ReadMapSourceTrack(bytes));
    const tracora::mapsource::MapSourceRead mps = tracora::mapsource::ReadMapSourceWaypoints(bytes);
    if (mps.status > 0 && static_cast<std::size_t>(mps.status) != mps.waypoints.size()) {
        std::abort();
    }
    const tracora::gpx::GpxTrackRead gpx = tracora::gpx::ReadGpxTracks(bytes);
    if ((gpx.status < 0) != gpx.tracks.empty() ||
        (gpx.status > 0 && static_cast<std::size_t>(gpx.status) != gpx.tracks.size())) {
        std::abort();
    }
    tracora::waypoints::WaypointReadOptions options;
    int turn = static_cast<int>(size % 4);
    options.askModifyId = [&turn](std::string_view) {
        return static_cast<tracora::ModifyIdAnswer>(turn++ % 4);
    };
    const tracora::waypoints::WaypointReadResult wpts =
        tracora::gpx::ReadGpxWaypoints(bytes, options);
    if (wpts.status < 0 && (wpts.message.empty() || !wpts.waypoints.empty())) {
        std::abort();
    }
    for (const formats::FormatRecord* format : formats::AllFormats()) {
        if (!format->holds.track || !format->directions.read || format->id == "igc") {
            continue;
        }
        const formats::ReadResult read = format->read(bytes);
        if (read.status <= 0) {
            if (read.message.empty()) {
                std::abort();
            }
            continue;
        }
        if (read.track.empty()) {
            continue;
        }
        for (const formats::FormatRecord* writer : formats::AllFormats()) {
            if (!writer->holds.track || !writer->directions.write || !writer->directions.read ||
                writer->writesAnalysis || writer->id == "igc") {
                continue;
            }
            formats::WriteInput input;
            input.track = read.track;
            formats::TextBuffer out;
            std::string message;
            if (writer->write(input, out, message) != 0) {
                std::abort();
            }
            // What is written reads back, never with more points (a format may refuse values
            // another one holds: a latitude of exactly 90, an altitude beyond its range).
            const formats::ReadResult back = writer->read(out.View());
            if (back.track.size() > read.track.size() ||
                (back.status <= 0 && back.message.empty())) {
                std::abort();
            }
        }
    }
    return 0;
}
