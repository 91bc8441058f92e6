// OziExplorer track files: the header rules, the point lines and their limits, a point count
// that is 0 or wrong, and the round trip.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "formats/format_registry.hpp"
#include "formats/formats_support.hpp"
#include "formats/ozi_track/ozi_track.hpp"

namespace tracora::ozi {
namespace {

using testing::FixturePath;
using testing::ReadFixture;

// 2024-06-01 12:00:00 UTC is day 45444.5 after 1899-12-30, and 12571.5 days after 1989-12-31.
constexpr std::uint32_t kNoon = 12571u * 86400u + 43200u;

std::string Header(const std::string& count) {
    return "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\n"
           "Reserved 3\r\n0,2,255,name                  ,0,0,2,8421376\r\n" +
           count + "\r\n";
}

const std::string kPoint =
    "  46.500000,  7.250000,0,   1000,45444.5000000, 01-jun-24, 12:00:00\r\n";

TEST(OziTrack, PointsAndTheirFields) {
    const OziTrackRead read =
        ReadOziTrack(Header("2") + kPoint + "-46.5,-7.25,1,-2000,45444.5000116,x,y\r\n");
    ASSERT_EQ(read.status, 2) << read.message;
    const TrackPoint& a = read.points[0];
    EXPECT_EQ(a.time, kNoon);
    EXPECT_EQ(a.gpsAltitude, 3048);
    EXPECT_EQ(a.flags, 1u);
    EXPECT_NEAR(SemicirclesToDegrees(a.latitude), 46.5, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(a.longitude), 7.25, 1e-7);
    const TrackPoint& b = read.points[1];
    EXPECT_EQ(b.time, kNoon + 1);
    EXPECT_EQ(b.gpsAltitude, -6095);  // trunc(-2000 x 3.048 + 0.5)
    EXPECT_EQ(b.flags, 0u);           // the file's segment flags are not kept
    // -777 feet: no altitude.
    EXPECT_EQ(
        ReadOziTrack(Header("1") + "46.5,7.25,0,-777.0,45444.5,,\r\n").points.at(0).gpsAltitude, 0);
    EXPECT_NEAR(SemicirclesToDegrees(b.latitude), -46.5, 1e-7);
}

TEST(OziTrack, TheCountIsNotReliedOn) {
    const std::string two = kPoint + kPoint;
    for (const char* count : {"0", "2", "3", "1", "2147483647", "99999999999"}) {
        const OziTrackRead read = ReadOziTrack(Header(count) + two + "\r\n");
        EXPECT_EQ(read.status, 2) << count << ": " << read.message;
    }
    // The last line needs no line end.
    EXPECT_EQ(ReadOziTrack(Header("0") + kPoint + kPoint.substr(0, kPoint.size() - 2)).status, 2);
}

TEST(OziTrack, Refusals) {
    const std::string head = Header("1");
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"", "Missing format line (1)"},
        {"\r\nWGS 84\r\n", "Missing format line (1)"},
        {"OziExplorer Waypoint File Version 1.0\r\n", "Bad format line (1)"},
        {"OziExplorer Track Point File Version 2.1\r\n", "Missing map datum line (2)"},
        {"OziExplorer Track Point File Version 2.1\r\nPotsdam\r\n", "Bad map datum line (2)"},
        {"OziExplorer Track Point File Version 2.1\r\nWGS 84\r\n\r\n", "Bad line 3"},
        {"OziExplorer Track Point File Version 2.1\r\nWGS 84\r\na\r\nb\r\n", "Bad line 5"},
        {Header("many") + kPoint, "Bad line 6"},
        {head, "Missing line(s)"},
        {head + "\r\n\r\n", "Missing line(s)"},
        {head + kPoint + "90,7.25,0,1000,45444.5,x,y\r\n", "Bad line 8"},
        {head + "46.5,-180,0,1000,45444.5,x,y\r\n", "Bad line 7"},
        {head + "46.5,7.25,0,30000.1,45444.5,x,y\r\n", "Bad line 7"},
        {head + "46.5,7.25,0,-2000.1,45444.5,x,y\r\n", "Bad line 7"},
        {head + "46.5,7.25,0,100,32872.99,x,y\r\n", "Bad line 7"},
        {head + "46.5,7.25,0,100,90000,x,y\r\n", "Bad line 7"},
        {head + "46.5,7.25,0,100\r\n", "Bad line 7"},
        {head + "46.5 7.25,0,100,45444.5\r\n", "Bad line 7"},
        {head + "46.5,7.25,0\r\n", "Bad line 7"},
    };
    for (const Case& c : cases) {
        const OziTrackRead read = ReadOziTrack(c.text);
        EXPECT_EQ(read.status, -1) << c.text;
        EXPECT_EQ(read.message, c.message) << c.text;
        EXPECT_TRUE(read.points.empty());
    }
    // The limits themselves are points.
    EXPECT_EQ(
        ReadOziTrack(head + "46.5,7.25,0,30000,32873,x,y\r\n46.5,7.25,0,-2000,32873\r\n").status,
        2);
}

