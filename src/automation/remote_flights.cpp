#include "automation/remote_flights.hpp"

#include "core/time_base.hpp"
#include "documents/igc_files.hpp"
#include "formats/igc/igc_names.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_writer.hpp"
#include "protocols/family_registry.hpp"

namespace tracora::automation {

std::string SaveRemoteFlight(const std::filesystem::path& folder, device::GpsAccessJob& job) {
    const char* title = "Save IGC log";
    const DownloadedTrackLog& log = job.track;
    if (log.points.empty()) {
        job.Error("No log stored", title);
        return {};
    }
    std::string text;
    igc::IgcNameKind kind = igc::IgcNameKind::kRawLog;
    igc::RawIgcDetails details;
    if (protocols::DeliversIgcText(job.protocol) && !log.rawIgc.Empty()) {
        text = log.rawIgc.text;
        if (igc::ReadRawIgcDetails(text, details) != 0 || details.serial.size() != 3) {
            details.serial = "000";
            details.firstTime = log.points.front().time;
        }
    } else {
        const igc::IgcHeaderTexts header{"", "", "", "", "", "", log.instrumentDescription, "000"};
        igc::IgcEncodeOptions options;
        options.gRecordEligible = log.gRecordEligible;
        options.wantSecurityRecord = true;
        options.downloadTime = CurrentCalendarTime();
        bool signedLog = false;
        if (igc::EncodeIgc(log.points, header, options, text, signedLog) <= 0) {
            job.Error("Memory allocation error", title);
            return {};
        }
        kind = igc::IgcNameKind::kEncodedLog;
        details.serial = "000";
        details.firstTime = log.points.front().time;
    }
    std::string directory = folder.string();
    if (directory.empty())
        directory = ".";
    if (directory.back() != '/')
        directory += '/';
    std::string path, message;
    if (igc::SaveIgcInFolder(directory, kind, TimeToCalendar(details.firstTime), details.serial,
                             text, false, path, message) != 0) {
        job.Error(message, title);
        return {};
    }
    return "Track log saved as " + path;
}

}  // namespace tracora::automation
