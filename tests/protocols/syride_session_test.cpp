// The Syride SYS'Nav: its reports, flight records and waypoint slots, and the real session
// routines run through the device layer against the emulator behind the in-process fake HID
// back end; the hidapi back end opened by a path that does not exist.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/gps_job.hpp"
#include "device/hid_transport.hpp"
#include "device/recording_sink.hpp"
#include "formats/igc/igc_reader.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/syride/syride_emulator.hpp"
#include "protocols/syride/syride_frames.hpp"

namespace tracora::protocols::syride {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;

constexpr int kJobDeadlineMs = 120'000;
constexpr const char* kFakePath = "fake-hid:syride";

std::vector<TrackPoint> FixturePoints(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    igc::IgcParseResult parsed;
    EXPECT_GT(igc::ParseIgc(text, parsed), 0);
    for (TrackPoint& p : parsed.points)
        p.flags = 0;
    return parsed.points;
}

// A position at 1e-7 degree, worked out from the definition of the units.
std::int32_t AtE7(std::int32_t semicircles) {
    const double e7 = std::round(semicircles * 180.0 / 2147483648.0 * 1e7);
    return static_cast<std::int32_t>(std::round(e7 * 2147483648.0 / 180.0 / 1e7));
}

Waypoint Named(const std::string& id, const std::string& description, std::int32_t latitude) {
    Waypoint w;
    w.SetId(id);
    w.SetDescription(description);
    w.latitude = latitude;
    w.longitude = -latitude / 3;
    w.altitude = 812;
    return w;
}

// ---------------------------------------------------------------- frames

TEST(SyrideFrames, ReportsCarryTheirSumAndMark) {
    const std::uint8_t arguments[] = {0x00, 0xA0, 0x01, 0x00, 61};
    const Report request = MakeRequest(kCmdReadMemory, arguments);
    EXPECT_EQ(request[0], 1);
    EXPECT_EQ(request[1], 6);
    EXPECT_EQ(request[6], 61);
    EXPECT_EQ(request[63], (6 + 0xA0 + 1 + 61) & 0xFF);
    const std::uint8_t data[] = {1, 2, 3};
    Report reply = MakeReply(data);
    EXPECT_TRUE(ReplyComplete(reply));
    reply[62] = 0;
    EXPECT_FALSE(ReplyComplete(reply));
    reply = MakeReply(data);
    reply[5] ^= 1;
    EXPECT_FALSE(ReplyComplete(reply));
}

TEST(SyrideFrames, FlightOf120SecondsHoldsTwoFullRecords) {
    EXPECT_EQ(FlightBytes(120), 1708u);
    EXPECT_EQ(FlightBytes(1), 27u);
    EXPECT_EQ(FlightBytes(0), 18u);
    std::vector<TrackPoint> flight(120);
    for (std::size_t i = 0; i < flight.size(); ++i) {
        flight[i].time = 5000 + static_cast<std::uint32_t>(i);
        flight[i].latitude = 550'000'000 + static_cast<std::int32_t>(i) * 97;
        flight[i].longitude = -8'000'000 - static_cast<std::int32_t>(i) * 13;
        flight[i].gpsAltitude = 12000 + static_cast<std::int32_t>(i % 7) * 10;
    }
    const std::vector<std::uint8_t> bytes = EncodeFlight(flight);
    ASSERT_EQ(bytes.size(), 1708u);
    // The second full record follows the first (19 bytes) and 59 deltas (14 bytes each); it
    // holds the latitude of second 60 in 1e-7 degree, big-endian.
    const std::size_t second = 8 + 19 + 59 * 14;
    const std::int32_t e7 =
        static_cast<std::int32_t>(std::round(flight[60].latitude * 180.0 / 2147483648.0 * 1e7));
    EXPECT_EQ((bytes[second] << 24) | (bytes[second + 1] << 16) | (bytes[second + 2] << 8) |
                  bytes[second + 3],
              e7);
    const std::vector<TrackPoint> back = DecodeFlight(bytes, 120, 5000);
    ASSERT_EQ(back.size(), 120u);
    for (std::size_t i = 0; i < back.size(); ++i) {
        ASSERT_EQ(back[i].time, 5000 + i);
        ASSERT_EQ(back[i].latitude, AtE7(flight[i].latitude)) << i;
        ASSERT_EQ(back[i].longitude, AtE7(flight[i].longitude)) << i;
        ASSERT_EQ(back[i].gpsAltitude, flight[i].gpsAltitude) << i;
        ASSERT_EQ(back[i].flags, i == 0 ? 1u : 0u);
    }
    EXPECT_TRUE(DecodeFlight(bytes, 0, 5000).empty());
    EXPECT_TRUE(DecodeFlight(std::span(bytes).first(100), 120, 5000).empty());
}

TEST(SyrideFrames, SlotsNameByIdOrDescription) {
    std::array<std::uint8_t, kSlotSize> slot{};
    ASSERT_TRUE(EncodeSlot(Named("", "TWELVE CHARS", 400'000'000), slot));
    Waypoint back;
    ASSERT_TRUE(DecodeSlot(slot, 9, back));
    EXPECT_EQ(back.Description(), "TWELVE CH");  // the first 9 characters
    EXPECT_EQ(back.Id(), "TWELVE");
    EXPECT_EQ(back.latitude, AtE7(400'000'000));
    EXPECT_EQ(back.altitude, 812);
    ASSERT_TRUE(EncodeSlot(Named("ab c", "ignored", 1), slot));
    ASSERT_TRUE(DecodeSlot(slot, 9, back));
    EXPECT_EQ(back.Description(), "ab c");
    EXPECT_EQ(back.Id(), "AB");  // up to a blank, raised
    EXPECT_FALSE(EncodeSlot(Named("", "", 1), slot));
    slot.fill(0xFF);
    EXPECT_FALSE(DecodeSlot(slot, 0, back));
    ASSERT_TRUE(EncodeSlot(Named("FAR", "", 1), slot));
    const auto tooFar = Le32(900'000'000);
    std::copy(tooFar.begin(), tooFar.end(), slot.begin());
    EXPECT_FALSE(DecodeSlot(slot, 0, back));
}

// ---------------------------------------------------------------- sessions

SyrideEmulator* current = nullptr;

std::unique_ptr<device::Transport> FakeTransports(device::TransportKind) {
    return std::make_unique<device::FakeHidTransport>(*current, kFakePath);
}

struct Outcome {
    int result = 999;
    DownloadedTrackLog track;
    std::vector<Waypoint> waypoints;
    device::FlightList flights;
    std::string productText;
    int competitionId = 999, civlId = 999;
};

class SyrideSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        layer.SetPortName("COM1");
        layer.SetOpenAttempts(2);
        layer.SetTransportFactory(FakeTransports);
    }
    void TearDown() override {
        layer.WaitForJobEnd();
        current = nullptr;
    }
    SyrideEmulator& Unit(SyrideEmulatorConfig config) {
        emulator = std::make_unique<SyrideEmulator>(std::move(config));
        current = emulator.get();
        return *emulator;
    }
    device::JobStart Start(AccessFunction function) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kSyride;
        start.completion = [this](device::GpsAccessJob& job) {
            outcome.result = job.result;
            outcome.track = std::move(job.track);
            outcome.waypoints = job.waypoints;
            outcome.flights = job.flights;
            outcome.productText = job.productText;
            outcome.competitionId = job.competitionId;
            outcome.civlId = job.civlId;
        };
        return start;
    }
    const Outcome& Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        return outcome;
    }
    std::string FirstError() {
        const auto errors = sink.Errors();
        return errors.empty() ? std::string() : errors[0].text;
    }

    std::unique_ptr<SyrideEmulator> emulator;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    Outcome outcome;
};

