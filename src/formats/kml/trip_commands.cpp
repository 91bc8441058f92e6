#include "formats/kml/trip_commands.hpp"

#include "core/save_file.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "formats/igc/igc_reader.hpp"

namespace tracora::kml {

std::filesystem::path KmlPathForIgc(const std::filesystem::path& igcPath) {
    std::string text = igcPath.string();
    const std::size_t n = text.size();
    if (n >= 4 && text[n - 4] == '.' && (text[n - 3] | 0x20) == 'i' &&
        (text[n - 2] | 0x20) == 'g' && (text[n - 1] | 0x20) == 'c') {
        text.resize(n - 4);
    }
    return text + ".kml";
}

GoogleEarthOptions IgcConversionOptions(std::int32_t loopFlightGapMetres) {
    GoogleEarthOptions options;
    options.pressureAltitudePresent = true;
    options.loopFlightGapMetres = loopFlightGapMetres;
    return options;
}

TripAnalysis StatisticsTrip(const TrackLog& log, std::span<const TrackPoint> points,
                            const analysis::FlightStatistics& statistics,
                            const analysis::TripAnalysis& optimisation,
                            std::int32_t loopFlightGapMetres) {
    TripAnalysis trip = MakeTripAnalysis(points, statistics, optimisation, loopFlightGapMetres);
    trip.hashWanted = log.gRecordEligible;
    trip.timesAreUtc = log.timeIsUtc;
    trip.pressureAltitudePresent = log.hasPressureAltitude;
    const std::uint32_t downloaded = CalendarToTime(log.downloadTime);
    trip.downloadTime =
        downloaded != 0 && downloaded <= 0x7FFFFFFFu ? static_cast<std::int32_t>(downloaded) : -1;
    trip.civlPilotId = log.civlPilotId;
    trip.compPilotId = log.compPilotId;
    trip.identifiersPresent = log.civlPilotId >= 0 || log.compPilotId >= 0;
    return trip;
}

int SaveStatisticsLogbook(AppState& state, Host& host, std::span<const TrackPoint> points,
                          const analysis::FlightStatistics& statistics,
                          const analysis::TripAnalysis& optimisation,
                          std::string_view description) {
    const TrackLog& log = state.trackLog;
    TripAnalysis trip =
        StatisticsTrip(log, points, statistics, optimisation, state.settings.loopFlightGap);
    const std::string& instrument = log.instrumentDescription;
    const std::optional<std::string_view> instrumentText =
        instrument.empty() ? std::nullopt : std::optional<std::string_view>(instrument);
    if (SaveLogbookFile(host, state.settings, trip, description, instrumentText) != 0) {
        return -1;
    }
    state.trackLog.saved = true;
    return 0;
}

int ConvertIgcFilesToKml(AppState& state, Host& host) {
    FileDialogRequest request;
    request.title = kConvertIgcTitle;
    request.filters = {{"IGC track log files (*.igc)", "igc"}, {"All Files", "*"}};
    request.folder = state.settings.igcDir;
    const std::vector<std::filesystem::path> files = host.OpenFilesDialog(request);
    if (files.empty()) {
        return -1;
    }
    state.settings.igcDir = files.front().parent_path().string();
    const GoogleEarthOptions options = IgcConversionOptions(state.settings.loopFlightGap);
    int converted = 0;
    for (const std::filesystem::path& file : files) {
        TrackReadResult read;
        if (igc::ReadIgcFile(host, file, read) < 0) {
            continue;  // the reader has said why
        }
        std::string document;
        std::string title;
        std::string message;
        if (BuildGoogleEarthDocument(read.points, options, document, title, message) != 0) {
            host.ShowMessage(title, file.filename().string() + ": " + message);
            continue;
        }
        if (WriteDocumentFile(host, KmlPathForIgc(file), document, ExistingFile::kAsk,
                              kConvertIgcTitle) == kSaveWritten) {
            ++converted;
        }
    }
    host.ShowMessage(kConvertIgcTitle, FormatCount("% file(s) converted", converted));
    return converted;
}

}  // namespace tracora::kml
