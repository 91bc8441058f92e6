// The OpenAir reader: airspace texts (files, the edit dialog, the command line) into airspace
// records. Pure: text in, records and messages out; the caller shows the messages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/airspace.hpp"

namespace tracora::openair {

// The title of the parser's messages.
inline constexpr const char* kParseTitle = "Parsing CTR buffer";

// Parser codes (the positive numbers the messages are known by).
inline constexpr int kErrorMemory = 1;
inline constexpr int kErrorVariable = 2;
inline constexpr int kErrorDirection = 3;
inline constexpr int kErrorCentrePosition = 4;
inline constexpr int kErrorMultipleCentres = 5;
inline constexpr int kErrorArc = 7;
inline constexpr int kErrorMissingArcCentre = 8;
inline constexpr int kErrorMissingName = 9;
inline constexpr int kErrorMissingCircleCentre = 10;
inline constexpr int kErrorExpectedArc = 11;
inline constexpr int kErrorRadius = 13;
inline constexpr int kErrorPointPosition = 14;
inline constexpr int kErrorUnknownRecord = 15;
inline constexpr int kErrorNoSegments = 16;
inline constexpr int kErrorUnusedCentre = 17;

// The message of a parser code, with the line filled in where the text has one.
std::string OpenAirErrorText(int code, int line);

// Something the user is told about without failing the parse: an airspace dropped for its
// airway (DY) record. `text` is "CTR at line %d:  DY record (not implemented)" with the line
// where that airspace started.
struct OpenAirNotice {
    int line = 0;
    std::string text;
};

struct OpenAirReport {
    int code = 0;  // 0, or the parser code of the failure
    int line = 0;  // the line of the failure
    std::string message;
    std::vector<OpenAirNotice> notices;
};

// Parses a whole OpenAir text (it ends at its end or at a NUL byte). Returns the number of
// airspaces (their records in `out`, replacing what it held), or -1 with `report` saying why
// and `out` empty. Text that is not valid UTF-8 is read as Latin-1; names are kept in UTF-8.
//
// Besides the records of the format, what real files carry is read:
//  - every "A" record other than AN, AC, AH, AL (AT, AY, AF, AG, AX, AA, AI, AR ...) is
//    skipped, as are SB and SP, and a comment after " *" on an A record is cut off;
//  - after a DY record (the airspace is dropped) and after a terrain record TO or TC, every
//    record up to the next one that starts an airspace is skipped, so nothing lands on
//    another airspace;
//  - a centre ("V X") stays set until the next one: arcs may reuse it, an airspace may use the
//    one set before it began, and one that is never used is harmless;
//  - an airspace without an AN record keeps an empty name;
//  - "V D=" takes its first character, '+' or '-', whatever follows.
int ParseOpenAir(std::string_view text, std::vector<CtrArea>& out, OpenAirReport& report);

// One position as the D and V records write it ("46:30:00 N 007:15:30 E", "46.5N 7.25E",
// "46:30.5 N 7:15.5 E"): latitude, blanks, longitude. Returns the number of characters used
// (the rest of the text follows), or 0 when the text does not start with a position.
std::size_t ParseOpenAirPosition(std::string_view text, DegreePosition& position);

}  // namespace tracora::openair
