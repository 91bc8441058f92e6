#include "automation/automation_parser.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/gps_types.hpp"
#include "core/scripted_host.hpp"
#include "formats/igc/igc_names.hpp"
#include "notify/notify.hpp"

namespace tracora {

// Readable failure output for whole-request comparisons.
void PrintTo(const AutomationRequest& r, std::ostream* os) {
    *os << "{action " << static_cast<int>(r.action) << ", gps " << static_cast<int>(r.gpsType)
        << ", port '" << r.portName << "', usb " << r.usb << ", file '" << r.fileName
        << "', overwrite " << r.overwrite << ", exit " << r.exitWhenDone << ", show "
        << static_cast<int>(r.showState) << ", pilot '" << r.pilotName << "', id '" << r.gliderId
        << "', notify '" << r.notifyName << "' -> '" << r.notifySocket << "' tick "
        << r.notifyTickMs << ", session " << r.sessionNumber << "/" << r.sessionGiven << ", pos "
        << r.posX << "," << r.posY << ", comp kind " << static_cast<int>(r.competitionFileKind)
        << ", compid " << r.competitionId << ", civlid " << r.civlId << ", filter " << r.filterStart
        << ".." << r.filterStop << ", comp dir '" << r.competitionDir << "', fs '"
        << r.flightScoreFile << "' loaded " << r.pilotListLoaded << ", flags " << r.compSpecial
        << r.noSplit << r.noCheck << r.powerOff << r.noLoopOpt << ", timeout " << r.timeoutSeconds
        << ", sendlog " << r.sendLogSeconds << ", track";
    for (int slot : r.trackList) {
        *os << ' ' << slot;
    }
    *os << '}';
}

namespace {

using testing::ScriptedHost;

constexpr const char* kTitle = "Parsing command line";

// Receiver seconds (Unix time less 631065600, from `date -u -d ... +%s`).
constexpr std::uint32_t k20140517At100000 = 769255200;
constexpr std::uint32_t k20140517At095959 = 769255199;
constexpr std::uint32_t k20140517At183000 = 769285800;
constexpr std::uint32_t k20140302At120000 = 762696000;  // what 2014-02-30 12:00:00 lands on
constexpr std::uint32_t k19900101At000000 = 86400;
constexpr std::uint32_t k20991231At235959 = 3471379199;

AutomationEnvironment TestEnvironment() {
    AutomationEnvironment environment;
    environment.tickMs = 123456;
    environment.runtimeDir = "/nonexistent-runtime-dir";
    return environment;
}

struct Outcome {
    int status = 0;
    std::optional<AutomationRequest> request;
    std::vector<ScriptedHost::Message> messages;
    std::string errorText;
};

Outcome Parse(std::string_view line, const AutomationEnvironment& environment = TestEnvironment()) {
    ScriptedHost host;
    Outcome outcome;
    outcome.status = ParseCommandLine(line, host, environment, outcome.request, &outcome.errorText);
    outcome.messages = host.messages;
    return outcome;
}

// The message a failed parse showed: exactly one, with the parser's title.
void ExpectFailure(const Outcome& outcome, const std::string& text) {
    EXPECT_EQ(outcome.status, -1);
    EXPECT_FALSE(outcome.request.has_value());
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_EQ(outcome.messages[0].title, kTitle);
    EXPECT_EQ(outcome.messages[0].text, text);
    EXPECT_EQ(outcome.errorText, text);
}

// A request with the documented defaults, changed by `edit`.
using Edit = void (*)(AutomationRequest&);

// A Unix datagram socket bound at a path for as long as the object lives: a notify target.
class BoundSocket {
public:
    explicit BoundSocket(const std::filesystem::path& path) : path_(path) {
        std::filesystem::create_directories(path.parent_path());
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string text = path.string();
        std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
        bound_ = fd_ >= 0 && text.size() < sizeof(address.sun_path) &&
                 ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~BoundSocket() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        std::error_code error;
        std::filesystem::remove(path_, error);
    }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;

