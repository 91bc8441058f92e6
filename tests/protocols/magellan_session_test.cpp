// The Magellan family: its sentences, and the real session routines run through the device
// layer against the Magellan emulator over a pseudo-terminal, with the kit's faults.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "competition/id_waypoint.hpp"
#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/igc/igc_reader.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/magellan/magellan_emulator.hpp"
#include "protocols/magellan/magellan_frames.hpp"

namespace tracora::protocols::magellan {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;

std::vector<TrackPoint> FixturePoints(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    igc::IgcParseResult parsed;
    EXPECT_GT(igc::ParseIgc(text, parsed), 0) << name;
    return parsed.points;
}

// The checksum as the instrument's manual defines it, computed here on its own.
std::string WithChecksum(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum);
    return "$" + body + "*" + digits + "\r\n";
}

// ---------------------------------------------------------------- sentences

TEST(MagellanFrames, FixedCommandsCarryTheirChecksums) {
    EXPECT_EQ(kVersionRequest, WithChecksum("PMGNCMD,VERSION"));
    EXPECT_EQ(kWaypointRequest, WithChecksum("PMGNCMD,WAYPOINT"));
    EXPECT_EQ(kTrackRequest, WithChecksum("PMGNCMD,TRACK,2"));
    EXPECT_EQ(kStopCommand, WithChecksum("PMGNCMD,STOP"));
    EXPECT_EQ(kEndCommand, WithChecksum("PMGNCMD,END"));
}

// Feeds `bytes` and returns the last non-1 result (1 when every byte said "go on").
int FeedAll(SentenceReceiver& receiver, const std::string& bytes) {
    int last = 1;
    for (const char c : bytes) {
        const int rc = receiver.Feed(static_cast<std::uint8_t>(c));
        if (rc != 1)
            last = rc;
    }
    return last;
}

TEST(MagellanFrames, ReceiverChecksEveryPartOfTheSentence) {
    const std::string good = WithChecksum("PMGNCMD,END");  // ...*3D
    std::string lower = good;
    lower[lower.size() - 3] = 'd';
    struct Case {
        std::string bytes;
        int result;
    };
    const Case cases[] = {
        {good, 0},
        {"noise" + good, 0},
        {lower, 0},                   // lower-case hex digits are accepted
        {"$PMGNCMD,END*3G\r\n", -2},  // not a hex digit
        {"$PMGNCMD,END*3D\n", -3},    // no CR
        {"$PMGNCMD,END*3D\r\r", -4},  // no LF
        {"$PMGNCMD,END*3E\r\n", -3},  // the checksum differs
        {"$PMGNCMD,END*3", 1},        // not complete yet
    };
    for (const Case& c : cases) {
        SentenceReceiver receiver;
        EXPECT_EQ(FeedAll(receiver, c.bytes), c.result) << c.bytes;
    }
    SentenceReceiver receiver;
    ASSERT_EQ(FeedAll(receiver, good), 0);
    EXPECT_EQ(receiver.Body(), "PMGNCMD,END");
    EXPECT_TRUE(IsEndOfDownload(receiver.Body()));
    // A body longer than 100 characters is cut, but its checksum covers every byte.
    const std::string longBody = "PMGNWPL," + std::string(150, 'X');
    ASSERT_EQ(FeedAll(receiver, WithChecksum(longBody)), 0);
    EXPECT_EQ(receiver.Body(), longBody.substr(0, 100));
}

