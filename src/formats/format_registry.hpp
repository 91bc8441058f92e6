// The registry of file formats: every format the program knows, in the order the dialogs and
// `tracora-cli formats` list them. The dialogs' filters, the command line's outputs and
// `tracora-cli convert` walk this list; none keeps a list of its own.
//
// Adding a format:
//  1. A folder src/formats/<format>/ with its reader and/or writer: text in memory in, a
//     ReadResult out; a document appended to a TextBuffer. No Host, no questions, no analysis.
//  2. One constant FormatRecord in that folder (<format>_format.hpp/.cpp): id, name as the
//     dialogs show it, extensions, what it holds, its directions and the functions that go
//     with them.
//  3. One line in kFormats in format_registry.cpp.
//  4. One build line: the folder's sources in src/formats/CMakeLists.txt.
//  5. Tests: the registry test checks the record's invariants and round-trips every format
//     that reads and writes; add the format's own reader and writer tests in tests/formats.
#pragma once

#include <filesystem>
#include <span>
#include <string_view>

#include "formats/format_record.hpp"

namespace tracora::formats {

// All formats, in listing order.
std::span<const FormatRecord* const> AllFormats();

// The format of that id, ignoring case; null when none.
const FormatRecord* FindFormat(std::string_view id);

// The format whose extension the file name ends with, ignoring case; null when none.
const FormatRecord* FormatForPath(const std::filesystem::path& path);

}  // namespace tracora::formats
