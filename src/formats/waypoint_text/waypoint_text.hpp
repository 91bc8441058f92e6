// What the readers and writers of the waypoint text formats share: the name and comment
// conversions with the "Modify waypoint ID" question, the line rule, the read options and
// result, and the text forms the writers use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/host.hpp"
#include "core/track_log.hpp"

namespace tracora::waypoints {

// ConvertWaypointName results.
inline constexpr int kNameEmpty = -1;
inline constexpr int kNameNeedsChange = -2;

// A waypoint ID from a name: leading blanks skipped; characters taken up to a blank or until 6
// are stored; A-Z, 0-9 and '-' are kept; any other character gives kNameNeedsChange unless
// `lenient`, where a-z are raised and everything else becomes '-' (one per character). More
// non-blank text after the sixth gives kNameNeedsChange unless `lenient`. 0, or a negative
// result with `id` unchanged.
int ConvertWaypointName(std::string_view text, std::string& id, bool lenient);

// A waypoint description from free text: leading blanks skipped, at most 40 characters, letters
// (ASCII and the accented Latin ones), digits, blank and '-' kept, every other character '-',
// trailing blanks removed.
std::string ConvertWaypointComment(std::string_view text);

struct WaypointReadOptions {
    // Asked when a name would have to change; empty: a non-interactive read, which fails at
    // such a name.
    std::function<ModifyIdAnswer(std::string_view name)> askModifyId;
    // Every such name is converted without asking (as after "Yes to All").
    bool lenientNames = false;
    // The time of waypoints whose format carries no date (the moment of reading).
    std::uint32_t readTime = 0;
};

struct WaypointReadResult {
    int status = 0;     // the count (> 0), 0 when none was found, or negative
    std::string title;  // of the message: "Decoding waypoint file", "Decoding SeeYou file" ...
    std::string message;
    std::vector<Waypoint> waypoints;
};

// The status of a read the user cancelled at a question: nothing more is shown.
inline constexpr int kReadCancelled = -5;

inline constexpr const char* kDecodingTitle = "Decoding waypoint file";
inline constexpr const char* kNoWaypointsFound = "No waypoints found";

// "Bad line %d" under `title`, status -1, no waypoints.
WaypointReadResult BadLine(const char* title, int line);

// The IDs of one read: converts names, asks the question when a name would change and keeps
// the "Yes to All" answer for the rest of the read.
class WaypointNamer {
public:
    explicit WaypointNamer(const WaypointReadOptions& options);
    enum class Outcome { kNamed, kSkip, kFail };
    // Sets the ID of `waypoint` from `text`.
    Outcome Name(std::string_view text, Waypoint& waypoint);

private:
    const WaypointReadOptions& options_;
    bool convertAll_;
};

// The lines of a waypoint text: a line ends at CR or LF (any run of them), leading blanks are
// skipped, empty lines are skipped; lines are counted from 1. A DOS end-of-file mark (0x1A)
// ends the text.
class WaypointLines {
public:
    explicit WaypointLines(std::string_view text);
    // The next non-empty line without its leading blanks; false at the end.
    bool Next(std::string_view& line);
    int Number() const { return number_; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    int number_ = 0;
};

// What a line reader of a line-based waypoint format made of one line.
enum class LineRead {
    kWaypoint,  // the line held a waypoint, which is kept
    kSkip,      // a line without a waypoint (a header, a comment, a name the user skipped)
    kBad,       // the read fails with "Bad line N"
    kEnd,       // the waypoints end here; the rest of the text is not read
};

// What a line makes of the outcome of naming its waypoint: named, the waypoint is kept; skipped
// by the user, the line is skipped; failed, the line is bad.
LineRead LineReadOfName(WaypointNamer::Outcome outcome);

// The line loop the line-based formats share: every line of `text` (see WaypointLines) goes to
// `readLine` with its number, a new waypoint and the waypoints kept so far (a line may amend the
// last of them); the waypoints it keeps are the result, titled `title`, and the first bad line
// ends the read with BadLine(title, its number).
WaypointReadResult ReadWaypointLines(
    std::string_view text, const char* title,
    const std::function<LineRead(std::string_view line, int number, Waypoint& waypoint,
                                 std::span<Waypoint> kept)>& readLine);

// The loop of the formats whose lines name their waypoints: the lines numbered below
// `firstLine` (the header) skipped, the names converted by one WaypointNamer, each waypoint's
// time the time of reading unless its line gives one.
WaypointReadResult ReadNamedWaypointLines(
    std::string_view text, const WaypointReadOptions& options, int firstLine,
    const std::function<LineRead(std::string_view line, WaypointNamer& namer, Waypoint& waypoint)>&
        readLine);

// The text of a waypoint file as the readers take it: without a byte-order mark, in UTF-8
// (a file that is not valid UTF-8 is read as Latin-1).
std::string WaypointTextAsUtf8(std::string_view text);

// UTF-8 text as Latin-1 bytes, for the formats of 8-bit programs: characters above U+00FF
// become '?'.
std::string Utf8ToLatin1(std::string_view text);

// The first `count` characters of UTF-8 text (never cutting a sequence).
std::string FirstCharacters(std::string_view text, std::size_t count);

// The ID as the formats that read it as a name write it: blanks inside it would end it early
// and an empty one cannot be read (or would shift every field), so blanks become '-' and an
// empty ID is "-".
std::string BlankFreeId(std::string_view id);

// `text` with every character of `from` replaced by `to`.
std::string ReplaceCharacters(std::string_view text, std::string_view from, char to);

// A decimal number of the whole text but blanks around it ("-12.5"); false when it is not one.
bool ParseNumber(std::string_view text, double& value);
// An unsigned decimal integer, blanks around it allowed.
bool ParseUnsigned(std::string_view text, long long& value);

// The time of a date in days since 1899-12-30 (OziExplorer, spreadsheets).
inline constexpr double kDaysTo1990 = 32873.0;

// The fields of a line split at `separator`, each as it stands.
std::vector<std::string_view> SplitFields(std::string_view line, char separator);

// Splits at runs of blanks into at most `maxFields` fields, the last taking the rest of the line.
std::vector<std::string_view> SplitBlankFields(std::string_view line, std::size_t maxFields);

}  // namespace tracora::waypoints