TEST(MagellanFrames, TrackPointFieldsAndTheirErrorNumbers) {
    const std::string good = "PMGNTRK,4630.250,N,00715.500,E,01234,M,120000.6,A,,070621";
    struct Case {
        std::string body;
        int result;
    };
    const Case cases[] = {
        {good, 1},
        {"PMGNTRK,46x0.250,N,00715.500,E,01234,M,120000,A,,070621", -2},
        {"PMGNTRK,9100.000,N,00715.500,E,01234,M,120000,A,,070621", -3},
        {"PMGNTRK,4630.250", -4},
        {"PMGNTRK,4630.250,X,00715.500,E,01234,M,120000,A,,070621", -5},
        {"PMGNTRK,4630.250,N", -6},
        {"PMGNTRK,4630.250,N,00715.500", -7},
        {"PMGNTRK,4630.250,N,18015.500,E,01234,M,120000,A,,070621", -8},
        {"PMGNTRK,4630.250,N,007a5.500,E,01234,M,120000,A,,070621", -9},
        {"PMGNTRK,4630.250,N,00715.500,Q,01234,M,120000,A,,070621", -10},
        {"PMGNTRK,4630.250,N,00715.500,E", -11},
        {"PMGNTRK,4630.250,N,00715.500,E,12a4,M,120000,A,,070621", -12},
        {"PMGNTRK,4630.250,N,00715.500,E,01234", -13},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,K,120000,A,,070621", -14},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M", -15},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M,126000,A,,070621", -16},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M,120000", -17},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M,120000,A", -18},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M,120000,A,", -19},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M,120000,A,,07062x", -20},
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M,120000,A,,991321", -20},  // month 13
        {"PMGNTRK,4630.250,N,00715.500,E,01234,M,120000,V,,070621", 0},    // no fix: skipped
        {"PMGNTRK,4630.250,N,00715.500,E,-0012,M,120000,A,,070621", 1},    // below sea level
    };
    for (const Case& c : cases) {
        TrackPoint point;
        EXPECT_EQ(ParseTrackPoint(c.body, point), c.result) << c.body;
    }
    TrackPoint point;
    ASSERT_EQ(ParseTrackPoint(good, point), 1);
    // 2021-06-07 12:00:00.6 rounds up to 12:00:01: 11481 days and 43201 s after the epoch.
    EXPECT_EQ(point.time, 11481u * 86400u + 43201u);
    // 46 deg 30.250 min = 46.5041667 deg = 554816319 semicircles (2^31 per 180 deg).
    EXPECT_EQ(point.latitude, 554816319);
    EXPECT_EQ(point.longitude, 86595290);
    EXPECT_EQ(point.gpsAltitude, 12340);
    EXPECT_EQ(point.pressureAltitude, 0);
    ASSERT_EQ(ParseTrackPoint("PMGNTRK,4630.250,S,00715.500,W,-0012,M,120000.4,A,,070621", point),
              1);
    EXPECT_EQ(point.time, 11481u * 86400u + 43200u);
    EXPECT_EQ(point.latitude, -554816319);
    EXPECT_EQ(point.longitude, -86595290);
    EXPECT_EQ(point.gpsAltitude, -120);
    // Feet: 1000 ft = 3048 dm.
    ASSERT_EQ(ParseTrackPoint("PMGNTRK,4630.250,N,00715.500,E,01000,F,120000,A,,070621", point), 1);
    EXPECT_EQ(point.gpsAltitude, 3048);
}

TEST(MagellanFrames, VersionDecidesWhetherTheTrackLogCanBeRead) {
    struct Case {
        const char* body;
        int version100;
        const char* refusal;
    };
    const Case cases[] = {
        {"PMGNVER,24,3.13,GPS 315", 313, "E200 Model does not support time in track log"},
        {"PMGNVER,24,3.14,GPS 315", 314, ""},
        {"PMGNVER,30,2.00,MAP 330", 200, "E200 Model does not support date in track log"},
        {"PMGNVER,30,2.01,MAP 330", 201, ""},
        {"PMGNVER,33,4.03,MERIDIAN, GOLD", 403, ""},
    };
    for (const Case& c : cases) {
        VersionAnswer version;
        ASSERT_EQ(ParseVersion(c.body, version), 0) << c.body;
        EXPECT_EQ(version.version100, c.version100);
        EXPECT_EQ(TrackLogRefusal(version), c.refusal) << c.body;
    }
    VersionAnswer version;
    ASSERT_EQ(ParseVersion("PMGNVER,33,4.03,MERIDIAN, GOLD", version), 0);
    EXPECT_EQ(InstrumentDescription(version), "MERIDIAN, GOLD, SW 4.03");
    EXPECT_NE(ParseVersion("PMGNVER,33", version), 0);
    EXPECT_NE(ParseVersion("PMGNWPL,33,4.03,X", version), 0);
}