TEST_F(SyrideSessionTest, ChosenFlightsAreJoinedInTimeOrder) {
    SyrideEmulatorConfig config;
    config.flights = {FixturePoints("20241007TZN.igc"), FixturePoints("marcourt.igc")};
    Unit(config);
    auto start = Start(AccessFunction::kReadTrackLog);
    start.selectedFlights.set(0);
    start.selectedFlights.set(1);
    const Outcome& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    // Both flights in time order (the joining follows their times, not the list's order).
    std::vector<TrackPoint> expected = config.flights[0];
    std::vector<TrackPoint> other = config.flights[1];
    if (other.front().time < expected.front().time)
        std::swap(expected, other);
    expected.insert(expected.end(), other.begin(), other.end());
    ASSERT_EQ(out.track.points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(out.track.points[i].time, expected[i].time) << i;
        ASSERT_EQ(out.track.points[i].latitude, AtE7(expected[i].latitude)) << i;
        ASSERT_EQ(out.track.points[i].longitude, AtE7(expected[i].longitude)) << i;
        ASSERT_EQ(out.track.points[i].gpsAltitude, expected[i].gpsAltitude) << i;
        ASSERT_EQ(out.track.points[i].flags, i == 0 ? 1u : 0u) << i;
    }
    EXPECT_EQ(out.track.sourceKind, 13);
    EXPECT_TRUE(out.track.timeIsUtc);
    EXPECT_FALSE(out.track.hasPressureAltitude);
    EXPECT_EQ(out.productText, "SYS'Nav: 31337");
    EXPECT_TRUE(sink.SawStatus("2 tracks in track list read"));
    EXPECT_TRUE(sink.SawStatus(std::to_string(expected.size()) + " points received"));
    // The bar counts each flight's bytes to their end.
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
}

