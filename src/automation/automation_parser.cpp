#include "automation/automation_parser.hpp"

#include <sys/un.h>

#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "core/strings.hpp"
#include "core/text_forms.hpp"
#include "device/usb_transport.hpp"
#include "notify/notify.hpp"

namespace tracora {

namespace {

constexpr std::string_view kTitle = "Parsing command line";

constexpr std::string_view kMemoryError = "Memory allocation error";
constexpr std::string_view kQuoteBalance = "Bad double apostrophe (\") balance";
constexpr std::string_view kUnrecognized = "Unrecognized command";
constexpr std::string_view kMissingTrackLogFile = "Missing track log file name";

constexpr std::size_t kKeyMax = 16;
// The longest value: a path as long as the system allows one.
constexpr std::size_t kValueMax = kFileNameMax;
static_assert(kFileNameMax == PATH_MAX - 1);

// Flight-list slots run from 0 to 254.
constexpr int kMaxTrackSlot = 254;
// The largest port number whose name ("\\.\COM" and the digits) fits the port name.
constexpr long long kMaxComPort = 999999999;

constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

// The tokenizer's complaint; `position` is 1-based.
std::string ErrorAtPosition(std::size_t position) {
    return StringPrintf("Error at position %d", static_cast<int>(position));
}

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutText(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return std::string(text);
    }
    std::size_t end = limit;
    // A continuation byte at the cut belongs to a character that does not fit whole.
    for (int i = 0; i < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u;
         ++i) {
        --end;
    }
    return std::string(text.substr(0, end));
}

// ------------------------------------------------------------------ tokenizer

enum class TokenStep { kNone, kToken, kError };

// Splits "/KEY=value /KEY="quoted value" /KEY" one character at a time; the caller feeds a
// final NUL to complete the last token.
class Tokenizer {
public:
    TokenStep Feed(char c) {
        switch (state_) {
            case State::kBetween:
                if (c == '/') {
                    key_.clear();
                    value_.clear();
                    state_ = State::kKey;
                    return TokenStep::kNone;
                }
                if (c == ' ' || c == '\0') {
                    return TokenStep::kNone;
                }
                return TokenStep::kError;
            case State::kKey:
                if (c == ' ' || c == '\0') {
                    return Complete();
                }
                if (c == '=') {
                    state_ = State::kValue;
                    return TokenStep::kNone;
                }
                // Further characters of an over-long key are dropped.
                if (key_.size() < kKeyMax) {
                    key_ += ToUpperAscii(c);
                }
                return TokenStep::kNone;
            case State::kValue:
                if (c == ' ' || c == '\0') {
                    return Complete();
                }
                if (c == '"' && value_.empty()) {
                    state_ = State::kQuotedValue;
                    return TokenStep::kNone;
                }
                return Append(c);
            case State::kQuotedValue:
                if (c == '"' || c == '\0') {
                    return Complete();
                }
                return Append(c);
        }
        return TokenStep::kError;
    }

    const std::string& key() const { return key_; }
    const std::string& value() const { return value_; }

private:
    enum class State { kBetween, kKey, kValue, kQuotedValue };

    TokenStep Complete() {
        state_ = State::kBetween;
        return TokenStep::kToken;
    }
    // A value that does not fit is refused rather than cut: a cut file or device name would
    // quietly name something else.
    TokenStep Append(char c) {
        if (value_.size() >= kValueMax) {
            return TokenStep::kError;
        }
        value_ += c;
        return TokenStep::kNone;
    }

    State state_ = State::kBetween;
    std::string key_;
    std::string value_;
};

// ------------------------------------------------------------------ keywords

struct ParseContext {
    AutomationRequest& request;
    const AutomationEnvironment& environment;
    std::string error;  // the message of a failed keyword; empty when it showed its own

