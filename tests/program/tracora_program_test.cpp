// The tracora program as a caller uses it: a command line in, texts on stderr, notifications
// on a socket and an exit code out.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/usb_socket_link.hpp"
#include "device/wake_event.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/kml/kml_writer.hpp"
#include "notify/notify.hpp"
#include "oracle/oracle_tools.hpp"
#include "protocols/ascent/ascent_emulator.hpp"
#include "protocols/digifly/digifly_emulator.hpp"
#include "protocols/dsx/dsx_emulator.hpp"
#include "protocols/flymaster/flymaster_emulator.hpp"
#include "protocols/flytec/flytec_emulator.hpp"
#include "protocols/garmin/garmin_emulator.hpp"
#include "protocols/garmin/garmin_usb_emulator.hpp"
#include "protocols/graviter/graviter_emulator.hpp"
#include "protocols/iqbasic/iqbasic_emulator.hpp"
#include "protocols/logit/logit_emulator.hpp"
#include "protocols/magellan/magellan_emulator.hpp"
#include "protocols/mlr/mlr_emulator.hpp"
#include "protocols/mtk/mtk_emulator.hpp"
#include "protocols/topnav/topnav_emulator.hpp"

extern char** environ;

namespace tracora {
namespace {

namespace fs = std::filesystem;

constexpr int kDeadlineMs = 60'000;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Called with what the program has printed on stdout so far, each time more arrives.
using OutputWatcher = std::function<void(pid_t pid, const std::string& out)>;

// Runs the program with `args` in an environment of its own (settings and notify sockets
// under `home`) and collects what it prints. Fails the test when it does not end in time.
Outcome RunProgram(const std::vector<std::string>& args, const fs::path& home,
                   const OutputWatcher& watch = {}, const std::vector<std::string>& extraEnv = {}) {
    Outcome outcome;
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
        ADD_FAILURE() << "pipe";
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);

    std::vector<std::string> strings = {TRACORA_PROGRAM};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = {"TRACORA_CONFIG_DIR=" + (home / "config").string(),
                                           "XDG_RUNTIME_DIR=" + (home / "run").string(),
                                           "HOME=" + home.string(), "PATH=/usr/bin:/bin"};
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> env;
    for (std::string& s : envStrings)
        env.push_back(s.data());
    env.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, TRACORA_PROGRAM, &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0) {
        ADD_FAILURE() << "posix_spawn: " << spawned;
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return outcome;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 1000) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
                if (i == 0 && watch)
                    watch(pid, outcome.out);
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0) {
        ADD_FAILURE() << "the program did not end in time";
        ::kill(pid, SIGKILL);
        for (pollfd& p : fds) {
            if (p.fd >= 0)
                ::close(p.fd);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

class ProgramTest : public ::testing::Test {
protected:
    fs::path home = fs::temp_directory_path() / ("tracora-program-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(home / "out"); }
    void TearDown() override { fs::remove_all(home); }
    Outcome Run(const std::vector<std::string>& args) { return RunProgram(args, home); }
};

TEST_F(ProgramTest, HelpAndVersion) {
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: tracora"), std::string::npos);
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("tracora ", 0), 0u);
}

TEST_F(ProgramTest, CommandLineErrorsEndWithTheMessageAndExitCode2) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"/COM=0"}, "Parsing command line: Bad COM port"},
        {{"/COM=3x", "/WIN=0"}, "Parsing command line: Bad COM port"},
        {{"/GPS=MLRC", "/KML_LOG=a.kml"},
         "Parsing command line: Unsupported GPS for track log download"},
        {{"/FLIGHTLIST", "/GPS=FLYMASTER"},
         "Parsing command line: Missing notify window for flightlist download"},
        {{"/TRACK=1;3"}, "Parsing command line: Bad TRACK value"},
        {{"\"/tmp/x.igc"}, "Parsing command line: Bad double apostrophe (\") balance"},
        {{}, "give a command line"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(c.args);
        EXPECT_EQ(outcome.exitCode, 2) << c.message;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
    // A command-line run writes no settings.
    EXPECT_FALSE(fs::exists(home / "config"));
}

