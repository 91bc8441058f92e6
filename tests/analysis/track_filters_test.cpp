#include "analysis/track_filters.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/track_builder.hpp"

namespace tracora::analysis {
namespace {

using test::MakePoint;

constexpr double kMetresPerDegreeLatitude = 111141.0;  // along the meridian at 46N

// Points along the meridian from 46N 7E; `steps` metres apart and `seconds` apart each.
std::vector<TrackPoint> Walk(const std::vector<double>& stepsMetres,
                             const std::vector<std::uint32_t>& seconds) {
    std::vector<TrackPoint> points{MakePoint({46.0, 7.0}, 1000000)};
    double north = 0;
    for (std::size_t i = 0; i < stepsMetres.size(); ++i) {
        north += stepsMetres[i];
        points.push_back(MakePoint({46.0 + north / kMetresPerDegreeLatitude, 7.0},
                                   points.back().time + seconds[i]));
    }
    return points;
}

std::vector<TrackPoint> Steady(std::size_t pairs, double metres) {
    return Walk(std::vector<double>(pairs, metres), std::vector<std::uint32_t>(pairs, 1));
}

struct VarioCase {
    const char* name;
    std::int32_t climbDm;  // height change to the second point
    std::uint32_t seconds;
    std::int32_t limit;
    std::size_t removed;
};

class Vario : public ::testing::TestWithParam<VarioCase> {};

TEST_P(Vario, RemovesRatesAtOrAboveTheLimit) {
    const VarioCase& c = GetParam();
    std::vector<TrackPoint> points{MakePoint({46, 7}, 1000, 10000),
                                   MakePoint({46, 7}, 1000 + c.seconds, 10000 + c.climbDm),
                                   MakePoint({46, 7}, 1000 + c.seconds + 100, 10000)};
    EXPECT_EQ(VarioFilter(points, c.limit), c.removed) << c.name;
    EXPECT_EQ(points.size(), 3 - c.removed);
}

INSTANTIATE_TEST_SUITE_P(Cases, Vario,
                         ::testing::Values(VarioCase{"4.9 m/s kept", 49, 1, 5, 0},
                                           VarioCase{"5.0 m/s removed", 50, 1, 5, 1},
                                           VarioCase{"sink 5.0 m/s removed", -50, 1, 5, 1},
                                           VarioCase{"same time removed", 0, 0, 5, 1},
                                           VarioCase{"limit 0 off", 500, 1, 0, 0}));

TEST(Vario, FewerThanTwoPointsUnchanged) {
    std::vector<TrackPoint> one{MakePoint({46, 7}, 1000)};
    EXPECT_EQ(VarioFilter(one, 5), 0u);
    EXPECT_EQ(one.size(), 1u);
}

TEST(SpeedAnalysis, NineteenPointsPassUnchanged) {
    std::vector<double> steps(18, 5.0);
    steps[9] = 20000;  // a jump that a longer track would lose
    std::vector<TrackPoint> points = Walk(steps, std::vector<std::uint32_t>(18, 1));
    ASSERT_EQ(points.size(), 19u);
    EXPECT_EQ(SpeedAnalysis(points), 19u);
    EXPECT_EQ(points.size(), 19u);
}

TEST(SpeedAnalysis, ThresholdFromTheFirstBinThatUsesUpNineteenTwentieths) {
    // Every pair at 11.5 m/s: the remainder first drops below 1 at bin 11.
    EXPECT_EQ(SpeedThreshold(Steady(40, 11.5)), 34);
    EXPECT_EQ(SpeedThreshold(Steady(40, 0.5)), 1);
}

TEST(SpeedAnalysis, OnlyShortSlowRunsLoseEveryPoint) {
    std::vector<double> steps;
    for (int lap = 0; lap < 10; ++lap) {
        steps.insert(steps.end(), 9, 1.0);
        steps.push_back(lap % 2 == 0 ? 2000.0 : -2000.0);
    }
    std::vector<TrackPoint> points = Walk(steps, std::vector<std::uint32_t>(steps.size(), 1));
    EXPECT_EQ(SpeedThreshold(points), 301);
    EXPECT_EQ(SpeedAnalysis(points), 0u);
    EXPECT_TRUE(points.empty());
}

TEST(SpeedAnalysis, DropsASpikeAndClearsItsMarks) {
    std::vector<TrackPoint> points = Steady(60, 5.0);
    points[30].latitude += DegreesToSemicircles(0.05);  // 5.5 km off for one second
    points[40].flags = TrackPoint::kSegmentStart | (1u << 31);
    EXPECT_EQ(SpeedAnalysis(points), 60u);
    ASSERT_EQ(points.size(), 60u);
    EXPECT_EQ(points[30].time, 1000031u);
    for (const TrackPoint& p : points) {
        EXPECT_EQ(p.flags & (1u << 31), 0u);
    }
    EXPECT_EQ(points[39].flags, TrackPoint::kSegmentStart);
}

TEST(DownloadFilters, TooFewLeftKeepsTheUnfilteredLog) {
    std::vector<double> steps;
    for (int lap = 0; lap < 10; ++lap) {
        steps.insert(steps.end(), 9, 1.0);
        steps.push_back(lap % 2 == 0 ? 2000.0 : -2000.0);
    }
    const std::vector<TrackPoint> original =
        Walk(steps, std::vector<std::uint32_t>(steps.size(), 1));
    std::vector<TrackPoint> points = original;
    Settings settings = DefaultSettings();
    settings.logFilter = 1;
    std::string note;
    EXPECT_EQ(ApplyDownloadFilters(points, settings, note), 0u);
    EXPECT_EQ(points.size(), original.size());
    EXPECT_EQ(note, kFiltersKeptUnfiltered);

    std::vector<std::string> warnings;
    std::string error;
    points = original;
    EXPECT_EQ(FilterForStatistics(points, settings, warnings, error), -1);
    EXPECT_EQ(error, kTooFewAfterSpeedAnalysis);
}

TEST(DownloadFilters, VarioAndSpeedAnalysisRemovePoints) {
    std::vector<TrackPoint> points = Steady(60, 5.0);
    points[30].latitude += DegreesToSemicircles(0.05);
    points[45].gpsAltitude += 1000;  // 100 m in a second
    Settings settings = DefaultSettings();
    settings.logFilter = 1;
    settings.varioFilter = 10;
    std::string note;
    EXPECT_EQ(ApplyDownloadFilters(points, settings, note), 2u);
    EXPECT_TRUE(note.empty());

    points = Steady(60, 5.0);
    points[45].gpsAltitude += 1000;
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_EQ(FilterForStatistics(points, settings, warnings, error), 0);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "1 positions have been removed due to vario filtering");
}

TEST(StatisticsFilters, TooFewPositionsSelected) {
    std::vector<TrackPoint> points = Steady(8, 5.0);
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_EQ(FilterForStatistics(points, DefaultSettings(), warnings, error), -1);
    EXPECT_EQ(error, "Too few positions selected");
}

}  // namespace
}  // namespace tracora::analysis
