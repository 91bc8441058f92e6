// The Magellan wire format without any I/O: the fixed commands, the sentence receiver, and the
// version, track point and waypoint sentences read and written (NOTES.md describes them).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/track_log.hpp"

namespace tracora::protocols::magellan {

inline constexpr int kBaud = 9600;
// The source kind of a Magellan track log.
inline constexpr int kSourceKind = 7;

inline constexpr std::string_view kVersionRequest = "$PMGNCMD,VERSION*28\r\n";
inline constexpr std::string_view kWaypointRequest = "$PMGNCMD,WAYPOINT*71\r\n";
inline constexpr std::string_view kTrackRequest = "$PMGNCMD,TRACK,2*23\r\n";
inline constexpr std::string_view kStopCommand = "$PMGNCMD,STOP*6A\r\n";
inline constexpr std::string_view kEndCommand = "$PMGNCMD,END*3D\r\n";

// The body characters a sentence keeps; further ones are dropped but still checked.
inline constexpr std::size_t kMaxBody = 100;

// Receiver results besides "go on" (1) and "sentence complete" (0).
inline constexpr int kBadChecksumDigit = -2;
inline constexpr int kBadCarriageReturn = -3;  // also a checksum that does not match
inline constexpr int kBadLineFeed = -4;

// Collects one sentence a byte at a time: '$' starts it, '*' ends the body, two hex digits,
// CR and LF end it. Bytes outside a sentence are ignored.
class SentenceReceiver {
public:
    // 1 go on, 0 a complete sentence with a correct checksum (Body() holds it), or one of the
    // negative codes above (the receiver then waits for the next '$').
    int Feed(std::uint8_t byte);
    // The text between '$' and '*', at most kMaxBody characters.
    const std::string& Body() const { return body_; }
    bool InsideSentence() const { return state_ != State::kIdle; }
    void Reset() { state_ = State::kIdle; }

private:
    enum class State { kIdle, kBody, kDigit1, kDigit2, kCr, kLf };
    State state_ = State::kIdle;
    std::string body_;
    std::uint8_t xor_ = 0;
    int received_ = 0;
};

// The answer to the version request: "PMGNVER,<product>,<version>,<description>".
struct VersionAnswer {
    unsigned productId = 0;
    int version100 = 0;       // the software version x 100, rounded
    std::string versionText;  // as received
    std::string description;  // at most 60 characters
};
// 0, or -1 when `body` is no version answer.
int ParseVersion(std::string_view body, VersionAnswer& out);
// The instrument's description line: "<description>, SW <version>", at most 80 characters.
std::string InstrumentDescription(const VersionAnswer& version);
// Whether the model keeps times and dates in its track log: 0, or the refusal's text.
std::string_view TrackLogRefusal(const VersionAnswer& version);

// The identifier of a body ("PMGNTRK"), up to its first comma.
std::string_view SentenceName(std::string_view body);
// Whether `body` is the end of a download ("PMGNCMD,END").
bool IsEndOfDownload(std::string_view body);

// A "PMGNTRK" body into a point: 1 stored in `out`, 0 a point without a fix (skipped), or the
// negated number of the first field that is wrong (2 to 21; see NOTES.md).
int ParseTrackPoint(std::string_view body, TrackPoint& out);

// A "PMGNWPL" body into a waypoint (time and kind left as they are): 0, or the negated number
// of the first field that is wrong (the position and altitude as in a track point, 16 a name
// that is not 1 to 6 letters, digits or '-').
int ParseWaypoint(std::string_view body, Waypoint& out);

// Position fields as the instrument writes them: "4630.250,N" and "00715.500,E".
std::string LatitudeField(std::int32_t semicircles);
std::string LongitudeField(std::int32_t semicircles);

// A sentence with its checksum and CR LF from the body (without '$').
std::string Sentence(std::string_view body);

// The upload sentence of a waypoint: its ID and its description, with ',' and '*' (which would
// break the sentence) replaced by blanks.
std::string WaypointUploadSentence(const Waypoint& waypoint);

// The sentences of the instrument's side: a track point (time as UTC) and a waypoint.
std::string TrackPointSentence(const TrackPoint& point);
std::string WaypointSentence(const Waypoint& waypoint);
std::string VersionSentence(unsigned productId, std::string_view version,
                            std::string_view description);

}  // namespace tracora::protocols::magellan
