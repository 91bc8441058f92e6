// GPX files: tracks by segment, waypoints with the "Modify waypoint ID" question, escaped texts,
// the times with zones, and the documents' round trips.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "core/time_base.hpp"
#include "formats/common/iso_time.hpp"
#include "formats/common/xml_walker.hpp"
#include "formats/format_registry.hpp"
#include "formats/formats_support.hpp"
#include "formats/gpx/gpx_format.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"

namespace tracora::gpx {
namespace {

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\" "
    "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";

std::string Doc(const std::string& body) {
    return std::string(kHead) + body + "</gpx>\n";
}

std::string Point(const char* lat, const char* lon, const char* ele, const char* time) {
    std::string out = std::string("<trkpt lat=\"") + lat + "\" lon=\"" + lon + "\">";
    if (ele != nullptr) {
        out += std::string("<ele>") + ele + "</ele>";
    }
    if (time != nullptr) {
        out += std::string("<time>") + time + "</time>";
    }
    return out + "</trkpt>\n";
}

// 2024-06-01 10:00:00 UTC in seconds since 1989-12-31: 12571 days.
constexpr std::uint32_t k20240601 = 12571u * 86400u;

TEST(IsoTime, ZonesFractionsAndRefusals) {
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t time;
    };
    const Case cases[] = {
        {"2024-06-01T10:00:00Z", true, k20240601 + 36000},
        {"2024-06-01T10:00:00", true, k20240601 + 36000},
        {"2024-06-01T12:00:00+02:00", true, k20240601 + 36000},
        {"2024-06-01T12:00:00+0200", true, k20240601 + 36000},
        {"2024-06-01T08:30:00-01:30", true, k20240601 + 36000},
        {"2024-06-01T12:00:00+02", true, k20240601 + 36000},
        {"2024-06-01T09:59:59.5Z", true, k20240601 + 36000},
        {"2024-06-01T10:00:00.499Z", true, k20240601 + 36000},
        {"1989-12-31T00:00:00Z", true, 0},
        {"1990-01-01T00:00:00Z", true, 86400},
        {"2024-06-01 10:00:00Z", false, 0},
        {"2024-06-01T10:00Z", false, 0},
        {"2024-02-30T10:00:00Z", false, 0},
        {"2023-02-29T10:00:00Z", false, 0},
        {"1970-01-01T00:00:00Z", false, 0},
        {"2024-06-01T10:00:00+2", false, 0},
        {"2024-06-01T10:00:00ZZ", false, 0},
        {"2024-06-01T10:00:00.Z", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t time = 0;
        EXPECT_EQ(formats::ParseIsoTime(c.text, time), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(time, c.time) << c.text;
        }
    }
}

TEST(GpxTrack, EachSegmentIsATrack) {
    const std::string text = Doc(
        "<trk><name>a</name><trkseg>\n" + Point("46.5", "7.25", "1234.56", "2024-06-01T10:00:00Z") +
        Point("-46.5", "-7.25", nullptr, "2024-06-01T12:00:01+02:00") +
        "</trkseg><trkseg></trkseg><trkseg>" + Point("1", "2", "-3.5", "2024-06-01T11:00:00Z") +
        "</trkseg></trk>\n");
    const GpxTrackRead read = ReadGpxTracks(text);
    ASSERT_EQ(read.status, 2) << read.message;
    ASSERT_EQ(read.tracks[0].size(), 2u);
    ASSERT_EQ(read.tracks[1].size(), 1u);
    const TrackPoint& a = read.tracks[0][0];
    EXPECT_EQ(a.time, k20240601 + 36000);
    EXPECT_EQ(a.gpsAltitude, 12345);
    EXPECT_EQ(a.flags, 0u);
    EXPECT_NEAR(SemicirclesToDegrees(a.latitude), 46.5, 1e-7);
    EXPECT_NEAR(SemicirclesToDegrees(a.longitude), 7.25, 1e-7);
    EXPECT_EQ(read.tracks[0][1].time, k20240601 + 36001);
    EXPECT_EQ(read.tracks[0][1].gpsAltitude, 0);
    EXPECT_NEAR(SemicirclesToDegrees(read.tracks[0][1].latitude), -46.5, 1e-7);
    EXPECT_EQ(read.tracks[1][0].gpsAltitude, -35);
    EXPECT_EQ(GpxTrackLabel(read.tracks[1]), "2024-06-01   11:00:00");
}

TEST(GpxTrack, Refusals) {
    const std::string seg = "<trk><trkseg>";
    const std::string end = "</trkseg></trk>";
    const std::string good = Point("1", "2", "3", "2024-06-01T10:00:00Z");
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"", "No tags found"},
        {"hello", "No tags found"},
        {"xx<?xml version=\"1.0\"?><gpx/>", "Unknown BOM before opening tag '<?xml>'"},
        {"<gpx></gpx>", "Missing opening tag '<?xml>'"},
        {Doc(""), "No tracks found"},
        {Doc(seg + end), "No tracks found"},
        {Doc(seg + good + Point("1", "2", "3", nullptr) + end), "Missing tag(s) for position 2"},
        {Doc(seg + "<trkpt><time>2024-06-01T10:00:00Z</time></trkpt>" + end),
         "Missing tag(s) for position 1"},
        {Doc(seg + Point("1", "2", "3", "") + end), "Missing data for position 1"},
        {Doc(seg + Point("1", "2", "3", "yesterday") + end), "Bad time data for position 1"},
        {Doc(seg + Point("1", "2", "high", "2024-06-01T10:00:00Z") + end),
         "Bad height data for position 1"},
        {Doc(seg + Point("91", "2", "3", "2024-06-01T10:00:00Z") + end),
         "Missing/bad latitude data in position 1"},
        {Doc(seg + Point("1", "x", "3", "2024-06-01T10:00:00Z") + end),
         "Missing/bad longitude data in position 1"},
        {Doc(seg + good + "</trk>"), "Tag <trkseg> is terminated by </trk>"},
        {Doc(seg + good + end) + "</x>", "Terminating tag </x> encountered at root level"},
        {Doc(seg + good + end) + "junk", "Data found after last tag"},
        {std::string(kHead) + seg + good + end, "Nesting level not zero at end-of-file"},
        {std::string(kHead) + seg + "<trkpt lat=\"1\" lon=\"2\"",
         "End-of-file encountered within a tag"},
        {Doc("text<trk/>"), "Data found before tag <trk>"},
    };
    for (const Case& c : cases) {
        const GpxTrackRead read = ReadGpxTracks(c.text);
        EXPECT_EQ(read.status, -1) << c.text;
        EXPECT_EQ(read.message, c.message) << c.text;
        EXPECT_TRUE(read.tracks.empty());
    }
}

