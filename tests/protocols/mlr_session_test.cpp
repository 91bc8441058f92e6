// The real MLR session routines, run through the device layer's JobLayer against the MLR
// emulator over a pseudo-terminal: the track log fix by fix against independent readers of the
// held flight, the line speeds the instrument sees at each step, the faults of the line and of
// the instrument with their messages, waypoints as binary frames, as a "$GPWPL" stream and up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/mlr/mlr_emulator.hpp"
#include "protocols/session_harness.hpp"

namespace tracora::protocols {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;
using mlr::MlrEmulator;
using mlr::MlrEmulatorConfig;
using mlr::MlrFault;
using mlr::MlrStep;

class MlrSessionTest : public harness::EmulatorSessionTest<MlrEmulator> {
protected:
    MlrEmulator& StartEmulator(std::initializer_list<const char*> files,
                               MlrEmulatorConfig config = {}) {
        for (const char* file : files) {
            std::vector<TrackPoint> points;
            EXPECT_TRUE(mlr::FlightFromIgc(harness::ReadIgc(file), points)) << file;
            config.points.insert(config.points.end(), points.begin(), points.end());
        }
        if (config.waypoints.empty()) {
            config.waypoints = mlr::BuiltInWaypoints();
        }
        return EmulatorSessionTest::StartEmulator(std::move(config));
    }

    device::JobStart Start(AccessFunction function, GpsProtocol protocol = GpsProtocol::kMlr) {
        return Job(function, protocol);
    }

