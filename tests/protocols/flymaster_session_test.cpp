// The real Flymaster session routines, run through the device layer's JobLayer against the
// Flymaster emulator over a pseudo-terminal: downloads fix by fix against independent readers
// of the held flights, the faults of the line and of the instrument, waypoints both ways, the
// set commands and the power-off request.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
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
#include "protocols/flymaster/flymaster_emulator.hpp"
#include "protocols/session_harness.hpp"

namespace tracora::protocols {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;
using flymaster::FlymasterEmulator;
using flymaster::FlymasterEmulatorConfig;
using flymaster::FlymasterFault;
using flymaster::FlymasterStep;

using harness::OracleFixes;

class FlymasterSessionTest : public harness::EmulatorSessionTest<FlymasterEmulator> {
protected:
    FlymasterEmulator& StartEmulator(std::initializer_list<const char*> files,
                                     FlymasterEmulatorConfig config = {}) {
        for (const char* file : files) {
            flymaster::StoredFlight flight;
            EXPECT_TRUE(flymaster::FlightFromIgc(harness::ReadIgc(file), flight)) << file;
            config.flights.push_back(flight);
        }
        if (config.waypoints.empty()) {
            config.waypoints = flymaster::BuiltInWaypoints();
        }
        return EmulatorSessionTest::StartEmulator(std::move(config));
    }

    device::JobStart Start(AccessFunction function, std::initializer_list<int> slots = {}) {
        return Job(function, GpsProtocol::kFlymaster, slots);
    }

    // Every sampled fix of `file` among `points` from `offset` on, against the oracle.
    void ExpectOracleFixes(const std::string& file, const std::vector<TrackPoint>& points,
                           std::size_t offset) {
        harness::ExpectOracleFixes(
            file, points, offset,
            [](const TrackPoint& p, const harness::OracleFix& f, const std::string& where) {
                // 0.1 hPa steps are up to 1.4 m apart at altitude: the instrument's pressure
                // carries the flight's pressure altitude to within a metre.
                EXPECT_LE(std::abs(p.pressureAltitude - f.pressureAltitude), 1) << where;
            });
    }
};

TEST_F(FlymasterSessionTest, DownloadHasTheFixesOfTheHeldFlight) {
    auto& emu = StartEmulator({"01lz1hq1.igc"});
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    ASSERT_EQ(out.result, 0) << FirstError();
    std::size_t count = 0;
    OracleFixes("01lz1hq1.igc", count);
    ASSERT_EQ(out.track.points.size(), count);
    ExpectOracleFixes("01lz1hq1.igc", out.track.points, 0);
    EXPECT_EQ(out.track.points.front().flags, TrackPoint::kSegmentStart);
    EXPECT_EQ(out.track.sourceKind, 8);
    EXPECT_TRUE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_TRUE(out.track.hasPressureAltitude);
    EXPECT_EQ(out.instrumentDescription, "Flymaster F1, V2.5, S/N 4321");
    EXPECT_EQ(out.track.instrumentDescription, "Flymaster F1, V2.5, S/N 4321");
    EXPECT_EQ(emu.Requests().front(), "$PBRSNP,*21");
    EXPECT_EQ(emu.Requests()[1], "$PFMDNL,LST,*72");
    // Every packet but the end packet was accepted.
    const std::vector<std::uint8_t> controls = emu.ControlBytes();
    ASSERT_FALSE(controls.empty());
    EXPECT_TRUE(std::all_of(controls.begin(), controls.end(),
                            [](std::uint8_t b) { return b == flymaster::kAccept; }));
    EXPECT_TRUE(sink.SawStatus("4960 points received"));
    EXPECT_TRUE(sink.SawStatus("1 tracks in track list found"));
    // The bar: track time against the listed duration, every 200 points, then its end.
    EXPECT_EQ(sink.Progress().size(), 4960u / 200 + 1);
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
}

TEST_F(FlymasterSessionTest, TwoFlightsAreJoinedOldestFirst) {
    StartEmulator({"marcourt.igc", "20241007TZN.igc"});
    const auto& out = Run(Start(AccessFunction::kReadTrackLog, {0, 1}));
    ASSERT_EQ(out.result, 0) << FirstError();
    std::size_t marcourt = 0;
    OracleFixes("marcourt.igc", marcourt);
    ExpectOracleFixes("marcourt.igc", out.track.points, 0);
    ExpectOracleFixes("20241007TZN.igc", out.track.points, marcourt);
    EXPECT_EQ(out.track.points[marcourt].flags, 0u);
}

TEST_F(FlymasterSessionTest, FlightWithoutPositionsAddsNothingToTheJoin) {
    FlymasterEmulatorConfig config;
    flymaster::StoredFlight empty;
    empty.emptyStart = 600'000'000;
    config.flights.push_back(empty);
    StartEmulator({"marcourt.igc"}, config);
    const auto& out = Run(Start(AccessFunction::kReadTrackLog, {0, 1}));
    ASSERT_EQ(out.result, 0) << FirstError();
    std::size_t marcourt = 0;
    OracleFixes("marcourt.igc", marcourt);
    EXPECT_EQ(out.track.points.size(), marcourt);
    ExpectOracleFixes("marcourt.igc", out.track.points, 0);
    EXPECT_TRUE(sink.SawStatus("0 points received"));
}

TEST_F(FlymasterSessionTest, OverlappingFlightsAreRefused) {
    StartEmulator({"marcourt.igc", "marcourt.igc"});
    const auto& out = Run(Start(AccessFunction::kReadTrackLog, {0, 1}));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError().substr(0, 20), "Overlapping tracks (");
}

