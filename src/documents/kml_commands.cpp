#include "documents/kml_commands.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/file_io.hpp"
#include "core/save_file.hpp"
#include "core/text_forms.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "documents/file_read_messages.hpp"
#include "documents/igc_files.hpp"
#include "documents/track_documents.hpp"
#include "formats/igc/igc_format.hpp"

namespace tracora::kml {
namespace {

int WriteFileAs(const std::filesystem::path& path, std::string_view content, bool overwrite) {
    return overwrite ? ReplaceFileAtomically(path, content) : CreateFileAtomically(path, content);
}

std::string ProposedName(std::uint32_t time) {
    const CalendarTime c = TimeToCalendar(time);
    char name[64];
    std::snprintf(name, sizeof name, "%d-%02d-%02d_%02d-%02d", c.year, c.month, c.day, c.hour,
                  c.minute);
    return name;
}

}  // namespace

std::filesystem::path KmlPathForIgc(const std::filesystem::path& igcPath) {
    std::string text = igcPath.string();
    const std::size_t n = text.size();
    if (n >= 4 && text[n - 4] == '.' && (text[n - 3] | 0x20) == 'i' &&
        (text[n - 2] | 0x20) == 'g' && (text[n - 1] | 0x20) == 'c') {
        text.resize(n - 4);
    }
    return text + ".kml";
}

int WriteGoogleEarthFile(Host& host, const std::filesystem::path& basePath,
                         std::span<const TrackPoint> points, const GoogleEarthOptions& options) {
    const std::string kTitle = "Write GoogleEarth file";
    std::filesystem::path path = basePath;
    path += ".kml";
    if (path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kTitle, "File name too long");
        return -1;
    }
    std::string document, title, message;
    if (BuildGoogleEarthDocument(points, options, document, title, message) != 0) {
        host.ShowMessage(title, message);
        return -1;
    }
    const int error = WriteFileAs(path, document, options.overwrite);
    if (error == EEXIST && !options.overwrite) {
        host.ShowMessage(kTitle, "File already exists");
        return -1;
    }
    if (error != 0) {
        host.ShowMessage(kTitle, std::string("File creation error\n") + std::strerror(error));
        return -1;
    }
    return 0;
}

int SaveLogbookFile(Host& host, Settings& settings, TripAnalysis& analysis,
                    std::string_view description,
                    const std::optional<std::string_view>& instrument) {
    const std::string kTitle = "Save Logbook file";
    if (analysis.points.empty()) {
        return -1;
    }
    KmlOutput folder;
    const int status = WriteTripFolder(folder, analysis, description, instrument);
    if (status != 0) {
        host.ShowMessage("Make GoogleEarth track folder", TripFolderError(status));
        return -1;
    }
    SaveFileRequest request;
    request.title = "Save track for Flybook";
    request.filters = {{"Flybook files", "kml"}, {"All Files", "*"}};
    request.folder = settings.googleDir;
    request.proposedName = ProposedName(analysis.points.front().time);
    std::filesystem::path chosenFolder;
    const std::optional<std::filesystem::path> path = AskSavePath(host, request, &chosenFolder);
    if (!path) {
        return -1;
    }
    settings.googleDir = chosenFolder.string();

    std::string document;
    std::error_code ec;
    const bool exists = std::filesystem::exists(*path, ec);
    bool append = false;
    if (exists) {
        const Answer answer =
            host.AskLabelled(kTitle, "File already exists", QuestionButtons::kYesNoCancel,
                             {"&Append", "&Overwrite", "&Cancel"});
        if (answer == Answer::kCancel) {
            return -1;
        }
        append = answer == Answer::kYes;
    }
    if (append) {
        std::string existing;
        const FileReadStatus read = ReadWholeFile(*path, existing);
        if (read != FileReadStatus::kOk) {
            const char* text = read == FileReadStatus::kEmpty      ? "Existing file is empty"
                               : read == FileReadStatus::kNoMemory ? "File buffer memory allocation"
                               : read == FileReadStatus::kReadError ? "Error reading existing file"
                                                                    : "Error opening existing file";
            host.ShowMessage(kTitle, text);
            return -1;
        }
        if (AppendToLogbook(existing, folder.View(), document) != 0) {
            host.ShowMessage(kTitle, "Error(s) parsing existing file");
            return -1;
        }
    } else {
        document.assign(kDocumentHead);
        document += folder.View();
        document += kDocumentTail;
    }
    const int error = WriteFileAs(*path, document, exists);
    if (error != 0) {
        host.ShowMessage(
            kTitle, std::string(exists ? "Error opening file" : "Error opening new file") + "\n" +
                        std::strerror(error));
        return -1;
    }
    host.ShowMessage("Save Flybook track", analysis.hashWanted ? "Track saved (Signature OK)"
                                                               : "Track saved (NO signature)");
    return 0;
}

