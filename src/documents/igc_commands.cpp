#include "documents/igc_commands.hpp"

#include "analysis/track_filters.hpp"
#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::igc {

namespace {

constexpr std::int32_t kLongNameBit = 2;
constexpr std::int32_t kShortNameBit = 4;

// The save dialog of both IGC saves, in the remembered IGC folder.
SaveFileRequest IgcSaveRequest(const Settings& settings, std::string proposedName) {
    SaveFileRequest save;
    save.title = "Save track log";
    save.filters = {{"IGC track log files (*.igc)", "igc"}};
    save.folder = settings.igcDir;
    save.proposedName = std::move(proposedName);
    return save;
}

}  // namespace

IgcNameStyle NameStyleOf(bool longName, bool shortName) {
    return longName ? IgcNameStyle::kLong : shortName ? IgcNameStyle::kShort : IgcNameStyle::kNone;
}

RawIgcSaveRequest RawIgcSaveDefaults(const Settings& settings) {
    RawIgcSaveRequest request;
    request.flightNumber = settings.igcFlightNo;
    // The raw save offers one name at a time; a mask from the other dialog may hold both.
    request.style = (settings.igcSaveMask & kShortNameBit) != 0  ? IgcNameStyle::kShort
                    : (settings.igcSaveMask & kLongNameBit) != 0 ? IgcNameStyle::kLong
                                                                 : IgcNameStyle::kNone;
    return request;
}

std::string RawIgcProposedName(const TrackLog& log, IgcNameStyle style, int flight) {
    RawIgcDetails details;
    if (ReadRawIgcDetails(log.rawIgc.text, details) != 0) {
        details = {};
    }
    if (details.manufacturer.size() != 3) {
        details.manufacturer = "XXX";
    }
    if (details.serial.size() != 3) {
        details.serial = "000";
    }
    if (details.firstTime == 0 && !log.points.empty()) {
        details.firstTime = log.points.front().time;
    }
    return IgcProposedName(style, TimeToCalendar(details.firstTime), details.manufacturer,
                           details.serial, flight);
}

RawIgcSaveOutcome SaveRawIgcLog(AppState& state, Host& host, const RawIgcSaveRequest& request) {
    TrackLog& log = state.trackLog;
    if (log.rawIgc.Empty()) {
        host.ShowMessage(kSaveIgcLogTitle, kNoRawIgcLog);
        return RawIgcSaveOutcome::kClosed;
    }
    int flight = 0;
    if (const char* problem = CheckFlightNumber(request.flightNumber, flight)) {
        host.ShowMessage(kIgcParameterCheckTitle, problem);
        return RawIgcSaveOutcome::kFieldError;
    }
    const SaveFileRequest save =
        IgcSaveRequest(state.settings, RawIgcProposedName(log, request.style, flight));
    std::filesystem::path folder;
    const auto path = AskSavePath(host, save, &folder);
    if (!path) {
        return RawIgcSaveOutcome::kClosed;
    }
    if (WriteDocumentFile(host, *path, log.rawIgc.text, ExistingFile::kAsk, kSaveIgcLogTitle) !=
        kSaveWritten) {
        return RawIgcSaveOutcome::kClosed;
    }
    Settings& settings = state.settings;
    settings.igcDir = folder.string();
    settings.igcFlightNo = request.flightNumber;
    settings.igcSaveMask &= ~(kLongNameBit | kShortNameBit);
    if (request.style == IgcNameStyle::kLong) {
        settings.igcSaveMask |= kLongNameBit;
    } else if (request.style == IgcNameStyle::kShort) {
        settings.igcSaveMask |= kShortNameBit;
    }
    log.saved = true;
    return RawIgcSaveOutcome::kWritten;
}

IgcFileParameters IgcFileDefaults(const Settings& settings, const std::string& frSerial) {
    IgcFileParameters p;
    p.pilot = settings.igcPilotName;
    p.flightNumber = settings.igcFlightNo;
    p.frSerial = frSerial;
    p.gliderType = settings.igcGliderType;
    p.gliderId = settings.igcGliderId;
    p.site = settings.igcSite;
    p.gliderClass = settings.igcClass;
    p.longName = (settings.igcSaveMask & kLongNameBit) != 0;
    p.shortName = (settings.igcSaveMask & kShortNameBit) != 0;
    p.addEnl = settings.igcAddEnl != 0;
    return p;
}