struct FaultCase {
    const char* name;
    FlymasterStep step;
    FlymasterFault fault;
    const char* error;  // the first error shown, empty for a download that succeeds
    std::vector<std::uint8_t> lastControls;
};

class FlymasterFaultTest : public FlymasterSessionTest,
                           public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FlymasterFaultTest, EachFaultEndsWithItsMessage) {
    const FaultCase& c = GetParam();
    auto& emu = StartEmulator({"marcourt.igc"});
    emu.ArmFault(c.step, c.fault);
    const auto& out = Run(Start(AccessFunction::kReadTrackLog));
    if (std::string(c.error).empty()) {
        EXPECT_EQ(out.result, 0) << FirstError();
        ExpectOracleFixes("marcourt.igc", out.track.points, 0);
        return;
    }
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError(), c.error);
    EXPECT_TRUE(out.track.points.empty());
    if (!c.lastControls.empty()) {
        // The session's control bytes reach the instrument (the emulator reads them until
        // it gives up on the transfer).
        for (int i = 0; i < 100 && (emu.ControlBytes().empty() ||
                                    emu.ControlBytes().back() != flymaster::kCancel);
             ++i) {
            emu.WaitForRequest("$never", 100);
        }
        const std::vector<std::uint8_t> controls = emu.ControlBytes();
        ASSERT_GE(controls.size(), c.lastControls.size());
        EXPECT_TRUE(std::equal(c.lastControls.begin(), c.lastControls.end(),
                               controls.end() - static_cast<long>(c.lastControls.size())));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlymasterFaultTest,
    ::testing::Values(
        FaultCase{"PacketChecksum",
                  FlymasterStep::kTrack,
                  FlymasterFault::kBadChecksum,
                  "E205 Bad checksum in data block",
                  {0xB2, 0xB3}},
        FaultCase{"Resend",
                  FlymasterStep::kTrack,
                  FlymasterFault::kResend,
                  "E205 Bad checksum in data block",
                  {0xB2, 0xB3}},
        FaultCase{"TrackSilence",
                  FlymasterStep::kTrack,
                  FlymasterFault::kSilence,
                  "E203 Timeout receiving data",
                  {}},
        FaultCase{"TrackStops",
                  FlymasterStep::kTrack,
                  FlymasterFault::kStopHalfway,
                  "E203 Timeout receiving data",
                  {}},
        FaultCase{"CutCable",
                  FlymasterStep::kTrack,
                  FlymasterFault::kCutConnection,
                  "E204 COM port read error",
                  {}},
        FaultCase{"GarbageBeforeTrack", FlymasterStep::kTrack, FlymasterFault::kGarbage, "", {}},
        FaultCase{"ListChecksum",
                  FlymasterStep::kFlightList,
                  FlymasterFault::kBadChecksum,
                  "NMEA line parse error",
                  {}},
        // One unanswered product-data request is asked again.
        FaultCase{
            "ProductDataRetried", FlymasterStep::kProductData, FlymasterFault::kSilence, "", {}}),
    [](const auto& param) { return std::string(param.param.name); });

