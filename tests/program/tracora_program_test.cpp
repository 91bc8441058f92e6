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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/pseudo_terminal.hpp"
#include "notify/notify.hpp"
#include "protocols/dsx/dsx_emulator.hpp"
#include "protocols/flymaster/flymaster_emulator.hpp"
#include "protocols/flytec/flytec_emulator.hpp"
#include "protocols/graviter/graviter_emulator.hpp"
#include "protocols/iqbasic/iqbasic_emulator.hpp"

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
                   const OutputWatcher& watch = {}) {
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
        {{(home / "flight.gpx").string()}, "Reading .gpx files is not available yet"},
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

// The real program against an emulated Flytec instrument over a pseudo-terminal.
class ProgramWithInstrument : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::flytec::FlytecEmulator> instrument;
    std::string flight;

    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        protocols::flytec::FlytecEmulatorConfig config;
        config.flights = {flight};
        config.waypoints = protocols::flytec::BuiltInWaypoints();
        instrument = std::make_unique<protocols::flytec::FlytecEmulator>(*link, config);
    }
    void TearDown() override {
        if (instrument) {
            instrument->Stop();
        }
        ProgramTest::TearDown();
    }
    Outcome Download() {
        instrument->Start();
        return Run({"/GPS=IQCOMPEO", "/COM=" + pty.SlavePath(),
                    "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    }
};

TEST_F(ProgramWithInstrument, DownloadSavesTheInstrumentsIgcTextUnchanged) {
    const Outcome outcome = Download();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    std::string saved;
    ASSERT_EQ(ReadWholeFile(home / "out" / "2021-03-06-xxx-004-01.igc", saved), FileReadStatus::kOk)
        << outcome.err;
    EXPECT_EQ(saved, flight);
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
    EXPECT_NE(outcome.out.find("): Connection gracefully closed\n"), std::string::npos)
        << outcome.out;
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
class ProgramWithGraviter : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::graviter::GraviterEmulator> instrument;
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
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        instrument = std::make_unique<protocols::graviter::GraviterEmulator>(*link, config);
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
    Outcome Download(const fs::path& kml) {
        instrument->Start();
        return Run({"/GPS=GRAVITER", "/COM=" + pty.SlavePath(), "/TIMEOUT=5",
                    "/KML_LOG=" + kml.string(), "/EXIT"});
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
class ProgramWithFlymaster : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::flymaster::FlymasterEmulator> instrument;
    fs::path held = fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc";

    void SetUp() override {
        ProgramTest::SetUp();
        std::string flight;
        ASSERT_EQ(ReadWholeFile(held, flight), FileReadStatus::kOk);
        protocols::flymaster::FlymasterEmulatorConfig config;
        config.flights.emplace_back();
        ASSERT_TRUE(protocols::flymaster::FlightFromIgc(flight, config.flights.back()));
        config.waypoints = protocols::flymaster::BuiltInWaypoints();
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        instrument = std::make_unique<protocols::flymaster::FlymasterEmulator>(*link, config);
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
    Outcome Download(const std::string& output) {
        instrument->Start();
        return Run({"/GPS=FLYMASTER", "/COM=" + pty.SlavePath(), "/TIMEOUT=6", output, "/EXIT"});
    }
};

// The saved IGC file read back by gpsbabel has the held flight's fixes, one for one.
TEST_F(ProgramWithFlymaster, IgcDownloadHasTheHeldFlightsFixes) {
    const Outcome outcome = Download("/IGC_LOG=" + (home / "out").string() + "/");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::vector<fs::path> saved;
    for (const auto& entry : fs::directory_iterator(home / "out")) {
        saved.push_back(entry.path());
    }
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
class ProgramWithIqBasic : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::iqbasic::IqEmulator> instrument;
    std::string flight;

    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::iqbasic::IqEmulatorConfig config;
        config.flights = {flight};
        config.firstNumber = 700;
        config.waypointLines = protocols::iqbasic::BuiltInWaypointLines();
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        instrument = std::make_unique<protocols::iqbasic::IqEmulator>(*link, config);
        instrument->Start();
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
};

TEST_F(ProgramWithIqBasic, DownloadSavesTheInstrumentsIgcTextUnchanged) {
    const Outcome outcome = Run({"/GPS=IQBASIC", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::vector<fs::path> saved;
    for (const auto& entry : fs::directory_iterator(home / "out")) {
        saved.push_back(entry.path());
    }
    ASSERT_EQ(saved.size(), 1u);
    std::string text;
    ASSERT_EQ(ReadWholeFile(saved[0], text), FileReadStatus::kOk);
    EXPECT_EQ(text, flight);
}

TEST_F(ProgramWithIqBasic, WaypointsDownAndUp) {
    const fs::path ozi = home / "out" / "iq.wpt";
    Outcome outcome = Run({"/GPS=IQBASIC", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                           "/RD_WPT=" + ozi.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("4 waypoints written"), std::string::npos) << outcome.err;
    outcome = Run({"/GPS=IQBASIC", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                   "/WR_WPT=" + ozi.string(), "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(instrument->Uploads().size(), 4u);
}

TEST_F(ProgramWithIqBasic, MissingDoneEndsWithExitCode1) {
    instrument->ArmFault(protocols::iqbasic::IqStep::kUpload,
                         protocols::iqbasic::IqFault::kMissingDone);
    const fs::path file = home / "one.wpt";
    std::ofstream(file) << "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\n"
                           "Reserved 3\r\n1,LZ,46.5,7.5,,0,1,3,0,65535,Landing,0,0,0,1640\r\n";
    const Outcome outcome = Run({"/GPS=IQBASIC", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                                 "/WR_WPT=" + file.string(), "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("0 of 1 waypoints ok. First error was"), std::string::npos)
        << outcome.err;
}

// The DSX recorder from the command line: the newest flight's IGC text saved unchanged, and a
// flight without its end line never saved.
class ProgramWithDsx : public ProgramTest {
protected:
    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<protocols::dsx::DsxEmulator> instrument;
    std::string flight;

    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_EQ(ReadWholeFile(fs::path(TRACORA_FIXTURES_DIR) / "igc" / "marcourt.igc", flight),
                  FileReadStatus::kOk);
        protocols::dsx::DsxEmulatorConfig config;
        config.flights = {flight};
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        instrument = std::make_unique<protocols::dsx::DsxEmulator>(*link, config);
        instrument->Start();
    }
    void TearDown() override {
        if (instrument)
            instrument->Stop();
        ProgramTest::TearDown();
    }
};

TEST_F(ProgramWithDsx, DownloadSavesTheRecordersIgcTextUnchanged) {
    const Outcome outcome = Run({"/GPS=DSX", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::vector<fs::path> saved;
    for (const auto& entry : fs::directory_iterator(home / "out")) {
        saved.push_back(entry.path());
    }
    ASSERT_EQ(saved.size(), 1u);
    std::string text;
    ASSERT_EQ(ReadWholeFile(saved[0], text), FileReadStatus::kOk);
    EXPECT_EQ(text, flight);
}

TEST_F(ProgramWithDsx, FlightWithoutItsEndLineIsNotSaved) {
    instrument->ArmFault(protocols::dsx::DsxStep::kFlight, protocols::dsx::DsxFault::kStopHalfway);
    const Outcome outcome = Run({"/GPS=DSX", "/COM=" + pty.SlavePath(), "/TIMEOUT=6",
                                 "/IGC_LOG=" + (home / "out").string() + "/", "/EXIT"});
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("Read GPS track log: E208 Incomplete transfer"), std::string::npos)
        << outcome.err;
    EXPECT_TRUE(fs::is_empty(home / "out"));
}

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

}  // namespace
}  // namespace tracora
