// The vario, glide and polar series against hand tables. Distances along the equator are
// GeographicLib's: `echo 0 0 0 0.0009999610483646393 | GeodSolve -i -p 9` gives 111.315154717 m
// for one step of 11930 semicircles, and twenty steps give 2226.303094341 m.
#include "analysis/flight_curves.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tracora::analysis {
namespace {

constexpr std::uint32_t kStart = 1'000'000'000;  // 2021-09-08 01:46:40 UTC
constexpr double kStepMetres = 111.315154717;
constexpr double kTwentyStepsMetres = 2226.303094341;

// `count` points one second apart along the equator, one step east each, the pressure
// altitude changing by `climb` metres a second from 2000 m.
std::vector<TrackPoint> Straight(int count, int climb) {
    std::vector<TrackPoint> points;
    for (int i = 0; i < count; ++i) {
        TrackPoint p;
        p.time = kStart + static_cast<std::uint32_t>(i);
        p.longitude = 11930 * i;
        p.pressureAltitude = 2000 + climb * i;
        p.gpsAltitude = 9999;  // ignored: a pressure altitude exists
        points.push_back(p);
    }
    return points;
}

CurveData Compute(const std::vector<TrackPoint>& points, CurveKind kind,
                  CurveIntervals intervals = {}) {
    CurveData data;
    std::string message;
    EXPECT_EQ(ComputeCurve(points, kind, intervals, data, message), 0) << message;
    return data;
}

TEST(FlightCurves, VarioOfTwentyOneSecondsHasItsFirstTwentyEntriesZero) {
    const CurveData data = Compute(Straight(21, 1), CurveKind::kVario);
    const SecondSeries& s = data.seconds;
    ASSERT_EQ(s.value.size(), 21u);
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(s.value[static_cast<std::size_t>(k)], 0.0) << k;
    EXPECT_DOUBLE_EQ(s.value[20], 1.0);  // 20 m in 20 s
    EXPECT_DOUBLE_EQ(s.greatest.value, 1.0);
    EXPECT_EQ(s.greatest.time, kStart + 20);
    EXPECT_EQ(s.smallest.value, 0.0);
    EXPECT_EQ(s.smallest.time, kStart);
    EXPECT_EQ(CurveExtremeText(s.greatest, true), "01:47:00:  1.00 (max)");
}

TEST(FlightCurves, AFlatVarioGetsARangeOfATenth) {
    const CurveData data = Compute(Straight(40, 0), CurveKind::kVario);
    EXPECT_DOUBLE_EQ(data.seconds.greatest.value, 0.05);
    EXPECT_DOUBLE_EQ(data.seconds.smallest.value, -0.05);
    EXPECT_EQ(data.seconds.greatest.time, kStart);
}

TEST(FlightCurves, SecondsBetweenFixesAreFilledLinearly) {
    // Two fixes 30 s apart: a climb of 60 m and three steps flown, spread over the seconds.
    std::vector<TrackPoint> points = Straight(2, 0);
    points[1].time = kStart + 30;
    points[1].longitude = 3 * 11930;
    points[1].pressureAltitude = 2060;
    const CurveData data = Compute(points, CurveKind::kVario);
    const SecondSeries& s = data.seconds;
    ASSERT_EQ(s.height.size(), 31u);
    EXPECT_DOUBLE_EQ(s.height[10], 2020);
    EXPECT_NEAR(s.distance[30], 3 * kStepMetres, 1e-6);
    EXPECT_NEAR(s.distance[10], kStepMetres, 1e-6);
    EXPECT_DOUBLE_EQ(s.value[25], 2.0);
}

TEST(FlightCurves, GlideIsHeightChangePerMetreFlown) {
    const CurveData data = Compute(Straight(21, -10), CurveKind::kGlide);
    ASSERT_EQ(data.seconds.value.size(), 21u);
    EXPECT_NEAR(data.seconds.value[20], -200 / kTwentyStepsMetres, 1e-9);
    EXPECT_NEAR(data.seconds.smallest.value, -200 / kTwentyStepsMetres, 1e-9);
    EXPECT_EQ(data.seconds.greatest.value, 0.0);  // no widening for the glide
}

TEST(FlightCurves, PolarOfTwoPointsIsOneEntry) {
    const CurveData data = Compute(Straight(2, -10), CurveKind::kPolar);
    ASSERT_EQ(data.polar.size(), 1u);
    EXPECT_DOUBLE_EQ(data.polar[0].verticalMps, -10);
    EXPECT_NEAR(data.polar[0].horizontalKmh, kStepMetres * 3.6, 1e-6);
    EXPECT_EQ(PolarReadout(data.polar[0].horizontalKmh, data.polar[0].verticalMps),
              "400.73 Km/h,  -10.00 m/s");
}

TEST(FlightCurves, WithoutPressureAltitudeTheGpsDecimetresCount) {
    std::vector<TrackPoint> points = Straight(21, 0);
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].pressureAltitude = 0;
        points[i].gpsAltitude = 15000 + 30 * static_cast<int>(i);  // 1500 m, +3 m/s
    }
    EXPECT_DOUBLE_EQ(Compute(points, CurveKind::kVario).seconds.value[20], 3.0);
    EXPECT_DOUBLE_EQ(Compute(points, CurveKind::kPolar).polar[0].verticalMps, 3.0);
}