    int Fail(std::string_view message) {
        error = std::string(message);
        return -1;
    }
};

// Keywords that take a file name and set the action.
struct FileKeyword {
    std::string_view key;
    AutomationAction action;
    std::string_view missing;
};
constexpr std::array<FileKeyword, 15> kFileKeywords{{
    {"KML_LOG", AutomationAction::kKmlLog, "Missing log file name"},
    {"OZI_LOG", AutomationAction::kOziLog, "Missing log file name"},
    {"RD_LOG", AutomationAction::kOziLog, "Missing log file name"},
    {"IGC_LOG", AutomationAction::kIgcLog, "Missing log file directory name"},
    {"MPS_LOG", AutomationAction::kMpsLog, "Missing log file name"},
    {"RD_WPT", AutomationAction::kReadWaypoints, "Missing wpt file name"},
    {"RD_GEO_WPT", AutomationAction::kReadGeoWaypoints, "Missing wpt file name"},
    {"WR_WPT", AutomationAction::kWriteWaypoints, "Missing wpt file name"},
    {"WR_WPT2", AutomationAction::kWriteWaypointsWithId, "Missing wpt file name"},
    {"WR_CTR", AutomationAction::kWriteAirspace, "Missing CTR file name"},
    {"LOGFILE", AutomationAction::kLogFile, kMissingTrackLogFile},
    {"IGC2KML", AutomationAction::kIgcToKml, "Missing IGC/KML file name"},
    {"DAT2KML", AutomationAction::kDatToKml, "Missing DAT/KML file name"},
    {"CHKKML", AutomationAction::kCheckKml, "Missing file name"},
    {"FLYBOOK", AutomationAction::kFlybook, "Missing Flybook file name"},
}};

// Keywords without a value that set a flag.
struct FlagKeyword {
    std::string_view key;
    bool AutomationRequest::*flag;
};
constexpr std::array<FlagKeyword, 8> kFlagKeywords{{
    {"USB", &AutomationRequest::usb},
    {"OVERWRITE", &AutomationRequest::overwrite},
    {"EXIT", &AutomationRequest::exitWhenDone},
    {"COMP_SPECIAL", &AutomationRequest::compSpecial},
    {"NOSPLIT", &AutomationRequest::noSplit},
    {"NOCHECK", &AutomationRequest::noCheck},
    {"PWROFF", &AutomationRequest::powerOff},
    {"NOLOOPOPT", &AutomationRequest::noLoopOpt},
}};

// Keywords with a whole-number value. A value outside [lowest, highest] is clamped when
// `clamp` is set and refused otherwise; a fraction or a number beyond int is always refused.
struct IntegerKeyword {
    std::string_view key;
    int AutomationRequest::*target;
    std::string_view bad;
    int lowest;
    int highest;
    bool clamp;
};
constexpr std::array<IntegerKeyword, 6> kIntegerKeywords{{
    {"COMPID", &AutomationRequest::competitionId, "Bad COMPID value", INT_MIN, INT_MAX, false},
    {"CIVLID", &AutomationRequest::civlId, "Bad CIVLID value", INT_MIN, INT_MAX, false},
    // A negative interval would wrap in the unsigned time arithmetic of the position check.
    {"SENDLOG", &AutomationRequest::sendLogSeconds, "Bad SENDLOG value", 0, INT_MAX, false},
    {"POSX", &AutomationRequest::posX, "Bad POSX value", INT_MIN, INT_MAX, false},
    {"POSY", &AutomationRequest::posY, "Bad POSX value", INT_MIN, INT_MAX, false},
    {"TIMEOUT", &AutomationRequest::timeoutSeconds, "Bad TIMEOUT value", 0, kTimeoutMaxSeconds,
     true},
}};

// A whole number through the shared decimal parser. 0, or -1 for anything else.
int ParseWholeNumber(std::string_view text, long long& number) {
    double value = 0;
    if (ParseDecimal(text, value) != 0) {
        return -1;
    }
    if (std::trunc(value) != value) {
        return -1;
    }
    if (value < static_cast<double>(INT_MIN) || value > static_cast<double>(INT_MAX)) {
        return -1;
    }
    number = static_cast<long long>(value);
    return 0;
}

int ParseIntegerKeyword(ParseContext& context, const IntegerKeyword& keyword,
                        std::string_view value) {
    long long number = 0;
    if (ParseWholeNumber(value, number) != 0) {
        return context.Fail(keyword.bad);
    }
    if (number < keyword.lowest || number > keyword.highest) {
        if (!keyword.clamp) {
            return context.Fail(keyword.bad);
        }
        number = number < keyword.lowest ? keyword.lowest : keyword.highest;
    }
    context.request.*keyword.target = static_cast<int>(number);
    return 0;
}

// "YYYYMMDDhhmmss" into receiver seconds. 0, or -1.
int ParseFilterTime(std::string_view text, std::uint32_t& seconds) {
    if (text.size() != 14 || !AllDigits(text)) {
        return -1;
    }
    auto field = [text](std::size_t at, std::size_t length) {
        int number = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            number = number * 10 + (text[i] - '0');
        }
        return number;
    };
    CalendarTime calendar;
    calendar.year = field(0, 4);
    calendar.month = field(4, 2);
    calendar.day = field(6, 2);
    calendar.hour = field(8, 2);
    calendar.minute = field(10, 2);
    calendar.second = field(12, 2);
    // The time base holds 1990 to 2099 only; other years would wrap into a wrong time.
    if (calendar.year < 1990 || calendar.year > 2099) {
        return -1;
    }
    if (calendar.month < 1 || calendar.month > 12) {
        return -1;
    }
    if (calendar.day < 1 || calendar.day > 31) {
        return -1;
    }
    if (calendar.hour > 23 || calendar.minute > 59 || calendar.second > 59) {
        return -1;
    }
    seconds = CalendarToTime(calendar);
    return 0;
}