TEST_F(ProgramTest, MissingPortCountsDownTheAttemptsAndFails) {
    NotifyListener listener;
    const std::string socket = (home / "run" / "caller.sock").string();
    ASSERT_EQ(listener.Open(socket), 0);

    const Outcome outcome = Run({"/GPS=IQCOMPEO", "/COM=/nonexistent/ttyTRACORA", "/TIMEOUT=2",
                                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT",
                                 "/NOTIFY=" + socket, "/SESSION=42"});
    EXPECT_EQ(outcome.exitCode, 1);
    // Status lines, one per attempt left, then the error with the port in its title.
    const std::size_t two = outcome.err.find("Connecting to GPS (2)");
    const std::size_t one = outcome.err.find("Connecting to GPS (1)");
    const std::size_t error = outcome.err.find(
        "Connecting to GPS on /nonexistent/ttyTRACORA: Could not open serial port (sure it's the "
        "right one ?)");
    EXPECT_NE(two, std::string::npos) << outcome.err;
    EXPECT_NE(one, std::string::npos) << outcome.err;
    EXPECT_NE(error, std::string::npos) << outcome.err;
    EXPECT_LT(two, one);
    EXPECT_LT(one, error);
    EXPECT_EQ(outcome.err.find("Connecting to GPS (3)"), std::string::npos);

    NotifyMessage first;
    NotifyMessage second;
    ASSERT_EQ(listener.Receive(kDeadlineMs, first), 1);
    ASSERT_EQ(listener.Receive(kDeadlineMs, second), 1);
    EXPECT_EQ(first, (NotifyMessage{42, "Transfer started"}));
    EXPECT_EQ(second, (NotifyMessage{42, "Transfer completed (error)"}));
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

TEST_F(ProgramTest, NotifyNameResolvesUnderTheRuntimeFolder) {
    NotifyListener listener;
    ASSERT_EQ(listener.Open((home / "run" / "tracora" / "notify-caller.sock").string()), 0);
    const Outcome outcome =
        Run({"/GPS=FLYMASTER", "/COM=/nonexistent/tty", "/FLIGHTLIST", "/NOTIFY=caller", "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1);
    NotifyMessage message;
    ASSERT_EQ(listener.Receive(kDeadlineMs, message), 1);
    EXPECT_EQ(message.text, "Transfer started");
}

TEST_F(ProgramTest, FileActionsThatCannotBeDoneFailPlainly) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{(home / "flight.tnc").string()}, "Reading .tnc files is not available yet"},
        {{(home / "flight.gpx").string()}, "Read track log file: Error opening file"},
        {{(home / "flight.txt").string()}, "Unsupported track log file extension"},
        {{(home / "flight").string()}, "Missing track log file extension"},
        {{(home / "missing.igc").string()}, "Reading IGC log file: Error opening file"},
        {{"/IGC2KML=" + (home / "flight.igc").string()},
         "Reading IGC log file: Error opening file"},
        {{"/GPS=IQCOMPEO", "/WR_WPT=" + (home / "w.wpt").string(), "/EXIT"},
         "Reading waypoint file: Error opening waypoint file"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(c.args);
        EXPECT_EQ(outcome.exitCode, 1) << c.message;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
}

TEST_F(ProgramTest, TrackLogFileIsReadWithoutQuestions) {
    const fs::path flight = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";
    const Outcome outcome = Run({flight.string()});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("positions read (Signature ignored)"), std::string::npos)
        << outcome.err;
}

TEST_F(ProgramTest, IgcFileConvertsToKmlBesideIt) {
    const fs::path igc = home / "out" / "marcourt.igc";
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", igc);
    const Outcome outcome = Run({"/IGC2KML=" + igc.string()});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    const fs::path kml = home / "out" / "marcourt.kml";
    ASSERT_TRUE(fs::exists(kml)) << outcome.err;
    EXPECT_NE(outcome.err.find("marcourt.kml: 221 positions written"), std::string::npos)
        << outcome.err;
    // A second conversion does not replace the first without OVERWRITE.
    const auto written = fs::last_write_time(kml);
    EXPECT_EQ(Run({"/IGC2KML=" + igc.string()}).exitCode, 1);
    EXPECT_EQ(fs::last_write_time(kml), written);
}

// /CHKKML checks every track's keyed hash: a signed trip document passes, a converted (unsigned)
// one and a changed digit fail with exit code 1.
TEST_F(ProgramTest, KmlCheckSetsTheExitCode) {
    const fs::path igc = home / "out" / "marcourt.igc";
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", igc);
    ASSERT_EQ(Run({"/IGC2KML=" + igc.string()}).exitCode, 0);
    const Outcome converted = Run({"/CHKKML=" + (home / "out" / "marcourt.kml").string()});
    EXPECT_EQ(converted.exitCode, 1);
    EXPECT_NE(converted.err.find("221 positions read (NO valid signature)"), std::string::npos)
        << converted.err;

    kml::TripAnalysis trip;
    for (std::uint32_t i = 0; i < 8; ++i) {
        TrackPoint p;
        p.time = 1'000'000'000u + i * 2;
        p.latitude = 554766609 + static_cast<std::int32_t>(i) * 5000;
        p.longitude = 89478485;
        p.gpsAltitude = 9000;
        trip.points.push_back(p);
    }
    trip.firstTime = trip.points.front().time;
    trip.lastTime = trip.points.back().time;
    trip.hashWanted = true;
    kml::KmlOutput document;
    std::string message;
    ASSERT_EQ(kml::WriteTripDocument(document, trip, "Flytec 6030", message), 0);
    std::string text = document.Take();
    const fs::path signedFile = home / "out" / "signed.kml";
    std::ofstream(signedFile, std::ios::binary) << text;
    const Outcome good = Run({"/CHKKML=" + signedFile.string()});
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_NE(good.err.find("8 positions read (Signature ok)"), std::string::npos) << good.err;

    text.replace(text.find("Flytec 6030"), 11, "Flytec 6031");
    std::ofstream(signedFile, std::ios::binary) << text;
    EXPECT_EQ(Run({"/CHKKML=" + signedFile.string()}).exitCode, 1);
}

// /DAT2KML names the log without its extension: NAME.dat read, NAME.kml written; the other
// track formats read by their extensions.
TEST_F(ProgramTest, DatLogConvertsToKmlAndTrackFilesRead) {
    const fs::path base = home / "out" / "log";
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "binary" / "flight.dat",
                  home / "out" / "log.dat");
    const Outcome outcome = Run({"/DAT2KML=" + base.string()});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("log.kml: 120 positions written"), std::string::npos) << outcome.err;
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "binary" / "sum-off.dat",
                  home / "out" / "bad.dat");
    const Outcome bad = Run({"/DAT2KML=" + (home / "out" / "bad").string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("Checksum verification failed"), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(home / "out" / "bad.kml"));
    const Outcome missing = Run({"/DAT2KML=" + (home / "out" / "none").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Reading .dat log file: Error opening file"), std::string::npos)
        << missing.err;
    struct Case {
        const char* fixture;
        const char* name;
        const char* read;
    } cases[] = {
        {"tracks/two-segments.gpx", "t.gpx", ""},
        {"real/tracks-other/gpsbabel-20070813_short.plt", "t.plt", "44 positions read"},
        {"tracks/semicolons-no-last-lf.csv", "t.csv", "4 positions read"},
        {"tracks/magellan.log", "t.log", "3 positions read"},
        {"binary/both-i.mps", "t.mps", "5 positions read"},
        {"binary/no-altitudes.dat", "t.dat", "3 positions read"},
    };
    for (const Case& c : cases) {
        fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / c.fixture, home / "out" / c.name);
        const Outcome read = Run({(home / "out" / c.name).string()});
        if (std::string(c.read).empty()) {
            // Several tracks and no one to choose: nothing is read.
            EXPECT_EQ(read.exitCode, 1) << c.name << read.err;
            continue;
        }
        EXPECT_EQ(read.exitCode, 0) << c.name << ": " << read.err;
        EXPECT_NE(read.err.find(c.read), std::string::npos) << c.name << ": " << read.err;
    }
}

// An emulated instrument on the master side of a pseudo-terminal; the program reaches it by
// the slave side's path.
template <typename Emulator>
class ProgramWithEmulator : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<Emulator> instrument;

    // A new cable and unit (a stopped link stays stopped). A unit that sends as soon as the port
    // is opened watches the slave side.
    template <typename Config>
    void Connect(Config config) {
        instrument.reset();
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        if constexpr (requires { config.slaveFd; })
            config.slaveFd = pty.SlaveFd();
        instrument = std::make_unique<Emulator>(*link, config);
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
    // The program run once against the unit: /GPS=gps on its port, one request, then exit.
    Outcome RunOn(const std::string& gps, const std::string& what, int timeoutSeconds) {
        return Run({"/GPS=" + gps, "/COM=" + pty.SlavePath(),
                    "/TIMEOUT=" + std::to_string(timeoutSeconds), what, "/EXIT"});
    }
};

// The files a run left in a folder.
std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

// The real program against an emulated Flytec instrument over a pseudo-terminal.
class ProgramWithInstrument : public ProgramWithEmulator<protocols::flytec::FlytecEmulator> {
protected:
    std::string flight;
    // Waypoints the instrument holds beside the built-in ones.
    std::vector<protocols::flytec::EmulatedWaypoint> extraWaypoints;

    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::flytec::FlytecEmulatorConfig config;
        config.flights = {flight};
        config.waypoints = protocols::flytec::BuiltInWaypoints();
        config.waypoints.insert(config.waypoints.end(), extraWaypoints.begin(),
                                extraWaypoints.end());
        Connect(config);
    }
    Outcome Download() {
        instrument->Start();
        return Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(),
                    "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    }
};

// A competition desk from the command line: the flight of an instrument that carries its
// pilot's ID waypoints, the pilot found in the scoring database by those IDs, the IGC file asked
// for in the settings file, both files named by the name rule and reported to the caller.
class CompetitionDesk : public ProgramWithInstrument {
protected:
    CompetitionDesk() {
        // COMPID 12: 0 deg 1 min 2 s N, 0 E. CIVLID 4711: 7 deg 1 min 1 s N, 0 deg 0 min 4 s E
        // (in thousandths of a minute, rounded).
        extraWaypoints = {{1033, 0, "COMPID", "COMPID 12", 0},
                          {7 * 60000 + 1017, 67, "CIVLID", "CIVLID 4711", 0}};
    }
};

TEST_F(CompetitionDesk, WritesTheNamedSignedFiles) {
    fs::create_directories(home / "config");
    std::ofstream(home / "config" / "settings.ini") << "[Tracora]\nAddIgcToCompOut=1\n";
    const fs::path database = home / "open.fsdb";
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "pilot_lists" / "open_2024.fsdb", database);
    const fs::path comp = home / "comp";

    NotifyListener listener;
    ASSERT_EQ(listener.Open((home / "run" / "tracora" / "notify-desk.sock").string()), 0);
    std::vector<std::string> texts;
    std::thread receiver([&listener, &texts] {
        NotifyMessage message;
        while (listener.Receive(kDeadlineMs, message) == 1) {
            texts.push_back(message.text);
            if (message.text.starts_with("Transfer completed")) {
                break;
            }
        }
    });
    instrument->Start();
    const Outcome outcome = Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(), "/COMP_LOG=KML",
                                 "/COMP_DIR=" + comp.string(), "/COMP_FS=" + database.string(),
                                 "/NOTIFY=desk", "/EXIT"});
    receiver.join();
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(comp)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u) << outcome.err;
    // "Smith, John.<YYYYMMDD-hhmmss>.4711.12.igc" and the same ".kml".
    const std::string stem = names[0].substr(0, names[0].size() - 4);
    ASSERT_TRUE(stem.starts_with("Smith, John.")) << stem;
    EXPECT_TRUE(stem.ends_with(".4711.12")) << stem;
    EXPECT_EQ(stem.size(), std::string("Smith, John.20210306-101010.4711.12").size()) << stem;
    EXPECT_EQ(names[0], stem + ".igc");
    EXPECT_EQ(names[1], stem + ".kml");
    const std::string base = (comp / stem).string();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Pilot [12] Smith, John"), texts.end());
    const auto written = std::find(texts.begin(), texts.end(), "File \"" + base + ".igc\" written");
    ASSERT_NE(written, texts.end()) << outcome.err;
    ASSERT_NE(written + 1, texts.end());
    EXPECT_EQ(*(written + 1), "File \"" + base + ".kml\" written");
    EXPECT_EQ(texts.back(), "Transfer completed");

    std::string kml;
    ASSERT_EQ(ReadWholeFile(base + ".kml", kml), FileReadStatus::kOk);
    EXPECT_NE(kml.find("civl_pilot_id=\"4711\" comp_pilot_id=\"12\""), std::string::npos);
    EXPECT_NE(kml.find("hash=\""), std::string::npos);
    EXPECT_NE(outcome.err.find(base + ".kml: File saved, signature OK"), std::string::npos)
        << outcome.err;
    ASSERT_TRUE(oracles::OracleInstalled("xmllint", oracles::kXmllintPackage));
    EXPECT_EQ(std::system(("xmllint --noout '" + base + ".kml'").c_str()), 0);
    ASSERT_TRUE(fs::exists(TRACORA_CLI));
    EXPECT_EQ(
        std::system((std::string(TRACORA_CLI) + " verify '" + base + ".igc' >/dev/null").c_str()),
        0);
}

TEST_F(ProgramWithInstrument, DownloadSavesTheInstrumentsIgcTextUnchanged) {
    const Outcome outcome = Download();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string saved;
    ASSERT_EQ(ReadWholeFile(home / "out" / "2021-03-06-xxx-004-01.igc", saved), FileReadStatus::kOk)
        << outcome.err;
    EXPECT_EQ(saved, flight);
}

// The emulated instrument holding two flights.
class ProgramWithTwoFlights : public ProgramWithInstrument {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        std::string second;
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "20241007TZN.igc", second),
                  FileReadStatus::kOk);
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        protocols::flytec::FlytecEmulatorConfig config;
        config.flights = {flight, second};
        config.waypoints = protocols::flytec::BuiltInWaypoints();
        instrument = std::make_unique<protocols::flytec::FlytecEmulator>(*link, config);
    }
};

// /FLYBOOK reads every flight of the instrument and writes their Flybook document, one trip
// folder per flight.
TEST_F(ProgramWithTwoFlights, FlybookDocumentHoldsEveryFlight) {
    instrument->Start();
    const fs::path book = home / "out" / "season.kml";
    const Outcome outcome =
        Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(), "/FLYBOOK=" + book.string(), "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(book, text), FileReadStatus::kOk) << outcome.err;
    std::size_t trips = 0;
    for (std::size_t at = text.find("<name>Trip</name>"); at != std::string::npos;
         at = text.find("<name>Trip</name>", at + 1)) {
        ++trips;
    }
    EXPECT_EQ(trips, 2u);
    EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>"));
    EXPECT_TRUE(text.ends_with("</Document>\r\n"));
}

