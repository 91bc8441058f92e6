// The settings table and its INI file.
//
// The file holds one "[Tracora]" section of `Name=value` lines (numbers in decimal, texts as
// raw UTF-8). Everything else in the file (comments, blank lines, unknown names, other
// sections) is kept line for line when the file is rewritten, and only the lines of values
// that changed are replaced, so hand edits and entries of other parts of the program survive.
#include "core/settings.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "core/file_io.hpp"
#include "core/host.hpp"
#include "core/strings.hpp"

namespace tracora {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSectionName = "Tracora";
constexpr std::string_view kFileName = "settings.ini";
constexpr std::string_view kAppFolder = "Tracora";
constexpr char kAccessErrorTitle[] = "Registry access error";

constexpr std::size_t kPathSize = 260;
constexpr std::size_t kNameSize = 80;
constexpr std::size_t kUrlSize = 1024;
constexpr std::size_t kNumberSize = 4;

// A settings file is a few kilobytes; anything this large is not one, and reading it whole
// would only waste memory.
constexpr std::size_t kMaxFileBytes = std::size_t{4} * 1024 * 1024;

constexpr SettingEntry Text(std::string_view name, std::size_t size, std::string Settings::*member,
                            std::string_view defaultText) {
    return {name, true, size, member, nullptr, defaultText, 0};
}

constexpr SettingEntry Number(std::string_view name, std::int32_t Settings::*member,
                              std::int32_t defaultNumber) {
    return {name, false, kNumberSize, nullptr, member, {}, defaultNumber};
}

constexpr std::string_view kDocs = kDocumentsDefault;

// The table in the order the values are read and written.
constexpr std::array<SettingEntry, kSettingCount> kTable = {{
    Text("PilotListName", kPathSize, &Settings::pilotListName, kDocs),
    Text("PilotListDir", kPathSize, &Settings::pilotListDir, kDocs),
    Text("GoogleDir", kPathSize, &Settings::googleDir, kDocs),
    Text("CompDir", kPathSize, &Settings::compDir, kDocs),
    Text("OziDir", kPathSize, &Settings::oziDir, kDocs),
    Text("TrackLogDir", kPathSize, &Settings::trackLogDir, kDocs),
    Text("WaypointDir", kPathSize, &Settings::waypointDir, kDocs),
    Text("CtrDir", kPathSize, &Settings::ctrDir, kDocs),
    Text("TraceDir", kPathSize, &Settings::traceDir, kDocs),
    Text("Baudrate", 10, &Settings::baudrate, "9600"),
    Text("PortName", kNameSize, &Settings::portName, "COM1"),
    Number("Port", &Settings::port, 1),
    Number("LogFilter", &Settings::logFilter, 1),
    Number("LogExportExt", &Settings::logExportExt, 1),
    Number("LogImportExt", &Settings::logImportExt, 1),
    Number("WptExportExt", &Settings::wptExportExt, 1),
    Number("WptImportExt", &Settings::wptImportExt, 1),
    Number("CompTimeStart", &Settings::compTimeStart, 555674400),  // 2007-08-10 10:00:00 UTC
    Number("CompTimeStop", &Settings::compTimeStop, 0),
    Number("CompWptNNN", &Settings::compWptNnn, 0),
    Number("CompMode", &Settings::compMode, 0),
    Number("CompSpecial", &Settings::compSpecial, 0),
    Number("TrackGapTime", &Settings::trackGapTime, 1200),
    Number("AddIgcToCompOut", &Settings::addIgcToCompOut, 0),
    Number("LoopFlightGap", &Settings::loopFlightGap, 800),
    Number("VarioFilter", &Settings::varioFilter, 0),
    Number("TimestampFilter", &Settings::timestampFilter, 0),
    Number("DownloadFilter", &Settings::downloadFilter, 0),
    Number("FlymasterPwrOff", &Settings::flymasterPwrOff, 0),
    Number("UtcOffsetForTN", &Settings::utcOffsetForTn, 0),
    Text("IgcDir", kPathSize, &Settings::igcDir, kDocs),
    Text("IgcPilotName", kNameSize, &Settings::igcPilotName, "None"),
    Text("IgcFlightNo", kNameSize, &Settings::igcFlightNo, "1"),
    Text("IgcContestId", kNameSize, &Settings::igcContestId, "1"),
    Text("IgcGliderType", kNameSize, &Settings::igcGliderType, "None"),
    Text("IgcGliderId", kNameSize, &Settings::igcGliderId, "None"),
    Text("IgcSite", kNameSize, &Settings::igcSite, "None"),
    Text("IgcClass", kNameSize, &Settings::igcClass, "None"),
    Number("IgcSaveMask", &Settings::igcSaveMask, 5),
    Number("IgcAddEnl", &Settings::igcAddEnl, 0),
    Text("OlcDir", kPathSize, &Settings::olcDir, kDocs),
    Text("OlcFirstName", kNameSize, &Settings::olcFirstName, ""),
    Text("OlcLastName", kNameSize, &Settings::olcLastName, ""),
    Text("OlcBirthDate", kNameSize, &Settings::olcBirthDate, ""),
    Text("OlcGliderClass", kNameSize, &Settings::olcGliderClass, ""),
    Text("OlcGliderType", kNameSize, &Settings::olcGliderType, ""),
    Text("OlcCallSign", kNameSize, &Settings::olcCallSign, ""),
    Text("OlcStartPlace", kNameSize, &Settings::olcStartPlace, ""),
    Text("OlcRegion", 8, &Settings::olcRegion, ""),
    Number("OlcLongFileName", &Settings::olcLongFileName, 0),
    Number("DsxDataMode", &Settings::dsxDataMode, 0),
    Number("CsvAbsTime", &Settings::csvAbsTime, 0),
    Number("CsvRelTime", &Settings::csvRelTime, 0),
    Number("CsvRelDist", &Settings::csvRelDist, 0),
    Number("CsvAccDist", &Settings::csvAccDist, 0),
    Number("CsvBearing", &Settings::csvBearing, 0),
    Number("Csv400deg", &Settings::csv400deg, 0),
    Number("CsvSpeed", &Settings::csvSpeed, 0),
    Number("CsvVario", &Settings::csvVario, 0),
    Number("CtrSegError", &Settings::ctrSegError, 10),
    Text("FtpAddress", kPathSize, &Settings::ftpAddress, "ftp.example.com"),
    Text("FtpUserId", kPathSize, &Settings::ftpUserId, "User ID"),
    Text("FtpRemoteName", kPathSize, &Settings::ftpRemoteName, ""),
    Text("FtpLocalFolder", kPathSize, &Settings::ftpLocalFolder, kDocs),
    Number("FtpLocalFileExt", &Settings::ftpLocalFileExt, 1),
    Number("FtpPassiveMode", &Settings::ftpPassiveMode, 0),
    Text("MapTileUrl", kUrlSize, &Settings::mapTileUrl, ""),
}};

// ---------------------------------------------------------------------------------------------
// Environment and folders

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// The XDG base-directory rules ignore relative paths in these variables.
std::optional<std::string> AbsoluteEnv(const char* name) {
    auto value = Env(name);
    if (!value || value->front() != '/') {
        return std::nullopt;
    }
    return value;
}

fs::path HomeFolder() {
    if (auto home = Env("HOME")) {
        return *home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr && *result->pw_dir != '\0') {
        return result->pw_dir;
    }
    return "/";
}

// The settings file as text: absent, read (possibly empty), or unreadable with its errno.
enum class ReadStatus { kOk, kAbsent, kError };

struct ReadResult {
    ReadStatus status = ReadStatus::kError;
    int error = 0;
    std::string text;
};

ReadResult ReadSettingsFile(const fs::path& path) {
    ReadResult result;
    switch (ReadWholeFile(path, result.text, &result.error, kMaxFileBytes)) {
        case FileReadStatus::kOk:
        case FileReadStatus::kEmpty:
            result.status = ReadStatus::kOk;
            break;
        case FileReadStatus::kAbsent:
            result.status = ReadStatus::kAbsent;
            break;
        default:
            result.status = ReadStatus::kError;
            break;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// The INI text

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    return TrimBlanks(text);
}

// The file as lines without their line ends, so that it can be written back unchanged
// except for the lines that were replaced or added.
struct IniDocument {
    std::vector<std::string> lines;
    bool crlf = false;  // the file's lines end with CR LF
    bool bom = false;   // the file starts with a UTF-8 byte order mark
};

IniDocument ParseDocument(std::string_view text) {
    IniDocument doc;
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        doc.bom = true;
        text.remove_prefix(kUtf8Bom.size());
    }
    bool firstEnd = true;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos) {
            if (firstEnd) {
                doc.crlf = !line.empty() && line.back() == '\r';
            }
            firstEnd = false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        doc.lines.emplace_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return doc;
}

std::string SerializeDocument(const IniDocument& doc) {
    std::string text;
    if (doc.bom) {
        text += kUtf8Bom;
    }
    const std::string_view eol = doc.crlf ? "\r\n" : "\n";
    for (const std::string& line : doc.lines) {
        text += line;
        text += eol;
    }
    return text;
}

// A section header "[Name]": its name, or nothing for other lines.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return std::nullopt;
    }
    return Trim(line.substr(1, line.size() - 2));
}