int ParseCom(ParseContext& context, std::string_view value) {
    constexpr std::string_view kBad = "Bad COM port";
    // A device path names the port directly, absolute or relative ("./ttyV0").
    if (!value.empty() &&
        (value[0] == '/' || value.starts_with("./") || value.starts_with("../"))) {
        context.request.portName = std::string(value);
        return 0;
    }
    // A USB unit's bus address ("001:005", "usb:1:5") for the USB families.
    if (!device::UsbBusAddress(value).empty()) {
        context.request.portName = std::string(value);
        return 0;
    }
    if (!AllDigits(value)) {
        return context.Fail(kBad);
    }
    long long number = 0;
    for (char c : value) {
        number = number * 10 + (c - '0');
        if (number > kMaxComPort) {
            return context.Fail(kBad);
        }
    }
    if (number == 0) {
        return context.Fail(kBad);
    }
    const int port = static_cast<int>(number);
    context.request.portName =
        port <= 9 ? StringPrintf("COM%d", port) : StringPrintf("\\\\.\\COM%d", port);
    return 0;
}

int ParseGps(ParseContext& context, std::string_view value) {
    if (FindGpsType(value, context.request.gpsType) != 0) {
        return context.Fail("Bad GPS type");
    }
    return 0;
}

int ParseUserName(ParseContext& context, std::string_view value) {
    if (value.empty()) {
        return context.Fail("Missing username");
    }
    context.request.action = AutomationAction::kWriteUserName;
    context.request.pilotName = CutText(value, kPilotNameMax);
    return 0;
}

int ParseFlightList(ParseContext& context, std::string_view) {
    context.request.action = AutomationAction::kFlightList;
    return 0;
}

int ParseTrack(ParseContext& context, std::string_view value) {
    constexpr std::string_view kBad = "Bad TRACK value";
    std::array<int, kTrackListSize> list{};
    list.fill(-1);
    std::size_t count = 0;
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < value.size() && value[pos] == ' ') {
            ++pos;
        }
    };
    skipBlanks();
    if (pos == value.size()) {
        return context.Fail("Missing TRACK list");
    }
    for (;;) {
        skipBlanks();
        if (pos == value.size() || !IsDigit(value[pos])) {
            return context.Fail(kBad);
        }
        int slot = 0;
        while (pos < value.size() && IsDigit(value[pos])) {
            slot = slot * 10 + (value[pos] - '0');
            // Slots past the flight list would address outside the instrument's list.
            if (slot > kMaxTrackSlot) {
                return context.Fail(kBad);
            }
            ++pos;
        }
        skipBlanks();
        if (count < list.size()) {
            list[count++] = slot;
        }
        if (pos == value.size()) {
            break;
        }
        if (value[pos] != ',') {
            return context.Fail(kBad);
        }
        ++pos;
    }
    context.request.trackList = list;
    return 0;
}

int ParseCompLog(ParseContext& context, std::string_view value) {
    if (value == "KML") {
        context.request.competitionFileKind = CompetitionFileKind::kKml;
    } else if (value == "IGC") {
        context.request.competitionFileKind = CompetitionFileKind::kIgc;
    } else {
        return context.Fail("Bad competition fle type");
    }
    context.request.action = AutomationAction::kCompetitionLog;
    return 0;
}

int ParseCompDir(ParseContext& context, std::string_view value) {
    if (value.empty()) {
        return context.Fail("Missing competition directory name");
    }
    context.request.competitionDir = std::string(value);
    return 0;
}

