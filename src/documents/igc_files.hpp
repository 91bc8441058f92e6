// Reading and checking IGC files for the commands: the file read with its messages, the parsed
// track handed over as a track log read result, and the security check of a chosen file.
#pragma once

#include <filesystem>
#include <string_view>

#include "core/host.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "formats/igc/igc_names.hpp"

namespace tracora::igc {

// A TrackFileReaderFn: ParseIgc, then the text kept as the raw IGC log. On failure the
// parser's error is shown titled "Reading IGC log file" and -1 returned.
int ReadIgcText(Host& host, std::string_view text, TrackReadResult& out);

// Reads an .igc file named by the command line (".igc" already appended) with the file
// messages of the command line. Returns the count, or -1 after a message.
int ReadIgcFile(Host& host, const std::filesystem::path& path, TrackReadResult& out);

// "Verify IGC log from Tracora" after the open dialog: reads the file and shows the outcome.
// Returns kSecurityPassed, kSecurityNoRecord, kSecurityFailed, or -2 on a file error.
int VerifyIgcFile(Host& host, const std::filesystem::path& path);
// The menu command with its open dialog starting in `folder`. Returns as VerifyIgcFile, or -3
// when the dialog was cancelled.
int VerifyIgcLog(Host& host, const std::filesystem::path& folder);

// Saves the IGC `text` in `folder` (ending in a separator) under the generated name with the
// day's first free flight number; with `overwrite` the first name is replaced instead. 0 with
// `path` set, or -1 with `message` set ("Too long file name", the open error with the path,
// "No free flight number available").
int SaveIgcInFolder(std::string_view folder, IgcNameKind kind, const CalendarTime& date,
                    std::string_view serial, const std::string& text, bool overwrite,
                    std::string& path, std::string& message);

inline constexpr const char* kReadingIgcTitle = "Reading IGC log file";

}  // namespace tracora::igc