int PrepareIgcPoints(AppState& state, Host& host, std::span<const std::size_t> selection,
                     std::vector<TrackPoint>& points) {
    const long long count = selection.empty() ? CopyWholeTrackLog(state, host, points)
                                              : CopySelection(state, host, selection, points);
    if (count < 0) {
        host.ShowMessage(kWriteIgcTitle, "Track log memory allocation");
        return -1;
    }
    if (count == 0) {
        return -1;  // nothing to write, or the user cancelled the choice of a flight
    }
    if (count == 1 && host.Ask(kWriteIgcTitle, "Only one position selected, continue ?",
                               QuestionButtons::kYesNo) != Answer::kYes) {
        return -1;
    }
    const std::size_t removed = analysis::VarioFilter(points, state.settings.varioFilter);
    if (removed > 0) {
        host.ShowMessage(
            kWriteIgcTitle,
            StringPrintf("%zu positions have been removed due to vario filtering", removed));
    }
    return 0;
}

IgcWriteOutcome WriteIgcTrackLogFile(AppState& state, Host& host,
                                     std::span<const TrackPoint> points,
                                     const IgcFileParameters& p) {
    if (points.empty()) {
        return IgcWriteOutcome::kClosed;
    }
    int flight = 0;
    if (const char* problem = CheckIgcParameters(p.pilot, p.flightNumber, p.frSerial, flight)) {
        host.ShowMessage(kCheckingIgcParametersTitle, problem);
        return IgcWriteOutcome::kStayOpen;
    }
    const SaveFileRequest save =
        IgcSaveRequest(state.settings, IgcProposedName(NameStyleOf(p.longName, p.shortName),
                                                       TimeToCalendar(points.front().time), "XTR",
                                                       p.frSerial, flight));
    std::filesystem::path folder;
    const auto path = AskSavePath(host, save, &folder);
    if (!path) {
        return IgcWriteOutcome::kClosed;
    }

    TrackLog& log = state.trackLog;
    const std::string pilot = NormaliseBlanks(p.pilot);
    const IgcHeaderTexts header{
        pilot,     "", p.gliderType, p.gliderId, p.gliderClass, p.site, log.instrumentDescription,
        p.frSerial};
    IgcEncodeOptions options;
    options.gRecordEligible = log.gRecordEligible;
    options.wantSecurityRecord = true;
    options.wantEnl = p.addEnl;
    options.downloadTime = log.downloadTime;
    std::string text;
    bool securityWritten = false;
    if (EncodeIgc(points, header, options, text, securityWritten) <= 0) {
        host.ShowMessage("Encoding .igc file", "Memory allocation error");
        return IgcWriteOutcome::kClosed;
    }
    const int written = WriteDocumentFile(host, *path, text, ExistingFile::kAsk, kWriteIgcTitle);
    if (written == kSaveDeclined) {
        return IgcWriteOutcome::kStayOpen;
    }
    if (written != kSaveWritten) {
        return IgcWriteOutcome::kClosed;
    }
    if (!securityWritten) {
        host.ShowMessage("Security record NOT included",
                         "Track log source is not valid for G-record");
    }
    Settings& settings = state.settings;
    settings.igcDir = folder.string();
    settings.igcPilotName = p.pilot;
    settings.igcFlightNo = p.flightNumber;
    settings.igcGliderType = p.gliderType;
    settings.igcGliderId = p.gliderId;
    settings.igcSite = p.site;
    settings.igcClass = p.gliderClass;
    settings.igcSaveMask = 1 | (p.longName ? kLongNameBit : 0) | (p.shortName ? kShortNameBit : 0);
    settings.igcAddEnl = p.addEnl ? 1 : 0;
    log.saved = true;
    host.SetStatus(FormatCount("% positions written", static_cast<long long>(points.size())));
    return IgcWriteOutcome::kWritten;
}

}  // namespace tracora::igc