// The instrument's waypoints saved as the command line asks: /RD_WPT in the OziExplorer
// format, /RD_GEO_WPT in the Geo format; the figures are the emulator's thousandths of a minute
// worked out by hand.
TEST_F(ProgramWithInstrument, WaypointDownloadSavesOziAndGeoFiles) {
    instrument->Start();
    const fs::path ozi = home / "out" / "alps.wpt";
    Outcome outcome =
        Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(), "/RD_WPT=" + ozi.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("4 waypoints written"), std::string::npos) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(ozi, text), FileReadStatus::kOk);
    EXPECT_TRUE(text.starts_with("OziExplorer Waypoint File Version 1.0\r\n")) << text;
    // 46 deg 24.563 min N, 8 deg 7.580 min E, 2212 m = 7257 ft.
    EXPECT_NE(text.find("FIESCH        ,  46.409383,   8.126333,"), std::string::npos) << text;
    EXPECT_NE(text.find(", 0, 0, 0, 7257\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("LAGUNI        , -33.952000, -70.365000,"), std::string::npos) << text;

    const fs::path geo = home / "out" / "alps-geo.wpt";
    outcome =
        Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(), "/RD_GEO_WPT=" + geo.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    ASSERT_EQ(ReadWholeFile(geo, text), FileReadStatus::kOk);
    EXPECT_TRUE(text.starts_with("$FormatGEO\r\n")) << text;
    EXPECT_NE(text.find("N 46 24 33.78    E 008 07 34.80  2212"), std::string::npos) << text;
    EXPECT_NE(text.find("S 33 57 07.20    W 070 21 54.00  2100"), std::string::npos) << text;
}

// A waypoint file uploaded from the command line: what arrives in the instrument, with the
// identifier in the name for /WR_WPT2 and the pilot ID waypoint after the file's.
// A remote desk drives a download over TCP: the headless server maps COM3 through the port
// table of the settings, saves the flight in its folder and ends on SIGTERM.
TEST_F(ProgramWithInstrument, ServerDownloadsForARemoteDeskAndEndsOnSigterm) {
    fs::create_directories(home / "config");
    {
        std::ofstream settings(home / "config" / "settings.ini");
        settings << "[Ports]\nCOM3=" << pty.SlavePath() << "\n";
    }
    instrument->Start();
    std::string received;
    bool served = false;
    const Outcome outcome = RunProgram(
        {"--server", "0", "--folder", (home / "out").string()}, home,
        [&](pid_t pid, const std::string& out) {
            const std::size_t at = out.find("Listening on port ");
            if (served || at == std::string::npos || out.find('\n', at) == std::string::npos)
                return;
            served = true;
            const int port = std::atoi(out.c_str() + at + 18);
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                const std::string commands[] = {std::string("$Tracora /com=3 /gps=iqcompeo") + '\0',
                                                std::string("$Tracora /track=1") + '\0'};
                ::send(fd, commands[0].data(), commands[0].size(), MSG_NOSIGNAL);
                bool chose = false;
                pollfd wait{fd, POLLIN, 0};
                char bytes[1024];
                while (::poll(&wait, 1, kDeadlineMs) > 0) {
                    const ssize_t got = ::recv(fd, bytes, sizeof bytes, 0);
                    if (got <= 0)
                        break;
                    received.append(bytes, static_cast<std::size_t>(got));
                    if (!chose && received.find("$Tracora TrackList ") != std::string::npos) {
                        chose = true;
                        ::send(fd, commands[1].data(), commands[1].size(), MSG_NOSIGNAL);
                    }
                }
            }
            ::close(fd);
            ::kill(pid, SIGTERM);
        });
    EXPECT_TRUE(served) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::string path = (home / "out" / "2021-03-06-xxx-004-01.igc").string();
    EXPECT_NE(received.find("$Tracora Status Track log saved as " + path + '\0'), std::string::npos)
        << received;
    std::string saved;
    ASSERT_EQ(ReadWholeFile(path, saved), FileReadStatus::kOk) << outcome.out << outcome.err;
    EXPECT_EQ(saved, flight);
    EXPECT_NE(outcome.out.find("Session 1 (127.0.0.1:"), std::string::npos) << outcome.out;
    // The session's end may not be printed: SIGTERM can come before the server sees the close.
    EXPECT_NE(outcome.out.find("): Executing command\n"), std::string::npos) << outcome.out;
}

TEST_F(ProgramWithInstrument, WaypointFileIsUploaded) {
    const fs::path file = home / "upload.wpt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
               "   1,TAKEOF,  46.500000,   7.250000,0,0, 1, 3, 0, 65535,Takeoff Nord, 0, 0, 0, "
               "3281\r\n"
               "   2,LAND  , -33.950000, -70.366667,0,0, 1, 3, 0, 65535,, 0, 0, 0, 328\r\n";
    }
    instrument->Start();
    struct Case {
        const char* keyword;
        std::vector<std::string> extra;
        std::vector<std::string> names;
    } cases[] = {
        {"/WR_WPT=", {}, {"Takeoff Nord     ", "LAND             "}},
        {"/WR_WPT2=", {}, {"TAKEOF Takeoff No", "LAND             "}},
        {"/WR_WPT=",
         {"/COMPID=123"},
         {"Takeoff Nord     ", "LAND             ", "COMPID 123       "}},
    };
    std::size_t before = 0;
    for (const Case& c : cases) {
        std::vector<std::string> args = {"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(),
                                         c.keyword + file.string(), "/EXIT"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Outcome outcome = Run(args);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        ASSERT_TRUE(instrument->WaitForUploads(before + c.names.size(), kDeadlineMs));
        const auto uploads = instrument->Uploads();
        ASSERT_EQ(uploads.size(), before + c.names.size()) << c.keyword;
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(uploads[before + i].name, c.names[i]) << c.keyword << i;
        }
        // 46.5 N 7.25 E at 3281 ft (1000 m); 33.95 S 70.366667 W at 328 ft (100 m); COMPID 123
        // spells 1 deg 2 min 3 s north.
        EXPECT_EQ(uploads[before].latitude, "4630.000");
        EXPECT_EQ(uploads[before].longitude, "00715.000");
        EXPECT_EQ(uploads[before].altitude, 1000);
        EXPECT_EQ(uploads[before + 1].latitude, "3357.000");
        EXPECT_EQ(uploads[before + 1].northSouth, 'S');
        EXPECT_EQ(uploads[before + 1].longitude, "07022.000");
        EXPECT_EQ(uploads[before + 1].eastWest, 'W');
        EXPECT_EQ(uploads[before + 1].altitude, 100);
        if (c.names.size() == 3) {
            EXPECT_EQ(uploads[before + 2].latitude, "0102.050");
            EXPECT_EQ(uploads[before + 2].longitude, "00000.000");
        }
        before = uploads.size();
    }
}

// /WR_CTR: every airspace of an OpenAir file goes to the instrument, which stores it; a refusal
// by the instrument ends the run with exit code 1 and its message.
TEST_F(ProgramWithInstrument, AirspaceFileIsUploaded) {
    const fs::path file = home / "ctr.txt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "AC D\r\nAN ZONE A\r\nAL GND\r\nAH FL95\r\nV X=46:30:00 N 007:15:00 E\r\n"
               "DC 2\r\n\r\nAC R\r\nAN ZONE B\r\nAL 1500ft\r\nAH 3000ft\r\n"
               "DP 46:00:00 N 007:00:00 E\r\nDP 46:10:00 N 007:00:00 E\r\n"
               "DP 46:10:00 N 007:10:00 E\r\n";
    }
    instrument->Start();
    Outcome outcome =
        Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(), "/WR_CTR=" + file.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    ASSERT_TRUE(instrument->WaitForCtrAcks(2, kDeadlineMs));
    const auto stored = instrument->Airspaces();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].name, "ZONE A");
    ASSERT_EQ(stored[0].segments.size(), 1u);
    EXPECT_EQ(stored[0].segments[0].radiusMetres, 3704);  // 2 NM as the format counts them
    EXPECT_EQ(stored[1].name, "ZONE B");
    EXPECT_EQ(stored[1].floor, "1500ft");
    EXPECT_EQ(stored[1].segments.size(), 3u);

    instrument->ArmFault(protocols::flytec::FlytecStep::kCtrAck,
                         protocols::flytec::FlytecFault::kAckNoMemory);
    outcome =
        Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(), "/WR_CTR=" + file.string(), "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("CTR upload acknowledge status: No further memory"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(instrument->Airspaces().size(), 2u);
}

TEST_F(ProgramWithInstrument, WaypointUploadOfAFileWithoutWaypointsFails) {
    const fs::path file = home / "empty.wpt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";
    }
    instrument->Start();
    const Outcome outcome =
        Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(), "/WR_WPT=" + file.string(), "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("No waypoints found"), std::string::npos) << outcome.err;
    EXPECT_TRUE(instrument->Uploads().empty());
}

struct FaultCase {
    const char* name;
    protocols::flytec::FlytecStep step;
    protocols::flytec::FlytecFault fault;
    const char* message;
};

class ProgramInstrumentFault : public ProgramWithInstrument,
                               public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ProgramInstrumentFault, EndsWithItsMessageExitCode1AndNoFile) {
    instrument->ArmFault(GetParam().step, GetParam().fault);
    const Outcome outcome = Download();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ProgramInstrumentFault,
    ::testing::Values(FaultCase{"BRecordBeforeDate", protocols::flytec::FlytecStep::kTrack,
                                protocols::flytec::FlytecFault::kBRecordBeforeDate,
                                "Read GPS track log: E206 Format error 25"},
                      FaultCase{"CutCable", protocols::flytec::FlytecStep::kTrack,
                                protocols::flytec::FlytecFault::kCutConnection,
                                "Read GPS track log: E203 COM port read error"},
                      // A frozen unit: the partial flight is never saved as a success.
                      FaultCase{"StalledInstrument", protocols::flytec::FlytecStep::kTrack,
                                protocols::flytec::FlytecFault::kStall,
                                "Read GPS track log: E208 Incomplete transfer: the instrument "
                                "stopped sending in the middle of a line, after "}),
    [](const auto& param) { return std::string(param.param.name); });

// The Graviter family from the command line: a track log saved as KML.
class ProgramWithGraviter : public ProgramWithEmulator<protocols::graviter::GraviterEmulator> {
protected:
    std::size_t points = 0;

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::graviter::GraviterEmulatorConfig config;
        config.flights.emplace_back();
        ASSERT_TRUE(protocols::graviter::FlightFromIgc(flight, config.flights.back()));
        points = config.flights.back().size();
        Connect(config);
    }
    Outcome Download(const fs::path& kml) {
        instrument->Start();
        return RunOn("GRAVITER", "/KML_LOG=" + kml.string(), 5);
    }
};

TEST_F(ProgramWithGraviter, DownloadIsSavedAsKml) {
    const fs::path kml = home / "out" / "graviter.kml";
    const Outcome outcome = Download(kml);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(kml, text), FileReadStatus::kOk) << outcome.err;
    EXPECT_NE(text.find("<Document>"), std::string::npos);
    EXPECT_NE(text.find("Graviter G2 SN00417 SW1.08"), std::string::npos);
    EXPECT_NE(outcome.err.find(std::to_string(points) + " points received"), std::string::npos)
        << outcome.err;
}

