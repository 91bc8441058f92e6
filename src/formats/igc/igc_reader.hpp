// The IGC reader: B-records into track points, the recorder's manufacturer and serial number
// from the A-record. The G-record is never checked here (see igc_security.hpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/host.hpp"
#include "core/track_log.hpp"
#include "core/track_store.hpp"

namespace tracora::igc {

struct IgcParseResult {
    std::vector<TrackPoint> points;
    std::string manufacturer;  // three characters
    std::string serial;        // three characters, "000" when the A-record has none
    std::string error;         // one line, set on failure
};

// Parses IGC text. Returns the number of points, or 0 with `out.error` set (and no points).
int ParseIgc(std::string_view text, IgcParseResult& out);

// What the name proposals of a raw IGC log need: the recorder's manufacturer code and serial
// number and the time of the first position. Returns 0, or -1 when the text does not parse.
struct RawIgcDetails {
    std::string manufacturer;
    std::string serial;
    std::uint32_t firstTime = 0;
};
int ReadRawIgcDetails(std::string_view text, RawIgcDetails& out);

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

inline constexpr const char* kReadingIgcTitle = "Reading IGC log file";

}  // namespace tracora::igc
