#include "documents/olc_commands.hpp"

#include <cstdlib>

#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "core/version.hpp"
#include "formats/igc/igc_names.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::olc {

int PrepareOlcInput(AppState& state, Host& host, std::span<const std::size_t> selection,
                    bool useIgcBuffer, OlcInput& out) {
    out = {};
    if (useIgcBuffer) {
        const RawIgcLog& raw = state.trackLog.rawIgc;
        if (raw.Empty()) {
            host.ShowMessage(kInitOlcTitle, "No raw IGC buffer stored");
            return -1;
        }
        igc::IgcParseResult parsed;
        if (igc::ParseIgc(raw.text, parsed) <= 0) {
            host.ShowMessage(kInitOlcTitle, parsed.error);
            return -1;
        }
        out.points = std::move(parsed.points);
        out.fromIgcBuffer = true;
        out.igcText = raw.text;
        out.manufacturer = parsed.manufacturer;
        out.serial = parsed.serial;
    } else {
        if (selection.empty()) {
            host.ShowMessage(kInitOlcTitle, "No position(s) selected");
            return -1;
        }
        const long long count = CopySelection(state, host, selection, out.points);
        if (count < 0) {
            host.ShowMessage(kInitOlcTitle, "Track log memory allocation");
            return -1;
        }
        if (count == 0) {
            return -1;  // the user cancelled the choice of a flight
        }
        out.manufacturer = "XTR";
        out.serial = "000";
    }
    if (out.points.size() < analysis::kOlcMinimumPoints) {
        host.ShowMessage(kInitOlcTitle, "Number of positions must be 5 or more");
        return -1;
    }
    return 0;
}

PilotData PilotDefaults(const Settings& settings) {
    PilotData d;
    d.firstName = settings.olcFirstName;
    d.lastName = settings.olcLastName;
    d.birthDate = settings.olcBirthDate;
    d.gliderClass = std::atoi(settings.olcGliderClass.c_str());
    if (d.gliderClass < 1 || d.gliderClass > 5) {
        d.gliderClass = 3;
    }
    d.gliderType = settings.olcGliderType;
    d.callSign = settings.olcCallSign;
    d.startPlace = settings.olcStartPlace;
    d.regionCode = settings.olcRegion;
    d.flightNumber = "1";
    return d;
}

bool LongFileName(const Settings& settings) {
    return settings.olcLongFileName != 0;
}

OlcSaveOutcome SaveOlcFile(AppState& state, Host& host, const OlcInput& input,
                           const analysis::OlcResults& results, PilotData data, bool longName,
                           bool withIgc) {
    if (!results.done) {
        host.ShowMessage(kSaveOlcTitle, "OLC statistics not yet finished");
        return OlcSaveOutcome::kFieldError;
    }
    int flight = 0;
    if (const char* problem = CheckPilotData(data, flight)) {
        host.ShowMessage(kUserInputTitle, problem);
        return OlcSaveOutcome::kFieldError;
    }
    const igc::IgcNameStyle style = longName ? igc::IgcNameStyle::kLong : igc::IgcNameStyle::kShort;
    Flight what =
        BestResultFlight(input.points, results, style, input.manufacturer, input.serial, flight);
    bool signedIgc = false;
    if (withIgc) {
        if (input.fromIgcBuffer) {
            what.igcText = input.igcText;
            signedIgc = CarriesSecurityRecord(what.igcText);
        } else {
            const Settings& s = state.settings;
            const TrackLog& log = state.trackLog;
            const igc::IgcHeaderTexts header{
                s.igcPilotName, s.igcContestId, s.igcGliderType,           s.igcGliderId,
                s.igcClass,     s.igcSite,      log.instrumentDescription, ""};
            igc::IgcEncodeOptions options;
            options.gRecordEligible = log.gRecordEligible;
            options.wantSecurityRecord = true;
            options.wantEnl = s.igcAddEnl != 0;
            options.downloadTime = log.downloadTime;
            if (igc::EncodeIgc(input.points, header, options, what.igcText, signedIgc) <= 0) {
                host.ShowMessage(kSaveOlcTitle, "Memory allocation error");
                return OlcSaveOutcome::kClosed;
            }
        }
    }

    SaveFileRequest save;
    save.title = "Save OLC file";
    save.filters = {{"OLC files (*.olc)", "olc"}};
    save.folder = state.settings.olcDir;
    std::string proposed = what.igcFileName;
    if (proposed.ends_with(".igc")) {
        proposed.replace(proposed.size() - 4, 4, ".olc");
    }
    save.proposedName = proposed;
    std::filesystem::path folder;
    const auto path = AskSavePath(host, save, &folder);
    if (!path) {
        return OlcSaveOutcome::kClosed;
    }
    const std::string text = BuildOlcText(data, what, kVersion) + "\r\n";
    const int written = WriteDocumentFile(host, *path, text, ExistingFile::kAsk, kSaveOlcTitle);
    if (written == kSaveDeclined) {
        return OlcSaveOutcome::kFieldError;
    }
    if (written != kSaveWritten) {
        return OlcSaveOutcome::kClosed;
    }
    host.ShowMessage(kSaveOlcTitle,
                     withIgc && !signedIgc ? "File written. NO security record" : "File written");
    Settings& settings = state.settings;
    settings.olcDir = folder.string();
    settings.olcFirstName = data.firstName;
    settings.olcLastName = data.lastName;
    settings.olcBirthDate = data.birthDate;
    settings.olcGliderClass = std::to_string(data.gliderClass);
    settings.olcGliderType = data.gliderType;
    settings.olcCallSign = data.callSign;
    settings.olcStartPlace = data.startPlace;
    settings.olcRegion = data.regionCode;
    settings.olcLongFileName = longName ? 1 : 0;
    return OlcSaveOutcome::kWritten;
}

}  // namespace tracora::olc