TEST(GpxTrack, NestingLimitAndSegmentLimit) {
    std::string deep;
    for (int i = 0; i < 19; ++i) {
        deep += "<e>";
    }
    EXPECT_EQ(ReadGpxTracks(std::string(kHead) + deep).message,
              "Nesting limit exceeded at tag <e>");
    std::string many = "<trk>";
    for (std::size_t i = 0; i <= kMaxTracks; ++i) {
        many += "<trkseg>" + Point("1", "2", "3", "2024-06-01T10:00:00Z") + "</trkseg>";
    }
    EXPECT_EQ(ReadGpxTracks(Doc(many + "</trk>")).message, "Too many track segments");
}

TEST(GpxTrack, ByteOrderMarkCommentsAndCdata) {
    const std::string text =
        "\xEF\xBB\xBF" + Doc("<!-- a <trk> in a comment --><trk><trkseg><trkpt lat='1.5' "
                             "lon='2.5'><time><![CDATA[2024-06-01T10:00:00Z]]></time>"
                             "</trkpt></trkseg></trk>");
    const GpxTrackRead read = ReadGpxTracks(text);
    ASSERT_EQ(read.status, 1) << read.message;
    EXPECT_EQ(read.tracks[0][0].time, k20240601 + 36000);
}

TEST(GpxTrack, DocumentReadsBackAndIsEmptyWithoutPoints) {
    std::vector<TrackPoint> track(3);
    for (std::size_t i = 0; i < 3; ++i) {
        track[i].time = k20240601 + static_cast<std::uint32_t>(i);
        track[i].latitude = DegreesToSemicircles(45.123456 + static_cast<double>(i) * 0.001);
        track[i].longitude = DegreesToSemicircles(-6.5 - static_cast<double>(i) * 0.001);
        track[i].gpsAltitude = 10005 - static_cast<std::int32_t>(i) * 10;
    }
    track[1].flags = 1;
    CalendarTime now;
    now.year = 2024;
    const std::string doc = GpxTrackDocument(track, now, "1.00");
    EXPECT_NE(doc.find("<bounds minlat=\"45.123456\" minlon=\"-6.502000\" maxlat=\"45.125456\" "
                       "maxlon=\"-6.500000\"/>"),
              std::string::npos);
    EXPECT_NE(doc.find("<ele>1000.5</ele>"), std::string::npos);
    const GpxTrackRead read = ReadGpxTracks(doc);
    ASSERT_EQ(read.status, 1) << read.message;
    ASSERT_EQ(read.tracks[0].size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read.tracks[0][i].time, track[i].time);
        EXPECT_EQ(read.tracks[0][i].gpsAltitude, track[i].gpsAltitude);
        EXPECT_NEAR(SemicirclesToDegrees(read.tracks[0][i].latitude),
                    SemicirclesToDegrees(track[i].latitude), 1e-6);
    }
    const std::string empty = GpxTrackDocument({}, now, "1.00");
    EXPECT_EQ(empty.find("<bounds"), std::string::npos);
    EXPECT_EQ(empty.find("<trk>"), std::string::npos);
    EXPECT_EQ(ReadGpxTracks(empty).message, "No tracks found");
}