TEST_F(ProgramWithGraviter, CutCableEndsWithExitCode1AndNoFile) {
    instrument->ArmFault(protocols::graviter::GraviterStep::kPage,
                         protocols::graviter::GraviterFault::kCutConnection);
    const Outcome outcome = Download(home / "out" / "graviter.kml");
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Read GPS track log: E103 COM port read error"), std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

TEST_F(ProgramWithGraviter, IgcOutputIsRefused) {
    const Outcome outcome = Run({"/GPS=GRAVITER", "/COM=" + pty.SlavePath(),
                                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.err.find("Unsupported GPS for IGC track log download"), std::string::npos)
        << outcome.err;
}

// The Magellan family from the command line: the track log saved as IGC and KML, the
// waypoints read and written, and the faults of a download.
class ProgramWithMagellan : public ProgramWithEmulator<protocols::magellan::MagellanEmulator> {
protected:
    fs::path source = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(source, flight), FileReadStatus::kOk);
        igc::IgcParseResult parsed;
        ASSERT_GT(igc::ParseIgc(flight, parsed), 0);
        protocols::magellan::MagellanEmulatorConfig config;
        config.track = parsed.points;
        config.waypoints = protocols::magellan::BuiltInWaypoints();
        Connect(config);
    }
    Outcome Magellan(const std::string& what) { return RunOn("MAGELLAN", what, 5); }
};

// `gpsbabel -t -i igc` rows of a file without the running number (GPS altitudes last).
std::vector<std::string> GpsbabelIgcRows(const fs::path& path) {
    const std::string command = "gpsbabel -t -i igc -f '" + path.string() + "' -o unicsv -F -";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<std::string> rows;
    if (!pipe)
        return rows;
    std::string text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        text.append(buffer, n);
    std::size_t at = text.find('\n');
    while (at != std::string::npos && at + 1 < text.size()) {
        const std::size_t end = text.find('\n', at + 1);
        std::string row = text.substr(at + 1, end == std::string::npos ? end : end - at - 1);
        if (!row.empty() && row.back() == '\r')
            row.pop_back();
        rows.push_back(row.substr(row.find(',') + 1));
        at = end;
    }
    return rows;
}

// The one file a download left in `folder` has the GPS fixes of the held flight, as gpsbabel
// reads both: the saved file has GPS altitudes only; the held flight has a pressure track
// before them.
void ExpectHeldGpsFixes(const fs::path& folder, const fs::path& held) {
    const std::vector<fs::path> files = FilesIn(folder);
    ASSERT_EQ(files.size(), 1u);
    const std::vector<std::string> saved = GpsbabelIgcRows(files[0]);
    const std::vector<std::string> rows = GpsbabelIgcRows(held);
    ASSERT_FALSE(saved.empty());
    ASSERT_GE(rows.size(), saved.size());
    const std::vector<std::string> gps(rows.end() - static_cast<std::ptrdiff_t>(saved.size()),
                                       rows.end());
    EXPECT_EQ(saved, gps);
}

TEST_F(ProgramWithMagellan, TrackLogIsSavedAsIgcWithTheHeldFixes) {
    if (!oracles::OnPath("gpsbabel"))
        GTEST_SKIP() << "gpsbabel is not installed";
    instrument->Start();
    const Outcome outcome = Magellan("/IGC_LOG=" + (home / "out").string() + "/");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    ExpectHeldGpsFixes(home / "out", source);
}

TEST_F(ProgramWithMagellan, TrackLogIsSavedAsKml) {
    instrument->Start();
    const fs::path kml = home / "out" / "magellan.kml";
    const Outcome outcome = Magellan("/KML_LOG=" + kml.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(kml, text), FileReadStatus::kOk);
    EXPECT_NE(text.find("<Document>"), std::string::npos);
    EXPECT_NE(text.find("MERIDIAN GPS, SW 4.03"), std::string::npos);
    EXPECT_NE(outcome.err.find("221 points received"), std::string::npos) << outcome.err;
}

// The command line's type table has no waypoint download for Magellan units (the window's
// menu has one); uploads go.
TEST_F(ProgramWithMagellan, WaypointsAreWrittenButNotRead) {
    instrument->Start();
    Outcome outcome = Magellan("/RD_WPT=" + (home / "out" / "unit.wpt").string());
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.err.find("Unsupported GPS for waypoint download"), std::string::npos)
        << outcome.err;
    EXPECT_TRUE(instrument->Received().empty());

    const fs::path upload = home / "upload.wpt";
    {
        std::ofstream out(upload, std::ios::binary);
        out << "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
               "   1,TAKEOF,  46.500000,   7.250000,0,0, 1, 3, 0, 65535,Takeoff, 0, 0, 0, "
               "3281\r\n";
    }
    outcome = Magellan("/WR_WPT=" + upload.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<std::string> uploads = instrument->Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    // 3281 ft = 1000 m; 46.5 deg = 46 deg 30.000 min.
    EXPECT_TRUE(uploads[0].starts_with("PMGNWPL,4630.000,N,00715.000,E,1000,M,")) << uploads[0];
}

struct MagellanFaultCase {
    const char* name;
    protocols::magellan::MagellanStep step;
    protocols::magellan::MagellanFault fault;
    const char* message;
};

class ProgramMagellanFault : public ProgramWithMagellan,
                             public ::testing::WithParamInterface<MagellanFaultCase> {};

TEST_P(ProgramMagellanFault, EndsWithItsMessageExitCode1AndNoFile) {
    instrument->ArmFault(GetParam().step, GetParam().fault);
    instrument->Start();
    const Outcome outcome = Magellan("/IGC_LOG=" + (home / "out").string() + "/");
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

using MagellanStep = protocols::magellan::MagellanStep;
using MagellanFault = protocols::magellan::MagellanFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, ProgramMagellanFault,
    ::testing::Values(
        MagellanFaultCase{"CutCable", MagellanStep::kTrack, MagellanFault::kCut,
                          "Read GPS track log: E204 COM port read error"},
        MagellanFaultCase{"BadLatitude", MagellanStep::kTrack, MagellanFault::kBadField,
                          "Read GPS track log: E205 Format error 3"},
        MagellanFaultCase{"BadChecksum", MagellanStep::kTrack, MagellanFault::kBadChecksum,
                          "Read GPS track log: E206 Format error 3"},
        MagellanFaultCase{"AnswerStops", MagellanStep::kTrack, MagellanFault::kStop,
                          "Read GPS track log: E207 The instrument stopped answering in the "
                          "middle of a sentence; nothing was kept"}),
    [](const auto& param) { return std::string(param.param.name); });

// The MTK family from the command line: the log saved as IGC and KML, waypoint transfers
// refused by the type table, and the faults of a download.
class ProgramWithMtk : public ProgramWithEmulator<protocols::mtk::MtkEmulator> {
protected:
    fs::path source = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(source, flight), FileReadStatus::kOk);
        igc::IgcParseResult parsed;
        ASSERT_GT(igc::ParseIgc(flight, parsed), 0);
        protocols::mtk::MtkEmulatorConfig config;
        config.track = parsed.points;
        Connect(config);
    }
    Outcome Mtk(const std::string& what) { return RunOn("MTK", what, 5); }
};

TEST_F(ProgramWithMtk, LogIsSavedAsIgcWithTheHeldFixes) {
    if (!oracles::OnPath("gpsbabel"))
        GTEST_SKIP() << "gpsbabel is not installed";
    instrument->Start();
    const Outcome outcome = Mtk("/IGC_LOG=" + (home / "out").string() + "/");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    ExpectHeldGpsFixes(home / "out", source);
}

TEST_F(ProgramWithMtk, LogIsSavedAsKml) {
    instrument->Start();
    const fs::path kml = home / "out" / "mtk.kml";
    const Outcome outcome = Mtk("/KML_LOG=" + kml.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(kml, text), FileReadStatus::kOk);
    EXPECT_NE(text.find("<Document>"), std::string::npos);
    EXPECT_NE(outcome.err.find("221 points received"), std::string::npos) << outcome.err;
}

TEST_F(ProgramWithMtk, WaypointTransfersAreRefused) {
    instrument->Start();
    const Outcome outcome = Mtk("/RD_WPT=" + (home / "out" / "unit.wpt").string());
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.err.find("Unsupported GPS for waypoint download"), std::string::npos)
        << outcome.err;
    EXPECT_TRUE(instrument->Received().empty());
}

struct MtkFaultCase {
    const char* name;
    protocols::mtk::MtkStep step;
    protocols::mtk::MtkFault fault;
    const char* message;
};

class ProgramMtkFault : public ProgramWithMtk,
                        public ::testing::WithParamInterface<MtkFaultCase> {};

TEST_P(ProgramMtkFault, EndsWithItsMessageExitCode1AndNoFile) {
    instrument->ArmFault(GetParam().step, GetParam().fault);
    instrument->Start();
    const Outcome outcome = Mtk("/IGC_LOG=" + (home / "out").string() + "/");
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

using MtkStep = protocols::mtk::MtkStep;
using MtkFault = protocols::mtk::MtkFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, ProgramMtkFault,
    ::testing::Values(MtkFaultCase{"CutCable", MtkStep::kChunk, MtkFault::kCut,
                                   "Read log data: COM port read error"},
                      MtkFaultCase{"ZeroMemory", MtkStep::kMemory, MtkFault::kZero,
                                   "Get memory used: Zero used memory"},
                      MtkFaultCase{"BadHeader", MtkStep::kChunk, MtkFault::kBadHeader,
                                   "Parse log data: Bad header block"},
                      MtkFaultCase{"BadRecord", MtkStep::kChunk, MtkFault::kBadRecord,
                                   "Parse log data: Bad data block (3)"}),
    [](const auto& param) { return std::string(param.param.name); });

// A save that fails never throws the download away without a word: the message names the
// path and the system's reason, and nothing else is written in its place.
struct SaveTargetCase {
    const char* name;
    const char* target;  // under home; a trailing '/' is kept
    int exitCode;
    const char* message;  // a part of stderr after the target's path; empty: none expected
    const char* savedAs;  // the file that must hold the flight, under home; empty: none
};

