// Reading whole files into memory.
#pragma once

#include <filesystem>
#include <string>

namespace tracora {

enum class FileReadStatus { kOk, kCannotOpen, kReadError, kEmpty, kNoMemory };

// Reads the whole file as bytes.
FileReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& out);

}  // namespace tracora