int ParseCompFs(ParseContext& context, std::string_view value) {
    if (value.empty()) {
        return context.Fail("Missing flight score file name");
    }
    context.request.flightScoreFile = std::string(value);
    context.request.pilotListLoaded = false;
    // Without a reader the name only waits in the request; nothing has been read.
    if (!context.environment.readPilotList) {
        return 0;
    }
    if (context.environment.readPilotList(context.request.flightScoreFile) < 0) {
        context.error.clear();  // the reader has shown its own message
        return -1;
    }
    context.request.pilotListLoaded = true;
    return 0;
}

int ParseFilterStart(ParseContext& context, std::string_view value) {
    if (value == "0") {
        return 0;
    }
    std::uint32_t start = 0;
    if (ParseFilterTime(value, start) != 0) {
        return context.Fail("Bad track log start filter time");
    }
    if (context.request.filterStop != 0 && context.request.filterStop <= start) {
        return context.Fail("Comp. stop time before start time");
    }
    context.request.filterStart = start;
    return 0;
}

int ParseFilterStop(ParseContext& context, std::string_view value) {
    if (value == "0") {
        return 0;
    }
    std::uint32_t stop = 0;
    if (ParseFilterTime(value, stop) != 0) {
        return context.Fail("Bad track log stop filter time");
    }
    if (context.request.filterStart != 0 && context.request.filterStart >= stop) {
        return context.Fail("Comp. start time after end time");
    }
    context.request.filterStop = stop;
    return 0;
}

int ParsePilot(ParseContext& context, std::string_view value) {
    if (!value.empty()) {
        context.request.pilotName = CutText(value, kPilotNameMax);
    }
    return 0;
}

int ParseGliderId(ParseContext& context, std::string_view value) {
    if (!value.empty()) {
        context.request.gliderId = CutText(value, kGliderIdMax);
    }
    return 0;
}

int ParseWin(ParseContext& context, std::string_view value) {
    if (value == "0") {
        context.request.showState = WindowShowState::kHidden;
    } else if (value == "1") {
        context.request.showState = WindowShowState::kMinimized;
    } else if (value == "2") {
        context.request.showState = WindowShowState::kNormal;
    } else {
        return context.Fail("Bad window size");
    }
    return 0;
}

int ParseNotify(ParseContext& context, std::string_view value) {
    if (value.empty()) {
        return context.Fail("Missing window class name");
    }
    AutomationRequest& request = context.request;
    request.notifyName = CutText(value, kNotifyNameMax);
    request.notifyTickMs = context.environment.tickMs;
    // The target is looked up once, now: only a socket that exists at this moment counts.
    const std::string path = NotifySocketPath(request.notifyName, context.environment.runtimeDir);
    // A socket address holds only so many bytes; a socket path given longer could never be
    // reached. (A bare name is cut to its limit and resolved as before.)
    if (value.find('/') != std::string_view::npos && path.size() >= sizeof(sockaddr_un::sun_path)) {
        return context.Fail("Notify socket path too long (" + std::to_string(path.size()) +
                            " bytes, at most " + std::to_string(sizeof(sockaddr_un::sun_path) - 1) +
                            "): " + path);
    }
    std::error_code error;
    request.notifySocket = std::filesystem::is_socket(path, error) ? path : std::string();
    return 0;
}

int ParseSession(ParseContext& context, std::string_view value) {
    constexpr std::string_view kBad = "Bad session number";
    if (value.empty()) {
        return context.Fail("Missing session number");
    }
    if (!AllDigits(value)) {
        return context.Fail(kBad);
    }
    // The session number travels as 32 bits.
    std::uint64_t number = 0;
    for (char c : value) {
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
        if (number > UINT32_MAX) {
            return context.Fail(kBad);
        }
    }
    context.request.sessionNumber = static_cast<std::uint32_t>(number);
    context.request.sessionGiven = true;
    return 0;
}

struct SpecialKeyword {
    std::string_view key;
    int (*parse)(ParseContext& context, std::string_view value);
};
constexpr std::array<SpecialKeyword, 15> kSpecialKeywords{{
    {"COM", ParseCom},
    {"GPS", ParseGps},
    {"USERNAME", ParseUserName},
    {"FLIGHTLIST", ParseFlightList},
    {"TRACK", ParseTrack},
    {"COMP_LOG", ParseCompLog},
    {"COMP_DIR", ParseCompDir},
    {"COMP_FS", ParseCompFs},
    {"FILTER", ParseFilterStart},
    {"FILTEREND", ParseFilterStop},
    {"PILOT", ParsePilot},
    {"ID", ParseGliderId},
    {"WIN", ParseWin},
    {"NOTIFY", ParseNotify},
    {"SESSION", ParseSession},
}};