class ProgramSaveTarget : public ProgramWithInstrument,
                          public ::testing::WithParamInterface<SaveTargetCase> {};

TEST_P(ProgramSaveTarget, SavesOrSaysWhyNot) {
    const SaveTargetCase& c = GetParam();
    fs::create_directories(home / "folder");
    std::ofstream(home / "existing.igc") << "kept\n";
    std::ofstream(home / "blocker") << "a file, not a folder\n";
    instrument->Start();
    const Outcome outcome = Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(),
                                 "/IGC_LOG=" + (home / c.target).string(), "/EXIT"});
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
    if (*c.message != '\0') {
        // The path given (or the file generated in the folder given), then the reason.
        const std::size_t path = outcome.err.find((home / c.target).string());
        ASSERT_NE(path, std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find(c.message, path), std::string::npos) << outcome.err;
    }
    if (*c.savedAs != '\0') {
        std::string saved;
        ASSERT_EQ(ReadWholeFile(home / c.savedAs, saved), FileReadStatus::kOk) << outcome.err;
        EXPECT_EQ(saved, flight);
    }
    std::string existing;
    ASSERT_EQ(ReadWholeFile(home / "existing.igc", existing), FileReadStatus::kOk);
    EXPECT_EQ(existing, "kept\n");
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ProgramSaveTarget,
    ::testing::Values(
        SaveTargetCase{"ExistingFile", "existing.igc", 1, "File already exists, not replaced", ""},
        SaveTargetCase{"FolderWithoutSlash", "folder", 0, "", "folder/2021-03-06-xxx-004-01.igc"},
        SaveTargetCase{"UnderAFile", "blocker/flight.igc", 1, "Not a directory", ""},
        SaveTargetCase{"FolderUnderAFile", "blocker/sub/", 1, "Not a directory", ""}),
    [](const auto& param) { return std::string(param.param.name); });

// The same for a conversion: an existing KML is kept and the message says so.
TEST_F(ProgramTest, ConversionOverAnExistingFileSaysWhy) {
    const fs::path igc = home / "out" / "marcourt.igc";
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", igc);
    std::ofstream(home / "out" / "marcourt.kml") << "kept\n";
    const Outcome outcome = Run({"/IGC2KML=" + igc.string()});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find((home / "out" / "marcourt.kml").string() +
                               ": File already exists, not replaced"),
              std::string::npos)
        << outcome.err;
}

// Paths far beyond 260 characters are the system's to refuse, not the command line's.
TEST_F(ProgramTest, LongPathsAreAccepted) {
    fs::path folder = home / "out";
    while (folder.native().size() < 600) {
        folder /= std::string(60, 'd');
    }
    fs::create_directories(folder);
    const fs::path igc = folder / "marcourt.igc";
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", igc);
    const Outcome outcome = Run({"/IGC2KML=" + igc.string()});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_TRUE(fs::exists(folder / "marcourt.kml")) << outcome.err;
}

// A closed pipe on stderr (`2>&1 | head` that ended) must not kill the program: its writes
// fail and it goes on to the end with its own exit code.
TEST_F(ProgramTest, ClosedStderrPipeDoesNotKillTheProgram) {
    const fs::path igc = home / "out" / "marcourt.igc";
    fs::copy_file(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", igc);
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    ::close(errPipe[0]);  // no reader: every write to stderr meets a closed pipe
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::string program = TRACORA_PROGRAM;
    std::string argument = "/IGC2KML=" + igc.string();
    std::string config = "TRACORA_CONFIG_DIR=" + (home / "config").string();
    std::string runtime = "XDG_RUNTIME_DIR=" + (home / "run").string();
    char* argv[] = {program.data(), argument.data(), nullptr};
    char* env[] = {config.data(), runtime.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, TRACORA_PROGRAM, &actions, nullptr, argv, env);
    posix_spawn_file_actions_destroy(&actions);
    ::close(errPipe[1]);
    ASSERT_EQ(spawned, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_TRUE(fs::exists(home / "out" / "marcourt.kml"));
}

// The Garmin family from the command line, against its emulator over a pseudo-terminal.
class ProgramWithGarmin : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::garmin::GarminEmulator> instrument;
    std::size_t points = 0;

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::garmin::GarminEmulatorConfig config;
        config.flights.emplace_back();
        ASSERT_TRUE(protocols::garmin::FlightFromIgc(flight, config.flights.back()));
        points = config.flights.back().size();
        Waypoint launch;
        launch.SetId("LAUNCH");
        launch.SetDescription("TAKEOFF");
        launch.latitude = 596523236;  // 50 degrees north
        launch.longitude = 59652324;  // 5 degrees east
        launch.altitude = 450;
        config.waypoints = {launch};
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        instrument = std::make_unique<protocols::garmin::GarminEmulator>(*link, config);
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
    Outcome RunGarmin(const std::string& action, bool start = true) {
        if (start)
            instrument->Start();
        return Run({"/GPS=GARMIN", "/COM=" + pty.SlavePath(), "/TIMEOUT=2", action, "/EXIT"});
    }
    std::vector<fs::path> OutputFiles() { return FilesIn(home / "out"); }
};

TEST_F(ProgramWithGarmin, TrackLogIsSavedAsIgc) {
    const Outcome outcome = RunGarmin("/IGC_LOG=" + (home / "out").string() + "/");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    const auto files = OutputFiles();
    ASSERT_EQ(files.size(), 1u) << outcome.err;
    EXPECT_EQ(files[0].extension(), ".igc");
    std::string text;
    ASSERT_EQ(ReadWholeFile(files[0], text), FileReadStatus::kOk);
    std::size_t fixes = 0;
    for (std::size_t at = 0; (at = text.find("\nB", at)) != std::string::npos; ++at)
        ++fixes;
    EXPECT_EQ(fixes, points);
    // The first fix of the flight, as the IGC file the emulator holds has it.
    EXPECT_NE(text.find("B1034115012954N00530990E"), std::string::npos) << text.substr(0, 800);
    EXPECT_NE(outcome.err.find(std::to_string(points) + " track positions read"), std::string::npos)
        << outcome.err;
}

TEST_F(ProgramWithGarmin, TrackLogIsSavedAsKml) {
    const fs::path kml = home / "out" / "garmin.kml";
    const Outcome outcome = RunGarmin("/KML_LOG=" + kml.string());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(kml, text), FileReadStatus::kOk) << outcome.err;
    EXPECT_NE(text.find("<Document>"), std::string::npos);
}

TEST_F(ProgramWithGarmin, WaypointsAreReadAndWritten) {
    const fs::path ozi = home / "out" / "garmin.wpt";
    Outcome outcome = RunGarmin("/RD_WPT=" + ozi.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(ozi, text), FileReadStatus::kOk);
    EXPECT_NE(text.find("LAUNCH"), std::string::npos) << text;
    EXPECT_NE(text.find("50.000000"), std::string::npos) << text;

    // The file goes back up into the unit.
    outcome = RunGarmin("/WR_WPT=" + ozi.string(), false);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const auto stored = instrument->UploadedWaypoints();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].Id(), "LAUNCH");
    EXPECT_NEAR(stored[0].latitude, 596523236, 200);
}

struct GarminFaultCase {
    const char* name;
    protocols::garmin::GarminStep step;
    protocols::garmin::GarminFault fault;
    const char* message;
};

class ProgramGarminFault : public ProgramWithGarmin,
                           public ::testing::WithParamInterface<GarminFaultCase> {};

TEST_P(ProgramGarminFault, EndsWithItsMessageExitCode1AndNoFile) {
    instrument->ArmFault(GetParam().step, GetParam().fault);
    const Outcome outcome = RunGarmin("/KML_LOG=" + (home / "out" / "garmin.kml").string());
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

using GS = protocols::garmin::GarminStep;
using GF = protocols::garmin::GarminFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, ProgramGarminFault,
    ::testing::Values(
        GarminFaultCase{"ProductSilence", GS::kProduct, GF::kSilence,
                        "Get GPS product data: No valid response from GPS"},
        GarminFaultCase{"UnknownProduct", GS::kProduct, GF::kUnknown,
                        "Requesting GPS product data: GPS product ID not supported"},
        GarminFaultCase{"CommandSilence", GS::kCommand, GF::kSilence,
                        "Read GPS track log: E200 Timeout while waiting for data packet"},
        GarminFaultCase{"RecordsChecksum", GS::kRecords, GF::kChecksum,
                        "Read GPS track log: E202 Timeout while waiting for record count packet"},
        GarminFaultCase{"RecordLoneDle", GS::kRecord, GF::kLoneDle,
                        "Read GPS track log: E205 Timeout while waiting for log data packet"},
        GarminFaultCase{"RecordCut", GS::kRecord, GF::kCut,
                        "Read GPS track log: E205 COM port error while waiting for log data "
                        "packet"},
        GarminFaultCase{"CompleteSilence", GS::kComplete, GF::kSilence,
                        "Read GPS track log: E211 Timeout while waiting for transfer complete "
                        "packet"}),
    [](const auto& param) { return std::string(param.param.name); });

// The Garmin family over USB: the fake unit served on a socket, which the program's USB
// transport reaches through the environment, so that the program's whole USB code runs.
class ProgramWithGarminUsb : public ProgramTest {
protected:
    std::unique_ptr<protocols::garmin::GarminUsbUnit> unit;
    device::WakeEvent stop;
    std::thread server;
    std::size_t points = 0;

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::garmin::GarminUsbConfig config;
        config.unit.capabilities = protocols::garmin::FindCapabilityPreset("d110")->entries;
        config.unit.flights.emplace_back();
        ASSERT_TRUE(protocols::garmin::FlightFromIgc(flight, config.unit.flights.back()));
        points = config.unit.flights.back().size();
        unit = std::make_unique<protocols::garmin::GarminUsbUnit>(std::move(config));
    }
    void TearDown() override {
        stop.Set();
        if (server.joinable())
            server.join();
        ProgramTest::TearDown();
    }
    Outcome RunUsb(const std::string& action) {
        const std::string socket = (home / "unit.sock").string();
        server = std::thread([this, socket] { device::ServeUsbDevice(socket, *unit, stop); });
        // The program may connect as soon as the socket exists.
        for (int i = 0; i < 600 && !fs::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return RunProgram({"/GPS=GARMIN", "/USB", "/TIMEOUT=2", action, "/EXIT"}, home, {},
                          {std::string(device::kUsbLinkVariable) + "=" + socket});
    }
};

