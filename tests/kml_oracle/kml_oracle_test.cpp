// The KML documents against independent tools: xmllint for well-formedness and the KML 2.2
// schema with Google's extensions, gpsbabel for reading the track placemark's coordinates back.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/angles.hpp"
#include "documents/trip_record.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/kml/kml_reader.hpp"
#include "formats/kml/kml_writer.hpp"
#include "oracle/oracle_tools.hpp"

namespace tracora::kml {
namespace {

using oracles::kGpsbabelPackage;
using oracles::kXmllintPackage;
using oracles::OracleInstalled;

const std::filesystem::path kFixtures = TRACORA_FIXTURES_DIR;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun Command(const std::string& command) {
    ToolRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, n);
    }
    run.status = ::pclose(pipe);
    return run;
}

std::filesystem::path TempFile(const std::string& name, const std::string& content) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tracora_kml_oracle_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::vector<TrackPoint> IgcPoints(const std::string& file) {
    igc::IgcParseResult parsed;
    EXPECT_GT(igc::ParseIgc(ReadFile(kFixtures / "igc" / file), parsed), 0) << file;
    return parsed.points;
}

const char* const kFlights[] = {"20241007TZN.igc", "marcourt.igc", "xctrack-2022-04-07.igc"};

TEST(KmlOracle, TripDocumentWellFormedAndTrackReadBackByGpsbabel) {
    ASSERT_TRUE(OracleInstalled("xmllint", kXmllintPackage));
    ASSERT_TRUE(OracleInstalled("gpsbabel", kGpsbabelPackage));
    for (const char* flight : kFlights) {
        SCOPED_TRACE(flight);
        const std::vector<TrackPoint> points = IgcPoints(flight);
        ASSERT_GE(points.size(), 5u);
        GoogleEarthOptions options;
        options.hashWanted = true;
        options.timesAreUtc = true;
        options.pressureAltitudePresent = true;
        options.instrument = std::string_view("Vario <&\"> 1.0");
        options.loopFlightGapMetres = 800;
        std::string document, title, message;
        ASSERT_EQ(BuildGoogleEarthDocument(points, options, document, title, message), 0)
            << message;
        const auto path = TempFile("trip.kml", document);

        const ToolRun lint = Command("xmllint --noout '" + path.string() + "'");
        EXPECT_EQ(lint.status, 0) << lint.output;

        // gpsbabel reads the one LineString holding every point as the track.
        const ToolRun babel =
            Command("gpsbabel -t -i kml -f '" + path.string() + "' -o unicsv,fields=lat+lon -F -");
        ASSERT_EQ(babel.status, 0) << babel.output;
        std::istringstream lines(babel.output);
        std::string line;
        std::getline(lines, line);  // header
        std::vector<std::pair<double, double>> read;
        while (std::getline(lines, line)) {
            double lat = 0, lon = 0;
            int no = 0;
            if (std::sscanf(line.c_str(), "%d,%lf,%lf", &no, &lat, &lon) == 3) {
                read.emplace_back(lat, lon);
            }
        }
        // The distance placemarks are short lines; the track is the run of all points.
        ASSERT_GE(read.size(), points.size());
        std::size_t start = read.size();
        for (std::size_t i = 0; i + points.size() <= read.size(); ++i) {
            if (read.size() - i == points.size() ||
                std::fabs(read[i].first - points[0].latitude * (180.0 / 2147483648.0)) < 2e-6) {
                bool all = true;
                for (std::size_t k = 0; k < points.size() && all; ++k) {
                    all = std::fabs(read[i + k].first -
                                    points[k].latitude * (180.0 / 2147483648.0)) < 1.000001e-6 &&
                          std::fabs(read[i + k].second -
                                    points[k].longitude * (180.0 / 2147483648.0)) < 1.000001e-6;
                }
                if (all) {
                    start = i;
                    break;
                }
            }
        }
        EXPECT_LT(start, read.size()) << "track positions not read back";
        std::filesystem::remove(path);
    }
}

