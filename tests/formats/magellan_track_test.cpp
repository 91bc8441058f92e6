// Magellan track files: the sentences, their checksums, the status, signed altitudes and the
// end command.
#include <string>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "formats/formats_support.hpp"
#include "formats/magellan_track/magellan_track.hpp"

namespace tracora::magellan {
namespace {

// 2024-06-01 10:00:00 UTC.
constexpr std::uint32_t kTen = 12571u * 86400u + 36000u;

TEST(MagellanTrack, PointsStatusAltitudesAndTheEnd) {
    const MagellanTrackRead read =
        ReadMagellanTrackFile(testing::ReadFixture(testing::FixturePath("tracks/magellan.log")));
    ASSERT_EQ(read.status, 3) << read.message;
    EXPECT_EQ(read.points[0].time, kTen);
    EXPECT_EQ(read.points[0].gpsAltitude, 10000);
    EXPECT_EQ(read.points[0].flags, 1u);
    EXPECT_NEAR(SemicirclesToDegrees(read.points[0].latitude), 46.5, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(read.points[0].longitude), 7.25, 1e-7);
    // Below sea level; a fraction of .5 is the next second.
    EXPECT_EQ(read.points[1].gpsAltitude, -120);
    EXPECT_EQ(read.points[1].time, kTen + 2);
    EXPECT_NEAR(SemicirclesToDegrees(read.points[1].latitude), 46.501, 1e-7);
    // The 'V' point is passed over; feet: trunc(3281 x 3.048 + 0.5).
    EXPECT_EQ(read.points[2].time, kTen + 3);
    EXPECT_EQ(read.points[2].gpsAltitude, 10000);  // 10000.488 + 0.5
    EXPECT_EQ(read.points[2].flags, 0u);
    EXPECT_NEAR(SemicirclesToDegrees(read.points[2].latitude), -33.9, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(read.points[2].longitude), -70.125, 1e-7);
}

TEST(MagellanTrack, BadLines) {
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        // Lower-case checksum digits.
        {"$PMGNTRK,4630.000,N,00715.000,E,01000,M,100000,A,,010624*5d\r\n", "Bad line 1"},
        {"$PMGNTRK,4630.000,N,00715.000,E,01000,M,100000,A,,010624*2F\r\n", "Bad line 1"},
        {"$PMGNFMT,x\r\n$PMGNWPL,4630.000,N,00715.000,E,01000,M,A*00\r\n", "Bad line 2"},
        {"$PMGNTRK,9030.000,N,00715.000,E,01000,M,100000,A,,010624*56\r\n", "Bad line 1"},
        {"PMGNTRK\r\n", "Bad line 1"},
    };
    for (const Case& c : cases) {
        const MagellanTrackRead read = ReadMagellanTrackFile(c.text);
        EXPECT_EQ(read.status, -1) << c.text;
        EXPECT_EQ(read.message, c.message) << c.text;
    }
    EXPECT_EQ(ReadMagellanTrackFile("").status, 0);
}

}  // namespace
}  // namespace tracora::magellan
