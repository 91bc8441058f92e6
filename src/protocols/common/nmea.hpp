// NMEA-style sentences of the serial instrument families: the checksum rule, the splitter that
// checks a received sentence and cuts it into fields, and the builder of requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tracora::protocols {

// Results of SplitNmeaSentence besides the field count.
inline constexpr int kNmeaNoDollar = -1;          // the first character is not '$'
inline constexpr int kNmeaBadChecksumDigit = -2;  // the two characters after '*' are not hex
inline constexpr int kNmeaTrailingText = -3;      // something follows the checksum
inline constexpr int kNmeaChecksumMismatch = -4;  // the checksum differs from the XOR
inline constexpr int kNmeaNoStar = -5;            // the text ends before a '*'

// XOR of every byte of `body` (the text between '$' and '*').
std::uint8_t NmeaChecksum(std::string_view body);

// Checks one sentence without its CR LF ("$PBRSNP,A,B*2F") and cuts the part before '*' at the
// commas. Field 0 is the identifier with its '$' ("$PBRSNP"); at most `maxFields` fields are
// kept (later ones are dropped). The text ends at a NUL byte, as it would in a C buffer.
// Returns the number of fields kept, or one of the kNmea codes above.
int SplitNmeaSentence(std::string_view sentence, std::vector<std::string>& fields,
                      std::size_t maxFields);

// "$" + body + "*" + the checksum as two upper-case hex digits + CR LF.
std::string BuildNmeaSentence(std::string_view body);

// A waypoint angle of an upload sentence: `milliMinutes` (thousandths of a minute of arc,
// negative south or west) as degrees and minutes "DDMM.mmm" (degreeDigits 2) or "DDDMM.mmm"
// (3), a comma and the hemisphere letter, appended to `out`.
void AppendDegreesMinutes(std::string& out, std::int32_t milliMinutes, int degreeDigits,
                          char positive, char negative);
// A stored angle in thousandths of a minute of arc, rounded half away from zero.
std::int32_t SemicirclesToMilliMinutes(std::int32_t semicircles);

// Whether `c` is a hex digit of either case; its value goes to `value`.
bool HexDigitValue(char c, int& value);

}  // namespace tracora::protocols
