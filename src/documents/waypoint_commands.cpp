#include "documents/waypoint_commands.hpp"

#include <algorithm>
#include <new>

#include "core/file_io.hpp"
#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "documents/file_read_messages.hpp"
#include "formats/format_registry.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::documents {

namespace {

// The open dialog's types: the content decides the reader, whichever is chosen.
const std::vector<FileFilter>& OpenFilters() {
    static const std::vector<FileFilter> filters = {
        {"Ozi/Tracora files", "wpt"},
        {"SeeYou files", "cup"},
        {"WinPilot files", "dat"},
        {"All files", "*"},
    };
    return filters;
}

}  // namespace

std::vector<const formats::FormatRecord*> WaypointSaveFormats() {
    // The waypoint formats first (the dialog's first type stays the one it always was), then
    // the files that hold tracks too (GPX, MapSource).
    std::vector<const formats::FormatRecord*> list;
    for (const bool withTracks : {false, true}) {
        for (const formats::FormatRecord* format : formats::AllFormats()) {
            if (format->holds.waypoints && format->directions.write && !format->writesAnalysis &&
                format->holds.track == withTracks) {
                list.push_back(format);
            }
        }
    }
    return list;
}

int ReadWaypointsFromFile(Host& host, const std::filesystem::path& path, bool interactive,
                          const std::string& title, std::vector<Waypoint>& out) {
    out.clear();
    std::string text;
    const FileReadStatus status = ReadWholeFile(path, text);
    if (const char* message =
            FileReadMessage(status, "Error opening waypoint file", "Waypoint file read error")) {
        host.ShowMessage(title, message);
        // An empty file counts as one without waypoints (0), the other failures as errors.
        return status == FileReadStatus::kEmpty ? 0 : -1;
    }
    waypoints::WaypointReadOptions options;
    options.readTime = CurrentTime();
    if (interactive) {
        options.askModifyId = [&host](std::string_view name) {
            return host.AskModifyWaypointId(std::string(name));
        };
    }
    waypoints::WaypointReadResult read = waypoints::ReadWaypointText(text, options);
    if (read.status <= 0) {
        // A read the user cancelled has nothing more to say.
        if (read.status != waypoints::kReadCancelled) {
            host.ShowMessage(read.title, read.message);
        }
        return read.status < 0 ? read.status : 0;
    }
    out = std::move(read.waypoints);
    return read.status;
}

int ReadWaypointFileCommand(AppState& state, Host& host, int& openFilter) {
    if (state.busy.load()) {
        host.ShowMessage(kReadWaypointFileTitle, std::string(kBusyGpsDriver));
        return 0;
    }
    FileDialogRequest request;
    request.title = kReadWaypointFileTitle;
    request.filters = OpenFilters();
    const int count = static_cast<int>(request.filters.size());
    request.filterIndex = std::clamp(openFilter, 1, count);
    request.folder = state.settings.waypointDir;
    const std::optional<FileDialogResult> chosen = host.OpenFileDialog(request);
    if (!chosen) {
        return 0;
    }
    openFilter = std::clamp(chosen->filterIndex, 1, count);
    if (chosen->path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kErrorOpeningFile, kTooLongFileName);
        return 0;
    }
    state.settings.waypointDir = chosen->path.parent_path().string();
    std::vector<Waypoint> read;
    if (ReadWaypointsFromFile(host, chosen->path, true, kReadWaypointFileTitle, read) <= 0) {
        return 0;
    }
    return InstallReadWaypoints(state, host, std::move(read));
}

int WaypointDocument(const formats::FormatRecord& format, std::span<const Waypoint> waypoints,
                     std::string& document, std::string& message) {
    formats::WriteInput input;
    input.waypoints = waypoints;
    input.downloadTime = CurrentCalendarTime();
    try {
        formats::TextBuffer out;
        if (format.write == nullptr || format.write(input, out, message) != 0) {
            if (message.empty()) {
                message = std::string(format.name) + " cannot be written";
            }
            return -1;
        }
        document = out.Take();
        return 0;
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
}

int SaveWaypointsCommand(AppState& state, Host& host, std::span<const std::size_t> rows) {
    std::vector<Waypoint> chosen;
    for (const std::size_t row : rows) {
        if (row < state.waypoints.items.size()) {
            chosen.push_back(state.waypoints.items[row]);
        }
    }
    if (chosen.empty()) {
        host.ShowMessage(kSaveWaypointsTitle, "No waypoints selected");
        return 0;
    }
    const std::vector<const formats::FormatRecord*> formats = WaypointSaveFormats();
    FileDialogRequest request;
    request.title = kSaveWaypointsTitle;
    for (const formats::FormatRecord* format : formats) {
        request.filters.push_back(
            {std::string(format->name), std::string(format->DefaultExtension())});
    }
    request.filters.push_back({"All files", "*"});
    request.folder = state.settings.waypointDir;
    const std::optional<FileDialogResult> answer = host.SaveFileDialog(request);
    if (!answer) {
        return 0;
    }
    // The type chosen decides the writer; "All files" keeps the first.
    const std::size_t index = static_cast<std::size_t>(
        std::clamp(answer->filterIndex, 1, static_cast<int>(formats.size())) - 1);
    const formats::FormatRecord& format = *formats[index];
    std::filesystem::path path = answer->path;
    if (answer->filterIndex >= 1 && answer->filterIndex <= static_cast<int>(formats.size())) {
        path = WithDefaultExtension(path, format.DefaultExtension());
    }
    if (path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kSaveWaypointsTitle, kTooLongFileName);
        return 0;
    }
    state.settings.waypointDir = path.parent_path().string();
    std::string document;
    std::string message;
    if (WaypointDocument(format, chosen, document, message) != 0) {
        host.ShowMessage(kSaveWaypointsTitle, message);
        return 0;
    }
    if (WriteDocumentFile(host, path, document, ExistingFile::kAsk, kSaveWaypointsTitle) !=
        kSaveWritten) {
        return 0;
    }
    host.SetStatus(StringPrintf("%zu waypoints written", chosen.size()));
    host.ShowMessage(kSaveWaypointsTitle, "File written");
    return static_cast<int>(chosen.size());
}

void PrepareUploadNames(WaypointUploadMode mode, std::span<Waypoint> waypoints) {
    for (Waypoint& w : waypoints) {
        const std::string id(w.Id());
        switch (mode) {
            case WaypointUploadMode::kNormal:
                break;
            case WaypointUploadMode::kOnlyName:
                if (w.Description().empty()) {
                    w.SetDescription(id);
                }
                break;
            case WaypointUploadMode::kIdAndName:
                w.SetDescription(id + " " + std::string(w.Description()));
                break;
            case WaypointUploadMode::kOnlyId:
                w.SetDescription(id);
                break;
        }
    }
}

}  // namespace tracora::documents
