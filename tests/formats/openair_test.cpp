// The OpenAir reader and writer, the outlines of airspaces and the two exports.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "formats/format_registry.hpp"
#include "formats/formats_support.hpp"
#include "formats/openair/airspace_exports.hpp"
#include "formats/openair/ctr_polygon.hpp"
#include "formats/openair/openair_parser.hpp"
#include "formats/openair/openair_writer.hpp"

namespace tracora::openair {
namespace {

using testing::FixturePath;
using testing::ReadFixture;

std::vector<CtrArea> Parse(const std::string& text, OpenAirReport* reportOut = nullptr) {
    std::vector<CtrArea> areas;
    OpenAirReport report;
    const int count = ParseOpenAir(text, areas, report);
    EXPECT_EQ(count, count < 0 ? -1 : static_cast<int>(areas.size()));
    if (reportOut != nullptr) {
        *reportOut = report;
    }
    return areas;
}

double Degrees(std::int32_t semicircles) {
    return SemicirclesToDegrees(semicircles);
}

TEST(OpenAirParser, ReadsPositionsRadiiAndLimits) {
    const std::vector<CtrArea> areas = Parse(
        "AC R\r\nAN First\r\nAL GND\r\nAH FL95\r\nDP 46:30:00 N 007:15:30 E\r\n"
        "V D=-\r\nV X=46:00:00 N 007:00:00 E\r\nDB 46:10:00 N 007:00:00 E, 46:00:00 N "
        "007:10:00 E\r\nDP 46:30.5 N 7:15.5E\r\nV X=45.5N 6.25E\r\nDB 45:40:00 N 006:15:00 E, "
        "45:30:00 N 006:30:00 E\r\n\r\n"
        "AC Q\r\nAN Second\r\nAL 1500ft AMSL\r\nAH unlimited\r\nV X=46:00:00 N 007:00:00 E\r\n"
        "DC 2\r\n\r\nAC D\r\nAN Third\r\nAL 0\r\nAH FL 100\r\nV X=46:00:00 S 007:00:00 W\r\n"
        "DC 2km\r\n");
    ASSERT_EQ(areas.size(), 3u);
    const CtrArea& first = areas[0];
    EXPECT_EQ(first.name, "First");
    EXPECT_EQ(first.classText, "R");
    EXPECT_EQ(first.classCode, 7);
    EXPECT_EQ(first.floorValue, 0);
    EXPECT_EQ(first.ceilingValue, 9500);
    EXPECT_EQ(first.sourceLine, 1);
    ASSERT_EQ(first.segments.size(), 4u);
    EXPECT_EQ(first.segments[0].kind, CtrSegmentKind::kPoint);
    EXPECT_DOUBLE_EQ(first.segments[0].position.latitude, 46.5);
    EXPECT_NEAR(first.segments[0].position.longitude, 7.258333, 1e-6);
    // The direction holds for the arc after it; a DP sets it back to clockwise.
    EXPECT_EQ(first.segments[1].kind, CtrSegmentKind::kArcByEndpoints);
    EXPECT_EQ(first.segments[1].direction, '-');
    EXPECT_NEAR(first.segments[1].start.latitude, 46.0 + 10.0 / 60, 1e-12);
    EXPECT_NEAR(first.segments[1].end.longitude, 7.0 + 10.0 / 60, 1e-12);
    EXPECT_NEAR(first.segments[2].position.latitude, 46.0 + 30.5 / 60, 1e-12);
    EXPECT_NEAR(first.segments[2].position.longitude, 7.0 + 15.5 / 60, 1e-12);
    EXPECT_EQ(first.segments[3].direction, '+');
    EXPECT_DOUBLE_EQ(first.segments[3].centre.latitude, 45.5);
    EXPECT_DOUBLE_EQ(first.segments[3].centre.longitude, 6.25);

    EXPECT_EQ(areas[1].floorValue, 1500);
    EXPECT_EQ(areas[1].ceilingValue, 999999);
    EXPECT_EQ(areas[1].classCode, 6);
    ASSERT_EQ(areas[1].segments.size(), 1u);
    // Nautical miles of 1852.185 m, rounded.
    EXPECT_EQ(areas[1].segments[0].kind, CtrSegmentKind::kCircle);
    EXPECT_EQ(areas[1].segments[0].radiusMetres, 3704);
    EXPECT_EQ(areas[2].ceilingValue, 10000);
    EXPECT_EQ(areas[2].segments[0].radiusMetres, 2000);
    EXPECT_DOUBLE_EQ(areas[2].segments[0].centre.latitude, -46.0);
    EXPECT_DOUBLE_EQ(areas[2].segments[0].centre.longitude, -7.0);
    EXPECT_EQ(areas[2].sourceLine, 20);
}

TEST(OpenAirParser, ArcsByAngles) {
    const std::vector<CtrArea> areas = Parse(
        "AC C\nAN Arcs\nV X=01:00:00 N 001:00:00 E\nV D=-\nDA 15, 185, 155\nV D=+\n"
        "DA 2.5km,155.5,185 * the second\n");
    ASSERT_EQ(areas.size(), 1u);
    ASSERT_EQ(areas[0].segments.size(), 2u);
    const CtrSegment& a = areas[0].segments[0];
    EXPECT_EQ(a.kind, CtrSegmentKind::kArcByAngles);
    EXPECT_EQ(a.radiusMetres, 27783);  // 15 x 1852.185 + 0.5, truncated
    EXPECT_EQ(a.startBearing, 185);
    EXPECT_EQ(a.endBearing, 155);
    EXPECT_EQ(a.direction, '-');
    const CtrSegment& b = areas[0].segments[1];
    EXPECT_EQ(b.radiusMetres, 2500);
    EXPECT_EQ(b.startBearing, 155.5);
    EXPECT_EQ(b.direction, '+');
}

TEST(OpenAirParser, LimitValues) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {{"FL95", 9500},
                          {"fl 100", 10000},
                          {"1500ft", 1500},
                          {"  300 m AGL", 300},
                          {"GND", 0},
                          {"SFC", 0},
                          {"unlimited", 999999},
                          {"UNLIM", 0},
                          {"FL", 0},
                          {"", 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(AirspaceLimitValue(c.text), c.value) << c.text;
    }
}

TEST(OpenAirParser, ErrorsDiscardEverything) {
    struct Case {
        std::string text;
        int code;
        std::string message;
    };
    const std::string head = "AC R\nAN A\nDP 46:00:00 N 007:00:00 E\n";
    const Case cases[] = {
        {head + "V Q=1\n", kErrorVariable, "Bad variable assignment format on line 4"},
        {head + "V X 46:00:00 N 007:00:00 E\n", kErrorVariable,
         "Bad variable assignment format on line 4"},
        {head + "V D=\n", kErrorVariable, "Bad variable assignment format on line 4"},
        {head + "V D=x\n", kErrorDirection, "Bad direction format on line 4"},
        {head + "V X=90:00:00 N 007:00:00 E\n", kErrorCentrePosition,
         "Bad position format on line 4"},
        {head + "V X=46:00:00 N 007:60:00 E\n", kErrorCentrePosition,
         "Bad position format on line 4"},
        {head + "DP 90:00:00 N 007:15:30 E\n", kErrorPointPosition,
         "Bad position format on line 4"},
        {head + "DP 46:30:00 N 180:00:00 E\n", kErrorPointPosition,
         "Bad position format on line 4"},
        {head + "DP 46:30:00 N\n", kErrorPointPosition, "Bad position format on line 4"},
        {head + "DP 46:30:00 N 007:00:00 E,\n", kErrorPointPosition,
         "Bad position format on line 4"},
        {head + "DP 46:30:00 X 007:00:00 E\n", kErrorPointPosition,
         "Bad position format on line 4"},
        {head + "V X=46:00:00 N 007:00:00 E\nDA 1,20\n", kErrorArc,
         "Bad arc position format on line 5"},
        {head + "V X=46:00:00 N 007:00:00 E\nDA 1,20,360\n", kErrorArc,
         "Bad arc position format on line 5"},
        {head + "V X=46:00:00 N 007:00:00 E\nDA 10001,20,30\n", kErrorArc,
         "Bad arc position format on line 5"},
        {head + "V X=46:00:00 N 007:00:00 E\nDA 1,20,30 x\n", kErrorArc,
         "Bad arc position format on line 5"},
        {head + "V X=46:00:00 N 007:00:00 E\nDB 46:10:00 N 007:00:00 E\n", kErrorArc,
         "Bad arc position format on line 5"},
        {head + "DA 1,20,30\n", kErrorMissingArcCentre, "Missing centre for DB record (line 4)"},
        {head + "DB 46:10:00 N 007:00:00 E, 46:00:00 N 007:10:00 E\n", kErrorMissingArcCentre,
         "Missing centre for DB record (line 4)"},
        {head + "AN \n", kErrorMissingName, "Missing airspace name"},
        {head + "DC 2\n", kErrorMissingCircleCentre, "Missing centre for DC record (line 4)"},
        {head + "V X=46:00:00 N 007:00:00 E\nDC zero\n", kErrorRadius,
         "Bad radius format on line 5"},
        {head + "V X=46:00:00 N 007:00:00 E\nDC 0\n", kErrorRadius, "Bad radius format on line 5"},
        {head + "XY something\n", kErrorUnknownRecord, "Unknown record type on line 4"},
        {head + "dp 46:30:00 N 007:00:00 E\n", kErrorUnknownRecord,
         "Unknown record type on line 4"},
        {"AC R\nAN Empty\nAL GND\n\nAC R\nAN B\n", kErrorNoSegments,
         "No segments in airspace (line 1)"},
        {head + "\nAC R\nAN Last\nAH FL100\n", kErrorNoSegments,
         "No segments in airspace (line 5)"},
        {"AC R\nAN Terrain\nTC Lake\n", kErrorNoSegments, "No segments in airspace (line 3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<CtrArea> areas(2);
        OpenAirReport report;
        EXPECT_EQ(ParseOpenAir(c.text, areas, report), -1);
        EXPECT_TRUE(areas.empty());
        EXPECT_EQ(report.code, c.code);
        EXPECT_EQ(report.message, c.message);
    }
}

// The records real files carry that the format does not have, or uses otherwise.
TEST(OpenAirParser, ReadsWhatRealFilesCarry) {
    OpenAirReport report;
    const std::vector<CtrArea> areas = Parse(
        "* header\r\nfree text before the first airspace\r\n"
        "AC C                * a comment\r\nAY TMA\r\nAN Kept\r\nAF 123.505\r\nAG Radio\r\n"
        "AX 7000\r\nAA NONE\r\nAI abc\r\nAR 130.1 MHz\r\nAT 46:00:00 N 007:00:00 E\r\nSP "
        "0,1,0,0,0\r\n"
        "SB 1,2,3\r\nV X=46:00:00 N 007:00:00 E\r\nV Z=100\r\nV W=2\r\nV T=1\r\nDP 46:10:00 N "
        "007:00:00 E\r\nDB 46:10:00 N 007:00:00 E, 46:00:00 N 007:10:00 E\r\n"
        "V D=-5\r\nDB 46:00:00 N 007:10:00 E, 45:50:00 N 007:00:00 E\r\n"
        // Dropped with its DY record; what follows up to the next AC lands nowhere.
        "AC R\r\nAN Airway\r\nDP 46:00:00 N 008:00:00 E\r\nDY 46:00:00 N 008:00:00 E\r\n"
        "DP 47:00:00 N 009:00:00 E\r\nAH FL999\r\n"
        // No name; the arcs use the centre set before the airspace began.
        "AC G\r\nAH 2100ft MSL\r\nDA 5,10,20\r\nDA 6,20,30\r\n"
        // A terrain polygon is not an airspace.
        "TC Lake\r\nDP 10:00:00 N 010:00:00 E\r\nDP 11:00:00 N 010:00:00 E\r\n"
        "AC W\r\nAN Z\xC3\xBCrich\r\nDP 45:37:56N 13:55:08E\r\n",
        &report);
    ASSERT_EQ(areas.size(), 3u) << report.message;
    EXPECT_EQ(areas[0].classText, "C");
    EXPECT_EQ(areas[0].classCode, 2);
    EXPECT_EQ(areas[0].name, "Kept");
    ASSERT_EQ(areas[0].segments.size(), 3u);
    EXPECT_EQ(areas[0].segments[1].direction, '+');
    EXPECT_EQ(areas[0].segments[2].direction, '-');
    EXPECT_EQ(areas[1].name, "");
    EXPECT_EQ(areas[1].classText, "G");
    EXPECT_EQ(areas[1].ceiling, "2100ft MSL");
    ASSERT_EQ(areas[1].segments.size(), 2u);
    EXPECT_EQ(areas[1].segments[1].centre.latitude, 46.0);
    EXPECT_EQ(areas[2].name, "Z\xC3\xBCrich");
    ASSERT_EQ(areas[2].segments.size(), 1u);
    EXPECT_NEAR(areas[2].segments[0].position.longitude, 13 + 55 / 60.0 + 8 / 3600.0, 1e-12);
    ASSERT_EQ(report.notices.size(), 1u);
    EXPECT_EQ(report.notices[0].text, "CTR at line 23:  DY record (not implemented)");
}

TEST(OpenAirParser, NameFirstFilesAndLatin1) {
    const std::vector<CtrArea> areas = Parse(
        "AN Premier\nAC Q\nDP 46:00:00 N 007:00:00 E\nAN Deuxi\xE8me\nDP 46:00:00 N 007:00:00 E\n");
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].classCode, 6);
    EXPECT_EQ(areas[1].classCode, 0);
    EXPECT_EQ(areas[1].classText, "");
    EXPECT_EQ(areas[1].name, "Deuxi\xC3\xA8me");
}

TEST(OpenAirParser, TextsAreCutToTheirFields) {
    const std::string longName(60, 'N');
    const std::vector<CtrArea> areas =
        Parse("AC ABCDEFGHIJKLMN\nAN " + longName + "\nAH " + std::string(55, '9') +
              "\nAL   many    blanks  \nDP 46:00:00 N 007:00:00 E\n");
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0].name, std::string(50, 'N'));
    EXPECT_EQ(areas[0].classText, "ABCDEFGHIJ");
    EXPECT_EQ(areas[0].classCode, kCtrClassOther);
    EXPECT_EQ(areas[0].ceiling.size(), 50u);
    EXPECT_EQ(areas[0].floor, "many blanks");
}

