// The points of a Flytec download (the real session against the emulator) compared fix by fix
// with gpsbabel's reading of the same IGC file: time, latitude, longitude and the altitudes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "oracle/oracle_tools.hpp"
#include "protocols/flytec_harness.hpp"

namespace tracora::protocols {
namespace {

using test_support::FixturePath;
using test_support::ReadFixture;

struct BabelFix {
    double latitude = 0;
    double longitude = 0;
    bool hasAltitude = false;
    double altitude = 0;
    std::uint32_t time = 0;  // receiver seconds
};

// Seconds since 1989-12-31 00:00 UTC through the C library's own calendar.
std::uint32_t ReceiverSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    std::tm epoch{};
    epoch.tm_year = 89;
    epoch.tm_mon = 11;
    epoch.tm_mday = 31;
    return static_cast<std::uint32_t>(timegm(&tm) - timegm(&epoch));
}

// "No,Latitude,Longitude,Altitude,Date,Time" rows of `gpsbabel -t -i igc -o unicsv`.
std::vector<BabelFix> ReadWithGpsbabel(const std::string& path) {
    const std::string command = "gpsbabel -t -i igc -f '" + path + "' -o unicsv -F - 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<BabelFix> fixes;
    if (!pipe) {
        ADD_FAILURE() << "cannot run gpsbabel";
        return fixes;
    }
    std::string text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) {
        text.append(buffer, n);
    }
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    if (line.rfind("No,Latitude,Longitude,Altitude,Date,Time", 0) != 0) {
        ADD_FAILURE() << "gpsbabel is missing or said: " << text.substr(0, 200);
        return fixes;
    }
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) {
            f.push_back(cell);
        }
        if (f.size() != 6) {
            ADD_FAILURE() << "unexpected row: " << line;
            continue;
        }
        BabelFix fix;
        fix.latitude = std::stod(f[1]);
        fix.longitude = std::stod(f[2]);
        fix.hasAltitude = !f[3].empty();
        fix.altitude = fix.hasAltitude ? std::stod(f[3]) : 0;
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        EXPECT_EQ(std::sscanf(f[4].c_str(), "%d/%d/%d", &y, &mo, &d), 3) << line;
        EXPECT_EQ(std::sscanf(f[5].c_str(), "%d:%d:%d", &h, &mi, &s), 3) << line;
        fix.time = ReceiverSeconds(y, mo, d, h, mi, s);
        fixes.push_back(fix);
    }
    return fixes;
}

double Degrees(std::int32_t semicircles) {
    return semicircles * (180.0 / 2147483648.0);
}

class FlytecGpsbabelOracle : public test_support::FlytecSessionTest,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(FlytecGpsbabelOracle, EveryFixAgrees) {
    ASSERT_TRUE(oracles::OracleInstalled("gpsbabel", oracles::kGpsbabelPackage));
    const std::string name = GetParam();
    flytec::FlytecEmulatorConfig config;
    config.flights.push_back(ReadFixture(name));
    StartEmulator(std::move(config));
    const auto& out = Run(Start(device::AccessFunction::kReadTrackLog));
    ASSERT_GE(out.result, 0);
    const std::vector<TrackPoint>& points = out.track.points;
    const std::vector<BabelFix> babel = ReadWithGpsbabel(FixturePath(name));
    // gpsbabel gives one track of GPS altitudes, preceded by one of pressure altitudes when the
    // file has them.
    ASSERT_FALSE(points.empty());
    ASSERT_TRUE(babel.size() == points.size() || babel.size() == 2 * points.size())
        << babel.size() << " rows for " << points.size() << " points";
    const std::size_t gpsTrack = babel.size() - points.size();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const BabelFix& fix = babel[gpsTrack + i];
        const TrackPoint& p = points[i];
        ASSERT_EQ(p.time, fix.time) << name << " fix " << i;
        // gpsbabel prints six decimals; the IGC text has 0.001 minutes (1.7e-5 degrees).
        ASSERT_NEAR(Degrees(p.latitude), fix.latitude, 1e-6) << name << " fix " << i;
        ASSERT_NEAR(Degrees(p.longitude), fix.longitude, 1e-6) << name << " fix " << i;
        if (fix.hasAltitude) {
            ASSERT_EQ(p.gpsAltitude, std::lround(fix.altitude * 10)) << name << " fix " << i;
        }
        if (gpsTrack != 0) {
            const BabelFix& pressure = babel[i];
            ASSERT_EQ(pressure.time, fix.time);
            ASSERT_EQ(p.pressureAltitude, std::lround(pressure.altitude)) << name << " fix " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, FlytecGpsbabelOracle,
                         ::testing::Values("marcourt.igc", "20241007TZN.igc",
                                           "lad_lod_extensions.igc", "xctrack-2022-04-07.igc",
                                           "skydrop-2019-04-15.igc"));

}  // namespace
}  // namespace tracora::protocols
