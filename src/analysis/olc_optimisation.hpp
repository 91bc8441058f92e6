// The online-contest scoring of a flight: the free distance over five points (start, three turn
// points, finish), the free triangle and the FAI triangle, each counted only when its closing
// gap is under a fifth of its perimeter, with their points per kilometre; and, shown but not
// scored, the greatest distance between two points and the out-and-return (closing at most
// 400 m). The same two-stage search as the trip analysis: coarse on sampled points, fine on the
// track points around the coarse vertices.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis_worker.hpp"
#include "analysis/distance_optimisation.hpp"
#include "analysis/exact_optimum.hpp"
#include "core/track_log.hpp"

namespace tracora::analysis {

enum class OlcKind { kFreeDistance, kFreeTriangle, kFaiTriangle };

// Points per metre of each scored result.
inline constexpr double kFreeDistancePointsPerMetre = 0.0015;
inline constexpr double kFreeTrianglePointsPerMetre = 0.00175;
inline constexpr double kFaiTrianglePointsPerMetre = 0.002;
// The out-and-return's closing limit in place of the loop flight gap.
inline constexpr std::int32_t kOlcOutAndReturnGapMetres = 400;
inline constexpr std::size_t kOlcMinimumPoints = 5;

struct OlcResults {
    PathResult<2> maxDistance;        // not scored
    PathResult<5> freeDistance;       // A, B, C, D, E
    OutAndReturnResult outAndReturn;  // not scored
    TriangleResult freeTriangle;      // A start, B C D turn points, E finish
    TriangleResult faiTriangle;
    double freeDistancePoints = 0;
    double freeTrianglePoints = 0;
    double faiTrianglePoints = 0;
    OlcKind best = OlcKind::kFreeDistance;
    bool done = false;       // ran to its end
    bool cancelled = false;  // halted; `haltText` says in which stage
    std::string haltText;
    // The proven optimum under the contest's rules, when it was asked for: the points, the
    // indices and the best result then follow it (a kind it did not find keeps the two-stage
    // result).
    bool exact = false;
    ExactResults exactResults;

    double Points(OlcKind kind) const;
    // The five track indices of a result, A to E.
    std::array<std::size_t, 5> Indices(OlcKind kind) const;
    // The exact result of a kind (valid with `exact`).
    const ExactResult& Exact(OlcKind kind) const;
};

// Points per metre of a kind.
double OlcPointsPerMetre(OlcKind kind);

// The two-stage results as the exact search's starting point.
OptimisationResults OlcSeeds(const OlcResults& results);
// Takes the exact search's results into `results` and names the best result again.
void ApplyExactResults(OlcResults& results, const ExactResults& exact);

// "free distance", "free triangle", "FAI triangle".
const char* OlcKindName(OlcKind kind);
// "Best result is FAI triangle with 123.45 points".
std::string OlcBestText(const OlcResults& results);

// The best of the three: the FAI triangle when its points are at least those of the free
// triangle and of the free distance, else the free triangle when its points are at least those
// of the free distance, else the free distance.
OlcKind OlcBestKind(double freeDistance, double freeTriangle, double faiTriangle);

// Runs the scoring on `points` (at least kOlcMinimumPoints). Stage texts go to `progress`:
// "Computing distance matrix", "Max. distance search", "Free distance search", "Out-and-return
// search", "Triangle search", "Optimization completed" and the best result's text; a halt ends
// with the stage's halt text ("Computation halted", "Max. distance search aborted",
// "Out-and-return search aborted", "Triangle search aborted") in `haltText` and `cancelled`.
// 0, or -1 when the working memory cannot be had.
int RunOlcOptimisation(std::span<const TrackPoint> points, OlcResults& out, int threads,
                       const ProgressFn& progress, const CancelFlag& cancel);

// Runs RunOlcOptimisation on its own thread over a copy of the points that it owns.
class OlcWorker {
public:
    // `progress` and then `finished` (once Finished() is true) are called on the worker thread.
    // Returns 0, or -1 when a run is still going or the thread cannot start.
    int Start(std::vector<TrackPoint> points, int threads, ProgressFn progress,
              std::function<void()> finished = {});
    void Halt() { worker_.Halt(); }
    int Join() { return worker_.Join(); }
    bool Finished() const { return worker_.Finished(); }
    // Valid after Join() or once Finished().
    const OlcResults& Result() const { return result_; }
    const std::vector<TrackPoint>& Points() const { return points_; }

private:
    std::vector<TrackPoint> points_;
    int threads_ = 2;
    ProgressFn progress_;
    OlcResults result_;
    AnalysisWorker worker_;  // last: destroyed (halted and joined) first
};

}  // namespace tracora::analysis
