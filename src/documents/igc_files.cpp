#include "documents/igc_files.hpp"

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "core/file_io.hpp"
#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_security.hpp"

namespace tracora::igc {
namespace {

std::string WithSystemError(const char* text, int errorNumber) {
    return std::string(text) + "\n" + std::strerror(errorNumber);
}

}  // namespace

int ReadIgcText(Host& host, std::string_view text, TrackReadResult& out) {
    IgcParseResult parsed;
    if (ParseIgc(text, parsed) <= 0) {
        host.ShowMessage(kReadingIgcTitle, parsed.error);
        return -1;
    }
    out.points = std::move(parsed.points);
    out.timeIsUtc = true;
    out.hasPressureAltitude = false;
    for (const TrackPoint& point : out.points) {
        if (point.pressureAltitude != 0) {
            out.hasPressureAltitude = true;
            break;
        }
    }
    out.signatureOk = false;
    try {
        out.rawIgc.text.assign(text);
    } catch (const std::bad_alloc&) {
        out.rawIgc.text.clear();  // the points are still returned
    }
    return static_cast<int>(out.points.size());
}

int ReadIgcFile(Host& host, const std::filesystem::path& path, TrackReadResult& out) {
    // Any path the system can open; its own limit is PATH_MAX.
    constexpr std::size_t kMaxPath = PATH_MAX - 1;
    if (path.native().size() > kMaxPath) {
        host.ShowMessage(kReadingIgcTitle, "File name too long");
        return -1;
    }
    std::string text;
    int errorNumber = 0;
    switch (ReadWholeFile(path, text, &errorNumber)) {
        case FileReadStatus::kOk:
            break;
        case FileReadStatus::kEmpty:
            host.ShowMessage(kReadingIgcTitle, "File is empty");
            return -1;
        case FileReadStatus::kNoMemory:
            host.ShowMessage(kReadingIgcTitle, WithSystemError("Memory allocation error", ENOMEM));
            return -1;
        case FileReadStatus::kTooLarge:
            host.ShowMessage(kReadingIgcTitle, path.string() + ": " +
                                                   FileReadErrorText(FileReadStatus::kTooLarge, 0));
            return -1;
        case FileReadStatus::kReadError:
            host.ShowMessage(kReadingIgcTitle,
                             WithSystemError("IGC track log file read error", errorNumber));
            return -1;
        case FileReadStatus::kAbsent:
        case FileReadStatus::kCannotOpen:
            // The path and, for a pipe or a folder, what it is instead of a flight log.
            host.ShowMessage(kReadingIgcTitle,
                             std::string("Error opening file\n") + path.string() + ": " +
                                 (errorNumber == EINVAL || errorNumber == EISDIR
                                      ? FileReadErrorText(FileReadStatus::kCannotOpen, errorNumber)
                                      : std::strerror(errorNumber != 0 ? errorNumber : ENOENT)));
            return -1;
    }
    return ReadIgcText(host, text, out);
}

int VerifyIgcFile(Host& host, const std::filesystem::path& path) {
    std::string text;
    int errorNumber = 0;
    switch (ReadWholeFile(path, text, &errorNumber)) {
        case FileReadStatus::kOk:
            break;
        case FileReadStatus::kEmpty:
            host.ShowMessage("Reading track log file", "File is empty");
            return -2;
        case FileReadStatus::kNoMemory:
        case FileReadStatus::kTooLarge:
            host.ShowMessage("Read track log",
                             WithSystemError("File buffer memory allocation", ENOMEM));
            return -2;
        case FileReadStatus::kReadError:
            host.ShowMessage("Read track log",
                             WithSystemError("Track log file read error", errorNumber));
            return -2;
        case FileReadStatus::kAbsent:
        case FileReadStatus::kCannotOpen:
            host.ShowMessage("Read track log",
                             WithSystemError("Error opening track log file",
                                             errorNumber != 0 ? errorNumber : ENOENT));
            return -2;
    }
    const int result = VerifyIgcSecurity(text);
    host.ShowMessage(kSecurityCheckTitle, result == kSecurityPassed     ? kSecurityPassedText
                                          : result == kSecurityNoRecord ? kNoSecurityRecordText
                                                                        : kSecurityFailedText);
    return result;
}

int VerifyIgcLog(Host& host, const std::filesystem::path& folder) {
    FileDialogRequest request;
    request.title = "Read track log";
    request.filters = {FileFilter{"IGC track log files", "igc"}};
    request.folder = folder;
    const std::optional<FileDialogResult> chosen = host.OpenFileDialog(request);
    if (!chosen) {
        return -3;
    }
    return VerifyIgcFile(host, chosen->path);
}

int SaveIgcInFolder(std::string_view folder, IgcNameKind kind, const CalendarTime& date,
                    std::string_view serial, const std::string& text, bool overwrite,
                    std::string& path, std::string& message) {
    for (int flight = 1; flight <= kMaxFlightNumber; ++flight) {
        if (IgcLogPath(folder, kind, date, serial, flight, path) != 0) {
            message = "Too long file name";
            return -1;
        }
        const int error =
            overwrite ? ReplaceFileAtomically(path, text) : CreateFileAtomically(path, text);
        if (error == 0)
            return 0;
        if (error != EEXIST) {
            message = SaveErrorText(overwrite ? "File open error" : kErrorOpeningFile, path, error);
            return -1;
        }
    }
    message = "No free flight number available";
    return -1;
}

}  // namespace tracora::igc
