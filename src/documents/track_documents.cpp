#include "documents/track_documents.hpp"

#include <algorithm>
#include <new>

#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"

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

formats::CsvColumns CsvColumnsFromSettings(const Settings& settings) {
    formats::CsvColumns columns;
    columns.absTime = settings.csvAbsTime != 0;
    columns.relTime = settings.csvRelTime != 0;
    columns.relDist = settings.csvRelDist != 0;
    columns.accDist = settings.csvAccDist != 0;
    columns.bearing = settings.csvBearing > 0;
    columns.bearing400 = settings.csv400deg != 0;
    columns.speed = settings.csvSpeed > 0;
    columns.vario = settings.csvVario > 0;
    columns.bearingSpan = std::max(settings.csvBearing, 1);
    columns.speedSpan = std::max(settings.csvSpeed, 1);
    columns.varioSpan = std::max(settings.csvVario, 1);
    return columns;
}

std::vector<const formats::FormatRecord*> TrackSaveFormats() {
    std::vector<const formats::FormatRecord*> list;
    const formats::FormatRecord* kml = nullptr;
    for (const formats::FormatRecord* format : formats::AllFormats()) {
        if (!format->holds.track || !format->directions.write || format->id == "igc") {
            continue;
        }
        if (format->id == "kml") {
            kml = format;
        } else {
            list.push_back(format);
        }
    }
    // Last, so that the type remembered from earlier runs (a position in this list) still
    // names the same format.
    if (kml != nullptr) {
        list.push_back(kml);
    }
    return list;
}

int SaveTrackLogAsCommand(AppState& state, Host& host, std::span<const std::size_t> rows) {
    static const std::string kTitle = "Save track log";
    const TrackLog& log = state.trackLog;
    std::vector<TrackPoint> chosen;
    if (rows.size() >= 2) {
        for (const std::size_t row : rows) {
            if (row < log.points.size()) {
                chosen.push_back(log.points[row]);
            }
        }
    } else {
        chosen = log.points;
    }
    if (chosen.empty()) {
        host.ShowMessage(kTitle, "No positions");
        return 0;
    }
    const std::vector<const formats::FormatRecord*> offered = TrackSaveFormats();
    const int count = static_cast<int>(offered.size());
    FileDialogRequest request;
    request.title = kTitle;
    for (const formats::FormatRecord* format : offered) {
        request.filters.push_back(
            {std::string(format->name), std::string(format->DefaultExtension())});
    }
    request.filters.push_back({"All files", "*"});
    request.filterIndex = std::clamp(state.settings.logExportExt, 1, count);
    request.folder = state.settings.trackLogDir;
    const std::optional<FileDialogResult> answer = host.SaveFileDialog(request);
    if (!answer) {
        return 0;
    }
    // A typed extension of an offered format decides; otherwise the type chosen ("All files"
    // keeps the first) with its extension added to a name without one.
    const formats::FormatRecord* format = nullptr;
    const formats::FormatRecord* named = formats::FormatForPath(answer->path);
    if (named != nullptr && std::find(offered.begin(), offered.end(), named) != offered.end()) {
        format = named;
    }
    std::filesystem::path path = answer->path;
    if (format == nullptr) {
        const int index = std::clamp(answer->filterIndex, 1, count);
        format = offered[static_cast<std::size_t>(index - 1)];
        path = WithDefaultExtension(path, format->DefaultExtension());
    }
    if (path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kErrorOpeningFile, kTooLongFileName);
        return 0;
    }
    const auto position = std::find(offered.begin(), offered.end(), format);
    state.settings.logExportExt = static_cast<std::int32_t>(position - offered.begin()) + 1;
    state.settings.trackLogDir = path.parent_path().string();

    formats::WriteInput input;
    input.track = chosen;
    input.timesAreUtc = log.timeIsUtc;
    input.pressureAltitudePresent = log.hasPressureAltitude;
    input.instrument = log.instrumentDescription;
    input.downloadTime = log.downloadTime;
    // A log straight from an instrument gets the keyed hash of the trip document.
    input.fromInstrument = log.gRecordEligible;
    input.csvColumns = CsvColumnsFromSettings(state.settings);
    std::string document;
    std::string title;
    std::string message;
    if (BuildTrackDocument(*format, input, state.settings.loopFlightGap, document, title,
                           message) != 0) {
        host.ShowMessage(kTitle, message);
        return 0;
    }
    if (WriteDocumentFile(host, path, document, ExistingFile::kAsk, kTitle) != kSaveWritten) {
        return 0;
    }
    if (rows.size() < 2) {
        state.trackLog.saved = true;
    }
    host.SetStatus(StringPrintf("%zu positions written", chosen.size()));
    return static_cast<int>(chosen.size());
}

}  // namespace tracora::documents
