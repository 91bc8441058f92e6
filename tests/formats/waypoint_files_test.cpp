// The waypoint text formats: detection, the six readers and writers, the name and comment
// conversions and the "Modify waypoint ID" question.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "formats/compegps/compegps_waypoints.hpp"
#include "formats/format_registry.hpp"
#include "formats/formats_support.hpp"
#include "formats/geo_waypoints/geo_waypoints.hpp"
#include "formats/ozi_waypoints/ozi_waypoints.hpp"
#include "formats/seeyou/seeyou_waypoints.hpp"
#include "formats/utm_waypoints/utm_waypoints.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"
#include "formats/winpilot/winpilot_waypoints.hpp"

namespace tracora::waypoints {
namespace {

using testing::FixturePath;
using testing::ReadFixture;

constexpr std::uint32_t kReadTime = 1000000;

WaypointReadOptions Lenient() {
    WaypointReadOptions options;
    options.lenientNames = true;
    options.readTime = kReadTime;
    return options;
}

WaypointReadResult Read(const std::string& text, const WaypointReadOptions& options = Lenient()) {
    return ReadWaypointText(text, options);
}

double Degrees(std::int32_t semicircles) {
    return SemicirclesToDegrees(semicircles);
}

TEST(WaypointNames, ConvertWaypointName) {
    struct Case {
        const char* text;
        bool lenient;
        int result;
        const char* id;
    };
    const Case cases[] = {
        {"ABC123", false, 0, "ABC123"},
        {"  AB-1 rest", false, 0, "AB-1"},
        {"", false, kNameEmpty, ""},
        {"   ", true, kNameEmpty, ""},
        {"tower 1", false, kNameNeedsChange, ""},
        {"tower 1", true, 0, "TOWER"},
        {"ABCDEFG", false, kNameNeedsChange, ""},
        {"ABCDEFG", true, 0, "ABCDEF"},
        {"a.b", true, 0, "A-B"},
        {"Z\xC3\xBCrich", true, 0, "Z-RICH"},
        {"Z\xC3\xBCrich", false, kNameNeedsChange, ""},
    };
    for (const Case& c : cases) {
        std::string id = "";
        EXPECT_EQ(ConvertWaypointName(c.text, id, c.lenient), c.result) << c.text;
        EXPECT_EQ(id, c.id) << c.text;
    }
}

TEST(WaypointNames, ConvertWaypointComment) {
    EXPECT_EQ(ConvertWaypointComment("  Hello, World!  "), "Hello- World-");
    EXPECT_EQ(ConvertWaypointComment(std::string(50, 'x')), std::string(40, 'x'));
    EXPECT_EQ(ConvertWaypointComment("Z\xC3\xBCrich \"a\"\t"), "Z\xC3\xBCrich -a--");
    EXPECT_EQ(ConvertWaypointComment("\xE2\x82\xAC 5"), "- 5");
}

const std::string kOziHead =
    "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";

std::string OziLine(const std::string& name, const std::string& date = "0",
                    const std::string& feet = "1000") {
    return "1," + name + ",46.5,7.25," + date + ",0,1,3,0,65535,A comment, 0, 0, 0, " + feet +
           "\r\n";
}

TEST(OziWaypoints, TheModifyIdQuestion) {
    const std::string text =
        kOziHead + OziLine("tower 1") + OziLine("ABC") + OziLine("lower") + OziLine("more one");
    struct Case {
        std::vector<ModifyIdAnswer> answers;
        int status;
        std::vector<std::string> ids;
        int asked;
    };
    const Case cases[] = {
        {{ModifyIdAnswer::kYes, ModifyIdAnswer::kYes, ModifyIdAnswer::kYes},
         3 + 1,
         {"TOWER", "ABC", "LOWER", "MORE"},
         3},
        {{ModifyIdAnswer::kYesToAll}, 4, {"TOWER", "ABC", "LOWER", "MORE"}, 1},
        {{ModifyIdAnswer::kNo, ModifyIdAnswer::kYes, ModifyIdAnswer::kNo}, 2, {"ABC", "LOWER"}, 3},
        {{ModifyIdAnswer::kYes, ModifyIdAnswer::kCancel}, -1, {}, 2},
    };
    for (const Case& c : cases) {
        std::size_t asked = 0;
        std::vector<std::string> names;
        WaypointReadOptions options;
        options.readTime = kReadTime;
        options.askModifyId = [&](std::string_view name) {
            names.emplace_back(name);
            return c.answers.at(asked++);
        };
        const WaypointReadResult result = Read(text, options);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(static_cast<int>(asked), c.asked);
        EXPECT_EQ(names.front(), "tower 1");
        std::vector<std::string> ids;
        for (const Waypoint& w : result.waypoints) {
            ids.emplace_back(w.Id());
        }
        EXPECT_EQ(ids, c.ids);
        if (c.status < 0) {
            EXPECT_EQ(result.title, "Decoding waypoint file");
            EXPECT_EQ(result.message, "Bad line 7");
        }
    }
    // Without anyone to ask the read fails at the first such name.
    WaypointReadOptions silent;
    const WaypointReadResult failed = Read(text, silent);
    EXPECT_EQ(failed.status, -1);
    EXPECT_EQ(failed.message, "Bad line 5");
}

TEST(OziWaypoints, AltitudesDatesAndBadLines) {
    struct Case {
        std::string line;
        int status;
        std::int32_t altitude;
        std::uint32_t time;
    };
    const Case cases[] = {
        {OziLine("A", "0", "-777"), 1, 0, kReadTime},
        {OziLine("A", "0", "1000"), 1, 305, kReadTime},
        {OziLine("A", "0", "1000.9"), 1, 305, kReadTime},
        {OziLine("A", "0", "-10"), 1, 0, kReadTime},
        {OziLine("A", "32873.5"), 1, 305, 43200},
        {OziLine("A", "100"), 1, 305, 0},
        {OziLine("A", ""), 1, 305, kReadTime},
        // A line may end after the description.
        {"1,A,46.5,7.25,0,0,1,3,0,65535,Comment\r\n", 1, 0, kReadTime},
        {"1,A,46.5,7.25,0,0,1,3,0,65535\r\n", -1, 0, 0},
        {"1,A,90,7.25,0,0,1,3,0,65535,x\r\n", -1, 0, 0},
        {"1,A,46.5,180,0,0,1,3,0,65535,x\r\n", -1, 0, 0},
        {"1,A,46.5x,7.25,0,0,1,3,0,65535,x\r\n", -1, 0, 0},
        {"1,A,46.5,7.25,0,-1,1,3,0,65535,x\r\n", -1, 0, 0},
        {"1,A,46.5,7.25,0,0,1,3,0,65535,x,0,0,0,high\r\n", -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const WaypointReadResult result = Read(kOziHead + c.line);
        ASSERT_EQ(result.status, c.status) << result.message;
        if (c.status < 0) {
            EXPECT_EQ(result.message, "Bad line 5");
            continue;
        }
        EXPECT_EQ(result.waypoints[0].altitude, c.altitude);
        EXPECT_EQ(result.waypoints[0].time, c.time);
        EXPECT_EQ(result.waypoints[0].kind, 0);
    }
    // Four header lines and nothing else: no waypoints.
    const WaypointReadResult none = Read(kOziHead);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.message, "No waypoints found");
}

TEST(GeoAndUtmWaypoints, AirfieldsAndPositions) {
    const WaypointReadResult geo = Read(
        "$FormatGEO\r\nSION      N 46 13 10.02    E 007 19 37.02   482  Sion Valais [A]\r\n"
        "PEAK      S 1 2    W 3   -5  no seconds\r\n"
        "BAD       N 90 00 00.00    E 007 19 37.02   482  x\r\n");
    EXPECT_EQ(geo.status, -1);
    EXPECT_EQ(geo.message, "Bad line 4");
    const WaypointReadResult good = Read(
        "$FormatGEO\r\nSION      N 46 13 10.02    E 007 19 37.02   482  Sion Valais [A]\r\n"
        "PEAK      S 1 2    W 3   -5  no seconds [a]\r\nLOW n 1 0 0 e 2 0 0 7 plain\r\n");
    ASSERT_EQ(good.status, 3) << good.message;
    EXPECT_EQ(good.waypoints[0].kind, 1);
    EXPECT_EQ(good.waypoints[0].Description(), "Sion Valais");
    EXPECT_NEAR(Degrees(good.waypoints[0].latitude), 46 + 13 / 60.0 + 10.02 / 3600, 1e-7);
    EXPECT_NEAR(Degrees(good.waypoints[1].latitude), -(1 + 2 / 60.0), 1e-7);
    EXPECT_NEAR(Degrees(good.waypoints[1].longitude), -3, 1e-7);
    EXPECT_EQ(good.waypoints[1].altitude, 0);
    EXPECT_EQ(good.waypoints[1].kind, 1);
    EXPECT_EQ(good.waypoints[2].kind, 0);
    EXPECT_EQ(good.waypoints[2].time, kReadTime);

    // GeographicLib: 46.5 N 7.25 E is 32N 365720 5151091.
    const WaypointReadResult utm = Read(
        "$FormatUTM\r\nX        32T   0365720   5151091   1200  Somewhere [A]\r\n"
        "Y        32T   1000001   5151091   1200  too far east\r\n");
    EXPECT_EQ(utm.status, -1);
    EXPECT_EQ(utm.message, "Bad line 3");
    const WaypointReadResult one =
        Read("$FormatUTM\r\nX        32T   0365720   5151091   1200  Somewhere [A]\r\n");
    ASSERT_EQ(one.status, 1);
    EXPECT_NEAR(Degrees(one.waypoints[0].latitude), 46.5, 1e-5);
    EXPECT_NEAR(Degrees(one.waypoints[0].longitude), 7.25, 1e-5);
    EXPECT_EQ(one.waypoints[0].kind, 1);
    EXPECT_EQ(one.waypoints[0].Description(), "Somewhere");
}

TEST(SeeYouWaypoints, ElevationsStylesAndTheTaskSection) {
    const std::string head = "Name,Code,Country,Lat,Lon,Elev,Style\r\n";
    struct Case {
        std::string line;
        int status;
        std::int32_t altitude;
        int kind;
    };
    const Case cases[] = {
        {"\"A\",\"B\",,4630.000N,00715.000E,1200ft,1", 1, 365, 0},
        {"\"A\",B,,4630.000N,00715.000E,1200.9M,2", 1, 1200, 1},
        {"\"A\",B,,4630.000N,00715.000E,  12m ,  5  ,040,590m", 1, 12, 1},
        {"Unquoted,B,,4630.000N,00715.000E,12m,", 1, 12, 0},
        {"\"A, b\",B,,4630.000N,00715.000E,12m,3", 1, 12, 0},
        {"\"A\",B,,4630.000N,00715.000E,1200,1", -1, 0, 0},
        {"\"A\",B,,4630.000N,00715.000E,12m", -1, 0, 0},
        {"\"A\",\"B,,4630.000N,00715.000E,12m,1", -1, 0, 0},
        {"\"A\",B,,9030.000N,00715.000E,12m,1", -1, 0, 0},
        {"\"A\",B,,4660.000N,00715.000E,12m,1", -1, 0, 0},
        {"\"A\",B,,4630.000X,00715.000E,12m,1", -1, 0, 0},
        {"\"A\",B,,4630.000N,00715.000E,12m,x", -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const WaypointReadResult result = Read(head + c.line + "\r\n");
        ASSERT_EQ(result.status, c.status) << result.message;
        if (c.status < 0) {
            EXPECT_EQ(result.title, "Decoding SeeYou file");
            EXPECT_EQ(result.message, "Bad line 2");
            continue;
        }
        EXPECT_EQ(result.waypoints[0].altitude, c.altitude);
        EXPECT_EQ(result.waypoints[0].kind, c.kind);
        EXPECT_NEAR(Degrees(result.waypoints[0].latitude), 46.5, 1e-7);
        EXPECT_NEAR(Degrees(result.waypoints[0].longitude), 7.25, 1e-7);
    }
    const WaypointReadResult task = Read(
        "name,code\r\n\"Long name of it\",lower c,,4630.000S,00715.000W,1m,1\r\n"
        "-----Related Tasks-----\r\n\"not\",\"a waypoint\"\r\n");
    ASSERT_EQ(task.status, 1);
    EXPECT_EQ(task.waypoints[0].Id(), "LOWER");
    EXPECT_EQ(task.waypoints[0].Description(), "Long name of it");
    EXPECT_NEAR(Degrees(task.waypoints[0].latitude), -46.5, 1e-7);
}

TEST(WinPilotAndCompeGps, ReadByContent) {
    // Neither header of the others, no XML, no "W" line: WinPilot.
    const WaypointReadResult winpilot = Read(
        "* a comment\r\n1,46:30.000N,7:15.000E,1200M,AT,Name,desc\r\n"
        "22,46:30:30N,007:15:30W,+ 100F,T,Other\r\n3,46N,7E,5,T,Degrees only\r\n\x1A");
    ASSERT_EQ(winpilot.status, 3) << winpilot.message;
    EXPECT_EQ(winpilot.waypoints[0].Id(), "1");
    EXPECT_EQ(winpilot.waypoints[0].Description(), "Name");
    EXPECT_EQ(winpilot.waypoints[0].kind, 1);
    EXPECT_EQ(winpilot.waypoints[1].altitude, 30);  // 100 ft, rounded
    EXPECT_NEAR(Degrees(winpilot.waypoints[1].longitude), -(7 + 15.5 / 60), 1e-7);
    EXPECT_EQ(winpilot.waypoints[1].kind, 0);
    const WaypointReadResult badWinPilot = Read("1,46:30.000N,7:15.000E,1200M,T\r\n");
    EXPECT_EQ(badWinPilot.status, -1);
    EXPECT_EQ(badWinPilot.title, "Decoding WinPilot file");
    EXPECT_EQ(badWinPilot.message, "Bad line 1");

    const WaypointReadResult compe = Read(
        "G  WGS 84\r\nU  1\r\nW  abcdefgh A 46.5\xBAN 7.25\xBA"
        "W 1-JAN-2024 00:00:00 1200.7 A long description\r\nw Airport,,,\r\n"
        "W  UTM 32T 365720 5151091 1-JAN-2024 00:00:00 100\r\nw  box,0\r\n");
    ASSERT_EQ(compe.status, 2) << compe.message;
    EXPECT_EQ(compe.waypoints[0].Id(), "ABCDEF");
    EXPECT_EQ(compe.waypoints[0].kind, 1);
    EXPECT_EQ(compe.waypoints[0].altitude, 1200);
    EXPECT_EQ(compe.waypoints[0].Description(), "A long description");
    EXPECT_NEAR(Degrees(compe.waypoints[0].longitude), -7.25, 1e-7);
    EXPECT_NEAR(Degrees(compe.waypoints[1].latitude), 46.5, 1e-5);
    EXPECT_EQ(compe.waypoints[1].kind, 0);
    const WaypointReadResult badCompe = Read("G  WGS 84\r\nW  X A 46.5N 7.25E 1-JAN-24\r\n");
    EXPECT_EQ(badCompe.title, "Decoding CompeGPS file");
    EXPECT_EQ(badCompe.message, "Bad line 2");
}

TEST(WaypointDetection, XmlAndOtherTexts) {
    EXPECT_EQ(Read("<?xml version=\"1.0\"?>\r\n<!-- x --><gpx version=\"1.1\">").message,
              "Nesting level not zero at end-of-file");
    const WaypointReadResult gpx = Read(
        "<?xml version=\"1.0\"?>\r\n<!-- x --><gpx version=\"1.1\"><wpt lat=\"1\" "
        "lon=\"2\"><name>A</name></wpt></gpx>");
    EXPECT_EQ(gpx.status, 1);
    EXPECT_EQ(gpx.title, "Parsing waypoint file");
    EXPECT_EQ(Read("<?xml version=\"1.0\"?><kml>").message,
              "Nesting level not zero at end-of-file");
    EXPECT_EQ(Read("  <html>").status, kXmlOtherFirstTag);
    EXPECT_EQ(Read("<?xml version=\"1.0\"?>").status, kXmlNoSecondTag);
    EXPECT_EQ(Read("MsRcd\0x").status, -1);
    const WaypointReadResult empty = Read("\r\n\r\n");
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.title, "Decoding waypoint file");
    EXPECT_EQ(empty.message, "No waypoints found");
    // A byte-order mark is dropped; Latin-1 text is read as such.
    const WaypointReadResult bom =
        Read("\xEF\xBB\xBFname,code\r\n\"Z\xC3\xBCrich\",Z,,4630.000N,00715.000E,1m,1\r\n");
    ASSERT_EQ(bom.status, 1);
    EXPECT_EQ(bom.waypoints[0].Description(), "Z\xC3\xBCrich");
    const WaypointReadResult latin1 =
        Read("name,code\r\n\"Z\xFCrich\",Z,,4630.000N,00715.000E,1m,1\r\n");
    ASSERT_EQ(latin1.status, 1);
    EXPECT_EQ(latin1.waypoints[0].Description(), "Z\xC3\xBCrich");
}

// The same five points in every format's file, to what each format holds: the positions and
// altitudes of the SeeYou file, as written there.
TEST(WaypointFiles, TheFivePointsReadAlikeFromEveryFormat) {
    struct Point {
        double latitude, longitude;
        int altitude;
    };
    const Point points[] = {
        {-(32 + 39.200 / 60), -(70 + 0.700 / 60), 6962}, {51 + 3.117 / 60, 7 + 42.367 / 60, 488},
        {37 + 49.050 / 60, -(122 + 28.700 / 60), 227},   {55 + 45.250 / 60, 37 + 37.200 / 60, 123},
        {-(33 + 51.417 / 60), 151 + 12.916 / 60, 5},
    };
    const char* files[] = {
        "cup/xcsoar-waypoints.cup",
        "winpilot-dat/xcsoar-waypoints.dat",
        "ozi/xcsoar-ozi.wpt",
        "geo-utm/xcsoar-geo.wpt",
        "geo-utm/xcsoar-utm.wpt",
        "compegps/xcsoar-compe-geo.wpt",
        "compegps/xcsoar-compe-utm.wpt",
    };
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const WaypointReadResult result =
            Read(ReadFixture(FixturePath(std::string("real/waypoints/") + file)));
        ASSERT_EQ(result.status, 5) << result.message;
        for (std::size_t i = 0; i < 5; ++i) {
            // 2e-5 degree: about 2 m, the coarsest resolution (whole metres of UTM, a second
            // of arc for one WinPilot point).
            EXPECT_NEAR(Degrees(result.waypoints[i].latitude), points[i].latitude, 2e-5) << i;
            EXPECT_NEAR(Degrees(result.waypoints[i].longitude), points[i].longitude, 2e-5) << i;
            EXPECT_EQ(result.waypoints[i].altitude, points[i].altitude) << i;
        }
    }
}

TEST(WaypointFiles, EveryRealFileReads) {
    struct Case {
        const char* file;
        int count;  // the files' waypoint lines
    };
    const Case cases[] = {
        {"cup/aerofiles-simple-with-task.cup", 8},
        {"cup/euregio9.cup", 99},
        {"cup/xcsoar-waypoints3-userdata-pics.cup", 5},
        {"ozi/euregio9_ozi.wpt", 99},
        {"ozi/gpsbabel-ozi.wpt", 9},
        {"winpilot-dat/euregio9.dat", 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const WaypointReadResult result =
            Read(ReadFixture(FixturePath(std::string("real/waypoints/") + c.file)));
        EXPECT_EQ(result.status, c.count) << result.message;
    }
}

Waypoint Sample(std::string_view id, std::string_view description, int kind) {
    Waypoint w;
    w.latitude = DegreesToSemicircles(46.5);
    w.longitude = DegreesToSemicircles(7.25);
    w.altitude = 1200;
    w.SetId(id);
    w.SetDescription(description);
    w.kind = kind;
    w.time = 43200;
    return w;
}

TEST(WaypointWriters, ExactLines) {
    const Waypoint w[] = {Sample("ABC", "Desc", 1)};
    EXPECT_EQ(WriteOziWaypoints(w),
              "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
              "   1,ABC           ,  46.500000,   7.250000,32873.5000000,0, 1, 3, 0, 65535,Desc"
              "                                    , 0, 0, 0, 3937\r\n");
    EXPECT_EQ(WriteGeoWaypoints(w),
              "$FormatGEO\r\nABC       N 46 30 00.00    E 007 15 00.00  1200  Desc [A]\r\n");
    EXPECT_EQ(WriteUtmWaypoints(w),
              "$FormatUTM\r\nABC      32T   0365720   5151091   1200  Desc [A]\r\n");
    EXPECT_EQ(WriteSeeYouWaypoints(w),
              "name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n"
              "\"Desc\",ABC,,4630.000N,00715.000E,1200.0m,2,,,,\r\n");
    EXPECT_EQ(WriteWinPilotWaypoints(w), "1,46:30.000N,7:15.000E,1200,A,ABC,Desc\r\n");
    EXPECT_EQ(WriteCompeGpsWaypoints(w, {2024, 6, 1, 12, 0, 5, 0}),
              "G  WGS 84\r\nU  1\r\nW  ABC A 46.5000000\xBAN 7.2500000\xBA"
              "E 1-JUN-2024 12:00:05 1200.000000 Desc\r\nw Airport,,,,,,,,,\r\n");
    Waypoint south[] = {Sample("", "", 0)};
    south[0].latitude = DegreesToSemicircles(-45.5);
    south[0].longitude = DegreesToSemicircles(-7.25);
    EXPECT_EQ(WriteSeeYouWaypoints(south).substr(60),
              "\"\",,,4530.000S,00715.000W,1200.0m,1,,,,\r\n");
    EXPECT_EQ(WriteWinPilotWaypoints(south), "1,45:30.000S,7:15.000W,1200,T,,\r\n");
    EXPECT_EQ(WriteGeoWaypoints(south),
              "$FormatGEO\r\n-         S 45 30 00.00    W 007 15 00.00  1200  \r\n");
}

// Free text with ',' and '"' keeps every later field in its place, in each format's way.
TEST(WaypointWriters, FreeTextCannotShiftFields) {
    const Waypoint w[] = {Sample("A,\"B", "Say \"cheese\", please", 0),
                          Sample("NEXT", "Ends like an airfield [A]", 0)};
    const std::string ozi = WriteOziWaypoints(w);
    EXPECT_NE(ozi.find("A\xD1\"B"), std::string::npos);
    EXPECT_NE(ozi.find("Say \"cheese\"\xD1 please"), std::string::npos);
    const std::string seeyou = WriteSeeYouWaypoints(w);
    EXPECT_NE(seeyou.find("\"Say 'cheese'; please\",A--B,"), std::string::npos);
    const std::string winpilot = WriteWinPilotWaypoints(w);
    EXPECT_NE(winpilot.find(",T,A;\"B,Say \"cheese\"\r\n"), std::string::npos);
    for (const std::string& text :
         {ozi, seeyou, winpilot, WriteGeoWaypoints(w), WriteUtmWaypoints(w),
          WriteCompeGpsWaypoints(w, {2024, 6, 1, 12, 0, 5, 0})}) {
        SCOPED_TRACE(text);
        const WaypointReadResult back = Read(text);
        ASSERT_EQ(back.status, 2) << back.message;
        for (const Waypoint& read : back.waypoints) {
            EXPECT_NEAR(Degrees(read.latitude), 46.5, 1e-5);
            EXPECT_NEAR(Degrees(read.longitude), 7.25, 1e-5);
            EXPECT_EQ(read.altitude, 1200);
            EXPECT_EQ(read.kind, 0);
        }
    }
}

// Every waypoint format of the registry writes what it reads back: positions, altitudes and,
// where the format has them, IDs and kinds; a second write is the same document.
TEST(WaypointWriters, RoundTripThroughTheRegistry) {
    const WaypointReadResult source =
        Read(ReadFixture(FixturePath("real/waypoints/cup/euregio9.cup")));
    ASSERT_EQ(source.status, 99);
    int tried = 0;
    for (const formats::FormatRecord* format : formats::AllFormats()) {
        if (!format->holds.waypoints || !format->directions.read || !format->directions.write) {
            continue;
        }
        SCOPED_TRACE(std::string(format->id));
        ++tried;
        formats::WriteInput input;
        input.waypoints = source.waypoints;
        input.downloadTime = {2024, 6, 1, 12, 0, 0, 0};
        formats::TextBuffer first;
        std::string message;
        ASSERT_EQ(format->write(input, first, message), 0) << message;
        const formats::ReadResult back = format->read(first.View());
        ASSERT_EQ(back.status, 99) << back.message;
        for (std::size_t i = 0; i < 99; ++i) {
            EXPECT_NEAR(back.waypoints[i].latitude, source.waypoints[i].latitude, 200);
            EXPECT_NEAR(back.waypoints[i].longitude, source.waypoints[i].longitude, 200);
            EXPECT_EQ(back.waypoints[i].altitude, source.waypoints[i].altitude);
        }
        // What was read once (texts converted as the format's reader converts them) is
        // written and read again unchanged.
        formats::WriteInput again = input;
        again.waypoints = back.waypoints;
        formats::TextBuffer second;
        ASSERT_EQ(format->write(again, second, message), 0) << message;
        const formats::ReadResult backAgain = format->read(second.View());
        ASSERT_EQ(backAgain.status, 99) << backAgain.message;
        again.waypoints = backAgain.waypoints;
        formats::TextBuffer third;
        ASSERT_EQ(format->write(again, third, message), 0) << message;
        if (format->id == "gpx") {  // the metadata carry the moment of writing
            const std::string_view a = third.View();
            const std::string_view b = second.View();
            EXPECT_EQ(a.substr(a.find("</metadata>")), b.substr(b.find("</metadata>")));
        } else if (format->id != "winpilot") {  // WinPilot reads its number as the ID
            EXPECT_EQ(third.View(), second.View());
        }
    }
    EXPECT_EQ(tried, 9);
}

}  // namespace
}  // namespace tracora::waypoints