waypoints::WaypointReadOptions Options() {
    waypoints::WaypointReadOptions options;
    options.readTime = 777;
    return options;
}

std::string Wpt(const std::string& inside, const char* attributes = "lat=\"46\" lon=\"7\"") {
    return std::string("<wpt ") + attributes + ">" + inside + "</wpt>\n";
}

TEST(GpxWaypoints, FieldsTheirSourcesAndDefaults) {
    const std::string text =
        Doc(Wpt("<ele>1234.5</ele><time>2024-06-01T10:00:00Z</time><name>TOP1</name>"
                "<cmt>the comment</cmt><desc>Top &amp; more</desc><type>airport</type>") +
            Wpt("<name>LOW</name><cmt>only comment</cmt>", "lat=\"-1.5\" lon=\"-2.5\"") +
            "<trk><trkseg>" + Point("1", "2", "3", "2024-06-01T10:00:00Z") + "</trkseg></trk>");
    const waypoints::WaypointReadResult read = ReadGpxWaypoints(text, Options());
    ASSERT_EQ(read.status, 2) << read.message;
    const Waypoint& a = read.waypoints[0];
    EXPECT_EQ(a.Id(), "TOP1");
    EXPECT_EQ(a.Description(), "Top - more");
    EXPECT_EQ(a.altitude, 1235);
    EXPECT_EQ(a.time, k20240601 + 36000);
    EXPECT_EQ(a.kind, kWaypointKindAirfield);
    const Waypoint& b = read.waypoints[1];
    EXPECT_EQ(b.Description(), "only comment");
    EXPECT_EQ(b.time, 777u);
    EXPECT_EQ(b.altitude, 0);
    EXPECT_EQ(b.kind, kWaypointKindPoint);
    EXPECT_NEAR(SemicirclesToDegrees(b.longitude), -2.5, 1e-7);
    // The file detection hands GPX to the same reader.
    EXPECT_EQ(waypoints::ReadWaypointText(text, Options()).status, 2);
}

