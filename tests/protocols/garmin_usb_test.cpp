// The Garmin USB routines through the device layer against the fake USB unit: the session
// start (on either pipe), product data and capability array, downloads announced on the
// interrupt pipe and read from the bulk pipe, uploads with the zero-length packet behind a
// transfer of a multiple of the packet size, and an abort during a track download.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/debug_trace.hpp"
#include "core/file_io.hpp"
#include "device/gps_job.hpp"
#include "device/recording_sink.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/garmin/garmin_usb_emulator.hpp"

namespace tracora::protocols::garmin {
namespace {

using device::AccessFunction;
using device::test_support::RecordingSink;

constexpr int kJobDeadlineMs = 120'000;

// The job owns its transport; this one hands every call to the test's unit, which outlives it.
GarminUsbUnit* g_unit = nullptr;
// The paths the jobs opened, and what Open answers instead of the unit (0: the unit answers).
std::vector<std::string> g_openedPaths;
int g_openStatus = 0;

class ForwardingUsb final : public device::UsbTransport {
public:
    int Open(const std::string& path) override {
        g_openedPaths.push_back(path);
        return g_openStatus != 0 ? g_openStatus : g_unit->Open(path);
    }
    void Close() override { g_unit->Close(); }
    bool IsOpen() const override { return g_unit->IsOpen(); }
    int ReadInterrupt(std::span<std::uint8_t> b, int t, const device::WakeEvent* w) override {
        return g_unit->ReadInterrupt(b, t, w);
    }
    int ReadBulk(std::span<std::uint8_t> b, int t, const device::WakeEvent* w) override {
        return g_unit->ReadBulk(b, t, w);
    }
    int WriteBulkTransfer(std::span<const std::uint8_t> b, int t,
                          const device::WakeEvent* w) override {
        return g_unit->WriteBulkTransfer(b, t, w);
    }
    std::size_t BulkPacketSize() const override { return g_unit->BulkPacketSize(); }
};

std::unique_ptr<device::Transport> FakeUsb(device::TransportKind kind) {
    if (kind != device::TransportKind::kUsb)
        return nullptr;
    return std::make_unique<ForwardingUsb>();
}

std::vector<TrackPoint> FixturePoints(const std::string& name) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(std::string(TRACORA_FIXTURES_DIR) + "/igc/" + name, text),
              FileReadStatus::kOk);
    std::vector<TrackPoint> points;
    EXPECT_TRUE(FlightFromIgc(text, points)) << name;
    return points;
}

Waypoint MakeWaypoint(const char* id, const char* comment, std::int32_t lat, std::int32_t lon) {
    Waypoint point;
    point.SetId(id);
    point.SetDescription(comment);
    point.latitude = lat;
    point.longitude = lon;
    point.altitude = 321;
    return point;
}

class GarminUsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        layer.SetTransportFactory(FakeUsb);
        layer.SetOpenAttempts(2);
    }
    void TearDown() override {
        layer.WaitForJobEnd();
        g_unit = nullptr;
        g_openedPaths.clear();
        g_openStatus = 0;
    }
    GarminUsbUnit& MakeUnit(GarminUsbConfig config) {
        unit = std::make_unique<GarminUsbUnit>(std::move(config));
        g_unit = unit.get();
        return *unit;
    }
    static GarminUsbConfig Config(const char* preset) {
        GarminUsbConfig config;
        config.unit.capabilities = FindCapabilityPreset(preset)->entries;
        config.unit.flights = {FixturePoints("marcourt.igc")};
        config.unit.waypoints = {MakeWaypoint("LAUNCH", "TAKEOFF", 551111111, 73333333),
                                 MakeWaypoint("LZ", "LANDING", -550000000, -73333333)};
        return config;
    }
    device::JobStart Start(AccessFunction function) {
        device::JobStart start;
        start.function = function;
        start.protocol = GpsProtocol::kGarminUsb;
        start.completion = [this](device::GpsAccessJob& job) {
            result = job.result;
            track = std::move(job.track);
            waypoints = std::move(job.waypoints);
            productText = job.productText;
            competitionId = job.competitionId;
        };
        return start;
    }
    int Run(device::JobStart start) {
        EXPECT_EQ(layer.StartGpsJob(std::move(start)), 0);
        layer.Join();
        return result;
    }
    std::string FirstError() {
        const auto errors = sink.Errors();
        return errors.empty() ? "" : errors[0].text;
    }

    std::unique_ptr<GarminUsbUnit> unit;
    DebugTrace trace;
    RecordingSink sink;
    std::atomic<bool> busy{false};
    device::JobLayer layer{GpsDispatchTable(), trace, sink, busy};
    int result = 999;
    DownloadedTrackLog track;
    std::vector<Waypoint> waypoints;
    std::string productText;
    int competitionId = 999;
};

