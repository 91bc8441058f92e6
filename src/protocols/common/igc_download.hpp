// Receiving a track log that an instrument sends as IGC text: the parser of one received line
// into the download's state and points, and the byte receiver that cuts the stream into lines
// and keeps the text byte for byte, so that the instrument's own file can be saved unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"

namespace tracora::protocols {

// What the lines of one track have set so far.
struct IgcDownloadState {
    std::vector<TrackPoint> points;
    std::uint32_t date = 0;       // midnight of the last HFDTE date, 0 = none yet
    std::uint32_t dayOffset = 0;  // seconds added for midnight crossings
    int previousTimeOfDay = 0;    // of the previous B record, seconds
    std::uint32_t trackStart = 0;
    int gRecordCount = 0;
    std::string manufacturer;  // A record columns 1-3, empty until an A record came
    std::string loggerId;      // A record columns 4-6

    static constexpr std::size_t kFirstCapacity = 2000;
};

// Parses one line as received (record letter at column 0, its CR still there). 0, or a
// negative code: -1 to -5 bad HFDTE date (year, month, month range, day, day range); -7
// altitude; -8 to -12 longitude (thousandths, minutes, degrees, degrees above 179, hemisphere);
// -13 to -17 latitude (the same, degrees above 89); -18 to -23 time (seconds, above 59,
// minutes, above 59, hours, above 23); -24 B record shorter than 35; -25 a B record before any
// HFDTE date; -28 A record shorter than 7; -29 A record codes not letters or digits. The date
// header is accepted as "HFDTEddmmyy" and as "HFDTEDATE:ddmmyy" (with ",nn" or not).
int ParseIgcDownloadLine(std::string_view line, IgcDownloadState& state);

// Cuts received bytes into IGC lines, parses them, and keeps every byte it is fed.
class IgcReceiver {
public:
    enum class Event {
        kNone,           // byte taken
        kLineParsed,     // a line ended and was parsed
        kBadRecordType,  // a line starts with something other than 'A'-'Z': BadByte()
        kLineTooLong,    // a line passed kMaxLineLength characters
        kFormatError,    // ParseIgcDownloadLine failed: FormatCode() is its code, negated
    };

    // Record letter plus this many further characters at most (the line's CR counted).
    static constexpr std::size_t kMaxLineLength = 81;

    IgcReceiver();

    // A new track: the line and the state of the previous track are forgotten; the raw text
    // and the line count go on.
    void StartTrack();
    // One received byte (the flow-control bytes already dropped).
    Event Feed(std::uint8_t byte);

    // Whether the last line fed has not ended yet (bytes since the last LF).
    bool InsideLine() const { return !line_.empty(); }
    // The line not ended yet, as received so far.
    const std::string& PendingLine() const { return line_; }

    int FormatCode() const { return formatCode_; }
    std::uint8_t BadByte() const { return badByte_; }
    int LineFeeds() const { return lineFeeds_; }

    IgcDownloadState& State() { return state_; }
    const IgcDownloadState& State() const { return state_; }
    // Every byte fed, in arrival order.
    std::string& RawText() { return raw_; }

private:
    IgcDownloadState state_;
    std::string line_;
    std::string raw_;
    int formatCode_ = 0;
    std::uint8_t badByte_ = 0;
    int lineFeeds_ = 1;
};

// A track that an instrument ends by falling silent may have been cut off by a frozen unit or a
// loose cable just as well. It counts as whole when its last line ended, and, where the
// instrument's flight list gave the flight's duration, when its fixes span that duration to
// within this tolerance: instruments close a flight in their list some time after the last fix
// they log (landing detection, logging intervals of up to a minute), never minutes later.
inline constexpr std::uint32_t kListedDurationToleranceSeconds = 300;

// Why the track in `receiver` is not whole, in words a pilot understands, or empty when it is.
// A last line that is a G record without its line end is taken as whole: the flight data is
// complete, and the security check judges the record. `listedDurationSeconds` 0 = no list.
std::string IncompleteTrackText(const IgcReceiver& receiver, std::uint32_t listedDurationSeconds);

}  // namespace tracora::protocols