TEST_F(ProgramWithGarminUsb, TrackLogIsSavedAsIgc) {
    const Outcome outcome = RunUsb("/IGC_LOG=" + (home / "out").string() + "/");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(home / "out"))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u) << outcome.err;
    EXPECT_EQ(files[0].extension(), ".igc");
    std::string text;
    ASSERT_EQ(ReadWholeFile(files[0], text), FileReadStatus::kOk);
    std::size_t fixes = 0;
    for (std::size_t at = 0; (at = text.find("\nB", at)) != std::string::npos; ++at)
        ++fixes;
    EXPECT_EQ(fixes, points);
    // The first fix of the flight, as the IGC file the unit holds has it.
    EXPECT_NE(text.find("B1034115012954N00530990E"), std::string::npos) << text.substr(0, 800);
}

TEST_F(ProgramWithGarminUsb, TrackLogIsSavedAsKml) {
    const fs::path kml = home / "out" / "garmin.kml";
    const Outcome outcome = RunUsb("/KML_LOG=" + kml.string());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(kml, text), FileReadStatus::kOk) << outcome.err;
    EXPECT_NE(text.find("<Document>"), std::string::npos);
    EXPECT_NE(text.find("5.516"), std::string::npos);  // the first fix's longitude, 5 deg 30.990'
}

TEST_F(ProgramWithGarminUsb, FaultsEndWithTheirMessageExitCode1AndNoFile) {
    struct Case {
        GS step;
        GF fault;
        const char* message;
    };
    const Case cases[] = {
        // The interrupt pipe stays silent: read error 1 after the product data.
        {GS::kCapabilities, GF::kMissing, "Read GPS product data: E115 Packet read error"},
        {GS::kProduct, GF::kCut, "Read GPS product data: E105 Packet read error"},
        // The transfers over USB give the serial link's messages.
        {GS::kRecord, GF::kCut,
         "Read GPS track log: E205 COM port error while waiting for log data packet"},
        {GS::kComplete, GF::kSilence,
         "Read GPS track log: E211 Timeout while waiting for transfer complete packet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        stop.Set();
        if (server.joinable())
            server.join();
        stop.Reset();
        SetUp();
        ASSERT_TRUE(unit->ArmFault(c.step, c.fault));
        const Outcome outcome = RunUsb("/KML_LOG=" + (home / "out" / "g.kml").string());
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_TRUE(fs::is_empty(home / "out"));
    }
}

// The pushing Top Navigator and XC Trainer from the command line: each track transfer saved,
// each fault with its message, exit code 1 and no file, and a waypoint upload.
class ProgramWithTopnav : public ProgramWithEmulator<protocols::topnav::TopnavEmulator> {
protected:
    std::size_t points = 0;

    void StartUnit(protocols::topnav::TopnavModel model, protocols::topnav::TopnavMode mode) {
        std::string flight;
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::topnav::TopnavEmulatorConfig config;
        config.model = model;
        config.mode = mode;
        ASSERT_TRUE(protocols::topnav::FlightFromIgc(flight, config.flight));
        points = config.flight.size();
        Connect(config);
    }
};

TEST_F(ProgramWithTopnav, EachTrackTransferIsSaved) {
    using protocols::topnav::TopnavMode;
    using protocols::topnav::TopnavModel;
    struct Case {
        const char* gps;
        TopnavModel model;
        TopnavMode mode;
        const char* keyword;
        const char* file;  // under out/, empty: the IGC name the program makes
    };
    const Case cases[] = {
        {"XCT_MXP", TopnavModel::kXcTrainer, TopnavMode::kMxp, "/KML_LOG=", "mxp.kml"},
        {"XCT_MXP", TopnavModel::kXcTrainer, TopnavMode::kMxp, "/IGC_LOG=", ""},
        {"TOPNAV", TopnavModel::kTopNavigator, TopnavMode::kTncm, "/KML_LOG=", "tn.kml"},
        {"XCTRAINER", TopnavModel::kXcTrainer, TopnavMode::kTncm, "/IGC_LOG=", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.gps) + " " + c.keyword);
        fs::remove_all(home / "out");
        fs::create_directories(home / "out");
        StartUnit(c.model, c.mode);
        instrument->Start();
        const std::string target =
            (home / "out").string() + "/" + (c.file[0] == '\0' ? "" : c.file);
        const Outcome outcome = Run({std::string("/GPS=") + c.gps, "/COM=" + pty.SlavePath(),
                                     "/TIMEOUT=5", c.keyword + target, "/EXIT"});
        instrument->Stop();
        instrument.reset();
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_NE(outcome.err.find(std::to_string(points) + " points received"), std::string::npos)
            << outcome.err;
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(home / "out")) {
            ++files;
            std::string text;
            ASSERT_EQ(ReadWholeFile(entry.path(), text), FileReadStatus::kOk);
            if (c.keyword == std::string("/IGC_LOG=")) {
                EXPECT_EQ(entry.path().extension(), ".igc");
                EXPECT_GT(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
                          points);
            } else {
                EXPECT_NE(text.find("<Document>"), std::string::npos);
            }
        }
        EXPECT_EQ(files, 1u);
    }
}

TEST_F(ProgramWithTopnav, FaultsEndWithExitCode1AndNoFile) {
    using protocols::topnav::TopnavFault;
    using protocols::topnav::TopnavMode;
    using protocols::topnav::TopnavModel;
    using protocols::topnav::TopnavStep;
    struct Case {
        const char* gps;
        TopnavModel model;
        TopnavMode mode;
        TopnavStep step;
        TopnavFault fault;
        const char* message;
    };
    const Case cases[] = {
        {"XCT_MXP", TopnavModel::kXcTrainer, TopnavMode::kMxp, TopnavStep::kLine,
         TopnavFault::kChecksum, "Decode track log sentence: E202 Bad checksum"},
        {"XCT_MXP", TopnavModel::kXcTrainer, TopnavMode::kMxp, TopnavStep::kLine,
         TopnavFault::kShort, "Decode track log sentence: E202 Too short line"},
        {"XCT_MXP", TopnavModel::kXcTrainer, TopnavMode::kMxp, TopnavStep::kLine, TopnavFault::kCut,
         "Read GPS track log: E201 COM port read error"},
        {"TOPNAV", TopnavModel::kTopNavigator, TopnavMode::kTncm, TopnavStep::kEnd,
         TopnavFault::kStop, "Read GPS track log: E204 Transfer stopped before the end of the log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fs::remove_all(home / "out");
        fs::create_directories(home / "out");
        StartUnit(c.model, c.mode);
        instrument->ArmFault(c.step, c.fault);
        instrument->Start();
        const Outcome outcome =
            Run({std::string("/GPS=") + c.gps, "/COM=" + pty.SlavePath(), "/TIMEOUT=5",
                 "/KML_LOG=" + (home / "out" / "t.kml").string(), "/EXIT"});
        instrument->Stop();
        instrument.reset();
        EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_TRUE(fs::is_empty(home / "out"));
    }
}

TEST_F(ProgramWithTopnav, WaypointFileIsUploaded) {
    const fs::path file = home / "upload.wpt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
               "   1,TAKEOF,  46.500000,   7.250000,0,0, 1, 3, 0, 65535,Takeoff Nord, 0, 0, 0, "
               "3281\r\n"
               "   2,LAND  , -33.950000, -70.366667,0,0, 1, 3, 0, 65535,, 0, 0, 0, 328\r\n";
    }
    StartUnit(protocols::topnav::TopnavModel::kXcTrainer, protocols::topnav::TopnavMode::kReceive);
    instrument->Start();
    const Outcome outcome =
        Run({"/GPS=XCTRAINER", "/COM=" + pty.SlavePath(), "/WR_WPT=" + file.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    instrument->Stop();
    const auto received = instrument->Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].Id(), "TAKEOF");
    EXPECT_EQ(received[0].altitude, 1000);
    EXPECT_EQ(received[1].Id(), "LAND");
    // 46.5 degrees is 279000/6000 exactly: it comes back as 46.5 degrees in semicircles.
    EXPECT_EQ(received[0].latitude,
              static_cast<std::int32_t>(std::lround(46.5 / 180.0 * 2147483648.0)));
}

// The Syride is reached through hidapi by its hidraw path: a path with no device behind it
// fails as an instrument that is not plugged in, with exit code 1 and no file.
TEST_F(ProgramTest, SyrideWithoutDeviceEndsWithExitCode1AndNoFile) {
    fs::create_directories(home / "out");
    const Outcome outcome = Run({"/GPS=SYRIDE", "/COM=/dev/hidraw-tracora-missing", "/TIMEOUT=1",
                                 "/KML_LOG=" + (home / "out" / "s.kml").string(), "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Get GPS product data: No valid response from GPS"),
              std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

TEST_F(ProgramTest, GarminUsbUnitMissingAtItsBusAddressEndsWithExitCode1AndNoFile) {
    // No bus has a device at address 255 (addresses end at 127).
    const Outcome outcome = Run({"/GPS=GARMIN", "/USB", "/COM=255:255", "/TIMEOUT=1",
                                 "/KML_LOG=" + (home / "out" / "g.kml").string(), "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Searching for USB device names: No device interface GUID match"),
              std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

// gpsbabel's reading of an IGC file: one "lat,lon,alt,date,time" row a fix; empty when
// gpsbabel is missing.
std::vector<std::string> GpsbabelFixes(const fs::path& path) {
    const std::string command =
        "gpsbabel -t -i igc -f '" + path.string() + "' -o unicsv -F - 2>/dev/null";
    std::vector<std::string> rows;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return rows;
    }
    std::string text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, n);
    }
    pclose(pipe);
    std::size_t start = text.find('\n');  // the header row
    while (start != std::string::npos && start + 1 < text.size()) {
        const std::size_t end = text.find('\n', start + 1);
        std::string row = text.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        // Without the running number of the first column.
        rows.push_back(row.substr(row.find(',') + 1));
        start = end;
    }
    return rows;
}

// The Flymaster family from the command line against its emulator holding real flights.
class ProgramWithFlymaster : public ProgramWithEmulator<protocols::flymaster::FlymasterEmulator> {
protected:
    fs::path held = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(held, flight), FileReadStatus::kOk);
        protocols::flymaster::FlymasterEmulatorConfig config;
        config.flights.emplace_back();
        ASSERT_TRUE(protocols::flymaster::FlightFromIgc(flight, config.flights.back()));
        config.waypoints = protocols::flymaster::BuiltInWaypoints();
        Connect(config);
    }
    Outcome Download(const std::string& output) {
        instrument->Start();
        return RunOn("FLYMASTER", output, 6);
    }
};

