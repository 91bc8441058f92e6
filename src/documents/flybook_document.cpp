#include "documents/flybook_document.hpp"

#include <new>
#include <span>
#include <vector>

#include "analysis/track_filters.hpp"
#include "core/save_file.hpp"
#include "core/time_base.hpp"
#include "documents/trip_record.hpp"
#include "formats/kml/kml_writer.hpp"

namespace tracora::documents {

int BuildFlybookDocument(const TrackLog& log, const Settings& settings, std::string& document,
                         std::string& title, std::string& message) {
    document.clear();
    try {
        kml::KmlOutput folders;
        int count = 0;
        const std::span<const TrackPoint> all = log.points;
        for (std::size_t start = 0; start < all.size();) {
            std::size_t end = start + 1;
            while (end < all.size() && !all[end].StartsSegment()) {
                ++end;
            }
            std::vector<TrackPoint> flight(all.begin() + static_cast<std::ptrdiff_t>(start),
                                           all.begin() + static_cast<std::ptrdiff_t>(end));
            start = end;
            if (settings.logFilter != 0) {
                analysis::SpeedAnalysis(flight);
            }
            if (flight.size() < kFlybookMinPoints) {
                continue;
            }
            kml::GoogleEarthOptions options;
            options.hashWanted = log.gRecordEligible;
            options.timesAreUtc = log.timeIsUtc;
            options.pressureAltitudePresent = log.hasPressureAltitude;
            if (!log.instrumentDescription.empty()) {
                options.instrument = log.instrumentDescription;
            }
            options.loopFlightGapMetres = settings.loopFlightGap;
            kml::TripAnalysis trip;
            if (kml::AnalyseTrip(flight, options, trip, title, message) != 0) {
                return -1;
            }
            const std::uint32_t downloaded = CalendarToTime(log.downloadTime);
            trip.downloadTime = downloaded != 0 && downloaded <= 0x7FFFFFFFu
                                    ? static_cast<std::int32_t>(downloaded)
                                    : -1;
            const std::string& description =
                log.instrumentDescription.empty() ? log.productName : log.instrumentDescription;
            const int status = kml::WriteTripFolder(folders, trip, description, options.instrument);
            if (status != 0) {
                title = "Making GoogleEarth track folder";
                message = kml::TripFolderError(status);
                return -1;
            }
            ++count;
        }
        if (count > 0) {
            document.assign(kml::kDocumentHead);
            document += folders.View();
            document += kml::kDocumentTail;
        }
        return count;
    } catch (const std::bad_alloc&) {
        document.clear();
        title = "Read GPS track logs";
        message = "Memory allocation error";
        return -1;
    }
}

int SaveFlybookDocument(AppState& state, Host& host) {
    std::string document;
    std::string title;
    std::string message;
    const int flights =
        BuildFlybookDocument(state.trackLog, state.settings, document, title, message);
    if (flights < 0) {
        host.ShowMessage(title, message);
        return -1;
    }
    if (flights == 0) {
        host.ShowMessage(kFlybookSaveTitle, "No track log with at least 10 positions");
        return 0;
    }
    SaveFileRequest request;
    request.title = kFlybookSaveTitle;
    request.filters = {{"Flybook files (*.kml)", "kml"}, {"All Files", "*"}};
    request.folder = state.settings.trackLogDir;
    std::filesystem::path folder;
    const std::optional<std::filesystem::path> path = AskSavePath(host, request, &folder);
    if (!path) {
        return 0;
    }
    state.settings.trackLogDir = folder.string();
    const int written =
        WriteDocumentFile(host, *path, document, ExistingFile::kAsk, kFlybookSaveTitle);
    if (written != kSaveWritten) {
        return written == kSaveDeclined ? 0 : -1;
    }
    host.ShowMessage(kFlybookWrittenTitle, "File written");
    return flights;
}

}  // namespace tracora::documents
