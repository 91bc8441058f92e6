// The Ascent logger: the product reply, the block numbering and the log data on hand-built
// bytes (expected times and positions worked out by hand), then the real session routines at
// 128,000 baud against the emulator over a pseudo-terminal: two flights joined oldest first and
// compared fix by fix with independent readers of the held flights, the faults with their
// messages, the flight list, and the erase with its cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "protocols/ascent/ascent_emulator.hpp"
#include "protocols/ascent/ascent_frames.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/session_harness.hpp"

namespace tracora::protocols {
namespace {

using ascent::AscentEmulator;
using ascent::AscentEmulatorConfig;
using ascent::AscentFault;
using ascent::AscentStep;
using device::AccessFunction;
using device::test_support::RecordingSink;

TEST(AscentProduct, ReplyAndItsTexts) {
    const std::vector<std::uint8_t> reply{2, 0x12, 0x34, 0xAB, 0xCD, 0, 3, 0x04, 0x01,
                                          0, 0,    7,    0,    0,    0, 0, 0,    0};
    ascent::AscentProduct product;
    ASSERT_TRUE(ascent::DecodeProduct(reply, product));
    EXPECT_EQ(ascent::ProductText(product), "Ascent: 1234ABCD");
    EXPECT_EQ(ascent::DeviceLine(product), "Ascent, SNR 1234ABCD, SW 1.25, HW 3");
    EXPECT_EQ(product.usedSectors, 7);
    EXPECT_FALSE(ascent::DecodeProduct(std::span(reply).first(17), product));
    std::vector<std::uint8_t> other = reply;
    other[0] = 3;
    EXPECT_FALSE(ascent::DecodeProduct(other, product));
}

TEST(AscentBlocks, NumberingRules) {
    using V = ascent::BlockSequence::Verdict;
    ascent::BlockSequence a;
    EXPECT_EQ(a.Next(2), V::kSkip);
    EXPECT_EQ(a.Next(0), V::kSkip);
    EXPECT_EQ(a.Next(1), V::kAccept);
    EXPECT_EQ(a.Next(2), V::kAccept);
    EXPECT_EQ(a.Next(4), V::kBad);
    ascent::BlockSequence b;
    EXPECT_EQ(b.Next(1), V::kAccept);
    EXPECT_EQ(b.Next(0), V::kLast);
}

TEST(AscentLog, RecordsBecomePoints) {
    // Header of flight 7, a location before any time (not stored), the time 2024-06-15
    // 10:20:30, a southern-western location (0xF9), a second time record (read over), a
    // northern-eastern one (0xFA).
    const std::vector<std::uint8_t> data{
        0xFE, 0x00, 0x07, 0,    0,    0,    0,    0,    0,                       // header
        0xFA, 0x12, 0x16, 0x13, 0x88, 0x02, 0xCB, 0x09, 0xC4, 0,    5,    0, 0,  // before the time
        0xFE, 10,   20,   30,   15,   6,    24,                                  // time
        0xF9, 0x12, 0x16, 0x13, 0x88, 0x02, 0xCB, 0x09, 0xC4, 0xFF, 0xF6, 0, 0,  // S, W, -10 m
        0xFE, 11,   0,    0,    15,   6,    24,                                  // read over
        0xFA, 0x12, 0x16, 0x13, 0x88, 0x02, 0xCB, 0x09, 0xC4, 0x01, 0x00, 0, 0,  // N, E, 256 m
    };
    std::vector<TrackPoint> points;
    ASSERT_EQ(ascent::DecodeFlightLog(data, 7, points), "");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].time, 1087381230u);
    EXPECT_EQ(points[1].time, 1087381231u);
    EXPECT_EQ(points[0].flags, 1u);
    EXPECT_EQ(points[1].flags, 0u);
    EXPECT_EQ(points[0].gpsAltitude, -100);
    EXPECT_EQ(points[1].gpsAltitude, 2560);
    // 4630 and 5000: 46 degrees 30.5 minutes; 715 and 2500: 7 degrees 15.25 minutes.
    EXPECT_NEAR(SemicirclesToDegrees(points[0].latitude), -46.5083333, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(points[0].longitude), -7.2541667, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(points[1].latitude), 46.5083333, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(points[1].longitude), 7.2541667, 1e-7);

    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* error;
    };
    const Case cases[] = {
        {{0xFE, 0, 7, 0}, "Incomplete Log data flash header"},
        {{0xFD, 0, 7, 0, 0, 0, 0, 0, 0}, "Bad Log data flash header type"},
        {{0xFE, 0, 8, 0, 0, 0, 0, 0, 0}, "Bad flight number in Log data flash header"},
        {{0xFE, 0, 7, 0, 0, 0, 0, 0, 0, 0xFE, 1, 2}, "Truncated time record"},
        {{0xFE, 0, 7, 0, 0, 0, 0, 0, 0, 0xF7}, "Bad Log data record type"},
        {{0xFE, 0, 7, 0, 0, 0, 0, 0, 0, 0xF8, 1, 2}, "Truncated location record"},
    };
    for (const Case& c : cases) {
        std::vector<TrackPoint> none;
        EXPECT_EQ(ascent::DecodeFlightLog(c.bytes, 7, none), c.error);
    }
}

TEST(AscentLog, LoggerAngles) {
    // 46 degrees 30.5 minutes: 4630 and 5000 ten-thousandths.
    EXPECT_NEAR(SemicirclesToDegrees(ascent::LoggerAngle(4630, 5000, false)), 46.5083333, 1e-7);
    // 7 degrees 15.25 minutes west.
    EXPECT_NEAR(SemicirclesToDegrees(ascent::LoggerAngle(715, 2500, true)), -7.2541667, 1e-7);
}