// One completed token. 0, or -1 with context.error set (empty when already reported).
int ParseKeyword(ParseContext& context, std::string_view key, std::string_view value) {
    for (const FileKeyword& keyword : kFileKeywords) {
        if (key != keyword.key) {
            continue;
        }
        if (value.empty()) {
            return context.Fail(keyword.missing);
        }
        context.request.action = keyword.action;
        context.request.fileName = std::string(value);
        return 0;
    }
    for (const FlagKeyword& keyword : kFlagKeywords) {
        if (key != keyword.key) {
            continue;
        }
        context.request.*keyword.flag = true;
        return 0;
    }
    for (const IntegerKeyword& keyword : kIntegerKeywords) {
        if (key == keyword.key) {
            return ParseIntegerKeyword(context, keyword, value);
        }
    }
    for (const SpecialKeyword& keyword : kSpecialKeywords) {
        if (key == keyword.key) {
            return keyword.parse(context, value);
        }
    }
    return context.Fail(kUnrecognized);
}

// ------------------------------------------------------------------ validation

constexpr std::array<std::string_view, kGpsActionFamilyCount> kRefusedMessages{{
    "Unsupported GPS for track log download",      // kTrackLog
    "Unsupported GPS for IGC track log download",  // kIgcTrackLog
    "Unsupported GPS for waypoint download",       // kWaypointDownload
    "Unsupported GPS for track log upload",        // kWaypointUpload
    "Unsupported GPS for flightlist download",     // kFlightList
    "Unsupported GPS for CTR upload",              // kAirspaceUpload
    "Unsupported GPS for username upload",         // kUserNameUpload
}};

// ------------------------------------------------------------------ the whole line

struct ParseOutcome {
    int status = 0;
    std::string error;  // empty when nothing is to be shown
    bool hidden = false;
};

ParseOutcome Failure(std::string message, const AutomationRequest* request) {
    ParseOutcome outcome;
    outcome.status = -1;
    outcome.error = std::move(message);
    outcome.hidden = request != nullptr && request->showState == WindowShowState::kHidden;
    return outcome;
}

// A line that starts like an option but whose first word holds a second '/' is an absolute
// path ("/home/pilot/flight.igc"): no option key contains a '/'.
bool IsAbsolutePath(std::string_view line) {
    const std::string_view word = line.substr(0, line.find_first_of(" ="));
    return word.size() > 1 && word.find('/', 1) != std::string_view::npos;
}

ParseOutcome ParseLine(std::string_view text, const AutomationEnvironment& environment,
                       std::optional<AutomationRequest>& out) {
    // The line ends at a NUL, as a C string would.
    text = text.substr(0, text.find('\0'));
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }

    AutomationRequest request;
    // The options start with '/'; a line enclosed in quotes is taken from inside them.
    std::string_view line = text;
    bool bareName = false;
    if (text[first] == '"') {
        const std::size_t close = text.find('"', first + 1);
        if (close == std::string_view::npos) {
            return Failure(std::string(kQuoteBalance), nullptr);
        }
        line = text.substr(first + 1, close - first - 1);
        bareName = line.empty() || line[0] != '/' || IsAbsolutePath(line);
    } else if (text[first] != '/' || IsAbsolutePath(text.substr(first))) {
        line = text.substr(first);
        bareName = true;
    }

    if (bareName) {
        // A bare file name: read it as a track log.
        if (line.empty()) {
            return Failure(std::string(kMissingTrackLogFile), nullptr);
        }
        if (line.size() > kFileNameMax) {
            return Failure(ErrorAtPosition(kFileNameMax + 1), nullptr);
        }
        request.fileName = std::string(line);
        request.action = AutomationAction::kLogFile;
        out = std::move(request);
        return {};
    }

    Tokenizer tokenizer;
    ParseContext context{request, environment, {}};
    for (std::size_t i = 0; i <= line.size(); ++i) {
        const char c = i < line.size() ? line[i] : '\0';
        const TokenStep step = tokenizer.Feed(c);
        if (step == TokenStep::kError) {
            return Failure(ErrorAtPosition(i + 1), &request);
        }
        if (step == TokenStep::kToken &&
            ParseKeyword(context, tokenizer.key(), tokenizer.value()) != 0) {
            return Failure(std::move(context.error), &request);
        }
    }

    std::string_view message;
    if (ValidateAutomationRequest(request, message) != 0) {
        return Failure(std::string(message), &request);
    }
    out = std::move(request);
    return {};
}

}  // namespace

