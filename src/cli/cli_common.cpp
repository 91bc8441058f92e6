#include "cli/cli_common.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/file_io.hpp"
#include "core/strings.hpp"

namespace tracora::cli {

int UsageError(const std::string& text) {
    std::fprintf(stderr, "tracora-cli: %s\nTry 'tracora-cli --help'.\n", text.c_str());
    return 2;
}

bool ReadInputFile(const char* path, const char* kind, std::string& text) {
    int errorNumber = 0;
    const FileReadStatus status = ReadWholeFile(path, text, &errorNumber);
    if (status == FileReadStatus::kEmpty) {
        std::fprintf(stderr, "tracora-cli: %s: File is empty\n", path);
        return false;
    }
    if (status != FileReadStatus::kOk) {
        std::fprintf(stderr, "tracora-cli: %s: Error opening %s file: %s\n", path, kind,
                     std::strerror(errorNumber != 0 ? errorNumber : EIO));
        return false;
    }
    return true;
}

bool ReadIgcFlight(const char* path, std::string& text, igc::IgcParseResult& parsed) {
    int errorNumber = 0;
    const FileReadStatus status = ReadWholeFile(path, text, &errorNumber);
    if (status != FileReadStatus::kOk) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", path,
                     FileReadErrorText(status, errorNumber).c_str());
        return false;
    }
    if (igc::ParseIgc(text, parsed) <= 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", path, parsed.error.c_str());
        return false;
    }
    return true;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += StringPrintf("\\u%04X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace tracora::cli