struct SessionVariant {
    const char* name;
    const char* preset;
    bool sessionOnBulk;
    bool extendedProductData;
};

class GarminUsbTrack : public GarminUsbTest,
                       public ::testing::WithParamInterface<SessionVariant> {};

TEST_P(GarminUsbTrack, TrackLogComesFromTheBulkPipe) {
    GarminUsbConfig config = Config(GetParam().preset);
    config.sessionOnBulk = GetParam().sessionOnBulk;
    config.extendedProductData = GetParam().extendedProductData;
    MakeUnit(std::move(config));
    ASSERT_EQ(Run(Start(AccessFunction::kReadTrackLog)), 0) << FirstError();
    const std::vector<TrackPoint> expected = FixturePoints("marcourt.igc");
    ASSERT_EQ(track.points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(track.points[i].time, expected[i].time) << i;
        ASSERT_EQ(track.points[i].latitude, expected[i].latitude) << i;
        ASSERT_EQ(track.points[i].longitude, expected[i].longitude) << i;
        ASSERT_EQ(track.points[i].flags, i == 0 ? 1u : 0u) << i;
    }
    EXPECT_EQ(productText, "Garmin USB: 305419896");  // the unit ID 0x12345678
    EXPECT_EQ(track.protocol, 8);
}

INSTANTIATE_TEST_SUITE_P(Variants, GarminUsbTrack,
                         ::testing::Values(SessionVariant{"Interrupt", "d108", false, false},
                                           SessionVariant{"SessionOnBulk", "d110", true, false},
                                           SessionVariant{"ExtendedProduct", "d103", false, true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(GarminUsbTest, WaypointsComeDownAndGoUpWithTheZeroLengthPacket) {
    GarminUsbUnit& usb = MakeUnit(Config("d108"));
    ASSERT_EQ(Run(Start(AccessFunction::kReadWaypoints)), 0) << FirstError();
    ASSERT_EQ(waypoints.size(), 2u);
    EXPECT_EQ(waypoints[0].Id(), "LAUNCH");
    EXPECT_EQ(waypoints[1].latitude, -550000000);
    EXPECT_EQ(waypoints[1].altitude, 321);

    // A D108 waypoint "AB" without comment is 48 + 3 + 1 data bytes: with the 12-byte header a
    // transfer of 64 bytes, the endpoint's packet size, so a zero-length packet must follow.
    auto start = Start(AccessFunction::kWriteWaypoints);
    start.waypoints = {MakeWaypoint("AB", "", 1000, 2000), MakeWaypoint("ABC", "", 3000, 4000)};
    const std::size_t before = usb.OutTransfers().size();
    ASSERT_EQ(Run(std::move(start)), 0) << FirstError();
    const std::vector<std::size_t> all = usb.OutTransfers();
    const std::vector<std::size_t> sent(all.begin() + static_cast<std::ptrdiff_t>(before),
                                        all.end());
    // Session start, product request, records, the two waypoints (+ zero-length), complete.
    EXPECT_EQ(sent, (std::vector<std::size_t>{12, 12, 14, 64, 0, 65, 14}));
    const auto stored = usb.UploadedWaypoints();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].Id(), "AB");
    EXPECT_EQ(stored[1].longitude, 4000);
}

TEST_F(GarminUsbTest, WaypointListGoesUpAsATrackLog) {
    GarminUsbUnit& usb = MakeUnit(Config("d108"));
    auto start = Start(AccessFunction::kWriteWaypointsAsTrack);
    start.waypoints = {MakeWaypoint("AB", "", 1000, 2000), MakeWaypoint("CD", "", 3000, 4000)};
    ASSERT_EQ(Run(std::move(start)), 0) << FirstError();
    const auto tracks = usb.UploadedTracks();
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].name, "AB");
    ASSERT_EQ(tracks[0].points.size(), 2u);
    EXPECT_EQ(tracks[0].points[1].latitude, 3000);
}

