// The checks of the IGC dialogs' values and the file names they propose.
#pragma once

#include <string>
#include <string_view>

#include "core/time_base.hpp"

namespace tracora::igc {

enum class IgcNameStyle { kNone, kLong, kShort };

// '0'-'9' for 0-9, 'A'-'Z' for 10-35.
char Base36Digit(int value);

// The name proposed for a log first dated `date` (UTC): long "YYYY-MM-DD-MMM-SSS-NN.igc" with
// the manufacturer code ("XTR" for logs this program encodes), short "YMDXSSSN.igc" with
// base-36 characters. Empty for kNone.
std::string IgcProposedName(IgcNameStyle style, const CalendarTime& date,
                            std::string_view manufacturer, std::string_view serial, int flight);

// The names generated for an IGC log saved into a directory by a command line.
enum class IgcNameKind {
    kRawLog,      // the instrument's own IGC text: "YYYY-MM-DD-xxx-SSS-NN.igc"
    kEncodedLog,  // a log this program encodes: "YYYY-MM-DD-xtr-SSS-NN.igc"
};

std::string IgcLogName(IgcNameKind kind, const CalendarTime& date, std::string_view serial,
                       int flightNumber);
// `directory` followed by the generated name. 0, or -1 when the path would be 260 bytes or
// longer ("Too long file name").
int IgcLogPath(std::string_view directory, IgcNameKind kind, const CalendarTime& date,
               std::string_view serial, int flightNumber, std::string& out);

// Leading blanks dropped, runs of blanks reduced to one, a trailing blank dropped.
std::string NormaliseBlanks(std::string_view text);

// The flight number field: nullptr and `flight` set, or the message text.
const char* CheckFlightNumber(std::string_view text, int& flight);
// The "IGC File Format" dialog's fields in the order they are checked; nullptr when all are
// good, else the message text (title kCheckingIgcParametersTitle).
const char* CheckIgcParameters(std::string_view pilot, std::string_view flightNumber,
                               std::string_view frSerial, int& flight);

inline constexpr const char* kCheckingIgcParametersTitle = "Checking IGC parameters";
inline constexpr int kMaxFlightNumber = 35;

}  // namespace tracora::igc
