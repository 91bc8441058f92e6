#include "analysis/flight_statistics.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/track_builder.hpp"
#include "core/geodesy.hpp"
#include "core/scripted_host.hpp"
#include "core/track_store.hpp"

namespace tracora::analysis {
namespace {

using test::MakePoint;
using tracora::testing::ScriptedHost;

constexpr double kMetresPerDegreeLatitude = 111141.0;  // along the meridian at 46N

// 10 m/s due north, one fix a second, climbing 2 m/s.
std::vector<TrackPoint> Cruise(std::size_t count) {
    std::vector<TrackPoint> points;
    for (std::size_t i = 0; i < count; ++i) {
        const double north = 10.0 * static_cast<double>(i);
        points.push_back(MakePoint({46.0 + north / kMetresPerDegreeLatitude, 7.0},
                                   static_cast<std::uint32_t>(1000000 + i),
                                   static_cast<std::int32_t>(10000 + 20 * i)));
    }
    return points;
}

TEST(FlightStatistics, SteadyCruise) {
    const FlightStatistics s = ComputeFlightStatistics(Cruise(201));
    EXPECT_EQ(s.durationSeconds, 200);
    EXPECT_NEAR(s.totalMetres, 2000.0, 2.0);
    EXPECT_NEAR(s.topSpeedKmh, 36.0, 0.05);
    EXPECT_NEAR(s.bestMeanSpeedKmh, 36.0, 0.05);
    EXPECT_NEAR(s.meanSpeedKmh, 36.0, 0.05);
    EXPECT_NEAR(s.highestClimbMps, 2.0, 0.01);
    EXPECT_EQ(s.lowestClimbMps, 0.0);
    EXPECT_EQ(s.lowestMetres, 1000);
    EXPECT_EQ(s.highestMetres, 1400);
}

TEST(FlightStatistics, ZeroDurationShowsMeanSpeedZero) {
    std::vector<TrackPoint> points = Cruise(3);
    for (TrackPoint& p : points) {
        p.time = 1000000;
    }
    const FlightStatistics s = ComputeFlightStatistics(points);
    EXPECT_EQ(s.durationSeconds, 0);
    EXPECT_EQ(s.meanSpeedKmh, 0.0);
    EXPECT_EQ(StatisticsLines(s)[9].second, "0 km/h");
    EXPECT_EQ(ComputeFlightStatistics({}).meanSpeedKmh, 0.0);
}

TEST(FlightStatistics, Lines) {
    const FlightStatistics s = ComputeFlightStatistics(Cruise(4000));
    const auto lines = StatisticsLines(s);
    EXPECT_EQ(lines[3].second, "1 : 06 : 39");
    EXPECT_EQ(lines[4].second, "1000 m");
    EXPECT_EQ(lines[6].second, "40.0 km");
    EXPECT_EQ(lines[7].second, "36 km/h");
}

TEST(FlightStatistics, TenSecondWindowCutShortStillDividesByTheWindow) {
    std::vector<TrackPoint> points = Cruise(30);
    points[25].flags = TrackPoint::kSegmentStart;
    // Point 28 walks back 3 seconds to the segment start: 30 m over the full 10 s window.
    EXPECT_NEAR(RecentDistance(points, 28, 10.0), 30.0, 0.05);
    EXPECT_NEAR(RecentDistance(points, 20, 10.0), 100.0, 0.1);
}

std::vector<TrackPoint> RandomFlight(std::size_t count) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> step(-0.0004, 0.0004);
    std::vector<TrackPoint> points;
    double lat = 46, lon = 7;
    for (std::size_t i = 0; i < count; ++i) {
        lat += step(random);
        lon += step(random);
        points.push_back(MakePoint({lat, lon}, static_cast<std::uint32_t>(1000000 + i)));
    }
    return points;
}

TEST(FlightStatistics, CachedWalkEqualsRecentSpeedAndClimb) {
    std::vector<TrackPoint> points = RandomFlight(400);
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].time += static_cast<std::uint32_t>(i % 7 == 0 ? 0 : i * 3);
        points[i].gpsAltitude = static_cast<std::int32_t>(10000 + (i * 37) % 500);
        if (i % 97 == 0) {
            points[i].flags = TrackPoint::kSegmentStart;
        }
    }
    std::vector<double> segments(points.size(), 0.0);
    for (std::size_t j = 1; j < points.size(); ++j) {
        double metres = 0;
        GeoDistance(
            {SemicirclesToRadians(points[j - 1].latitude),
             SemicirclesToRadians(points[j - 1].longitude)},
            {SemicirclesToRadians(points[j].latitude), SemicirclesToRadians(points[j].longitude)},
            metres);
        segments[j] = metres;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        double speed = 0, climb = 0, cachedSpeed = 0, cachedClimb = 0;
        RecentSpeedAndClimb(points, i, speed, climb);
        RecentSpeedAndClimbCached(points, segments, i, cachedSpeed, cachedClimb);
        EXPECT_EQ(speed, cachedSpeed) << i;
        EXPECT_EQ(climb, cachedClimb) << i;
    }
}

