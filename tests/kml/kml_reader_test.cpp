#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "core/time_base.hpp"
#include "formats/common/xml_walker.hpp"
#include "formats/kml/kml_reader.hpp"
#include "formats/kml/kml_writer.hpp"
#include "formats/waypoint_text/waypoint_files.hpp"
#include "kml/trip_builder.hpp"

namespace tracora::kml {
namespace {

using formats::XmlTagReader;
using formats::XmlTagResult;
using test_trips::At;

// A flight whose points differ in every field: positions on both sides of the meridian and
// the equator, heights rising and falling, pressure altitudes, 5 and 7 seconds apart.
TripAnalysis VariedTrip(std::size_t count, bool hash, bool utc, bool pressure) {
    TripAnalysis a;
    const std::uint32_t start = At(2024, 6, 1, 10, 0, 0);
    for (std::size_t i = 0; i < count; ++i) {
        TrackPoint p;
        const int k = static_cast<int>(i);
        p.time = start + static_cast<std::uint32_t>(k * 5 + (k % 3 == 0 ? 0 : 2));
        p.latitude = DegreesToSemicircles(-0.5 + 0.0173 * k);
        p.longitude = DegreesToSemicircles(-1.25 + 0.0311 * k);
        p.gpsAltitude = 12000 + (k % 7) * 133 - k * 11;
        p.pressureAltitude = 1180 + (k % 5) * 9 - k;
        a.points.push_back(p);
    }
    a.firstTime = a.points.front().time;
    a.lastTime = a.points.back().time;
    a.durationSeconds = a.lastTime - a.firstTime;
    a.hashWanted = hash;
    a.timesAreUtc = utc;
    a.pressureAltitudePresent = pressure;
    a.downloadTime = static_cast<std::int32_t>(At(2024, 6, 1, 18, 30, 0));
    a.identifiersPresent = true;
    a.civlPilotId = 1234;
    a.compPilotId = 56;
    return a;
}

std::string Document(TripAnalysis a, const std::optional<std::string_view>& instrument) {
    KmlOutput out;
    std::string message;
    EXPECT_EQ(WriteTripDocument(out, a, instrument, message), 0) << message;
    return out.Take();
}

// The text with the first occurrence of `from` (searched from `after`) replaced.
std::string Replaced(std::string text, const std::string& after, const std::string& from,
                     const std::string& to) {
    const std::size_t at = text.find(from, text.find(after));
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(KmlTrackRead, WriterDocumentsReadBackWithTheSameFixes) {
    // 80 characters with markup characters, as long as the writer lets an instrument text be.
    const std::string longInstrument = "Flytec 6030 <&\"> SN 1234 " + std::string(55, 'x');
    ASSERT_EQ(longInstrument.size(), 80u);
    struct Case {
        std::size_t count;
        bool hash;
        bool utc;
        bool pressure;
        std::optional<std::string> instrument;
    };
    const Case cases[] = {
        {5, true, true, true, longInstrument},
        {26, true, false, true, "Flytec 6030"},
        {60, false, true, false, std::nullopt},
        {25, true, true, false, std::nullopt},
        {1, true, true, true, "IQ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        const TripAnalysis trip = VariedTrip(c.count, c.hash, c.utc, c.pressure);
        std::optional<std::string_view> instrument;
        if (c.instrument) {
            instrument = *c.instrument;
        }
        const KmlTrackRead read = ReadKmlTrack(Document(trip, instrument));
        ASSERT_EQ(read.status, static_cast<int>(c.count)) << read.message;
        EXPECT_EQ(read.signature, c.hash ? kKmlSignatureOk : kKmlSignatureNone);
        EXPECT_EQ(read.timesAreUtc, c.utc);
        EXPECT_EQ(read.pressureAltitudePresent, c.pressure);
        EXPECT_EQ(read.instrument, c.instrument.value_or("unknown"));
        for (std::size_t i = 0; i < c.count; ++i) {
            const TrackPoint& in = trip.points[i];
            const TrackPoint& out = read.points[i];
            EXPECT_EQ(out.time, in.time) << i;
            EXPECT_EQ(out.flags, i == 0 ? 1u : 0u) << i;
            // Written with six decimals: read back within half a unit of the sixth.
            EXPECT_NEAR(SemicirclesToDegrees(out.latitude), SemicirclesToDegrees(in.latitude),
                        0.6e-6)
                << i;
            EXPECT_NEAR(SemicirclesToDegrees(out.longitude), SemicirclesToDegrees(in.longitude),
                        0.6e-6)
                << i;
            EXPECT_EQ(out.gpsAltitude, (in.gpsAltitude + 5) / 10 * 10) << i;
            EXPECT_EQ(out.pressureAltitude, c.pressure ? in.pressureAltitude : 0) << i;
        }
    }
}

TEST(KmlTrackRead, SignatureCoversContentButNotIdentifiers) {
    const std::string good = Document(VariedTrip(12, true, true, true), "Flytec 6030 SN 1");
    ASSERT_EQ(ReadKmlTrack(good).signature, kKmlSignatureOk);
    struct Case {
        const char* name;
        std::string text;
        int signature;
    };
    const Case cases[] = {
        {"coordinate digit", Replaced(good, "</FsInfo>", "-1.250000", "-1.250001"),
         kKmlSignatureNone},
        {"instrument text", Replaced(good, "<FsInfo", "SN 1", "SN 2"), kKmlSignatureNone},
        {"time offset", Replaced(good, "<SecondsFromTimeOfFirstPoint>", " 7 ", " 8 "),
         kKmlSignatureNone},
        {"pressure altitude", Replaced(good, "<PressureAltitude>", "1180", "1181"),
         kKmlSignatureNone},
        {"downloaded", Replaced(good, "<FsInfo", "18:30:00Z", "18:31:00Z"), kKmlSignatureNone},
        {"hash digit", Replaced(good, "<FsInfo", "hash=\"", "hash=\"0"), kKmlSignatureNone},
        {"CIVL ID", Replaced(good, "<FsInfo", "civl_pilot_id=\"1234\"", "civl_pilot_id=\"99\""),
         kKmlSignatureOk},
        {"competition ID", Replaced(good, "<FsInfo", "comp_pilot_id=\"56\"", ""), kKmlSignatureOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KmlTrackRead read = ReadKmlTrack(c.text);
        ASSERT_EQ(read.status, 12) << read.message;
        EXPECT_EQ(read.signature, c.signature);
    }
}

TEST(KmlTrackRead, LogbookOfThreeFlightsListsAndReadsEachAlone) {
    std::string book = Document(VariedTrip(7, true, true, true), "A");
    for (std::uint32_t shift : {3600u, 7200u}) {
        TripAnalysis next = VariedTrip(9, true, true, true);
        for (TrackPoint& p : next.points) {
            p.time += shift;
        }
        KmlOutput out;
        ASSERT_EQ(WriteTripFolder(out, next, "x", "B"), 0);
        std::string appended;
        ASSERT_EQ(AppendToLogbook(book, out.View(), appended), 0);
        book = appended;
    }
    const KmlTracks tracks = FindKmlTracks(book);
    ASSERT_EQ(tracks.status, 3) << tracks.message;
    EXPECT_EQ(KmlTrackLabel(tracks.tracks[0]), "2024-06-01   10:00:00");
    EXPECT_EQ(KmlTrackLabel(tracks.tracks[1]), "2024-06-01   11:00:00");
    EXPECT_EQ(KmlTrackLabel(tracks.tracks[2]), "2024-06-01   12:00:00");
    const KmlTrackRead second = ReadKmlTrack(book, 1);
    ASSERT_EQ(second.status, 9);
    EXPECT_EQ(second.points.front().time, At(2024, 6, 1, 11, 0, 0));
    EXPECT_EQ(second.signature, kKmlSignatureOk);
    EXPECT_EQ(second.instrument, "B");

    KmlTrackText bad;
    bad.hasFsInfo = true;
    EXPECT_EQ(KmlTrackLabel(bad), "Missing track time");
    bad.fsInfo = "time_of_first_point=\"2024-13-01T10:00:00Z\"";
    EXPECT_EQ(KmlTrackLabel(bad), "Bad track time");
}

// A hand-written track folder: `fsInfo` attributes and the three lists.
std::string Handmade(const std::string& fsInfo, const std::string& offsets,
                     const std::string& pressure, const std::string& coordinates) {
    std::string text =
        "<?xml version=\"1.0\"?>\n<Document><Folder><Placemark>"
        "<Metadata type=\"track\"><FsInfo " +
        fsInfo + ">";
    if (!offsets.empty()) {
        text += "<SecondsFromTimeOfFirstPoint>" + offsets + "</SecondsFromTimeOfFirstPoint>";
    }
    if (!pressure.empty()) {
        text += "<PressureAltitude>" + pressure + "</PressureAltitude>";
    }
    text += "</FsInfo></Metadata><LineString>";
    if (!coordinates.empty()) {
        text += "<coordinates>" + coordinates + "</coordinates>";
    }
    return text + "</LineString></Placemark></Folder></Document>";
}

TEST(KmlTrackRead, TimesListsAndTheirErrors) {
    const std::string z = "time_of_first_point=\"2024-06-01T10:00:00Z\"";
    const std::string two = "1,2,3 4,5,6";
    struct Case {
        const char* name;
        std::string text;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"pressure one short", Handmade(z, "0 1", "5", two), -1,
         "Bad number of positions in <PressureAltitude>"},
        {"pressure bad", Handmade(z, "0 1", "5 x", two), -1, "Bad <PressureAltitude> data"},
        {"offsets bad", Handmade(z, "0 ,,1", "", two), -1,
         "Bad <SecondsFromTimeOfFirstPoint> data"},
        {"offset overflow", Handmade(z, "0 99999999999999999999", "", two), -1,
         "Bad <SecondsFromTimeOfFirstPoint> data"},
        {"offsets comma list", Handmade(z, "0,1", "", two), 2, ""},
        {"coordinates count", Handmade(z, "0 1 2", "", two), -1,
         "Bad number of positions in <coordinates>"},
        {"coordinates bad", Handmade(z, "0 1", "", "1,2,3 4,x,6"), -1, "Bad <coordinates> data"},
        {"latitude 90", Handmade(z, "0 1", "", "1,2,3 4,90,6"), -1, "Bad <coordinates> data"},
        {"no FsInfo time", Handmade("a=\"1\"", "0 1", "", two), -1, "Bad time_of_first_point"},
        {"bad month", Handmade("time_of_first_point=\"2024-00-01T10:00:00Z\"", "0 1", "", two), -1,
         "Bad time_of_first_point"},
        {"trailing text", Handmade("time_of_first_point=\"2024-06-01T10:00:00Zx\"", "0 1", "", two),
         -1, "Bad time_of_first_point"},
        {"no offsets", Handmade(z, "", "", two), -1, "No track log time offsets found"},
        {"empty offsets", Handmade(z, " ", "", two), -1, "No track log positions found"},
        {"no coordinates", Handmade(z, "0 1", "", ""), -1, "No track log positions found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KmlTrackRead read = ReadKmlTrack(c.text);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.message, c.message);
        EXPECT_TRUE(c.status > 0 || read.points.empty());
    }

    // A time without a zone is local; a zone moves it to UTC; a fraction is rounded.
    struct TimeCase {
        const char* text;
        std::uint32_t time;
        bool utc;
    };
    const TimeCase times[] = {
        {"2024-06-01T10:00:00", At(2024, 6, 1, 10, 0, 0), false},
        {"2024-06-01T10:00:00Z", At(2024, 6, 1, 10, 0, 0), true},
        {"2024-06-01T10:00:00+02", At(2024, 6, 1, 8, 0, 0), true},
        {"2024-06-01T10:00:00-01:30", At(2024, 6, 1, 11, 30, 0), true},
        {"2024-06-01T10:00:00+0130:15", At(2024, 6, 1, 8, 29, 45), true},
        {"2024-06-01T10:00:00.6Z", At(2024, 6, 1, 10, 0, 1), true},
        {"2024-06-01T10:00:00.4", At(2024, 6, 1, 10, 0, 0), false},
    };
    for (const TimeCase& t : times) {
        SCOPED_TRACE(t.text);
        const KmlTrackRead read = ReadKmlTrack(Handmade(
            std::string("time_of_first_point=\"") + t.text + "\"", "0 7", "", "1,2,3 4,5"));
        ASSERT_EQ(read.status, 2) << read.message;
        EXPECT_EQ(read.points[0].time, t.time);
        EXPECT_EQ(read.points[1].time, t.time + 7);
        EXPECT_EQ(read.timesAreUtc, t.utc);
        // The last pair without a height, ending the text: height 0.
        EXPECT_EQ(read.points[1].gpsAltitude, 0);
        EXPECT_EQ(read.points[0].gpsAltitude, 30);
        EXPECT_EQ(read.signature, kKmlSignatureNone);
    }
}

TEST(KmlTrackRead, DocumentStructureErrors) {
    const std::string track =
        "<Placemark><Metadata type=\"track\"><FsInfo "
        "time_of_first_point=\"2024-06-01T10:00:00Z\">"
        "<SecondsFromTimeOfFirstPoint>0</SecondsFromTimeOfFirstPoint>"
        "</FsInfo></Metadata><LineString><coordinates>1,2,3</coordinates>"
        "</LineString></Placemark>";
    struct Case {
        const char* name;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"no tags", "just text", "No tags found"},
        {"stray bytes", "xy<?xml version=\"1.0\"?><Document/>", "Unknown BOM before opening tag"},
        {"only a trip folder", "<Document><Folder><name>Trip</name></Folder></Document>",
         "No track log found"},
        {"track outside a folder", "<Document>" + track + "</Document>", "No track log found"},
        {"two tracks in a folder", "<Document><Folder>" + track + track + "</Folder></Document>",
         "Multiple tracks in one <Folder> element"},
        {"two track metadata",
         "<Folder><Placemark><Metadata type=\"track\"/><Metadata type=\"track\"/></Placemark>"
         "</Folder>",
         "Multiple tracks in one <Placemark> element"},
        {"pairing", "<Document><Folder></Document>", "Tag <Folder> is terminated by </Document>"},
        {"root end", "</Document>", "Terminating tag </Document> encountered at root level"},
        {"open at end", "<Document><Folder>", "Nesting level not zero at end-of-file"},
        {"inside a tag", "<Document><Folder", "End-of-file encountered within a tag"},
        {"data after", "<Document/>x", "Data found after last tag"},
        {"data before", "<Document>x<Folder/></Document>", "Data found before tag <Folder>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KmlTrackRead read = ReadKmlTrack(c.text);
        EXPECT_EQ(read.status, -1);
        EXPECT_EQ(read.message, c.message);
    }
    // A byte-order mark, comments and a missing declaration are fine.
    const KmlTrackRead ok =
        ReadKmlTrack("\xEF\xBB\xBF<!-- a -->\n<Document><Folder>" + track + "</Folder></Document>");
    EXPECT_EQ(ok.status, 1) << ok.message;
}

TEST(XmlTagReader, ResultsCommentsAndCdata) {
    const std::string text =
        "<?xml v=\"1\"?> <a x=\"1\">\n <b/><!-- c d --> text "
        "<![CDATA[<raw>]]> more</a> tail";
    XmlTagReader reader(text);
    struct Expected {
        XmlTagResult result;
        std::string name;
        std::string attributes;
        std::string data;
    };
    const Expected expected[] = {
        {XmlTagResult::kTag, "?xml", "v=\"1\"?", ""},
        {XmlTagResult::kTag, "a", "x=\"1\"", ""},
        {XmlTagResult::kEmptyTag, "b", "", ""},
        {XmlTagResult::kTag, "!--", "c d --", ""},
        {XmlTagResult::kTag, "/a", "", "text <raw> more"},
        {XmlTagResult::kEndOfText, "", "", "tail"},
        {XmlTagResult::kEndOfText, "", "", ""},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const formats::XmlTag tag = reader.Next();
        EXPECT_EQ(tag.result, e.result);
        EXPECT_EQ(tag.name, e.name);
        EXPECT_EQ(tag.attributes, e.attributes);
        EXPECT_EQ(tag.data, e.data);
    }
    for (const char* open : {"<a", "<!-- x", "<![CDATA[ x"}) {
        XmlTagReader unfinished(open);
        EXPECT_EQ(unfinished.Next().result, XmlTagResult::kEndInTag) << open;
    }
}

class CountingHandler : public formats::XmlHandler {
public:
    std::vector<std::string> closed;
    bool Open(const formats::XmlElement&, std::size_t, const std::vector<std::string_view>&,
              std::string&) override {
        return true;
    }
    bool Close(const formats::XmlElement& element, std::size_t,
               const std::vector<std::string_view>&, std::string&) override {
        closed.push_back(formats::DecodeXmlText(element.data));
        return true;
    }
};

TEST(XmlWalk, NineteenLevelsAndEntities) {
    const auto nested = [](int levels) {
        std::string text = "<?xml version=\"1.0\"?>";
        for (int i = 0; i < levels; ++i) {
            text += "<level" + std::to_string(i) + "_with_a_long_name>";
        }
        text += "S&amp;&lt;&#233;&#x41;";
        for (int i = levels - 1; i >= 0; --i) {
            text += "</level" + std::to_string(i) + "_with_a_long_name>";
        }
        return text;
    };
    CountingHandler handler;
    std::string message;
    EXPECT_TRUE(formats::WalkXml(nested(19), handler, message)) << message;
    ASSERT_FALSE(handler.closed.empty());
    EXPECT_EQ(handler.closed.front(),
              "S&<\xC3\xA9"
              "A");
    EXPECT_FALSE(formats::WalkXml(nested(20), handler, message));
    // Names in messages are cut to 20 characters.
    EXPECT_EQ(message, "Nesting limit exceeded at tag <level19_with_a_long_...>");
}

TEST(LocateKmlDocument, ContentOfTheDocumentElement) {
    const std::string text =
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<kml><Document id=\"d\">"
        "<Folder><Document/></Folder><!-- </Document> --></Document></kml>";
    std::size_t start = 0;
    std::size_t end = 0;
    ASSERT_EQ(LocateKmlDocument(text, start, end), 0);
    EXPECT_EQ(text.substr(start, end - start), "<Folder><Document/></Folder><!-- </Document> -->");
    EXPECT_EQ(LocateKmlDocument("<Document></Document>", start, end), -1);
    EXPECT_EQ(LocateKmlDocument("xx<?xml?><Document></Document>", start, end), -1);
    EXPECT_EQ(LocateKmlDocument("<?xml?><Document><a></Document>", start, end), -2);
    EXPECT_EQ(LocateKmlDocument("<?xml?><Folder/>", start, end), -2);
    EXPECT_EQ(LocateKmlDocument("<?xml?><Document>", start, end), -2);
}

waypoints::WaypointReadResult ReadWaypoints(const std::string& text) {
    waypoints::WaypointReadOptions options;
    options.lenientNames = true;
    options.readTime = 1000;
    return ReadKmlWaypoints(text, options);
}

TEST(KmlWaypoints, WriterFileReadsBack) {
    std::vector<Waypoint> list(2);
    list[0].SetId("SUMMIT");
    list[0].SetDescription("Cross on the top");
    list[0].latitude = DegreesToSemicircles(46.512345);
    list[0].longitude = DegreesToSemicircles(-7.654321);
    list[0].altitude = 1234;
    list[1].SetId("TOP");
    list[1].latitude = DegreesToSemicircles(-33.5);
    list[1].longitude = DegreesToSemicircles(151.25);
    list[1].altitude = -12;
    const waypoints::WaypointReadResult read = ReadWaypoints(KmlWaypointDocument(list));
    ASSERT_EQ(read.status, 2) << read.message;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read.waypoints[i].Id(), list[i].Id());
        EXPECT_EQ(read.waypoints[i].Description(), list[i].Description());
        EXPECT_NEAR(SemicirclesToDegrees(read.waypoints[i].latitude),
                    SemicirclesToDegrees(list[i].latitude), 0.6e-6);
        EXPECT_NEAR(SemicirclesToDegrees(read.waypoints[i].longitude),
                    SemicirclesToDegrees(list[i].longitude), 0.6e-6);
        EXPECT_EQ(read.waypoints[i].altitude, list[i].altitude);
        EXPECT_EQ(read.waypoints[i].kind, kWaypointKindPoint);
    }
    // A waypoint without an ID is written so that it reads back.
    std::vector<Waypoint> unnamed(1);
    unnamed[0].latitude = DegreesToSemicircles(10.5);
    const waypoints::WaypointReadResult back = ReadWaypoints(KmlWaypointDocument(unnamed));
    ASSERT_EQ(back.status, 1) << back.message;
    EXPECT_NEAR(SemicirclesToDegrees(back.waypoints[0].latitude), 10.5, 0.6e-6);
    // The dispatcher of the waypoint files hands KML documents to this reader.
    EXPECT_EQ(waypoints::ReadWaypointFileOfRegistry(KmlWaypointDocument(list)).status, 2);
}

TEST(KmlWaypoints, OnlyTheWaypointsFolderAndItsErrors) {
    const auto doc = [](const std::string& folderName, const std::string& placemark) {
        return "<?xml version=\"1.0\"?><kml><Document><Folder><name>" + folderName + "</name>" +
               placemark + "</Folder></Document></kml>";
    };
    const std::string good =
        "<Placemark><name>W1</name><Point><coordinates>7.5,46.25,500</coordinates></Point>"
        "</Placemark>";
    struct Case {
        const char* name;
        std::string text;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"waypoints", doc("Waypoints", good), 1, ""},
        {"entities",
         doc("Waypoints",
             "<Placemark><name>A&#66;C</name><Point><coordinates>1,2"
             "</coordinates></Point></Placemark>"),
         1, ""},
        {"other folder", doc("Tracks", good), 0, ""},
        {"no name",
         doc("Waypoints",
             "<Placemark><Point><coordinates>1,2</coordinates></Point>"
             "</Placemark>"),
         -1, "Missing tag(s) for waypoint 1"},
        {"no point", doc("Waypoints", "<Placemark><name>X</name></Placemark>"), -1,
         "Missing tag(s) for waypoint 1"},
        {"empty name",
         doc("Waypoints", good + "<Placemark><name></name><Point><coordinates>1,2"
                                 "</coordinates></Point></Placemark>"),
         -1, "Missing data for waypoint 2"},
        {"bad coordinates",
         doc("Waypoints",
             "<Placemark><name>X</name><Point><coordinates>"
             "1;2</coordinates></Point></Placemark>"),
         -1, "Bad <coordinates> in waypoint X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const waypoints::WaypointReadResult read = ReadWaypoints(c.text);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.message, c.message);
        EXPECT_EQ(read.title, kKmlWaypointReadTitle);
        if (c.status > 0) {
            EXPECT_EQ(read.waypoints.front().Id(),
                      c.name == std::string("entities") ? "ABC" : "W1");
        }
    }
}

TEST(KmlCheck, EveryTrackMustCarryItsSignature) {
    const std::string signedDoc = Document(VariedTrip(6, true, true, true), "I");
    const std::string unsignedDoc = Document(VariedTrip(4, false, true, true), "I");
    KmlCheck check = CheckKmlText(signedDoc);
    EXPECT_TRUE(check.good);
    EXPECT_EQ(check.lines, std::vector<std::string>{"6 positions read (Signature ok)"});
    check = CheckKmlText(unsignedDoc);
    EXPECT_FALSE(check.good);
    EXPECT_EQ(check.lines, std::vector<std::string>{"4 positions read (NO valid signature)"});
    check = CheckKmlText("<Document/>");
    EXPECT_FALSE(check.good);
    EXPECT_EQ(check.lines, std::vector<std::string>{"No track log found"});
    // A logbook with one unsigned flight among signed ones is bad.
    KmlOutput folder;
    TripAnalysis second = VariedTrip(4, false, true, true);
    ASSERT_EQ(WriteTripFolder(folder, second, "x", "I"), 0);
    std::string book;
    ASSERT_EQ(AppendToLogbook(signedDoc, folder.View(), book), 0);
    check = CheckKmlText(book);
    EXPECT_FALSE(check.good);
    EXPECT_EQ(check.lines, (std::vector<std::string>{"Track 1: 6 positions read (Signature ok)",
                                                     "Track 2: 4 positions read (NO valid "
                                                     "signature)"}));
}

TEST(KmlFormatRecord, ReadsTracksAndWaypoints) {
    const formats::ReadResult track = ReadKmlFile(Document(VariedTrip(6, true, true, true), "I"));
    EXPECT_EQ(track.status, 6);
    EXPECT_EQ(track.track.size(), 6u);
    EXPECT_TRUE(track.pressureAltitudePresent);
    std::vector<Waypoint> list(1);
    list[0].SetId("W");
    const formats::ReadResult points = ReadKmlFile(KmlWaypointDocument(list));
    EXPECT_EQ(points.status, 1);
    EXPECT_EQ(points.waypoints.size(), 1u);
    const formats::ReadResult neither = ReadKmlFile("<?xml version=\"1.0\"?><kml/>");
    EXPECT_EQ(neither.status, -1);
    EXPECT_EQ(neither.message, "No track log found");
}

}  // namespace
}  // namespace tracora::kml
