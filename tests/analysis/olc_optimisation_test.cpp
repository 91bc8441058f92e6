// The online-contest scoring on constructed flights: the multipliers, the best-result rule, the
// gap rule of a fifth of the perimeter, the stage texts and the halts. The coarse triangle search
// under that rule is checked against the plain loops in distance_optimisation_test.cpp.
#include "analysis/olc_optimisation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/track_builder.hpp"

namespace tracora::analysis {
namespace {

using test::Degrees;
using test::Polyline;

// The equilateral triangle of the trip tests: legs from GeographicLib's GeodSolve -i -p 4.
constexpr Degrees kA{46.0, 7.0};
constexpr Degrees kB{45.999927, 7.129093};
constexpr Degrees kC{46.077895, 7.064637};
constexpr double kPerimeter = 9999.9784 + 9999.9837 + 9999.9540;

// A flight through `corners`, 100 steps a leg, with a few fixes at the first and the last
// corner: start and finish of a triangle must be fixes of their own, before and after its turn
// points.
std::vector<TrackPoint> Flight(const std::vector<Degrees>& corners) {
    std::vector<TrackPoint> points;
    test::Wait(points, corners.front(), 3);
    std::vector<TrackPoint> legs = Polyline(corners, 100);
    for (TrackPoint& p : legs) {
        p.time += 30;
    }
    points.insert(points.end(), legs.begin() + 1, legs.end());
    test::Wait(points, corners.back(), 2);
    return points;
}

OlcResults Score(const std::vector<TrackPoint>& points, std::vector<std::string>* texts = nullptr,
                 const CancelFlag* cancel = nullptr) {
    OlcResults out;
    CancelFlag none{0};
    ProgressFn progress;
    if (texts != nullptr) {
        progress = [texts](const std::string& text) { texts->push_back(text); };
    }
    EXPECT_EQ(RunOlcOptimisation(points, out, 2, progress, cancel != nullptr ? *cancel : none), 0);
    return out;
}

TEST(OlcOptimisation, ClosedEquilateralTriangleIsTheBestResultAsFai) {
    std::vector<std::string> texts;
    const OlcResults r = Score(Flight({kA, kB, kC, kA}), &texts);
    ASSERT_TRUE(r.done);
    EXPECT_NEAR(r.faiTriangle.score, kPerimeter, 1.0);
    EXPECT_NEAR(r.faiTriangle.gapMetres, 0, 0.5);
    EXPECT_NEAR(r.faiTrianglePoints, kPerimeter * 0.002, 0.002);
    // A flat triangle scores the same distance at a lower rate.
    EXPECT_NEAR(r.freeTriangle.score, kPerimeter, 1.0);
    EXPECT_NEAR(r.freeTrianglePoints, kPerimeter * 0.00175, 0.002);
    // Around the triangle once: A, B, C and back to A over three legs of 10 km.
    EXPECT_NEAR(r.freeDistance.sum, kPerimeter, 1.0);
    EXPECT_NEAR(r.freeDistancePoints, kPerimeter * 0.0015, 0.002);
    EXPECT_EQ(r.best, OlcKind::kFaiTriangle);
    EXPECT_EQ(texts, (std::vector<std::string>{"Computing distance matrix", "Max. distance search",
                                               "Free distance search", "Out-and-return search",
                                               "Triangle search", "Optimization completed",
                                               "Best result is FAI triangle with 60.00 points"}));
}

// A triangle whose track ends before it closes: its gap against a fifth of its perimeter. The
// track runs A, B, C and back towards A, stopping short by `stop` of the last leg.
struct GapCase {
    double stop;  // the part of the leg C-A not flown
    bool counts;  // the whole triangle counts (gap below 20 % of the perimeter)
};

class OlcGapRule : public ::testing::TestWithParam<GapCase> {};

TEST_P(OlcGapRule, OpenTriangleCountsOnlyWithAGapUnderAFifth) {
    const double f = 1 - GetParam().stop;
    const Degrees end{kC.latitude + f * (kA.latitude - kC.latitude),
                      kC.longitude + f * (kA.longitude - kC.longitude)};
    const OlcResults r = Score(Flight({kA, kB, kC, end}));
    ASSERT_TRUE(r.done);
    const double gap = GetParam().stop * 9999.954;  // along the leg C-A
    if (GetParam().counts) {
        // B, C and the corner A make the triangle; A to the end point is its gap.
        EXPECT_NEAR(r.freeTriangle.score, kPerimeter - gap, 30.0);
        EXPECT_NEAR(r.freeTriangle.gapMetres, gap, 30.0);
    } else {
        // Only a smaller triangle, whose gap is under a fifth of its own perimeter, counts.
        EXPECT_LT(r.freeTriangle.score, kPerimeter - gap - 100);
    }
    const double perimeter =
        r.freeTriangle.legs[0] + r.freeTriangle.legs[1] + r.freeTriangle.legs[2];
    EXPECT_LE(r.freeTriangle.gapMetres, 0.2 * perimeter);
}

// 30 km perimeter: a fifth is 6 km, which is 60 % of the 10 km leg C-A.
INSTANTIATE_TEST_SUITE_P(Cases, OlcGapRule,
                         ::testing::Values(GapCase{0.3, true}, GapCase{0.5, true},
                                           GapCase{0.7, false}));

TEST(OlcOptimisation, BestResultRuleFavoursTheTriangleOnTies) {
    struct Case {
        double free, flat, fai;
        OlcKind best;
    };
    const Case cases[] = {
        {10, 10, 10, OlcKind::kFaiTriangle},  // all equal: FAI
        {10, 12, 12, OlcKind::kFaiTriangle},  // FAI equal to flat
        {10, 12, 11, OlcKind::kFreeTriangle},
        {12, 12, 11, OlcKind::kFreeTriangle},  // flat equal to free distance
        {13, 12, 11, OlcKind::kFreeDistance},
        {13, 12, 12.9, OlcKind::kFreeDistance},
        {0, 0, 0, OlcKind::kFaiTriangle},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OlcBestKind(c.free, c.flat, c.fai), c.best)
            << c.free << " " << c.flat << " " << c.fai;
    }
}

TEST(OlcOptimisation, StraightFlightHasNoTriangleAndScoresItsDistance) {
    const OlcResults r = Score(Polyline({kA, kB}, 200));
    ASSERT_TRUE(r.done);
    EXPECT_NEAR(r.freeDistance.sum, 9999.9784, 1.0);
    EXPECT_NEAR(r.maxDistance.sum, 9999.9784, 1.0);
    EXPECT_EQ(r.best, OlcKind::kFreeDistance);
    EXPECT_NEAR(r.faiTrianglePoints, 0, 0.01);
}

TEST(OlcOptimisation, HaltsSayWhichStageStopped) {
    const std::vector<TrackPoint> points = Polyline({kA, kB, kC, kA}, 300);
    struct Case {
        const char* stopAt;  // the stage text at which the halt comes
        const char* halt;
    };
    const Case cases[] = {
        {nullptr, "Computation halted"},
        {"Max. distance search", "Max. distance search aborted"},
        {"Out-and-return search", "Out-and-return search aborted"},
        {"Triangle search", "Triangle search aborted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.halt);
        CancelFlag cancel{c.stopAt == nullptr ? 1u : 0u};
        OlcResults out;
        std::vector<std::string> texts;
        const ProgressFn progress = [&](const std::string& text) {
            texts.push_back(text);
            if (c.stopAt != nullptr && text == c.stopAt) {
                cancel = 1;
            }
        };
        ASSERT_EQ(RunOlcOptimisation(points, out, 2, progress, cancel), 0);
        EXPECT_TRUE(out.cancelled);
        EXPECT_FALSE(out.done);
        EXPECT_EQ(out.haltText, c.halt);
        EXPECT_EQ(texts.back(), c.halt);
    }
}

}  // namespace
}  // namespace tracora::analysis