class AscentSessionTest : public harness::EmulatorSessionTest<AscentEmulator> {
protected:
    AscentEmulator& StartEmulator(AscentEmulatorConfig config = {}) {
        for (const char* file : {"marcourt.igc", "20241007TZN.igc"}) {
            std::vector<TrackPoint> points;
            EXPECT_TRUE(ascent::FlightFromIgc(harness::ReadIgc(file), points));
            config.flights.push_back(points);
        }
        return EmulatorSessionTest::StartEmulator(std::move(config));
    }

    int Run(AccessFunction function, std::initializer_list<int> slots = {0, 1}) {
        return EmulatorSessionTest::Run(Job(function, GpsProtocol::kAscent, slots)).result;
    }

    void ExpectHeldFixes(const std::string& file, std::size_t offset) {
        harness::ExpectOracleFixes(file, track.points, offset);
    }

    DownloadedTrackLog& track = outcome.track;
    device::FlightList& flights = outcome.flights;
};

TEST_F(AscentSessionTest, TwoFlightsAt128000BaudJoinedOldestFirst) {
    auto& emu = StartEmulator();
    ASSERT_EQ(Run(AccessFunction::kReadTrackLog), 0) << FirstError();
    const std::size_t marcourt = harness::OracleCount("marcourt.igc");
    const std::size_t tzn = harness::OracleCount("20241007TZN.igc");
    ASSERT_EQ(track.points.size(), marcourt + tzn);
    ExpectHeldFixes("marcourt.igc", 0);
    ExpectHeldFixes("20241007TZN.igc", marcourt);
    EXPECT_EQ(track.points[marcourt].flags, 0u);
    EXPECT_EQ(track.sourceKind, 12);
    EXPECT_TRUE(track.timeIsUtc);
    EXPECT_EQ(track.productText, "Ascent: 1234ABCD");
    EXPECT_EQ(emu.Events().front(), "product request at 128000");
    // The list is newest first.
    EXPECT_GT(flights.start[0], flights.start[1]);
    EXPECT_TRUE(sink.SawStatus("2 tracks in track list found"));
}

TEST_F(AscentSessionTest, FlightListNewestFirst) {
    StartEmulator();
    ASSERT_EQ(Run(AccessFunction::kReadFlightList), 0) << FirstError();
    EXPECT_GT(flights.start[0], flights.start[1]);
    EXPECT_EQ(flights.start[2], 0u);
}

struct AscentFaultCase {
    const char* name;
    AscentStep step;
    AscentFault fault;
    const char* error;
};

class AscentFaultTest : public AscentSessionTest,
                        public ::testing::WithParamInterface<AscentFaultCase> {};

TEST_P(AscentFaultTest, EndsWithItsMessage) {
    const AscentFaultCase& c = GetParam();
    auto& emu = StartEmulator();
    // Log faults hit the third block, where the transfer has begun.
    emu.ArmFault(c.step, c.fault, c.step == AscentStep::kTrackLog ? 2 : 0);
    EXPECT_EQ(Run(AccessFunction::kReadTrackLog), -1);
    EXPECT_EQ(FirstError(), c.error);
    EXPECT_TRUE(track.points.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AscentFaultTest,
    ::testing::Values(AscentFaultCase{"ListMessageId", AscentStep::kTrackList, AscentFault::kBadId,
                                      "Data error (bad message ID)"},
                      AscentFaultCase{"LogBlockNumber", AscentStep::kTrackLog,
                                      AscentFault::kBlockNumber, "Data error (bad block number)"},
                      AscentFaultCase{"LogSilence", AscentStep::kTrackLog, AscentFault::kSilence,
                                      "Timeout waiting for data"},
                      AscentFaultCase{"LogStops", AscentStep::kTrackLog, AscentFault::kStopHalfway,
                                      "Timeout waiting for data"},
                      AscentFaultCase{"LogHeader", AscentStep::kTrackLog, AscentFault::kBadHeader,
                                      "Bad flight number in Log data flash header"},
                      AscentFaultCase{"GarbageBeforeList", AscentStep::kTrackList,
                                      AscentFault::kGarbage, "Data error (bad message ID)"},
                      AscentFaultCase{"CutCable", AscentStep::kTrackLog,
                                      AscentFault::kCutConnection, "COM port read error"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(AscentSessionTest, EraseRepeatsUntilNoSectorIsLeft) {
    auto& emu = StartEmulator();
    ASSERT_EQ(Run(AccessFunction::kEraseTrackLogs), 0) << FirstError();
    EXPECT_EQ(emu.EraseRequests(), 3);
    EXPECT_TRUE(sink.SawStatus("Tracklog data erased"));
}

TEST_F(AscentSessionTest, EmptyLoggerIsErasedWithoutRequest) {
    AscentEmulatorConfig config;
    config.usedSectors = 0;
    auto& emu = StartEmulator(config);
    ASSERT_EQ(Run(AccessFunction::kEraseTrackLogs), 0) << FirstError();
    EXPECT_EQ(emu.EraseRequests(), 0);
}

TEST_F(AscentSessionTest, StuckEraseIsCapped) {
    auto& emu = StartEmulator();
    emu.ArmFault(AscentStep::kErase, AscentFault::kStuck);
    EXPECT_EQ(Run(AccessFunction::kEraseTrackLogs), -1);
    EXPECT_EQ(FirstError(), "Erase not completed: 3 non-empty sectors left");
    EXPECT_EQ(emu.EraseRequests(), 10);
}

}  // namespace
}  // namespace tracora::protocols