// The saved IGC file read back by gpsbabel has the held flight's fixes, one for one.
TEST_F(ProgramWithFlymaster, IgcDownloadHasTheHeldFlightsFixes) {
    const Outcome outcome = Download("/IGC_LOG=" + (home / "out").string() + "/");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<fs::path> saved = FilesIn(home / "out");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].filename(), "2021-03-06-xtr-000-01.igc");
    const std::vector<std::string> expected = GpsbabelFixes(held);
    if (expected.empty()) {
        GTEST_SKIP() << "gpsbabel is not installed";
    }
    // gpsbabel makes two tracks of the 221 fixes, by pressure and by GNSS altitude.
    EXPECT_EQ(expected.size(), 442u);
    EXPECT_EQ(GpsbabelFixes(saved[0]), expected);
}

TEST_F(ProgramWithFlymaster, KmlDownloadAndFlightList) {
    const fs::path kml = home / "out" / "flymaster.kml";
    const Outcome outcome = Download("/KML_LOG=" + kml.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(kml, text), FileReadStatus::kOk);
    EXPECT_NE(text.find("Flymaster F1, V2.5, S/N 4321"), std::string::npos);
    EXPECT_NE(outcome.err.find("221 points received"), std::string::npos) << outcome.err;
}

TEST_F(ProgramWithFlymaster, WaypointsDownAndUp) {
    instrument->Start();
    const fs::path ozi = home / "out" / "fm.wpt";
    Outcome outcome =
        Run({"/GPS=FLYMASTER", "/COM=" + pty.SlavePath(), "/RD_WPT=" + ozi.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("5 waypoints written"), std::string::npos) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(ozi, text), FileReadStatus::kOk);
    EXPECT_NE(text.find("FIESCH        ,  46.409383,   8.126333,"), std::string::npos) << text;
    outcome =
        Run({"/GPS=FLYMASTER", "/COM=" + pty.SlavePath(), "/WR_WPT=" + ozi.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<std::string> names = instrument->UploadedNames();
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[1], "FIESCH Kuehboden");
}

struct FlymasterFaultCase {
    const char* name;
    protocols::flymaster::FlymasterStep step;
    protocols::flymaster::FlymasterFault fault;
    const char* message;
};

class ProgramFlymasterFault : public ProgramWithFlymaster,
                              public ::testing::WithParamInterface<FlymasterFaultCase> {};

TEST_P(ProgramFlymasterFault, EndsWithItsMessageExitCode1AndNoFile) {
    instrument->ArmFault(GetParam().step, GetParam().fault);
    const Outcome outcome = Download("/IGC_LOG=" + (home / "out").string() + "/");
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ProgramFlymasterFault,
    ::testing::Values(
        FlymasterFaultCase{"PacketChecksum", protocols::flymaster::FlymasterStep::kTrack,
                           protocols::flymaster::FlymasterFault::kBadChecksum,
                           "Read GPS track log: E205 Bad checksum in data block"},
        FlymasterFaultCase{"Resend", protocols::flymaster::FlymasterStep::kTrack,
                           protocols::flymaster::FlymasterFault::kResend,
                           "Read GPS track log: E205 Bad checksum in data block"},
        FlymasterFaultCase{"CutCable", protocols::flymaster::FlymasterStep::kTrack,
                           protocols::flymaster::FlymasterFault::kCutConnection,
                           "Read GPS track log: E204 COM port read error"},
        FlymasterFaultCase{"StalledInstrument", protocols::flymaster::FlymasterStep::kTrack,
                           protocols::flymaster::FlymasterFault::kStall,
                           "Read GPS track log: E203 Timeout receiving data"},
        FlymasterFaultCase{"SilentList", protocols::flymaster::FlymasterStep::kFlightList,
                           protocols::flymaster::FlymasterFault::kSilence,
                           "No answer to the flight list request"}),
    [](const auto& param) { return std::string(param.param.name); });

// The IQ Basic family from the command line: the instrument's IGC text saved unchanged.
class ProgramWithIqBasic : public ProgramWithEmulator<protocols::iqbasic::IqEmulator> {
protected:
    std::string flight;

    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::iqbasic::IqEmulatorConfig config;
        config.flights = {flight};
        config.firstNumber = 700;
        config.waypointLines = protocols::iqbasic::BuiltInWaypointLines();
        Connect(config);
        instrument->Start();
    }
};

TEST_F(ProgramWithIqBasic, DownloadSavesTheInstrumentsIgcTextUnchanged) {
    const Outcome outcome = RunOn("IQBASIC", "/IGC_LOG=" + (home / "out").string() + "/", 6);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<fs::path> saved = FilesIn(home / "out");
    ASSERT_EQ(saved.size(), 1u);
    std::string text;
    ASSERT_EQ(ReadWholeFile(saved[0], text), FileReadStatus::kOk);
    EXPECT_EQ(text, flight);
}

TEST_F(ProgramWithIqBasic, WaypointsDownAndUp) {
    const fs::path ozi = home / "out" / "iq.wpt";
    Outcome outcome = RunOn("IQBASIC", "/RD_WPT=" + ozi.string(), 6);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("4 waypoints written"), std::string::npos) << outcome.err;
    outcome = RunOn("IQBASIC", "/WR_WPT=" + ozi.string(), 6);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(instrument->Uploads().size(), 4u);
}

TEST_F(ProgramWithIqBasic, MissingDoneEndsWithExitCode1) {
    instrument->ArmFault(protocols::iqbasic::IqStep::kUpload,
                         protocols::iqbasic::IqFault::kMissingDone);
    const fs::path file = home / "one.wpt";
    std::ofstream(file) << "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\n"
                           "Reserved 3\r\n1,LZ,46.5,7.5,,0,1,3,0,65535,Landing,0,0,0,1640\r\n";
    const Outcome outcome = RunOn("IQBASIC", "/WR_WPT=" + file.string(), 6);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("0 of 1 waypoints ok. First error was"), std::string::npos)
        << outcome.err;
}

// The DSX recorder from the command line: the newest flight's IGC text saved unchanged, and a
// flight without its end line never saved.
class ProgramWithDsx : public ProgramWithEmulator<protocols::dsx::DsxEmulator> {
protected:
    std::string flight;

    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::dsx::DsxEmulatorConfig config;
        config.flights = {flight};
        Connect(config);
        instrument->Start();
    }
};

TEST_F(ProgramWithDsx, DownloadSavesTheRecordersIgcTextUnchanged) {
    const Outcome outcome = RunOn("DSX", "/IGC_LOG=" + (home / "out").string() + "/", 6);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<fs::path> saved = FilesIn(home / "out");
    ASSERT_EQ(saved.size(), 1u);
    std::string text;
    ASSERT_EQ(ReadWholeFile(saved[0], text), FileReadStatus::kOk);
    EXPECT_EQ(text, flight);
}

TEST_F(ProgramWithDsx, FlightWithoutItsEndLineIsNotSaved) {
    instrument->ArmFault(protocols::dsx::DsxStep::kFlight, protocols::dsx::DsxFault::kStopHalfway);
    const Outcome outcome = RunOn("DSX", "/IGC_LOG=" + (home / "out").string() + "/", 6);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Read GPS track log: E208 Incomplete transfer"), std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

// The MLR family from the command line against its emulator holding a real flight.
class ProgramWithMlr : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::mlr::MlrEmulator> instrument;
    fs::path held = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(held, flight), FileReadStatus::kOk);
        protocols::mlr::MlrEmulatorConfig config;
        ASSERT_TRUE(protocols::mlr::FlightFromIgc(flight, config.points));
        config.waypoints = protocols::mlr::BuiltInWaypoints();
        ASSERT_EQ(pty.Open(), 0);
        config.slaveFd = pty.SlaveFd();
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        instrument = std::make_unique<protocols::mlr::MlrEmulator>(*link, config);
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
    Outcome Download(const std::string& output) {
        instrument->Start();
        return Run({"/GPS=MLR", "/COM=" + pty.SlavePath(), "/TIMEOUT=6", output, "/EXIT"});
    }
};

// igc-parser's fixes of an IGC file without the pressure altitude (the receivers log none):
// index, time, latitude, longitude, GPS altitude. Empty when node or igc-parser is missing.
std::vector<std::string> IgcParserGpsFixes(const fs::path& path) {
    const fs::path script =
        fs::path(TRACORA_FIXTURES_DIR) / ".." / ".." / "tools" / "oracles" / "igc_fixes.mjs";
    const std::string command =
        "node '" + script.string() + "' '" + path.string() + "' 2>/dev/null | cut -f1-4,6";
    std::vector<std::string> rows;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return rows;
    }
    std::string text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, n);
    }
    pclose(pipe);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        rows.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return rows;
}

TEST_F(ProgramWithMlr, IgcDownloadHasTheHeldFlightsFixes) {
    const Outcome outcome = Download("/IGC_LOG=" + (home / "out").string() + "/");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::vector<fs::path> saved;
    for (const auto& entry : fs::directory_iterator(home / "out")) {
        saved.push_back(entry.path());
    }
    ASSERT_EQ(saved.size(), 1u);
    const std::vector<std::string> expected = IgcParserGpsFixes(held);
    if (expected.empty()) {
        GTEST_SKIP() << "node or igc-parser is not installed";
    }
    EXPECT_EQ(expected.size(), 221u);
    EXPECT_EQ(IgcParserGpsFixes(saved[0]), expected);
    // The instrument saw the switch to 38,400 for the frames and 4,800 again at the end.
    const std::vector<std::string> events = instrument->Events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[2], "track frames at 38400");
    EXPECT_EQ(events[3], "end at 4800");
}

