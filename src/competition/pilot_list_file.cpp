#include "competition/pilot_list_file.hpp"

#include <new>

#include "competition/pilot_list_reader.hpp"
#include "core/file_io.hpp"
#include "core/save_file.hpp"

namespace tracora::competition {

int ReadPilotListFile(Host& host, const std::string& path, PilotList& list,
                      const PilotListReadOptions& options) {
    std::string text;
    int error = 0;
    const FileReadStatus status = ReadWholeFile(path, text, &error);
    switch (status) {
        case FileReadStatus::kOk:
            break;
        case FileReadStatus::kEmpty:
            host.ShowMessage(kReadPilotListTitle, "Database file is empty");
            return -1;
        case FileReadStatus::kNoMemory:
            host.ShowMessage(kReadPilotListTitle, "File buffer memory allocation");
            return -1;
        case FileReadStatus::kReadError:
            host.ShowMessage(kReadPilotListTitle,
                             "Database file read error\n" + FileReadErrorText(status, error));
            return -1;
        case FileReadStatus::kAbsent:
        case FileReadStatus::kCannotOpen:
        case FileReadStatus::kTooLarge:
            host.ShowMessage(kReadPilotListTitle, "Error opening database file\n" + path + ": " +
                                                      FileReadErrorText(status, error));
            return -1;
    }
    PilotListRead read;
    if (ReadPilotListText(text, read) < 0) {
        host.ShowMessage(read.title, read.message);
        return -1;
    }
    if (options.askBeforeReplacing && !list.pilots.empty() &&
        host.Ask(kDecodingPilotListTitle, "Current list will be overwritten, continue ?",
                 QuestionButtons::kYesNo) != Answer::kYes) {
        return -1;
    }
    list.pilots = std::move(read.pilots);
    return static_cast<int>(list.pilots.size());
}

int ReadPilotListWithDialog(Host& host, Settings& settings, PilotList& list, bool commandLineRun) {
    FileDialogRequest request;
    request.title = kReadPilotListTitle;
    request.filters = {{"FS Database files", "fsdb"}, {"All files", "*"}};
    request.folder = settings.pilotListDir;
    const std::optional<FileDialogResult> chosen = host.OpenFileDialog(request);
    if (!chosen) {
        return 0;
    }
    std::filesystem::path path = chosen->path;
    if (chosen->filterIndex == 1) {
        path = WithDefaultExtension(path, "fsdb");
    }
    if (path.native().size() >= 256) {
        host.ShowMessage(kErrorOpeningFile, "Too long file name");
        return -1;
    }
    settings.pilotListDir = path.parent_path().string();
    settings.pilotListName = path.string();
    PilotListReadOptions options;
    options.askBeforeReplacing = !commandLineRun;
    return ReadPilotListFile(host, path.string(), list, options);
}

int SavePilotListCsv(Host& host, Settings& settings, const PilotList& list) {
    const std::string title = "Save pilot list";
    if (list.pilots.empty()) {
        host.ShowMessage(title, "No pilot list stored");
        return -1;
    }
    std::string text;
    try {
        text = PilotListCsvText(list.pilots);
    } catch (const std::bad_alloc&) {
        host.ShowMessage(title, "Memory allocation error");
        return -1;
    }
    SaveFileRequest request;
    request.title = title;
    request.filters = {{"Pilot list files", "csv"}, {"All files", "*"}};
    request.folder = settings.pilotListDir;
    std::filesystem::path folder;
    const std::optional<std::filesystem::path> path = AskSavePath(host, request, &folder);
    if (!path) {
        return -1;
    }
    settings.pilotListDir = folder.string();
    return WriteDocumentFile(host, *path, text, ExistingFile::kAsk, title) == kSaveWritten ? 0 : -1;
}

}  // namespace tracora::competition