TEST(OpenAirParser, EveryRealFileReads) {
    // The airspace counts are the files' AC records (the terrain block of the sample aside).
    struct Case {
        const char* file;
        std::size_t airspaces;
    };
    const Case cases[] = {
        {"australia-2008.txt", 662},
        {"germany-2026-03.txt", 678},
        {"openair-spec-sample-minden.txt", 25},
        {"xcsoar-openair-testcases.txt", 26},
        {"slovenia-2025-05.openair", 58},
        {"arc-angle-cw.txt", 1},
        {"arc-cw.txt", 1},
        {"circular.txt", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        OpenAirReport report;
        const std::vector<CtrArea> areas =
            Parse(ReadFixture(FixturePath(std::string("real/openair/") + c.file)), &report);
        EXPECT_EQ(report.message, "");
        EXPECT_EQ(areas.size(), c.airspaces);
        for (const CtrArea& area : areas) {
            EXPECT_FALSE(area.segments.empty()) << area.name;
        }
    }
}

TEST(OpenAirParser, ReadsThroughTheRegistry) {
    const formats::FormatRecord* format = formats::FormatForPath("airspace.txt");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->id, "openair");
    const formats::ReadResult read =
        format->read(ReadFixture(FixturePath("real/openair/circular.txt")));
    EXPECT_EQ(read.status, 1);
    ASSERT_EQ(read.airspaces.size(), 1u);
    EXPECT_EQ(read.airspaces[0].name, "ED-R3 Geesthacht H24");
    const formats::ReadResult bad = format->read("AC R\nAN X\nDP 95:00:00 N 007:00:00 E\n");
    EXPECT_EQ(bad.status, -1);
    EXPECT_EQ(bad.message, "Bad position format on line 3");
}

