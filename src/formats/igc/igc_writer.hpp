// The IGC writer: track points and header texts into the text of an IGC file, with the
// program's own security record for track logs that came straight from an instrument.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora::igc {

// The header texts; an empty text still writes its line (the label alone).
struct IgcHeaderTexts {
    std::string_view pilot;
    std::string_view competitionId;
    std::string_view gliderType;
    std::string_view gliderId;
    std::string_view gliderClass;
    std::string_view site;
    std::string_view instrument;  // the track log's instrument description
    std::string_view frSerial;    // three characters, or empty
};

struct IgcEncodeOptions {
    bool gRecordEligible = false;  // the track log came from an instrument
    bool wantSecurityRecord = false;
    bool wantEnl = false;
    CalendarTime downloadTime;
    // A conversion of a file, not a download: no "Downloaded" line (none happened), a line
    // that says so in its place, then `carriedLines` (the source's A record, kept as an L
    // record, and its L records) as they stand.
    bool converted = false;
    std::span<const std::string> carriedLines;
};

// Writes the IGC text of `points` into `out`. Returns its length in bytes, or -1 when there
// are no points or memory runs out (`out` is then empty). `securityWritten` is set when the
// track log is eligible for the G-record, whether or not one was requested.
long long EncodeIgc(std::span<const TrackPoint> points, const IgcHeaderTexts& header,
                    const IgcEncodeOptions& options, std::string& out, bool& securityWritten);

// Writes `points`, read from the IGC text `sourceText`, as a conversion of that file: its header
// values, its A record (kept as an L record) and its L records carried over, no download
// claimed and no security record (the source's cannot cover the rewritten file). Returns as
// EncodeIgc.
long long EncodeConvertedIgc(std::string_view sourceText, std::span<const TrackPoint> points,
                             std::string& out);

// The B-record of one point, without its line end.
std::string IgcBRecord(const TrackPoint& point, bool withEnl);

// "%d.%02d" of a "major.minor[.patch]" version: the version number major x 100 + minor.
std::string IgcVersionText(std::string_view version);

}  // namespace tracora::igc