TEST_F(SyrideSessionTest, FlightListHoldsStartsAndDurations) {
    SyrideEmulatorConfig config;
    config.flights = {FixturePoints("marcourt.igc")};
    Unit(config);
    const Outcome& out = Run(Start(AccessFunction::kReadFlightList));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_EQ(out.flights.start[0], config.flights[0].front().time);
    EXPECT_EQ(out.flights.duration[0], config.flights[0].size());
    EXPECT_EQ(out.flights.start[1], 0u);
}

TEST_F(SyrideSessionTest, EmptyListAndInconsistentFlightFail) {
    Unit(SyrideEmulatorConfig{});
    EXPECT_LT(Run(Start(AccessFunction::kReadTrackLog)).result, 0);
    EXPECT_EQ(FirstError(), "No tracklogs found");
}

TEST_F(SyrideSessionTest, FlightLongerThanItsMemoryIsRefused) {
    SyrideEmulatorConfig config;
    config.flights = {FixturePoints("marcourt.igc")};
    config.inconsistentFlight = 0;
    Unit(config);
    auto start = Start(AccessFunction::kReadTrackLog);
    start.selectedFlights.set(0);
    const Outcome& out = Run(std::move(start));
    EXPECT_LT(out.result, 0);
    EXPECT_EQ(FirstError(), "Flight memory / duration inconsistency");
    EXPECT_TRUE(out.track.points.empty());
}

TEST_F(SyrideSessionTest, WaypointsAreReadFromTheTable) {
    SyrideEmulatorConfig config;
    config.waypoints = {Named("TAKEOF", "", 460'000'000), Named("", "Landing field", 461'000'000)};
    Unit(config);
    const Outcome& out = Run(Start(AccessFunction::kReadWaypoints));
    ASSERT_EQ(out.result, 0) << FirstError();
    ASSERT_EQ(out.waypoints.size(), 2u);
    EXPECT_EQ(out.waypoints[0].Id(), "TAKEOF");
    EXPECT_EQ(out.waypoints[1].Id(), "LANDIN");
    EXPECT_EQ(out.waypoints[1].Description(), "Landing f");
    EXPECT_EQ(out.waypoints[1].latitude, AtE7(461'000'000));
    EXPECT_TRUE(sink.SawStatus("2 waypoints received"));
}

// A position in semicircles from degrees, minutes and seconds north or east.
std::int32_t Dms(int d, int m, int s) {
    return static_cast<std::int32_t>(
        std::lround((d + m / 60.0 + s / 3600.0) * 2147483648.0 / 180.0));
}

Waypoint At(const std::string& id, std::int32_t latitude, std::int32_t longitude) {
    Waypoint w;
    w.SetId(id);
    w.latitude = latitude;
    w.longitude = longitude;
    return w;
}

struct IdScanCase {
    const char* name;
    bool compSpecial;
    int competitionId;
    int civlId;
    const char* status;  // empty: no status expected
};

class SyrideIdScanTest : public SyrideSessionTest,
                         public ::testing::WithParamInterface<IdScanCase> {};

// Competition mode reads the waypoint table for the pilot's ID waypoints before the flight:
// 12345 is spelt 3 deg 4' 5" N, 0 deg 1' 2" E and 9876543 5 deg 4' 3" N, 98 deg 7' 6" E; the
// special variant takes only a waypoint named '-' and digits.
TEST_P(SyrideIdScanTest, FindsTheIdsTheTableCarries) {
    const IdScanCase& c = GetParam();
    SyrideEmulatorConfig config;
    config.flights = {FixturePoints("marcourt.igc")};
    config.waypoints = {Named("TAKEOF", "", 460'000'000), At("COMPID", Dms(3, 4, 5), Dms(0, 1, 2)),
                        At("CIVLID", Dms(5, 4, 3), Dms(98, 7, 6)), At("-123", 0, 0)};
    Unit(config);
    auto start = Start(AccessFunction::kReadTrackLog);
    start.selectedFlights.set(0);
    start.competitionMode = true;
    start.compSpecial = c.compSpecial;
    const Outcome& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_EQ(out.competitionId, c.competitionId);
    EXPECT_EQ(out.civlId, c.civlId);
    EXPECT_TRUE(sink.SawStatus(c.status));
    EXPECT_EQ(out.track.points.size(), config.flights[0].size());
    EXPECT_TRUE(out.waypoints.empty());
}

