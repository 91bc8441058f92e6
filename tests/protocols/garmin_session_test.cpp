// The Garmin session routines run through the device layer against the Garmin emulator over a
// pseudo-terminal: downloads and uploads under several capability arrays, the product table of
// units without one, and the faults of the link.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/emulator_link.hpp"
#include "device/gps_job.hpp"
#include "device/pseudo_terminal.hpp"
#include "device/recording_sink.hpp"
#include "emulate/emulator_registry.hpp"
#include "formats/openair/openair_parser.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/garmin/garmin_emulator.hpp"

namespace tracora::protocols::garmin {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;

constexpr int kJobDeadlineMs = 120'000;
constexpr int kPromptMs = 10'000;

std::vector<TrackPoint> FixturePoints(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    std::vector<TrackPoint> points;
    EXPECT_TRUE(FlightFromIgc(text, points)) << name;
    return points;
}

Waypoint MakeWaypoint(const char* id, const char* comment, std::int32_t lat, std::int32_t lon,
                      std::int32_t alt, int kind) {
    Waypoint point;
    point.SetId(id);
    point.SetDescription(comment);
    point.latitude = lat;
    point.longitude = lon;
    point.altitude = alt;
    point.kind = kind;
    return point;
}

std::vector<Waypoint> SomeWaypoints() {
    return {MakeWaypoint("LAUNCH", "Takeoff north", 551111111, 73333333, 1234, 0),
            MakeWaypoint("LZ", "Landing field", 550000000, -73333333, 456, 1),
            // 0x10 bytes in the position: the frames stuff them.
            MakeWaypoint("TP16", "Dle test", 0x10101010, 0x00100010, 16, 0)};
}

struct Outcome {
    int result = 999;
    DownloadedTrackLog track;
    std::vector<Waypoint> waypoints;
    std::string productName, instrumentDescription;
};

class GarminSessionTest : public ::testing::Test {
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

    GarminEmulator& StartEmulator(GarminEmulatorConfig config) {
        emulator = std::make_unique<GarminEmulator>(*link, std::move(config));
        emulator->Start();
        return *emulator;
    }

    static GarminEmulatorConfig Config(const char* preset) {
        GarminEmulatorConfig config;
        if (preset == nullptr) {
            config.capabilities.clear();
        } else {
            const CapabilityPreset* found = FindCapabilityPreset(preset);
            EXPECT_NE(found, nullptr) << preset;
            config.capabilities = found->entries;
        }
        config.flights = {FixturePoints("marcourt.igc"), FixturePoints("20241007TZN.igc")};
        config.waypoints = SomeWaypoints();
        return config;
    }

    device::JobStart Start(AccessFunction function) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kGarmin;
        start.completion = [this](device::GpsAccessJob& job) {
            outcome.result = job.result;
            outcome.track = std::move(job.track);
            outcome.waypoints = std::move(job.waypoints);
            outcome.productName = job.productName;
            outcome.instrumentDescription = job.instrumentDescription;
        };
        return start;
    }

    const Outcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        EXPECT_FALSE(layer.Running());
        return outcome;
    }

    bool SawStatusStarting(const std::string& prefix) {
        for (const std::string& status : sink.Statuses()) {
            if (status.rfind(prefix, 0) == 0)
                return true;
        }
        return false;
    }

    std::string FirstError() {
        const auto errors = sink.Errors();
        return errors.empty() ? "" : errors[0].text;
    }

    device::PseudoTerminal pty;
    std::unique_ptr<device::EmulatorLink> link;
    std::unique_ptr<GarminEmulator> emulator;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    Outcome outcome;
};

// ---------------------------------------------------------------- downloads

class GarminTrackTypes : public GarminSessionTest,
                         public ::testing::WithParamInterface<const char*> {};

