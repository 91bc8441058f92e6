// SerialPort over a real pseudo-terminal pair, with the emulator link on the master side.

#include "device/serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <future>
#include <numeric>

#include "device/pty_fixture.hpp"
#include "device/wake_event.hpp"

namespace tracora::device {
namespace {

using test_support::Bytes;
using test_support::CookLine;
using test_support::kLongWaitMs;
using test_support::kPromptMs;
using test_support::PtyLinkTest;
using test_support::ReadFromPort;
using test_support::Stopwatch;

std::vector<std::uint8_t> EveryByteValue() {
    std::vector<std::uint8_t> bytes(256);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

class SerialRateTest : public PtyLinkTest, public ::testing::WithParamInterface<int> {};

// Every byte value crosses unchanged in both directions (no CR/NL translation, no echo, no
// stripping of the eighth bit), and the driver holds the rate asked for, standard or not.
TEST_P(SerialRateTest, EveryByteCrossesBothWaysAndTheRateReadsBack) {
    const int baud = GetParam();
    ASSERT_NO_FATAL_FAILURE(CookLine(port.Fd()));
    ASSERT_EQ(port.Configure(baud, false), 0) << std::strerror(port.LastErrno());
    EXPECT_EQ(port.Baud(), baud);

    const std::vector<std::uint8_t> all = EveryByteValue();
    ASSERT_EQ(port.Write(all, kPromptMs, nullptr), 256);
    std::vector<std::uint8_t> atEmulator(all.size());
    ASSERT_EQ(link->ReadExact(atEmulator, kPromptMs), 256);
    EXPECT_EQ(atEmulator, all);

    ASSERT_EQ(link->Write(all, kPromptMs), 256);
    EXPECT_EQ(ReadFromPort(port, all.size(), kPromptMs), all);

    // Nothing came back to the emulator: the line does not echo.
    std::uint8_t extra = 0;
    EXPECT_EQ(link->ReadByte(extra, 200), 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, SerialRateTest,
                         ::testing::Values(1200, 4800, 9600, 19200, 38400, 57600, 115200, 128000,
                                           230400, 250000));

class SerialFlowControlTest : public PtyLinkTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SerialFlowControlTest, LineIsRaw8N1WithXonXoffOnlyWhenAsked) {
    const bool xonXoff = GetParam();
    ASSERT_NO_FATAL_FAILURE(CookLine(port.Fd()));
    ASSERT_EQ(port.Configure(57600, xonXoff), 0);

    termios settings{};
    ASSERT_EQ(::tcgetattr(port.Fd(), &settings), 0);
    EXPECT_EQ((settings.c_iflag & IXON) != 0, xonXoff);
    EXPECT_EQ((settings.c_iflag & IXOFF) != 0, xonXoff);
    if (xonXoff) {
        EXPECT_EQ(settings.c_cc[VSTART], 0x11);
        EXPECT_EQ(settings.c_cc[VSTOP], 0x13);
    }
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | IXANY), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_cc[VMIN], 0);
    EXPECT_EQ(settings.c_cc[VTIME], 0);

    // With flow control the instrument's XOFF is a command to the driver, without it a byte.
    ASSERT_EQ(link->Write(Bytes("\x13M"), kPromptMs), 2);
    const std::vector<std::uint8_t> expected = xonXoff ? Bytes("M") : Bytes("\x13M");
    EXPECT_EQ(ReadFromPort(port, expected.size(), kPromptMs), expected);
    std::vector<std::uint8_t> more(8);
    EXPECT_EQ(port.Read(more, 200, nullptr), 0);
}

INSTANTIATE_TEST_SUITE_P(FlowControl, SerialFlowControlTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "XonXoff" : "None";
                         });

TEST_F(PtyLinkTest, XoffHoldsWritesUntilXonAndAnAbortEndsTheWait) {
    ASSERT_EQ(port.Configure(57600, true), 0);
    // The marker after XOFF shows the driver has taken the XOFF in.
    ASSERT_EQ(link->Write(Bytes("\x13M"), kPromptMs), 2);
    ASSERT_EQ(ReadFromPort(port, 1, kPromptMs), Bytes("M"));

    Stopwatch clock;
    EXPECT_EQ(port.Write("A", 300, nullptr), kIoTimedOut);
    EXPECT_GE(clock.ElapsedMs(), 300);

    WakeEvent wake;
    std::promise<void> writing;
    auto blocked = std::async(std::launch::async, [&] {
        writing.set_value();
        return port.Write("A", kLongWaitMs, &wake);
    });
    writing.get_future().wait();
    Stopwatch abortClock;
    wake.Set();
    ASSERT_EQ(blocked.wait_for(std::chrono::milliseconds(kPromptMs)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), kIoAborted);
    EXPECT_LT(abortClock.ElapsedMs(), kPromptMs);

    ASSERT_EQ(link->Write(Bytes("\x11"), kPromptMs), 1);
    EXPECT_EQ(port.Write("B", kPromptMs, nullptr), 1);
    std::uint8_t byte = 0;
    ASSERT_EQ(link->ReadByte(byte, kPromptMs), 1);
    EXPECT_EQ(byte, 'B') << "a write that timed out or was aborted must not have sent anything";
}

