// The block-structured track log of the Top Navigator and the XC Trainer, as the instruments
// send it and as a Top Navigator log file holds it: a start record, blocks of 30 seconds (a
// block line with the time of day, then one position line per second) and "@EOF". Pure: lines
// in, points out; the serial download and the file reader feed it the same way.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"

namespace tracora::tnlog {

// Local time minus UTC in seconds, subtracted from every Top Navigator time. Process-wide: the
// window's dialog sets it while no job runs, and the settings store keeps it.
int TnUtcOffset();
void SetTnUtcOffset(int seconds);

// The offset as its dialog shows it: whole hours from 12 down to -12 and a half hour more
// (away from zero). The hours of an offset are its whole hours; the half hour is chosen when
// the offset is an odd multiple of 1800 seconds.
struct UtcOffsetChoice {
    int hours = 0;
    bool halfHour = false;
};
UtcOffsetChoice UtcOffsetToChoice(int seconds);
int UtcOffsetFromChoice(const UtcOffsetChoice& choice);

// Collects one line: CR ends the text, LF ends the line. At most 99 characters including the
// CR and LF.
class LineAssembler {
public:
    static constexpr std::size_t kMaxLength = 99;
    enum Result { kGoesOn = 1, kComplete = 0, kTooLong = -1 };

    Result Feed(std::uint8_t byte);
    // The text of the completed line, without CR and LF.
    const std::string& Text() const { return text_; }
    // Characters received for the line, CR and LF counted.
    std::size_t Length() const { return length_; }
    void Reset();

private:
    std::string text_;
    std::size_t length_ = 0;
    bool ended_ = false;  // CR seen: the text is complete
    bool complete_ = false;
};

// Hex digits (0-9, A-F, a-f; at most 8) to a value; nothing for any other character.
std::optional<std::uint32_t> HexValue(std::string_view digits);
// The value of `bits` bits as a two's complement number.
std::int32_t SignExtend(std::uint32_t value, int bits);
// Rounded half away from zero.
std::int32_t RoundAway(double value);
// 1/6000 degree to semicircles.
std::int32_t Deg6000ToSemicircles(std::int32_t value);

// The parser of one log.
class TnLogParser {
public:
    // `readsFormat`: the start record's altitude format character is read (the XC Trainer);
    // otherwise the log holds GPS altitudes only (the Top Navigator).
    TnLogParser(bool readsFormat, int utcOffsetSeconds)
        : readsFormat_(readsFormat), utcOffset_(utcOffsetSeconds) {}

    // One line without CR LF: 1 go on, 0 "@EOF" reached (the last block stored), negative an
    // error: -1 a bad first block line, -2 blocks closer than 30 s, -3 more than 40 lines in a
    // block, -10 to -14 a flush error at "@EOF", -20 to -24 one at a block line.
    int ProcessLine(std::string_view line);

    // The points stored so far, the first one starting a segment.
    const std::vector<TrackPoint>& Points() const { return points_; }
    std::vector<TrackPoint> TakePoints() { return std::move(points_); }
    int ErrorBlocks() const { return errorBlocks_; }
    bool StartSeen() const { return stage_ > 0; }
    int AltitudeFormat() const { return format_; }
    // The start record's 4 hexadecimal digits (characters 5-8).
    int UnitNumber() const { return unitNumber_; }

    // The parts, for tests.
    int ParseStart(std::string_view line);
    int ParseBlockLine(std::string_view line, std::uint32_t& secondsOfDay) const;
    int ParsePosition(std::string_view line, TrackPoint& point) const;

private:
    int Flush(bool atEnd);
    void Store(const TrackPoint& line, std::uint32_t time);

    bool readsFormat_;
    int utcOffset_;
    int stage_ = 0;
    int format_ = 1;
    int unitNumber_ = 0;
    std::uint32_t startDate_ = 0;
    std::uint32_t blockTime_ = 0;
    std::uint32_t dayOffset_ = 0;
    std::vector<std::optional<TrackPoint>> block_;
    int errorBlocks_ = 0;
    std::vector<TrackPoint> points_;
};

// A Top Navigator log file read whole. On success the points (times not UTC, no signature);
// otherwise no points and the message: "Error %d on line %d", "Error %d on block line %d",
// "Missing start record" or "Missing end-of-file record".
struct TnFileResult {
    std::vector<TrackPoint> points;
    std::string message;
};
TnFileResult ReadTnLogFile(std::string_view bytes, int utcOffsetSeconds);

// The lines of a log (for the emulator and tests), without CR LF. Latitudes and longitudes in
// 1/6000 degree, altitudes in metres.
std::string EncodeTnStart(int altitudeFormat, int unitNumber, int year, int month, int day);
std::string EncodeTnBlockLine(std::uint32_t secondsOfDay);
std::string EncodeTnPosition(std::int32_t latitude, std::int32_t longitude, int altitudeA,
                             int altitudeB, int altitudeFormat);

}  // namespace tracora::tnlog
