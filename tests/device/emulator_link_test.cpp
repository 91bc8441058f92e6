// The emulator's end of the cable: reads with time-outs, and the faults it can inject, seen
// from a session port on the other side of the pseudo-terminal.

#include "device/emulator_link.hpp"

#include <functional>
#include <future>
#include <thread>

#include "device/pty_fixture.hpp"

namespace tracora::device {
namespace {

using test_support::Bytes;
using test_support::kLongWaitMs;
using test_support::kPromptMs;
using test_support::PtyLinkTest;
using test_support::ReadFromPort;
using test_support::Stopwatch;

class EmulatorLinkTest : public PtyLinkTest {
protected:
    void SetUp() override {
        PtyLinkTest::SetUp();
        ASSERT_EQ(port.Configure(115200, false), 0);
    }
};

struct FaultCase {
    const char* name;
    std::function<void(EmulatorLink&)> arm;
    std::string atSession;  // what the session receives for the reply "HELLO\r\n"
};

TEST_F(EmulatorLinkTest, FaultsShapeTheNextReplyOnly) {
    using namespace std::string_literals;
    const FaultCase cases[] = {
        {"no fault", [](EmulatorLink&) {}, "HELLO\r\n"},
        {"garbage before the reply",
         [](EmulatorLink& l) { l.InjectGarbageBeforeNextReply("\x00\xFF#"s); },
         "\x00\xFF#HELLO\r\n"s},
        {"garbage armed twice adds up",
         [](EmulatorLink& l) {
             l.InjectGarbageBeforeNextReply("ab");
             l.InjectGarbageBeforeNextReply("c");
         },
         "abcHELLO\r\n"},
        {"corrupted second byte", [](EmulatorLink& l) { l.CorruptNextReply(1, 0x01); },
         "HDLLO\r\n"},
        {"offset past the end hits the last byte",
         [](EmulatorLink& l) { l.CorruptNextReply(99, 0x20); }, "HELLO\r*"},
        {"zero mask still corrupts", [](EmulatorLink& l) { l.CorruptNextReply(0, 0); },
         "IELLO\r\n"},
        {"garbage and corruption together",
         [](EmulatorLink& l) {
             l.InjectGarbageBeforeNextReply("~");
             l.CorruptNextReply(0, 0x01);
         },
         "~IELLO\r\n"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.arm(*link);
        ASSERT_EQ(link->Write("HELLO\r\n", kPromptMs), 7) << "the count is the reply's own size";
        EXPECT_EQ(ReadFromPort(port, c.atSession.size(), kPromptMs), Bytes(c.atSession));
        ASSERT_EQ(link->Write("NEXT\n", kPromptMs), 5);
        EXPECT_EQ(ReadFromPort(port, 5, kPromptMs), Bytes("NEXT\n"));
    }
}

TEST_F(EmulatorLinkTest, SilentLinkSwallowsRepliesAndKeepsArmedFaults) {
    link->SetSilent(true);
    link->InjectGarbageBeforeNextReply("#");
    EXPECT_EQ(link->Write("PING\n", kPromptMs), 5);
    std::vector<std::uint8_t> buffer(16);
    EXPECT_EQ(port.Read(buffer, 300, nullptr), 0);

    // The silent instrument still hears the session.
    ASSERT_EQ(port.Write("ASK\n", kPromptMs, nullptr), 4);
    std::string line;
    ASSERT_EQ(link->ReadLine(line, kPromptMs), 4);
    EXPECT_EQ(line, "ASK");

    link->SetSilent(false);
    ASSERT_EQ(link->Write("PONG\n", kPromptMs), 5);
    EXPECT_EQ(ReadFromPort(port, 6, kPromptMs), Bytes("#PONG\n"));
}

TEST_F(EmulatorLinkTest, ReadsKeepIncompleteInputForTheNextCall) {
    ASSERT_EQ(port.Write("PART", kPromptMs, nullptr), 4);
    std::string line = "unchanged";
    Stopwatch clock;
    EXPECT_EQ(link->ReadLine(line, 300), 0);
    EXPECT_GE(clock.ElapsedMs(), 300);
    EXPECT_EQ(line, "unchanged");

    ASSERT_EQ(port.Write("IAL\r\n\nSECOND\nABCDEFxyz", kPromptMs, nullptr), 22);
    struct Expected {
        int count;
        std::string line;
    };
    const Expected lines[] = {{9, "PARTIAL"}, {1, ""}, {7, "SECOND"}};
    for (const Expected& e : lines) {
        ASSERT_EQ(link->ReadLine(line, kPromptMs), e.count);
        EXPECT_EQ(line, e.line);
    }
    // Over-long lines come in pieces of the limit.
    ASSERT_EQ(link->ReadLine(line, kPromptMs, 4), 4);
    EXPECT_EQ(line, "ABCD");

    std::vector<std::uint8_t> block(6);
    EXPECT_EQ(link->ReadExact(block, 300), 0) << "five bytes are not a block of six";
    std::uint8_t byte = 0;
    ASSERT_EQ(link->ReadByte(byte, kPromptMs), 1);
    EXPECT_EQ(byte, 'E');
    ASSERT_EQ(port.Write("!", kPromptMs, nullptr), 1);
    std::vector<std::uint8_t> rest(5);
    ASSERT_EQ(link->ReadExact(rest, kPromptMs), 5);
    EXPECT_EQ(rest, Bytes("Fxyz!"));
}

TEST_F(EmulatorLinkTest, StopEndsABlockedReadAndRefusesFurtherIo) {
    std::promise<void> reading;
    auto blocked = std::async(std::launch::async, [&] {
        std::string line;
        reading.set_value();
        return link->ReadLine(line, kLongWaitMs);
    });
    reading.get_future().wait();
    Stopwatch clock;
    link->Stop();
    ASSERT_EQ(blocked.wait_for(std::chrono::milliseconds(kPromptMs)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), kIoAborted);
    EXPECT_LT(clock.ElapsedMs(), kPromptMs);
    EXPECT_TRUE(link->IsStopped());
    EXPECT_EQ(link->Write("late\n", kPromptMs), kIoAborted);
    link->SetSilent(true);
    EXPECT_EQ(link->Write("late\n", kPromptMs), kIoAborted) << "a silent link is still stopped";

    // Stopping is not a cut cable: the session's line is still up.
    std::vector<std::uint8_t> buffer(4);
    EXPECT_EQ(port.Read(buffer, 200, nullptr), 0);
}

TEST_F(EmulatorLinkTest, DroppedLinkEndsWaitsOnBothSides) {
    std::promise<void> emulatorReading;
    auto emulator = std::async(std::launch::async, [&] {
        std::uint8_t byte = 0;
        emulatorReading.set_value();
        return link->ReadByte(byte, kLongWaitMs);
    });
    std::promise<void> sessionReading;
    auto session = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> buffer(8);
        sessionReading.set_value();
        return port.Read(buffer, kLongWaitMs, nullptr);
    });
    emulatorReading.get_future().wait();
    sessionReading.get_future().wait();