TEST_F(PtyLinkTest, QuietLineReadReturnsZeroAfterTheTimeout) {
    ASSERT_EQ(port.Configure(9600, false), 0);
    WakeEvent wake;
    std::vector<std::uint8_t> buffer(16);
    Stopwatch clock;
    EXPECT_EQ(port.Read(buffer, 300, &wake), 0);
    EXPECT_GE(clock.ElapsedMs(), 300);
}

TEST_F(PtyLinkTest, WakeEventEndsALongReadPromptly) {
    ASSERT_EQ(port.Configure(9600, false), 0);
    WakeEvent wake;
    std::promise<void> reading;
    auto blocked = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> buffer(16);
        reading.set_value();
        return port.Read(buffer, kLongWaitMs, &wake);
    });
    reading.get_future().wait();
    Stopwatch clock;
    wake.Set();
    ASSERT_EQ(blocked.wait_for(std::chrono::milliseconds(kPromptMs)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), kIoAborted);
    EXPECT_LT(clock.ElapsedMs(), kPromptMs);
}

TEST_F(PtyLinkTest, AbortWinsOverWaitingData) {
    ASSERT_EQ(port.Configure(9600, false), 0);
    ASSERT_EQ(link->Write(Bytes("data"), kPromptMs), 4);
    pollfd readable{port.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, kPromptMs), 1);

    WakeEvent wake;
    wake.Set();
    std::vector<std::uint8_t> buffer(16);
    EXPECT_EQ(port.Read(buffer, kLongWaitMs, &wake), kIoAborted);
    EXPECT_EQ(port.Write("x", kLongWaitMs, &wake), kIoAborted);
    wake.Reset();
    EXPECT_EQ(ReadFromPort(port, 4, kPromptMs), Bytes("data"));
}

struct LinkLossCase {
    const char* name;
    bool dropWhileReading;
};

class SerialLinkLossTest : public PtyLinkTest,
                           public ::testing::WithParamInterface<LinkLossCase> {};

// A closed master (a cut cable) must come back as a lost link, not as a quiet line that
// makes the protocol wait for its time limit again and again.
TEST_P(SerialLinkLossTest, ClosedMasterGivesLinkLost) {
    ASSERT_EQ(port.Configure(38400, false), 0);
    if (!GetParam().dropWhileReading) {
        link->DropLink();
    }
    std::promise<void> reading;
    auto blocked = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> buffer(16);
        reading.set_value();
        return port.Read(buffer, kLongWaitMs, nullptr);
    });
    reading.get_future().wait();
    if (GetParam().dropWhileReading) {
        link->DropLink();
    }
    ASSERT_EQ(blocked.wait_for(std::chrono::milliseconds(kPromptMs)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), kIoLinkLost);

    std::vector<std::uint8_t> buffer(16);
    EXPECT_EQ(port.Read(buffer, 200, nullptr), kIoLinkLost);
    EXPECT_EQ(port.Write("x", 200, nullptr), kIoLinkLost);
}

INSTANTIATE_TEST_SUITE_P(Moments, SerialLinkLossTest,
                         ::testing::Values(LinkLossCase{"WhileReading", true},
                                           LinkLossCase{"BeforeReading", false}),
                         [](const ::testing::TestParamInfo<LinkLossCase>& param) {
                             return param.param.name;
                         });

