// The binary track files: MapSource (tracks and waypoints of the versions 'd' to 'i') and the
// .dat position log, read from the hand-built fixtures of tools/make_binary_fixtures.py, whose
// values the expectations below repeat.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "formats/dat_log/dat_log.hpp"
#include "formats/format_registry.hpp"
#include "formats/formats_support.hpp"
#include "formats/mapsource/mapsource.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora {
namespace {

std::string Binary(const std::string& name) {
    return testing::ReadFixture(testing::FixturePath("binary/" + name));
}

std::int32_t Semicircles(double degrees) {
    return static_cast<std::int32_t>(std::llround(degrees * 2147483648.0 / 180.0));
}

TEST(MapSource, EveryVersionReadsItsWaypointsAndTracks) {
    for (const char* file : {"both-d.mps", "both-h.mps", "both-i.mps"}) {
        SCOPED_TRACE(file);
        const std::string bytes = Binary(file);
        const mapsource::MapSourceRead wpts = mapsource::ReadMapSourceWaypoints(bytes);
        ASSERT_EQ(wpts.status, 2) << wpts.message;
        EXPECT_EQ(wpts.waypoints[0].Id(), "TAKEOF");
        EXPECT_EQ(wpts.waypoints[0].Description(), "Start place");
        EXPECT_EQ(wpts.waypoints[0].latitude, Semicircles(46.5));
        EXPECT_EQ(wpts.waypoints[0].longitude, Semicircles(7.25));
        EXPECT_EQ(wpts.waypoints[0].altitude, 1234);
        EXPECT_EQ(wpts.waypoints[1].Id(), "LZ");
        EXPECT_EQ(wpts.waypoints[1].Description(), "Landing \xC3\xA9t\xC3\xA9");
        EXPECT_EQ(wpts.waypoints[1].altitude, 0);
        EXPECT_EQ(wpts.waypoints[1].longitude, Semicircles(-70.125));
        const mapsource::MapSourceRead track = mapsource::ReadMapSourceTrack(bytes);
        ASSERT_EQ(track.status, 5) << track.message;
        const std::uint32_t flags[] = {1, 0, 0, 1, 0};
        const std::int32_t altitudes[] = {10000, 10010, -50, 120, 130};
        const std::uint32_t times[] = {1086170400, 1086170401, 1086170402, 1086174000, 1086174005};
        for (std::size_t k = 0; k < 5; ++k) {
            EXPECT_EQ(track.points[k].flags, flags[k]) << k;
            EXPECT_EQ(track.points[k].gpsAltitude, altitudes[k]) << k;
            EXPECT_EQ(track.points[k].time, times[k]) << k;
        }
        EXPECT_EQ(track.points[4].latitude, Semicircles(-33.901));
        EXPECT_EQ(track.points[4].longitude, Semicircles(151.201));
    }
}

TEST(MapSource, Refusals) {
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"MsR", "File format error at 00000000h"},
        {"MsRcdX and more", "Not a MapSource file"},
        {std::string("MsRcd\0\2\0\0\0Xi\0", 13), "Not a MapSource file"},
        {Binary("version-j.mps"), "Unsupported MapSource version"},
        {Binary("after-end.mps"), "File format error at 00000034h"},
        {Binary("both-i.mps").substr(0, 300), "File format error at "},
        {Binary("short-waypoint.mps"), "File format error at "},
        {Binary("forged-count.mps"), "File format error at "},
    };
    for (const Case& c : cases) {
        const mapsource::MapSourceRead track = mapsource::ReadMapSourceTrack(c.bytes);
        const mapsource::MapSourceRead wpts = mapsource::ReadMapSourceWaypoints(c.bytes);
        const std::string expected = c.message;
        if (expected != "File format error at " || c.bytes != Binary("forged-count.mps")) {
            EXPECT_EQ(wpts.status, -1) << expected;
            EXPECT_TRUE(wpts.message.starts_with(expected)) << wpts.message;
        }
        if (expected != "File format error at " || c.bytes != Binary("short-waypoint.mps")) {
            EXPECT_EQ(track.status, -1) << expected;
            EXPECT_TRUE(track.message.starts_with(expected)) << track.message;
        }
        EXPECT_TRUE(track.points.empty());
        EXPECT_TRUE(wpts.waypoints.empty());
    }
    // The waypoint file detection hands MapSource files to the same reader.
    waypoints::WaypointReadOptions options;
    const waypoints::WaypointReadResult detected =
        waypoints::ReadWaypointText(Binary("both-h.mps"), options);
    EXPECT_EQ(detected.status, 2);
    EXPECT_EQ(waypoints::ReadWaypointText(Binary("version-j.mps"), options).message,
              "Unsupported MapSource version");
}

