#include "core/debug_trace.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tracora {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A scratch directory of its own for each test.
class DebugTraceFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("tracora_debug_trace_") + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
};

TEST(DebugTraceTest, TextAndBytesAreAppended) {
    DebugTrace trace;
    EXPECT_TRUE(trace.Empty());
    trace.Text("ATZ\r");
    trace.Byte(0x06);
    trace.Byte(0xFF);
    EXPECT_EQ(trace.Contents(), std::string("ATZ\r\x06\xFF", 6));
    EXPECT_EQ(trace.Size(), 6u);
    EXPECT_FALSE(trace.Empty());
}

TEST(DebugTraceTest, StopsSilentlyAtCapacity) {
    DebugTrace trace;
    trace.Text(std::string(DebugTrace::kCapacity - 2, 'a'));
    trace.Text("xyz");  // only "xy" fits
    trace.Byte('!');
    trace.Text("more");
    EXPECT_EQ(trace.Size(), DebugTrace::kCapacity);
    const std::string contents = trace.Contents();
    EXPECT_EQ(contents.substr(contents.size() - 3), "axy");
}

struct HexCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string text;
};

TEST(DebugTraceTest, HexDumpLayout) {
    std::vector<std::uint8_t> sixteen(16);
    std::vector<std::uint8_t> seventeen(17);
    for (std::size_t i = 0; i < seventeen.size(); ++i) {
        seventeen[i] = static_cast<std::uint8_t>(i);
        if (i < 16) {
            sixteen[i] = static_cast<std::uint8_t>(0xF0 + i);
        }
    }
    const HexCase cases[] = {
        {"empty", {}, ""},
        {"partial line", {0x00, 0x0A, 0xFF}, " 00 0A FF\r\n"},
        {"one full line", sixteen, " F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\r\n"},
        {"a line and one", seventeen,
         " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n 10\r\n"},
    };
    for (const auto& c : cases) {
        DebugTrace trace;
        trace.Hex(c.bytes);
        EXPECT_EQ(trace.Contents(), c.text) << c.name;
    }
}

TEST(DebugTraceTest, HexDumpStopsBeforePassing99997Bytes) {
    struct Case {
        std::size_t filled;
        std::size_t size;  // after a dump of ten bytes
        const char* tail;
    };
    const Case cases[] = {
        {99990, 99996, " 01 02"},  // two entries fit, the third would pass 99,997
        {99994, 99997, " 01"},
        {99995, 99995, "a"},
        {DebugTrace::kCapacity, DebugTrace::kCapacity, "a"},
    };
    const std::array<std::uint8_t, 10> bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (const auto& c : cases) {
        DebugTrace trace;
        trace.Text(std::string(c.filled, 'a'));
        trace.Hex(bytes);
        EXPECT_EQ(trace.Size(), c.size) << c.filled;
        const std::string contents = trace.Contents();
        const std::string tail(c.tail);
        EXPECT_EQ(contents.substr(contents.size() - tail.size()), tail) << c.filled;
    }
    // A full line's line end still fits after the last entry.
    DebugTrace trace;
    trace.Text(std::string(99949, 'a'));
    trace.Hex(std::vector<std::uint8_t>(16, 0xAB));
    EXPECT_EQ(trace.Size(), 99999u);
    EXPECT_EQ(trace.Contents().substr(99988), " AB AB AB\r\n");
}

TEST(DebugTraceTest, ClearEmptiesTheBuffer) {
    DebugTrace trace;
    trace.Text(std::string(DebugTrace::kCapacity, 'a'));
    trace.Clear();
    EXPECT_TRUE(trace.Empty());
    trace.Text("again");
    EXPECT_EQ(trace.Contents(), "again");
}

TEST(DebugTraceTest, WritersOnSeveralThreadsKeepTheirTexts) {
    DebugTrace trace;
    constexpr int kThreads = 4;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&trace, t] {
            const std::string line = "thread " + std::to_string(t) + "\r\n";
            for (int i = 0; i < kLines; ++i) {
                trace.Text(line);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const std::string contents = trace.Contents();
    EXPECT_EQ(contents.size(), static_cast<std::size_t>(kThreads * kLines) * 10);
    // Each text arrives whole: the buffer is a sequence of complete lines.
    for (std::size_t pos = 0; pos < contents.size(); pos += 10) {
        ASSERT_EQ(contents.compare(pos, 7, "thread "), 0) << pos;
        ASSERT_EQ(contents.compare(pos + 8, 2, "\r\n"), 0) << pos;
    }
}

TEST_F(DebugTraceFileTest, SaveWritesTheBytesAsTheyAre) {
    DebugTrace trace;
    trace.Text("> ");
    trace.Hex(std::vector<std::uint8_t>{0x02, 0x1A});
    trace.Byte(0x00);
    const std::filesystem::path path = dir_ / "trace.log";
    ASSERT_EQ(trace.SaveTo(path), 0);
    EXPECT_EQ(ReadFile(path), std::string("> \x20"
                                          "02 1A\r\n\0",
                                          11));
    // Saving again replaces the earlier file.
    trace.Clear();
    trace.Text("second");
    ASSERT_EQ(trace.SaveTo(path), 0);
    EXPECT_EQ(ReadFile(path), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(DebugTraceFileTest, EmptyBufferIsNotSaved) {
    DebugTrace trace;
    const std::filesystem::path path = dir_ / "trace.log";
    EXPECT_EQ(trace.SaveTo(path), -1);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DebugTraceFileTest, WriteErrorsAreReported) {
    DebugTrace trace;
    trace.Text("data");
    EXPECT_EQ(trace.SaveTo(dir_ / "missing" / "trace.log"), -2);
    // A directory in the way: nothing is replaced and no scrap file is left behind.
    const std::filesystem::path blocked = dir_ / "blocked.log";
    std::filesystem::create_directory(blocked);
    std::ofstream(blocked / "inside.txt") << "keep";
    EXPECT_EQ(trace.SaveTo(blocked), -2);
    EXPECT_EQ(ReadFile(blocked / "inside.txt"), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "blocked.log.part"));
}

}  // namespace
}  // namespace tracora
