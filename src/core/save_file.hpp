// The way every save command saves a file: the save dialog with a proposed name and the
// document's type first, the extension appended when none was typed, the name length check,
// creation as a new file with the question before an existing one is replaced, and the write
// through a temporary file so that a failure never leaves a partial document.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/host.hpp"

namespace tracora {

struct SaveFileRequest {
    std::string title;                // the save dialog's title
    std::vector<FileFilter> filters;  // the document's type first
    std::filesystem::path folder;     // where the dialog starts
    std::string proposedName;         // empty: none proposed
};

// Longest path a save command accepts.
inline constexpr std::size_t kMaxSavePathLength = 256;

// The path the user chose, the first filter's extension appended when the name has none and
// that filter is selected. Nothing when cancelled, or after "Too long file name" (title
// "Error opening file"). `folderOut` receives the folder of the chosen file, to be remembered.
std::optional<std::filesystem::path> AskSavePath(Host& host, const SaveFileRequest& request,
                                                 std::filesystem::path* folderOut = nullptr);

// The path with `extension` (without dot) appended when its file name has no extension.
std::filesystem::path WithDefaultExtension(const std::filesystem::path& path,
                                           std::string_view extension);

inline constexpr int kSaveWritten = 1;
inline constexpr int kSaveDeclined = 0;  // the user kept the existing file
inline constexpr int kSaveFailed = -1;   // a message was shown

enum class ExistingFile { kAsk, kOverwrite, kRefuse };

// Writes `content` as a new file. An existing file is replaced after the question "File already
// exists, overwrite ?" (title "File creation"), replaced without it, or left (kSaveDeclined),
// as `existing` says. A failure shows "Error opening file" and the system's error text under
// `errorTitle`. The old file stays whole until the new one is complete.
int WriteDocumentFile(Host& host, const std::filesystem::path& path, std::string_view content,
                      ExistingFile existing, const std::string& errorTitle);

// `lead` (e.g. "Error opening file"), then the path that could not be written and the
// system's reason on the next line.
std::string SaveErrorText(std::string_view lead, const std::filesystem::path& path, int error);

inline constexpr const char* kFileExistsQuestion = "File already exists, overwrite ?";
inline constexpr const char* kFileCreationTitle = "File creation";
inline constexpr const char* kTooLongFileName = "Too long file name";
inline constexpr const char* kErrorOpeningFile = "Error opening file";

}  // namespace tracora
