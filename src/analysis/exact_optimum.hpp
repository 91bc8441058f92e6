// The proven optimum of the 5-point distance, the flat triangle and the FAI triangle over every
// fix of a track, by branch and bound: the fixes are split into index ranges (a binary tree of
// ranges, each with the bounding box of its fixes in earth-centred coordinates), each tuple of
// ranges is bounded by box-to-box distances, and the most promising tuple is split first until
// no tuple can beat the best result found. Distances are geodesics on the WGS 84 ellipsoid, the
// same as the fine search of the trip analysis, so both results compare directly; a straight
// chord through the earth is never longer than the geodesic, and the geodesic is never longer
// than the arc of the earth's tightest curvature over that chord, which bounds every box.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "analysis/distance_optimisation.hpp"
#include "core/track_log.hpp"

namespace tracora::analysis {

// The closing and FAI rules a triangle is scored under.
enum class ExactRules {
    Trip,  // the trip analysis: closing gap at most the loop flight gap
    Olc,   // the online contest: closing gap under 20 % of the perimeter
};

enum class ExactKind { FivePoints, FlatTriangle, FaiTriangle };

struct ExactOptions {
    ExactRules rules = ExactRules::Trip;
    double loopFlightGapMetres = 800;  // Trip rules: the greatest closing gap; 0: no triangles
    std::uint64_t nodeBudget = 0;      // tuples of ranges to examine at most; 0: no limit
    double timeBudgetSeconds = 0;      // 0: no limit
    bool seeded = true;                // AnalyseTrack: start from the two-stage results
};

// One exact result. Triangles: index = start, the three turn points, end; legs BC, CD, DB;
// score = perimeter - closing gap. 5 points: index = the five points, legs AB, BC, CD, DE;
// score = their sum. Metres.
struct ExactResult {
    bool found = false;    // a result that satisfies the rules
    bool optimal = false;  // proven: nothing can beat `score` (bound == score)
    bool halted = false;   // the cancel flag or a budget ended the search early
    std::array<std::size_t, 5> index{};
    std::array<double, 4> legs{};
    double gapMetres = 0;
    double score = 0;
    double bound = 0;         // no result under the rules scores more than this
    std::uint64_t nodes = 0;  // tuples of ranges examined
    double seconds = 0;
};

struct ExactResults {
    ExactResult five, flat, fai;
    bool cancelled = false;
};

// The points of a result already known (from the two-stage search), to start the search from;
// they count only when they satisfy the rules.
using ExactSeed = std::array<std::size_t, 5>;

// One kind under `options`. The cancel flag ends the search within a few milliseconds with the
// best result found so far and the bound that remains.
ExactResult SolveExact(std::span<const TrackPoint> points, ExactKind kind,
                       const ExactOptions& options, const CancelFlag& cancel,
                       const ExactSeed* seed = nullptr);

// All three kinds, sharing the range tree; `seeds` (may be null) are the two-stage results.
ExactResults SolveExactAll(std::span<const TrackPoint> points, const ExactOptions& options,
                           const CancelFlag& cancel, const OptimisationResults* seeds = nullptr);

// A proven result lies within this many metres of the true optimum (the geodesic solution's
// own precision is far finer).
inline constexpr double kExactToleranceMetres = 0.001;

}  // namespace tracora::analysis