bool IsComment(std::string_view trimmed) {
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

struct KeyValue {
    std::string_view key, value;
};

// A `Name=value` line; the value still in its written form (see DecodeValue).
std::optional<KeyValue> KeyValueOf(std::string_view line) {
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || IsComment(trimmed) || SectionOf(trimmed)) {
        return std::nullopt;
    }
    std::size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view key = Trim(trimmed.substr(0, eq));
    if (key.empty()) {
        return std::nullopt;
    }
    return KeyValue{key, Trim(trimmed.substr(eq + 1))};
}

// Where the program's values are in a document: the line of each name (the last one when a
// name appears twice, the one a reader takes) and where new names go.
struct SectionIndex {
    std::array<std::optional<std::size_t>, kSettingCount> lineOf{};
    std::optional<std::size_t> insertAt;  // after the section's last value line
};

std::optional<std::size_t> EntryIndex(std::string_view name) {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (kTable[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

SectionIndex IndexDocument(const IniDocument& doc) {
    SectionIndex index;
    bool inSection = false;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const std::string& line = doc.lines[i];
        if (auto section = SectionOf(line)) {
            inSection = *section == kSectionName;
            if (inSection) {
                index.insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        auto kv = KeyValueOf(line);
        if (!kv) {
            continue;
        }
        index.insertAt = i + 1;
        if (auto entry = EntryIndex(kv->key)) {
            index.lineOf[*entry] = i;
        }
    }
    return index;
}

// Values are written raw. A value with a space or tab at either end, or one that is itself
// enclosed in double quotes, is written inside double quotes so that trimming around '='
// and removing one pair of enclosing quotes on reading gives it back unchanged.
std::string_view DecodeValue(std::string_view written) {
    if (written.size() >= 2 && written.front() == '"' && written.back() == '"') {
        written = written.substr(1, written.size() - 2);
    }
    return written;
}

std::string EncodeValue(std::string_view value) {
    // Blanks at either end would be trimmed away when the file is read back.
    bool quote =
        !value.empty() && (TrimBlanks(value).size() != value.size() ||
                           (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    if (!quote) {
        return std::string(value);
    }
    std::string text;
    text.reserve(value.size() + 2);
    text += '"';
    text += value;
    text += '"';
    return text;
}

// Whether a text fits its entry the way the file stores it: one line, no NUL, and with the
// terminating NUL of the entry's buffer within its size.
bool TextFits(const SettingEntry& entry, std::string_view text) {
    return text.size() + 1 <= entry.size &&
           text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// A 32-bit number in decimal. Both the signed and the unsigned range are taken, the latter
// as its two's complement bit pattern (4294967295 is -1), as a 32-bit value store keeps it.
std::optional<std::int32_t> ParseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// Reads every entry present and valid in the document into `values` and `stored`; the others
// keep what they hold (the defaults).
void ReadEntries(const IniDocument& doc, Settings& values, Settings& stored) {
    SectionIndex index = IndexDocument(doc);
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (!index.lineOf[i]) {
            continue;
        }
        const SettingEntry& entry = kTable[i];
        auto kv = KeyValueOf(doc.lines[*index.lineOf[i]]);
        std::string_view written = DecodeValue(kv->value);
        if (entry.isString) {
            if (!TextFits(entry, written)) {
                continue;
            }
            values.*entry.text = std::string(written);
            stored.*entry.text = std::string(written);
        } else if (auto number = ParseNumber(written)) {
            values.*entry.number = *number;
            stored.*entry.number = *number;
        }
    }
}

std::string FormatEntry(const SettingEntry& entry, const Settings& values) {
    std::string line(entry.name);
    line += '=';
    if (entry.isString) {
        line += EncodeValue(values.*entry.text);
    } else {
        line += std::to_string(values.*entry.number);
    }
    return line;
}

bool Differs(const SettingEntry& entry, const Settings& a, const Settings& b) {
    return entry.isString ? a.*entry.text != b.*entry.text : a.*entry.number != b.*entry.number;
}

// ---------------------------------------------------------------------------------------------
// Atomic replacement

// The file to replace: a settings file that is a symbolic link (kept with the user's other
// configuration files elsewhere) is replaced where the link points, so the link stays.
fs::path ReplacementTarget(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_symlink(file, ec)) {
        return file;
    }
    fs::path real = fs::canonical(file, ec);
    return ec ? file : real;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

const std::array<SettingEntry, kSettingCount>& SettingsTable() {
    return kTable;
}

Settings DefaultSettings() {
    Settings settings;
    const std::string documents = DocumentsFolder();
    for (const SettingEntry& entry : kTable) {
        if (entry.isString) {
            settings.*entry.text =
                entry.defaultText == kDocumentsDefault ? documents : std::string(entry.defaultText);
        } else {
            settings.*entry.number = entry.defaultNumber;
        }
    }
    return settings;
}

std::string DocumentsFolder() {
    if (auto documents = AbsoluteEnv("XDG_DOCUMENTS_DIR")) {
        return *documents;
    }
    const fs::path home = HomeFolder();
    std::error_code ec;
    if (fs::is_directory(home / "Documents", ec)) {
        return (home / "Documents").string();
    }
    return home.string();
}

fs::path UserSettingsFile() {
    if (auto dir = Env("TRACORA_CONFIG_DIR")) {
        return fs::path(*dir) / kFileName;
    }
    fs::path base;
    if (auto config = AbsoluteEnv("XDG_CONFIG_HOME")) {
        base = *config;
    } else {
        base = HomeFolder() / ".config";
    }
    return base / kAppFolder / kFileName;
}

fs::path SystemSettingsFile() {
    std::string dirs = Env("XDG_CONFIG_DIRS").value_or("/etc/xdg");
    std::string_view rest = dirs;
    while (true) {
        std::size_t colon = rest.find(':');
        std::string_view dir = rest.substr(0, colon);
        if (!dir.empty() && dir.front() == '/') {
            fs::path candidate = fs::path(dir) / kAppFolder / kFileName;
            std::error_code ec;
            if (fs::exists(candidate, ec)) {
                return candidate;
            }
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return {};
}

std::map<int, std::string> ReadPortTable(std::string_view text) {
    std::map<int, std::string> table;
    const IniDocument doc = ParseDocument(text);
    bool inPorts = false;
    for (const std::string& line : doc.lines) {
        if (auto section = SectionOf(line)) {
            inPorts = *section == "Ports";
            continue;
        }
        auto kv = KeyValueOf(line);
        if (!inPorts || !kv || kv->key.size() < 4 || kv->key.substr(0, 3) != "COM")
            continue;
        int number = 0;
        const std::string_view digits = kv->key.substr(3);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error != std::errc() || end != digits.data() + digits.size() || number < 1)
            continue;
        table[number] = std::string(DecodeValue(kv->value));
    }
    return table;
}

void ReadSettingsText(std::string_view text, Settings& values) {
    Settings stored = values;
    ReadEntries(ParseDocument(text), values, stored);
}

SettingsStore::SettingsStore(fs::path userFile, fs::path systemFile)
    : userFile_(std::move(userFile)), systemFile_(std::move(systemFile)) {}

int SettingsStore::Load(Settings& values, Host* host) {
    open_ = false;
    created_ = false;
    stored_ = DefaultSettings();
    values = stored_;

    ReadResult user = ReadSettingsFile(userFile_);
    if (user.status == ReadStatus::kError) {
        if (host != nullptr) {
            host->ShowMessage(kAccessErrorTitle, std::system_category().message(user.error));
        }
        return -1;
    }
    open_ = true;
    if (user.status == ReadStatus::kOk) {
        portTable_ = ReadPortTable(user.text);
        ReadEntries(ParseDocument(user.text), values, stored_);
        return 0;
    }
    // The user has no file yet: it will be created, with every value, at the first save. The
    // system-wide file supplies the values when there is one that can be read.
    created_ = true;
    if (!systemFile_.empty()) {
        ReadResult system = ReadSettingsFile(systemFile_);
        if (system.status == ReadStatus::kOk) {
            portTable_ = ReadPortTable(system.text);
            ReadEntries(ParseDocument(system.text), values, stored_);
        }
    }
    return 0;
}

int SettingsStore::Save(const Settings& values) {
    if (!open_) {
        return 0;
    }

    std::vector<std::size_t> pending;
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        const SettingEntry& entry = kTable[i];
        if (!created_ && !Differs(entry, values, stored_)) {
            continue;
        }
        if (entry.isString && !TextFits(entry, values.*entry.text)) {
            continue;
        }
        pending.push_back(i);
    }
    if (pending.empty()) {
        return 0;
    }

    // Read the file again: lines written since the load (by hand or by another part of the
    // program) are kept. A file that exists but cannot be read is never overwritten.
    const fs::path target = ReplacementTarget(userFile_);
    ReadResult current = ReadSettingsFile(target);
    if (current.status == ReadStatus::kError) {
        return -1;
    }
    IniDocument doc;
    if (current.status == ReadStatus::kOk) {
        doc = ParseDocument(current.text);
    }

    SectionIndex index = IndexDocument(doc);
    std::vector<std::string> added;
    for (std::size_t i : pending) {
        std::string line = FormatEntry(kTable[i], values);
        if (index.lineOf[i]) {
            doc.lines[*index.lineOf[i]] = std::move(line);
        } else {
            added.push_back(std::move(line));
        }
    }
    if (!added.empty()) {
        if (!index.insertAt) {
            if (!doc.lines.empty() && !Trim(doc.lines.back()).empty()) {
                doc.lines.emplace_back();
            }
            doc.lines.push_back("[" + std::string(kSectionName) + "]");
            index.insertAt = doc.lines.size();
        }
        doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(*index.insertAt),
                         added.begin(), added.end());
    }

    if (ReplaceFileAtomically(target, SerializeDocument(doc)) != 0) {
        return -1;
    }

    for (std::size_t i : pending) {
        const SettingEntry& entry = kTable[i];
        if (entry.isString) {
            stored_.*entry.text = values.*entry.text;
        } else {
            stored_.*entry.number = values.*entry.number;
        }
    }
    created_ = false;
    return static_cast<int>(pending.size());
}

}  // namespace tracora
