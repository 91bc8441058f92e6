// The IGC reader: B-records into track points, the recorder's manufacturer and serial number
// from the A-record. The G-record is never checked here (see igc_security.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"

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

// What a conversion carries over from a source file besides its positions: the header values
// (the text after the first ':' of the HxPLT, HxGTY, HxGID, HxCID, HxCCL and HxSIT lines), the
// A record and the L records, as they stand.
struct IgcSourceHeader {
    std::string pilot;
    std::string gliderType;
    std::string gliderId;
    std::string competitionId;
    std::string gliderClass;
    std::string site;
    std::string aRecord;
    std::vector<std::string> lRecords;
};
IgcSourceHeader ReadIgcSourceHeader(std::string_view text);

}  // namespace tracora::igc