    // The held flight fix by fix, and nothing more; the receiver has no pressure altitude.
    void ExpectOracleFixes(const std::string& file, const std::vector<TrackPoint>& points) {
        ASSERT_EQ(points.size(), harness::OracleCount(file)) << file;
        harness::ExpectOracleFixes(
            file, points, 0,
            [](const TrackPoint& p, const harness::OracleFix&, const std::string& where) {
                EXPECT_EQ(p.pressureAltitude, 0) << where;
            });
    }
};

TEST_F(MlrSessionTest, TrackLogHasTheFixesOfTheHeldFlightAndTheSpeedSwitches) {
    auto& emu = StartEmulator({"01lz1hq1.igc"});
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    ASSERT_EQ(out.result, 0) << FirstError();
    ExpectOracleFixes("01lz1hq1.igc", out.track.points);
    EXPECT_EQ(out.track.points.front().flags, TrackPoint::kSegmentStart);
    EXPECT_EQ(out.track.sourceKind, 2);
    EXPECT_TRUE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_FALSE(out.track.hasPressureAltitude);
    EXPECT_EQ(out.productName, "MLR");
    EXPECT_EQ(out.instrumentDescription, "MLR SP24");
    EXPECT_EQ(out.productText, "MLR: 12345");
    EXPECT_EQ(out.competitionId, -1);
    EXPECT_EQ(sink.Statuses2().back(), "MLR V2 SW2.80");
    EXPECT_TRUE(sink.SawStatus("4960 points received"));
    EXPECT_EQ(emu.Requests().front(), "$PMLR,26,01,01,0339");
    EXPECT_EQ(Events(4), (std::vector<std::string>{"end at 4800", "track request at 4800",
                                                   "track frames at 38400", "end at 4800"}));
}

TEST_F(MlrSessionTest, LeonardoReadingStaysAt38400) {
    MlrEmulatorConfig config;
    config.binarySpeed = true;
    config.product = {"DGIFLY LEONARDO", "XC", "777", "3.05", "PRO"};
    StartEmulator({"marcourt.igc"}, config);
    const auto& out = Run(Start(AccessFunction::kReadTrackLog, GpsProtocol::kMlrTrackReader));
    ASSERT_EQ(out.result, 0) << FirstError();
    ExpectOracleFixes("marcourt.igc", out.track.points);
    EXPECT_EQ(out.productText, "Digifly: 777");
    EXPECT_EQ(out.track.protocol, 18);
    EXPECT_EQ(Events(3),
              (std::vector<std::string>{"end at 38400", "track request at 38400", "end at 38400"}));
}

TEST_F(MlrSessionTest, GpsClockReceiversAreCorrectedBy14Seconds) {
    MlrEmulatorConfig config;
    config.product = {"SP24 XC", "XC", "1", "2.70", "V"};
    StartEmulator({"marcourt.igc"}, config);
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    ASSERT_EQ(out.result, 0) << FirstError();
    ExpectOracleFixes("marcourt.igc", out.track.points);
}

struct CompetitionCase {
    const char* product;
    bool readsIds;
};

class MlrCompetitionTest : public MlrSessionTest,
                           public ::testing::WithParamInterface<CompetitionCase> {};

TEST_P(MlrCompetitionTest, ReadsThePilotIdsFirstExceptOnDigiflyAndCoMo) {
    const CompetitionCase& c = GetParam();
    MlrEmulatorConfig config;
    config.product[0] = c.product;
    config.waypoints = mlr::BuiltInWaypoints();
    Waypoint id;
    ASSERT_EQ(competition::EncodeIdWaypoint(competition::IdKind::kCompId, 123, 0, id), 0);
    config.waypoints.push_back(id);
    ASSERT_EQ(competition::EncodeIdWaypoint(competition::IdKind::kCivlId, 45678, 0, id), 0);
    config.waypoints.push_back(id);
    auto& emu = StartEmulator({"marcourt.igc"}, config);
    device::JobStart start = Start(AccessFunction::kReadTrackLog);
    start.competitionMode = true;
    const auto& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    ExpectOracleFixes("marcourt.igc", out.track.points);
    const std::vector<std::string> requests = emu.Requests();
    const bool askedForWaypoints =
        std::find(requests.begin(), requests.end(), "$PMLR,24,02,0301,039B") != requests.end();
    EXPECT_EQ(askedForWaypoints, c.readsIds);
    EXPECT_EQ(out.competitionId, c.readsIds ? 123 : -1);
    EXPECT_EQ(out.civlId, c.readsIds ? 45678 : -1);
}

INSTANTIATE_TEST_SUITE_P(Products, MlrCompetitionTest,
                         ::testing::Values(CompetitionCase{"MLR SP24", true},
                                           CompetitionCase{"DGIFLY LEONARDO", false},
                                           CompetitionCase{"COMO", false}),
                         [](const auto& param) {
                             return std::string(param.param.readsIds ? "Mlr" : "NoIds") +
                                    std::to_string(param.index);
                         });

struct FaultCase {
    const char* name;
    MlrStep step;
    MlrFault fault;
    const char* error;  // empty for a download that succeeds
};

class MlrFaultTest : public MlrSessionTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MlrFaultTest, EachFaultEndsWithItsMessageAndTheLineRestored) {
    const FaultCase& c = GetParam();
    auto& emu = StartEmulator({"marcourt.igc"});
    emu.ArmFault(c.step, c.fault);
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    if (std::string(c.error).empty()) {
        ASSERT_EQ(out.result, 0) << FirstError();
        ExpectOracleFixes("marcourt.igc", out.track.points);
        return;
    }
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError(), c.error);
    EXPECT_TRUE(out.track.points.empty());
    if (c.step == MlrStep::kTrack && c.fault != MlrFault::kCutConnection) {
        // The instrument is told to leave its transfer mode, at the speed it started at.
        const std::vector<std::string> events = Events(4);
        ASSERT_EQ(events.size(), 4u);
        EXPECT_EQ(events[1], "track request at 4800");
        EXPECT_EQ(events[3], "end at 4800");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MlrFaultTest,
    ::testing::Values(
        FaultCase{"FrameSum", MlrStep::kTrack, MlrFault::kBadChecksum, "E208 Format error 2"},
        FaultCase{"RecordCount", MlrStep::kTrack, MlrFault::kBadCount, "E208 Format error 1"},
        FaultCase{"SentenceNumber", MlrStep::kTrack, MlrFault::kSequence,
                  "E204 Bad sentence sequence"},
        FaultCase{"TrackSilence", MlrStep::kTrack, MlrFault::kSilence,
                  "E210 Track log data timeout"},
        FaultCase{"TrackStops", MlrStep::kTrack, MlrFault::kStopHalfway,
                  "E210 Track log data timeout"},
        FaultCase{"CutCable", MlrStep::kTrack, MlrFault::kCutConnection,
                  "E202 COM port read error"},
        FaultCase{"GarbageBeforeFrames", MlrStep::kTrack, MlrFault::kGarbage, ""},
        FaultCase{"ProductRetried", MlrStep::kProductData, MlrFault::kBadChecksum, ""},
        FaultCase{"ProductSilent", MlrStep::kProductData, MlrFault::kSilence, ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MlrSessionTest, SilentProductDataEndsWithNoValidResponse) {
    auto& emu = StartEmulator({"marcourt.igc"});
    for (int i = 0; i < 4; ++i) {
        emu.ArmFault(MlrStep::kProductData, MlrFault::kSilence);
    }
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError(), "No valid response from GPS");
    // Every unanswered attempt is closed with the end sentence (the last one may still be on
    // its way when the job has reported).
    const auto ends = [&emu] {
        const std::vector<std::string> r = emu.Requests();
        return std::count(r.begin(), r.end(), "$PMLR,06,00,02A9");
    };
    for (int i = 0; i < 200 && ends() < 2; ++i) {
        emu.WaitForRequest("$never", 50);
    }
    const std::vector<std::string> requests = emu.Requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "$PMLR,06,00,02A9"),
              std::count(requests.begin(), requests.end(), "$PMLR,26,01,01,0339"));
}

