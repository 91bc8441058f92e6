// What the MLR-style receivers (MLR, SP24, Digifly Leonardo, CoMo, CPilot) send and take: the
// product texts and their model rules, the fixed requests, the binary track and waypoint
// records and their mapping, and the "$GPWPL" waypoint sentences in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "protocols/common/block_frame.hpp"

namespace tracora::protocols::mlr {

inline constexpr int kBaud = 4800;
inline constexpr int kBinaryBaud = 38400;

inline constexpr std::string_view kTrackRequest = "$PMLR,24,02,0101,0399\r\n";
inline constexpr std::string_view kWaypointRequest = "$PMLR,24,02,0301,039B\r\n";

inline constexpr FrameShape kTrackShape{'T', 0x01, kTrackRecordSize, 27, false};
inline constexpr std::size_t kWaypointRecordSize = 22;
inline constexpr FrameShape kWaypointShape{'W', 0x02, kWaypointRecordSize, 23, false};

// Seconds from 1980-01-06 (the receivers' epoch) to the system's epoch (1989-12-31).
inline constexpr std::uint32_t kEpochOffset = 315'100'800;
// Receivers with a GPS clock run this far ahead of UTC.
inline constexpr std::uint32_t kGpsClockLead = 14;

// The product answer's five fields (at most 40 characters each, a leading blank dropped).
struct MlrProduct {
    std::string text;  // field 1, the product text
    std::string field2;
    std::string field3;   // goes into the device identifier
    std::string version;  // field 4, "major.minor"
    std::string field5;   // shown in the second status line
};

// Fields 1 to 5 of the answer, as the product parser gives them (field 1 first).
MlrProduct DecodeProduct(const std::vector<std::string>& fields);
// "Digifly", "CPilot", "CoMo" or "MLR" by the product text's prefix.
std::string DisplayName(const MlrProduct& product);
// "Digifly <field 5> SW<major>.<minor, 2 digits>" and so on.
std::string StatusLine(const MlrProduct& product);
// The product text, at most 80 characters.
std::string DeviceDescription(const MlrProduct& product);
// The display name, ": " and field 3, at most 50 characters.
std::string DeviceIdentifier(const MlrProduct& product);
// The software version as major * 100 + minor (digits, '.', digits; 0 when there are none).
int VersionNumber(std::string_view version);
// Whether the receiver's times run on the GPS clock (SP24 below 2.72 or from 9.90 on).
bool HasGpsClock(const MlrProduct& product);
// What is taken from a received time to get the system's time.
std::uint32_t TimeOffset(const MlrProduct& product);

// A track record as a point; `first` marks the first point of the download.
TrackPoint ToTrackPoint(const TrackRecord& record, std::uint32_t timeOffset, bool first);
// One 22-byte waypoint record (6-character ID, then the record tail) as a waypoint, received at
// `now`.
Waypoint DecodeWaypointRecord(std::span<const std::uint8_t> bytes, std::uint32_t now);
// The altitude in metres of a waypoint record: (decimetres + 5) / 10, away from zero.
std::int32_t WaypointAltitude(std::int32_t decimetres);
// A waypoint as a 22-byte record (for the emulator).
void AppendWaypointRecord(std::vector<std::uint8_t>& out, const Waypoint& waypoint,
                          std::uint32_t time);

// One "$GPWPL" sentence checked and decoded (the line without CR LF). The ID is the name
// field's first six characters, trailing blanks removed; the seventh character is skipped and
// the rest (at most 22 characters, trailing blanks removed) is the description.
enum class GpwplError {
    kNone = 0,
    kFormat,       // the sentence's shape; `code` says where
    kIdCharacter,  // "E305 Bad waypoint ID character"
    kMissingId,    // "E306 Missing waypoint ID"
};
struct GpwplResult {
    GpwplError error = GpwplError::kNone;
    int code = 0;  // for kFormat: 1 to 17
    Waypoint waypoint;
};
GpwplResult ParseGpwpl(std::string_view line, std::uint32_t now);

// The upload sentence of one waypoint, CR LF included: "$GPWPL,DDMM.mmm,N,DDDMM.mmm,E," the ID
// padded to 6, '0', the description cut or padded to 22, '*' and the XOR. A ',' '*' '$' CR or
// LF in the ID becomes '-', in the description a blank: they would end the field or the
// sentence.
std::string GpwplSentence(const Waypoint& waypoint);

}  // namespace tracora::protocols::mlr
