// LogIt and Tracklogger: the requests of each speed, the product and point count answers, the
// blocks and their order on hand-built bytes (sums and checksums worked out by hand), then the
// real session routines against the emulator over a pseudo-terminal: the track log fix by fix
// against independent readers of the held flight, the speed the logger sees at each step, the
// Tracklogger's restarts and their cap, the faults with their messages, erase and user name.
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
#include "protocols/dispatch_table.hpp"
#include "protocols/logit/logit_emulator.hpp"
#include "protocols/logit/logit_frames.hpp"
#include "protocols/session_harness.hpp"

namespace tracora::protocols {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;
using logit::LogItEmulator;
using logit::LogItEmulatorConfig;
using logit::LogItFault;
using logit::LogItStep;

TEST(LogItRequests, SpeedsAndTheirSentences) {
    struct Case {
        int parameter;
        int baud;
        const char* request;
    };
    const Case cases[] = {
        {19200, 19200, "$PMLR,24,02,0100,0398\r\n"}, {38400, 38400, "$PMLR,24,02,0101,0399\r\n"},
        {57600, 57600, "$PMLR,24,02,0102,039A\r\n"}, {115200, 115200, "$PMLR,24,02,0103,039B\r\n"},
        {9600, 4800, "$PMLR,24,02,0110,0388\r\n"},   {0, 4800, "$PMLR,24,02,0110,0388\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(logit::TransferBaud(c.parameter), c.baud) << c.parameter;
        EXPECT_EQ(logit::TrackRequest(c.parameter), c.request) << c.parameter;
    }
    EXPECT_EQ(logit::RestartRequest(1235), "$PMLR,59,1235,031C\r\n");
    EXPECT_EQ(logit::NameSentence("A,B*C"), "$PMLR,IDGPS,01,A B C    ,       *00\r\n");
    EXPECT_EQ(logit::NameSentence("LONGERNAME12"), "$PMLR,IDGPS,01,LONGERNAM,       *00\r\n");
}

bool Parses(const PmlrProductRules& rules, const std::string& text,
            std::vector<std::string>& fields) {
    PmlrProductParser parser(rules);
    for (const char c : text) {
        if (parser.Feed(static_cast<std::uint8_t>(c))) {
            fields = parser.Fields();
            return true;
        }
    }
    return false;
}

TEST(LogItProduct, OldSoftwareIsTakenWithAnyChecksum) {
    std::vector<std::string> fields;
    // The right XOR of "PMLR,IDGPS,01,TRACKLOGGER, ANNA,99,3.1" is 1C; CR and any byte end it.
    ASSERT_TRUE(
        Parses(logit::kProductRules, "$PMLR,IDGPS,01,TRACKLOGGER, ANNA,99,3.1*1c\rX", fields));
    const logit::LogItProduct product = logit::DecodeProduct(fields);
    EXPECT_EQ(product.model, "TRACKLOGGER");
    EXPECT_EQ(product.user, "ANNA");
    EXPECT_EQ(logit::DeviceLine(product), "TRACKLOGGER 3.1 (ANNA)");
    EXPECT_FALSE(
        Parses(logit::kProductRules, "$PMLR,IDGPS,01,TRACKLOGGER, ANNA,99,3.1*1D\r\n", fields));
    // Software 1.02 (right XOR 42) is taken with a wrong one.
    EXPECT_TRUE(
        Parses(logit::kProductRules, "$PMLR,IDGPS,01,LOGIT,PILOT,4711,1.02*00\r\n", fields));
    // A model of 21 characters is too long.
    EXPECT_FALSE(Parses(logit::kProductRules,
                        "$PMLR,IDGPS,01,ABCDEFGHIJKLMNOPQRSTU,PILOT,4711,1.02*00\r\n", fields));
}

int FeedCount(logit::PointCountParser& parser, const std::string& text) {
    for (const char c : text) {
        const int rc = parser.Feed(static_cast<std::uint8_t>(c));
        if (rc != 0) {
            return rc;
        }
    }
    return 0;
}

TEST(LogItPointCount, AnswerAndItsErrors) {
    logit::PointCountParser parser;
    ASSERT_EQ(FeedCount(parser, "xx$PMLR,NUMTRACKPOINTS,500*30\r\n"), 1);
    EXPECT_EQ(parser.Count(), 500);
    const std::pair<const char*, int> cases[] = {
        {"$PMLR,NUMTRACKPOINTX", -1},          {"$PMLR,NUMTRACKPOINTS,5\r", -2},
        {"$PMLR,NUMTRACKPOINTS,5a", -3},       {"$PMLR,NUMTRACKPOINTS,2147483630", -4},
        {"$PMLR,NUMTRACKPOINTS,500*3\r", -5},  {"$PMLR,NUMTRACKPOINTS,500*3G", -6},
        {"$PMLR,NUMTRACKPOINTS,500*30\n", -7}, {"$PMLR,NUMTRACKPOINTS,500*31\r", -8},
    };
    for (const auto& [text, code] : cases) {
        logit::PointCountParser p;
        EXPECT_EQ(FeedCount(p, text), code) << text;
    }
}

TEST(LogItBlocks, SeventeenRecordsAreRefusedWithCode8) {
    FrameDecoder decoder(logit::kTrackShape);
    const std::uint8_t head[] = {0x8B, 7, 'T', 0x01, 0x00, 17};
    FrameEvent event = FrameEvent::kNone;
    for (const std::uint8_t b : head) {
        event = decoder.Feed(b);
    }
    EXPECT_EQ(logit::FrameErrorCode(event), -8);
    EXPECT_EQ(logit::FrameErrorCode(FrameEvent::kBadChecksum), -9);
    EXPECT_EQ(logit::FrameErrorCode(FrameEvent::kBadRestartText), -7);
}

TEST(LogItBlocks, TransferStateChecksTheOrder) {
    std::vector<std::uint8_t> two;
    AppendTrackRecord(two, TrackRecord{1, 0, 0, 0, 0, 0});
    AppendTrackRecord(two, TrackRecord{2, 0, 0, 0, 0, 0});
    std::vector<std::uint8_t> skip;
    AppendTrackRecord(skip, TrackRecord{4, 0, 0, 0, 0, 0});
    std::vector<TrackRecord> out;
    {
        logit::TransferState state;
        EXPECT_EQ(state.Block(9, BlockType::kData, two, out), -50);
        EXPECT_EQ(state.Block(255, BlockType::kBegin, {}, out), 0);
        EXPECT_EQ(state.Block(0, BlockType::kData, two, out), 0);
        EXPECT_EQ(out.size(), 2u);
        EXPECT_EQ(state.Block(2, BlockType::kData, two, out), -53);
        EXPECT_EQ(state.Block(1, BlockType::kData, skip, out), -52);
    }
    {
        logit::TransferState state;
        EXPECT_EQ(state.Block(1, BlockType::kBegin, {}, out), 0);
        EXPECT_EQ(state.Block(3, BlockType::kEnd, {}, out), -54);
        EXPECT_EQ(state.Block(2, BlockType::kEnd, {}, out), 1);
    }
    {
        logit::TransferState state;
        EXPECT_EQ(state.Block(1, BlockType::kBegin, {}, out), 0);
        state.ExpectRestart();
        EXPECT_EQ(state.Block(5, BlockType::kBegin, {}, out), -51);
        EXPECT_EQ(state.Block(5, BlockType::kRestart, {}, out), 0);
        EXPECT_EQ(state.Block(6, BlockType::kRestart, {}, out), -55);
    }
    TrackRecord r{1, 315'100'800 + 60, 1, 2, -10, 0x31};
    EXPECT_EQ(logit::ToTrackPoint(r, false).time, 60u);
    EXPECT_EQ(logit::ToTrackPoint(r, false).flags, 1u);
    r.flag = 0x12;
    EXPECT_EQ(logit::ToTrackPoint(r, false).flags, 0u);
    EXPECT_EQ(logit::ToTrackPoint(r, true).flags, 1u);
}

class LogItSessionTest : public harness::EmulatorSessionTest<LogItEmulator> {
protected:
    LogItEmulator& StartEmulator(LogItEmulatorConfig config = {}) {
        EXPECT_TRUE(logit::FlightFromIgc(harness::ReadIgc("marcourt.igc"), config.points));
        return EmulatorSessionTest::StartEmulator(std::move(config));
    }

    int Run(AccessFunction function, int parameter = 57600) {
        device::JobStart start = Job(function, GpsProtocol::kLogIt);
        start.parameter = parameter;
        start.pilotName = "ANNA";
        return EmulatorSessionTest::Run(std::move(start)).result;
    }

    // The held flight fix by fix, and nothing more.
    void ExpectHeldFixes() {
        ASSERT_EQ(track.points.size(), harness::OracleCount("marcourt.igc"));
        harness::ExpectOracleFixes("marcourt.igc", track.points);
    }

    DownloadedTrackLog& track = outcome.track;
    std::string& productText = outcome.productText;
};

TEST_F(LogItSessionTest, TrackLogAtEachSpeedHasTheHeldFixes) {
    for (const int speed : {57600, 115200}) {
        SCOPED_TRACE(speed);
        if (!emulator) {
            StartEmulator();
        }
        const std::size_t before = emulator->Events().size();
        ASSERT_EQ(Run(AccessFunction::kReadTrackLog, speed), 0) << FirstError();
        ExpectHeldFixes();
        EXPECT_FALSE(track.timeIsUtc);
        EXPECT_EQ(track.sourceKind, 4);
        EXPECT_EQ(productText, "LOGIT: 4711");
        // The product exchange begins and ends with the end sentence.
        const std::vector<std::string> events = Events(before + 5);
        ASSERT_EQ(events.size(), before + 5);
        EXPECT_EQ(events[before + 2], "track request at 4800");
        EXPECT_EQ(events[before + 3], "track blocks at " + std::to_string(speed));
        EXPECT_EQ(events[before + 4], "end at 4800");
        // The Log It gives no point count: no total, no bar.
        EXPECT_TRUE(sink.Progress().empty());
    }
}

TEST_F(LogItSessionTest, TrackloggerRestartsBehindThePointsReceived) {
    LogItEmulatorConfig config;
    config.model = "TRACKLOGGER";
    auto& emu = StartEmulator(config);
    emu.ArmFault(LogItStep::kTrack, LogItFault::kBadChecksum);
    ASSERT_EQ(Run(AccessFunction::kReadTrackLog), 0) << FirstError();
    ExpectHeldFixes();
    // Blocks of 16: the broken block is the 8th of 14, after 112 points.
    EXPECT_TRUE(sink.SawStatus("RESTART at point 113"));
    const std::vector<std::string> requests = emu.Requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "$PMLR,59,113,02E6"), requests.end());
    EXPECT_TRUE(sink.SawStatus("221 points received"));
    EXPECT_TRUE(sink.SawStatus("1 points of 221 received"));
    // The bar counts the points of the count the logger gave, all of them at the end.
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
    EXPECT_EQ(sink.LastProgress(), std::make_pair(221LL, 221LL));
}

