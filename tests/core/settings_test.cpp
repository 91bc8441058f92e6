#include "core/settings.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <cstdlib>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/scripted_host.hpp"

namespace tracora {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedHost;

// ---------------------------------------------------------------------------------------------
// Helpers

// Sets (or unsets, with nullopt) an environment variable for the scope and restores it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

fs::path MakeTempDir() {
    std::string pattern = (fs::path(::testing::TempDir()) / "tracora-settings-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    return pattern;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::vector<std::string> FolderListing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.insert(item.path().filename().string());
    }
    return {names.begin(), names.end()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// ---------------------------------------------------------------------------------------------
// The table as the file format defines it, typed independently of the code.

struct ExpectedEntry {
    std::string_view name;
    std::string Settings::*text;
    std::int32_t Settings::*number;
    std::size_t size;
    std::string_view defaultText;
    std::int32_t defaultNumber;
};

constexpr std::string_view kDocs = "$DOCUMENTS";

constexpr ExpectedEntry S(std::string_view name, std::string Settings::*member, std::size_t size,
                          std::string_view defaultText) {
    return {name, member, nullptr, size, defaultText, 0};
}
constexpr ExpectedEntry N(std::string_view name, std::int32_t Settings::*member,
                          std::int32_t defaultNumber) {
    return {name, nullptr, member, 4, {}, defaultNumber};
}

const ExpectedEntry kExpectedTable[] = {
    S("PilotListName", &Settings::pilotListName, 260, kDocs),
    S("PilotListDir", &Settings::pilotListDir, 260, kDocs),
    S("GoogleDir", &Settings::googleDir, 260, kDocs),
    S("CompDir", &Settings::compDir, 260, kDocs),
    S("OziDir", &Settings::oziDir, 260, kDocs),
    S("TrackLogDir", &Settings::trackLogDir, 260, kDocs),
    S("WaypointDir", &Settings::waypointDir, 260, kDocs),
    S("CtrDir", &Settings::ctrDir, 260, kDocs),
    S("TraceDir", &Settings::traceDir, 260, kDocs),
    S("Baudrate", &Settings::baudrate, 10, "9600"),
    S("PortName", &Settings::portName, 80, "COM1"),
    N("Port", &Settings::port, 1),
    N("LogFilter", &Settings::logFilter, 1),
    N("LogExportExt", &Settings::logExportExt, 1),
    N("LogImportExt", &Settings::logImportExt, 1),
    N("WptExportExt", &Settings::wptExportExt, 1),
    N("WptImportExt", &Settings::wptImportExt, 1),
    N("CompTimeStart", &Settings::compTimeStart, 555674400),
    N("CompTimeStop", &Settings::compTimeStop, 0),
    N("CompWptNNN", &Settings::compWptNnn, 0),
    N("CompMode", &Settings::compMode, 0),
    N("CompSpecial", &Settings::compSpecial, 0),
    N("TrackGapTime", &Settings::trackGapTime, 1200),
    N("AddIgcToCompOut", &Settings::addIgcToCompOut, 0),
    N("LoopFlightGap", &Settings::loopFlightGap, 800),
    N("VarioFilter", &Settings::varioFilter, 0),
    N("TimestampFilter", &Settings::timestampFilter, 0),
    N("DownloadFilter", &Settings::downloadFilter, 0),
    N("FlymasterPwrOff", &Settings::flymasterPwrOff, 0),
    N("UtcOffsetForTN", &Settings::utcOffsetForTn, 0),
    S("IgcDir", &Settings::igcDir, 260, kDocs),
    S("IgcPilotName", &Settings::igcPilotName, 80, "None"),
    S("IgcFlightNo", &Settings::igcFlightNo, 80, "1"),
    S("IgcContestId", &Settings::igcContestId, 80, "1"),
    S("IgcGliderType", &Settings::igcGliderType, 80, "None"),
    S("IgcGliderId", &Settings::igcGliderId, 80, "None"),
    S("IgcSite", &Settings::igcSite, 80, "None"),
    S("IgcClass", &Settings::igcClass, 80, "None"),
    N("IgcSaveMask", &Settings::igcSaveMask, 5),
    N("IgcAddEnl", &Settings::igcAddEnl, 0),
    S("OlcDir", &Settings::olcDir, 260, kDocs),
    S("OlcFirstName", &Settings::olcFirstName, 80, ""),
    S("OlcLastName", &Settings::olcLastName, 80, ""),
    S("OlcBirthDate", &Settings::olcBirthDate, 80, ""),
    S("OlcGliderClass", &Settings::olcGliderClass, 80, ""),
    S("OlcGliderType", &Settings::olcGliderType, 80, ""),
    S("OlcCallSign", &Settings::olcCallSign, 80, ""),
    S("OlcStartPlace", &Settings::olcStartPlace, 80, ""),
    S("OlcRegion", &Settings::olcRegion, 8, ""),
    N("OlcLongFileName", &Settings::olcLongFileName, 0),
    N("DsxDataMode", &Settings::dsxDataMode, 0),
    N("CsvAbsTime", &Settings::csvAbsTime, 0),
    N("CsvRelTime", &Settings::csvRelTime, 0),
    N("CsvRelDist", &Settings::csvRelDist, 0),
    N("CsvAccDist", &Settings::csvAccDist, 0),
    N("CsvBearing", &Settings::csvBearing, 0),
    N("Csv400deg", &Settings::csv400deg, 0),
    N("CsvSpeed", &Settings::csvSpeed, 0),
    N("CsvVario", &Settings::csvVario, 0),
    N("CtrSegError", &Settings::ctrSegError, 10),
    S("FtpAddress", &Settings::ftpAddress, 260, "ftp.example.com"),
    S("FtpUserId", &Settings::ftpUserId, 260, "User ID"),
    S("FtpRemoteName", &Settings::ftpRemoteName, 260, ""),
    S("FtpLocalFolder", &Settings::ftpLocalFolder, 260, kDocs),
    N("FtpLocalFileExt", &Settings::ftpLocalFileExt, 1),
    N("FtpPassiveMode", &Settings::ftpPassiveMode, 0),
    S("MapTileUrl", &Settings::mapTileUrl, 1024, ""),
};

constexpr const char* kTestDocuments = "/home/pilot/Documents";

// The defaults as the table above gives them, with kTestDocuments for the folders.
Settings ExpectedDefaults() {
    Settings s;
    for (const ExpectedEntry& e : kExpectedTable) {
        if (e.text != nullptr) {
            s.*e.text = e.defaultText == kDocs ? kTestDocuments : std::string(e.defaultText);
        } else {
            s.*e.number = e.defaultNumber;
        }
    }
    return s;
}

// A first save of the defaults: the section header and every name in table order.
std::string ExpectedDefaultFile() {
    std::string text = "[Tracora]\n";
    for (const ExpectedEntry& e : kExpectedTable) {
        text += std::string(e.name) + "=";
        if (e.text != nullptr) {
            text += e.defaultText == kDocs ? kTestDocuments : std::string(e.defaultText);
        } else {
            text += std::to_string(e.defaultNumber);
        }
        text += "\n";
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// The table

TEST(SettingsTableTest, HoldsTheSixtySevenEntriesInFileOrder) {
    const auto& table = SettingsTable();
    ASSERT_EQ(std::size(kExpectedTable), 67u);
    ASSERT_EQ(table.size(), std::size(kExpectedTable));
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ExpectedEntry& want = kExpectedTable[i];
        const SettingEntry& got = table[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(got.isString, want.text != nullptr);
        EXPECT_EQ(got.size, want.size);
        EXPECT_TRUE(got.text == want.text);
        EXPECT_TRUE(got.number == want.number);
        if (got.isString) {
            EXPECT_EQ(got.defaultText, want.defaultText);
        } else {
            EXPECT_EQ(got.defaultNumber, want.defaultNumber);
        }
        names.insert(got.name);
    }
    EXPECT_EQ(names.size(), 67u);
}

TEST(SettingsTableTest, DefaultsPutTheDocumentsFolderInPlaceOfTheMarker) {
    ScopedEnv docs("XDG_DOCUMENTS_DIR", kTestDocuments);
    Settings defaults = DefaultSettings();
    EXPECT_TRUE(defaults == ExpectedDefaults());
    EXPECT_EQ(defaults.igcDir, kTestDocuments);
    EXPECT_EQ(defaults.ftpAddress, "ftp.example.com");
    EXPECT_EQ(defaults.trackGapTime, 1200);
}

// ---------------------------------------------------------------------------------------------
// Where the files are

TEST(SettingsFoldersTest, DocumentsFolderFallsBackToHome) {
    const fs::path root = MakeTempDir();
    const fs::path withDocs = root / "with";
    const fs::path withoutDocs = root / "without";
    fs::create_directories(withDocs / "Documents");
    fs::create_directories(withoutDocs);
    struct Case {
        std::optional<std::string> xdgDocuments;
        fs::path home;
        std::string expected;
    };
    const Case cases[] = {
        {"/data/papers", withDocs, "/data/papers"},
        {std::nullopt, withDocs, (withDocs / "Documents").string()},
        {std::nullopt, withoutDocs, withoutDocs.string()},
        {"relative/docs", withoutDocs, withoutDocs.string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ScopedEnv docs("XDG_DOCUMENTS_DIR", c.xdgDocuments);
        ScopedEnv home("HOME", c.home.string());
        EXPECT_EQ(DocumentsFolder(), c.expected);
    }
    fs::remove_all(root);
}

TEST(SettingsFoldersTest, UserFileFollowsTheOverrideThenXdgThenHome) {
    struct Case {
        std::optional<std::string> configDir, xdgConfigHome;
        std::string expected;
    };
    const Case cases[] = {
        {"/tmp/cfg", "/xdg", "/tmp/cfg/settings.ini"},
        {std::nullopt, "/xdg", "/xdg/Tracora/settings.ini"},
        {std::nullopt, std::nullopt, "/home/pilot/.config/Tracora/settings.ini"},
        {std::nullopt, "not/absolute", "/home/pilot/.config/Tracora/settings.ini"},
    };
    ScopedEnv home("HOME", "/home/pilot");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ScopedEnv configDir("TRACORA_CONFIG_DIR", c.configDir);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdgConfigHome);
        EXPECT_EQ(UserSettingsFile(), fs::path(c.expected));
    }
}

TEST(SettingsFoldersTest, SystemFileIsInTheFirstConfigFolderThatHasOne) {
    const fs::path root = MakeTempDir();
    WriteText(root / "b" / "Tracora" / "settings.ini", "[Tracora]\n");
    WriteText(root / "c" / "Tracora" / "settings.ini", "[Tracora]\n");
    fs::create_directories(root / "a");
    const std::string a = (root / "a").string(), b = (root / "b").string(),
                      c = (root / "c").string();
    {
        ScopedEnv dirs("XDG_CONFIG_DIRS", a + ":" + b + ":" + c);
        EXPECT_EQ(SystemSettingsFile(), root / "b" / "Tracora" / "settings.ini");
    }
    {
        ScopedEnv dirs("XDG_CONFIG_DIRS", a);
        EXPECT_EQ(SystemSettingsFile(), fs::path());
    }
    fs::remove_all(root);
}

// ---------------------------------------------------------------------------------------------
// Loading and saving

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir();
        user_ = dir_ / "user" / "settings.ini";
        system_ = dir_ / "system" / "settings.ini";
    }
    void TearDown() override { fs::remove_all(dir_); }

    ScopedEnv docs_{"XDG_DOCUMENTS_DIR", kTestDocuments};
    fs::path dir_, user_, system_;
    ScriptedHost host_;
};

TEST_F(SettingsStoreTest, FirstRunWithoutSystemFileUsesDefaultsAndSavesAll) {
    SettingsStore store(user_, system_);
    Settings values;
    EXPECT_EQ(store.Load(values, &host_), 0);
    EXPECT_TRUE(values == ExpectedDefaults());
    EXPECT_TRUE(store.IsOpen());
    EXPECT_TRUE(store.CreatedThisRun());
    EXPECT_TRUE(host_.messages.empty());
    // Loading never writes: not even the folder exists yet.
    EXPECT_FALSE(fs::exists(user_.parent_path()));

    EXPECT_EQ(store.Save(values), 67);
    const std::string text = ReadText(user_);
    EXPECT_EQ(text, ExpectedDefaultFile());
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 68u);
    EXPECT_EQ(lines[0], "[Tracora]");
    EXPECT_EQ(lines[1], "PilotListName=/home/pilot/Documents");
    EXPECT_EQ(lines[18], "CompTimeStart=555674400");
    EXPECT_EQ(lines[49], "OlcRegion=");
    EXPECT_EQ(lines[66], "FtpPassiveMode=0");
    EXPECT_EQ(lines[67], "MapTileUrl=");
    EXPECT_EQ(FolderListing(user_.parent_path()), std::vector<std::string>{"settings.ini"});
    EXPECT_EQ(fs::status(user_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // The next save of the same values writes nothing.
    EXPECT_FALSE(store.CreatedThisRun());
    EXPECT_EQ(store.Save(values), 0);
}

TEST_F(SettingsStoreTest, FirstRunTakesTheSystemFileAndWritesAllToTheUserFile) {
    const std::string systemText =
        "[Tracora]\nPortName=/dev/ttyUSB0\nTrackGapTime=600\nIgcPilotName=Jo Pilot\n";
    WriteText(system_, systemText);
    ScopedEnv configDir("TRACORA_CONFIG_DIR", user_.parent_path().string());

    SettingsStore store(UserSettingsFile(), system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    Settings expected = ExpectedDefaults();
    expected.portName = "/dev/ttyUSB0";
    expected.trackGapTime = 600;
    expected.igcPilotName = "Jo Pilot";
    EXPECT_TRUE(values == expected);
    EXPECT_TRUE(store.CreatedThisRun());

    EXPECT_EQ(store.Save(values), 67);
    const std::vector<std::string> lines = Lines(ReadText(user_));
    ASSERT_EQ(lines.size(), 68u);
    EXPECT_EQ(lines[11], "PortName=/dev/ttyUSB0");
    EXPECT_EQ(lines[23], "TrackGapTime=600");
    EXPECT_EQ(lines[32], "IgcPilotName=Jo Pilot");
    EXPECT_EQ(ReadText(system_), systemText);

    // The user's file now rules: a change to the system file no longer matters.
    WriteText(system_, "[Tracora]\nPortName=COM4\n");
    SettingsStore next(user_, system_);
    Settings again;
    ASSERT_EQ(next.Load(again, &host_), 0);
    EXPECT_FALSE(next.CreatedThisRun());
    EXPECT_TRUE(again == expected);
}

TEST_F(SettingsStoreTest, SystemFileThatCannotBeReadGivesDefaultsQuietly) {
    fs::create_directories(system_);  // a folder where the file should be
    SettingsStore store(user_, system_);
    Settings values;
    EXPECT_EQ(store.Load(values, &host_), 0);
    EXPECT_TRUE(values == ExpectedDefaults());
    EXPECT_TRUE(store.IsOpen());
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(SettingsStoreTest, UnchangedRunLeavesTheFileUntouched) {
    const std::string text = "[Tracora]\nPortName=COM3\nTrackGapTime=900\n";
    WriteText(user_, text);
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    fs::last_write_time(user_, past);

    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    EXPECT_FALSE(store.CreatedThisRun());
    EXPECT_EQ(values.portName, "COM3");
    EXPECT_EQ(store.Save(values), 0);

    EXPECT_EQ(ReadText(user_), text);
    EXPECT_TRUE(fs::last_write_time(user_) == past);
    EXPECT_EQ(FolderListing(user_.parent_path()), std::vector<std::string>{"settings.ini"});
}

TEST_F(SettingsStoreTest, ChangedValuesReplaceTheirLinesAndKeepEverythingElse) {
    WriteText(user_,
              "; Written by hand\n"
              "[Ports]\n"
              "TrackGapTime=5\n"
              "COM3=/dev/ttyUSB1\n"
              "\n"
              "[Tracora]\n"
              "PortName=COM2\n"
              "  TrackGapTime = 900\n"
              "SomeFutureKey=keep me\n"
              "not a value line\n"
              "# a comment\n"
              "VarioFilter=2\n"
              "\n"
              "[Other]\n"
              "x=1\n");
    fs::permissions(user_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);

    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    EXPECT_EQ(values.portName, "COM2");
    EXPECT_EQ(values.trackGapTime, 900);  // the [Ports] line is not ours
    EXPECT_EQ(values.varioFilter, 2);

    values.trackGapTime = 300;
    values.downloadFilter = 1;  // not in the file yet
    values.igcSite = "Monte Cucco";
    EXPECT_EQ(store.Save(values), 3);
    EXPECT_EQ(ReadText(user_),
              "; Written by hand\n"
              "[Ports]\n"
              "TrackGapTime=5\n"
              "COM3=/dev/ttyUSB1\n"
              "\n"
              "[Tracora]\n"
              "PortName=COM2\n"
              "TrackGapTime=300\n"
              "SomeFutureKey=keep me\n"
              "not a value line\n"
              "# a comment\n"
              "VarioFilter=2\n"
              "DownloadFilter=1\n"
              "IgcSite=Monte Cucco\n"
              "\n"
              "[Other]\n"
              "x=1\n");
    EXPECT_EQ(fs::status(user_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(FolderListing(user_.parent_path()), std::vector<std::string>{"settings.ini"});

    SettingsStore next(user_, system_);
    Settings again;
    ASSERT_EQ(next.Load(again, &host_), 0);
    EXPECT_TRUE(again == values);
}

TEST_F(SettingsStoreTest, ReadsCrLfCommentsBlanksAndSpacesAndKeepsTheLineEnds) {
    WriteText(user_,
              "\xEF\xBB\xBF; comment\r\n"
              "[Tracora]\r\n"
              "\r\n"
              "  PortName  =  COM7 \r\n"
              "# TrackGapTime=1\r\n"
              "TrackGapTime\t=\t300\r\n"
              "LoopFlightGap=100\r\n"
              "LoopFlightGap=200\r\n");
    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    EXPECT_EQ(values.portName, "COM7");
    EXPECT_EQ(values.trackGapTime, 300);
    EXPECT_EQ(values.loopFlightGap, 200);  // the last of two lines counts

    values.loopFlightGap = 0;
    values.csvSpeed = 1;
    EXPECT_EQ(store.Save(values), 2);
    EXPECT_EQ(ReadText(user_),
              "\xEF\xBB\xBF; comment\r\n"
              "[Tracora]\r\n"
              "\r\n"
              "  PortName  =  COM7 \r\n"
              "# TrackGapTime=1\r\n"
              "TrackGapTime\t=\t300\r\n"
              "LoopFlightGap=100\r\n"
              "LoopFlightGap=0\r\n"
              "CsvSpeed=1\r\n");
}

TEST_F(SettingsStoreTest, InvalidValuesAreTreatedAsAbsent) {
    using Get = std::string (*)(const Settings&);
    const Get olcRegion = [](const Settings& s) { return s.olcRegion; };
    const Get baudrate = [](const Settings& s) { return s.baudrate; };
    const Get pilot = [](const Settings& s) { return s.igcPilotName; };
    const Get igcDir = [](const Settings& s) { return s.igcDir; };
    const Get portName = [](const Settings& s) { return s.portName; };
    const Get gap = [](const Settings& s) { return std::to_string(s.trackGapTime); };
    const Get utc = [](const Settings& s) { return std::to_string(s.utcOffsetForTn); };
    const Get stop = [](const Settings& s) { return std::to_string(s.compTimeStop); };
    struct Case {
        std::string line;
        Get get;
        std::string expected;
    };
    const Case cases[] = {
        // Texts: the length plus the terminating NUL must fit the entry's size.
        {"OlcRegion=ABCDEFG", olcRegion, "ABCDEFG"},
        {"OlcRegion=ABCDEFGH", olcRegion, ""},
        {"OlcRegion=\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", olcRegion, ""},  // 4 letters, 8 bytes
        {"Baudrate=123456789", baudrate, "123456789"},
        {"Baudrate=1234567890", baudrate, "9600"},
        {"IgcPilotName=" + std::string(79, 'p'), pilot, std::string(79, 'p')},
        {"IgcPilotName=" + std::string(80, 'p'), pilot, "None"},
        {"IgcDir=/" + std::string(259, 'd'), igcDir, kTestDocuments},
        {"PortName=\"  COM9 \"", portName, "  COM9 "},
        // Numbers: decimal, 32 bits.
        {"TrackGapTime=+600", gap, "600"},
        {"TrackGapTime=abc", gap, "1200"},
        {"TrackGapTime=12x", gap, "1200"},
        {"TrackGapTime=", gap, "1200"},
        {"TrackGapTime=1.5", gap, "1200"},
        {"TrackGapTime=0x10", gap, "1200"},
        {"TrackGapTime=+-5", gap, "1200"},
        {"UtcOffsetForTN=-3", utc, "-3"},
        {"CompTimeStop=2147483647", stop, "2147483647"},
        {"CompTimeStop=-2147483648", stop, "-2147483648"},
        {"CompTimeStop=4294967295", stop, "-1"},
        {"CompTimeStop=4294967296", stop, "0"},
        {"CompTimeStop=-2147483649", stop, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string text = "[Tracora]\n" + c.line + "\n";
        WriteText(user_, text);
        SettingsStore store(user_, system_);
        Settings values;
        ASSERT_EQ(store.Load(values, &host_), 0);
        EXPECT_EQ(c.get(values), c.expected);
        // Whether taken or replaced by the default, the value is unchanged: nothing to write.
        EXPECT_EQ(store.Save(values), 0);
        EXPECT_EQ(ReadText(user_), text);
    }
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(SettingsStoreTest, NegativeNumberRoundTrips) {
    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    ASSERT_EQ(store.Save(values), 67);
    values.utcOffsetForTn = -7;
    EXPECT_EQ(store.Save(values), 1);
    EXPECT_NE(ReadText(user_).find("\nUtcOffsetForTN=-7\n"), std::string::npos);

    SettingsStore next(user_, system_);
    Settings again;
    ASSERT_EQ(next.Load(again, &host_), 0);
    EXPECT_EQ(again.utcOffsetForTn, -7);
}

TEST_F(SettingsStoreTest, TextsTheFileCannotHoldAreSkippedAndOthersRoundTrip) {
    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    ASSERT_EQ(store.Save(values), 67);

    values.igcPilotName = "  Anna Flyer ";                 // spaces at both ends: quoted
    values.igcSite = "\"Quoted\"";                         // enclosed in quotes: quoted again
    values.igcGliderId = "D-\xC3\x84rger \xE2\x80\x93 1";  // UTF-8, kept as bytes
    values.igcGliderType = "Wing\nPortName=/dev/evil";     // would add a line
    values.igcClass = "Open\rClass";                       // would end the line early
    values.olcRegion = "TOO-LONG";                         // 8 bytes + NUL > 8
    EXPECT_EQ(store.Save(values), 3);

    const std::string text = ReadText(user_);
    EXPECT_NE(text.find("\nIgcPilotName=\"  Anna Flyer \"\n"), std::string::npos);
    EXPECT_NE(text.find("\nIgcSite=\"\"Quoted\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\nIgcGliderId=D-\xC3\x84rger \xE2\x80\x93 1\n"), std::string::npos);
    EXPECT_NE(text.find("\nIgcGliderType=None\n"), std::string::npos);
    EXPECT_NE(text.find("\nIgcClass=None\n"), std::string::npos);
    EXPECT_NE(text.find("\nOlcRegion=\n"), std::string::npos);
    EXPECT_EQ(text.find("evil"), std::string::npos);
    EXPECT_EQ(Lines(text).size(), 68u);

    // The skipped values stay pending but still cannot be written: the file is not touched.
    const auto before = fs::last_write_time(user_);
    EXPECT_EQ(store.Save(values), 0);
    EXPECT_TRUE(fs::last_write_time(user_) == before);

    SettingsStore next(user_, system_);
    Settings again;
    ASSERT_EQ(next.Load(again, &host_), 0);
    EXPECT_EQ(again.igcPilotName, "  Anna Flyer ");
    EXPECT_EQ(again.igcSite, "\"Quoted\"");
    EXPECT_EQ(again.igcGliderId, "D-\xC3\x84rger \xE2\x80\x93 1");
    EXPECT_EQ(again.igcGliderType, "None");
    EXPECT_EQ(again.igcClass, "None");
    EXPECT_EQ(again.portName, "COM1");
    EXPECT_EQ(again.olcRegion, "");
}

TEST_F(SettingsStoreTest, UnreadableFileShowsTheErrorAndNothingIsSaved) {
    struct Case {
        const char* what;
        fs::path file;
        std::string expectedText;
    };
    // Permissions do not stop root, so the file is made unreadable by its kind instead.
    fs::create_directories(dir_ / "folder-in-place" / "settings.ini" / "inner");
    WriteText(dir_ / "file-as-folder", "x");
    const Case cases[] = {
        {"a folder in place of the file", dir_ / "folder-in-place" / "settings.ini",
         "Is a directory"},
        {"a file in place of the folder", dir_ / "file-as-folder" / "settings.ini",
         "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedHost host;
        SettingsStore store(c.file, system_);
        Settings values;
        values.portName = "not a default";
        EXPECT_EQ(store.Load(values, &host), -1);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].title, "Registry access error");
        EXPECT_EQ(host.messages[0].text, c.expectedText);
        EXPECT_TRUE(values == ExpectedDefaults());
        EXPECT_FALSE(store.IsOpen());

        values.trackGapTime = 60;
        EXPECT_EQ(store.Save(values), 0);
    }
    EXPECT_EQ(FolderListing(dir_ / "folder-in-place" / "settings.ini"),
              std::vector<std::string>{"inner"});
    EXPECT_EQ(FolderListing(dir_ / "folder-in-place"), std::vector<std::string>{"settings.ini"});
    EXPECT_EQ(ReadText(dir_ / "file-as-folder"), "x");
}

TEST_F(SettingsStoreTest, FailedWriteLeavesNoTemporaryFileAndKeepsTheValuesPending) {
    WriteText(user_, "[Tracora]\nTrackGapTime=900\n");
    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    values.trackGapTime = 300;
    values.igcSite = std::string(70, 's');

    // A file size limit makes the temporary file's write fail part way.
    struct sigaction ignore {};
    struct sigaction oldAction {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &oldAction);
    rlimit oldLimit{};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit small = oldLimit;
    small.rlim_cur = 40;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int failed = store.Save(values);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    ::sigaction(SIGXFSZ, &oldAction, nullptr);

    EXPECT_EQ(failed, -1);
    EXPECT_EQ(ReadText(user_), "[Tracora]\nTrackGapTime=900\n");
    EXPECT_EQ(FolderListing(user_.parent_path()), std::vector<std::string>{"settings.ini"});

    EXPECT_EQ(store.Save(values), 2);
    EXPECT_EQ(ReadText(user_),
              "[Tracora]\nTrackGapTime=300\nIgcSite=" + std::string(70, 's') + "\n");
    EXPECT_EQ(FolderListing(user_.parent_path()), std::vector<std::string>{"settings.ini"});
}

TEST_F(SettingsStoreTest, SymbolicLinkStaysAndItsTargetIsReplaced) {
    const fs::path real = dir_ / "dotfiles" / "tracora.ini";
    WriteText(real, "[Tracora]\nPortName=COM2\n");
    fs::create_directories(user_.parent_path());
    fs::create_symlink(real, user_);

    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    EXPECT_EQ(values.portName, "COM2");
    values.portName = "/dev/ttyACM0";
    EXPECT_EQ(store.Save(values), 1);

    EXPECT_TRUE(fs::is_symlink(user_));
    EXPECT_EQ(ReadText(real), "[Tracora]\nPortName=/dev/ttyACM0\n");
    EXPECT_EQ(FolderListing(real.parent_path()), std::vector<std::string>{"tracora.ini"});
}

TEST_F(SettingsStoreTest, FileWithoutOurSectionGetsOneAppended) {
    WriteText(user_, "# only a comment\n[Ports]\nCOM3=/dev/ttyUSB1");  // no final line end
    SettingsStore store(user_, system_);
    Settings values;
    ASSERT_EQ(store.Load(values, &host_), 0);
    EXPECT_TRUE(values == ExpectedDefaults());
    values.compMode = 1;
    values.compDir = "/home/pilot/comp";
    EXPECT_EQ(store.Save(values), 2);
    EXPECT_EQ(ReadText(user_),
              "# only a comment\n[Ports]\nCOM3=/dev/ttyUSB1\n\n"
              "[Tracora]\nCompDir=/home/pilot/comp\nCompMode=1\n");
}

}  // namespace
}  // namespace tracora

namespace tracora {
namespace {

TEST(SettingsPortTable, ComNumbersOfThePortsSectionLeadToDevices) {
    const std::string text =
        "[Tracora]\r\nPortName=COM3\r\nCOM9=/dev/wrong\r\n"
        "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n COM12 = /dev/serial/by-id/usb-Flytec \r\n"
        "COM0=/dev/ttyS9\r\nCOMx=/dev/ttyS8\r\nLPT1=/dev/lp0\r\n; COM4=/dev/ttyACM0\r\n"
        "[Other]\r\nCOM5=/dev/ttyS4\r\n";
    const std::map<int, std::string> expected = {{3, "/dev/ttyUSB0"},
                                                 {12, "/dev/serial/by-id/usb-Flytec"}};
    EXPECT_EQ(ReadPortTable(text), expected);
}

}  // namespace
}  // namespace tracora
