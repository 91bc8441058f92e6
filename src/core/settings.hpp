// The settings the program remembers between runs: one constant table of named values,
// loaded from the user's settings file at start and written back (changed values only) at exit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace tracora {

class Host;

// Every value the settings file holds. Names follow the file's value names.
struct Settings {
    std::string pilotListName, pilotListDir, googleDir, compDir, oziDir, trackLogDir, waypointDir,
        ctrDir, traceDir;
    std::string baudrate;
    std::string portName;
    std::int32_t port = 0;
    std::int32_t logFilter = 0;
    std::int32_t logExportExt = 0, logImportExt = 0, wptExportExt = 0, wptImportExt = 0;
    std::int32_t compTimeStart = 0, compTimeStop = 0;
    std::int32_t compWptNnn = 0, compMode = 0, compSpecial = 0;
    std::int32_t trackGapTime = 0;
    std::int32_t addIgcToCompOut = 0;
    std::int32_t loopFlightGap = 0;
    std::int32_t varioFilter = 0;
    std::int32_t timestampFilter = 0;
    std::int32_t downloadFilter = 0;
    std::int32_t flymasterPwrOff = 0;
    std::int32_t utcOffsetForTn = 0;
    std::string igcDir;
    std::string igcPilotName, igcFlightNo, igcContestId, igcGliderType, igcGliderId, igcSite,
        igcClass;
    std::int32_t igcSaveMask = 0;
    std::int32_t igcAddEnl = 0;
    std::string olcDir;
    std::string olcFirstName, olcLastName, olcBirthDate, olcGliderClass, olcGliderType, olcCallSign,
        olcStartPlace;
    std::string olcRegion;
    std::int32_t olcLongFileName = 0;
    std::int32_t dsxDataMode = 0;
    std::int32_t csvAbsTime = 0, csvRelTime = 0, csvRelDist = 0, csvAccDist = 0, csvBearing = 0,
                 csv400deg = 0, csvSpeed = 0, csvVario = 0;
    std::int32_t ctrSegError = 0;
    std::string ftpAddress, ftpUserId, ftpRemoteName, ftpLocalFolder;
    std::int32_t ftpLocalFileExt = 0;
    std::int32_t ftpPassiveMode = 0;
    // The URL of the track view's map tiles with {z}, {x} and {y}; empty: no map.
    std::string mapTileUrl;

    bool operator==(const Settings&) const = default;
};

// One row of the settings table.
struct SettingEntry {
    std::string_view name;
    bool isString;
    std::size_t size;  // bytes including the terminating NUL for strings; 4 for numbers
    std::string Settings::*text;
    std::int32_t Settings::*number;
    std::string_view defaultText;  // kDocumentsDefault stands for the user's documents folder
    std::int32_t defaultNumber;
};

// The default text of the folder settings, replaced by DocumentsFolder() in DefaultSettings().
inline constexpr std::string_view kDocumentsDefault = "$DOCUMENTS";

inline constexpr std::size_t kSettingCount = 67;
// The table in the order the values are read and written.
const std::array<SettingEntry, kSettingCount>& SettingsTable();

// Every setting at its default value.
Settings DefaultSettings();

// The user's documents folder: $XDG_DOCUMENTS_DIR, else ~/Documents when it exists, else home.
std::string DocumentsFolder();

// Where the per-user file lives: $TRACORA_CONFIG_DIR, else $XDG_CONFIG_HOME/Tracora, else
// ~/.config/Tracora; the file is settings.ini inside it.
std::filesystem::path UserSettingsFile();
// The system-wide defaults file: Tracora/settings.ini in the first folder of $XDG_CONFIG_DIRS
// (/etc/xdg when unset) that has one; an empty path when none has.
std::filesystem::path SystemSettingsFile();

// The user's port table: the [Ports] section's "COMn=/dev/..." lines, which say where a COM
// number leads (without an entry COMn is /dev/ttyS(n-1)).
std::map<int, std::string> ReadPortTable(std::string_view text);

// Reads the values a settings file's text holds into `values`; absent or invalid ones keep
// what `values` held.
void ReadSettingsText(std::string_view text, Settings& values);

// The settings file and the copy of what it holds, so that only changed values are written.
class SettingsStore {
public:
    SettingsStore(std::filesystem::path userFile, std::filesystem::path systemFile);

    // Reads the user's file into `values`; a value that is absent or does not fit its entry
    // (not a number, a text too long) takes its default. When the user has no file yet, the
    // system-wide file supplies the values, else the defaults. Loading never creates or
    // writes a file. A file that cannot be read is reported through the host ("Registry
    // access error") and leaves the store closed with `values` at their defaults: nothing
    // will be saved. Returns 0, or -1 after such an error.
    int Load(Settings& values, Host* host);

    // Writes the values that differ from the stored copy (all of them when the user had no
    // file), replacing the file atomically; other lines of the file are kept as they are.
    // Nothing is written, and the file is not touched, when nothing changed or the store is
    // closed. A text the file cannot hold as it is (a line break or NUL in it, or longer than
    // its entry's size allows) is skipped: the file keeps its previous value for that name.
    // Returns the number of values written, or -1 on a write failure (the stored copy then
    // stays as it was, so a later Save tries again).
    int Save(const Settings& values);

    // The port table of the file that was loaded.
    [[nodiscard]] const std::map<int, std::string>& PortTable() const { return portTable_; }
    [[nodiscard]] bool IsOpen() const { return open_; }
    [[nodiscard]] bool CreatedThisRun() const { return created_; }
    [[nodiscard]] const std::filesystem::path& UserFile() const { return userFile_; }

private:
    std::filesystem::path userFile_;
    std::filesystem::path systemFile_;
    Settings stored_;
    std::map<int, std::string> portTable_;
    bool open_ = false;
    bool created_ = false;
};

}  // namespace tracora