TEST_F(GarminUsbTest, AbortDuringTheTrackDownloadStartsTheSessionAgain) {
    GarminUsbConfig config = Config("d108");
    config.recordDelayMs = 20;  // 220 records: over four seconds
    GarminUsbUnit& usb = MakeUnit(std::move(config));
    ASSERT_EQ(layer.StartGpsJob(Start(AccessFunction::kReadTrackLog)), 0);
    ASSERT_TRUE(sink.WaitForStatus("Requesting track log download", kJobDeadlineMs));
    for (int i = 0; i < 1000 && usb.BulkSent() < 10; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(layer.AbortGpsJob(), 0);
    layer.Join();
    EXPECT_LT(result, 0);
    EXPECT_TRUE(sink.Errors().empty()) << FirstError();
    EXPECT_EQ(sink.Statuses().back(), "Transfer aborted");
    EXPECT_TRUE(track.points.empty());
    EXPECT_EQ(usb.Aborts(), 1);
}

TEST_F(GarminUsbTest, BadCapabilityArrayIsRefused) {
    GarminUsbConfig config = Config("d108");
    config.unit.capabilities.resize(3);  // 9 bytes: fine
    config.unit.capabilities.push_back({'X', 1});
    MakeUnit(std::move(config));
    EXPECT_LT(Run(Start(AccessFunction::kReadTrackLog)), 0);
    EXPECT_EQ(FirstError(), "E126 Bad protocol tag character");
}

TEST_F(GarminUsbTest, PortSettingChoosesTheUnitByItsBusAddress) {
    MakeUnit(Config("d108"));
    struct Case {
        const char* port;
        const char* opened;  // "" is the first unit found
    };
    const Case cases[] = {
        {"usb:1:5", "001:005"}, {"/dev/bus/usb/003/017", "003:017"},
        {"002:009", "002:009"}, {"COM3", ""},
        {"/dev/ttyUSB0", ""},
    };
    for (const Case& c : cases) {
        g_openedPaths.clear();
        layer.SetPortName(c.port);
        ASSERT_EQ(Run(Start(AccessFunction::kReadWaypoints)), 0) << c.port << FirstError();
        ASSERT_EQ(g_openedPaths.size(), 1u) << c.port;
        EXPECT_EQ(g_openedPaths[0], c.opened) << c.port;
    }
}

TEST_F(GarminUsbTest, MissingUnitEndsAtOnceWithoutRetrying) {
    MakeUnit(Config("d108"));
    g_openStatus = device::kIoNotFound;
    layer.SetOpenAttempts(5);
    EXPECT_LT(Run(Start(AccessFunction::kReadTrackLog)), 0);
    ASSERT_EQ(sink.Errors().size(), 1u);
    EXPECT_EQ(sink.Errors()[0].text, "No device interface GUID match");
    EXPECT_EQ(sink.Errors()[0].title, "Searching for USB device names");
    EXPECT_EQ(g_openedPaths.size(), 1u);
    EXPECT_TRUE(track.points.empty());
}

TEST_F(GarminUsbTest, UnitThatCannotBeOpenedIsTriedAgainThenRefused) {
    MakeUnit(Config("d108"));
    g_openStatus = device::kIoBusy;  // another program holds it
    layer.SetOpenAttempts(2);
    EXPECT_LT(Run(Start(AccessFunction::kReadTrackLog)), 0);
    EXPECT_EQ(FirstError(), "Could not open USB port");
    EXPECT_EQ(g_openedPaths.size(), 2u);
}

TEST_F(GarminUsbTest, CompetitionDownloadScansTheWaypointsUnlessTheOptionIsOff) {
    // The competition ID 1234567 as its waypoint spells it: 5 deg 6' 7" N (the last three
    // digits), 12 deg 3' 4" E (the leading two, then one digit each for minutes and seconds).
    const double semicirclesPerDegree = 2147483648.0 / 180.0;
    const auto latitude =
        static_cast<std::int32_t>(std::lround((5 + 6 / 60.0 + 7 / 3600.0) * semicirclesPerDegree));
    const auto longitude =
        static_cast<std::int32_t>(std::lround((12 + 3 / 60.0 + 4 / 3600.0) * semicirclesPerDegree));
    GarminUsbConfig config = Config("d110");
    Waypoint id = MakeWaypoint("COMPID", "COMPID 1234567", latitude, longitude);
    id.altitude = 0;
    config.unit.waypoints.push_back(id);
    GarminUsbUnit& usb = MakeUnit(std::move(config));
    const std::vector<TrackPoint> expected = FixturePoints("marcourt.igc");
    struct Case {
        bool checkWaypoints;
        int competitionId;
        std::size_t transfers;  // session start, product request, (waypoints), track log
    };
    for (const Case c : {Case{true, 1234567, 4}, Case{false, -1, 3}}) {
        const std::size_t before = usb.OutTransfers().size();
        auto start = Start(AccessFunction::kReadTrackLog);
        start.competitionMode = true;
        start.usbCheckWaypoints = c.checkWaypoints;
        ASSERT_EQ(Run(std::move(start)), 0) << FirstError();
        EXPECT_EQ(competitionId, c.competitionId) << c.checkWaypoints;
        EXPECT_EQ(usb.OutTransfers().size() - before, c.transfers) << c.checkWaypoints;
        EXPECT_EQ(track.points.size(), expected.size()) << c.checkWaypoints;
    }
}

}  // namespace
}  // namespace tracora::protocols::garmin
