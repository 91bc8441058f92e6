// The Flymaster wire format without any I/O: the NMEA-style requests and answers (product
// data, flight list, waypoints, pilot data), the binary packets of the track download with
// their receiver and the decoder that turns them into points, and the instrument-side encoders
// the emulator builds its answers from. NOTES.md describes the formats byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora::protocols::flymaster {

inline constexpr int kBaud = 57600;
inline constexpr int kSourceKind = 8;

inline constexpr std::string_view kProductRequest = "$PBRSNP,*21\r\n";
inline constexpr std::string_view kFlightListRequest = "$PFMDNL,LST,*72\r\n";
inline constexpr std::string_view kWaypointRequest = "$PFMWPL,*3c\r\n";
inline constexpr std::string_view kPowerOffRequest = "$PFMOFF*14\r\n";

inline constexpr std::string_view kProductIdentifier = "$PBRSNP";
inline constexpr std::string_view kFlightListIdentifier = "$PFMLST";
inline constexpr std::string_view kWaypointPrefix = "$PFMWPL,";
inline constexpr std::string_view kUploadAnswerPrefix = "$PFMWPR,";

// Packet types of the track download and the receiver's control bytes.
inline constexpr std::uint8_t kFlightInfoPacket = 0xA0;
inline constexpr std::uint8_t kKeyPositionPacket = 0xA1;
inline constexpr std::uint8_t kDeltaPositionPacket = 0xA2;
inline constexpr std::uint8_t kEndPacket = 0xA3;
inline constexpr std::uint8_t kAccept = 0xB1;
inline constexpr std::uint8_t kRefuse = 0xB2;
inline constexpr std::uint8_t kCancel = 0xB3;

inline constexpr std::size_t kFlightInfoSize = 63;
inline constexpr std::size_t kKeyPositionSize = 17;
inline constexpr std::size_t kDeltaRecordSize = 6;
// Seconds from the receiver epoch to 2000-01-01 00:00:00 UTC, the instrument's epoch.
inline constexpr std::uint32_t kInstrumentEpoch = 315'619'200;

// "$" + body + "*" + two lower-case hex digits + CR LF: the form of the requests built at run
// time (the waypoint upload uses upper case, BuildNmeaSentence).
std::string LowerHexSentence(std::string_view body);

// ---------------------------------------------------------------- product data

struct FlymasterProduct {
    std::string model;     // at most 40 characters
    std::string serial;    // at most 50 with the display name
    std::string software;  // at most 10
};

// From the fields of a "$PBRSNP" answer (at least 5): model field 1, serial 3, version 4.
FlymasterProduct DecodeProductData(const std::vector<std::string>& fields);
bool IsB1Nav(const FlymasterProduct& product);
// "Flymaster <model>  SN<serial>  SW<version>".
std::string DeviceDescription(const FlymasterProduct& product);
// "Flymaster: <serial>", at most 50 characters.
std::string DeviceIdentifier(const FlymasterProduct& product);

// ---------------------------------------------------------------- track download

// "$PFMDNL,YYMMDDhhmmss," with the lower-case checksum: the request of the flight that
// started at `start` (the flight list's start time).
std::string TrackRequest(std::uint32_t start);

// Cuts the received bytes into packets. A byte 0xA0-0xA3 becomes the candidate type, a
// different type byte replaces it, the same byte again confirms it; any other byte starts the
// hunt again. After a confirmed type the length byte, the data and the checksum (XOR of the
// length and the data) follow; a confirmed end packet has neither.
class PacketReceiver {
public:
    enum class Event {
        kNone,         // byte taken
        kPacket,       // a packet with a good checksum: Type() and Data()
        kBadChecksum,  // a packet whose checksum differs: Type() and Data()
        kEnd,          // the end packet
    };
    Event Feed(std::uint8_t byte);
    std::uint8_t Type() const { return type_; }
    const std::vector<std::uint8_t>& Data() const { return data_; }
    // Whether a packet has begun and not ended yet.
    bool InsidePacket() const { return state_ != State::kHunt; }
    void Reset();

private:
    enum class State { kHunt, kCandidate, kLength, kData, kChecksum };
    State state_ = State::kHunt;
    std::uint8_t type_ = 0;
    std::size_t length_ = 0;
    std::uint8_t xor_ = 0;
    std::vector<std::uint8_t> data_;
};

// The flight information block's texts.
struct FlightInfo {
    int firmwareMajor = 0;
    int firmwareMinor = 0;
    std::uint32_t serial = 0;
    std::string competitionNumber;  // at most 7 characters
    std::string pilotName;          // at most 14
    std::string glider;             // at most 14 (7 for the B1 NAV)
};

// The running values of the track positions, in the instrument's units.
struct WirePosition {
    std::int32_t latitude = 0;     // 1/60,000 degree, north positive
    std::int32_t longitude = 0;    // 1/60,000 degree, EAST NEGATIVE as on the wire
    std::int32_t gpsAltitude = 0;  // metres
    std::int32_t pressure = 0;     // 0.1 hPa
    std::uint32_t time = 0;        // seconds since 2000-01-01
};

// The stored point of a position (segment flag not set).
TrackPoint ToTrackPoint(const WirePosition& position);
// Metres of the standard atmosphere for a pressure in 0.1 hPa (its magnitude), truncated.
std::int32_t PressureAltitude(std::int32_t pressureTenthsHpa);

