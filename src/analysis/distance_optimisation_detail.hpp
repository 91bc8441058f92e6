// The stages of the trip analysis, for the analysis's own sources, its tests and its benchmark:
// the coarse tables (samples, their plane positions, the distance matrix), the closing gaps, the
// coarse path, out-and-return and triangle searches, and the fine search around the coarse
// vertices. Nothing outside the analysis includes this header.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "analysis/distance_optimisation.hpp"
#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/track_log.hpp"

namespace tracora::analysis::detail {

inline constexpr std::size_t kMaxSamples = 2000;

inline bool Cancelled(const CancelFlag& cancel) {
    return cancel.load(std::memory_order_relaxed) != 0;
}

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
// The best flat and FAI triangles with a closing distance under `gapMetres`, or with
// `fifthOfPerimeter` under a fifth of the perimeter (5 G < p; gapMetres is then unused), as the
// plain loop over i < j < k finds them. Needs the positions x and y and the distances d.
CoarseTriangles CoarseTriangleSearch(const CoarseTables& t, std::int32_t gapMetres,
                                     const CancelFlag& cancel, int threads,
                                     bool fifthOfPerimeter = false);

// ---- Shared by the loop searches ------------------------------------------------------------

inline std::uint64_t TriangleKey(std::size_t i, std::size_t k, std::size_t j) {
    return (static_cast<std::uint64_t>(i) << 32) | (static_cast<std::uint64_t>(k) << 16) |
           static_cast<std::uint64_t>(j);
}

// One candidate of a loop search with the key that orders candidates of equal score the way
// the plain loop would visit them; the greater key is the later one.
struct Best {
    bool found = false;
    std::int64_t score = 0;
    std::uint64_t key = 0;
    std::array<std::uint32_t, 5> v{};

    // The plain search starts at `start` and lets an equal later candidate win.
    bool Beats(std::int64_t s, std::uint64_t k, std::int64_t start) const {
        if (!found) {
            return s >= start;
        }
        return s > score || (s == score && k > key);
    }
};

inline void Merge(Best& into, const Best& other, std::int64_t start) {
    if (other.found && into.Beats(other.score, other.key, start)) {
        into = other;
    }
}

// ---- The fine search: the coarse vertices refined on the track points around them ----------

// The greatest sum of legs over N track points near the coarse path's vertices (N = 2 to 5).
template <std::size_t N>
void FinePath(std::span<const TrackPoint> points, const CoarseTables& t, const CoarsePath& c,
              PathResult<N>& out);
// The best out-and-return near the coarse one, its gap at most `gapMetres`.
void FineOutAndReturn(std::span<const TrackPoint> points, const CoarseTables& t,
                      const CoarseLoop& c, double gapMetres, OutAndReturnResult& out);
// The best triangle (FAI when `faiOnly`) near the coarse one, its gap under `gapMetres`, or
// with `fifthOfPerimeter` at most a fifth of its perimeter.
void FineTriangle(std::span<const TrackPoint> points, const CoarseTables& t, const CoarseLoop& c,
                  double gapMetres, bool faiOnly, TriangleResult& out,
                  bool fifthOfPerimeter = false);

}  // namespace tracora::analysis::detail