TEST(GpxWaypoints, Refusals) {
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {Doc(Wpt("<name>A</name>", "")), "Missing position data for waypoint 1"},
        {Doc(Wpt("<name>A</name>") + Wpt("<cmt>x</cmt>")), "Missing name data for waypoint 2"},
        {Doc(Wpt("<name> </name>")), "Missing name data for waypoint 1"},
        {Doc(Wpt("<name>lower</name>")), "Bad ID for waypoint 1"},
        {Doc(Wpt("<name>A</name><time>noon</time>")), "Bad time data for waypoint 1"},
        {Doc(Wpt("<name>A</name><ele>1e</ele>")), "Bad height data for waypoint 1"},
        {Doc(Wpt("<name>A</name>", "lat=\"-90.5\" lon=\"7\"")),
         "Missing/bad latitude data in waypoint 1"},
        {Doc(Wpt("<name>A</name>", "lat=\"1\"")), "Missing/bad longitude data in waypoint 1"},
    };
    for (const Case& c : cases) {
        const waypoints::WaypointReadResult read = ReadGpxWaypoints(c.text, Options());
        EXPECT_EQ(read.status, -1) << c.text;
        EXPECT_EQ(read.message, c.message) << c.text;
        EXPECT_EQ(read.title, kWaypointReadTitle);
        EXPECT_TRUE(read.waypoints.empty());
    }
}

TEST(GpxWaypoints, ModifyWaypointIdQuestion) {
    const std::string text =
        Doc(Wpt("<name>one</name>") + Wpt("<name>two</name>") + Wpt("<name>thr</name>"));
    struct Case {
        std::vector<ModifyIdAnswer> answers;
        int status;
        std::vector<std::string> ids;
        std::size_t asked;
    };
    const Case cases[] = {
        {{ModifyIdAnswer::kYes, ModifyIdAnswer::kYes, ModifyIdAnswer::kYes},
         3,
         {"ONE", "TWO", "THR"},
         3},
        {{ModifyIdAnswer::kYesToAll}, 3, {"ONE", "TWO", "THR"}, 1},
        {{ModifyIdAnswer::kNo, ModifyIdAnswer::kYes, ModifyIdAnswer::kNo}, 1, {"TWO"}, 3},
        {{ModifyIdAnswer::kYes, ModifyIdAnswer::kCancel}, waypoints::kReadCancelled, {}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> asked;
        waypoints::WaypointReadOptions options = Options();
        options.askModifyId = [&](std::string_view name) {
            asked.emplace_back(name);
            return c.answers.at(asked.size() - 1);
        };
        const waypoints::WaypointReadResult read = ReadGpxWaypoints(text, options);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(asked.size(), c.asked);
        if (c.status < 0) {
            EXPECT_TRUE(read.waypoints.empty());
            continue;
        }
        ASSERT_EQ(read.waypoints.size(), c.ids.size());
        for (std::size_t i = 0; i < c.ids.size(); ++i) {
            EXPECT_EQ(read.waypoints[i].Id(), c.ids[i]);
        }
    }
}

TEST(GpxWaypoints, TextsAreEscapedAndReadBack) {
    std::vector<Waypoint> list(2);
    list[0].SetId("A&B<1");
    list[0].SetDescription("Fish & <chips> \"x\"");
    list[0].latitude = DegreesToSemicircles(46.25);
    list[0].longitude = DegreesToSemicircles(7.5);
    list[0].altitude = 1500;
    list[0].time = k20240601;
    list[0].kind = kWaypointKindAirfield;
    list[1].SetId("");
    CalendarTime now;
    const std::string doc = GpxWaypointDocument(list, now, "1&2");
    EXPECT_EQ(doc.find("A&B"), std::string::npos);
    EXPECT_NE(doc.find("<name>A&amp;B&lt;1</name>"), std::string::npos);
    EXPECT_NE(doc.find("<desc>Fish &amp; &lt;chips&gt; &quot;x&quot;</desc>"), std::string::npos);
    EXPECT_NE(doc.find("<time>2024-06-01T00:00:00</time>"), std::string::npos);
    EXPECT_NE(doc.find("<type>Airport</type>"), std::string::npos);
    EXPECT_NE(doc.find("creator=\"Tracora 1&amp;2\""), std::string::npos);
    waypoints::WaypointReadOptions options = Options();
    options.lenientNames = true;
    const waypoints::WaypointReadResult read = ReadGpxWaypoints(doc, options);
    ASSERT_EQ(read.status, 2) << read.message;
    EXPECT_EQ(read.waypoints[0].Id(), "A-B-1");
    EXPECT_EQ(read.waypoints[0].Description(), "Fish - -chips- -x-");
    EXPECT_EQ(read.waypoints[0].altitude, 1500);
    EXPECT_EQ(read.waypoints[0].time, k20240601);
    EXPECT_EQ(read.waypoints[0].kind, kWaypointKindAirfield);
    EXPECT_EQ(read.waypoints[1].Id(), "-");  // an empty ID is written "-"
    // No waypoints: a document without any, which reads as none.
    EXPECT_EQ(ReadGpxWaypoints(GpxWaypointDocument({}, now, "1"), options).status, 0);
}

TEST(GpxRecord, ReadsTracksAndWaypointsWritesBoth) {
    const formats::FormatRecord* gpx = formats::FormatForPath("x.GPX");
    ASSERT_NE(gpx, nullptr);
    EXPECT_EQ(gpx->id, "gpx");
    const std::string text = Doc(
        Wpt("<name>w p</name>") + "<trk><trkseg>" + Point("1", "2", "3", "2024-06-01T10:00:00Z") +
        "</trkseg><trkseg>" + Point("1", "2", "3", "2024-06-01T10:00:05Z") +
        Point("1", "2", "3", "2024-06-01T10:00:06Z") + "</trkseg></trk>");
    const formats::ReadResult read = gpx->read(text);
    ASSERT_EQ(read.status, 4) << read.message;
    ASSERT_EQ(read.track.size(), 3u);
    EXPECT_EQ(read.track[0].flags, 1u);
    EXPECT_EQ(read.track[1].flags, 1u);
    EXPECT_EQ(read.track[2].flags, 0u);
    ASSERT_EQ(read.waypoints.size(), 1u);
    EXPECT_EQ(read.waypoints[0].Id(), "W");
    formats::WriteInput input;
    input.track = read.track;
    input.waypoints = read.waypoints;
    formats::TextBuffer out;
    std::string message;
    ASSERT_EQ(gpx->write(input, out, message), 0);
    const formats::ReadResult again = gpx->read(out.View());
    EXPECT_EQ(again.track.size(), 3u);
    EXPECT_EQ(again.waypoints.size(), 1u);
    EXPECT_EQ(gpx->read(Doc("")).message, "No tracks found");
}

}  // namespace
}  // namespace tracora::gpx