AutomationEnvironment SystemAutomationEnvironment() {
    AutomationEnvironment environment;
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    // A 32-bit millisecond tick count wraps, as such counts do.
    environment.tickMs = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
    // A relative runtime directory is not to be used (it counts as unset).
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && dir[0] == '/') {
        environment.runtimeDir = dir;
    }
    return environment;
}

int ParseCommandLine(std::string_view text, Host& host, const AutomationEnvironment& environment,
                     std::optional<AutomationRequest>& out, std::string* errorText) {
    out.reset();
    ParseOutcome outcome;
    try {
        outcome = ParseLine(text, environment, out);
    } catch (const std::bad_alloc&) {
        out.reset();
        outcome = Failure(std::string(kMemoryError), nullptr);
    }
    if (outcome.status == 0) {
        return 0;
    }
    out.reset();
    if (errorText != nullptr) {
        *errorText = outcome.error;
    }
    // With WIN=0 given before the error the program runs unseen: no message box.
    if (!outcome.error.empty() && !outcome.hidden) {
        host.ShowMessage(std::string(kTitle), outcome.error);
    }
    return -1;
}

std::optional<GpsActionFamily> ActionFamily(AutomationAction action) {
    switch (action) {
        case AutomationAction::kKmlLog:
        case AutomationAction::kOziLog:
        case AutomationAction::kMpsLog:
        case AutomationAction::kCompetitionLog:
        case AutomationAction::kFlybook:
            return GpsActionFamily::kTrackLog;
        case AutomationAction::kIgcLog:
            return GpsActionFamily::kIgcTrackLog;
        case AutomationAction::kReadWaypoints:
        case AutomationAction::kReadGeoWaypoints:
            return GpsActionFamily::kWaypointDownload;
        case AutomationAction::kWriteWaypoints:
        case AutomationAction::kWriteWaypointsWithId:
            return GpsActionFamily::kWaypointUpload;
        case AutomationAction::kWriteAirspace:
            return GpsActionFamily::kAirspaceUpload;
        case AutomationAction::kWriteUserName:
            return GpsActionFamily::kUserNameUpload;
        case AutomationAction::kFlightList:
            return GpsActionFamily::kFlightList;
        case AutomationAction::kNone:
        case AutomationAction::kIgcToKml:
        case AutomationAction::kDatToKml:
        case AutomationAction::kLogFile:
        case AutomationAction::kCheckKml:
            break;
    }
    return std::nullopt;
}

int ValidateAutomationRequest(const AutomationRequest& request, std::string_view& message) {
    const std::optional<GpsActionFamily> family = ActionFamily(request.action);
    if (!family) {
        return 0;
    }
    if (!GpsTypeAccepts(request.gpsType, *family)) {
        message = kRefusedMessages[static_cast<std::size_t>(*family)];
        return -1;
    }
    if (*family == GpsActionFamily::kFlightList && request.notifySocket.empty()) {
        // The flight list is only ever reported to the notify target.
        message = "Missing notify window for flightlist download";
        return -1;
    }
    if (request.usb && !GpsJobFor(request.gpsType, *family, true)) {
        message = "USB is not supported";
        return -1;
    }
    return 0;
}

int ExpandDateInFileName(std::string_view name, const CalendarTime& date, std::string& out) {
    constexpr std::string_view kPlaceholder = "$date";
    const std::string stamp = StringPrintf("%d%02d%02d", date.year, date.month, date.day);
    std::string expanded;
    std::size_t from = 0;
    for (std::size_t at = name.find(kPlaceholder); at != std::string_view::npos;
         at = name.find(kPlaceholder, from)) {
        expanded.append(name.substr(from, at - from));
        expanded += stamp;
        from = at + kPlaceholder.size();
    }
    expanded.append(name.substr(from));
    // A cut name would be a different file; the caller reports the name as too long.
    if (expanded.size() > kFileNameMax) {
        return -1;
    }
    out = std::move(expanded);
    return 0;
}

bool NamesDirectory(std::string_view name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

}  // namespace tracora