TEST(MagellanFrames, WaypointNamesFollowTheStrictRule) {
    struct Case {
        const char* name;
        int result;
        const char* stored;
    };
    const Case cases[] = {{"FIESCH", 0, "FIESCH"}, {"ab-9", 0, "AB-9"}, {"SEVENCH", -16, ""},
                          {"A B", -16, ""},        {"", -16, ""},       {"A_B", -16, ""}};
    for (const Case& c : cases) {
        Waypoint waypoint;
        const std::string body =
            std::string("PMGNWPL,4630.250,N,00715.500,E,0001000,M,") + c.name + ",Landing field";
        EXPECT_EQ(ParseWaypoint(body, waypoint), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(waypoint.Id(), c.stored);
            EXPECT_EQ(waypoint.Description(), "Landing field");
            EXPECT_EQ(waypoint.altitude, 1000);
        }
    }
    Waypoint waypoint;
    ASSERT_EQ(ParseWaypoint("PMGNWPL,4630.250,N,00715.500,E,01000,F,TOP", waypoint), 0);
    EXPECT_EQ(waypoint.altitude, 305);  // 1000 ft
    EXPECT_EQ(waypoint.Description(), "");
}

TEST(MagellanFrames, UploadSentenceKeepsItsFields) {
    Waypoint waypoint;
    // 46 deg 30.250 min N, 7 deg 15.5 min E.
    waypoint.latitude = 554816319;
    waypoint.longitude = 86595290;
    waypoint.altitude = 1234;
    waypoint.SetId("A,B*C");
    waypoint.SetDescription("Field, north*side");
    EXPECT_EQ(WaypointUploadSentence(waypoint),
              WithChecksum("PMGNWPL,4630.250,N,00715.500,E,1234,M,A B C,Field  north side"));
    waypoint.latitude = -waypoint.latitude;
    waypoint.longitude = -waypoint.longitude;
    waypoint.altitude = -12;
    waypoint.SetId("LOW");
    waypoint.SetDescription("");
    EXPECT_EQ(WaypointUploadSentence(waypoint),
              WithChecksum("PMGNWPL,4630.250,S,00715.500,W,-012,M,LOW,"));
}

// ---------------------------------------------------------------- sessions

struct Outcome {
    int result = 999;
    DownloadedTrackLog track;
    std::vector<Waypoint> waypoints;
    std::string productName, productText, instrumentDescription;
    int competitionId = -2;
};

class MagellanSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pty.Open(), 0);
        link = std::make_unique<device::EmulatorLink>(pty.TakeMaster());
        ASSERT_TRUE(link->Valid());
        layer.SetPortName(pty.SlavePath());
        layer.SetOpenAttempts(2);
    }
    void TearDown() override {
        layer.WaitForJobEnd();
        if (emulator)
            emulator->Stop();
    }

    MagellanEmulator& StartEmulator(MagellanEmulatorConfig config) {
        emulator = std::make_unique<MagellanEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    static MagellanEmulatorConfig Flight(const std::string& name) {
        MagellanEmulatorConfig config;
        config.track = FixturePoints(name);
        config.waypoints = BuiltInWaypoints();
        config.stallMs = 3000;
        return config;
    }

    device::JobStart Start(AccessFunction function) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kMagellan;
        start.completion = [this](device::GpsAccessJob& job) {
            outcome.result = job.result;
            outcome.track = std::move(job.track);
            outcome.waypoints = std::move(job.waypoints);
            outcome.productName = job.productName;
            outcome.productText = job.productText;
            outcome.instrumentDescription = job.instrumentDescription;
            outcome.competitionId = job.competitionId;
        };
        return start;
    }

    const Outcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        EXPECT_FALSE(layer.Running());
        return outcome;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<MagellanEmulator> emulator;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    Outcome outcome;
};

