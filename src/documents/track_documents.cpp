#include "documents/track_documents.hpp"

#include <new>

#include "documents/igc_files.hpp"
#include "documents/trip_record.hpp"
#include "formats/format_registry.hpp"
#include "formats/gpx/gpx_format.hpp"
#include "formats/kml/kml_reader.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::documents {
namespace {

// A GPX file's track: the only one, or the one the user selects.
int ReadGpxTrackText(Host& host, std::string_view text, TrackReadResult& out) {
    gpx::GpxTrackRead read = gpx::ReadGpxTracks(text);
    if (read.status <= 0) {
        host.ShowMessage(gpx::kTrackReadTitle, read.message);
        return -1;
    }
    std::size_t chosen = 0;
    if (read.tracks.size() > 1) {
        std::vector<std::string> labels;
        for (const std::vector<TrackPoint>& track : read.tracks) {
            labels.push_back(gpx::GpxTrackLabel(track));
        }
        const std::optional<int> selected = host.SelectTrack(labels);
        if (!selected || *selected < 0 || static_cast<std::size_t>(*selected) >= labels.size()) {
            return -1;
        }
        chosen = static_cast<std::size_t>(*selected);
    }
    out.points = std::move(read.tracks[chosen]);
    out.timeIsUtc = true;
    out.hasPressureAltitude = false;
    out.signatureOk = false;
    return static_cast<int>(out.points.size());
}

// A format's reader with the messages of the track log file read.
TrackFileReaderFn HostReader(const formats::FormatRecord& format) {
    if (format.id == "igc") {
        return &igc::ReadIgcText;
    }
    if (format.id == "gpx") {
        return &ReadGpxTrackText;
    }
    if (format.id == "kml") {
        return &ReadKmlTrackText;
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

int ReadKmlTrackText(Host& host, std::string_view text, TrackReadResult& out) {
    kml::KmlTracks tracks = kml::FindKmlTracks(text);
    if (tracks.status <= 0) {
        host.ShowMessage(kml::kKmlTrackReadTitle, tracks.message);
        return -1;
    }
    std::size_t chosen = 0;
    if (tracks.tracks.size() > 1) {
        std::vector<std::string> labels;
        for (const kml::KmlTrackText& track : tracks.tracks) {
            labels.push_back(kml::KmlTrackLabel(track));
        }
        const std::optional<int> selected = host.SelectTrack(labels);
        if (!selected || *selected < 0 || static_cast<std::size_t>(*selected) >= labels.size()) {
            return -1;
        }
        chosen = static_cast<std::size_t>(*selected);
    }
    kml::KmlTrackRead read = kml::DecodeKmlTrack(tracks.tracks[chosen]);
    if (read.status <= 0) {
        host.ShowMessage(kml::kKmlTrackReadTitle, read.message);
        return -1;
    }
    out.points = std::move(read.points);
    out.timeIsUtc = read.timesAreUtc;
    out.hasPressureAltitude = read.pressureAltitudePresent;
    out.signatureOk = read.signature == kml::kKmlSignatureOk;
    return static_cast<int>(out.points.size());
}

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
