// Reading whole files into memory and replacing files atomically.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tracora {

enum class FileReadStatus { kOk, kAbsent, kCannotOpen, kReadError, kEmpty, kNoMemory, kTooLarge };

// Largest file read whole: far beyond any real flight log (a day at one fix a second is a few
// MiB), small enough that a huge or endless file is refused before it fills the memory.
inline constexpr std::size_t kMaxReadFileBytes = std::size_t{64} * 1024 * 1024;

// Reads the whole of a regular file as bytes; a file larger than `maxBytes` is refused
// (kTooLarge) from its size, before anything is read. Something else in place of the file (a
// folder, a pipe, a device) cannot be opened as one, and never blocks. `errorNumber`, when given,
// receives the errno behind a failure. `out` is only written on kOk.
FileReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& out,
                             int* errorNumber = nullptr, std::size_t maxBytes = kMaxReadFileBytes);

// Words a pilot understands for a failed ReadWholeFile: "not a regular file (a pipe, a device
// or a socket)", "larger than 64 MiB, far beyond any flight log", or the system's text.
std::string FileReadErrorText(FileReadStatus status, int errorNumber);

// Writes `content` to a temporary file beside `target`, flushes it to disk and renames it over
// `target`, so that a reader sees either the old file or the new one, never a part. The folder
// is created when missing; a replaced file keeps its permissions, a new one is private to the
// user. Returns 0 or an errno value; on failure the old file is untouched and no temporary file
// is left behind.
int ReplaceFileAtomically(const std::filesystem::path& target, std::string_view content);

// Creates `target` with `content` only when no file of that name exists: the content is written
// to a temporary file beside it and linked into place, so the file appears whole or not at all.
// Returns 0, EEXIST when the name is taken, or another errno value.
int CreateFileAtomically(const std::filesystem::path& target, std::string_view content);

// Writes all of `data`, retrying after interruptions. False with errno set on failure.
bool WriteAll(int fd, std::string_view data);

}  // namespace tracora