TEST_P(GarminTrackTypes, TrackLogHoldsEveryFixOfTheFlights) {
    GarminEmulator& emu = StartEmulator(Config(GetParam()));
    const Outcome& out = Run(Start(AccessFunction::kReadTrackLog));
    ASSERT_EQ(out.result, 0) << FirstError();
    const std::vector<TrackPoint> first = FixturePoints("marcourt.igc");
    const std::vector<TrackPoint> second = FixturePoints("20241007TZN.igc");
    std::vector<TrackPoint> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    ASSERT_EQ(out.track.points.size(), expected.size());
    const bool hasAltitude = emu.TrackPointType() != 300;
    const bool marksSegments = emu.TrackPointType() <= 302;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TrackPoint& a = out.track.points[i];
        const TrackPoint& b = expected[i];
        ASSERT_EQ(a.time, b.time) << i;
        ASSERT_EQ(a.latitude, b.latitude) << i;
        ASSERT_EQ(a.longitude, b.longitude) << i;
        ASSERT_EQ(a.gpsAltitude, hasAltitude ? b.gpsAltitude : 0) << i;
        const bool starts = i == 0 || (marksSegments && i == first.size());
        ASSERT_EQ(a.flags, starts ? 1u : 0u) << i;
    }
    EXPECT_EQ(out.track.sourceKind, 1);
    EXPECT_EQ(out.track.protocol, 0);
    EXPECT_TRUE(out.track.timeIsUtc);
    EXPECT_TRUE(out.track.gRecordEligible);
    EXPECT_FALSE(out.track.hasPressureAltitude);
    EXPECT_EQ(out.productName, "Garmin");
    EXPECT_EQ(out.instrumentDescription, GarminEmulatorConfig{}.product.description);
    EXPECT_TRUE(SawStatusStarting(std::to_string(expected.size()) + " track positions read ("));
    // The bar counts the records the unit announced (positions and track headers), all of
    // them at the end.
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
    EXPECT_GE(sink.LastProgress().second, static_cast<long long>(expected.size()));
    EXPECT_EQ(emulate::LineSettingsText(pty.SlaveFd()), "9600 8N1");
    EXPECT_FALSE(emu.PoweredOff());
}

INSTANTIATE_TEST_SUITE_P(Arrays, GarminTrackTypes,
                         ::testing::Values("d108", "d109", "d110", "d103", "d154"));

class GarminWaypointTypes : public GarminSessionTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(GarminWaypointTypes, WaypointsComeDownAndGoUp) {
    const std::string preset = GetParam();
    GarminEmulator& emu = StartEmulator(Config(GetParam()));
    const Outcome& down = Run(Start(AccessFunction::kReadWaypoints));
    ASSERT_EQ(down.result, 0) << FirstError();
    const std::vector<Waypoint> sent = SomeWaypoints();
    ASSERT_EQ(down.waypoints.size(), sent.size());
    const std::uint16_t type = emu.WaypointType();
    const bool altitude = (type >= 108 && type <= 110) || type >= 150;
    const bool symbol = type == 102 || type == 104 || (type >= 108 && type <= 110) || type >= 154;
    const char* ids[] = {"LAUNCH", "LZ", "TP16"};
    // Fixed types turn every character but letters, digits and blanks of a comment into '-'.
    const char* comments[] = {"TAKEOFF NORTH", "LANDING FIELD", "DLE TEST"};
    for (std::size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(i);
        const Waypoint& w = down.waypoints[i];
        EXPECT_EQ(w.Id(), ids[i]);
        EXPECT_EQ(w.Description(), comments[i]);
        EXPECT_EQ(w.latitude, sent[i].latitude);
        EXPECT_EQ(w.longitude, sent[i].longitude);
        EXPECT_EQ(w.altitude, altitude ? sent[i].altitude : 0);
        EXPECT_EQ(w.kind, symbol ? sent[i].kind : 0);
    }
    EXPECT_TRUE(SawStatusStarting("3 of 3 waypoints read ("));
    const std::vector<std::pair<long long, long long>> third{{1, 3}, {2, 3}, {3, 3}};
    EXPECT_EQ(sink.Progress(), third);

    auto start = Start(AccessFunction::kWriteWaypoints);
    start.waypoints = sent;
    ASSERT_EQ(Run(std::move(start)).result, 0) << FirstError();
    const std::vector<Waypoint> stored = emu.UploadedWaypoints();
    ASSERT_EQ(stored.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(stored[i].Id(), ids[i]);
        EXPECT_EQ(stored[i].latitude, sent[i].latitude);
        EXPECT_EQ(stored[i].longitude, sent[i].longitude);
    }
    // The upload's count follows the download's on the bar.
    std::vector<std::pair<long long, long long>> both = third;
    both.insert(both.end(), third.begin(), third.end());
    EXPECT_EQ(sink.Progress(), both);
}

INSTANTIATE_TEST_SUITE_P(Arrays, GarminWaypointTypes,
                         ::testing::Values("d100", "d101", "d102", "d103", "d104", "d107", "d108",
                                           "d109", "d110", "d150", "d151", "d152", "d154", "d155"));

TEST_F(GarminSessionTest, UnitWithoutCapabilityArrayIsFoundInTheProductTable) {
    GarminEmulatorConfig config = Config(nullptr);
    config.product = {77, 355, "GPS unit without an array"};
    GarminEmulator& emu = StartEmulator(std::move(config));
    EXPECT_EQ(emu.WaypointType(), 103);
    const Outcome& out = Run(Start(AccessFunction::kReadWaypoints));
    ASSERT_EQ(out.result, 0) << FirstError();
    ASSERT_EQ(out.waypoints.size(), 3u);
    EXPECT_EQ(out.waypoints[1].Id(), "LZ");
}