TEST(FlightCurves, PolarSkipsPointsOfTheSameSecond) {
    std::vector<TrackPoint> points = Straight(3, -1);
    points[1].time = points[0].time;
    EXPECT_EQ(Compute(points, CurveKind::kPolar).polar.size(), 1u);
}

struct RefusedCase {
    std::string name;
    std::vector<TrackPoint> points;
    CurveKind kind;
    CurveIntervals intervals;
    std::string message;
};

TEST(FlightCurves, RefusesWithTheCommandsMessages) {
    std::vector<TrackPoint> repeated = Straight(30, 1);
    repeated[5].time = repeated[4].time;
    std::vector<TrackPoint> backwards = Straight(30, 1);
    backwards[5].time = kStart - 100;
    std::vector<TrackPoint> years = Straight(30, 1);
    years.back().time = kStart + 400'000'000;
    const RefusedCase cases[] = {
        {"none", {}, CurveKind::kVario, {}, "No positions selected"},
        {"one", Straight(1, 0), CurveKind::kGlide, {}, "Less than 2 positions selected"},
        {"short vario",
         Straight(21, 0),
         CurveKind::kVario,
         {21, 20, 1},
         "Flight time less than the climb rate interval (21 s)"},
        {"short glide",
         Straight(20, 0),
         CurveKind::kGlide,
         {},
         "Flight time less than the glide rate interval (20 s)"},
        {"few points",
         Straight(3, 0),
         CurveKind::kPolar,
         {20, 20, 3},
         "Position count less than the polar interval (3)"},
        {"repeated vario", repeated, CurveKind::kVario, {}, "Time error"},
        {"repeated glide", repeated, CurveKind::kGlide, {}, "Time error"},
        {"backwards", backwards, CurveKind::kVario, {}, "Time error"},
        {"years", years, CurveKind::kVario, {}, "Vario data memory allocation"},
    };
    for (const RefusedCase& c : cases) {
        CurveData data;
        std::string message;
        EXPECT_EQ(ComputeCurve(c.points, c.kind, c.intervals, data, message), -1) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
    }
}

TEST(FlightCurves, IntervalsArePositiveIntegers) {
    CurveIntervals intervals;
    EXPECT_TRUE(ParseCurveIntervals("30", " 10 ", "2", intervals));
    EXPECT_EQ(intervals.varioSeconds, 30);
    EXPECT_EQ(intervals.glideSeconds, 10);
    EXPECT_EQ(intervals.polarPoints, 2);
    for (const auto& [vario, glide, polar] :
         std::vector<std::tuple<std::string, std::string, std::string>>{{"0", "20", "1"},
                                                                        {"20", "-5", "1"},
                                                                        {"20", "20", "x"},
                                                                        {"", "20", "1"},
                                                                        {"2.5", "20", "1"}}) {
        EXPECT_FALSE(ParseCurveIntervals(vario, glide, polar, intervals))
            << vario << glide << polar;
    }
    EXPECT_EQ(intervals.varioSeconds, 30);  // unchanged by a refused input
}

TEST(FlightCurves, ReadoutTexts) {
    EXPECT_EQ(VarioReadout(kStart + 61, 1.254, -0.5), "01:47:41   1.25 m/s  (-0.50)");
    EXPECT_EQ(GlideReadout(kStart, -0.111, -0.1), "01:46:40   -0.11  (-0.10)");
}

}  // namespace
}  // namespace tracora::analysis
