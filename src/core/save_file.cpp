#include "core/save_file.hpp"

#include <cerrno>
#include <cstring>

#include "core/file_io.hpp"

namespace tracora {

std::filesystem::path WithDefaultExtension(const std::filesystem::path& path,
                                           std::string_view extension) {
    if (path.has_extension() || extension.empty() || !path.has_filename()) {
        return path;
    }
    std::filesystem::path out = path;
    out += ".";
    out += std::string(extension);
    return out;
}

std::optional<std::filesystem::path> AskSavePath(Host& host, const SaveFileRequest& request,
                                                 std::filesystem::path* folderOut) {
    FileDialogRequest dialog;
    dialog.title = request.title;
    dialog.filters = request.filters;
    dialog.filterIndex = 1;
    dialog.folder = request.folder;
    dialog.proposedName = request.proposedName;
    const std::optional<FileDialogResult> chosen = host.SaveFileDialog(dialog);
    if (!chosen) {
        return std::nullopt;
    }
    std::filesystem::path path = chosen->path;
    if (chosen->filterIndex == 1 && !request.filters.empty()) {
        path = WithDefaultExtension(path, request.filters.front().extension);
    }
    if (path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kErrorOpeningFile, kTooLongFileName);
        return std::nullopt;
    }
    if (folderOut != nullptr) {
        *folderOut = path.parent_path();
    }
    return path;
}

std::string SaveErrorText(std::string_view lead, const std::filesystem::path& path, int error) {
    return std::string(lead) + "\n" + path.string() + ": " + std::strerror(error);
}

int WriteDocumentFile(Host& host, const std::filesystem::path& path, std::string_view content,
                      ExistingFile existing, const std::string& errorTitle) {
    int error = 0;
    if (existing == ExistingFile::kOverwrite) {
        error = ReplaceFileAtomically(path, content);
    } else {
        error = CreateFileAtomically(path, content);
        if (error == EEXIST) {
            if (existing == ExistingFile::kRefuse ||
                host.Ask(kFileCreationTitle, kFileExistsQuestion, QuestionButtons::kYesNo) !=
                    Answer::kYes) {
                return kSaveDeclined;
            }
            error = ReplaceFileAtomically(path, content);
        }
    }
    if (error != 0) {
        host.ShowMessage(errorTitle, SaveErrorText(kErrorOpeningFile, path, error));
        return kSaveFailed;
    }
    return kSaveWritten;
}

}  // namespace tracora