// ---------------------------------------------------------------- uploads as track logs

class GarminTrackUpload : public GarminSessionTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(GarminTrackUpload, WaypointListBecomesATrackLog) {
    GarminEmulator& emu = StartEmulator(Config(GetParam()));
    auto start = Start(AccessFunction::kWriteWaypointsAsTrack);
    start.waypoints = SomeWaypoints();
    ASSERT_EQ(Run(std::move(start)).result, 0) << FirstError();
    const auto tracks = emu.UploadedTracks();
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_EQ(tracks[0].points.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(tracks[0].points[i].latitude, SomeWaypoints()[i].latitude);
        EXPECT_EQ(tracks[0].points[i].longitude, SomeWaypoints()[i].longitude);
    }
    // A300 has no header; A301 and A302 send one, named after the first waypoint.
    const std::vector<std::uint32_t> ids = emu.Received();
    const bool header = emu.TrackProtocol() != 300;
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 99u), header ? 1 : 0);
    if (header && emu.TrackProtocol() == 301) {
        EXPECT_EQ(tracks[0].name, "LAUNCH");
    }
    EXPECT_TRUE(sink.SawStatus("Point 3 of 3 sent"));
}

INSTANTIATE_TEST_SUITE_P(Arrays, GarminTrackUpload, ::testing::Values("d103", "d108", "d109"));

TEST_F(GarminSessionTest, MarkedAirspacesGoUpAsTrackLogs) {
    GarminEmulator& emu = StartEmulator(Config("d108"));
    std::vector<CtrArea> areas;
    openair::OpenAirReport report;
    ASSERT_GT(openair::ParseOpenAir("AC D\nAN FIRST ZONE\nAL GND\nAH FL65\n"
                                    "DP 50:00:00 N 005:00:00 E\nDP 50:10:00 N 005:00:00 E\n"
                                    "DP 50:10:00 N 005:10:00 E\n"
                                    "AC C\nAN SKIPPED\nAL GND\nAH FL65\n"
                                    "DP 51:00:00 N 005:00:00 E\nDP 51:10:00 N 005:00:00 E\n"
                                    "DP 51:10:00 N 005:10:00 E\n",
                                    areas, report),
              0);
    ASSERT_EQ(areas.size(), 2u);
    areas[0].selected = true;
    auto start = Start(AccessFunction::kWriteAirspace);
    start.airspaces = areas;
    ASSERT_EQ(Run(std::move(start)).result, 0) << FirstError();
    const auto tracks = emu.UploadedTracks();
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].name, "FIRST ZONE");
    // Three corners and the first again to close the outline; 50 N 5 E in semicircles.
    ASSERT_EQ(tracks[0].points.size(), 4u);
    EXPECT_NEAR(tracks[0].points[0].latitude, 596523236, 1);
    EXPECT_NEAR(tracks[0].points[0].longitude, 59652324, 1);
    EXPECT_TRUE(sink.SawStatus("CTR 1: Point 4 of 4 sent"));
}

