// The Garmin USB routines through the device layer against the fake USB unit: the session
// start (on either pipe), product data and capability array, downloads announced on the
// interrupt pipe and read from the bulk pipe, uploads with the zero-length packet behind a
// transfer of a multiple of the packet size, and an abort during a track download.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

class ForwardingUsb final : public device::UsbTransport {
public:
    int Open(const std::string& path) override { return g_unit->Open(path); }
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

}  // namespace
}  // namespace tracora::protocols::garmin