TEST(MapSource, WrittenFilesReadBack) {
    std::vector<TrackPoint> points(3);
    for (std::size_t k = 0; k < points.size(); ++k) {
        points[k].time = 1086170400u + static_cast<std::uint32_t>(k) * 7;
        points[k].latitude = Semicircles(-12.3456 + static_cast<double>(k));
        points[k].longitude = Semicircles(-123.4567);
        points[k].gpsAltitude = 12345 + static_cast<std::int32_t>(k);  // 1234.5 m
        points[k].pressureAltitude = 999;
    }
    points[1].flags = 1;
    std::vector<Waypoint> list(1);
    list[0].SetId(
        "W\xC3\x9C"
        "1");
    list[0].SetDescription("caf\xC3\xA9 & co");
    list[0].altitude = -17;
    list[0].latitude = Semicircles(1.5);
    const std::string track = mapsource::MapSourceDocument(points, {});
    // Magic, 'D' and 'A' in 45 bytes, the 'T' header in 42, 31 per point, 'V' in 7.
    EXPECT_EQ(track.size(), 45u + 42u + 3u * 31u + 7u);
    EXPECT_EQ(track.substr(0, 13), std::string("MsRcd\0\2\0\0\0Di\0", 13));
    const mapsource::MapSourceRead back = mapsource::ReadMapSourceTrack(track);
    ASSERT_EQ(back.status, 3) << back.message;
    for (std::size_t k = 0; k < points.size(); ++k) {
        EXPECT_EQ(back.points[k].time, points[k].time);
        EXPECT_EQ(back.points[k].latitude, points[k].latitude);
        EXPECT_EQ(back.points[k].longitude, points[k].longitude);
        EXPECT_EQ(back.points[k].gpsAltitude, 12340);  // whole metres
        EXPECT_EQ(back.points[k].pressureAltitude, 0);
        EXPECT_EQ(back.points[k].flags, k == 0 ? 1u : 0u);
    }
    const std::string both = mapsource::MapSourceDocument(points, list);
    const mapsource::MapSourceRead wpts = mapsource::ReadMapSourceWaypoints(both);
    ASSERT_EQ(wpts.status, 1) << wpts.message;
    EXPECT_EQ(wpts.waypoints[0].Id(),
              "W\xC3\x9C"
              "1");
    EXPECT_EQ(wpts.waypoints[0].Description(), "caf\xC3\xA9 & co");
    EXPECT_EQ(wpts.waypoints[0].altitude, -17);
    EXPECT_EQ(wpts.waypoints[0].latitude, list[0].latitude);
    EXPECT_EQ(mapsource::ReadMapSourceTrack(both).status, 3);
    // Nothing to write: a file that reads as none.
    const std::string empty = mapsource::MapSourceDocument({}, {});
    EXPECT_EQ(mapsource::ReadMapSourceTrack(empty).status, 0);
    EXPECT_EQ(formats::FindFormat("mapsource")->read(empty).message, "No positions found");
}

TEST(DatLog, PositionsTimesAndAltitudes) {
    struct Expected {
        double latitude, longitude;
        std::int32_t altitude;
        std::uint32_t time;
    };
    const Expected altitudes[] = {{46.5, 7.25, 1500, 1086602400},
                                  {46.51, 7.26, -12, 1086602401},
                                  {46.52, 7.27, 8000000, 1086602405}};
    struct Case {
        const char* file;
        std::size_t count;
        bool withAltitude;
    };
    for (const Case& c : {Case{"altitudes.dat", 3, true}, Case{"no-altitudes.dat", 3, false}}) {
        SCOPED_TRACE(c.file);
        const dat::DatRead read = dat::ReadDatTrack(Binary(c.file));
        ASSERT_EQ(read.status, static_cast<int>(c.count)) << read.message;
        for (std::size_t k = 0; k < c.count; ++k) {
            // UTM in whole metres: within a metre.
            EXPECT_NEAR(SemicirclesToDegrees(read.points[k].latitude), altitudes[k].latitude, 2e-5);
            EXPECT_NEAR(SemicirclesToDegrees(read.points[k].longitude), altitudes[k].longitude,
                        2e-5);
            EXPECT_EQ(read.points[k].time, altitudes[k].time);
            EXPECT_EQ(read.points[k].gpsAltitude, c.withAltitude ? altitudes[k].altitude : 0);
            EXPECT_EQ(read.points[k].flags, k == 0 ? 1u : 0u);
        }
    }
    const dat::DatRead south = dat::ReadDatTrack(Binary("south.dat"));
    ASSERT_EQ(south.status, 2) << south.message;
    EXPECT_NEAR(SemicirclesToDegrees(south.points[1].latitude), -33.91, 2e-5);
    EXPECT_NEAR(SemicirclesToDegrees(south.points[1].longitude), 151.21, 2e-5);
}

TEST(DatLog, Refusals) {
    std::string header(16, '\0');
    header[12] = '\x80';
    std::string noBit = Binary("no-altitudes.dat");
    noBit[12] = '\0';
    std::string zero = Binary("no-altitudes.dat");
    zero[8] = zero[9] = zero[10] = zero[11] = '\0';
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {std::string(15, '\x80'), "File header too small"},
        {std::string(17, '\x80'), "File size not a multiple of 4"},
        {zero, "Zero track positions"},
        {noBit, "Bad DWORD number 4"},
        {Binary("inconsistent.dat"), "File size not consistent with track positions"},
        // 28 bytes whose count times 3 plus 5 wraps to 7 words in 32 bits.
        {Binary("wrapping-count.dat"), "File size not consistent with track positions"},
        {Binary("sum-off.dat"), "Checksum verification failed"},
        {Binary("validation-off.dat"), "Data validation failed"},
        {Binary("altitudes.dat").substr(0, 64), "File size not consistent with track positions"},
    };
    for (const Case& c : cases) {
        const dat::DatRead read = dat::ReadDatTrack(c.bytes);
        EXPECT_EQ(read.status, -1) << c.message;
        EXPECT_EQ(read.message, c.message);
        EXPECT_TRUE(read.points.empty());
    }
    EXPECT_EQ(Binary("wrapping-count.dat").size(), 28u);
    // The validation word is optional.
    EXPECT_EQ(dat::ReadDatTrack(Binary("altitudes.dat").substr(0, 68)).status, 3);
}

}  // namespace
}  // namespace tracora