TEST(OziTrack, WrittenFileReadsBack) {
    std::vector<TrackPoint> points(3);
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].time = kNoon + static_cast<std::uint32_t>(i) * 61;
        points[i].latitude = DegreesToSemicircles(-33.123456 + static_cast<double>(i) * 1e-3);
        points[i].longitude = DegreesToSemicircles(151.654321);
        points[i].gpsAltitude = 15240;  // 1524.0 m = 5000 ft
    }
    points[2].flags = 1;
    CalendarTime now{2024, 6, 2, 8, 9, 10, 0};
    const std::string text = OziTrackDocument(points, now);
    EXPECT_NE(text.find("0,2,255,02.06.24 08:09:10                  ,0,0,2,8421376\r\n3\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("  -33.121456,  151.654321,1,   5000,45444.5014120, 01-jun-24, "
                        "12:02:02\r\n"),
              std::string::npos)
        << text;
    const OziTrackRead read = ReadOziTrack(text);
    ASSERT_EQ(read.status, 3) << read.message;
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(read.points[i].time, points[i].time);
        EXPECT_NEAR(read.points[i].latitude, points[i].latitude, 12);  // 1e-6 degree
        EXPECT_NEAR(read.points[i].longitude, points[i].longitude, 12);
        EXPECT_EQ(read.points[i].flags, i == 0 ? 1u : 0u);
        EXPECT_EQ(read.points[i].gpsAltitude, 15240);
    }
    EXPECT_EQ(OziTrackDocument({}, now), "");
    const formats::FormatRecord* record = formats::FormatForPath("x.plt");
    ASSERT_NE(record, nullptr);
    formats::TextBuffer out;
    std::string message;
    EXPECT_EQ(record->write(formats::WriteInput{}, out, message), -1);
    EXPECT_EQ(message, "No positions");
}

TEST(OziTrack, RealFileWithAWrongCount) {
    // Line 6 announces 2390 points; 44 follow.
    const formats::ReadResult read =
        formats::FindFormat("ozi-track")
            ->read(ReadFixture(FixturePath("real/tracks-other/gpsbabel-20070813_short.plt")));
    ASSERT_EQ(read.status, 44) << read.message;
    EXPECT_EQ(read.track.front().time, 555925939u);  // 2007-08-13 07:52:19
    // 39307.3312731 days is 07:57:01.996: the next second.
    EXPECT_EQ(read.track.back().time, 555926222u);
    EXPECT_EQ(read.track.front().gpsAltitude, 3837);  // 1258.8 ft
    EXPECT_NEAR(SemicirclesToDegrees(read.track.front().latitude), 47.466222, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(read.track.front().longitude), 3.747318, 1e-7);
}

}  // namespace
}  // namespace tracora::ozi
