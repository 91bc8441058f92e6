// CSV track files: the columns recognised by name, both separators, quotes, zones, the last
// line without a line end, the errors, and the optional columns written.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "formats/csv_track/csv_track.hpp"
#include "formats/format_registry.hpp"
#include "formats/formats_support.hpp"

namespace tracora::csv {
namespace {

// 2024-06-01 10:00:00 UTC.
constexpr std::uint32_t kTen = 12571u * 86400u + 36000u;

TEST(CsvTrack, ColumnsByNameSeparatorsAndZones) {
    const std::string text =
        testing::ReadFixture(testing::FixturePath("tracks/semicolons-no-last-lf.csv"));
    const CsvTrackRead read = ReadCsvTrack(text);
    ASSERT_EQ(read.status, 4) << read.message;
    EXPECT_TRUE(read.hasPressureAltitude);
    EXPECT_EQ(read.points[0].time, kTen);  // 12:00:00+02:00
    EXPECT_EQ(read.points[0].gpsAltitude, 10007);
    EXPECT_EQ(read.points[0].pressureAltitude, 980);
    EXPECT_NEAR(SemicirclesToDegrees(read.points[0].latitude), 46.500001, 1e-7);
    EXPECT_EQ(read.points[1].time, kTen + 5);  // quoted
    EXPECT_EQ(read.points[2].gpsAltitude, 0);  // empty fields: absent
    EXPECT_EQ(read.points[2].pressureAltitude, 0);
    EXPECT_NEAR(SemicirclesToDegrees(read.points[2].longitude), -7.25, 1e-7);
    // The last line, without its line end: a fraction of .6 is the next second.
    EXPECT_EQ(read.points[3].time, kTen + 11);
    EXPECT_EQ(read.points[3].gpsAltitude, -25);
    EXPECT_EQ(read.points[3].pressureAltitude, -3);
    EXPECT_EQ(read.points[3].flags, 0u);
}

TEST(CsvTrack, HeadersAndLines) {
    struct Case {
        std::string text;
        int status;
        const char* message;
    };
    const std::string head = "Date/time,Latitude,Longitude,H-GPS\r\n";
    const Case cases[] = {
        {"time,lat,lon\r\n2024-06-01T10:00:00Z,1,2\r\n", -1,
         "Could not determine items from header"},
        {"", -1, "Could not determine items from header"},
        {"Date,Latitude\r\n", -1, "Could not determine items from header"},
        // The time and the height would be the same column; a later one may name both.
        {"Time,Latitude,Longitude,Time-Height\r\n", 0, ""},
        {"Time Height,Latitude,Longitude\r\n", -1, "Could not determine items from header"},
        {"LATITUDE,LONGITUDE,TIME\r\n1,2,2024-06-01T10:00:00Z", 1, ""},
        {head, 0, ""},
        {head + "\r\n\r\n", 0, ""},
        {head + "\"2024-06-01T10:00:00Z,1,2,3\r\n", -1, "Error parsing line 2"},
        {head + "2024-06-01T10:00:00Z,1,2,3\r\n2024-06-01 10:00:01,1,2,3\r\n", -1,
         "Error decoding time on line 3"},
        {head + "2024-06-01T10:00:00Z,,2,3\r\n", -1, "Error decoding latitude on line 2"},
        {head + "2024-06-01T10:00:00Z,90,2,3\r\n", -1, "Latitude out of range on line 2"},
        {head + "2024-06-01T10:00:00Z,1,2x,3\r\n", -1, "Error decoding longitude on line 2"},
        {head + "2024-06-01T10:00:00Z,1,-180,3\r\n", -1, "Longitude out of range on line 2"},
        {head + "2024-06-01T10:00:00Z,1,2,high\r\n", -1, "Bad GPS height data on line 2"},
        {"Date/time,Latitude,Longitude,H-Baro\r\n2024-06-01T10:00:00Z,1,2,1.5.1", -1,
         "Bad pressure height data on line 2"},
    };
    for (const Case& c : cases) {
        const CsvTrackRead read = ReadCsvTrack(c.text);
        EXPECT_EQ(read.status, c.status) << c.text;
        EXPECT_EQ(read.message, c.message) << c.text;
    }
    // A file without points: the registry says so.
    EXPECT_EQ(formats::FindFormat("csv")->read(head).message, "No positions found");
}

TEST(CsvTrack, WrittenFileReadsBackWithTheOptionalColumns) {
    // Two points on the equator 0.01 degree apart (1113.195 m), 100 s and 50 m apart.
    std::vector<TrackPoint> points(2);
    points[0].time = kTen;
    points[0].gpsAltitude = 10000;
    points[0].pressureAltitude = 990;
    points[1].time = kTen + 100;
    points[1].longitude = DegreesToSemicircles(0.01);
    points[1].gpsAltitude = 10505;  // 1050.5 m: rounds to 1051
    points[1].pressureAltitude = 1041;
    formats::CsvColumns all{true, true, true, true, true, false, true, true};
    const std::string text = CsvTrackDocument(points, all);
    EXPECT_EQ(text,
              "Date/time,Latitude,Longitude,H-GPS,H-Baro,AbsTime,RelTime,RelDist,AccDist,"
              "Bearing,Speed,Vario\r\n"
              "2024-06-01T10:00:00Z,0.000000,0.000000,1000,990,1/6/2024  10:00:00,0:00:00,"
              "0.000,0.000,0,0.0,0.0\r\n"
              "2024-06-01T10:01:40Z,0.000000,0.010000,1051,1041,1/6/2024  10:01:40,0:01:40,"
              "1.113,1.113,90,40.1,0.5\r\n");
    all.bearing400 = true;
    EXPECT_NE(CsvTrackDocument(points, all).find(",100,40.1,0.5\r\n"), std::string::npos);
    EXPECT_EQ(CsvTrackDocument({}, formats::CsvColumns{}),
              "Date/time,Latitude,Longitude,H-GPS,H-Baro\r\n");
    const CsvTrackRead read = ReadCsvTrack(text);
    ASSERT_EQ(read.status, 2) << read.message;
    EXPECT_TRUE(read.hasPressureAltitude);
    EXPECT_EQ(read.points[1].time, kTen + 100);
    EXPECT_EQ(read.points[1].gpsAltitude, 10510);  // whole metres
    EXPECT_EQ(read.points[1].pressureAltitude, 1041);
    EXPECT_NEAR(read.points[1].longitude, points[1].longitude, 12);
}

}  // namespace
}  // namespace tracora::csv
