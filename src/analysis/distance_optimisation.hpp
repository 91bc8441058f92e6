// The trip analysis of a flight: greatest distances over 2 to 5 points, the best out-and-return
// and the best flat and FAI triangles. A coarse search on at most 2,000 sampled points with
// whole-metre planar distances picks the vertices; a fine search with geodesic distances on the
// track points around each vertex refines them. The stages themselves are internal to the
// analysis (distance_optimisation_detail.hpp).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/track_log.hpp"

namespace tracora::analysis {

// A cancel flag another thread may set to 1.
using CancelFlag = std::atomic<std::uint32_t>;
// Receives the progress texts; may be empty.
using ProgressFn = std::function<void(const std::string&)>;

// Greatest distance over `N` points in time order: track indices, legs and their sum (metres).
template <std::size_t N>
struct PathResult {
    std::array<std::size_t, N> index{};
    std::array<double, N - 1> legs{};
    double sum = 0;
};

struct OutAndReturnResult {
    std::size_t start = 0, turn = 0, ret = 0;  // A, B, C
    double outMetres = 0;                      // AB
    double gapMetres = 0;                      // AC
    double score = 0;                          // 2 AB - AC; 0: nothing found
};

struct TriangleResult {
    std::array<std::size_t, 5> index{};  // start, three turn points, end
    std::array<double, 3> legs{};        // BC, CD, DB
    double gapMetres = 0;                // AE
    double score = 0;                    // BC + CD + DB - AE; 0: nothing found
};

// The results of the distance optimisation: the greatest distances, the best out-and-return and
// the best triangles, as track indices with their legs.
struct OptimisationResults {
    PathResult<2> open;
    PathResult<3> three;
    PathResult<4> four;
    PathResult<5> five;
    OutAndReturnResult outAndReturn;
    TriangleResult flat;
    TriangleResult fai;
    bool done = false;       // the optimisation ran to its end
    bool cancelled = false;  // the cancel flag stopped it; unfinished results stay zero
};

struct OptimisationOptions {
    std::int32_t loopFlightGapMetres = 800;  // 0 switches the loop searches off
    bool noLoopOpt = false;                  // the command line's NOLOOPOPT
    int threads = 2;                         // cores for the distance matrix and triangles
};

// Runs the whole optimisation. Returns 0 with the results filled and `done` set, or -1 when
// the working arrays cannot be allocated (the caller reports kMemoryAllocationError).
int RunDistanceOptimisation(std::span<const TrackPoint> points, OptimisationResults& out,
                            const OptimisationOptions& options, const ProgressFn& progress,
                            const CancelFlag& cancel);

inline constexpr const char* kMemoryAllocationError = "Memory allocation error";

}  // namespace tracora::analysis