TEST(OpenAirWriter, WritesTheRecordsAndReadsThemBack) {
    CtrArea area;
    area.name = "Test";
    area.classText = "CTR";
    area.floor = "GND";
    area.ceiling = "FL95";
    CtrSegment point;
    point.position = {46.5, 7.258333333};
    area.segments.push_back(point);
    CtrSegment arc;
    arc.kind = CtrSegmentKind::kArcByEndpoints;
    arc.centre = {46.0, 7.0};
    arc.start = {46.1, 7.0};
    arc.end = {-46.0, -7.1};
    arc.direction = '-';
    area.segments.push_back(arc);
    CtrSegment angles;
    angles.kind = CtrSegmentKind::kArcByAngles;
    angles.centre = {46.0, 7.0};
    angles.radiusMetres = 3704;
    angles.startBearing = 12.5;
    angles.endBearing = 300;
    angles.direction = '+';
    area.segments.push_back(angles);
    CtrArea circle;
    circle.name = "Round";
    circle.classText = "R";
    CtrSegment c;
    c.kind = CtrSegmentKind::kCircle;
    c.centre = {46.0, 7.0};
    c.radiusMetres = 3704;
    circle.segments.push_back(c);
    const CtrArea* both[] = {&area, &circle};

    const std::string text = WriteOpenAir(both, true, 10);
    EXPECT_EQ(text,
              "AC CTR\r\nAN Test\r\nAL GND\r\nAH FL95\r\n"
              "DP 46:30:00 N  7:15:30 E\r\n"
              "V D=-\r\nV X=46:00:00 N  7:00:00 E\r\n"
              "DB 46:06:00 N  7:00:00 E,  46:00:00 S  7:06:00 W\r\n"
              "V D=+\r\nV X=46:00:00 N  7:00:00 E\r\nDA 1.9998, 12.50, 300.00\r\n"
              "\r\nAC R\r\nAN Round\r\nAL \r\nAH \r\n"
              "V X=46:00:00 N  7:00:00 E\r\nDC 1.9998\r\n");
    const std::vector<CtrArea> back = Parse(text);
    ASSERT_EQ(back.size(), 2u);
    ASSERT_EQ(back[0].segments.size(), 3u);
    EXPECT_EQ(back[0].segments[1].direction, '-');
    EXPECT_DOUBLE_EQ(back[0].segments[1].end.latitude, -46.0);
    EXPECT_EQ(back[0].segments[2].radiusMetres, 3704);
    EXPECT_EQ(back[1].segments[0].radiusMetres, 3704);

    // Without arcs: the outline's points, each a DP line.
    const std::string flat = WriteOpenAir(both, false, 10);
    const std::vector<CtrArea> flatBack = Parse(flat);
    ASSERT_EQ(flatBack.size(), 2u);
    std::vector<Waypoint> outline;
    ASSERT_EQ(CtrToPolygon(circle, 1, 10, 0, outline), 0);
    ASSERT_EQ(flatBack[1].segments.size(), outline.size());
    for (const CtrSegment& segment : flatBack[1].segments) {
        EXPECT_EQ(segment.kind, CtrSegmentKind::kPoint);
    }
}

