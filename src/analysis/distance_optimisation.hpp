// The trip analysis of a flight: greatest distances over 2 to 5 points, the best out-and-return
// and the best flat and FAI triangles. A coarse search on at most 2,000 sampled points with
// whole-metre planar distances picks the vertices; a fine search with geodesic distances on the
// track points around each vertex refines them.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

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
inline constexpr std::size_t kMaxSamples = 2000;

// ---- The coarse stage, exposed for tests and benchmarks -------------------------------------

// An allocator that leaves new elements uninitialised (trivial types only), for tables that
// are written in full before they are read: their memory is first touched where it is written.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    static_assert(std::is_trivially_default_constructible_v<T>);
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Triangular tables with row offsets: entry (i, j), i <= j, is at rowStart[i] + j - i.
struct CoarseTables {
    std::size_t n = 0;
    std::vector<std::size_t> sampleIndex;  // track index of each sample
    std::vector<double> x, y;              // projected positions
    std::vector<std::size_t> rowStart;
    std::vector<std::int32_t, UninitialisedAllocator<std::int32_t>> d;  // whole-metre distances
    std::vector<std::int32_t> bestForward, bestBackward;
    std::vector<std::uint32_t> bestForwardIndex, bestBackwardIndex;

    std::int32_t D(std::size_t i, std::size_t j) const { return d[rowStart[i] + j - i]; }
};

// Sample indices: every point up to kMaxSamples points, else the accumulator rule.
std::vector<std::size_t> SampleIndices(std::size_t count);
// Projection, distance matrix and best-forward/backward tables, on up to `threads` cores.
// False when cancelled.
bool BuildDistanceMatrix(std::span<const TrackPoint> points, CoarseTables& t,
                         const CancelFlag& cancel, int threads = 1);
// The distance matrix and best-forward/backward tables of the positions in x and y (the
// samples' projected positions), on up to `threads` cores. False when cancelled.
bool FillDistanceMatrix(CoarseTables& t, const CancelFlag& cancel, int threads = 1);

// The closing distances G(i, k), the least d(a, e) over a <= i, e >= k, of the pairs i < k
// where G is under a limit (the loop flight gap). G(i, k) grows with k, so each row i keeps
// k = i + 1 up to the last k under the limit; in 16 bits when the limit allows.
class ClosingGaps {
public:
    static constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::max();

    // False when cancelled.
    bool Build(const CoarseTables& t, std::int32_t limit, const CancelFlag& cancel);
    // G(i, k), i < k, when under the limit; else kNone.
    std::int32_t Get(std::size_t i, std::size_t k) const {
        if (k > last_[i]) {
            return kNone;
        }
        const std::size_t at = start_[i] + k - i - 1;
        return narrow_ ? static_cast<std::int32_t>(narrowValues_[at]) : values_[at];
    }
    // The pair a * 65536 + e of G(i, k) (under the limit): of the pairs at that distance the one
    // with the latest e, then the latest a.
    std::uint32_t Pair(const CoarseTables& t, std::size_t i, std::size_t k) const;

private:
    std::vector<std::size_t> start_;  // entry of (i, i + 1)
    std::vector<std::size_t> last_;   // the last k under the limit; i when none
    bool narrow_ = false;
    std::vector<std::uint16_t> narrowValues_;
    std::vector<std::int32_t> values_;
};

struct CoarsePath {
    std::array<std::uint32_t, 5> v{};  // sample indices; the first N used
    std::int64_t value = 0;
};
CoarsePath CoarseOpenDistance(const CoarseTables& t);
CoarsePath CoarseThreePoints(const CoarseTables& t);
CoarsePath CoarseFourPoints(const CoarseTables& t, const CancelFlag& cancel);
CoarsePath CoarseFivePoints(const CoarseTables& t, const CancelFlag& cancel);

struct CoarseLoop {
    bool found = false;
    std::array<std::uint32_t, 5> v{};  // out-and-return: i, j, k; triangles: a, i, j, k, e
    std::int64_t value = 0;
};
CoarseLoop CoarseOutAndReturn(const CoarseTables& t, std::int32_t gapMetres,
                              const CancelFlag& cancel);
struct CoarseTriangles {
    CoarseLoop flat, fai;
    bool cancelled = false;
};
// The best flat and FAI triangles with a closing distance under `gapMetres`, as the plain
// loop over i < j < k finds them. Needs the positions x and y and the distances d from them.
CoarseTriangles CoarseTriangleSearch(const CoarseTables& t, std::int32_t gapMetres,
                                     const CancelFlag& cancel, int threads);

}  // namespace tracora::analysis
