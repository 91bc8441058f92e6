// What the commands of tracora-cli share: the usage error, reading the input file with its
// messages, and JSON strings.
#pragma once

#include <string>
#include <string_view>

#include "formats/igc/igc_reader.hpp"

namespace tracora::cli {

// `text` and the hint to the help on stderr; the exit status of a usage error (2).
int UsageError(const std::string& text);

// The whole file at `path` into `text`. False after the message on stderr: "File is empty", or
// "Error opening `kind` file: " and why ("CTR", "waypoint").
bool ReadInputFile(const char* path, const char* kind, std::string& text);

// Reads and parses the IGC file at `path` (its text kept in `text`). False after the message on
// stderr: the file's read error or the parser's.
bool ReadIgcFlight(const char* path, std::string& text, igc::IgcParseResult& parsed);

// A JSON string: quotes, backslashes and control characters escaped; UTF-8 kept.
std::string JsonString(std::string_view text);

}  // namespace tracora::cli