TEST(OptimisationWorker, RunsToTheEnd) {
    OptimisationWorker worker;
    ASSERT_EQ(worker.Start(RandomFlight(500), {}, {}), 0);
    EXPECT_EQ(worker.Join(), 0);
    EXPECT_TRUE(worker.Finished());
    std::string message;
    EXPECT_EQ(worker.CheckFinished(message), 0);
    EXPECT_TRUE(worker.Result().done);
    EXPECT_GT(worker.Result().five.sum, 0.0);
}

TEST(OptimisationWorker, HaltThenJoinBeforeTheDataGoes) {
    OptimisationWorker worker;
    OptimisationOptions options;
    options.loopFlightGapMetres = 1000000;  // every pair closes: the longest search
    ASSERT_EQ(worker.Start(RandomFlight(10000), options, {}), 0);
    std::string message;
    if (!worker.Finished()) {
        EXPECT_EQ(worker.CheckFinished(message), -1);
        EXPECT_EQ(message, "Statistics not yet finished");
    }
    worker.Halt();
    EXPECT_EQ(worker.Join(), 0);
    EXPECT_TRUE(worker.Result().done);
}

TEST(OptimisationWorker, DestructorHaltsAndJoins) {
    auto worker = std::make_unique<OptimisationWorker>();
    OptimisationOptions options;
    options.loopFlightGapMetres = 1000000;
    ASSERT_EQ(worker->Start(RandomFlight(10000), options, {}), 0);
    worker.reset();  // must not leave a thread reading freed points
    SUCCEED();
}

TEST(PrepareFlightStatistics, WholeLogWithoutSelectionElseTheSelection) {
    AppState state;
    state.settings = DefaultSettings();
    state.trackLog.points = Cruise(201);
    ScriptedHost host;
    StatisticsInput input;
    ASSERT_EQ(PrepareFlightStatistics(state, host, {}, input), 0);
    EXPECT_EQ(input.points.size(), 201u);
    EXPECT_EQ(input.statistics.durationSeconds, 200);

    const std::vector<std::size_t> rows{10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    ASSERT_EQ(PrepareFlightStatistics(state, host, rows, input), 0);
    EXPECT_EQ(input.points.size(), 11u);
    EXPECT_EQ(input.statistics.durationSeconds, 10);
    EXPECT_TRUE(host.messages.empty());
}

TEST(PrepareFlightStatistics, RefusalsAndWarningsAreShown) {
    AppState state;
    state.settings = DefaultSettings();
    state.settings.varioFilter = 5;
    state.trackLog.points = Cruise(201);
    // One fix 300 m too high: the vario filter takes it out and says so.
    state.trackLog.points[100].gpsAltitude += 3000;
    ScriptedHost host;
    StatisticsInput input;
    ASSERT_EQ(PrepareFlightStatistics(state, host, {}, input), 0);
    EXPECT_EQ(input.points.size(), 200u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, "Initialize track statistics dialog box");
    EXPECT_EQ(host.messages[0].text, "1 positions have been removed due to vario filtering");

    host.messages.clear();
    const std::vector<std::size_t> nine{0, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(PrepareFlightStatistics(state, host, nine, input), -1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Too few positions selected");
}

TEST(LoopFlightGapInput, MissingOrBadInputIsRefused) {
    struct Case {
        const char* text;
        const char* problem;  // nullptr: accepted
        std::int32_t metres;
    };
    const Case cases[] = {
        {"1200", nullptr, 1200},    {" 0 ", nullptr, 0},     {"", "Missing input", 0},
        {"  ", "Missing input", 0}, {"8oo", "Bad input", 0}, {"-5", "Bad input", 0},
        {"1.5", "Bad input", 0},
    };
    for (const Case& c : cases) {
        std::int32_t metres = -1;
        const char* problem = ParseLoopFlightGap(c.text, metres);
        EXPECT_STREQ(problem, c.problem) << '"' << c.text << '"';
        EXPECT_EQ(metres, c.problem == nullptr ? c.metres : -1) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace tracora::analysis