TEST(OpenAirWriter, SingleRecordForm) {
    CtrArea area;
    area.name = "Edit me";
    area.classText = "D";
    area.floor = "GND";
    area.ceiling = "FL 65";
    CtrSegment point;
    point.position = {-45.5, 7.25};
    area.segments.push_back(point);
    const std::string text = SingleRecordText(area);
    EXPECT_EQ(text,
              "*Airspace category\r\nAC D\r\n*Airspace name\r\nAN Edit me\r\n"
              "*Airspace floor (Remark)\r\nAL GND\r\n*Airspace ceiling\r\nAH FL 65\r\n"
              "*Use records V, DP, DA, DB or DC\r\n"
              "*Pos. formats: DD.dd... or DD:MM.mm... or DD:MM:SS\r\n"
              "DP 45:30:00 S  7:15:00 E\r\n");
    const std::vector<CtrArea> back = Parse(text);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].name, "Edit me");
    // The template of a new airspace has no segments yet: the parser says so.
    OpenAirReport report;
    std::vector<CtrArea> none;
    EXPECT_EQ(ParseOpenAir(kNewAirspaceTemplate, none, report), -1);
    EXPECT_EQ(report.message, "No segments in airspace (line 2)");
}

TEST(CtrPolygon, CircleOfTenKilometres) {
    CtrArea area;
    CtrSegment circle;
    circle.kind = CtrSegmentKind::kCircle;
    circle.centre = {46.0, 7.0};
    circle.radiusMetres = 10000;
    area.segments.push_back(circle);
    // Whatever follows a first circle is left out.
    CtrSegment point;
    point.position = {47.0, 8.0};
    area.segments.push_back(point);
    std::vector<Waypoint> points;
    ASSERT_EQ(CtrToPolygon(area, 27, 10, 1234, points), 0);
    ASSERT_EQ(points.size(), 71u);  // 70 chords
    EXPECT_EQ(points.front().latitude, points.back().latitude);
    EXPECT_EQ(points.front().longitude, points.back().longitude);
    EXPECT_EQ(points[0].Id(), "CBBAAA");
    EXPECT_EQ(points[30].Id(), "CBBABE");
    EXPECT_EQ(points[0].time, 1234u);
    EXPECT_EQ(points[0].altitude, 0);
    EXPECT_EQ(points[0].Description(), "");
    for (const Waypoint& p : points) {
        double metres = 0;
        ASSERT_EQ(GeoDistance({46.0 / kRadiansToDegrees, 7.0 / kRadiansToDegrees},
                              {SemicirclesToRadians(p.latitude), SemicirclesToRadians(p.longitude)},
                              metres),
                  0);
        // The UTM plane's scale near the central meridian: within 10 m of the true circle.
        EXPECT_NEAR(metres, 10000, 10);
    }
    EXPECT_EQ(CircleChordCount(10000, 10), 70);
    EXPECT_EQ(CircleChordCount(100, 10), 8);
}