TEST_F(MlrSessionTest, BinaryWaypointsOfMlrFast) {
    StartEmulator({});
    const auto& out = Run(Start(AccessFunction::kReadWaypoints, GpsProtocol::kMlrFast));
    ASSERT_EQ(out.result, 0) << FirstError();
    ASSERT_EQ(out.waypoints.size(), 5u);
    EXPECT_EQ(out.waypoints[0].Id(), "FIESCH");
    EXPECT_EQ(out.waypoints[3].Id(), "A-12");
    EXPECT_EQ(out.waypoints[0].altitude, 2212);
    EXPECT_EQ(out.waypoints[4].altitude, -400);
    EXPECT_NEAR(SemicirclesToDegrees(out.waypoints[3].latitude), -33.952, 1e-6);
    EXPECT_NEAR(SemicirclesToDegrees(out.waypoints[3].longitude), -70.365, 1e-6);
    EXPECT_EQ(Events(4), (std::vector<std::string>{"end at 4800", "waypoint request at 4800",
                                                   "waypoint frames at 38400", "end at 4800"}));
}

TEST_F(MlrSessionTest, SilentUnitEndsTheBinaryWaypointListAfterTenSeconds) {
    auto& emu = StartEmulator({});
    emu.ArmFault(MlrStep::kWaypoints, MlrFault::kSilence);
    const auto& out = Run(Start(AccessFunction::kReadWaypoints, GpsProtocol::kMlrFast));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError(), "E310 Waypoint data timeout");
    EXPECT_TRUE(out.waypoints.empty());
}

TEST_F(MlrSessionTest, WaypointStreamEndsAtTheRepeatedId) {
    MlrEmulatorConfig config;
    config.streamWaypoints = true;
    StartEmulator({}, config);
    const auto& out = Run(Start(AccessFunction::kReadWaypoints));
    ASSERT_EQ(out.result, 0) << FirstError();
    ASSERT_EQ(out.waypoints.size(), 5u);
    EXPECT_TRUE(sink.SawStatus("Waypoints read (5)"));
    EXPECT_EQ(out.waypoints[1].Id(), "NIESEN");
    // DDMM.mmm carries positions to a thousandth of a minute.
    EXPECT_NEAR(SemicirclesToDegrees(out.waypoints[1].latitude), 46.694167, 1e-5);
    EXPECT_NEAR(SemicirclesToDegrees(out.waypoints[1].longitude), 7.857167, 1e-5);
    EXPECT_NEAR(SemicirclesToDegrees(out.waypoints[3].latitude), -33.952, 1e-5);
}

TEST_F(MlrSessionTest, WaypointStreamWaitsForThePilotUntilAborted) {
    auto& emu = StartEmulator({});
    ASSERT_EQ(layer.StartGpsJob(Start(AccessFunction::kReadWaypoints)), 0);
    ASSERT_TRUE(emu.WaitForRequest("$PMLR,06,00,02A9", 30'000));
    ASSERT_TRUE(sink.WaitForStatus("Searching for sentences", 30'000));
    layer.AbortGpsJob();
    layer.Join();
    EXPECT_EQ(outcome.result, -1);
    EXPECT_TRUE(sink.SawStatus("Transfer aborted"));
    EXPECT_TRUE(sink.Errors().empty());
}

TEST_F(MlrSessionTest, UploadSendsOneSentencePerWaypoint) {
    auto& emu = StartEmulator({});
    device::JobStart start = Start(AccessFunction::kWriteWaypoints);
    start.waypoints = mlr::BuiltInWaypoints();
    start.waypoints[0].SetDescription("Kuehboden, start*");
    const auto& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    for (int i = 0; i < 200 && emu.Uploads().size() < 5; ++i) {
        emu.WaitForRequest("$never", 50);
    }
    const std::vector<std::string> uploads = emu.Uploads();
    ASSERT_EQ(uploads.size(), 5u);
    EXPECT_EQ(uploads[0], "$GPWPL,4624.563,N,00807.580,E,FIESCH0Kuehboden  start      *5E");
    EXPECT_TRUE(sink.SawStatus("Waypoint 5 sent"));
    EXPECT_EQ(sink.Progress(), (std::vector<std::pair<long long, long long>>{
                                   {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
}

}  // namespace
}  // namespace tracora::protocols
