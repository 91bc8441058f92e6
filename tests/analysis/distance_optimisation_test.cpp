#include "analysis/distance_optimisation.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analysis/distance_optimisation_detail.hpp"
#include "analysis/reference_search.hpp"
#include "analysis/track_builder.hpp"

namespace tracora::analysis {
namespace {

using test::Degrees;
using test::Polyline;

// Leg lengths of the constructed triangle from GeographicLib's GeodSolve -i -p 4.
constexpr Degrees kA{46.0, 7.0};
constexpr Degrees kB{45.999927, 7.129093};
constexpr Degrees kC{46.077895, 7.064637};
constexpr double kAB = 9999.9784;
constexpr double kBC = 9999.9837;
constexpr double kCA = 9999.9540;

OptimisationResults Optimise(const std::vector<TrackPoint>& points,
                             OptimisationOptions options = {},
                             std::vector<std::string>* texts = nullptr) {
    OptimisationResults out;
    CancelFlag cancel{0};
    ProgressFn progress;
    if (texts != nullptr) {
        progress = [texts](const std::string& text) { texts->push_back(text); };
    }
    EXPECT_EQ(RunDistanceOptimisation(points, out, options, progress, cancel), 0);
    EXPECT_TRUE(out.done);
    return out;
}

// Tables from planar positions given directly in metres.
detail::CoarseTables PlaneTables(const std::vector<std::pair<double, double>>& xy) {
    detail::CoarseTables t;
    for (const auto& [x, y] : xy) {
        t.sampleIndex.push_back(t.x.size());
        t.x.push_back(x);
        t.y.push_back(y);
    }
    CancelFlag cancel{0};
    EXPECT_TRUE(detail::FillDistanceMatrix(t, cancel));
    return t;
}

// The triangle search on one and on two threads against the plain loops.
void ExpectTrianglesAsPlain(const detail::CoarseTables& t, int gap,
                            const test::ReferenceResults& ref, bool fifthOfPerimeter = false) {
    CancelFlag cancel{0};
    for (int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const detail::CoarseTriangles tri =
            detail::CoarseTriangleSearch(t, gap, cancel, threads, fifthOfPerimeter);
        EXPECT_FALSE(tri.cancelled);
        EXPECT_EQ(tri.flat.found, ref.flatFound);
        EXPECT_EQ(tri.fai.found, ref.faiFound);
        if (ref.flatFound) {
            EXPECT_EQ(tri.flat.value, ref.flatValue);
            EXPECT_EQ(tri.flat.v, ref.flat);
        }
        if (ref.faiFound) {
            EXPECT_EQ(tri.fai.value, ref.faiValue);
            EXPECT_EQ(tri.fai.v, ref.fai);
        }
    }
}

std::vector<TrackPoint> EquilateralFlight() {
    std::vector<TrackPoint> points;
    test::Wait(points, kA, 3);
    std::vector<TrackPoint> legs = Polyline({kA, kB, kC, kA}, 100);
    for (TrackPoint& p : legs) {
        p.time += 30;
    }
    points.insert(points.end(), legs.begin() + 1, legs.end());
    test::Wait(points, kA, 2);
    return points;
}

TEST(DistanceOptimisation, EquilateralTriangleFlownAndClosedIsFlatAndFai) {
    // Corners A (points 0-2 and 302-304), B (102) and C (202). Every rotation of the closed
    // triangle scores the same; the last one, turn points B, C and A at the end, wins.
    const std::vector<TrackPoint> points = EquilateralFlight();
    const OptimisationResults r = Optimise(points);
    for (const TriangleResult& tri : {r.flat, r.fai}) {
        EXPECT_LE(tri.index[0], 102u);
        EXPECT_EQ(tri.index[1], 102u);
        EXPECT_EQ(tri.index[2], 202u);
        EXPECT_TRUE(tri.index[3] == 302u || tri.index[3] == 303u);
        EXPECT_EQ(tri.index[4], points.size() - 1);
        EXPECT_NEAR(tri.legs[0], kBC, 0.05);
        EXPECT_NEAR(tri.legs[1], kCA, 0.05);
        EXPECT_NEAR(tri.legs[2], kAB, 0.05);
        EXPECT_NEAR(tri.gapMetres, 0.0, 1e-9);
        EXPECT_NEAR(tri.score, kAB + kBC + kCA, 0.1);
    }
}

TEST(DistanceOptimisation, ProgressTextsInOrder) {
    std::vector<std::string> texts;
    Optimise(EquilateralFlight(), {}, &texts);
    const std::vector<std::string> expected{"Computing distance matrix",
                                            "Computing greatest distance (2 points)",
                                            "Computing greatest distance (3 points)",
                                            "Computing greatest distance (4 points)",
                                            "Computing greatest distance (5 points)",
                                            "Computing out-and-return distance",
                                            "Computing triangle distance"};
    ASSERT_EQ(texts.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(texts[i], expected[i]);
    }
    EXPECT_EQ(texts.back().rfind("Computing completed (", 0), 0u);
    EXPECT_EQ(texts.back().substr(texts.back().size() - 6), " secs)");
}

TEST(DistanceOptimisation, StraightLineOpenDistanceEqualsFivePoints) {
    // 46N 7E to 46.5N 7E: GeodSolve gives 55578.1008 m.
    const std::vector<TrackPoint> points = Polyline({{46.0, 7.0}, {46.5, 7.0}}, 500);
    const OptimisationResults r = Optimise(points);
    EXPECT_EQ(r.open.index[0], 0u);
    EXPECT_EQ(r.open.index[1], points.size() - 1);
    EXPECT_NEAR(r.open.sum, 55578.1008, 0.05);
    EXPECT_NEAR(r.three.sum, r.open.sum, 0.05);
    EXPECT_NEAR(r.four.sum, r.open.sum, 0.05);
    EXPECT_NEAR(r.five.sum, r.open.sum, 0.05);
    EXPECT_EQ(r.five.index[0], 0u);
    EXPECT_EQ(r.five.index[4], points.size() - 1);
}

TEST(DistanceOptimisation, LoopSearchesOffWithGapZeroOrNoLoopOpt) {
    OptimisationOptions zero;
    zero.loopFlightGapMetres = 0;
    OptimisationOptions noLoop;
    noLoop.noLoopOpt = true;
    for (const OptimisationOptions& options : {zero, noLoop}) {
        const OptimisationResults r = Optimise(EquilateralFlight(), options);
        EXPECT_EQ(r.outAndReturn.score, 0.0);
        EXPECT_EQ(r.flat.score, 0.0);
        EXPECT_EQ(r.fai.score, 0.0);
        EXPECT_EQ(r.flat.index[3], 0u);
        EXPECT_GT(r.five.sum, 29000.0);
    }
}

// Legs 2800, 3600, 3600: the shortest is exactly 28 % of the 10,000 m perimeter.
struct FaiCase {
    double apexHeight;  // metres above the base's middle
    bool fai;
    long long perimeter;
};

class FaiBoundary : public ::testing::TestWithParam<FaiCase> {};

TEST_P(FaiBoundary, ShortestLegAgainstTwentyEightPercent) {
    const double h = GetParam().apexHeight;
    // Closed at the start; the rotation starting at the second corner is found last.
    const detail::CoarseTables t = PlaneTables({{0, 0}, {2800, 0}, {1400, h}, {0, 0}});
    CancelFlag cancel{0};
    const detail::CoarseTriangles r = detail::CoarseTriangleSearch(t, 800, cancel, 2);
    ASSERT_TRUE(r.flat.found);
    EXPECT_EQ(r.fai.found, GetParam().fai);
    if (GetParam().fai) {
        EXPECT_EQ(r.fai.v, (std::array<std::uint32_t, 5>{0, 1, 2, 3, 3}));
        EXPECT_EQ(r.fai.value, GetParam().perimeter);
    }
}

// sqrt(3600^2 - 1400^2) = 3316.62; sqrt(3610^2 - 1400^2) = 3327.46 (perimeter 10,020, 28 % =
// 2805.6 > 2800: not FAI); a lower apex makes the base the longest leg relative to the sides.
INSTANTIATE_TEST_SUITE_P(Cases, FaiBoundary,
                         ::testing::Values(FaiCase{3316.6248, true, 10000},
                                           FaiCase{3327.4615, false, 0},
                                           FaiCase{2424.87, true, 8400}));

// A triangle flown twice and closed, its legs given in whole metres (AB, BC, CA; the closing
// leg of the later lap's turn points B, C, A is AB), with `wait` samples at each corner. Every
// lap and rotation ties; the later lap wins. FAI needs (perimeter * 7) / 25 <= the shortest leg.
struct TwoLapCase {
    double ab, bc, ca;
    bool fai;
    std::uint32_t wait;
};

class TwoLapsAtTheFaiLimit : public ::testing::TestWithParam<TwoLapCase> {};

TEST_P(TwoLapsAtTheFaiLimit, LaterLapWins) {
    const TwoLapCase& c = GetParam();
    const double cx = (c.ab * c.ab + c.ca * c.ca - c.bc * c.bc) / (2 * c.ab);
    const double cy = std::sqrt(c.ca * c.ca - cx * cx);
    const std::array<std::pair<double, double>, 3> corner{{{0, 0}, {c.ab, 0}, {cx, cy}}};
    std::vector<std::pair<double, double>> xy;
    for (std::size_t visit = 0; visit < 7; ++visit) {  // A B C A B C A
        xy.insert(xy.end(), c.wait, corner[visit % 3]);
    }
    const detail::CoarseTables t = PlaneTables(xy);
    const auto perimeter = static_cast<long long>(c.ab + c.bc + c.ca);
    // The last samples of the second visit of A and of the later lap's B, C and A.
    const std::uint32_t w = c.wait;
    const std::array<std::uint32_t, 5> laterLap{4 * w - 1, 5 * w - 1, 6 * w - 1, 7 * w - 1,
                                                7 * w - 1};
    CancelFlag cancel{0};
    for (int threads : {1, 2}) {
        const detail::CoarseTriangles r = detail::CoarseTriangleSearch(t, 800, cancel, threads);
        ASSERT_TRUE(r.flat.found);
        EXPECT_EQ(r.flat.v, laterLap);
        EXPECT_EQ(r.flat.value, perimeter);
        // Otherwise only triangles of no size, all corners at A, count as FAI.
        ASSERT_TRUE(r.fai.found);
        EXPECT_EQ(r.fai.value, c.fai ? perimeter : 0);
        if (c.fai) {
            EXPECT_EQ(r.fai.v, laterLap);
        }
    }
    ExpectTrianglesAsPlain(t, 800, test::ReferenceSearch(t, 800));
}

// 2801 + 3603 + 3603 = 10007 and 7 * 10007 = 25 * 2801 + 24: the shortest leg at the limit;
// 2801 + 2801 + 4405 = 10007: the two short legs at the limit make the longest leg the greatest
// an FAI triangle of that perimeter can have. One metre more is not FAI. Waits at the corners
// give the search runs of samples at one place, where its bounds are exact.
INSTANTIATE_TEST_SUITE_P(
    Cases, TwoLapsAtTheFaiLimit,
    ::testing::Values(TwoLapCase{2801, 3603, 3603, true, 1}, TwoLapCase{2801, 3604, 3604, false, 1},
                      TwoLapCase{4405, 2801, 2801, true, 1}, TwoLapCase{4406, 2801, 2801, false, 1},
                      TwoLapCase{2801, 3603, 3603, true, 4}, TwoLapCase{4405, 2801, 2801, true, 4},
                      TwoLapCase{4406, 2801, 2801, false, 4}, TwoLapCase{2801, 3603, 3603, true, 5},
                      TwoLapCase{4405, 2801, 2801, true, 16},
                      TwoLapCase{2801, 3604, 3604, false, 16}));

struct GapCase {
    double endDistance;  // metres from the start to the last point
    bool found;
};

class ClosingGap : public ::testing::TestWithParam<GapCase> {};

TEST_P(ClosingGap, CoarseTriangleNeedsGapBelowLoopFlightGap) {
    const double g = GetParam().endDistance;
    const detail::CoarseTables t = PlaneTables({{0, 0}, {5000, 0}, {2500, 4330}, {0, g}});
    CancelFlag cancel{0};
    const detail::CoarseTriangles r = detail::CoarseTriangleSearch(t, 800, cancel, 1);
    EXPECT_EQ(r.flat.found, GetParam().found);
    if (GetParam().found) {
        EXPECT_EQ(r.flat.value, 5000 + 5000 + 5000 - static_cast<long long>(std::lround(g)));
        EXPECT_EQ(r.flat.v[4], 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ClosingGap,
                         ::testing::Values(GapCase{799, true}, GapCase{800, false},
                                           GapCase{801, false}, GapCase{0, true}));

// The whole run: the end 790 m or 810 m (along the meridian) from the start of a triangle.
TEST(DistanceOptimisation, GeodesicClosingGapAroundLoopFlightGap) {
    for (const double gap : {790.0, 810.0}) {
        const double dLat = gap / 111141.0;  // metres per degree of latitude at 46N
        std::vector<TrackPoint> points;
        test::Wait(points, kA, 2);
        std::vector<TrackPoint> legs =
            Polyline({kA, kB, kC, {kA.latitude + dLat, kA.longitude}}, 50);
        for (TrackPoint& p : legs) {
            p.time += 20;
        }
        points.insert(points.end(), legs.begin() + 1, legs.end());
        test::Wait(points, {kA.latitude + dLat, kA.longitude}, 2);
        const OptimisationResults r = Optimise(points);
        if (gap < 800) {
            EXPECT_EQ(r.flat.index[0], 0u);
            EXPECT_NEAR(r.flat.gapMetres, gap, 1.0);
            EXPECT_GT(r.flat.score, 29000.0);
        } else {
            EXPECT_TRUE(r.flat.score == 0.0 || r.flat.gapMetres < 800.0);
            EXPECT_NE(r.flat.index[0], 0u);
        }
    }
}

TEST(CoarseSearch, TiesGoToTheLaterCandidate) {
    // Four samples alternating between two places 1000 m apart: (0,1), (0,3), (1,2) and (2,3)
    // are all 1000 m; the later pair wins.
    const detail::CoarseTables t = PlaneTables({{0, 0}, {1000, 0}, {0, 0}, {1000, 0}});
    const detail::CoarsePath open = detail::CoarseOpenDistance(t);
    EXPECT_EQ(open.value, 1000);
    EXPECT_EQ(open.v[0], 2u);
    EXPECT_EQ(open.v[1], 3u);
    EXPECT_EQ(t.bestForwardIndex[0], 3u);
    EXPECT_EQ(t.bestBackwardIndex[3], 2u);
    const detail::CoarsePath three = detail::CoarseThreePoints(t);
    EXPECT_EQ(three.value, 2000);
    EXPECT_EQ(three.v[1], 2u);
}

TEST(CoarseSearch, TriangleTiesGoToTheLaterCandidate) {
    // The same closed triangle flown twice: every rotation of every lap scores the same, the
    // last one (turn points 4, 5, 6, closed from 3) wins.
    const detail::CoarseTables t =
        PlaneTables({{0, 0}, {3000, 0}, {1500, 2598}, {0, 0}, {3000, 0}, {1500, 2598}, {0, 0}});
    CancelFlag cancel{0};
    const detail::CoarseTriangles r = detail::CoarseTriangleSearch(t, 800, cancel, 2);
    ASSERT_TRUE(r.fai.found);
    EXPECT_EQ(r.fai.v, (std::array<std::uint32_t, 5>{3, 4, 5, 6, 6}));
    EXPECT_EQ(r.flat.v, r.fai.v);
}

// The closing distance and its pair of every (i, k) against the plain row-by-row build, on
// tracks that come back to where they were many times (rounded positions: many equal gaps),
// under limits that keep none, some or all of them (16 and 32 bits), equal gaps included.
TEST(CoarseSearch, ClosingGapsAndPairsEqualPlain) {
    struct Track {
        unsigned seed;
        std::size_t samples;
        double grid;  // metres; 0: not rounded
        std::int32_t limit;
    };
    for (const Track& track :
         {Track{1, 60, 0, 800}, Track{2, 150, 500, 1000}, Track{3, 301, 1000, 2000},
          Track{4, 90, 2000, 70000}, Track{5, 120, 0, 0}, Track{6, 200, 0, 3000}}) {
        std::mt19937 random(track.seed);
        std::uniform_real_distribution<double> step(-1500, 1500);
        std::vector<std::pair<double, double>> xy;
        double x = 0, y = 0;
        for (std::size_t i = 0; i < track.samples; ++i) {
            x = 0.8 * x + step(random);
            y = 0.8 * y + step(random);
            xy.emplace_back(track.grid > 0 ? std::round(x / track.grid) * track.grid : x,
                            track.grid > 0 ? std::round(y / track.grid) * track.grid : y);
        }
        const detail::CoarseTables t = PlaneTables(xy);
        const test::ReferenceGaps ref = test::ReferenceClosingGaps(t);
        detail::ClosingGaps gaps;
        CancelFlag cancel{0};
        ASSERT_TRUE(gaps.Build(t, track.limit, cancel));
        SCOPED_TRACE("seed " + std::to_string(track.seed));
        std::size_t under = 0;
        for (std::size_t i = 0; i < t.n; ++i) {
            for (std::size_t k = i + 1; k < t.n; ++k) {
                if (ref.g[i][k] >= track.limit) {
                    ASSERT_EQ(gaps.Get(i, k), detail::ClosingGaps::kNone) << i << " " << k;
                    continue;
                }
                ++under;
                ASSERT_EQ(gaps.Get(i, k), ref.g[i][k]) << i << " " << k;
                ASSERT_EQ(gaps.Pair(t, i, k), ref.pair[i][k]) << i << " " << k;
            }
        }
        if (track.limit > 0) {
            EXPECT_GT(under, 0u);
        }
    }
}

// The distance matrix on one and on two cores: every distance as the rule computes it from
// the positions, the best forward and backward distances and their indices as plain loops find
// them, on tracks with many equal distances (rounded positions).
TEST(CoarseSearch, DistanceMatrixOnOneAndTwoCoresEqualsPlain) {
    struct Track {
        unsigned seed;
        std::size_t samples;
        double grid;  // metres; 0: not rounded
    };
    for (const Track& track :
         {Track{1, 257, 0}, Track{2, 700, 1000}, Track{3, 1001, 0}, Track{4, 400, 3000}}) {
        std::mt19937 random(track.seed);
        std::uniform_real_distribution<double> step(-1500, 1500);
        detail::CoarseTables t;
        double x = 0, y = 0;
        for (std::size_t i = 0; i < track.samples; ++i) {
            x = 0.95 * x + step(random);
            y = 0.95 * y + step(random);
            t.sampleIndex.push_back(i);
            t.x.push_back(track.grid > 0 ? std::round(x / track.grid) * track.grid : x);
            t.y.push_back(track.grid > 0 ? std::round(y / track.grid) * track.grid : y);
        }
        for (int threads : {1, 2}) {
            SCOPED_TRACE("seed " + std::to_string(track.seed) + " threads " +
                         std::to_string(threads));
            CancelFlag cancel{0};
            ASSERT_TRUE(detail::FillDistanceMatrix(t, cancel, threads));
            ASSERT_EQ(t.n, track.samples);
            for (std::size_t i = 0; i < t.n; ++i) {
                for (std::size_t j = i; j < t.n; ++j) {
                    const double dx = t.x[j] - t.x[i];
                    const double dy = t.y[j] - t.y[i];
                    ASSERT_EQ(t.D(i, j),
                              static_cast<std::int32_t>(std::sqrt(dx * dx + dy * dy) + 0.5));
                }
            }
            const test::ReferenceBests ref = test::ReferenceBestForwardBackward(t);
            for (std::size_t i = 0; i < t.n; ++i) {
                ASSERT_EQ(t.bestForward[i], ref.forward[i]) << i;
                ASSERT_EQ(t.bestBackward[i], ref.backward[i]) << i;
                ASSERT_EQ(t.bestForwardIndex[i], static_cast<std::uint32_t>(ref.forwardIndex[i]))
                    << i;
                ASSERT_EQ(t.bestBackwardIndex[i], static_cast<std::uint32_t>(ref.backwardIndex[i]))
                    << i;
            }
        }
    }
}

TEST(Sampling, TenThousandPointsToTwoThousandWithTheFirst) {
    const std::vector<std::size_t> s = detail::SampleIndices(10000);
    ASSERT_EQ(s.size(), 2000u);
    EXPECT_EQ(s.front(), 0u);
    for (std::size_t i = 1; i < s.size(); ++i) {
        EXPECT_TRUE(s[i] - s[i - 1] == 5u || s[i] - s[i - 1] == 6u);
    }
    EXPECT_EQ(detail::SampleIndices(2000).size(), 2000u);
    EXPECT_EQ(detail::SampleIndices(2000).back(), 1999u);
    const std::vector<std::size_t> odd = detail::SampleIndices(2001);
    EXPECT_EQ(odd.size(), 2000u);
    EXPECT_EQ(odd.front(), 0u);
    EXPECT_TRUE(detail::SampleIndices(0).empty());
}

TEST(Cancel, TriangleSearchStopsWithResultsZero) {
    detail::CoarseTables t;
    CancelFlag none{0};
    ASSERT_TRUE(detail::BuildDistanceMatrix(EquilateralFlight(), t, none));
    CancelFlag set{1};
    const detail::CoarseTriangles r = detail::CoarseTriangleSearch(t, 800, set, 2);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.flat.found);
    EXPECT_FALSE(r.fai.found);
}

TEST(Cancel, DuringTheTriangleSearchTheRunStillFinishes) {
    const std::vector<TrackPoint> points = EquilateralFlight();
    OptimisationResults out;
    CancelFlag cancel{0};
    std::vector<std::string> texts;
    const ProgressFn progress = [&](const std::string& text) {
        texts.push_back(text);
        if (text == "Computing triangle distance") {
            cancel.store(1);
        }
    };
    ASSERT_EQ(RunDistanceOptimisation(points, out, {}, progress, cancel), 0);
    EXPECT_TRUE(out.done);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(out.flat.score, 0.0);
    EXPECT_EQ(out.fai.score, 0.0);
    EXPECT_GT(out.five.sum, 29000.0);
    EXPECT_EQ(texts.back().rfind("Computing completed (", 0), 0u);
}

TEST(Cancel, EarlierStagesStopToo) {
    OptimisationResults out;
    CancelFlag cancel{1};
    ASSERT_EQ(RunDistanceOptimisation(EquilateralFlight(), out, {}, {}, cancel), 0);
    EXPECT_TRUE(out.done);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(out.open.sum, 0.0);
}

TEST(DistanceOptimisation, TinyTracks) {
    for (std::size_t count : {0u, 1u, 2u, 3u, 4u, 5u, 6u}) {
        std::vector<TrackPoint> points;
        for (std::size_t i = 0; i < count; ++i) {
            points.push_back(test::MakePoint({46.0 + 0.01 * static_cast<double>(i), 7.0},
                                             static_cast<std::uint32_t>(1000 + i)));
        }
        const OptimisationResults r = Optimise(points);
        if (count >= 2) {
            EXPECT_GT(r.open.sum, 0.0) << count;
        }
    }
}

// The fast searches against the plain loops on random tracks: identical indices and values.
// Tracks of more than 400 samples also take the seeded floor of the triangle search.
void CheckRandomTracks(unsigned seed, int tracks, std::size_t minSamples, std::size_t spread) {
    std::mt19937 random(seed);
    for (int track = 0; track < tracks; ++track) {
        const std::size_t n = minSamples + random() % spread;
        std::vector<std::pair<double, double>> xy;
        std::uniform_real_distribution<double> step(-1500, 1500);
        double x = 0, y = 0;
        const bool grid = track % 3 == 0;  // coarse grid positions make many ties
        for (std::size_t i = 0; i < n; ++i) {
            x += step(random);
            y += step(random);
            if (track % 5 == 0 && i > n / 2) {  // fly back towards the start
                x *= 0.7;
                y *= 0.7;
            }
            xy.emplace_back(grid ? std::round(x / 1000) * 1000 : x,
                            grid ? std::round(y / 1000) * 1000 : y);
        }
        const detail::CoarseTables t = PlaneTables(xy);
        const int gap =
            std::array<int, 4>{800, 2000, 5000, 100000}[static_cast<std::size_t>(track % 4)];
        const test::ReferenceResults ref = test::ReferenceSearch(t, gap);
        CancelFlag cancel{0};
        SCOPED_TRACE("track " + std::to_string(track) + " n " + std::to_string(n));

        const detail::CoarsePath open = detail::CoarseOpenDistance(t);
        EXPECT_EQ(open.value, ref.openValue);
        EXPECT_EQ(open.v[0], ref.open[0]);
        EXPECT_EQ(open.v[1], ref.open[1]);
        const detail::CoarsePath three = detail::CoarseThreePoints(t);
        EXPECT_EQ(three.value, ref.threeValue);
        for (std::size_t v = 0; v < 3; ++v) {
            EXPECT_EQ(three.v[v], ref.three[v]);
        }
        const detail::CoarsePath four = detail::CoarseFourPoints(t, cancel);
        EXPECT_EQ(four.value, ref.fourValue);
        for (std::size_t v = 0; v < 4; ++v) {
            EXPECT_EQ(four.v[v], ref.four[v]);
        }
        const detail::CoarsePath five = detail::CoarseFivePoints(t, cancel);
        EXPECT_EQ(five.value, ref.fiveValue);
        for (std::size_t v = 0; v < 5; ++v) {
            EXPECT_EQ(five.v[v], ref.five[v]);
        }
        const detail::CoarseLoop oar = detail::CoarseOutAndReturn(t, gap, cancel);
        EXPECT_EQ(oar.found, ref.oarFound);
        if (ref.oarFound) {
            EXPECT_EQ(oar.value, ref.oarValue);
            for (std::size_t v = 0; v < 3; ++v) {
                EXPECT_EQ(oar.v[v], ref.oar[v]);
            }
        }
        ExpectTrianglesAsPlain(t, gap, ref);
        // And under the online contest's gap rule (under a fifth of the perimeter).
        ExpectTrianglesAsPlain(t, 0, test::ReferenceSearch(t, 0, true), true);
    }
}

TEST(CoarseSearch, FastEqualsPlainOnRandomTracks) {
    CheckRandomTracks(20241007, 300, 5, 160);
}

TEST(CoarseSearch, FastEqualsPlainOnLongRandomTracks) {
    CheckRandomTracks(7, 6, 401, 200);
}

// Laps of a triangle, each lap scaled, turned and shifted a little, with random wander: many
// triangles of nearly the same score, FAI or just not, and (on the rounded grid) many ties.
// The longer ones take every level of the block search.
struct LoopCase {
    unsigned seed;
    int laps;
    int samplesPerLeg;
    double shortLeg;  // the shortest leg as a fraction of the perimeter (FAI from 0.28)
    double wander;    // metres of random step per sample
    double grid;      // positions rounded to this many metres; 0: not rounded
    int gap;
};

class LoopTracks : public ::testing::TestWithParam<LoopCase> {};

// The positions of the laps of `c`.
std::vector<std::pair<double, double>> LoopPositions(const LoopCase& c) {
    std::mt19937 random(c.seed);
    std::uniform_real_distribution<double> unit(-1, 1);
    const double perimeter = 30000;
    const double base = c.shortLeg * perimeter;
    const double side = (perimeter - base) / 2;
    const double height = std::sqrt(side * side - base * base / 4);
    std::vector<std::pair<double, double>> xy;
    double wx = 0, wy = 0;
    for (int lap = 0; lap < c.laps; ++lap) {
        const double scale = 1 + 0.05 * unit(random);
        const double turn = 0.05 * unit(random);
        const double dx = 300 * unit(random);
        const double dy = 300 * unit(random);
        const std::array<std::pair<double, double>, 4> corners{
            {{0, 0}, {base, 0}, {base / 2, height}, {0, 0}}};
        for (std::size_t leg = 0; leg < 3; ++leg) {
            for (int step = 0; step < c.samplesPerLeg; ++step) {
                const double f = static_cast<double>(step) / c.samplesPerLeg;
                const double x =
                    corners[leg].first + f * (corners[leg + 1].first - corners[leg].first);
                const double y =
                    corners[leg].second + f * (corners[leg + 1].second - corners[leg].second);
                wx = 0.9 * wx + c.wander * unit(random);
                wy = 0.9 * wy + c.wander * unit(random);
                double px = scale * (x * std::cos(turn) - y * std::sin(turn)) + dx + wx;
                double py = scale * (x * std::sin(turn) + y * std::cos(turn)) + dy + wy;
                if (c.grid > 0) {
                    px = std::round(px / c.grid) * c.grid;
                    py = std::round(py / c.grid) * c.grid;
                }
                xy.emplace_back(px, py);
            }
        }
    }
    return xy;
}

TEST_P(LoopTracks, FastTrianglesEqualPlain) {
    const detail::CoarseTables t = PlaneTables(LoopPositions(GetParam()));
    ExpectTrianglesAsPlain(t, GetParam().gap, test::ReferenceSearch(t, GetParam().gap));
}

// The online contest's rule: a closing gap under a fifth of the perimeter, whatever its size.
TEST_P(LoopTracks, FastTrianglesEqualPlainWithTheGapUnderAFifth) {
    const detail::CoarseTables t = PlaneTables(LoopPositions(GetParam()));
    ExpectTrianglesAsPlain(t, 0, test::ReferenceSearch(t, 0, true), true);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoopTracks,
    ::testing::Values(LoopCase{1, 3, 80, 0.28, 150, 0, 800},    // at the FAI limit, 720 samples
                      LoopCase{2, 2, 120, 0.27, 60, 0, 2000},   // just short of FAI
                      LoopCase{3, 4, 60, 0.30, 300, 500, 800},  // rounded: ties everywhere
                      LoopCase{4, 3, 75, 0.05, 400, 0, 800},    // thin: FAI only in the wander
                      LoopCase{5, 1, 300, 0.3333, 20, 100, 100000},  // one lap, no gap limit
                      LoopCase{6, 5, 30, 0.29, 800, 0, 5000}));      // strong wander

}  // namespace
}  // namespace tracora::analysis