TEST_F(ProgramWithMlr, KmlDownload) {
    const fs::path kml = home / "out" / "mlr.kml";
    const Outcome outcome = Download("/KML_LOG=" + kml.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_TRUE(fs::exists(kml));
    EXPECT_NE(outcome.err.find("221 points received"), std::string::npos) << outcome.err;
}

TEST_F(ProgramWithMlr, WaypointStreamDownAndUploadReadByGpsbabel) {
    instrument->SetStreamWaypoints(true);
    instrument->Start();
    const fs::path ozi = home / "out" / "mlr.wpt";
    Outcome outcome =
        Run({"/GPS=MLR", "/COM=" + pty.SlavePath(), "/RD_WPT=" + ozi.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("5 waypoints written"), std::string::npos) << outcome.err;
    std::string text;
    ASSERT_EQ(ReadWholeFile(ozi, text), FileReadStatus::kOk);
    EXPECT_NE(text.find("FIESCH"), std::string::npos) << text;
    outcome = Run({"/GPS=MLR", "/COM=" + pty.SlavePath(), "/WR_WPT=" + ozi.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<std::string> uploads = instrument->Uploads();
    ASSERT_EQ(uploads.size(), 5u);
    // The captured sentences as gpsbabel reads them.
    const fs::path nmea = home / "upload.nmea";
    {
        std::ofstream out(nmea);
        for (const std::string& sentence : uploads) {
            out << sentence << "\r\n";
        }
    }
    const std::string command =
        "gpsbabel -w -i nmea -f '" + nmea.string() + "' -o unicsv -F - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string csv;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        csv.append(buffer, n);
    }
    pclose(pipe);
    if (csv.empty()) {
        GTEST_SKIP() << "gpsbabel is not installed";
    }
    // The built-in waypoints' positions to a thousandth of a minute.
    for (const char* position : {"46.409383,8.126333", "46.694167,7.857167", "46.678000,7.873000",
                                 "-33.952000,-70.365000", "31.500000,35.450000"}) {
        EXPECT_NE(csv.find(position), std::string::npos) << position << "\n" << csv;
    }
}

struct MlrFaultCase {
    const char* name;
    protocols::mlr::MlrStep step;
    protocols::mlr::MlrFault fault;
    const char* message;
};

class ProgramMlrFault : public ProgramWithMlr,
                        public ::testing::WithParamInterface<MlrFaultCase> {};

TEST_P(ProgramMlrFault, EndsWithItsMessageExitCode1AndNoFile) {
    instrument->ArmFault(GetParam().step, GetParam().fault);
    const Outcome outcome = Download("/IGC_LOG=" + (home / "out").string() + "/");
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find(GetParam().message), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ProgramMlrFault,
    ::testing::Values(MlrFaultCase{"FrameSum", protocols::mlr::MlrStep::kTrack,
                                   protocols::mlr::MlrFault::kBadChecksum,
                                   "Read GPS track log: E208 Format error 2"},
                      MlrFaultCase{"SentenceNumber", protocols::mlr::MlrStep::kTrack,
                                   protocols::mlr::MlrFault::kSequence,
                                   "Read GPS track log: E204 Bad sentence sequence"},
                      MlrFaultCase{"CutCable", protocols::mlr::MlrStep::kTrack,
                                   protocols::mlr::MlrFault::kCutConnection,
                                   "Read GPS track log: E202 COM port read error"},
                      MlrFaultCase{"StalledInstrument", protocols::mlr::MlrStep::kTrack,
                                   protocols::mlr::MlrFault::kStall,
                                   "Read GPS track log: E210 Track log data timeout"}),
    [](const auto& param) { return std::string(param.param.name); });

// The LogIt family from the command line (57,600 baud) against its emulator.
class ProgramWithLogIt : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::logit::LogItEmulator> instrument;
    fs::path held = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(held, flight), FileReadStatus::kOk);
        protocols::logit::LogItEmulatorConfig config;
        ASSERT_TRUE(protocols::logit::FlightFromIgc(flight, config.points));
        ASSERT_EQ(pty.Open(), 0);
        config.slaveFd = pty.SlaveFd();
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        instrument = std::make_unique<protocols::logit::LogItEmulator>(*link, config);
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
};

TEST_F(ProgramWithLogIt, IgcDownloadHasTheHeldFlightsFixes) {
    instrument->Start();
    const Outcome outcome = Run({"/GPS=LOGIT", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::vector<fs::path> saved;
    for (const auto& entry : fs::directory_iterator(home / "out")) {
        saved.push_back(entry.path());
    }
    ASSERT_EQ(saved.size(), 1u);
    const std::vector<std::string> expected = IgcParserGpsFixes(held);
    if (expected.empty()) {
        GTEST_SKIP() << "node or igc-parser is not installed";
    }
    EXPECT_EQ(IgcParserGpsFixes(saved[0]), expected);
    const std::vector<std::string> events = instrument->Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "track blocks at 57600"), events.end());
}

TEST_F(ProgramWithLogIt, BrokenBlockEndsWithItsMessageExitCode1AndNoFile) {
    instrument->ArmFault(protocols::logit::LogItStep::kTrack,
                         protocols::logit::LogItFault::kBadChecksum);
    instrument->Start();
    const Outcome outcome = Run({"/GPS=LOGIT", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Read LogIt track log: E204 Format error 9"), std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

// The Ascent family from the command line at 128,000 baud against its emulator.
TEST_F(ProgramTest, AscentDownloadHasTheHeldFlightsFixesAndFaultsEndWithExitCode1) {
    const fs::path held = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";
    for (const bool fault : {false, true}) {
        SCOPED_TRACE(fault);
        fs::remove_all(home / "out");
        fs::create_directories(home / "out");
        std::string flight;
        ASSERT_EQ(ReadWholeFile(held, flight), FileReadStatus::kOk);
        protocols::ascent::AscentEmulatorConfig config;
        config.flights.emplace_back();
        ASSERT_TRUE(protocols::ascent::FlightFromIgc(flight, config.flights.back()));
        config.flights.emplace_back(config.flights.back());
        for (TrackPoint& p : config.flights.back()) {
            p.time += 86'400;
        }
        device::PseudoTerminal pty;
        ASSERT_EQ(pty.Open(), 0);
        config.slaveFd = pty.SlaveFd();
        device::EmulatorLink link(pty.TakeMaster());
        protocols::ascent::AscentEmulator instrument(link, config);
        if (fault) {
            instrument.ArmFault(protocols::ascent::AscentStep::kTrackLog,
                                protocols::ascent::AscentFault::kBlockNumber, 2);
        }
        instrument.Start();
        // The older flight is slot 1 of the list, newest first.
        const Outcome outcome =
            Run({"/GPS=ASCENT", "/COM=" + pty.SlavePath(), "/TIMEOUT=6", "/TRACK=1",
                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
        instrument.Stop();
        if (fault) {
            EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
            EXPECT_NE(outcome.err.find("Read GPS track log: Data error (bad block number)"),
                      std::string::npos)
                << outcome.err;
            EXPECT_TRUE(fs::is_empty(home / "out"));
            continue;
        }
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        std::vector<fs::path> saved;
        for (const auto& entry : fs::directory_iterator(home / "out")) {
            saved.push_back(entry.path());
        }
        ASSERT_EQ(saved.size(), 1u);
        const std::vector<std::string> expected = IgcParserGpsFixes(held);
        if (expected.empty()) {
            GTEST_SKIP() << "node or igc-parser is not installed";
        }
        EXPECT_EQ(IgcParserGpsFixes(saved[0]), expected);
        EXPECT_EQ(instrument.Events().front(), "product request at 128000");
    }
}

// The Digifly Air from the command line: two flights in its track memory (the first one crossing
// the end of the last page), the older one chosen, its fixes saved as they were held; a corrupt
// end address in the flight list ends the run with exit code 1 and no file.
class ProgramWithDigifly : public ProgramWithEmulator<protocols::digifly::DigiflyEmulator> {
protected:
    fs::path held = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(held, flight), FileReadStatus::kOk);
        protocols::digifly::DigiflyEmulatorConfig config;
        config.flights.emplace_back();
        ASSERT_TRUE(emulate::FlightFromIgc(flight, config.flights.back()));
        config.flights.emplace_back(config.flights.back());
        for (TrackPoint& p : config.flights.back()) {
            p.time += 86'400;
        }
        config.listOrder = {0, 1};
        Connect(config);
        instrument->Start();
    }
};

TEST_F(ProgramWithDigifly, IgcDownloadHasTheHeldFlightsFixes) {
    // The older flight is slot 1 of the list, newest first.
    const Outcome outcome = Run({"/GPS=DIGIFLYAIR", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                                 "/TRACK=1", "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<fs::path> saved = FilesIn(home / "out");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(instrument->Events().front(), "product request at 115200");
    const std::vector<std::string> expected = IgcParserGpsFixes(held);
    if (expected.empty()) {
        GTEST_SKIP() << "node or igc-parser is not installed";
    }
    EXPECT_EQ(expected.size(), 221u);
    // Positions travel as floats in radians, a fifth of the IGC file's thousandth of a minute:
    // the saved fixes are the held ones.
    EXPECT_EQ(IgcParserGpsFixes(saved[0]), expected);
}

TEST_F(ProgramWithDigifly, CorruptEndAddressEndsWithExitCode1AndNoFile) {
    instrument->ArmFault(protocols::digifly::DigiflyStep::kFlightList,
                         protocols::digifly::DigiflyFault::kCorruptEnd);
    const Outcome outcome = RunOn("DIGIFLYAIR", "/IGC_LOG=" + (home / "out").string() + "/", 6);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Read GPS track log: Error 22 reading track log"), std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}
}  // namespace
}  // namespace tracora
