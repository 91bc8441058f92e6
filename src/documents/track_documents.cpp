#include "documents/track_documents.hpp"

#include <new>

#include "documents/trip_record.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::documents {

formats::WriteInput ConvertedFileInput(const formats::ReadResult& read,
                                       const CalendarTime& downloadTime) {
    formats::WriteInput input;
    input.track = read.track;
    input.waypoints = read.waypoints;
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
