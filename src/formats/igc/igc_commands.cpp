#include "formats/igc/igc_commands.hpp"

#include "core/save_file.hpp"
#include "core/time_base.hpp"
#include "formats/igc/igc_reader.hpp"

namespace tracora::igc {

namespace {

constexpr std::int32_t kLongNameBit = 2;
constexpr std::int32_t kShortNameBit = 4;

}  // namespace

RawIgcSaveRequest RawIgcSaveDefaults(const Settings& settings) {
    RawIgcSaveRequest request;
    request.flightNumber = settings.igcFlightNo;
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
    SaveFileRequest save;
    save.title = "Save track log";
    save.filters = {{"IGC track log files (*.igc)", "igc"}};
    save.folder = state.settings.igcDir;
    save.proposedName = RawIgcProposedName(log, request.style, flight);
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

}  // namespace tracora::igc