    bool bound() const { return bound_; }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
    int fd_ = -1;
    bool bound_ = false;
};

std::filesystem::path TestDirectory() {
    return std::filesystem::temp_directory_path() /
           ("tracora-automation-" + std::to_string(::getpid()));
}

// Tests that bind notify sockets under TestDirectory() and remove it afterwards.
class AutomationSocketTest : public ::testing::Test {
protected:
    void TearDown() override {
        std::error_code error;
        std::filesystem::remove_all(TestDirectory(), error);
    }
};
using AutomationValidation = AutomationSocketTest;
using AutomationNotify = AutomationSocketTest;

// ================================================================ GPS type table

TEST(GpsTypeTable, NamesAndCodesInAnyCase) {
    struct Case {
        const char* name;
        int code;
    };
    const Case cases[] = {
        {"GARMIN", 0},   {"MLR", 1},         {"TOPNAV", 2},    {"LOGIT", 3},     {"IQCOMPEO", 4},
        {"GRAVITER", 5}, {"MAGELLAN", 6},    {"XCTRAINER", 7}, {"XCT_MXP", 8},   {"FLYMASTER", 9},
        {"DSX", 10},     {"MLRC", 11},       {"IQBASIC", 12},  {"MTK", 13},      {"LEONARDO", 14},
        {"ASCENT", 15},  {"DIGIFLYAIR", 16}, {"SYRIDE", 17},   {"flymaster", 9}, {"FlyMaster", 9},
        {"xct_mxp", 8},  {"DigiflyAir", 16}, {"syride", 17},   {"mlrc", 11},
    };
    ASSERT_EQ(GpsTypes().size(), 18u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GpsType type = GpsType::kSyride;
        ASSERT_EQ(FindGpsType(c.name, type), 0);
        EXPECT_EQ(static_cast<int>(type), c.code);
    }
    for (const char* unknown : {"", "GARMINUSB", "FLY MASTER", "IQ_BASIC", " MLR", "MLR "}) {
        SCOPED_TRACE(unknown);
        GpsType type = GpsType::kMtk;
        EXPECT_EQ(FindGpsType(unknown, type), -1);
        EXPECT_EQ(type, GpsType::kMtk);
    }
}

// The job each transfer starts, per GPS type; protocol -1 = the type refuses it.
TEST(GpsTypeTable, JobsPerActionFamily) {
    struct Cell {
        int protocol;
        int parameter;
    };
    constexpr Cell R{-1, 0};
    struct Case {
        GpsType type;
        Cell track, igc, waypointDownload, waypointUpload, flightList, airspace, userName;
    };
    using T = GpsType;
    const Case cases[] = {
        {T::kGarmin, {0, 0}, {0, 0}, {0, 0}, {0, 0}, R, {0, 0}, R},
        {T::kMlr, {1, 0}, {1, 0}, {1, 0}, {1, 0}, R, R, R},
        {T::kTopNav, {2, 0}, R, R, {2, 0}, R, R, R},
        {T::kLogIt, {3, 57600}, {3, 57600}, R, R, R, R, R},
        {T::kIqCompeo, {4, 0}, {4, 0}, {4, 0}, {4, 0}, {4, 0}, {4, 0}, R},
        {T::kGraviter, {5, 0}, R, R, R, R, R, R},
        {T::kMagellan, {6, 0}, {6, 0}, R, {6, 0}, R, R, R},
        {T::kXcTrainer, {7, 0}, {7, 0}, R, {7, 0}, R, R, R},
        {T::kXctMxp, {10, 57600}, {10, 57600}, R, R, R, R, R},
        {T::kFlymaster, {12, 0}, {12, 0}, {12, 0}, {12, 0}, {12, 0}, R, {12, 0}},
        {T::kDsx, {13, 0}, {13, 0}, R, R, R, R, R},
        {T::kMlrc, R, R, {14, 0}, R, R, R, R},
        {T::kIqBasic, {16, 0}, {16, 0}, {16, 0}, {16, 0}, {16, 0}, R, R},
        {T::kMtk, {15, 0}, {15, 0}, R, R, R, R, R},
        {T::kLeonardo, {17, 0}, {17, 0}, {17, 2}, {17, 2}, {17, 0}, R, R},
        {T::kAscent, {19, 0}, {19, 0}, R, R, R, R, R},
        {T::kDigiflyAir, {17, 1}, {17, 1}, R, R, R, R, R},
        {T::kSyride, {20, 0}, {20, 0}, {20, 0}, {20, 0}, {20, 0}, R, R},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        const std::array<Cell, kGpsActionFamilyCount> expected{
            c.track,      c.igc,      c.waypointDownload, c.waypointUpload,
            c.flightList, c.airspace, c.userName};
        for (int family = 0; family < kGpsActionFamilyCount; ++family) {
            SCOPED_TRACE(family);
            const auto f = static_cast<GpsActionFamily>(family);
            const std::optional<GpsJob> job = GpsJobFor(c.type, f, false);
            const Cell& want = expected[static_cast<std::size_t>(family)];
            EXPECT_EQ(GpsTypeAccepts(c.type, f), want.protocol >= 0);
            if (want.protocol < 0) {
                EXPECT_FALSE(job.has_value());
            } else {
                ASSERT_TRUE(job.has_value());
                EXPECT_EQ(ProtocolNumber(job->protocol), want.protocol);
                EXPECT_EQ(job->parameter, want.parameter);
            }
        }
    }
}

TEST(GpsTypeTable, UsbOption) {
    using F = GpsActionFamily;
    struct Case {
        GpsType type;
        GpsActionFamily family;
        int protocol;  // -1: refused
    };
    const Case cases[] = {
        {GpsType::kGarmin, F::kTrackLog, 8},
        {GpsType::kGarmin, F::kIgcTrackLog, 8},
        {GpsType::kGarmin, F::kWaypointDownload, 8},
        {GpsType::kGarmin, F::kWaypointUpload, 8},
        {GpsType::kGarmin, F::kAirspaceUpload, 8},
        {GpsType::kGarmin, F::kFlightList, -1},
        {GpsType::kMlr, F::kTrackLog, -1},
        {GpsType::kIqCompeo, F::kAirspaceUpload, -1},
        {GpsType::kMlrc, F::kWaypointDownload, -1},
        // The flight list and the user name ignore the USB option.
        {GpsType::kFlymaster, F::kFlightList, 12},
        {GpsType::kFlymaster, F::kUserNameUpload, 12},
        {GpsType::kSyride, F::kFlightList, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type) * 10 + static_cast<int>(c.family));
        const std::optional<GpsJob> job = GpsJobFor(c.type, c.family, true);
        if (c.protocol < 0) {
            EXPECT_FALSE(job.has_value());
        } else {
            ASSERT_TRUE(job.has_value());
            EXPECT_EQ(job->protocol, static_cast<GpsProtocol>(c.protocol));
            EXPECT_EQ(job->parameter, 0);
        }
    }
}

TEST(GpsTypeTable, ProtocolNumbersAndMenuNames) {
    struct Case {
        GpsProtocol protocol;
        int number;
        const char* name;
    };
    const Case cases[] = {
        {GpsProtocol::kGarmin, 0, "Garmin"},
        {GpsProtocol::kMlr, 1, "MLR"},
        {GpsProtocol::kTopNavigator, 2, "Top Navigator"},
        {GpsProtocol::kFlytec, 4, "Flytec 50xx/60xx"},
        {GpsProtocol::kGarminUsb, 8, "Garmin USB"},
        {GpsProtocol::kTopNavigatorMxp, 9, "Top Nav (MXP at 57600)"},
        {GpsProtocol::kXcTrainerMxp, 10, "XC Trainer (MXP at 57600)"},
        {GpsProtocol::kReadAllFlytec, 11, "Read all &Flytec Tracks"},
        {GpsProtocol::kFlymaster, 12, "Flymaster"},
        {GpsProtocol::kMlrFast, 14, "MLR (Fast)"},
        {GpsProtocol::kMtk, 15, "MTK/Pentagram"},
        {GpsProtocol::kIqBasic, 16, "IQ Basic / Flytec 6015"},
        {GpsProtocol::kLeonardo, 17, "Leonardo (New)"},
        {GpsProtocol::kAscent, 19, "Ascent"},
        {GpsProtocol::kSyride, 20, "Syride SYS'Nav"},
    };
    ASSERT_EQ(GpsProtocols().size(), 21u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ProtocolNumber(c.protocol), c.number);
        EXPECT_EQ(GpsProtocolName(c.protocol), c.name);
        EXPECT_EQ(GpsProtocols()[static_cast<std::size_t>(c.number)].protocol, c.protocol);
    }
    const auto& leonardo = GpsProtocols()[17].menuNames;
    EXPECT_EQ(leonardo[1], "Leonardo Pro");
    EXPECT_EQ(leonardo[2], "Digifly Air");
}

// ================================================================ the whole line

TEST(AutomationLine, EmptyLineMakesNoRequest) {
    for (const char* line : {"", "   "}) {
        SCOPED_TRACE(line);
        const Outcome outcome = Parse(line);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_FALSE(outcome.request.has_value());
        EXPECT_TRUE(outcome.messages.empty());
    }
}