TEST_F(PtyLinkTest, SecondOpenIsRefusedAndTheFirstHolderKeepsWorking) {
    int exclusive = 0;
    ASSERT_EQ(::ioctl(port.Fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);

    // Refused for root too: the advisory lock holds where TIOCEXCL is bypassed.
    SerialPort second;
    EXPECT_EQ(second.Open(pty.SlavePath()), kIoBusy);
    EXPECT_FALSE(second.IsOpen());

    if (::geteuid() != 0) {
        // A program that does not take the lock is kept out by TIOCEXCL.
        const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const int error = errno;
        EXPECT_LT(fd, 0);
        EXPECT_EQ(error, EBUSY);
        if (fd >= 0) {
            ::close(fd);
        }
    }

    ASSERT_EQ(port.Configure(9600, false), 0);
    ASSERT_EQ(port.Write("ok", kPromptMs, nullptr), 2);
    std::vector<std::uint8_t> received(2);
    ASSERT_EQ(link->ReadExact(received, kPromptMs), 2);
    EXPECT_EQ(received, Bytes("ok"));
}

// A pseudo-terminal's slave keeps TIOCEXCL after its last close while the master lives, so a
// session that closes and reopens its port (between connection attempts) would lock itself
// out unless closing clears it.
TEST_F(PtyLinkTest, ClosingOrDestroyingGivesThePortBack) {
    const std::vector<std::pair<const char*, std::function<void(SerialPort&)>>> ways = {
        {"Close()", [](SerialPort& p) { p.Close(); }},
        {"destructor", [](SerialPort& p) { SerialPort gone(std::move(p)); }},
    };
    for (const auto& [name, release] : ways) {
        SCOPED_TRACE(name);
        if (!port.IsOpen()) {
            ASSERT_EQ(port.Open(pty.SlavePath()), 0);
        }
        release(port);
        EXPECT_FALSE(port.IsOpen());
        int exclusive = 1;
        ASSERT_EQ(::ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        SerialPort again;
        EXPECT_EQ(again.Open(pty.SlavePath()), 0);
    }
}

TEST_F(PtyLinkTest, PurgeDropsWhatWasNotRead) {
    ASSERT_EQ(port.Configure(19200, false), 0);
    ASSERT_EQ(link->Write(Bytes("stale"), kPromptMs), 5);
    pollfd readable{port.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, kPromptMs), 1);

    EXPECT_EQ(port.Purge(), 0);
    std::vector<std::uint8_t> buffer(16);
    EXPECT_EQ(port.Read(buffer, 200, nullptr), 0);

    ASSERT_EQ(link->Write(Bytes("fresh"), kPromptMs), 5);
    EXPECT_EQ(ReadFromPort(port, 5, kPromptMs), Bytes("fresh"));
}

TEST_F(PtyLinkTest, MovedPortKeepsTheLine) {
    ASSERT_EQ(port.Configure(4800, false), 0);
    SerialPort moved(std::move(port));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_EQ(moved.Path(), pty.SlavePath());
    EXPECT_EQ(port.Write("x", 200, nullptr), kIoNotOpen);
    ASSERT_EQ(moved.Write("mv", kPromptMs, nullptr), 2);
    std::vector<std::uint8_t> received(2);
    ASSERT_EQ(link->ReadExact(received, kPromptMs), 2);
    EXPECT_EQ(received, Bytes("mv"));

    SerialPort assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_EQ(assigned.Baud(), 4800);
}

TEST_F(PtyLinkTest, UnusableArgumentsAreRefused) {
    EXPECT_EQ(port.Configure(0, false), kIoBadArgument);
    EXPECT_EQ(port.Configure(-9600, false), kIoBadArgument);
    std::vector<std::uint8_t> empty;
    EXPECT_EQ(port.Read(empty, 200, nullptr), kIoBadArgument);
}

TEST(SerialPortTest, OpenFailuresAreTold) {
    struct Case {
        const char* path;
        int expected;
    };
    const Case cases[] = {
        {"/nonexistent-folder/ttyUSB99", kIoNotFound},
        {"", kIoNotFound},
        {"/dev/null", kIoError},  // not a terminal
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        SerialPort port;
        EXPECT_EQ(port.Open(c.path), c.expected);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_NE(port.LastErrno(), 0);
    }
}

TEST(SerialPortTest, ClosedPortRefusesEveryCall) {
    SerialPort port;
    std::vector<std::uint8_t> buffer(4);
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"Configure", [&] { return port.Configure(9600, false); }},
        {"Purge", [&] { return port.Purge(); }},
        {"Write", [&] { return port.Write("x", 100, nullptr); }},
        {"Read", [&] { return port.Read(buffer, 100, nullptr); }},
        {"Baud", [&] { return port.Baud(); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        EXPECT_EQ(call(), kIoNotOpen);
    }
}

}  // namespace
}  // namespace tracora::device