// Competition mode: the waypoint list is read for the pilot's ID waypoints before the flight
// list. The IDs are spelt by the positions: 12345 is 3 deg 4' 5" N, 0 deg 1' 2" E; 9876543 is
// 5 deg 4' 3" N, 98 deg 7' 6" E. An instrument without them gives -1 for both.
TEST_F(FlymasterSessionTest, CompetitionModeScansTheWaypointsForThePilotIds) {
    const auto dms = [](int d, int m, int s) { return d + m / 60.0 + s / 3600.0; };
    FlymasterEmulatorConfig config;
    config.waypoints = {
        {46.409383, 8.136, 2212, "FIESCH Kuehboden", false},
        {dms(3, 4, 5), dms(0, 1, 2), 0, "COMPID 12345", false},
        {dms(5, 4, 3), dms(98, 7, 6), 0, "CIVLID 9876543", false},
    };
    auto& emu = StartEmulator({"marcourt.igc"}, config);
    device::JobStart start = Start(AccessFunction::kReadTrackLog, {0});
    start.competitionMode = true;
    const auto& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_EQ(out.competitionId, 12345);
    EXPECT_EQ(out.civlId, 9876543);
    EXPECT_TRUE(sink.SawStatus("Comp ID = 12345, CIVL ID = 9876543"));
    EXPECT_EQ(out.track.points.size(), 221u);
    // The scan comes before the flight list; the scanned waypoints are not the job's list.
    const auto requests = emu.Requests();
    const auto at = [&requests](std::string_view prefix) {
        for (std::size_t i = 0; i < requests.size(); ++i) {
            if (requests[i].starts_with(prefix)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    ASSERT_GE(at("$PFMWPL"), 0);
    EXPECT_LT(at("$PFMWPL"), at("$PFMDNL,LST"));
    EXPECT_TRUE(out.waypoints.empty());
}

TEST_F(FlymasterSessionTest, CompetitionModeWithoutIdWaypointsGivesNoIds) {
    StartEmulator({"marcourt.igc"});
    device::JobStart start = Start(AccessFunction::kReadTrackLog, {0});
    start.competitionMode = true;
    const auto& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_EQ(out.competitionId, -1);
    EXPECT_EQ(out.civlId, -1);
    EXPECT_EQ(out.track.points.size(), 221u);
}

TEST_F(FlymasterSessionTest, WaypointsDownWithTheirKind) {
    StartEmulator({});
    const auto& out = Run(Start(AccessFunction::kReadWaypoints));
    ASSERT_EQ(out.result, 0) << FirstError();
    ASSERT_EQ(out.waypoints.size(), 5u);
    EXPECT_EQ(out.waypoints[1].Id(), "FIESCH");
    EXPECT_EQ(out.waypoints[1].Description(), "FIESCH Kuehboden");
    EXPECT_EQ(out.waypoints[1].altitude, 2212);
    EXPECT_NEAR(SemicirclesToDegrees(out.waypoints[1].latitude), 46.409383, 1e-6);
    EXPECT_EQ(out.waypoints[3].kind, kWaypointKindAirfield);
    EXPECT_EQ(out.waypoints[0].kind, kWaypointKindPoint);
    EXPECT_NEAR(SemicirclesToDegrees(out.waypoints[4].longitude), -70.365, 1e-6);
    EXPECT_TRUE(sink.SawStatus("5 waypoints received"));
}

// Software 1.21 answers "ACK" and the upper-cased name; ',' and '*' never reach the
// instrument's fields.
TEST_F(FlymasterSessionTest, WaypointsUpAreAcknowledged) {
    auto& emu = StartEmulator({});
    device::JobStart start = Start(AccessFunction::kWriteWaypoints);
    Waypoint a;
    a.SetId("LZ");
    a.SetDescription("Lz, Reichenbach");
    Waypoint b;
    b.SetId("TO1");
    b.SetDescription("Niesen*Kulm");
    start.waypoints = {a, b};
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, 0) << FirstError();
    EXPECT_EQ(emu.UploadedNames(),
              (std::vector<std::string>{"Lz  Reichenbach ", "Niesen Kulm     "}));
    EXPECT_TRUE(sink.SawStatus("2 waypoints sent"));
    EXPECT_EQ(sink.Progress(), (std::vector<std::pair<long long, long long>>{{1, 2}, {2, 2}}));
}

TEST_F(FlymasterSessionTest, OldSoftwareEchoesTheName) {
    FlymasterEmulatorConfig config;
    config.product.software = "1.14";
    auto& emu = StartEmulator({}, config);
    device::JobStart start = Start(AccessFunction::kWriteWaypoints);
    Waypoint a;
    a.SetDescription("Lz, Reichenbach");
    start.waypoints = {a};
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, 0) << FirstError();
    EXPECT_EQ(emu.UploadedNames(), (std::vector<std::string>{"Lz  Reichenbach "}));
}

TEST_F(FlymasterSessionTest, UnansweredUploadIsAnError) {
    auto& emu = StartEmulator({});
    emu.ArmFault(FlymasterStep::kUpload, FlymasterFault::kSilence);
    device::JobStart start = Start(AccessFunction::kWriteWaypoints);
    Waypoint a;
    a.SetDescription("A");
    start.waypoints = {a, a};
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError(), "1 waypoints sent, 0 errors, response timeout");
}