TEST(CtrPolygon, ArcByAnglesFromNorthToEast) {
    CtrArea area;
    CtrSegment arc;
    arc.kind = CtrSegmentKind::kArcByAngles;
    arc.centre = {46.0, 7.0};
    arc.radiusMetres = 1852;
    arc.startBearing = 0;
    arc.endBearing = 90;
    area.segments.push_back(arc);
    std::vector<Waypoint> points;
    ASSERT_EQ(CtrToPolygon(area, 0, 10, 0, points), 0);
    ASSERT_GE(points.size(), 3u);
    // Due north first, due east last, clockwise in between (north-east of the centre).
    EXPECT_GT(Degrees(points.front().latitude), 46.016);
    EXPECT_NEAR(Degrees(points.front().longitude), 7.0, 1e-3);
    const Waypoint& east = points[points.size() - 2];
    EXPECT_NEAR(Degrees(east.latitude), 46.0, 1e-3);
    EXPECT_GT(Degrees(east.longitude), 7.023);
    for (std::size_t i = 1; i + 2 < points.size(); ++i) {
        EXPECT_GT(Degrees(points[i].latitude), 46.0);
        EXPECT_GT(Degrees(points[i].longitude), 7.0);
    }
    // Closed back to the start.
    EXPECT_EQ(points.back().latitude, points.front().latitude);
}