namespace tracora::gpx {
namespace {

std::string RealFile(const char* name) {
    return testing::ReadFixture(testing::FixturePath(std::string("real/") + name));
}

TEST(GpxRealFiles, EveryOneReads) {
    struct Case {
        const char* file;
        int waypoints;
        const char* firstId;
        int trackPoints;  // -1: its track points carry no time
    };
    const Case cases[] = {
        {"waypoints/gpx/gpsbabel-basecamp-gpx11.gpx", 2, "HWY", -1},
        {"waypoints/gpx/gpsbabel-expertgps-gpx11.gpx", 86, "5066", 64},
        {"tracks-other/gpsbabel-metadata.gpx", 2, "WPT001", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string text = RealFile(c.file);
        waypoints::WaypointReadOptions lenient = Options();
        lenient.lenientNames = true;
        const waypoints::WaypointReadResult read = waypoints::ReadWaypointText(text, lenient);
        ASSERT_EQ(read.status, c.waypoints) << read.message;
        EXPECT_EQ(read.waypoints[0].Id(), c.firstId);
        const GpxTrackRead tracks = ReadGpxTracks(text);
        if (c.trackPoints > 0) {
            ASSERT_EQ(tracks.status, 1) << tracks.message;
            EXPECT_EQ(static_cast<int>(tracks.tracks[0].size()), c.trackPoints);
        } else {
            EXPECT_EQ(tracks.message,
                      c.trackPoints == 0 ? "No tracks found" : "Missing tag(s) for position 1");
        }
    }
    // The first point of the ExpertGPS track: 2002-05-25 17:06:21 UTC, 1 m.
    const GpxTrackRead expert =
        ReadGpxTracks(RealFile("waypoints/gpx/gpsbabel-expertgps-gpx11.gpx"));
    ASSERT_EQ(expert.status, 1);
    EXPECT_EQ(expert.tracks[0][0].time, 391280781u);
    EXPECT_EQ(expert.tracks[0][0].gpsAltitude, 10);
    EXPECT_NEAR(SemicirclesToDegrees(expert.tracks[0][0].latitude), 30.062183, 1e-7);
}

}  // namespace
}  // namespace tracora::gpx
