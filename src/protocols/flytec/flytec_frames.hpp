// The sentences of the Flytec/Brauniger instruments, both directions, without any I/O: the
// requests, the product data and the model table, the track-list capability rule, the waypoint
// answer parser and the waypoint upload sentence. The emulator builds its answers from the
// instrument-side encoders here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_base.hpp"
#include "core/track_log.hpp"

namespace tracora::protocols::flytec {

inline constexpr int kBaud = 57600;

// Requests, each with the XON byte that every request of this family starts with.
inline constexpr std::string_view kProductRequest = "\x11$PBRSNP,*21\r\n";
inline constexpr std::string_view kTrackListRequest = "\x11$PBRTL,*74\r\n";
inline constexpr std::string_view kWholeLogRequest = "\x11$PBRIGC,*21\r\n";
inline constexpr std::string_view kWaypointRequest = "\x11$PBRWPS,*38\r\n";

inline constexpr std::string_view kProductIdentifier = "$PBRSNP";
inline constexpr std::string_view kTrackListIdentifier = "$PBRTL";

// The one-track request: "$PBRTR," and the index in decimal, at least two digits (indexes of
// 100 and above keep all three), with XON, checksum and CR LF.
std::string TrackRequest(int index);

// The product data of a "$PBRSNP" answer, spaces normalised.
struct FlytecProduct {
    std::string product;   // upper case, at most 16 characters
    std::string userName;  // at most 40
    std::string serial;    // at most 7
    std::string software;  // at most 6
};

// From the fields of a "$PBRSNP" answer (identifier first, at least 5 fields). 0, or -1 when
// the user name is empty.
int DecodeProductData(const std::vector<std::string>& fields, FlytecProduct& out);

// The display name of the model: the first of "5020", "5030", "6020", "6030", "COMPEO+",
// "COMPEO", "COMPETINO+", "COMPETINO", "GALILEO" found in the product text, "Unknown" otherwise.
std::string_view FlytecModelName(std::string_view productText);
// Whether the instrument keeps a list of flights (else it sends its whole log at once). The
// older models decide by a byte-wise comparison of the software version, so "1.2" is above
// "1.13".
bool HasTrackList(std::string_view productText, std::string_view software);
// "Compeo+ SN1234 SW1.22", at most 80 characters.
std::string DeviceDescription(const FlytecProduct& product);
// "Compeo+: 1234", at most 50 characters.
std::string DeviceIdentifier(const FlytecProduct& product);

// One waypoint of a "$PBRWPS" answer.
struct FlytecWaypointFields {
    double latitude = 0;   // radians
    double longitude = 0;  // radians
    std::string shortName;
    std::string longName;
    int altitude = 0;  // metres
};

// Reads "$PBRWPS" answers one byte at a time. Feed() returns 1 while more bytes are needed, 0
// when a whole waypoint has arrived (Fields() then holds it), or a negative code:
//   -1 a fifth latitude digit before the '.' (the value already above 895), -2 / -3 a bad
//   latitude byte before / after the '.' (also a tenth fraction digit), -4 / -5 a bad latitude
//   hemisphere or no comma after it; -6 to -10 the same for the longitude (above 1795);
//   -11 CR or LF in the short name, -12 a short name above 6 bytes, -13 CR or LF in the long
//   name, -14 a long name above 17 bytes, -15 a bad altitude byte, -16 an altitude above 5
//   characters, -17 / -18 a bad checksum digit, -19 no CR, -20 a checksum that differs from the
//   XOR of the sentence, -21 no LF.
// Bytes outside a "$PBRWPS," sentence are skipped. After a result other than 1 the parser waits
// for the next '$'.
class FlytecWaypointParser {
public:
    int Feed(std::uint8_t byte);
    const FlytecWaypointFields& Fields() const { return fields_; }
    void Reset();
    // Whether a waypoint sentence has begun and not ended yet.
    bool InsideSentence() const { return state_ != State::kWaitDollar; }

    // Fraction digits of minutes kept at most; a further one is a format error, so that no
    // stream of digits can overflow the value.
    static constexpr int kMaxFractionDigits = 9;

private:
    enum class State {
        kWaitDollar,
        kMatchIdentifier,
        kLatitude,
        kLatitudeFraction,
        kLatitudeHemisphere,
        kLatitudeComma,
        kLongitude,
        kLongitudeFraction,
        kLongitudeHemisphere,
        kLongitudeComma,
        kShortName,
        kLongName,
        kAltitudeFirst,
        kAltitude,
        kChecksumHigh,
        kChecksumLow,
        kCr,
        kLf,
    };
    int Fail(int code);
    // Digit, '.' or ',' of an angle; `maxBeforeDigit` is the value above which no further
    // digit is taken, `codes` the codes for too many digits, bad byte before and after '.'.
    int AngleByte(std::uint8_t byte, bool fraction, long long maxBeforeDigit, int tooLong,
                  int badBefore, int badAfter, double& radians, State next, State fractionState);
    void StartAngle();

    State state_ = State::kWaitDollar;
    std::size_t matched_ = 0;
    std::uint8_t xor_ = 0;
    long long value_ = 0;
    long long fraction_ = 0;
    int fractionDigits_ = 0;
    int altitudeChars_ = 0;
    bool altitudeNegative_ = false;
    int checksum_ = 0;
    FlytecWaypointFields fields_;
};

// The waypoint of a received answer: ID = the short name, or the long name up to its first
// blank, upper case, at most 6 characters, or "Z"; description = the long name in upper case.
Waypoint ToWaypoint(const FlytecWaypointFields& fields, std::uint32_t time);

// The upload sentence of one waypoint, XON first: "$PBRWPR,DDMM.mmm,N,DDDMM.mmm,E,,<name>,AAAA"
// with checksum and CR LF. `name` is cleaned of sentence delimiters, cut and padded to 17
// characters; the altitude is clamped to 0-9999.
std::string WaypointUploadSentence(const Waypoint& waypoint, std::string_view name);

// ---------------------------------------------------------------- the instrument's side

std::string ProductAnswer(const FlytecProduct& product);
// "$PBRTL,count,index,DD.MM.YY,HH:MM:SS,HH:MM:SS" with checksum and CR LF.
std::string TrackListAnswer(int count, int index, const CalendarTime& start,
                            std::uint32_t durationSeconds);
// "$PBRWPS,DDMM.mmm,N,DDDMM.mmm,E,short,long,alt" from thousandths of minutes.
std::string WaypointAnswer(std::int32_t latitudeMilliMinutes, std::int32_t longitudeMilliMinutes,
                           std::string_view shortName, std::string_view longName, int altitude);

// A "$PBRWPR" sentence as the instrument receives it.
struct UploadedWaypoint {
    std::string latitude;  // "4630.000"
    char northSouth = 'N';
    std::string longitude;  // "00730.500"
    char eastWest = 'E';
    std::string name;  // 17 characters
    int altitude = 0;
};
// 0, or -1 when the sentence (without CR LF) is not a valid upload.
int DecodeWaypointUpload(std::string_view sentence, UploadedWaypoint& out);

}  // namespace tracora::protocols::flytec