    link->DropLink();
    EXPECT_TRUE(link->IsDropped());
    ASSERT_EQ(emulator.wait_for(std::chrono::milliseconds(kPromptMs)), std::future_status::ready);
    ASSERT_EQ(session.wait_for(std::chrono::milliseconds(kPromptMs)), std::future_status::ready);
    EXPECT_EQ(emulator.get(), kIoLinkLost);
    EXPECT_EQ(session.get(), kIoLinkLost);
    EXPECT_EQ(link->Write("x", kPromptMs), kIoLinkLost);
    link->DropLink();  // twice is harmless
}

// The usual shape of an emulator: a thread answering lines until it is stopped.
TEST_F(EmulatorLinkTest, EchoEmulatorThreadAnswersAndEndsOnStop) {
    std::thread emulator([this] {
        std::string line;
        while (link->ReadLine(line, kLongWaitMs) >= 0) {
            if (!line.empty()) {
                link->Write("re:" + line + "\r\n", kPromptMs);
            }
        }
    });
    for (const std::string command : {"one", "two", "three"}) {
        ASSERT_EQ(port.Write(command + "\r\n", kPromptMs, nullptr),
                  static_cast<int>(command.size() + 2));
        const std::string expected = "re:" + command + "\r\n";
        EXPECT_EQ(ReadFromPort(port, expected.size(), kPromptMs), Bytes(expected));
    }
    Stopwatch clock;
    link->Stop();
    emulator.join();
    EXPECT_LT(clock.ElapsedMs(), kPromptMs);
}

TEST(EmulatorLinkStandaloneTest, InvalidMasterIsNotValid) {
    EmulatorLink link{UniqueFd()};
    EXPECT_FALSE(link.Valid());
    std::uint8_t byte = 0;
    EXPECT_EQ(link.ReadByte(byte, 100), kIoNotOpen);
    EXPECT_EQ(link.Write("x", 100), kIoNotOpen);
}

}  // namespace
}  // namespace tracora::device
