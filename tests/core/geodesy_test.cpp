#include "core/geodesy.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tracora {
namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;
// Metres per degree of latitude, near enough to turn small angle errors into distances.
constexpr double kMetresPerDegree = 111320;

GeoPoint Degrees(double latitude, double longitude) {
    return {latitude * kRadiansPerDegree, longitude * kRadiansPerDegree};
}

// The lines of a fixture file without its '#' comment lines.
std::vector<std::string> FixtureLines(const std::string& name) {
    std::ifstream file(std::string(TRACORA_FIXTURES_DIR) + "/geodesy/" + name);
    EXPECT_TRUE(file.is_open()) << name;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

// ---- Geodesic distance ----------------------------------------------------------------------

struct GeodesicPair {
    std::string category;
    double lat1, lon1, lat2, lon2;
    double metres;  // GeodSolve -i
};

std::vector<GeodesicPair> LoadGeodesicPairs() {
    std::vector<GeodesicPair> pairs;
    for (const std::string& line : FixtureLines("geodesic_pairs.tsv")) {
        std::istringstream fields(line);
        GeodesicPair p;
        fields >> p.category >> p.lat1 >> p.lon1 >> p.lat2 >> p.lon2 >> p.metres;
        EXPECT_FALSE(fields.fail()) << line;
        pairs.push_back(p);
    }
    return pairs;
}

// The second point lies within a degree of the first one's antipode: the region where
// Vincenty's iteration may fail to converge.
bool NearlyAntipodal(const GeodesicPair& p) {
    double longitudeDifference = std::fabs(std::remainder(p.lon2 - p.lon1, 360.0));
    return std::fabs(p.lat1 + p.lat2) < 1 && longitudeDifference > 179;
}

TEST(GeodesyDistanceTest, AgreesWithGeodSolve) {
    const std::vector<GeodesicPair> pairs = LoadGeodesicPairs();
    ASSERT_GE(pairs.size(), 300u);
    double maxDifference = 0;
    int notConverged = 0;
    int antipodalConverged = 0;
    for (const GeodesicPair& p : pairs) {
        constexpr double kUntouched = -12345.0;
        double metres = kUntouched;
        const int status = GeoDistance(Degrees(p.lat1, p.lon1), Degrees(p.lat2, p.lon2), metres);
        const std::string where = p.category + " " + std::to_string(p.lat1) + " " +
                                  std::to_string(p.lon1) + " " + std::to_string(p.lat2) + " " +
                                  std::to_string(p.lon2);
        if (status == -1) {
            ++notConverged;
            EXPECT_TRUE(NearlyAntipodal(p)) << "no convergence away from the antipode: " << where;
            EXPECT_EQ(metres, kUntouched) << where;
            continue;
        }
        ASSERT_EQ(status, 0) << where;
        const double difference = std::fabs(metres - p.metres);
        maxDifference = std::max(maxDifference, difference);
        EXPECT_LE(difference, 0.001) << where << ": " << metres << " vs " << p.metres;
        if (p.category == "antipodal") {
            ++antipodalConverged;
        }
    }
    // The near-antipodal set holds both: lines that fail and lines that must converge.
    EXPECT_GT(notConverged, 0);
    EXPECT_GE(antipodalConverged, 5);
    std::printf("[          ] %zu pairs, %d without convergence, max |difference| %.4f mm\n",
                pairs.size(), notConverged, maxDifference * 1000);
}

struct DistanceCase {
    const char* name;
    double lat1, lon1, lat2, lon2;
    int status;
    double metres;  // GeodSolve -i -p 9; unused when status is -1
};

// Metres from GeodSolve -i -p 9.
constexpr DistanceCase kDistanceCases[] = {
    {"identical points", 46.5, 7.25, 46.5, 7.25, 0, 0},
    {"identical on the date line", 45, 180, 45, -180, 0, 0},
    {"along the equator", 0, 0, 0, 10, 0, 1113194.907932736},
    {"along the equator, long", 0, 0, 0, 179, 0, 19926188.851995971},
    {"along a meridian", 0, 0, 10, 0, 0, 1105854.833234372},
    {"pole to pole", 90, 0, -90, 0, 0, 20003931.458625447},
    {"about a centimetre", 46.0, 7.0, 46.0000001, 7.0000001, 0, 0.013548128},
    {"antipodal on the equator", 0, 0, 0, 180, -1, 0},
    {"antipodal", 30, 0, -30, 180, -1, 0},
    {"near-antipodal", 0, 0, 0.5, 179.5, -1, 0},
};

TEST(GeodesyDistanceTest, EdgeCases) {
    for (const DistanceCase& c : kDistanceCases) {
        double metres = -1;
        const int status = GeoDistance(Degrees(c.lat1, c.lon1), Degrees(c.lat2, c.lon2), metres);
        EXPECT_EQ(status, c.status) << c.name;
        if (c.status == 0) {
            EXPECT_NEAR(metres, c.metres, 0.001) << c.name;
        } else {
            EXPECT_EQ(metres, -1) << c.name << ": the distance must not be written";
        }
    }
}

TEST(GeodesyDistanceTest, IdenticalPointsAreExactlyZero) {
    double metres = -1;
    EXPECT_EQ(GeoDistance(Degrees(46.5, 7.25), Degrees(46.5, 7.25), metres), 0);
    EXPECT_EQ(metres, 0.0);
    // Below the thresholds (1.5e-9 and 1e-9 radians) the points count as one.
    metres = -1;
    EXPECT_EQ(GeoDistance({0.8, 0.1}, {0.8 + 1.4e-9, 0.1 + 0.9e-9}, metres), 0);
    EXPECT_EQ(metres, 0.0);
}

TEST(GeodesyDistanceTest, NotANumberDoesNotConverge) {
    double metres = 7;
    EXPECT_EQ(GeoDistance({std::nan(""), 0}, {0.5, 0.5}, metres), -1);
    EXPECT_EQ(metres, 7);
}

// ---- Transverse Mercator and UTM -------------------------------------------------------------

struct UtmPoint {
    double lat, lon;
    int zone;
    char band;
    double easting, northing;  // GeoConvert -u, band from -m
};

std::vector<UtmPoint> LoadUtmPoints() {
    std::vector<UtmPoint> points;
    for (const std::string& line : FixtureLines("utm_points.tsv")) {
        std::istringstream fields(line);
        UtmPoint p;
        fields >> p.lat >> p.lon >> p.zone >> p.band >> p.easting >> p.northing;
        EXPECT_FALSE(fields.fail()) << line;
        points.push_back(p);
    }
    return points;
}

TEST(GeodesyUtmTest, ForwardAgreesWithGeoConvert) {
    const std::vector<UtmPoint> points = LoadUtmPoints();
    ASSERT_GE(points.size(), 300u);
    double maxEasting = 0;
    double maxNorthing = 0;
    for (const UtmPoint& p : points) {
        int zone = 0;
        UtmPosition utm;
        ToUtm(Degrees(p.lat, p.lon), zone, utm);
        const std::string where = std::to_string(p.lat) + " " + std::to_string(p.lon);
        EXPECT_EQ(zone, p.zone) << where;
        EXPECT_EQ(utm.zone, p.zone) << where;
        EXPECT_EQ(utm.band, p.band) << where;
        EXPECT_NEAR(utm.easting, p.easting, 0.01) << where;
        EXPECT_NEAR(utm.northing, p.northing, 0.01) << where;
        maxEasting = std::max(maxEasting, std::fabs(utm.easting - p.easting));
        maxNorthing = std::max(maxNorthing, std::fabs(utm.northing - p.northing));
    }
    std::printf("[          ] %zu points, max |difference| easting %.4f cm, northing %.4f cm\n",
                points.size(), maxEasting * 100, maxNorthing * 100);
}

// GeoConvert's UTM position back to latitude and longitude, against the position GeoConvert
// started from.
TEST(GeodesyUtmTest, InverseReturnsToTheOriginalPosition) {
    double maxMetres = 0;
    for (const UtmPoint& p : LoadUtmPoints()) {
        UtmPosition utm;
        utm.zone = p.zone;
        utm.band = p.band;
        utm.easting = p.easting;
        utm.northing = p.northing;
        GeoPoint point;
        FromUtm(utm, point);
        const double latitudeMetres =
            std::fabs(point.latitude / kRadiansPerDegree - p.lat) * kMetresPerDegree;
        const double longitudeMetres =
            std::fabs(std::remainder(point.longitude / kRadiansPerDegree - p.lon, 360.0)) *
            kMetresPerDegree * std::cos(p.lat * kRadiansPerDegree);
        const std::string where = std::to_string(p.lat) + " " + std::to_string(p.lon);
        EXPECT_LE(latitudeMetres, 0.001) << where;
        EXPECT_LE(longitudeMetres, 0.001) << where;
        maxMetres = std::max({maxMetres, latitudeMetres, longitudeMetres});
    }
    std::printf("[          ] inverse: max position error %.4f mm\n", maxMetres * 1000);
}

struct ZoneCase {
    double lat, lon;
    int zone;
    char band;
};

// By the zone rules: 6-degree zones from 180 W, zone 32 widened over 3-12 E in band V,
// zones 31, 33, 35 and 37 over 0-9, 9-21, 21-33 and 33-42 E in band X.
constexpr ZoneCase kZoneCases[] = {
    {60, 3.5, 32, 'V'},    {78, 10, 33, 'X'},     {60, 2.9, 31, 'V'},    {56.5, 11.9, 32, 'V'},
    {64.5, 5, 31, 'W'},    {55.9, 5, 31, 'U'},    {72.5, 8.9, 31, 'X'},  {72.5, 9.1, 33, 'X'},
    {72.5, 20.9, 33, 'X'}, {72.5, 21.1, 35, 'X'}, {72.5, 32.9, 35, 'X'}, {72.5, 33.1, 37, 'X'},
    {72.5, 41.9, 37, 'X'}, {72.5, 42.1, 38, 'X'}, {72.5, -0.1, 30, 'X'}, {71.9, 8.9, 32, 'W'},
    {0, -180, 1, 'N'},     {0, -174.1, 1, 'N'},   {0, -173.9, 2, 'N'},   {0, 0, 31, 'N'},
    {0, -0.1, 30, 'N'},    {0, 179.9, 60, 'N'},   {-0.1, 7, 32, 'M'},    {-33.9, 151.2, 56, 'H'},
};

TEST(GeodesyUtmTest, ZoneRules) {
    for (const ZoneCase& c : kZoneCases) {
        EXPECT_EQ(UtmZone(c.lat, c.lon), c.zone) << c.lat << " " << c.lon;
        EXPECT_EQ(UtmBand(c.lat), c.band) << c.lat;
        int zone = 0;
        UtmPosition utm;
        ToUtm(Degrees(c.lat, c.lon), zone, utm);
        EXPECT_EQ(zone, c.zone) << c.lat << " " << c.lon;
        EXPECT_EQ(utm.band, c.band) << c.lat << " " << c.lon;
    }
    // Longitude 180 is the last zone's edge; the zone number stays within 1..60.
    EXPECT_EQ(UtmZone(0, 180), 60);
    EXPECT_EQ(UtmZone(0, 1e300), 60);
    EXPECT_EQ(UtmZone(0, -1e300), 1);
}

TEST(GeodesyUtmTest, BandLetters) {
    struct BandCase {
        double lat;
        char band;
    };
    const BandCase cases[] = {
        {-90, 'B'},    {-80.001, 'B'}, {-80, 'C'},    {-72.001, 'C'}, {-72, 'D'},
        {-8, 'M'},     {-0.001, 'M'},  {0, 'N'},      {8, 'P'},       {39.999, 'S'},
        {40, 'T'},     {47.999, 'T'},  {56, 'V'},     {63.999, 'V'},  {64, 'W'},
        {71.999, 'W'}, {72, 'X'},      {83.999, 'X'}, {84, 'Y'},      {90, 'Y'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UtmBand(c.lat), c.band) << c.lat;
    }
}

TEST(GeodesyUtmTest, GivenZoneIsUsed) {
    // GeoConvert -u -z 31 -p 6 for 60 N 3.5 E (whose own zone is 32).
    int zone = 31;
    UtmPosition utm;
    ToUtm(Degrees(60, 3.5), zone, utm);
    EXPECT_EQ(zone, 31);
    EXPECT_EQ(utm.zone, 31);
    EXPECT_EQ(utm.band, 'V');
    EXPECT_NEAR(utm.easting, 527888.663944, 0.01);
    EXPECT_NEAR(utm.northing, 6651516.575620, 0.01);
}

struct ProjectionCase {
    double lat, lon, centralMeridian;
    double x, y;  // TransverseMercatorProj -l <central meridian> (exact, k0 0.9996)
};

constexpr ProjectionCase kProjectionCases[] = {
    {46.5, 7.25, 7.25, 0.000000, 5149603.361656},
    {46.5, 9.25, 7.25, 153462.186444, 5151546.605587},
    {-33.9, 151.2, 150, 110950.177019, -3751716.348924},
    {0, 0, 2, -222595.439676, 0.000000},
    {64.1, -21.9, -19.5, -116948.345394, 7110361.302132},
    {-45.0, -179.5, 178, 197038.328157, -4985991.017362},  // across the date line
    {89.5, 10, 12, -1948.227055, 9942174.311498},
};

TEST(GeodesyProjectionTest, AgreesWithTransverseMercatorProj) {
    for (const ProjectionCase& c : kProjectionCases) {
        double x = 0;
        double y = 0;
        ProjectTransverseMercator(Degrees(c.lat, c.lon), c.centralMeridian * kRadiansPerDegree, x,
                                  y);
        EXPECT_NEAR(x, c.x, 0.01) << c.lat << " " << c.lon;
        EXPECT_NEAR(y, c.y, 0.01) << c.lat << " " << c.lon;
    }
}

}  // namespace
}  // namespace tracora