TEST_F(LogItSessionTest, RestartsAreCapped) {
    LogItEmulatorConfig config;
    config.model = "TRACKLOGGER";
    auto& emu = StartEmulator(config);
    for (int i = 0; i < 6; ++i) {
        emu.ArmFault(LogItStep::kTrack, LogItFault::kBadChecksum);
    }
    EXPECT_EQ(Run(AccessFunction::kReadTrackLog), -1);
    EXPECT_EQ(FirstError(), "E204 Format error 9");
    EXPECT_TRUE(track.points.empty());
    EXPECT_TRUE(sink.SawStatus("RESTART at point 113"));
}

struct LogItFaultCase {
    const char* name;
    LogItStep step;
    LogItFault fault;
    const char* error;
};

class LogItFaultTest : public LogItSessionTest,
                       public ::testing::WithParamInterface<LogItFaultCase> {};

TEST_P(LogItFaultTest, EndsWithItsMessage) {
    const LogItFaultCase& c = GetParam();
    LogItEmulatorConfig config;
    config.model = c.step == LogItStep::kPointCount ? "TRACKLOGGER" : "LOGIT";
    auto& emu = StartEmulator(config);
    emu.ArmFault(c.step, c.fault);
    EXPECT_EQ(Run(AccessFunction::kReadTrackLog), -1);
    EXPECT_EQ(FirstError(), c.error);
    EXPECT_TRUE(track.points.empty());
    if (c.step == LogItStep::kTrack && c.fault != LogItFault::kCutConnection) {
        const std::vector<std::string> events = Events(5);
        ASSERT_EQ(events.size(), 5u);
        EXPECT_EQ(events[4], "end at 4800");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LogItFaultTest,
    ::testing::Values(LogItFaultCase{"BlockSum", LogItStep::kTrack, LogItFault::kBadChecksum,
                                     "E204 Format error 9"},
                      LogItFaultCase{"RecordCount", LogItStep::kTrack, LogItFault::kBadCount,
                                     "E204 Format error 8"},
                      LogItFaultCase{"SentenceNumber", LogItStep::kTrack, LogItFault::kSequence,
                                     "E204 Format error 53"},
                      LogItFaultCase{"SilentLogger", LogItStep::kTrack, LogItFault::kStopHalfway,
                                     "E206 Track log data timeout"},
                      LogItFaultCase{"CutCable", LogItStep::kTrack, LogItFault::kCutConnection,
                                     "E202 COM port read error"},
                      LogItFaultCase{"CountSilence", LogItStep::kPointCount, LogItFault::kSilence,
                                     "E501 Track point count request timeout"},
                      LogItFaultCase{"CountChecksum", LogItStep::kPointCount,
                                     LogItFault::kBadChecksum, "E503 Format error 8"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(LogItSessionTest, EraseAndNameAreSentWithoutAnswer) {
    auto& emu = StartEmulator();
    ASSERT_EQ(Run(AccessFunction::kEraseTrackLogs), 0) << FirstError();
    EXPECT_TRUE(sink.SawStatus("Command sent (no verification)"));
    ASSERT_EQ(Run(AccessFunction::kWritePilotData), 0) << FirstError();
    EXPECT_TRUE(sink.SawStatus("Name sent (no verification)"));
    for (int i = 0; i < 200 && emu.Names().empty(); ++i) {
        emu.WaitForRequest("$never", 50);
    }
    EXPECT_TRUE(emu.Erased());
    EXPECT_EQ(emu.Names(), std::vector<std::string>{"ANNA     "});
}

}  // namespace
}  // namespace tracora::protocols