INSTANTIATE_TEST_SUITE_P(Variants, SyrideIdScanTest,
                         ::testing::Values(IdScanCase{"Standard", false, 12345, 9876543,
                                                      "Comp ID = 12345, CIVL ID = 9876543"},
                                           IdScanCase{"Special", true, 123, -1, "Comp ID = 123"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(SyrideSessionTest, CompetitionModeWithoutIdWaypointsGivesNoIds) {
    SyrideEmulatorConfig config;
    config.flights = {FixturePoints("marcourt.igc")};
    config.waypoints = {Named("TAKEOF", "", 460'000'000)};
    Unit(config);
    auto start = Start(AccessFunction::kReadTrackLog);
    start.selectedFlights.set(0);
    start.competitionMode = true;
    const Outcome& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    EXPECT_EQ(out.competitionId, -1);
    EXPECT_EQ(out.civlId, -1);
}

TEST_F(SyrideSessionTest, UploadAddsBehindTheInstrumentsOwn) {
    SyrideEmulatorConfig config;
    config.waypoints = {Named("OLD1", "", 1000), Named("OLD2", "", 2000)};
    SyrideEmulator& unit = Unit(config);
    auto start = Start(AccessFunction::kWriteWaypoints);
    start.waypoints = {Named("NEW1", "", 3000), Named("", "", 4000), Named("OLD1", "", 5000)};
    const Outcome& out = Run(std::move(start));
    ASSERT_EQ(out.result, 0) << FirstError();
    const std::vector<Waypoint> stored = unit.Waypoints();
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[0].Id(), "OLD1");
    EXPECT_EQ(stored[1].Id(), "OLD2");
    EXPECT_EQ(stored[2].Id(), "NEW1");
    EXPECT_EQ(stored[3].Id(), "OLD1");  // nothing is merged
    EXPECT_EQ(stored[3].latitude, AtE7(5000));
    EXPECT_EQ(unit.Erased(), 6);
    EXPECT_EQ(unit.Written(), 1);  // 4 slots fit one page
    // The bar: the one page of the table, written.
    EXPECT_EQ(sink.Progress().size(), 1u);
    EXPECT_TRUE(sink.ProgressEndsAtTotal());
    // The number added, and a word about the one without a name.
    EXPECT_TRUE(sink.SawStatus("2 waypoints added"));
    EXPECT_EQ(FirstError(), "1 waypoints without ID or description not added");
    EXPECT_NE(trace.Contents().find("Waypoint table before the upload"), std::string::npos);
}

TEST_F(SyrideSessionTest, UploadIsCutAt1228Slots) {
    SyrideEmulatorConfig config;
    for (int i = 0; i < 1226; ++i)
        config.waypoints.push_back(Named("W" + std::to_string(i), "", i));
    SyrideEmulator& unit = Unit(config);
    auto start = Start(AccessFunction::kWriteWaypoints);
    for (int i = 0; i < 5; ++i)
        start.waypoints.push_back(Named("N" + std::to_string(i), "", i));
    ASSERT_EQ(Run(std::move(start)).result, 0) << FirstError();
    const std::vector<Waypoint> stored = unit.Waypoints();
    ASSERT_EQ(stored.size(), 1228u);
    EXPECT_EQ(stored.back().Id(), "N1");
    EXPECT_TRUE(sink.SawStatus("2 waypoints added"));
    EXPECT_EQ(FirstError(), "3 waypoints not added: the instrument holds at most 1228");
}

struct FaultCase {
    const char* name;
    AccessFunction function;
    SyrideStep step;
    SyrideFault fault;
    const char* error;  // nullptr: the job succeeds
};

class SyrideFaultTest : public SyrideSessionTest,
                        public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SyrideFaultTest, EndsWithItsMessageOrRecovers) {
    const FaultCase& c = GetParam();
    SyrideEmulatorConfig config;
    config.flights = {FixturePoints("marcourt.igc")};
    config.waypoints = {Named("OLD1", "", 1000)};
    SyrideEmulator& unit = Unit(config);
    unit.ArmFault(c.step, c.fault);
    auto start = Start(c.function);
    start.selectedFlights.set(0);
    start.waypoints = {Named("NEW1", "", 3000)};
    const Outcome& out = Run(std::move(start));
    if (c.error == nullptr) {
        EXPECT_EQ(out.result, 0) << FirstError();
        EXPECT_TRUE(sink.Errors().empty()) << FirstError();
        return;
    }
    EXPECT_LT(out.result, 0);
    const auto errors = sink.Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().text, c.error);
    EXPECT_TRUE(out.track.points.empty());
}