// Codes of TrackDecoder::Packet besides 0; TrackErrorText gives the messages ("E205 ...").
inline constexpr int kShortFlightInfo = 1;
inline constexpr int kShortKeyPosition = 2;
inline constexpr int kLatitudeRange = 3;
inline constexpr int kLongitudeRange = 4;
inline constexpr int kMissingKeyPosition = 5;
inline constexpr int kBadDeltaLength = 6;
inline constexpr int kMissingFlightInfo = 7;
inline constexpr int kUnknownPacket = 8;
const char* TrackErrorText(int code);

// Turns the packets of one track into points.
class TrackDecoder {
public:
    // One packet with a good checksum (the end packet with empty data). 0, or a code above.
    int Packet(std::uint8_t type, const std::vector<std::uint8_t>& data);
    bool Ended() const { return ended_; }
    bool HasFlightInfo() const { return hasInfo_; }
    const FlightInfo& Info() const { return info_; }
    std::vector<TrackPoint>& Points() { return points_; }
    // Whether the B1 NAV's short glider field applies.
    void SetB1Nav(bool b1nav) { b1nav_ = b1nav; }

private:
    void Add();
    WirePosition position_;
    bool hasKey_ = false;
    bool hasInfo_ = false;
    bool ended_ = false;
    bool b1nav_ = false;
    FlightInfo info_;
    std::vector<TrackPoint> points_;
};

// ---------------------------------------------------------------- waypoints

// The fields of a "$PFMWPL," answer.
struct FlymasterWaypointFields {
    double latitude = 0;   // degrees, negative south
    double longitude = 0;  // degrees, negative west
    double altitude = 0;   // metres
    std::string name;      // spaces normalised
    bool airfield = false;
};

// Checks one answer line (from the '$' up to CR, exclusive) and reads its fields. 0, or the
// format code: 4 no '*', 1 bad checksum digits, 2 text after them, 3 checksum mismatch, 5
// fewer than 7 fields, 6 latitude, 7 N/S, 8 longitude, 9 E/W, 10 altitude, 11 empty name.
int ParseWaypointAnswer(std::string_view line, FlymasterWaypointFields& out);
// ID: the name up to its first blank, upper case, 6 characters at most; description: the name,
// 40 characters at most; altitude rounded to metres; kind 1 for an airfield.
Waypoint ToWaypoint(const FlymasterWaypointFields& fields, std::uint32_t time);

// The name as the instrument stores it: delimiters of the sentence (',' '*' '$' CR LF)
// blanked, cut or padded to 16 characters.
std::string UploadNameField(std::string_view name);
// "$PFMWPR,DDMM.mmm,N,DDDMM.mmm,E,,<name16>,AAAA[,1]" with the upper-case checksum and CR LF.
std::string WaypointUploadSentence(const Waypoint& waypoint, std::string_view name);
// Checks the answer to one upload (from '$' up to CR, exclusive) for `sentName` (the
// 16-character name field). 0, or a code: 1-4 as ParseWaypointAnswer, 5 too few fields, 6 no
// "ACK", 7 another name. Software "1.14" echoes the name; later ones answer "ACK" and the name
// upper-cased with everything but letters and digits blanked.
int CheckUploadAnswer(std::string_view line, std::string_view software, std::string_view sentName);

// ---------------------------------------------------------------- pilot data

// The texts of the set commands; ',' and '*' in them are blanked (either would shift or end
// the instrument's fields), each cut to its width.
std::string PilotDataSentence(std::string_view pilot, std::string_view competitionNumber,
                              std::string_view gliderBrand, std::string_view gliderModel);
std::string AltitudeAlarmSentence(int metres);
// A negative ID leaves its field empty.
std::string PilotIdsSentence(int competitionId, int civlId, std::string_view pilot);

// ---------------------------------------------------------------- the instrument's side

std::string ProductAnswer(const FlymasterProduct& product);
// "$PFMLST,count,index,DD.MM.YY,HH:MM:SS,HH:MM:SS" with checksum and CR LF.
std::string FlightListAnswer(int count, int index, const CalendarTime& start,
                             std::uint32_t durationSeconds);
// "$PFMWPL,lat,N,lon,E,alt,name,flag" in decimal degrees.
std::string WaypointAnswer(double latitude, double longitude, int altitude, std::string_view name,
                           bool airfield);
// The answer to an upload: the echo of software "1.14", else "ACK" and the expected name.
std::string UploadAnswer(std::string_view software, std::string_view sentName);
// One packet: type, type, length, data, checksum (the end packet: type twice).
std::string EncodePacket(std::uint8_t type, const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> EncodeFlightInfo(const FlightInfo& info);
std::vector<std::uint8_t> EncodeKeyPosition(const WirePosition& position);

// A flight as the instrument stores it: its positions and the first packet's texts.
struct StoredFlight {
    FlightInfo info;
    std::vector<WirePosition> positions;
    // The listed start of a flight without positions (seconds since 2000-01-01).
    std::uint32_t emptyStart = 0;
    std::uint32_t Start() const { return positions.empty() ? emptyStart : positions.front().time; }
    std::uint32_t Duration() const {
        return positions.empty() ? 0 : positions.back().time - positions.front().time;
    }
};
// The packets of a stored flight, key and delta positions as the values allow, without the
// end packet.
std::vector<std::string> TrackPackets(const StoredFlight& flight);
// A stored flight from IGC text: every B record (pressure from its pressure altitude), the
// pilot and glider headers. False when the text has no date or no B record.
bool FlightFromIgc(std::string_view igc, StoredFlight& out);
// The pressure in 0.1 hPa whose PressureAltitude is `metres`, or the nearest one.
std::int32_t PressureForAltitude(std::int32_t metres);

}  // namespace tracora::protocols::flymaster
