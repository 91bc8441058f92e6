// The Top Navigator and XC Trainer wire formats, without any I/O: the MXP track log (a header
// line and numbered position lines in hexadecimal with XOR checksums), the XC Trainer's 31-byte
// waypoint record, and the Top Navigator's text waypoint line. NOTES.md describes them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/track_log.hpp"
#include "formats/tnlog/tn_log.hpp"

namespace tracora::protocols::topnav {

// The source kind of every download of these instruments (the raw bytes are kept).
inline constexpr int kSourceKind = kSourceKindMxpTncm;
inline constexpr int kMxpBaud = 57600;
inline constexpr int kTncmBaud = 9600;
inline constexpr int kWaypointBaud = 9600;

using tnlog::LineAssembler;

// The MXP decoder of one transfer. Results as in MxpErrorText: 1 more lines follow, 0 the
// transfer is complete, negative the error number.
enum class MxpModel { kTopNavigator, kXcTrainer };

struct MxpHeader {
    std::string firmware;  // F1 F2 F3 F4
    int serial = 0;
    CalendarTime start;
    int positions = 0;
    int interval = 0;
    int altitudeFormat = 1;  // 0 pressure, 1 GPS, 2 both
};

class MxpDecoder {
public:
    MxpDecoder(MxpModel model, int utcOffsetSeconds)
        : model_(model), utcOffset_(utcOffsetSeconds) {}

    // `text` without CR LF. 1 positions follow, 0 none announced, negative an error.
    int ParseHeader(std::string_view text);
    // 1 more follow, 0 the last announced position stored, negative an error; `point` is
    // filled when the result is not negative.
    int ParsePosition(std::string_view text, TrackPoint& point);

    bool HeaderSeen() const { return headerSeen_; }
    const MxpHeader& Header() const { return header_; }
    int Received() const { return received_; }
    // "Top Navigator V1.234, S/N 4660" or "XC Trainer V1.23-45, S/N 4660".
    std::string Description() const;

private:
    MxpModel model_;
    int utcOffset_;
    MxpHeader header_;
    bool headerSeen_ = false;
    std::uint32_t startTime_ = 0;
    std::uint32_t dayOffset_ = 0;
    std::uint32_t previousOffset_ = 0;
    bool firstRecord_ = true;
    int expectedRecord_ = 0;
    int received_ = 0;
};

// "E202 ..." for a negative decoder result.
std::string MxpErrorText(int result);

// The identifier of a header: "@tn" or "@xc".
std::string_view MxpIdentifier(MxpModel model);

// The lines an instrument sends (for the emulator and tests), without CR LF. Latitude and
// longitude in 1/24000 degree, altitudes in metres.
struct MxpPosition {
    int record = 0;
    std::uint16_t timeOffset = 0;
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::int16_t altitudeA = 0;
    std::int16_t altitudeB = 0;
};
std::string EncodeMxpHeader(MxpModel model, const MxpHeader& header);
std::string EncodeMxpPosition(const MxpPosition& position, int altitudeFormat);

// The XOR of the characters of `text`.
std::uint8_t XorOf(std::string_view text);

using tnlog::Deg6000ToSemicircles;
using tnlog::HexValue;
using tnlog::RoundAway;
using tnlog::SignExtend;

// Units to semicircles: 1/24000 degree (MXP) and 1/6000 degree (XC Trainer, TNCM).
std::int32_t Mxp24000ToSemicircles(std::int32_t value);
// Semicircles to 1/6000 degree as the uploads write them: the magnitude rounded half up.
std::int32_t SemicirclesToDeg6000(std::int32_t semicircles);

// ---------------------------------------------------------------- XC Trainer waypoint record

inline constexpr std::size_t kWaypointRecordSize = 31;
using WaypointRecord = std::array<std::uint8_t, kWaypointRecordSize>;
inline constexpr std::string_view kWaypointAck = "@@OK";

// 0, or the negative format error: -2 checksum, -3/-4 '@', -5 'W', -6 'P'. `time` becomes the
// waypoint's time.
int DecodeWaypointRecord(const WaypointRecord& record, std::uint32_t time, Waypoint& out);
// The record an upload writes (and the XC Trainer sends in a download).
WaypointRecord EncodeWaypointRecord(const Waypoint& waypoint);

// ---------------------------------------------------------------- Top Navigator waypoint line

// One line of the Top Navigator's waypoint list; false for a comment, an empty line or a line
// that does not parse (it is still answered).
bool ParseTnWaypointLine(std::string_view line, std::uint32_t time, Waypoint& out);
// The line the instrument sends for a waypoint.
std::string FormatTnWaypointLine(const Waypoint& waypoint);

}  // namespace tracora::protocols::topnav