TEST(CtrPolygon, PointsCloserThan100MetresAreDropped) {
    CtrArea area;
    for (const DegreePosition& p : std::vector<DegreePosition>{
             {46.0, 7.0}, {46.0005, 7.0}, {46.01, 7.0}, {46.01, 7.01}, {46.0004, 7.0}}) {
        CtrSegment point;
        point.position = p;
        area.segments.push_back(point);
    }
    std::vector<Waypoint> points;
    ASSERT_EQ(CtrToPolygon(area, 0, 10, 0, points), 0);
    // 46.0005 is 56 m from the first point; the last one, 44 m from the first, closes the
    // outline already.
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[1].latitude, DegreesToSemicircles(46.01));
    EXPECT_EQ(points[3].latitude, DegreesToSemicircles(46.0004));

    area.segments.pop_back();
    ASSERT_EQ(CtrToPolygon(area, 0, 10, 0, points), 0);
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points.back().latitude, points.front().latitude);
    EXPECT_EQ(points.back().Id(), "CAAAAD");

    std::vector<Waypoint> none;
    EXPECT_EQ(CtrToPolygon(CtrArea(), 0, 10, 0, none), 0);
    EXPECT_TRUE(none.empty());
}

TEST(AirspaceExports, PolylineOfTheAlgorithmsOwnExample) {
    const DegreePosition points[] = {{38.5, -120.2}, {40.7, -120.95}, {43.252, -126.453}};
    EXPECT_EQ(EncodePolyline(points), "_p~iF~ps|U_ulLnnqC_mqNvxq`@");
}