void ExpectSameFixes(const std::vector<TrackPoint>& got, const std::vector<TrackPoint>& held) {
    ASSERT_EQ(got.size(), held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        ASSERT_EQ(got[i].flags, i == 0 ? 1u : 0u) << i;
        ASSERT_EQ(got[i].time, held[i].time) << i;
        ASSERT_EQ(got[i].latitude, held[i].latitude) << i;
        ASSERT_EQ(got[i].longitude, held[i].longitude) << i;
        ASSERT_EQ(got[i].gpsAltitude, held[i].gpsAltitude) << i;
        ASSERT_EQ(got[i].pressureAltitude, 0) << i;
    }
}

TEST_F(MagellanSessionTest, TrackLogIsTheHeldFlightFixByFix) {
    StartEmulator(Flight("20241007TZN.igc"));
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog));
    ASSERT_EQ(out.result, 0) << (sink.Errors().empty() ? "" : sink.Errors()[0].text);
    EXPECT_TRUE(sink.Errors().empty());
    const std::vector<TrackPoint> held = FixturePoints("20241007TZN.igc");
    ExpectSameFixes(out.track.points, held);
    EXPECT_EQ(out.track.sourceKind, 7);
    EXPECT_EQ(out.track.protocol, 6);
    EXPECT_FALSE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_FALSE(out.track.hasPressureAltitude);
    EXPECT_EQ(out.productName, "Magellan");
    EXPECT_EQ(out.productText, "Magellan: 33");
    EXPECT_EQ(out.instrumentDescription, "MERIDIAN GPS, SW 4.03");
    EXPECT_TRUE(sink.SawStatus(std::to_string(held.size()) + " points received"));
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()), "9600 8N1");
    const std::vector<std::string> received = emulator->Received();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[0], "PMGNCMD,VERSION");
    EXPECT_EQ(received[1], "PMGNCMD,TRACK,2");
}

TEST_F(MagellanSessionTest, WaypointsAreReadAsTheUnitKeepsThem) {
    StartEmulator(Flight("marcourt.igc"));
    const Outcome& out = Run(Start(AccessFunction::kReadWaypoints));
    ASSERT_EQ(out.result, 0) << (sink.Errors().empty() ? "" : sink.Errors()[0].text);
    const std::vector<Waypoint> held = BuiltInWaypoints();
    ASSERT_EQ(out.waypoints.size(), held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(out.waypoints[i].Id(), held[i].Id());
        EXPECT_EQ(out.waypoints[i].Description(), held[i].Description());
        EXPECT_EQ(out.waypoints[i].latitude, held[i].latitude);
        EXPECT_EQ(out.waypoints[i].longitude, held[i].longitude);
        EXPECT_EQ(out.waypoints[i].altitude, held[i].altitude);
    }
    EXPECT_TRUE(sink.SawStatus("4 waypoints received"));
}

