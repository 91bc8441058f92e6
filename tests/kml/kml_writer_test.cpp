#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/test_files.hpp"
#include "core/time_base.hpp"
#include "formats/kml/kml_writer.hpp"
#include "kml/trip_builder.hpp"

namespace tracora::kml {
namespace {

using test_trips::At;
using test_trips::Point;
using test_trips::TripOf;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::map<std::string, std::string> HashFixtures() {
    std::map<std::string, std::string> out;
    std::istringstream in(
        ReadFile(std::filesystem::path(TRACORA_FIXTURES_DIR) / "kml" / "fsinfo_hashes.tsv"));
    std::string name, hash;
    while (in >> name >> hash) {
        out[name] = hash;
    }
    return out;
}

// The five-point flight of tools/make_kml_hash_fixtures.py.
TripAnalysis FixtureTrip() {
    struct Row {
        std::uint32_t seconds;
        std::int32_t lat, lon, altDm, pressureM;
    };
    const Row rows[] = {{0, 554766609, 89478485, 10004, 980},
                        {5, 554770000, 89480000, 10056, 985},
                        {10, 554775000, 89490000, 10114, 991},
                        {15, 554781000, 89501000, 10207, 1000},
                        {20, 554790000, 89515000, 10299, 1009}};
    TripAnalysis a;
    const std::uint32_t start = At(2024, 6, 1, 10, 0, 0);
    for (const Row& r : rows) {
        TrackPoint p;
        p.time = start + r.seconds;
        p.latitude = r.lat;
        p.longitude = r.lon;
        p.gpsAltitude = r.altDm;
        p.pressureAltitude = r.pressureM;
        a.points.push_back(p);
    }
    a.firstTime = a.points.front().time;
    a.lastTime = a.points.back().time;
    a.durationSeconds = a.lastTime - a.firstTime;
    a.downloadTime = static_cast<std::int32_t>(At(2024, 6, 1, 18, 30, 0));
    a.hashWanted = true;
    a.identifiersPresent = true;
    a.civlPilotId = 1234;
    a.compPilotId = 56;
    a.timesAreUtc = true;
    a.pressureAltitudePresent = true;
    return a;
}

const std::string kBaseInstrument = "Flytec 6030 <&\"> SN 1234";

std::string Folder(TripAnalysis a, const std::optional<std::string_view>& instrument,
                   std::string_view description = "d") {
    KmlOutput out;
    EXPECT_EQ(WriteTripFolder(out, a, description, instrument), 0);
    return std::string(out.View());
}

std::string HashOf(const std::string& folder) {
    const std::size_t at = folder.find("hash=\"");
    if (at == std::string::npos) {
        return "";
    }
    return folder.substr(at + 6, 40);
}

// Expected hashes come from sha1sum over the exact hashed bytes (the fixture script).
TEST(FsInfoHash, MatchesSha1sumAndCoversTheRightFields) {
    const std::map<std::string, std::string> expected = HashFixtures();
    ASSERT_EQ(expected.size(), 4u);

    struct Case {
        const char* name;
        const char* fixture;
        void (*change)(TripAnalysis&);
        std::optional<std::string> instrument;
    };
    const Case cases[] = {
        {"base", "base", [](TripAnalysis&) {}, kBaseInstrument},
        {"one coordinate digit", "coordinate_digit",
         [](TripAnalysis& a) { a.points[2].longitude += 12; }, kBaseInstrument},
        {"instrument text", "instrument_text", [](TripAnalysis&) {}, "Flytec 6030 <&\"> SN 1235"},
        {"no instrument", "no_instrument", [](TripAnalysis&) {}, std::nullopt},
        {"other CIVL ID", "base", [](TripAnalysis& a) { a.civlPilotId = 99999; }, kBaseInstrument},
        {"no competition ID", "base", [](TripAnalysis& a) { a.compPilotId = -1; }, kBaseInstrument},
        {"identifiers absent", "base", [](TripAnalysis& a) { a.identifiersPresent = false; },
         kBaseInstrument},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TripAnalysis a = FixtureTrip();
        c.change(a);
        std::optional<std::string_view> instrument;
        if (c.instrument) {
            instrument = *c.instrument;
        }
        EXPECT_EQ(HashOf(Folder(a, instrument)), expected.at(c.fixture));
    }
    EXPECT_NE(expected.at("base"), expected.at("coordinate_digit"));
    EXPECT_NE(expected.at("base"), expected.at("instrument_text"));
}

TEST(FsInfoHash, AbsentWhenNotWantedAndKeyNeverWritten) {
    TripAnalysis a = FixtureTrip();
    a.hashWanted = false;
    const std::string folder = Folder(a, kBaseInstrument);
    EXPECT_EQ(folder.find("hash="), std::string::npos);
    const std::array<char, 18> key = FsInfoHashKey();
    EXPECT_EQ(key[17], '\0');
    EXPECT_EQ(folder.find(std::string_view(key.data(), 17)), std::string::npos);
}

TEST(FsInfo, AttributesAndEscapedInstrument) {
    const std::string folder = Folder(FixtureTrip(), kBaseInstrument);
    EXPECT_NE(folder.find("        <FsInfo time_of_first_point=\"2024-06-01T10:00:00Z\"\r\n"
                          "                civl_pilot_id=\"1234\" comp_pilot_id=\"56\"\r\n"
                          "                instrument=\"Flytec 6030 &lt;&amp;&quot;&gt; SN 1234\""
                          "\r\n                downloaded=\"2024-06-01T18:30:00Z\"\r\n"
                          "                hash=\""),
              std::string::npos)
        << folder;
    EXPECT_NE(folder.find("          <SecondsFromTimeOfFirstPoint>\r\n0 5 10 15 20\r\n"
                          "          </SecondsFromTimeOfFirstPoint>\r\n"
                          "          <PressureAltitude>\r\n980 985 991 1000 1009\r\n"),
              std::string::npos);
    TripAnalysis onlyComp = FixtureTrip();
    onlyComp.civlPilotId = -1;
    EXPECT_NE(
        Folder(onlyComp, kBaseInstrument).find("\r\n                comp_pilot_id=\"56\"\r\n"),
        std::string::npos);
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
    const std::size_t a = text.find(open);
    const std::size_t b = text.find(close, a);
    if (a == std::string::npos || b == std::string::npos) {
        return "";
    }
    return text.substr(a + open.size(), b - a - open.size());
}

std::size_t Lines(const std::string& block) {
    std::size_t n = 0;
    for (std::size_t at = block.find("\r\n"); at != std::string::npos;
         at = block.find("\r\n", at + 2)) {
        ++n;
    }
    return n;
}

TEST(TrackPlacemark, LineBreaksHeightsAndTimes) {
    struct Case {
        const char* name;
        std::size_t count;
        std::int32_t altitudeDm;
        std::uint32_t badTimeAt;
        std::size_t timeLines;        // lines of relative times
        std::size_t coordinateLines;  // lines of coordinates
        const char* altitudeMode;
    };
    const Case cases[] = {
        {"25 points", 25, 10000, 0, 1, 5, "absolute"},
        {"26 points", 26, 10000, 0, 2, 6, "absolute"},
        {"5 points", 5, 10000, 0, 1, 1, "absolute"},
        {"heights all 0", 6, 0, 0, 1, 2, "clampedToGround"},
        {"one invalid time", 7, 10000, 3, 1, 2, "absolute"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TripAnalysis a = TripOf(c.count, c.altitudeDm, c.badTimeAt);
        const std::vector<TrackPoint> before = a.points;
        const std::string folder = Folder(a, std::nullopt);
        const std::string times =
            Between(folder, "<SecondsFromTimeOfFirstPoint>\r\n", "          </Seconds");
        EXPECT_EQ(Lines(times), c.timeLines);
        const std::string track = folder.substr(folder.find("<name>Tracklog</name>"));
        const std::string coordinates = Between(track, "<coordinates>\r\n", "        </coord");
        EXPECT_EQ(Lines(coordinates), c.coordinateLines);
        EXPECT_NE(track.find(std::string("<altitudeMode>") + c.altitudeMode), std::string::npos);
        if (c.badTimeAt > 0) {
            EXPECT_EQ(times, "0 5 10 15 20 25 30\r\n");
            EXPECT_NE(folder.find("time_of_first_point=\"1989-12-31T00:00:00\""),
                      std::string::npos);
        } else {
            EXPECT_NE(folder.find("time_of_first_point=\"2024-06-01T10:00:00Z\""),
                      std::string::npos);
        }
        EXPECT_EQ(a.points.size(), before.size());
    }
}

TEST(TripFolder, RenumbersOnlyTheAnalysisCopy) {
    const std::vector<TrackPoint> trackLog = TripOf(6, 100, 2).points;
    TripAnalysis a;
    a.points = trackLog;
    a.firstTime = trackLog.front().time;
    KmlOutput out;
    ASSERT_EQ(WriteTripFolder(out, a, "x", std::nullopt), 0);
    EXPECT_EQ(a.points[1].time, 5u);
    EXPECT_EQ(trackLog[2].time, 0xFFFFFFFFu);
}

TEST(TripFolder, DescriptionTextConversion) {
    struct Case {
        std::string text;
        int status;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"<b>bold</b>", 0, "&lt;b&gt;bold&lt;/b&gt;"},
        {"Fiesch \xC3\xA9t\xC3\xA9 \xE2\x82\xAC", 0, "Fiesch \xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
        {"end ]]> of CDATA", 0, "end ]]&gt; of CDATA"},
        {"latin-1 \xE9t\xE9", -2, ""},
        {"cut \xE2\x82", -2, ""},
        {"overlong \xC0\xAF", -2, ""},
        {"surrogate \xED\xA0\x80", -2, ""},
        {std::string("nul \0 inside", 12), -2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TripAnalysis a = TripOf(5, 100);
        KmlOutput out;
        out.Append("earlier");
        EXPECT_EQ(WriteTripFolder(out, a, c.text, std::nullopt), c.status);
        if (c.status == 0) {
            EXPECT_NE(out.View().find("<description><![CDATA[" + c.written + "\r\n<pre>\r\n"),
                      std::string::npos);
        } else {
            EXPECT_EQ(out.Size(), 0u);
            EXPECT_STREQ(TripFolderError(c.status), "Wide character conversion error");
        }
    }
}

TEST(TripFolder, StatisticsAndDistancePlacemarks) {
    TripAnalysis a = TripOf(10, 15004);
    a.lastTime = a.firstTime + 3725;
    a.durationSeconds = 3725;
    a.maxHeightMetres = 1500;
    a.minHeightMetres = 800;
    a.maxMeanSpeedKmh = 41.5;
    a.topSpeedKmh = 55.49;
    a.maxClimbMps = 3.456;
    a.minClimbMps = -2.5;
    a.totalMetres = 12345.0;
    a.loopFlightGapMetres = 800;
    DistanceResult& open = a.results[static_cast<std::size_t>(DistanceKind::kOpen)];
    open.index = {1, 8, 0, 0, 0};
    open.legMetres[0] = 1234.5;
    open.sumMetres = 1234.5;
    DistanceResult& flat = a.results[static_cast<std::size_t>(DistanceKind::kFlatTriangle)];
    flat.index = {0, 2, 4, 6, 9};
    flat.sumMetres = 3000;
    const std::string folder = Folder(a, std::nullopt);
    const char* expectedLines[] = {
        "Flight statistics\r\n",
        "Date                 2024-06-01\r\n",
        "Start/finish         10:00:00 - 11:02:05\r\n",
        "Duration             1 : 02 : 05\r\n",
        "Max./min. height     1500 / 800 m\r\n",
        "Max. mean/top speed  42 km/h / 55 km/h\r\n",
        "Max/min climb rate   3.46 / -2.50 m/s over 60s\r\n",
        "Total distance       12.35 km\r\n</pre>]]>\r\n",
        "<FsInfo track_idx=\"1 8\" />",
        "<name>Open distance</name>",
        "Greatest distance between any 2 points\r\n\r\n",
        "<color>FF0000FF</color>",
        "\r\n\r\n    <!--Out-and-return not computed-->\r\n",
        "Flat triangle (max allowable gap 800)",
        "\r\n\r\n    <!--FAI triangle not computed-->\r\n",
        "      <MultiGeometry>\r\n      <LineString>",
        "                                                  Sum  3.00\r\n",
    };
    for (const char* line : expectedLines) {
        EXPECT_NE(folder.find(line), std::string::npos) << line;
    }
    // The open distance row B carries its leg; it has no Sum line.
    const std::string open2 = Between(folder, "Greatest distance between any 2 points", "</pre>");
    EXPECT_NE(open2.find("  1.23\r\n"), std::string::npos);
    EXPECT_EQ(open2.find("Sum"), std::string::npos);
    EXPECT_NE(folder.find("<name>Distance over 5 points</name>"), std::string::npos);
}

TEST(WaypointDocument, EscapesTexts) {
    Waypoint w;
    w.SetId("A&B<1");
    w.SetDescription("Say \"hi\" > there");
    w.latitude = 554766609;
    w.longitude = 89478485;
    w.altitude = 1234;
    const std::string doc = KmlWaypointDocument(std::span<const Waypoint>(&w, 1));
    EXPECT_NE(doc.find("        <name>A&amp;B&lt;1</name>\r\n"), std::string::npos);
    EXPECT_NE(doc.find("        <description>Say \"hi\" &gt; there</description>\r\n"),
              std::string::npos);
    EXPECT_NE(doc.find(",1234.000000</coordinates>\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tracora::kml