// KML written by gpsbabel: its waypoints read with the positions gpsbabel itself reports for the
// same file; its tracks (gx:Track and LineStrings without FsInfo) are no track log of ours.
TEST(KmlOracle, GpsbabelKmlWaypointsReadAndItsTracksAreNotTakenForOurs) {
    ASSERT_TRUE(OracleInstalled("gpsbabel", kGpsbabelPackage));
    for (const char* name : {"gpsbabel-basecamp-gpx11.gpx", "gpsbabel-expertgps-gpx11.gpx"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path gpx = kFixtures / "real" / "waypoints" / "gpx" / name;
        const auto kmlPath = TempFile("babel.kml", "");
        const ToolRun made = Command("gpsbabel -w -t -i gpx -f '" + gpx.string() + "' -o kml -F '" +
                                     kmlPath.string() + "'");
        ASSERT_EQ(made.status, 0) << made.output;
        const ToolRun listed =
            Command("gpsbabel -w -i gpx -f '" + gpx.string() + "' -o unicsv,fields=lat+lon -F -");
        ASSERT_EQ(listed.status, 0) << listed.output;
        std::vector<std::pair<double, double>> expected;
        std::istringstream lines(listed.output);
        std::string line;
        std::getline(lines, line);  // header
        while (std::getline(lines, line)) {
            double lat = 0, lon = 0;
            int no = 0;
            if (std::sscanf(line.c_str(), "%d,%lf,%lf", &no, &lat, &lon) == 3) {
                expected.emplace_back(lat, lon);
            }
        }
        ASSERT_FALSE(expected.empty());
        const std::string text = ReadFile(kmlPath);
        waypoints::WaypointReadOptions options;
        options.lenientNames = true;
        options.readTime = 1;
        const waypoints::WaypointReadResult read = ReadKmlWaypoints(text, options);
        ASSERT_EQ(read.status, static_cast<int>(expected.size())) << read.message;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(SemicirclesToDegrees(read.waypoints[i].latitude), expected[i].first,
                        1.000001e-6);
            EXPECT_NEAR(SemicirclesToDegrees(read.waypoints[i].longitude), expected[i].second,
                        1.000001e-6);
        }
        EXPECT_EQ(ReadKmlTrack(text).message, "No track log found");
        std::filesystem::remove(kmlPath);
    }
    const auto trackPath = TempFile("babel-track.kml", "");
    const ToolRun track =
        Command("gpsbabel -t -i ozi -f '" +
                (kFixtures / "real" / "tracks-other" / "gpsbabel-20070813_short.plt").string() +
                "' -o kml -F '" + trackPath.string() + "'");
    ASSERT_EQ(track.status, 0) << track.output;
    EXPECT_EQ(ReadKmlTrack(ReadFile(trackPath)).message, "No track log found");
    std::filesystem::remove(trackPath);
}

TEST(KmlOracle, AnimationTrackValidatesAgainstKml22gxSchema) {
    ASSERT_TRUE(OracleInstalled("xmllint", kXmllintPackage));
    const std::filesystem::path schemaPath = kFixtures / "real" / "schemas" / "kml22gx.xsd";
    ASSERT_TRUE(std::filesystem::exists(schemaPath)) << schemaPath;
    const std::string schema = schemaPath.string();
    const std::vector<TrackPoint> points = IgcPoints("marcourt.igc");
    for (const bool utc : {true, false}) {
        const auto path = TempFile("anim.kml", AnimationTrackDocument(points, utc));
        const ToolRun lint =
            Command("xmllint --noout --nonet --schema '" + schema + "' '" + path.string() + "'");
        EXPECT_EQ(lint.status, 0) << lint.output.substr(0, 2000);
        std::filesystem::remove(path);
    }
}

TEST(KmlOracle, WaypointFileWellFormedWithAwkwardTexts) {
    ASSERT_TRUE(OracleInstalled("xmllint", kXmllintPackage));
    ASSERT_TRUE(OracleInstalled("gpsbabel", kGpsbabelPackage));
    std::vector<Waypoint> waypoints(2);
    waypoints[0].SetId("A&B");
    waypoints[0].SetDescription("<top> \"landing\"");
    waypoints[1].SetId("W'2");
    waypoints[1].SetDescription("\xC3\xA9t\xC3\xA9");
    const auto path = TempFile("wpt.kml", KmlWaypointDocument(waypoints));
    const ToolRun lint = Command("xmllint --noout '" + path.string() + "'");
    EXPECT_EQ(lint.status, 0) << lint.output;
    const ToolRun babel = Command("gpsbabel -i kml -f '" + path.string() + "' -o unicsv -F -");
    EXPECT_EQ(babel.status, 0) << babel.output;
    EXPECT_NE(babel.output.find("A&B"), std::string::npos) << babel.output;
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace tracora::kml