TEST(AirspaceExports, GpxIsEscapedAndHandlesEmptyOutlines) {
    CtrArea named;
    named.name = "A&B <C> \"D\"";
    CtrArea empty;
    empty.name = "Empty";
    std::vector<AirspaceOutline> outlines(2);
    outlines[0].area = &named;
    Waypoint p;
    p.latitude = DegreesToSemicircles(46.5);
    p.longitude = DegreesToSemicircles(-7.25);
    outlines[0].points = {p, p};
    outlines[1].area = &empty;
    const std::string gpx = AirspaceGpx(outlines, {2024, 6, 1, 12, 30, 5, 0}, "0.01");
    EXPECT_NE(gpx.find("xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\""),
              std::string::npos);
    EXPECT_NE(gpx.find("creator=\"Tracora 0.01\""), std::string::npos);
    EXPECT_NE(gpx.find("<name>A&amp;B &lt;C&gt; &quot;D&quot;</name>"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2024-06-01T12:30:05Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("<bounds maxlat=\"46.500000\" maxlon=\"-7.250000\" minlat=\"46.500000\" "
                       "minlon=\"-7.250000\"/>"),
              std::string::npos);
    EXPECT_NE(gpx.find("<name>Empty</name>"), std::string::npos);
    EXPECT_EQ(gpx.find('\0'), std::string::npos);

    // Nothing to bound: no bounds element at all.
    const std::string none = AirspaceGpx(std::span(outlines).subspan(1), {}, "0.01");
    EXPECT_EQ(none.find("<bounds"), std::string::npos);
    EXPECT_NE(none.find("<trkseg>\r\n    </trkseg>"), std::string::npos);
}

TEST(AirspaceExports, ScriptOrderAndEscaping) {
    CtrArea low, high, quoted;
    low.name = "Low";
    low.floorValue = 0;
    low.ceilingValue = 5000;
    high.name = "High";
    high.floorValue = 3000;
    quoted.name = "L'Alpe \\ <b>";
    quoted.floor = "it's";
    quoted.floorValue = 0;
    quoted.ceilingValue = 9000;
    quoted.classCode = 9;
    quoted.classText = "CTR";
    std::vector<AirspaceOutline> outlines(3);
    outlines[0].area = &low;
    outlines[1].area = &high;
    outlines[2].area = &quoted;
    const std::string script = AirspaceMapScript(outlines);
    EXPECT_TRUE(script.starts_with(
        "function addAirspace(map) {\r\n\r\n// Airspace A:   Fillcolor #00FF00, strokeColor "
        "#FF0000, fillOpacity: 0.10\r\n"));
    EXPECT_NE(script.find("// Airspace ?:   Fillcolor #00FF0C, strokeColor #FF000C, "
                          "fillOpacity: 0.22\r\n\r\n"),
              std::string::npos);
    EXPECT_TRUE(script.ends_with("}\r\n"));
    // Highest floor first, then the highest ceiling.
    const std::size_t h = script.find("// High");
    const std::size_t q = script.find("// L'Alpe");
    const std::size_t l = script.find("// Low");
    EXPECT_LT(h, q);
    EXPECT_LT(q, l);
    EXPECT_NE(script.find("attachPolygonInfoBox(polygon, infoBox, 'L\\'Alpe \\\\ "
                          "&lt;b&gt;<br /> - it\\'s');"),
              std::string::npos);
    EXPECT_NE(script.find("strokeColor: \"#FF0009\""), std::string::npos);
    EXPECT_NE(script.find("fillOpacity: 0.19});"), std::string::npos);
}

}  // namespace
}  // namespace tracora::openair