TEST(AutomationLine, DefaultsOfTheRequest) {
    const AutomationRequest r;
    EXPECT_EQ(r.action, AutomationAction::kNone);
    EXPECT_EQ(r.gpsType, GpsType::kGarmin);
    EXPECT_EQ(r.showState, WindowShowState::kNormal);
    EXPECT_EQ(static_cast<int>(r.showState), 5);
    EXPECT_EQ(r.competitionId, -1);
    EXPECT_EQ(r.civlId, -1);
    EXPECT_EQ(r.timeoutSeconds, 0);
    EXPECT_EQ(r.filterStart, 0u);
    EXPECT_EQ(r.filterStop, 0u);
    for (int slot : r.trackList) {
        EXPECT_EQ(slot, -1);
    }
    EXPECT_EQ(r.trackList.size(), 20u);
    EXPECT_TRUE(r.portName.empty());
    EXPECT_TRUE(r.notifySocket.empty());
}

// A line that does not start with '/' names a track log file; quotes may enclose the line.
TEST(AutomationLine, BareAndQuotedFileNames) {
    struct Case {
        const char* line;
        const char* fileName;
    };
    const Case cases[] = {
        {R"(c:\track.igc)", R"(c:\track.igc)"},
        {R"("c:\track.igc")", R"(c:\track.igc)"},
        {R"("c:\my tracks\flight 1.igc")", R"(c:\my tracks\flight 1.igc)"},
        {R"(c:\my tracks\flight 1.igc)", R"(c:\my tracks\flight 1.igc)"},
        {"  track.kml", "track.kml"},
        {R"("track.igc" /EXIT)", "track.igc"},  // the text after the closing quote is unused
        // Absolute paths begin with '/' like the options, but no option key holds a '/'.
        {"/home/pilot/flight.igc", "/home/pilot/flight.igc"},
        {R"("/home/pilot/my flights/one.igc")", "/home/pilot/my flights/one.igc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Outcome outcome = Parse(c.line);
        ASSERT_EQ(outcome.status, 0);
        ASSERT_TRUE(outcome.request.has_value());
        AutomationRequest expected;
        expected.action = AutomationAction::kLogFile;
        expected.fileName = c.fileName;
        EXPECT_EQ(*outcome.request, expected);
        EXPECT_TRUE(outcome.messages.empty());
    }
}

TEST(AutomationLine, QuotedLineWithOptions) {
    const Outcome outcome = Parse(R"("/KML_LOG=a.kml /EXIT")");
    ASSERT_EQ(outcome.status, 0);
    AutomationRequest expected;
    expected.action = AutomationAction::kKmlLog;
    expected.fileName = "a.kml";
    expected.exitWhenDone = true;
    EXPECT_EQ(*outcome.request, expected);
}

TEST(AutomationLine, LineErrors) {
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {R"("c:\my tracks\flight 1.igc)", "Bad double apostrophe (\") balance"},
        {R"(")", "Bad double apostrophe (\") balance"},
        {R"("")", "Missing track log file name"},
        {std::string(kFileNameMax + 1, 'a'),
         "Error at position " + std::to_string(kFileNameMax + 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ExpectFailure(Parse(c.line), c.message);
    }
    // A bare name as long as the system allows a path still fits.
    const Outcome fits = Parse(std::string(kFileNameMax, 'a'));
    ASSERT_EQ(fits.status, 0);
    EXPECT_EQ(fits.request->fileName, std::string(kFileNameMax, 'a'));
}

// ================================================================ tokenizer

TEST(AutomationTokenizer, TokensAndValues) {
    struct Case {
        std::string line;
        Edit edit;
    };
    const Case cases[] = {
        // Keys in any case; the value keeps its case.
        {"/kml_log=A.Kml",
         [](AutomationRequest& r) {
             r.action = AutomationAction::kKmlLog;
             r.fileName = "A.Kml";
         }},
        {"  /Exit   /overwrite  ",
         [](AutomationRequest& r) {
             r.exitWhenDone = true;
             r.overwrite = true;
         }},
        // Quoted values hold blanks; '=' and '/' inside a value are plain characters.
        {R"(/KML_LOG="c:\my logs\a b.kml" /EXIT)",
         [](AutomationRequest& r) {
             r.action = AutomationAction::kKmlLog;
             r.fileName = R"(c:\my logs\a b.kml)";
             r.exitWhenDone = true;
         }},
        {"/PILOT=a=b/c", [](AutomationRequest& r) { r.pilotName = "a=b/c"; }},
        // A quote inside an unquoted value is kept; an unterminated quoted value ends the line.
        {R"(/PILOT=Jo"e)", [](AutomationRequest& r) { r.pilotName = "Jo\"e"; }},
        {R"(/PILOT="Jo Doe)", [](AutomationRequest& r) { r.pilotName = "Jo Doe"; }},
        {R"(/PILOT="" /ID=X)", [](AutomationRequest& r) { r.gliderId = "X"; }},
        // A key without '=' is a key with an empty value; a value given to a flag is unused.
        {"/EXIT=1", [](AutomationRequest& r) { r.exitWhenDone = true; }},
        // The line ends at a NUL.
        {std::string("/EXIT\0/FOO", 10), [](AutomationRequest& r) { r.exitWhenDone = true; }},
        // A value as long as the system allows a path fits (far beyond 260).
        {"/LOGFILE=" + std::string(kFileNameMax, 'f'),
         [](AutomationRequest& r) {
             r.action = AutomationAction::kLogFile;
             r.fileName = std::string(kFileNameMax, 'f');
         }},
        {"/COM=./ttyV0", [](AutomationRequest& r) { r.portName = "./ttyV0"; }},
        {"/LOGFILE=\"" + std::string(258, 'f') + " x\"",
         [](AutomationRequest& r) {
             r.action = AutomationAction::kLogFile;
             r.fileName = std::string(258, 'f') + " x";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Outcome outcome = Parse(c.line);
        ASSERT_EQ(outcome.status, 0) << outcome.errorText;
        ASSERT_TRUE(outcome.request.has_value());
        AutomationRequest expected;
        c.edit(expected);
        EXPECT_EQ(*outcome.request, expected);
        EXPECT_TRUE(outcome.messages.empty());
    }
}

TEST(AutomationTokenizer, Errors) {
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"/EXIT x", "Error at position 7"},
        {"/KML_LOG=a.kml x", "Error at position 16"},
        {R"(/PILOT="Jo Doe"x)", "Error at position 16"},
        {"/PILOTS=x", "Unrecognized command"},
        // Keys are cut to 16 characters, which then match nothing.
        {"/OVERWRITEOVERWRITEOVERWRITE", "Unrecognized command"},
        {"/ABCDEFGHIJKLMNOPQRSTUVWXYZ=1", "Unrecognized command"},
        {"/", "Unrecognized command"},
        {"/=a.kml", "Unrecognized command"},
        {"/EXIT /FOO", "Unrecognized command"},
        // A value longer than a path may be is refused where it overflows.
        {"/LOGFILE=" + std::string(kFileNameMax + 1, 'f'),
         "Error at position " + std::to_string(kFileNameMax + 10)},
        {"/LOGFILE=\"" + std::string(kFileNameMax + 1, 'f') + "\"",
         "Error at position " + std::to_string(kFileNameMax + 11)},
        {"/COM=ttyV0", "Bad COM port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ExpectFailure(Parse(c.line), c.message);
    }
}

// ================================================================ keywords

TEST(AutomationKeywords, Values) {
    struct Case {
        std::string line;
        Edit edit;
    };
    using A = AutomationAction;
    const Case cases[] = {
        {"/COM=3", [](AutomationRequest& r) { r.portName = "COM3"; }},
        {"/COM=9", [](AutomationRequest& r) { r.portName = "COM9"; }},
        {"/COM=10", [](AutomationRequest& r) { r.portName = R"(\\.\COM10)"; }},
        {"/COM=12", [](AutomationRequest& r) { r.portName = R"(\\.\COM12)"; }},
        {"/COM=007", [](AutomationRequest& r) { r.portName = "COM7"; }},
        {"/COM=999999999", [](AutomationRequest& r) { r.portName = R"(\\.\COM999999999)"; }},
        {"/COM=/dev/ttyUSB0", [](AutomationRequest& r) { r.portName = "/dev/ttyUSB0"; }},
        // A USB unit's bus address, kept as given for the USB jobs.
        {"/COM=001:005", [](AutomationRequest& r) { r.portName = "001:005"; }},
        {"/COM=usb:3:17", [](AutomationRequest& r) { r.portName = "usb:3:17"; }},
        {"/COM=/dev/serial/by-id/usb-Instrument_0123456789-if00-port0",
         [](AutomationRequest& r) {
             r.portName = "/dev/serial/by-id/usb-Instrument_0123456789-if00-port0";
         }},
        {"/USB", [](AutomationRequest& r) { r.usb = true; }},
        {"/GPS=flymaster", [](AutomationRequest& r) { r.gpsType = GpsType::kFlymaster; }},
        {"/GPS=Xct_Mxp", [](AutomationRequest& r) { r.gpsType = GpsType::kXctMxp; }},
        {"/GPS=MTK /GPS=syride", [](AutomationRequest& r) { r.gpsType = GpsType::kSyride; }},
        {"/COMP_LOG=KML", [](AutomationRequest& r) { r.action = A::kCompetitionLog; }},
        {"/COMP_LOG=IGC",
         [](AutomationRequest& r) {
             r.action = A::kCompetitionLog;
             r.competitionFileKind = CompetitionFileKind::kIgc;
         }},
        {R"(/COMP_DIR="c:\comp 2014")",
         [](AutomationRequest& r) { r.competitionDir = R"(c:\comp 2014)"; }},
        {"/COMP_FS=pilots.fsdb", [](AutomationRequest& r) { r.flightScoreFile = "pilots.fsdb"; }},
        {"/COMP_SPECIAL /NOSPLIT /NOCHECK /PWROFF /NOLOOPOPT /OVERWRITE /EXIT",
         [](AutomationRequest& r) {
             r.compSpecial = r.noSplit = r.noCheck = r.powerOff = r.noLoopOpt = true;
             r.overwrite = r.exitWhenDone = true;
         }},
        {"/COMPID=42 /CIVLID=12345",
         [](AutomationRequest& r) {
             r.competitionId = 42;
             r.civlId = 12345;
         }},
        {"/COMPID=+7 /CIVLID=-1", [](AutomationRequest& r) { r.competitionId = 7; }},
        {"/COMPID=2147483647", [](AutomationRequest& r) { r.competitionId = 2147483647; }},
        {"/SENDLOG=30", [](AutomationRequest& r) { r.sendLogSeconds = 30; }},
        {"/SENDLOG=0", [](AutomationRequest&) {}},
        {"/POSX=-20 /POSY=300",
         [](AutomationRequest& r) {
             r.posX = -20;
             r.posY = 300;
         }},
        {"/TIMEOUT=60", [](AutomationRequest& r) { r.timeoutSeconds = 60; }},
        {"/TIMEOUT=100000", [](AutomationRequest& r) { r.timeoutSeconds = 86400; }},
        {"/TIMEOUT=86400", [](AutomationRequest& r) { r.timeoutSeconds = 86400; }},
        {"/TIMEOUT=-5", [](AutomationRequest& r) { r.timeoutSeconds = 0; }},
        {"/TIMEOUT=45.0", [](AutomationRequest& r) { r.timeoutSeconds = 45; }},
        {"/FILTER=20140517100000", [](AutomationRequest& r) { r.filterStart = k20140517At100000; }},
        {"/FILTER=20140230120000", [](AutomationRequest& r) { r.filterStart = k20140302At120000; }},
        {"/FILTER=19900101000000", [](AutomationRequest& r) { r.filterStart = k19900101At000000; }},
        {"/FILTEREND=20991231235959",
         [](AutomationRequest& r) { r.filterStop = k20991231At235959; }},
        {"/FILTER=20140517100000 /FILTEREND=20140517183000",
         [](AutomationRequest& r) {
             r.filterStart = k20140517At100000;
             r.filterStop = k20140517At183000;
         }},
        {"/FILTEREND=20140517183000 /FILTER=20140517100000",
         [](AutomationRequest& r) {
             r.filterStart = k20140517At100000;
             r.filterStop = k20140517At183000;
         }},
        {"/FILTER=20140517100000 /FILTER=0 /FILTEREND=0",
         [](AutomationRequest& r) { r.filterStart = k20140517At100000; }},
        {"/PILOT=\"Jo Doe\" /PILOT=", [](AutomationRequest& r) { r.pilotName = "Jo Doe"; }},
        {"/PILOT=" + std::string(81, 'p'),
         [](AutomationRequest& r) { r.pilotName = std::string(80, 'p'); }},
        {"/ID=HB-1234 /ID=", [](AutomationRequest& r) { r.gliderId = "HB-1234"; }},
        {"/ID=" + std::string(25, 'g'),
         [](AutomationRequest& r) { r.gliderId = std::string(20, 'g'); }},
        // A cut never splits a UTF-8 character: "é" at bytes 20-21 is dropped whole.
        {"/ID=" + std::string(19, 'g') + "\xC3\xA9",
         [](AutomationRequest& r) { r.gliderId = std::string(19, 'g'); }},
        {"/ID=" + std::string(18, 'g') + "\xC3\xA9",
         [](AutomationRequest& r) { r.gliderId = std::string(18, 'g') + "\xC3\xA9"; }},
        {"/WIN=0", [](AutomationRequest& r) { r.showState = WindowShowState::kHidden; }},
        {"/WIN=1", [](AutomationRequest& r) { r.showState = WindowShowState::kMinimized; }},
        {"/WIN=1 /WIN=2", [](AutomationRequest&) {}},
        {"/SESSION=17",
         [](AutomationRequest& r) {
             r.sessionNumber = 17;
             r.sessionGiven = true;
         }},
        {"/SESSION=4294967295",
         [](AutomationRequest& r) {
             r.sessionNumber = 4294967295u;
             r.sessionGiven = true;
         }},
        {"/NOTIFY=caller",
         [](AutomationRequest& r) {
             r.notifyName = "caller";
             r.notifyTickMs = 123456;
         }},
        {"/NOTIFY=" + std::string(257, 'n'),
         [](AutomationRequest& r) {
             r.notifyName = std::string(256, 'n');
             r.notifyTickMs = 123456;
         }},
        {R"(/TRACK="1, 3,5")",
         [](AutomationRequest& r) {
             r.trackList[0] = 1;
             r.trackList[1] = 3;
             r.trackList[2] = 5;
         }},
        {R"(/TRACK=" 0 , 254 ")",
         [](AutomationRequest& r) {
             r.trackList[0] = 0;
             r.trackList[1] = 254;
         }},
        {"/TRACK=9 /TRACK=4", [](AutomationRequest& r) { r.trackList[0] = 4; }},
        // Only the first 20 entries are kept.
        {"/TRACK=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22",
         [](AutomationRequest& r) {
             for (int i = 0; i < 20; ++i) {
                 r.trackList[static_cast<std::size_t>(i)] = i + 1;
             }
         }},
        {"/USERNAME=\"Jo Doe\" /GPS=FLYMASTER",
         [](AutomationRequest& r) {
             r.action = A::kWriteUserName;
             r.pilotName = "Jo Doe";
             r.gpsType = GpsType::kFlymaster;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Outcome outcome = Parse(c.line);
        ASSERT_EQ(outcome.status, 0) << outcome.errorText;
        ASSERT_TRUE(outcome.request.has_value());
        AutomationRequest expected;
        c.edit(expected);
        EXPECT_EQ(*outcome.request, expected);
        EXPECT_TRUE(outcome.messages.empty());
    }
}

TEST(AutomationKeywords, FileKeywordsSetActionAndName) {
    struct Case {
        const char* key;
        AutomationAction action;
        int number;  // the action's documented number
        const char* missing;
    };
    using A = AutomationAction;
    const Case cases[] = {
        {"KML_LOG", A::kKmlLog, 1, "Missing log file name"},
        {"OZI_LOG", A::kOziLog, 2, "Missing log file name"},
        {"RD_LOG", A::kOziLog, 2, "Missing log file name"},
        {"IGC_LOG", A::kIgcLog, 3, "Missing log file directory name"},
        {"MPS_LOG", A::kMpsLog, 4, "Missing log file name"},
        {"RD_WPT", A::kReadWaypoints, 5, "Missing wpt file name"},
        {"WR_WPT", A::kWriteWaypoints, 6, "Missing wpt file name"},
        {"WR_WPT2", A::kWriteWaypointsWithId, 7, "Missing wpt file name"},
        {"IGC2KML", A::kIgcToKml, 8, "Missing IGC/KML file name"},
        {"DAT2KML", A::kDatToKml, 9, "Missing DAT/KML file name"},
        {"LOGFILE", A::kLogFile, 10, "Missing track log file name"},
        {"WR_CTR", A::kWriteAirspace, 13, "Missing CTR file name"},
        {"RD_GEO_WPT", A::kReadGeoWaypoints, 15, "Missing wpt file name"},
        {"CHKKML", A::kCheckKml, 16, "Missing file name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(static_cast<int>(c.action), c.number);
        const Outcome outcome = Parse(std::string("/") + c.key + "=\"c:\\a dir\\File.x\"");
        ASSERT_EQ(outcome.status, 0) << outcome.errorText;
        AutomationRequest expected;
        expected.action = c.action;
        expected.fileName = "c:\\a dir\\File.x";
        EXPECT_EQ(*outcome.request, expected);
        ExpectFailure(Parse(std::string("/") + c.key + "="), c.missing);
        ExpectFailure(Parse(std::string("/") + c.key + " /EXIT"), c.missing);
    }
    // The later action wins.
    const Outcome both = Parse("/KML_LOG=a.kml /RD_WPT=b.wpt");
    ASSERT_EQ(both.status, 0);
    EXPECT_EQ(both.request->action, A::kReadWaypoints);
    EXPECT_EQ(both.request->fileName, "b.wpt");
}

TEST(AutomationKeywords, Errors) {
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"/COM=0", "Bad COM port"},
        {"/COM=00", "Bad COM port"},
        {"/COM=3x", "Bad COM port"},
        {"/COM=", "Bad COM port"},
        {"/COM", "Bad COM port"},
        {"/COM=-1", "Bad COM port"},
        {"/COM=COM3", "Bad COM port"},
        {"/COM=1:", "Bad COM port"},
        {"/COM=0:5", "Bad COM port"},
        {"/COM=1:256", "Bad COM port"},
        {"/COM=usb:1", "Bad COM port"},
        {"/COM=1000000000", "Bad COM port"},
        {"/COM=99999999999999999999999", "Bad COM port"},
        {"/GPS=GARMINUSB", "Bad GPS type"},
        {"/GPS=", "Bad GPS type"},
        {"/USERNAME=", "Missing username"},
        {"/USERNAME", "Missing username"},
        {"/TRACK=1;3", "Bad TRACK value"},
        {"/TRACK=", "Missing TRACK list"},
        {"/TRACK", "Missing TRACK list"},
        {R"(/TRACK="   ")", "Missing TRACK list"},
        {"/TRACK=1,", "Bad TRACK value"},
        {"/TRACK=,1", "Bad TRACK value"},
        {R"(/TRACK="1 2")", "Bad TRACK value"},
        {"/TRACK=-1", "Bad TRACK value"},
        {"/TRACK=255", "Bad TRACK value"},
        {"/TRACK=99999999999999999999", "Bad TRACK value"},
        // Unquoted, the blank ends the value after "1,".
        {"/TRACK=1, 3,5", "Bad TRACK value"},
        {"/COMP_LOG=kml", "Bad competition fle type"},
        {"/COMP_LOG=", "Bad competition fle type"},
        {"/COMP_DIR=", "Missing competition directory name"},
        {"/COMP_FS=", "Missing flight score file name"},
        {"/COMPID=x", "Bad COMPID value"},
        {"/COMPID=", "Bad COMPID value"},
        {"/COMPID=1.5", "Bad COMPID value"},
        {"/COMPID=2147483648", "Bad COMPID value"},
        {"/COMPID=99999999999", "Bad COMPID value"},
        {"/CIVLID=12a", "Bad CIVLID value"},
        {"/SENDLOG=x", "Bad SENDLOG value"},
        {"/SENDLOG=-1", "Bad SENDLOG value"},
        {"/POSX=a", "Bad POSX value"},
        {"/POSY=a", "Bad POSX value"},
        {"/POSY=0.5", "Bad POSX value"},
        {"/TIMEOUT=", "Bad TIMEOUT value"},
        {"/TIMEOUT=abc", "Bad TIMEOUT value"},
        {"/TIMEOUT=2.5", "Bad TIMEOUT value"},
        {"/TIMEOUT=99999999999", "Bad TIMEOUT value"},
        {"/FILTER=", "Bad track log start filter time"},
        {"/FILTER=2014051710000", "Bad track log start filter time"},
        {"/FILTER=201405171000000", "Bad track log start filter time"},
        {"/FILTER=2014051710000x", "Bad track log start filter time"},
        {"/FILTER=20141317100000", "Bad track log start filter time"},
        {"/FILTER=20140017100000", "Bad track log start filter time"},
        {"/FILTER=20140532100000", "Bad track log start filter time"},
        {"/FILTER=20140500100000", "Bad track log start filter time"},
        {"/FILTER=20140517240000", "Bad track log start filter time"},
        {"/FILTER=20140517106000", "Bad track log start filter time"},
        {"/FILTER=20140517100060", "Bad track log start filter time"},
        {"/FILTER=19891231120000", "Bad track log start filter time"},
        {"/FILTER=21000101000000", "Bad track log start filter time"},
        {"/FILTEREND=", "Bad track log stop filter time"},
        {"/FILTEREND=20141317100000", "Bad track log stop filter time"},
        {"/FILTEREND=00000000000000", "Bad track log stop filter time"},
        {"/FILTEREND=20140517100000 /FILTER=20140517100000", "Comp. stop time before start time"},
        {"/FILTEREND=20140517095959 /FILTER=20140517100000", "Comp. stop time before start time"},
        {"/FILTER=20140517100000 /FILTEREND=20140517100000", "Comp. start time after end time"},
        {"/FILTER=20140517100000 /FILTEREND=20140517095959", "Comp. start time after end time"},
        {"/WIN=3", "Bad window size"},
        {"/WIN=", "Bad window size"},
        {"/WIN=00", "Bad window size"},
        {"/NOTIFY=", "Missing window class name"},
        {"/SESSION=", "Missing session number"},
        {"/SESSION=12a", "Bad session number"},
        {"/SESSION=-1", "Bad session number"},
        {"/SESSION=4294967296", "Bad session number"},
        {"/FOO", "Unrecognized command"},
        {"/COMP", "Unrecognized command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ExpectFailure(Parse(c.line), c.message);
    }
}

// Parsing stops at the first bad keyword: nothing after it is looked at.
TEST(AutomationKeywords, FirstErrorEndsParsing) {
    ExpectFailure(Parse("/COM=0 /GPS=NONE /FOO"), "Bad COM port");
    ExpectFailure(Parse("/FOO x"), "Unrecognized command");
}

// The pilot list reader is called at once for COMP_FS; its failure fails the parse.
TEST(AutomationKeywords, PilotListReaderHook) {
    struct Case {
        int readerStatus;
        int parseStatus;
        bool loaded;
    };
    const Case cases[] = {{0, 0, true}, {-1, -1, false}, {-3, -1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.readerStatus);
        std::vector<std::string> files;
        AutomationEnvironment environment = TestEnvironment();
        environment.readPilotList = [&](const std::string& file) {
            files.push_back(file);
            return c.readerStatus;
        };
        const Outcome outcome =
            Parse(R"(/COMP_FS="c:\comp\pilots.fsdb" /COMP_LOG=IGC)", environment);
        EXPECT_EQ(outcome.status, c.parseStatus);
        EXPECT_EQ(files, std::vector<std::string>{R"(c:\comp\pilots.fsdb)"});
        // The reader shows its own message; the parser adds none.
        EXPECT_TRUE(outcome.messages.empty());
        if (c.parseStatus == 0) {
            ASSERT_TRUE(outcome.request.has_value());
            EXPECT_EQ(outcome.request->pilotListLoaded, c.loaded);
            EXPECT_EQ(outcome.request->flightScoreFile, R"(c:\comp\pilots.fsdb)");
        } else {
            EXPECT_FALSE(outcome.request.has_value());
        }
    }
}

// ================================================================ WIN=0

TEST(AutomationHidden, HiddenStateBeforeTheErrorSuppressesTheMessage) {
    struct Case {
        std::string line;
        std::string message;
        bool shown;
    };
    const Case cases[] = {
        {"/WIN=0 /FOO", "Unrecognized command", false},
        {"/WIN=0 /COM=0", "Bad COM port", false},
        {"/WIN=0 x", "Error at position 8", false},
        {"/WIN=0 /GPS=MLRC /KML_LOG=a.kml", "Unsupported GPS for track log download", false},
        {"/GPS=MLRC /KML_LOG=a.kml /WIN=0", "Unsupported GPS for track log download", false},
        {"/FOO /WIN=0", "Unrecognized command", true},
        {"/WIN=0 /WIN=2 /FOO", "Unrecognized command", true},
        {"/WIN=1 /FOO", "Unrecognized command", true},
        {"\"/WIN=0 /FOO", "Bad double apostrophe (\") balance", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Outcome outcome = Parse(c.line);
        EXPECT_EQ(outcome.status, -1);
        EXPECT_FALSE(outcome.request.has_value());
        EXPECT_EQ(outcome.errorText, c.message);
        if (c.shown) {
            ASSERT_EQ(outcome.messages.size(), 1u);
            EXPECT_EQ(outcome.messages[0].title, kTitle);
            EXPECT_EQ(outcome.messages[0].text, c.message);
        } else {
            EXPECT_TRUE(outcome.messages.empty());
        }
    }
}

// ================================================================ validation

// Each device action against every GPS type: the accepted types are those the validation
// rules list; every other type gets the rule's message.
TEST_F(AutomationValidation, ActionsAgainstGpsTypes) {
    const BoundSocket notify(TestDirectory() / "validation.sock");
    ASSERT_TRUE(notify.bound());
    struct Rule {
        std::vector<std::string> actions;
        std::vector<std::string> accepted;
        std::string message;
    };
    const std::vector<std::string> allButMlrc = {
        "GARMIN",   "MLR",       "TOPNAV",  "LOGIT",      "IQCOMPEO", "GRAVITER",
        "MAGELLAN", "XCTRAINER", "XCT_MXP", "FLYMASTER",  "DSX",      "IQBASIC",
        "MTK",      "LEONARDO",  "ASCENT",  "DIGIFLYAIR", "SYRIDE"};
    const std::vector<std::string> igcTypes = {
        "GARMIN", "MLR",     "LOGIT", "IQCOMPEO", "MAGELLAN", "XCTRAINER",  "XCT_MXP", "FLYMASTER",
        "DSX",    "IQBASIC", "MTK",   "LEONARDO", "ASCENT",   "DIGIFLYAIR", "SYRIDE"};
    const Rule rules[] = {
        {{"/KML_LOG=a.kml", "/OZI_LOG=a.plt", "/RD_LOG=a.plt", "/MPS_LOG=a.mps", "/COMP_LOG=KML"},
         allButMlrc,
         "Unsupported GPS for track log download"},
        {{"/IGC_LOG=c:\\logs\\"}, igcTypes, "Unsupported GPS for IGC track log download"},
        {{"/RD_WPT=a.wpt", "/RD_GEO_WPT=a.wpt"},
         {"GARMIN", "MLR", "MLRC", "IQCOMPEO", "IQBASIC", "FLYMASTER", "LEONARDO", "SYRIDE"},
         "Unsupported GPS for waypoint download"},
        {{"/WR_WPT=a.wpt", "/WR_WPT2=a.wpt"},
         {"GARMIN", "MLR", "IQCOMPEO", "TOPNAV", "XCTRAINER", "MAGELLAN", "IQBASIC", "FLYMASTER",
          "LEONARDO", "SYRIDE"},
         "Unsupported GPS for track log upload"},
        {{"/WR_CTR=a.txt"}, {"GARMIN", "IQCOMPEO"}, "Unsupported GPS for CTR upload"},
        {{"/USERNAME=Jo"}, {"FLYMASTER"}, "Unsupported GPS for username upload"},
        {{"/FLIGHTLIST /NOTIFY=" + notify.path()},
         {"FLYMASTER", "IQCOMPEO", "IQBASIC", "LEONARDO", "SYRIDE"},
         "Unsupported GPS for flightlist download"},
        // Actions that need no device accept every type.
        {{"/LOGFILE=a.igc", "/IGC2KML=a.igc", "/DAT2KML=a.dat", "/CHKKML=a.kml", "/EXIT"},
         {"GARMIN", "MLR", "TOPNAV", "LOGIT", "IQCOMPEO", "GRAVITER", "MAGELLAN", "XCTRAINER",
          "XCT_MXP", "FLYMASTER", "DSX", "MLRC", "IQBASIC", "MTK", "LEONARDO", "ASCENT",
          "DIGIFLYAIR", "SYRIDE"},
         ""},
    };
    for (const Rule& rule : rules) {
        for (const std::string& action : rule.actions) {
            for (const GpsTypeInfo& type : GpsTypes()) {
                const std::string line = "/GPS=" + std::string(type.name) + " " + action;
                SCOPED_TRACE(line);
                bool accepted = false;
                for (const std::string& name : rule.accepted) {
                    accepted |= name == type.name;
                }
                const Outcome outcome = Parse(line);
                if (accepted) {
                    EXPECT_EQ(outcome.status, 0) << outcome.errorText;
                    EXPECT_TRUE(outcome.request.has_value());
                    EXPECT_TRUE(outcome.messages.empty());
                } else {
                    ExpectFailure(outcome, rule.message);
                }
            }
        }
    }
}

TEST_F(AutomationValidation, UsbAndNotifyRules) {
    const BoundSocket notify(TestDirectory() / "usb.sock");
    ASSERT_TRUE(notify.bound());
    const std::string withNotify = " /NOTIFY=" + notify.path();
    struct Case {
        std::string line;
        std::string message;  // empty: accepted
    };
    const Case cases[] = {
        {"/USB /KML_LOG=a.kml", ""},
        {"/USB /GPS=garmin /IGC_LOG=c:\\logs\\ /WR_CTR=a.txt", ""},
        {"/USB /GPS=MLR /KML_LOG=a.kml", "USB is not supported"},
        {"/USB /GPS=IQCOMPEO /IGC_LOG=c:\\logs\\", "USB is not supported"},
        {"/USB /GPS=MLRC /RD_WPT=a.wpt", "USB is not supported"},
        {"/USB /GPS=FLYMASTER /WR_WPT2=a.wpt", "USB is not supported"},
        {"/USB /GPS=IQCOMPEO /WR_CTR=a.txt", "USB is not supported"},
        {"/USB /GPS=LEONARDO /RD_GEO_WPT=a.wpt", "USB is not supported"},
        {"/USB /GPS=FLYMASTER /COMP_LOG=IGC", "USB is not supported"},
        // The type rule comes first.
        {"/USB /GPS=MLRC /KML_LOG=a.kml", "Unsupported GPS for track log download"},
        // The user name, the flight list and the device-less actions ignore USB.
        {"/USB /GPS=FLYMASTER /USERNAME=Jo", ""},
        {"/USB /GPS=FLYMASTER /FLIGHTLIST" + withNotify, ""},
        {"/USB /GPS=MLR /LOGFILE=a.igc", ""},
        // The flight list needs a notify target that exists now.
        {"/FLIGHTLIST /GPS=FLYMASTER", "Missing notify window for flightlist download"},
        {"/FLIGHTLIST /GPS=FLYMASTER /NOTIFY=nobody-listens",
         "Missing notify window for flightlist download"},
        {"/FLIGHTLIST /GPS=FLYMASTER /NOTIFY=" + (TestDirectory() / "missing.sock").string(),
         "Missing notify window for flightlist download"},
        {"/FLIGHTLIST /GPS=GARMIN", "Unsupported GPS for flightlist download"},
        {"/FLIGHTLIST /GPS=SYRIDE" + withNotify, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Outcome outcome = Parse(c.line);
        if (c.message.empty()) {
            EXPECT_EQ(outcome.status, 0) << outcome.errorText;
            EXPECT_TRUE(outcome.request.has_value());
            EXPECT_TRUE(outcome.messages.empty());
        } else {
            ExpectFailure(outcome, c.message);
        }
    }
}

TEST_F(AutomationValidation, ActionFamilies) {
    using A = AutomationAction;
    using F = GpsActionFamily;
    struct Case {
        AutomationAction action;
        std::optional<GpsActionFamily> family;
    };
    const Case cases[] = {
        {A::kNone, std::nullopt},
        {A::kKmlLog, F::kTrackLog},
        {A::kOziLog, F::kTrackLog},
        {A::kIgcLog, F::kIgcTrackLog},
        {A::kMpsLog, F::kTrackLog},
        {A::kReadWaypoints, F::kWaypointDownload},
        {A::kWriteWaypoints, F::kWaypointUpload},
        {A::kWriteWaypointsWithId, F::kWaypointUpload},
        {A::kIgcToKml, std::nullopt},
        {A::kDatToKml, std::nullopt},
        {A::kLogFile, std::nullopt},
        {A::kCompetitionLog, F::kTrackLog},
        {A::kWriteAirspace, F::kAirspaceUpload},
        {A::kWriteUserName, F::kUserNameUpload},
        {A::kReadGeoWaypoints, F::kWaypointDownload},
        {A::kCheckKml, std::nullopt},
        {A::kFlightList, F::kFlightList},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.action));
        EXPECT_EQ(ActionFamily(c.action), c.family);
    }
}

// ================================================================ notify target

TEST_F(AutomationNotify, SocketPathOfTheName) {
    struct Case {
        const char* name;
        const char* runtimeDir;
        const char* path;
    };
    const Case cases[] = {
        {"caller", "/run/user/1000", "/run/user/1000/tracora/notify-caller.sock"},
        {"caller", "", "/tmp/tracora/notify-caller.sock"},
        {"/tmp/x/listener.sock", "/run/user/1000", "/tmp/x/listener.sock"},
        {"run/listener.sock", "", "run/listener.sock"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NotifySocketPath(c.name, c.runtimeDir), c.path);
    }
}

TEST_F(AutomationNotify, NameResolvesUnderTheRuntimeDirectory) {
    const std::filesystem::path runtime = TestDirectory() / "runtime";
    const BoundSocket notify(runtime / "tracora" / "notify-logger.sock");
    ASSERT_TRUE(notify.bound());
    AutomationEnvironment environment = TestEnvironment();
    environment.runtimeDir = runtime.string();
    environment.tickMs = 0xFFFFFFF0u;
    const Outcome outcome =
        Parse("/NOTIFY=logger /SESSION=5 /GPS=IQBASIC /FLIGHTLIST /TRACK=\"2, 7\"", environment);
    ASSERT_EQ(outcome.status, 0) << outcome.errorText;
    AutomationRequest expected;
    expected.action = AutomationAction::kFlightList;
    expected.gpsType = GpsType::kIqBasic;
    expected.notifyName = "logger";
    expected.notifySocket = notify.path();
    expected.notifyTickMs = 0xFFFFFFF0u;
    expected.sessionNumber = 5;
    expected.sessionGiven = true;
    expected.trackList[0] = 2;
    expected.trackList[1] = 7;
    EXPECT_EQ(*outcome.request, expected);

    // A plain file at the path is no notify target.
    const std::filesystem::path plain = runtime / "tracora" / "notify-plain.sock";
    { std::ofstream(plain.string()) << "x"; }
    const Outcome notSocket = Parse("/NOTIFY=plain", environment);
    ASSERT_EQ(notSocket.status, 0);
    EXPECT_TRUE(notSocket.request->notifySocket.empty());
}

// ================================================================ output names

TEST(AutomationFileNames, DateInFileName) {
    struct Case {
        std::string name;
        CalendarTime date;
        int status;
        std::string expanded;
    };
    const CalendarTime may17{2014, 5, 17, 10, 0, 0, 0};
    const CalendarTime jan2{2009, 1, 2, 0, 0, 0, 0};
    const Case cases[] = {
        {"$date.kml", may17, 0, "20140517.kml"},
        {R"(c:\logs\$date-$date.kml)", may17, 0, R"(c:\logs\20140517-20140517.kml)"},
        {"/home/p/$date/track.plt", jan2, 0, "/home/p/20090102/track.plt"},
        {"$$date", may17, 0, "$20140517"},
        {"no-date.kml", may17, 0, "no-date.kml"},
        {"$DATE.kml", may17, 0, "$DATE.kml"},
        {"$dat.kml", may17, 0, "$dat.kml"},
        {"", may17, 0, ""},
        // The expanded name may be as long as a path (kFileNameMax), not one byte more.
        {std::string(kFileNameMax - 8, 'a') + "$date", may17, 0,
         std::string(kFileNameMax - 8, 'a') + "20140517"},
        {std::string(kFileNameMax - 7, 'a') + "$date", may17, -1, "unchanged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "unchanged";
        EXPECT_EQ(ExpandDateInFileName(c.name, c.date, out), c.status);
        EXPECT_EQ(out, c.expanded);
    }
}

TEST(AutomationFileNames, IgcDirectory) {
    struct DirectoryCase {
        const char* name;
        bool directory;
    };
    const DirectoryCase directories[] = {
        {R"(c:\logs\)", true}, {"/home/p/logs/", true}, {"a.igc", false}, {R"(c:\logs)", false},
        {"", false},
    };
    for (const DirectoryCase& c : directories) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NamesDirectory(c.name), c.directory);
    }
}

}  // namespace
}  // namespace tracora

namespace tracora {
namespace {

// A notify socket path that a socket address cannot hold is refused when parsed.
TEST(AutomationNotifyLimit, SocketPathBeyondTheAddressLimitIsRefused) {
    const std::size_t limit = sizeof(sockaddr_un::sun_path) - 1;
    const std::string longPath = "/" + std::string(limit, 'n');
    ExpectFailure(Parse("/NOTIFY=" + longPath + " /GPS=IQBASIC /FLIGHTLIST"),
                  "Notify socket path too long (" + std::to_string(limit + 1) + " bytes, at most " +
                      std::to_string(limit) + "): " + longPath);
    // One that fits is not refused for its length.
    const Outcome fits =
        Parse("/NOTIFY=/" + std::string(limit - 1, 'n') + " /GPS=IQBASIC /FLIGHTLIST");
    EXPECT_EQ(fits.errorText.find("too long"), std::string::npos) << fits.errorText;
}

}  // namespace
}  // namespace tracora