TEST_F(FlymasterSessionTest, WrongAnswerCountsAsAnError) {
    auto& emu = StartEmulator({});
    emu.ArmFault(FlymasterStep::kUpload, FlymasterFault::kBadChecksum, 1);
    device::JobStart start = Start(AccessFunction::kWriteWaypoints);
    Waypoint a;
    a.SetDescription("A");
    start.waypoints = {a, a, a};
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError(), "3 waypoints sent, 1 errors, first error was type 3");
}

TEST_F(FlymasterSessionTest, IdsGoToTheB1NavOnly) {
    FlymasterEmulatorConfig config;
    config.product.model = "B1NAV";
    auto& emu = StartEmulator({}, config);
    device::JobStart start = Start(AccessFunction::kWritePilotData);
    start.pilotData.mode = device::PilotDataUpload::Mode::kIds;
    start.pilotData.competitionId = 12;
    start.pilotData.civlId = -1;
    start.pilotData.pilotName = "Doe, John";
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, 0) << FirstError();
    ASSERT_TRUE(emu.WaitForRequest("$PFMIDS", 10'000));
    EXPECT_EQ(emu.Requests().back(), "$PFMIDS,12,,Doe  John*47");
    EXPECT_TRUE(sink.SawStatus("Data sent"));
}

TEST_F(FlymasterSessionTest, PilotDataIsRefusedForTheB1Nav) {
    FlymasterEmulatorConfig config;
    config.product.model = "B1NAV";
    StartEmulator({}, config);
    device::JobStart start = Start(AccessFunction::kWritePilotData);
    start.pilotData.mode = device::PilotDataUpload::Mode::kPilotData;
    const auto& out = Run(std::move(start));
    EXPECT_EQ(out.result, -1);
    EXPECT_EQ(FirstError(), "Command not available for B1 NAV");
}

TEST_F(FlymasterSessionTest, PowerOffFollowsASuccessfulDownload) {
    auto& emu = StartEmulator({"marcourt.igc"});
    device::JobStart start = Start(AccessFunction::kReadTrackLog);
    start.powerOff = true;
    const auto& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_TRUE(emu.WaitForRequest("$PFMOFF*14", 10'000));
}

TEST_F(FlymasterSessionTest, FlightListGoesToTheCaller) {
    StartEmulator({"marcourt.igc", "20241007TZN.igc"});
    const auto& out = Run(Start(AccessFunction::kReadFlightList));
    ASSERT_EQ(out.result, 0) << FirstError();
    // 2021-03-06 10:34:11 and 2024-10-07 06:26:47 UTC (Python's calendar.timegm).
    EXPECT_EQ(out.flights.start[0], 983961251u);
    EXPECT_EQ(out.flights.start[1], 1097216807u);
    EXPECT_EQ(out.flights.duration[0], 220u);
    EXPECT_TRUE(sink.SawStatus("2 tracks in track list found"));
}

}  // namespace
}  // namespace tracora::protocols
