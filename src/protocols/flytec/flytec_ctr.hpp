// The airspace ("CTR") sentences of the Flytec/Brauniger instruments, both directions, without
// any I/O: the upload sentences of one airspace with their pauses, the acknowledgement parser,
// the sentence assembler and the list parser of a download. The emulator stores and serves
// airspaces with the same encoder and parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/airspace.hpp"

namespace tracora::protocols::flytec {

// The list request, XON first.
inline constexpr std::string_view kCtrListRequest = "\x11$PBRCTR,*29\r\n";
inline constexpr std::string_view kCtrUploadIdentifier = "PBRCTRW";
inline constexpr std::string_view kCtrListIdentifier = "PBRCTR";
// The instrument keeps this much of the name and of the floor text (its "remark").
inline constexpr std::size_t kCtrTextChars = 17;
// The sentence count and index are three-digit fields: two text sentences and 997 segment
// sentences at most.
inline constexpr int kMaxCtrSentences = 999;
// Longest sentence body between '$' and '*' the instrument sends.
inline constexpr std::size_t kMaxCtrSentenceChars = 81;

// The number of sentences of `area`: 2 + 1 for every point or circle + 3 for every arc.
int CtrSentenceCount(const CtrArea& area);

// One sentence of an airspace upload and the pause after it.
struct CtrSentence {
    std::string text;  // "$PBRCTRW,...*CS\r\n" (with XON first when asked for)
    int pauseMs = 100;
    bool endsSegment = false;  // the last sentence of a segment
};

// The sentences of `area` with `identifier` (kCtrUploadIdentifier for an upload,
// kCtrListIdentifier for the instrument's answer), numbered 0 to N-1: the name (cut and padded
// to 17 characters) with the warning distance, the floor text likewise, then the segments (an
// arc by its bearings is sent by its end points). ',' '*' '$' CR and LF in the texts become
// blanks. False (and nothing in `out`) when the airspace has no segment or needs more than 999
// sentences.
bool CtrSentences(const CtrArea& area, std::string_view identifier, bool xon,
                  std::vector<CtrSentence>& out);

// Reads the instrument's acknowledgement "$PBRANS,<status>*CS\r\n" one byte at a time (XON and
// XOFF already dropped). Feed() returns 1 while more bytes are needed, 0 when the answer is
// complete (Status() holds its status character), or a negative format code: -1 the text after
// '$' is not "PBRANS,", -2 / -3 a bad first / second checksum digit, -4 no CR, -5 a checksum
// that differs from the XOR of the sentence, -6 no LF.
class CtrAckParser {
public:
    int Feed(std::uint8_t byte);
    char Status() const { return status_; }

private:
    enum class State { kWaitDollar, kIdentifier, kStatus, kSkipToStar, kHigh, kLow, kCr, kLf };
    State state_ = State::kWaitDollar;
    std::size_t matched_ = 0;
    std::uint8_t xor_ = 0;
    int checksum_ = 0;
    char status_ = 0;
};

// The text of an acknowledgement status: '1' "CTR transfer ok", '2' "Plausibility error", '3'
// "No further memory", '4' "No more writing allowed", '5' "NMEA syntax error", any other
// "Unknown ack. status".
std::string_view CtrAckText(char status);

// The acknowledgement sentence the instrument sends.
std::string CtrAckSentence(char status);

// Collects the sentences of a download one byte at a time (XON and XOFF already dropped):
// '$' starts a sentence; Feed() returns 1 while more bytes are needed, 0 when a sentence is
// complete (Sentence() holds "$PBRCTR,..." without '*' and checksum), or a negative format
// code: -1 more than 81 characters before '*', -2 / -3 a bad checksum digit, -4 no CR, -5 a
// checksum mismatch, -6 no LF. After a code it waits for the next '$'.
class CtrSentenceAssembler {
public:
    int Feed(std::uint8_t byte);
    const std::string& Sentence() const { return sentence_; }

private:
    enum class State { kWaitDollar, kBody, kHigh, kLow, kCr, kLf };
    int Fail(int code);
    State state_ = State::kWaitDollar;
    std::string sentence_;
    std::uint8_t xor_ = 0;
    int checksum_ = 0;
};

// Builds the airspace list from the sentences of a download (or, in the emulator, of an
// upload, whatever their identifier). Sentence() returns a CtrListEvent or a positive format
// code (the numbers of the instrument's documentation, 1 to 41).
enum CtrListEvent : int {
    kCtrMore = 0,          // the sentence was stored
    kCtrAreaStarted = -1,  // a new airspace was begun
    kCtrAreaDone = -2,     // the last sentence of an airspace was stored
    kCtrListDone = -3,     // "$PBRANS,1": the list is complete
};

class CtrListParser {
public:
    // `identifier` is what the segment sentences must carry ("$PBRCTR" in a download).
    explicit CtrListParser(std::string_view identifier = "$PBRCTR") : identifier_(identifier) {}
    int Sentence(std::string_view sentence);
    // The airspaces complete so far (an airspace being built is not among them).
    std::vector<CtrArea>& Areas() { return areas_; }
    // Whether an airspace is being built.
    bool InArea() const { return phase_ != Phase::kFirst; }
    // Drops the airspace being built (after a format code): the next sentence must begin one.
    void Reset();

private:
    enum class Phase { kFirst, kRemark, kSegments, kAfterCentre, kAfterStart };
    int Segment(const std::vector<std::string_view>& fields);
    std::string identifier_;
    Phase phase_ = Phase::kFirst;
    int count_ = 0;     // N of the airspace being built
    int expected_ = 0;  // the index of the next sentence
    CtrArea building_;
    CtrSegment arc_;
    std::vector<CtrArea> areas_;
};

}  // namespace tracora::protocols::flytec