TEST_F(MagellanSessionTest, UploadSendsOneSentenceEachAndTheEndCommand) {
    MagellanEmulator& emu = StartEmulator(Flight("marcourt.igc"));
    auto start = Start(AccessFunction::kWriteWaypoints);
    Waypoint first;
    first.latitude = 554816319;
    first.longitude = 86595290;
    first.altitude = 1050;
    first.SetId("TOP1");
    first.SetDescription("Launch, west");
    Waypoint second = first;
    second.latitude = -second.latitude;
    second.SetId("LOW");
    second.altitude = -12;
    start.waypoints = {first, second};
    ASSERT_EQ(Run(std::move(start)).result, 0);
    EXPECT_EQ(emu.Uploads(),
              (std::vector<std::string>{"PMGNWPL,4630.250,N,00715.500,E,1050,M,TOP1,Launch  west",
                                        "PMGNWPL,4630.250,S,00715.500,E,-012,M,LOW,Launch  west"}));
    // The end command follows the last sentence; the emulator reads it on its own thread.
    for (int i = 0; i < 1000 && !emu.UploadEnded(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(emu.UploadEnded());
    EXPECT_TRUE(sink.SawStatus("Waypoint 2 sent"));
    EXPECT_TRUE(sink.SawStatus("2 waypoints sent"));
    EXPECT_EQ(sink.Progress(), (std::vector<std::pair<long long, long long>>{{1, 2}, {2, 2}}));
}

TEST_F(MagellanSessionTest, CompetitionScanWithoutIdsStillDownloads) {
    StartEmulator(Flight("marcourt.igc"));
    auto start = Start(AccessFunction::kReadTrackLog);
    start.competitionMode = true;
    const Outcome& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << (sink.Errors().empty() ? "" : sink.Errors()[0].text);
    EXPECT_EQ(out.track.points.size(), FixturePoints("marcourt.igc").size());
    EXPECT_EQ(out.competitionId, -1);
}

TEST_F(MagellanSessionTest, CompetitionScanFindsThePilotId) {
    MagellanEmulatorConfig config = Flight("marcourt.igc");
    Waypoint id;
    ASSERT_EQ(competition::EncodeIdWaypoint(competition::IdKind::kCompId, 417, 0, id), 0);
    config.waypoints.push_back(id);
    StartEmulator(std::move(config));
    auto start = Start(AccessFunction::kReadTrackLog);
    start.competitionMode = true;
    const Outcome& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0);
    EXPECT_EQ(out.competitionId, 417);
    EXPECT_TRUE(sink.SawStatus("Comp ID = 417"));
}

TEST_F(MagellanSessionTest, OldFirmwareIsRefusedBeforeTheTrackRequest) {
    MagellanEmulatorConfig config = Flight("marcourt.igc");
    config.productId = 24;
    config.version = "3.13";
    MagellanEmulator& emu = StartEmulator(std::move(config));
    EXPECT_LT(Run(Start(AccessFunction::kReadTrackLog)).result, 0);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "E200 Model does not support time in track log");
    EXPECT_EQ(sink.Errors()[0].title, "Read GPS track log");
    for (const std::string& body : emu.Received())
        EXPECT_NE(body, "PMGNCMD,TRACK,2");
}

