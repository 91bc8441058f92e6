// The IQ Basic / Flytec 6015 command lines and answers without any I/O: the RPA_/ACT_
// commands, the little-endian hexadecimal values of the RPA_ answers, the track list and
// waypoint lines, the waypoint upload line, and the instrument-side encoders the emulator
// builds its answers from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora::protocols::iqbasic {

inline constexpr int kBaud = 57600;

inline constexpr std::string_view kSerialRequest = "RPA_00\r\n";
inline constexpr std::string_view kTypeRequest = "RPA_01\r\n";
inline constexpr std::string_view kVersionRequest = "RPA_02\r\n";
inline constexpr std::string_view kTrackListRequest = "ACT_20_  \r\n";
inline constexpr std::string_view kWaypointRequest = "ACT_31_00\r\n";
inline constexpr std::string_view kUploadCommand = "ACT_32_00\r\n";
inline constexpr std::string_view kUploadDone = " Done";

// "ACT_21_" and the device's track number in upper-case hexadecimal, at least two digits and
// as many as the number needs, CR LF.
std::string TrackRequest(unsigned trackNumber);

// The value of an RPA_ answer after `prefix` ("RPA_00_"): blanks skipped, byte pairs least
// significant first, empty = 0. False for another prefix, an odd digit count, a character that
// is not hexadecimal, or more than 8 digits.
bool DecodeAnswerValue(std::string_view line, std::string_view prefix, std::uint32_t& value);
// The instrument's form of a value: byte pairs, least significant first, 4 bytes.
std::string EncodeAnswerValue(std::uint32_t value);

struct IqProduct {
    std::uint32_t serial = 0;
    std::uint32_t type = 0;  // 0 = Flytec 6015
    std::uint32_t version = 0;
};
// "6015" or "IQ-BASIC".
std::string ModelName(const IqProduct& product);
// "IQ-BASIC, SW 1.2.34, S/N 1137".
std::string DeviceIdentifier(const IqProduct& product);

// One track list line: "number;YY.MM.DD;H:M:S;x;H:M:S[;...]". False when it does not parse.
struct TrackListLine {
    unsigned number = 0;
    CalendarTime start;
    std::uint32_t durationSeconds = 0;
};
bool ParseTrackListLine(std::string_view line, TrackListLine& out);

// One waypoint line "name;lat;lon[;alt]". 0, or a code: 1 empty name, 2 fewer than three
// fields, 3 altitude, 4 latitude, 5 longitude.
int ParseWaypointLine(std::string_view line, std::uint32_t time, Waypoint& out);
// Whether the line ends the waypoint list ("No Data" or "Done", any case, blanks around).
bool EndsWaypointList(std::string_view line);

// The upload line of one waypoint with its CR LF: the name (';', CR and LF blanked) cut or
// padded to 16 characters, the position, the altitude clamped to -2000..10000.
std::string WaypointUploadLine(const Waypoint& waypoint, std::string_view name);

// ---------------------------------------------------------------- the instrument's side

std::string TrackListAnswer(unsigned number, const CalendarTime& start,
                            std::uint32_t durationSeconds);

}  // namespace tracora::protocols::iqbasic