constexpr auto kTrack = AccessFunction::kReadTrackLog;
constexpr auto kUpload = AccessFunction::kWriteWaypoints;
using S = SyrideStep;
using F = SyrideFault;

INSTANTIATE_TEST_SUITE_P(
    Faults, SyrideFaultTest,
    ::testing::Values(
        FaultCase{"SilenceIsAskedAgain", kTrack, S::kIdentify, F::kSilence, nullptr},
        FaultCase{"GarbageIsAskedAgain", kTrack, S::kMemory, F::kGarbage, nullptr},
        FaultCase{"NeverAValidReply", kTrack, S::kList, F::kNever, "No valid USB response"},
        FaultCase{"Unplugged", kTrack, S::kMemory, F::kCut, "USB read error"},
        FaultCase{"UnpluggedBeforeIdentification", kTrack, S::kIdentify, F::kCut, "USB read error"},
        FaultCase{"EraseFails", kUpload, S::kErase, F::kNever,
                  "The waypoint memory was erased but not written again: the instrument's "
                  "waypoints are lost. The table read before the upload is in the debug trace."},
        FaultCase{"WriteFails", kUpload, S::kWrite, F::kCut,
                  "The waypoint memory was erased but not written again: the instrument's "
                  "waypoints are lost. The table read before the upload is in the debug trace."}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SyrideSessionTest, WriteFailureAfterEraseIsReportedPlainly) {
    SyrideEmulatorConfig config;
    config.waypoints = {Named("OLD1", "", 1000)};
    SyrideEmulator& unit = Unit(config);
    unit.ArmFault(S::kWrite, F::kCut);
    auto start = Start(kUpload);
    start.waypoints = {Named("NEW1", "", 3000)};
    EXPECT_LT(Run(std::move(start)).result, 0);
    const auto errors = sink.Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].text.rfind("The waypoint memory was erased but not written again", 0), 0u);
    EXPECT_EQ(errors[1].title, "Upload GPS waypoints");
}

// An abort while the device keeps silent at each step ends the job without success.
TEST_F(SyrideSessionTest, AbortAtEveryStepEndsWithoutSuccess) {
    struct Case {
        SyrideStep step;
        const char* waitFor;
    };
    const Case cases[] = {{S::kIdentify, "Requesting product info (2)"},
                          {S::kList, "Product data read"},
                          {S::kMemory, "1 tracks in track list read"}};
    for (const Case& c : cases) {
        SyrideEmulatorConfig config;
        config.flights = {FixturePoints("marcourt.igc")};
        SyrideEmulator& unit = Unit(config);
        for (int i = 0; i < 10; ++i)
            unit.ArmFault(c.step, F::kSilence);
        auto start = Start(kTrack);
        start.selectedFlights.set(0);
        ASSERT_EQ(layer.StartGpsJob(std::move(start)), 0);
        EXPECT_TRUE(sink.WaitForStatus(c.waitFor, kJobDeadlineMs)) << c.waitFor;
        ASSERT_EQ(layer.AbortGpsJob(), 0);
        layer.Join();
        EXPECT_LT(outcome.result, 0) << c.waitFor;
        EXPECT_EQ(sink.Statuses().back(), "Transfer aborted") << c.waitFor;
        EXPECT_TRUE(sink.Errors().empty()) << FirstError();
        EXPECT_TRUE(outcome.track.points.empty());
        outcome = Outcome{};
    }
}

// The system's back end: hidapi, a device opened by its path; a path with no device behind
// it fails as a device that is not there.
TEST_F(SyrideSessionTest, MissingDeviceByPathGivesNoValidResponse) {
    layer.SetTransportFactory(device::MakeSystemTransport);
    layer.SetPortName("/dev/hidraw-tracora-missing");
    const Outcome& out = Run(Start(AccessFunction::kReadWaypoints));
    EXPECT_LT(out.result, 0);
    EXPECT_EQ(FirstError(), "No valid response from GPS");
    EXPECT_EQ(sink.Errors()[0].title, "Get GPS product data");
    auto hid = device::MakeHidapiTransport();
    EXPECT_EQ(hid->Open("/dev/hidraw-tracora-missing"), device::kIoNotFound);
}

}  // namespace
}  // namespace tracora::protocols::syride
