#include "formats/igc/igc_format.hpp"

#include <new>
#include <utility>

#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_writer.hpp"

namespace tracora::igc {
namespace {

constexpr std::string_view kExtensions[] = {"igc"};

formats::ReadResult ReadIgc(std::string_view text) {
    formats::ReadResult result;
    IgcParseResult parsed;
    if (ParseIgc(text, parsed) <= 0) {
        result.status = -1;
        result.message = std::move(parsed.error);
        return result;
    }
    result.status = static_cast<int>(parsed.points.size());
    result.track = std::move(parsed.points);
    // B-records carry UTC times.
    result.timesAreUtc = true;
    for (const TrackPoint& point : result.track) {
        if (point.pressureAltitude != 0) {
            result.pressureAltitudePresent = true;
            break;
        }
    }
    return result;
}

int WriteIgc(const formats::WriteInput& input, formats::TextBuffer& out, std::string& message) {
    IgcHeaderTexts header;
    if (input.instrument) {
        header.instrument = *input.instrument;
    }
    IgcEncodeOptions options;
    options.gRecordEligible = input.fromInstrument;
    options.wantSecurityRecord = input.fromInstrument;
    options.downloadTime = input.downloadTime;
    std::string text;
    bool securityWritten = false;
    if (EncodeIgc(input.track, header, options, text, securityWritten) <= 0) {
        message = input.track.empty() ? "No positions" : "Memory allocation error";
        return -1;
    }
    try {
        out.AppendDocument(std::move(text));
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return -1;
    }
    return 0;
}

}  // namespace

const formats::FormatRecord kIgcFormat{
    .id = "igc",
    .name = "IGC files",
    .extensions = kExtensions,
    .holds = {.track = true},
    .directions = {.read = true, .write = true},
    .read = &ReadIgc,
    .write = &WriteIgc,
};

}  // namespace tracora::igc