int WriteKmlWaypointFile(Host& host, const std::filesystem::path& path,
                         std::span<const Waypoint> waypoints, bool overwrite) {
    const std::string kTitle = "Save GoogleEarth waypoint file";
    std::string document;
    try {
        document = KmlWaypointDocument(waypoints);
    } catch (const std::bad_alloc&) {
        host.ShowMessage(kTitle, "Memory allocation error");
        return -1;
    }
    const int error = WriteFileAs(path, document, overwrite);
    if (error != 0) {
        host.ShowMessage(kTitle, std::string("File write error\n") + std::strerror(error));
        return -1;
    }
    return 0;
}

int SaveAnimationTrack(AppState& state, Host& host, std::span<const std::size_t> selection,
                       bool trackViewShown) {
    const std::string kTitle = "Save track animation file";
    if (state.busy.load()) {
        return -1;
    }
    if (!trackViewShown) {
        host.ShowMessage(kTitle, std::string(kIncorrectViewMode));
        return -1;
    }
    if (!state.trackLog.Loaded()) {
        return 0;
    }
    std::vector<TrackPoint> points;
    const long long count = CopySelection(state, host, selection, points);
    if (count < 0) {
        host.ShowMessage(kTitle, "Memory allocation error");
        return -1;
    }
    if (count < 2) {
        host.ShowMessage(kTitle, "Less than 2 positions selected");
        return -1;
    }
    std::string document;
    try {
        document = AnimationTrackDocument(points, state.trackLog.timeIsUtc);
    } catch (const std::bad_alloc&) {
        host.ShowMessage(kTitle, "Memory allocation error");
        return -1;
    }
    SaveFileRequest request;
    request.title = "Save kml animation track";
    request.filters = {{"GoogleEarth files (*.kml)", "kml"}, {"All Files", "*"}};
    request.folder = state.settings.googleDir;
    request.proposedName = ProposedName(points.front().time);
    std::filesystem::path chosenFolder;
    const std::optional<std::filesystem::path> path = AskSavePath(host, request, &chosenFolder);
    if (!path) {
        return -1;
    }
    state.settings.googleDir = chosenFolder.string();
    std::error_code ec;
    const bool exists = std::filesystem::exists(*path, ec);
    if (exists && host.Ask(kTitle, "File already exists, delete ?", QuestionButtons::kYesNo) !=
                      Answer::kYes) {
        return -1;
    }
    const int error = WriteFileAs(*path, document, exists);
    if (error != 0) {
        host.ShowMessage(kTitle, std::string("Could not create file\n") + std::strerror(error));
        return -1;
    }
    host.SetStatus(path->filename().string() + " written");
    return 0;
}

int SaveStatisticsLogbook(AppState& state, Host& host, std::span<const TrackPoint> points,
                          const analysis::FlightStatistics& statistics,
                          const analysis::OptimisationResults& optimisation,
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

int ConvertKmlFilesToIgc(AppState& state, Host& host) {
    FileDialogRequest request;
    request.title = kConvertKmlTitle;
    request.filters = {{"KML track log files (*.kml)", "kml"}, {"All Files", "*"}};
    request.folder = state.settings.trackLogDir;
    const std::vector<std::filesystem::path> files = host.OpenFilesDialog(request);
    if (files.empty()) {
        return -1;
    }
    state.settings.trackLogDir = files.front().parent_path().string();
    int converted = 0;
    for (const std::filesystem::path& file : files) {
        std::string text;
        if (const char* message = documents::FileReadMessage(
                ReadWholeFile(file, text), "Error opening file", "Track log file read error")) {
            host.ShowMessage(kConvertKmlTitle, file.filename().string() + ": " + message);
            continue;
        }
        TrackReadResult read;
        if (documents::ReadKmlTrackText(host, text, read) <= 0) {
            continue;  // the reader has said why, or the selection was cancelled
        }
        formats::ReadResult asRead;
        asRead.track = std::move(read.points);
        formats::WriteInput input;
        input.track = asRead.track;
        input.timesAreUtc = read.timeIsUtc;
        input.pressureAltitudePresent = read.hasPressureAltitude;
        input.fromInstrument = false;  // a conversion carries no security record
        input.downloadTime = CurrentCalendarTime();
        std::string document;
        std::string title;
        std::string message;
        if (documents::BuildTrackDocument(igc::kIgcFormat, input, state.settings.loopFlightGap,
                                          document, title, message) != 0) {
            host.ShowMessage(title, file.filename().string() + ": " + message);
            continue;
        }
        std::filesystem::path target = file;
        target.replace_extension(".igc");
        if (WriteDocumentFile(host, target, document, ExistingFile::kAsk, kConvertKmlTitle) ==
            kSaveWritten) {
            ++converted;
        }
    }
    host.ShowMessage(kConvertKmlTitle, FormatCount("% file(s) converted", converted));
    return converted;
}

}  // namespace tracora::kml