TEST_F(GarminSessionTest, PowerOffFollowsADownloadWhenAsked) {
    GarminEmulator& emu = StartEmulator(Config("d108"));
    auto start = Start(AccessFunction::kReadTrackLog);
    start.powerOff = true;
    ASSERT_EQ(Run(std::move(start)).result, 0) << FirstError();
    // The command goes out after the transfer; the unit may take a moment to read it.
    for (int i = 0; i < 100 && !emu.PoweredOff(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(emu.PoweredOff());
}

TEST_F(GarminSessionTest, AbortDuringTheTrackDownloadTellsTheUnit) {
    GarminEmulatorConfig config = Config("d108");
    config.lineRateBaud = 1200;
    GarminEmulator& emu = StartEmulator(std::move(config));
    ASSERT_EQ(layer.StartGpsJob(Start(AccessFunction::kReadTrackLog)), 0);
    ASSERT_TRUE(sink.WaitForStatus("Requesting track log download", kJobDeadlineMs));
    const auto aborted = std::chrono::steady_clock::now();
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::milliseconds(kPromptMs));
    EXPECT_LT(outcome.result, 0);
    EXPECT_TRUE(sink.Errors().empty());
    EXPECT_EQ(sink.Statuses().back(), "Transfer aborted");
    EXPECT_TRUE(outcome.track.points.empty());
    for (int i = 0; i < 100 && emu.Aborts() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(emu.Aborts(), 1);
}

// ---------------------------------------------------------------- faults

struct FaultCase {
    const char* name;
    AccessFunction function;
    std::vector<std::pair<GarminStep, GarminFault>> faults;
    const char* error;  // nullptr: the job succeeds in spite of the faults
    const char* title;
};

class GarminFaultTest : public GarminSessionTest,
                        public ::testing::WithParamInterface<FaultCase> {};

TEST_P(GarminFaultTest, EndsWithItsMessageOrRecovers) {
    const FaultCase& c = GetParam();
    GarminEmulator& emu = StartEmulator(Config("d108"));
    for (const auto& [step, fault] : c.faults)
        emu.ArmFault(step, fault);
    auto start = Start(c.function);
    start.waypoints = SomeWaypoints();
    const Outcome& out = Run(std::move(start));
    const auto errors = sink.Errors();
    if (c.error == nullptr) {
        EXPECT_EQ(out.result, 0);
        EXPECT_TRUE(errors.empty()) << errors[0].text;
        if (c.function == AccessFunction::kReadTrackLog) {
            EXPECT_EQ(out.track.points.size(), FixturePoints("marcourt.igc").size() +
                                                   FixturePoints("20241007TZN.igc").size());
        }
        return;
    }
    EXPECT_LT(out.result, 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, c.error);
    EXPECT_EQ(errors[0].title, c.title);
    EXPECT_TRUE(out.track.points.empty());
}

constexpr auto kTrack = AccessFunction::kReadTrackLog;
constexpr auto kWpt = AccessFunction::kReadWaypoints;
constexpr auto kUp = AccessFunction::kWriteWaypoints;
using S = GarminStep;
using F = GarminFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, GarminFaultTest,
    ::testing::Values(
        FaultCase{"ProductSilence",
                  kTrack,
                  {{S::kProduct, F::kSilence}},
                  "No valid response from GPS",
                  "Get GPS product data"},
        FaultCase{"ProductChecksum",
                  kTrack,
                  {{S::kProduct, F::kChecksum}},
                  "No valid response from GPS",
                  "Get GPS product data"},
        FaultCase{"ProductCut",
                  kTrack,
                  {{S::kProduct, F::kCut}},
                  "COM port read error",
                  "Requesting GPS product data"},
        FaultCase{"UnknownProduct",
                  kTrack,
                  {{S::kProduct, F::kUnknown}},
                  "GPS product ID not supported",
                  "Requesting GPS product data"},
        FaultCase{"NoCapabilityArray", kTrack, {{S::kCapabilities, F::kMissing}}, nullptr, nullptr},
        FaultCase{"CapabilitiesCut",
                  kTrack,
                  {{S::kCapabilities, F::kCut}},
                  "COM port error while waiting for protocol capability packet",
                  "Requesting GPS product data"},
        FaultCase{"CommandSilence",
                  kTrack,
                  {{S::kCommand, F::kSilence}},
                  "E200 Timeout while waiting for data packet",
                  "Read GPS track log"},
        FaultCase{"CommandNakIsSentAgain", kTrack, {{S::kCommand, F::kNak}}, nullptr, nullptr},
        FaultCase{"RecordsChecksum",
                  kTrack,
                  {{S::kRecords, F::kChecksum}},
                  "E202 Timeout while waiting for record count packet",
                  "Read GPS track log"},
        FaultCase{"RecordLoneDle",
                  kTrack,
                  {{S::kRecord, F::kLoneDle}},
                  "E205 Timeout while waiting for log data packet",
                  "Read GPS track log"},
        FaultCase{"RecordGarbageIsSkipped", kTrack, {{S::kRecord, F::kGarbage}}, nullptr, nullptr},
        FaultCase{"RecordCut",
                  kTrack,
                  {{S::kRecord, F::kCut}},
                  "E205 COM port error while waiting for log data packet",
                  "Read GPS track log"},
        FaultCase{"CompleteSilence",
                  kTrack,
                  {{S::kComplete, F::kSilence}},
                  "E211 Timeout while waiting for transfer complete packet",
                  "Read GPS track log"},
        FaultCase{"WaypointRecordChecksum",
                  kWpt,
                  {{S::kRecord, F::kChecksum}},
                  "E305 Timeout while waiting for wpt. data packet",
                  "Read GPS waypoints"},
        FaultCase{"WaypointCommandCut",
                  kWpt,
                  {{S::kCommand, F::kCut}},
                  "E300 COM port error while waiting for ack. packet",
                  "Read GPS waypoints"},
        FaultCase{"UploadAckSilence",
                  kUp,
                  {{S::kUpload, F::kSilence}},
                  "E400 Timeout while waiting for ack. packet",
                  "Upload waypoints"},
        FaultCase{"UploadNakIsSentAgain", kUp, {{S::kUpload, F::kNak}}, nullptr, nullptr},
        FaultCase{"UploadCut",
                  kUp,
                  {{S::kUpload, F::kCut}},
                  "E400 COM port error while waiting for ack. packet",
                  "Upload waypoints"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tracora::protocols::garmin