TEST_F(MagellanSessionTest, AbortStopsTheDownloadAndTheUnit) {
    MagellanEmulatorConfig config = Flight("20241007TZN.igc");
    config.lineRateBaud = 2400;  // a quarter of a second a sentence
    MagellanEmulator& emu = StartEmulator(std::move(config));
    ASSERT_EQ(layer.StartGpsJob(Start(AccessFunction::kReadTrackLog)), 0);
    ASSERT_TRUE(sink.WaitForStatus("10 points received", 120'000));
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    EXPECT_LT(outcome.result, 0);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_TRUE(sink.SawStatus("Transfer aborted"));
    EXPECT_TRUE(outcome.track.points.empty());
    // The unit is told to stop sending (the debug trace keeps what was written).
    EXPECT_NE(trace.Contents().find("$PMGNCMD,STOP*6A"), std::string::npos);
    emu.Stop();
}

struct FaultCase {
    const char* name;
    AccessFunction function;
    std::vector<std::pair<MagellanStep, MagellanFault>> faults;
    const char* error;  // nullptr: the job succeeds
    const char* title;
};

class MagellanFaultTest : public MagellanSessionTest,
                          public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MagellanFaultTest, EndsWithItsMessageOrRecovers) {
    const FaultCase& c = GetParam();
    layer.SetOpenAttempts(4);  // 4 s: two version requests
    MagellanEmulator& emu = StartEmulator(Flight("marcourt.igc"));
    for (const auto& [step, fault] : c.faults)
        emu.ArmFault(step, fault);
    const Outcome& out = Run(Start(c.function));
    const auto errors = sink.Errors();
    const std::size_t held = FixturePoints("marcourt.igc").size();
    if (c.error == nullptr) {
        EXPECT_EQ(out.result, 0);
        EXPECT_TRUE(errors.empty()) << errors[0].text;
        if (c.function == AccessFunction::kReadTrackLog) {
            const bool lost = c.faults.front().second == MagellanFault::kNoFix;
            EXPECT_EQ(out.track.points.size(), lost ? held - 1 : held);
            if (c.faults.front().second == MagellanFault::kBelowSea) {
                EXPECT_EQ(out.track.points[held / 2].gpsAltitude, -120);
            }
        }
        return;
    }
    EXPECT_LT(out.result, 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, c.error);
    EXPECT_EQ(errors[0].title, c.title);
    EXPECT_TRUE(out.track.points.empty());
    EXPECT_TRUE(out.waypoints.empty());
}

constexpr auto kTrack = AccessFunction::kReadTrackLog;
constexpr auto kWaypoints = AccessFunction::kReadWaypoints;
using S = MagellanStep;
using F = MagellanFault;
constexpr const char* kTrackTitle = "Read GPS track log";

INSTANTIATE_TEST_SUITE_P(
    Faults, MagellanFaultTest,
    ::testing::Values(
        FaultCase{"VersionSilence",
                  kTrack,
                  {{S::kVersion, F::kSilence}, {S::kVersion, F::kSilence}},
                  "No valid response from GPS",
                  "Get GPS product data"},
        FaultCase{"VersionSilenceOnceIsAskedAgain",
                  kTrack,
                  {{S::kVersion, F::kSilence}},
                  nullptr,
                  nullptr},
        FaultCase{
            "VersionGarbageIsSkipped", kTrack, {{S::kVersion, F::kGarbage}}, nullptr, nullptr},
        FaultCase{"VersionCut",
                  kTrack,
                  {{S::kVersion, F::kCut}},
                  "COM port read error",
                  "Reading product data"},
        FaultCase{"TrackChecksum",
                  kTrack,
                  {{S::kTrack, F::kBadChecksum}},
                  "E206 Format error 3",
                  kTrackTitle},
        FaultCase{"TrackBadField",
                  kTrack,
                  {{S::kTrack, F::kBadField}},
                  "E205 Format error 3",
                  kTrackTitle},
        FaultCase{
            "TrackCut", kTrack, {{S::kTrack, F::kCut}}, "E204 COM port read error", kTrackTitle},
        FaultCase{"TrackStop",
                  kTrack,
                  {{S::kTrack, F::kStop}},
                  "E207 The instrument stopped answering in the middle of a sentence; nothing "
                  "was kept",
                  kTrackTitle},
        FaultCase{"TrackStall",
                  kTrack,
                  {{S::kTrack, F::kStall}},
                  "E207 The instrument stopped answering in the middle of a sentence; nothing "
                  "was kept",
                  kTrackTitle},
        FaultCase{"TrackSilence",
                  kTrack,
                  {{S::kTrack, F::kSilence}},
                  "No track points received",
                  kTrackTitle},
        FaultCase{"TrackGarbageIsSkipped", kTrack, {{S::kTrack, F::kGarbage}}, nullptr, nullptr},
        FaultCase{
            "TrackPointWithoutFixIsSkipped", kTrack, {{S::kTrack, F::kNoFix}}, nullptr, nullptr},
        FaultCase{
            "TrackPointBelowSeaLevelIsKept", kTrack, {{S::kTrack, F::kBelowSea}}, nullptr, nullptr},
        FaultCase{"WaypointNameTooLong",
                  kWaypoints,
                  {{S::kWaypoints, F::kBadField}},
                  "E304 Format error 16",
                  kTrackTitle},
        FaultCase{"WaypointChecksum",
                  kWaypoints,
                  {{S::kWaypoints, F::kBadChecksum}},
                  "E305 Format error 3",
                  kTrackTitle},
        FaultCase{"WaypointCut",
                  kWaypoints,
                  {{S::kWaypoints, F::kCut}},
                  "E303 COM port read error",
                  kTrackTitle},
        FaultCase{"WaypointSilence",
                  kWaypoints,
                  {{S::kWaypoints, F::kSilence}},
                  "No waypoints received",
                  kTrackTitle}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tracora::protocols::magellan
