#include "documents/track_documents.hpp"

#include <new>

#include "documents/igc_files.hpp"
#include "documents/trip_record.hpp"
#include "formats/format_registry.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::documents {
namespace {

// A format's reader with the messages of the track log file read.
TrackFileReaderFn HostReader(const formats::FormatRecord& format) {
    if (format.id == "igc") {
        return &igc::ReadIgcText;
    }
    return [&format](Host& host, std::string_view text, TrackReadResult& out) {
        formats::ReadResult read = format.read(text);
        if (read.status <= 0) {
            host.ShowMessage("Read track log file", read.message);
            return -1;
        }
        out.points = std::move(read.track);
        out.timeIsUtc = read.timesAreUtc;
        out.hasPressureAltitude = read.pressureAltitudePresent;
        out.signatureOk = false;
        return static_cast<int>(out.points.size());
    };
}

}  // namespace

std::span<const TrackFileFormat> ReadableTrackFormats() {
    static const std::vector<TrackFileFormat> formats = [] {
        std::vector<TrackFileFormat> list;
        for (const formats::FormatRecord* format : formats::AllFormats()) {
            if (format->holds.track && format->directions.read) {
                list.push_back(
                    {FileFilter{std::string(format->name), std::string(format->DefaultExtension())},
                     HostReader(*format)});
            }
        }
        return list;
    }();
    return formats;
}

formats::WriteInput ConvertedFileInput(const formats::ReadResult& read,
                                       const CalendarTime& downloadTime) {
    formats::WriteInput input;
    input.track = read.track;
    input.waypoints = read.waypoints;
    input.airspaces = read.airspaces;
    input.timesAreUtc = false;
    input.pressureAltitudePresent = true;
    input.fromInstrument = false;
    input.downloadTime = downloadTime;
    return input;
}

int BuildTrackDocument(const formats::FormatRecord& format, formats::WriteInput input,
                       std::int32_t loopFlightGapMetres, std::string& document, std::string& title,
                       std::string& message) {
    if (format.write == nullptr) {
        title = "File creation";
        message = std::string(format.name) + " cannot be written";
        return -1;
    }
    kml::TripAnalysis trip;
    if (format.writesAnalysis && !input.track.empty()) {
        kml::GoogleEarthOptions options;
        options.hashWanted = input.fromInstrument;
        options.timesAreUtc = input.timesAreUtc;
        options.pressureAltitudePresent = input.pressureAltitudePresent;
        options.instrument = input.instrument;
        options.loopFlightGapMetres = loopFlightGapMetres;
        if (kml::AnalyseTrip(input.track, options, trip, title, message) != 0) {
            return -1;
        }
        input.trip = &trip;
    }
    try {
        formats::TextBuffer out;
        if (format.write(input, out, message) != 0) {
            title = "File creation";
            return -1;
        }
        document = out.Take();
        return 0;
    } catch (const std::bad_alloc&) {
        title = "File creation";
        message = "Memory allocation error";
        return -1;
    }
}

}  // namespace tracora::documents
