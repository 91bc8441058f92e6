#include "formats/tnlog/tnlog_format.hpp"

#include "formats/tnlog/tn_log.hpp"

namespace tracora::tnlog {

namespace {

constexpr std::string_view kExtensions[] = {"tnl"};

// The whole file through the same parser as the serial download, with the UTC offset of the
// Top Navigator's local clock. Times are not UTC, and there is no signature.
formats::ReadResult ReadTnLog(std::string_view text) {
    formats::ReadResult result;
    TnFileResult read = ReadTnLogFile(text, TnUtcOffset());
    if (read.points.empty()) {
        result.status = -1;
        result.message = read.message.empty() ? "No points detected" : read.message;
        return result;
    }
    result.status = static_cast<int>(read.points.size());
    result.track = std::move(read.points);
    result.timesAreUtc = false;
    result.pressureAltitudePresent = false;
    return result;
}

}  // namespace

const formats::FormatRecord kTnLogFormat{
    .id = "tnlog",
    .name = "Top Navigator log files",
    .extensions = kExtensions,
    .holds = {.track = true},
    .directions = {.read = true, .write = false},
    .read = &ReadTnLog,
    .write = nullptr,
};

}  // namespace tracora::tnlog
