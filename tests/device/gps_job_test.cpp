#include "device/gps_job.hpp"

#include <gtest/gtest.h>
#include <termios.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/io_status.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/pty_fixture.hpp"
#include "device/recording_sink.hpp"
#include "device/serial_port.hpp"

namespace tracora::device {
namespace {

using test_support::kPromptMs;
using test_support::Stopwatch;

using test_support::RecordingSink;

// Test routines, chosen through the dispatch table.
int OpenAndGreet(GpsAccessJob& job) {
    // Line settings as a protocol at 57,600 baud with XON/XOFF asks for them.
    if (job.OpenComPort(57600, true) != 0)
        return -1;
    if (job.WriteText("HELLO\r\n") != 0)
        return -1;
    if (job.parameter == 115200) {
        // Change speed once the instrument has answered (a purge drops what it has not read).
        std::uint8_t answer[8];
        if (job.ReadBytes(answer, 60'000) <= 0)
            return -1;
        if (job.SetComBaud(115200) != 0)
            return -1;
        job.WriteText("FAST\r\n");
    }
    return 0;
}

int OpenAndReadUntilCut(GpsAccessJob& job) {
    if (job.OpenComPort(9600, false) != 0)
        return -1;
    if (job.WriteText("OPEN\r\n") != 0)
        return -1;
    std::uint8_t buffer[16];
    for (;;) {
        const int got = job.ReadBytes(buffer, 60'000);
        if (got < 0)
            return got;
    }
}

int WaitForAbort(GpsAccessJob& job) {
    while (job.Pause(60'000)) {
    }
    job.Status("Transfer aborted");
    return -1;
}

int RunsOutOfMemory(GpsAccessJob&) {
    throw std::bad_alloc();
}

int Throws(GpsAccessJob&) {
    throw std::runtime_error("decoder state lost");
}

constexpr auto kReadTrack = AccessFunction::kReadTrackLog;
constexpr auto kReadWaypoints = AccessFunction::kReadWaypoints;
constexpr auto kReadProduct = AccessFunction::kReadProductData;

DispatchTable MakeTable() {
    DispatchTable table{};
    auto cell = [&table](AccessFunction f, GpsProtocol p) -> JobRoutine& {
        return table[static_cast<std::size_t>(f)][static_cast<std::size_t>(ProtocolNumber(p))];
    };
    cell(kReadTrack, GpsProtocol::kFlytec) = OpenAndGreet;
    cell(kReadTrack, GpsProtocol::kMlr) = OpenAndReadUntilCut;
    cell(kReadWaypoints, GpsProtocol::kFlytec) = WaitForAbort;
    cell(kReadTrack, GpsProtocol::kGraviter) = RunsOutOfMemory;
    cell(kReadWaypoints, GpsProtocol::kGraviter) = RunsOutOfMemory;
    cell(kReadTrack, GpsProtocol::kDsx) = Throws;
    return table;
}

class JobLayerTest : public ::testing::Test {
protected:
    DispatchTable table = MakeTable();
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    JobLayer layer{table, trace, sink, busy};
    std::atomic<int> completedResult{999};

    JobStart Start(AccessFunction function, GpsProtocol protocol, int parameter = 0) {
        JobStart start;
        start.function = function;
        start.protocol = protocol;
        start.parameter = parameter;
        start.completion = [this](GpsAccessJob& job) { completedResult = job.result; };
        return start;
    }
};

TEST_F(JobLayerTest, RoutineThatThrowsFailsTheJobWithAMessage) {
    struct Case {
        AccessFunction function;
        GpsProtocol protocol;
        const char* message;
    };
    const Case cases[] = {
        {kReadTrack, GpsProtocol::kGraviter, "E201 Track log memory allocation"},
        {kReadWaypoints, GpsProtocol::kGraviter, "E300 Waypoint memory allocation"},
        {kReadTrack, GpsProtocol::kDsx, "Unexpected error: decoder state lost"},
    };
    for (const Case& c : cases) {
        completedResult = 999;
        ASSERT_EQ(layer.StartGpsJob(Start(c.function, c.protocol)), 0);
        layer.Join();
        ASSERT_FALSE(sink.Errors().empty());
        EXPECT_EQ(sink.Errors().back().text, c.message);
        EXPECT_EQ(sink.Errors().back().title, "GPS access");
        // The completion routine still ran with the failure, and the layer is free again.
        EXPECT_EQ(completedResult, -1);
        EXPECT_FALSE(busy);
        EXPECT_FALSE(layer.Running());
    }
}

// A port that does not open says why after the specified text. Retrying goes on only where it
// can help: a port in use may be released, a device may be plugged in; a folder, a regular file
// or a device that is no terminal fails at the first attempt.
TEST_F(JobLayerTest, PortThatDoesNotOpenSaysWhyAndRetriesOnlyWhereThatHelps) {
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / "tracora-open-failures";
    std::filesystem::create_directories(dir);
    const std::string regular = (dir / "flight.igc").string();
    ASSERT_EQ(ReplaceFileAtomically(regular, "AXXX\r\n"), 0);
    PseudoTerminal pty;
    ASSERT_EQ(pty.Open(), 0);
    SerialPort holder;  // another program holding the port
    ASSERT_EQ(holder.Open(pty.SlavePath()), 0);

    struct Case {
        std::string path;
        bool retried;
        std::string reason;
    };
    const Case cases[] = {
        {"/nonexistent/ttyTRACORA", true, "No such file or directory"},
        {pty.SlavePath(), true, "in use by another program"},
        {regular, false, "not a serial port (not a terminal device)"},
        {"/dev/null", false, "not a serial port (not a terminal device)"},
        {dir.string(), false, "a folder, not a serial port"},
        {"COM0", false, "not a port name (COM and a number, or a device path)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        RecordingSink caseSink;
        layer.SetPortName(c.path);
        layer.SetOpenAttempts(2);
        auto start = Start(kReadTrack, GpsProtocol::kFlytec);
        start.sink = &caseSink;
        completedResult = 999;
        ASSERT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        const std::vector<std::string> countdown = {"Connecting to GPS (2)",
                                                    "Connecting to GPS (1)"};
        EXPECT_EQ(caseSink.Statuses(), c.retried ? countdown : std::vector<std::string>{});
        ASSERT_EQ(caseSink.Errors().size(), 1u);
        EXPECT_EQ(
            caseSink.Errors()[0].text,
            "Could not open serial port (sure it's the right one ?)\n" + c.path + ": " + c.reason);
        EXPECT_EQ(caseSink.Errors()[0].title, "Connecting to GPS on " + c.path);
        EXPECT_EQ(completedResult, -1);
        EXPECT_FALSE(busy);
        EXPECT_FALSE(layer.Running());
    }
}

TEST_F(JobLayerTest, AbortDuringTheOpenPausesEndsTheJobPromptly) {
    layer.SetPortName("/nonexistent/ttyTRACORA");
    ASSERT_EQ(layer.StartGpsJob(Start(kReadTrack, GpsProtocol::kFlytec)), 0);
    ASSERT_TRUE(sink.WaitForStatus("Connecting to GPS (30)", kPromptMs));
    Stopwatch watch;
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    // The open pauses last a second each; the abort must not wait out 29 more of them.
    EXPECT_LT(watch.ElapsedMs(), kPromptMs);
    const auto statuses = sink.Statuses();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Aborting transfer"), statuses.end());
    EXPECT_EQ(statuses.back(), "Transfer aborted");
    EXPECT_EQ(completedResult, -1);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_FALSE(busy);
}

TEST_F(JobLayerTest, SecondJobIsRefusedAndTheFirstRunsOn) {
    ASSERT_EQ(layer.StartGpsJob(Start(kReadWaypoints, GpsProtocol::kFlytec)), 0);
    EXPECT_EQ(layer.StartGpsJob(Start(kReadTrack, GpsProtocol::kFlytec)), -1);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "Port/USB is being used");
    EXPECT_TRUE(layer.Running());
    EXPECT_TRUE(busy);
    EXPECT_EQ(completedResult, 999);
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    EXPECT_EQ(completedResult, -1);
    EXPECT_FALSE(busy);
}

TEST_F(JobLayerTest, StartChecksTheAccessFunctionAndProtocol) {
    struct Case {
        int function;
        int protocol;
        const char* message;
    } cases[] = {{10, 4, "Bad access type"},
                 {-1, 4, "Bad access type"},
                 {1, 21, "Bad protocol type"},
                 {static_cast<int>(kReadProduct), 4, "Unsupported access function"}};
    for (const Case& c : cases) {
        JobStart start;
        start.function = static_cast<AccessFunction>(c.function);
        start.protocol = static_cast<GpsProtocol>(c.protocol);
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), -1) << c.message;
        ASSERT_FALSE(sink.Errors().empty());
        EXPECT_EQ(sink.Errors().back().text, c.message);
        EXPECT_EQ(sink.Errors().back().title, "GPS access");
        EXPECT_FALSE(layer.Running());
        EXPECT_FALSE(busy);
    }
}

TEST_F(JobLayerTest, AbortWithoutAJob) {
    EXPECT_EQ(layer.AbortGpsJob(), -1);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "Port not in use");
    EXPECT_EQ(sink.Errors()[0].title, "Abort GPS access");
}

TEST_F(JobLayerTest, TheInstrumentSeesTheLineSettingsTheProtocolAskedFor) {
    PseudoTerminal pty;
    ASSERT_EQ(pty.Open(), 0);
    EmulatorLink link(pty.TakeMaster());
    layer.SetPortName(pty.SlavePath());
    ASSERT_EQ(layer.StartGpsJob(Start(kReadTrack, GpsProtocol::kFlytec, 115200)), 0);

    std::string line;
    ASSERT_GT(link.ReadLine(line, kPromptMs), 0);
    EXPECT_EQ(line, "HELLO");
    // The settings as the other end of the cable sees them while the greeting arrives.
    termios seen{};
    ASSERT_EQ(::tcgetattr(pty.SlaveFd(), &seen), 0);
    EXPECT_EQ(::cfgetospeed(&seen), static_cast<speed_t>(B57600));
    EXPECT_NE(seen.c_iflag & IXON, 0u);
    EXPECT_NE(seen.c_iflag & IXOFF, 0u);
    EXPECT_EQ(seen.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(seen.c_cflag & (PARENB | CSTOPB), 0u);
    ASSERT_GT(link.Write(std::string_view("OK\r\n"), kPromptMs), 0);

    ASSERT_GT(link.ReadLine(line, kPromptMs), 0);
    EXPECT_EQ(line, "FAST");
    layer.Join();
    ASSERT_EQ(::tcgetattr(pty.SlaveFd(), &seen), 0);
    EXPECT_EQ(::cfgetospeed(&seen), static_cast<speed_t>(B115200));
    EXPECT_EQ(completedResult, 0);
    // What was sent is in the debug trace.
    EXPECT_NE(trace.Contents().find("HELLO\r\n"), std::string::npos);
}

TEST_F(JobLayerTest, CutCableEndsTheReadWithLinkLost) {
    PseudoTerminal pty;
    ASSERT_EQ(pty.Open(), 0);
    EmulatorLink link(pty.TakeMaster());
    layer.SetPortName(pty.SlavePath());
    ASSERT_EQ(layer.StartGpsJob(Start(kReadTrack, GpsProtocol::kMlr)), 0);
    std::string line;
    ASSERT_GT(link.ReadLine(line, kPromptMs), 0);  // the session is reading now
    EXPECT_EQ(line, "OPEN");
    Stopwatch watch;
    pty.Close();
    link.DropLink();
    layer.Join();
    EXPECT_EQ(completedResult, kIoLinkLost);
    EXPECT_LT(watch.ElapsedMs(), kPromptMs);
}

TEST_F(JobLayerTest, ExitAbortsAndJoinsARunningJob) {
    ASSERT_EQ(layer.StartGpsJob(Start(kReadWaypoints, GpsProtocol::kFlytec)), 0);
    Stopwatch watch;
    layer.WaitForJobEnd();
    EXPECT_LT(watch.ElapsedMs(), kPromptMs);
    EXPECT_FALSE(layer.Running());
    EXPECT_FALSE(busy);
    EXPECT_EQ(completedResult, -1);
}

TEST_F(JobLayerTest, ComNamesResolveThroughThePortTable) {
    PseudoTerminal pty;
    ASSERT_EQ(pty.Open(), 0);
    EmulatorLink link(pty.TakeMaster());
    layer.SetPortTable({{7, pty.SlavePath()}});
    layer.SetPortName("COM7");
    ASSERT_EQ(layer.StartGpsJob(Start(kReadTrack, GpsProtocol::kFlytec)), 0);
    std::string line;
    ASSERT_GT(link.ReadLine(line, kPromptMs), 0);
    EXPECT_EQ(line, "HELLO");
    layer.Join();
    EXPECT_EQ(completedResult, 0);
}

}  // namespace
}  // namespace tracora::device
