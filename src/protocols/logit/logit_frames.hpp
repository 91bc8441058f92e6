// What LogIt track loggers and the Tracklogger send and take: the requests of each line speed,
// the product answer's rules, the track point count answer, the shape of their track blocks and
// the transfer state that checks the blocks' order, with the error codes of each step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/track_log.hpp"
#include "protocols/common/block_frame.hpp"
#include "protocols/common/pmlr.hpp"

namespace tracora::protocols::logit {

inline constexpr int kBaud = 4800;
inline constexpr std::string_view kTracklogger = "TRACKLOGGER";
inline constexpr std::string_view kPointCountRequest = "$PMLR,58,00,02B0\r\n";
inline constexpr std::string_view kEraseRequest = "$PMLR,99,00,02B5\r\n";
inline constexpr std::string_view kPointCountPrefix = "$PMLR,NUMTRACKPOINTS,";

inline constexpr FrameShape kTrackShape{'T', 0x01, kTrackRecordSize, 16, true};

// Product answer: model, user name, serial (at most 20 characters each), software version
// (40); software "1.02" sends a wrong checksum and is taken without the test.
inline constexpr PmlrProductRules kProductRules{.fieldCount = 4,
                                                .maxFieldChars = 40,
                                                .firstFieldsChars = 20,
                                                .firstFieldsCount = 3,
                                                .strictLength = true,
                                                .anyByteAfterCr = true,
                                                .uncheckedLastField = "1.02",
                                                .endPauseMs = 100};

// The line speed of a job's speed parameter (19200, 38400, 57600, 115200; 4800 for any other)
// and the track log request that asks for it. The 4,800-baud request is a fixed text whose
// checksum field breaks the sum rule; the loggers know it as it is.
int TransferBaud(int parameter);
std::string_view TrackRequest(int parameter);

// The restart request from point `point` on: "$PMLR,59,<point>," and its sum.
std::string RestartRequest(long long point);

// The user name upload: the name blanked of ',' '*' '$' CR LF, cut or padded to 9 characters.
std::string NameSentence(std::string_view name);

struct LogItProduct {
    std::string model, user, serial, version;
};
// The answer's fields with a leading blank dropped and trailing blanks removed.
LogItProduct DecodeProduct(const std::vector<std::string>& fields);
// "<model> <first 4 characters of the version> (<user>)".
std::string DeviceLine(const LogItProduct& product);

// The track point count answer: "$PMLR,NUMTRACKPOINTS," digits '*' two hex digits CR and one
// more byte. Feed returns 0 while incomplete, 1 when complete (Count() holds the number), or a
// negative code: -1 fixed text, -2 CR/LF in the number, -3 not a digit, -4 too large, -5 CR/LF
// among the checksum digits, -6 not a hex digit, -7 no CR, -8 checksum mismatch. After an error
// the parser waits for the next '$'.
class PointCountParser {
public:
    int Feed(std::uint8_t byte);
    long long Count() const { return count_; }

private:
    enum class State { kIdle, kPrefix, kDigits, kDigit1, kDigit2, kCr, kLast };
    int Fail(int code);
    State state_ = State::kIdle;
    std::size_t matched_ = 0;
    long long count_ = 0;
    std::uint8_t xor_ = 0;
    int received_ = 0;
};

// The error code of a broken block (-2 to -10).
int FrameErrorCode(FrameEvent event);

// The order of the blocks of one transfer and the numbering of its records. Block() returns 0,
// 1 when the transfer ended, or a negative code: -50 not a begin block first, -51 not a restart
// block after a restart request, -52 a point number out of sequence, -53 a data block's number,
// -54 the end block's number, -55 another block type.
class TransferState {
public:
    enum class Waiting { kBegin, kRestart, kReceiving };
    int Block(std::uint8_t number, BlockType type, std::span<const std::uint8_t> records,
              std::vector<TrackRecord>& out);
    void ExpectRestart() { waiting_ = Waiting::kRestart; }
    bool Begun() const { return begun_; }

private:
    Waiting waiting_ = Waiting::kBegin;
    bool begun_ = false;
    std::uint8_t last_ = 0;
    std::uint16_t counter_ = 0;
};

// A track record as a point: the time from the receivers' epoch, the segment flag for the first
// point of the download or a record whose flag's low four bits are 1.
TrackPoint ToTrackPoint(const TrackRecord& record, bool first);

}  // namespace tracora::protocols::logit
