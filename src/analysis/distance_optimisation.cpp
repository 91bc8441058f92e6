#include "analysis/distance_optimisation.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/strings.hpp"

namespace tracora::analysis {

namespace {

constexpr std::int32_t kNoGap = std::numeric_limits<std::int32_t>::max();

bool Cancelled(const CancelFlag& cancel) {
    return cancel.load(std::memory_order_relaxed) != 0;
}

GeoPoint PointRadians(const TrackPoint& p) {
    return {SemicirclesToRadians(p.latitude), SemicirclesToRadians(p.longitude)};
}

double Geodesic(std::span<const TrackPoint> points, std::size_t a, std::size_t b) {
    double metres = 0;
    if (GeoDistance(PointRadians(points[a]), PointRadians(points[b]), metres) != 0) {
        return 0;
    }
    return metres;
}

void Report(const ProgressFn& progress, const char* text) {
    if (progress) {
        progress(text);
    }
}

std::uint64_t TriangleKey(std::size_t i, std::size_t k, std::size_t j) {
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

void Merge(Best& into, const Best& other, std::int64_t start) {
    if (other.found && into.Beats(other.score, other.key, start)) {
        into = other;
    }
}

// The triangle search over the outer rows i = first, first + step, ..., taken from the last
// row down. Rows may run in any order: the winner is the greatest (score, key) whatever the
// order, and a pair (i, k) is skipped only when no candidate in it can reach the best so far.
// `flatStart` and `faiStart` are scores that some candidate is known to reach (or -1).
void TriangleRows(const CoarseTables& t, std::int32_t gapMetres, const CancelFlag& cancel,
                  std::size_t first, std::size_t step, std::int64_t flatStart,
                  std::int64_t faiStart, Best& flat, Best& fai, bool& cancelled) {
    const std::size_t n = t.n;
    if (n < 3) {
        return;
    }
    std::vector<std::uint32_t> ks;
    ks.reserve(n);
    std::vector<std::int32_t> net;  // d(i, k) - G(i, k) of each kept k
    net.reserve(n);
    std::vector<std::int64_t> suffixBest;
    suffixBest.reserve(n + 1);
    // intoK[k]: the greatest d(j, k) over i < j < k for the current row i.
    std::vector<std::int32_t> intoK(n, 0);
    for (std::size_t i = n - 2; i-- > 0;) {
        const std::size_t next = i + 1;
        const std::size_t nextRow = t.rowStart[next] - next;
        for (std::size_t k = next + 1; k < n; ++k) {
            intoK[k] = std::max(intoK[k], t.d[nextRow + k]);
        }
        if (i % step != first) {
            continue;
        }
        if (Cancelled(cancel)) {
            cancelled = true;
            return;
        }
        // The (i, k) pairs that can still win: the perimeter is at most d(i, k) plus the
        // greatest d(i, j) and the greatest d(j, k) over i < j < k; an FAI perimeter is at
        // most 25/7 of its leg d(i, k).
        const std::int64_t rowFlatFloor = flat.found ? flat.score : flatStart;
        const std::int64_t rowFaiFloor = fai.found ? fai.score : faiStart;
        ks.clear();
        net.clear();
        const std::size_t row = t.rowStart[i] - i;
        std::int64_t fromI = 0;
        for (std::size_t k = i + 2; k < n; ++k) {
            fromI = std::max<std::int64_t>(fromI, t.d[row + k - 1]);
            const std::int32_t g = t.gap[row + k];
            if (g >= gapMetres) {
                continue;
            }
            const std::int64_t dik = t.d[row + k];
            const std::int64_t bound = dik + fromI + intoK[k] - g;
            const std::int64_t faiBound = std::min(bound, (25 * (dik + 1) - 1) / 7 - g);
            if (bound >= rowFlatFloor || faiBound >= rowFaiFloor) {
                ks.push_back(static_cast<std::uint32_t>(k));
                net.push_back(static_cast<std::int32_t>(dik - g));
            }
        }
        // suffixBest[q]: the greatest d(i, k) - G(i, k) over the kept pairs from q on; with
        // the greatest d(j, k) it bounds every candidate of a turn point j.
        suffixBest.resize(ks.size() + 1);
        suffixBest[ks.size()] = std::numeric_limits<std::int64_t>::min() / 4;
        for (std::size_t q = ks.size(); q-- > 0;) {
            suffixBest[q] =
                std::max(suffixBest[q + 1],
                         static_cast<std::int64_t>(t.d[row + ks[q]]) - t.gap[row + ks[q]]);
        }
        std::size_t firstK = 0;
        for (std::size_t j = i + 1; j + 1 < n && firstK < ks.size(); ++j) {
            while (firstK < ks.size() && ks[firstK] <= j) {
                ++firstK;
            }
            const std::int64_t dij = t.d[row + j];
            const std::size_t rowJ = t.rowStart[j] - j;
            // An FAI candidate of this j has a perimeter of at most 25/7 of d(i, j).
            const std::int64_t flatFloor = flat.found ? flat.score : flatStart;
            const std::int64_t faiFloor = fai.found ? fai.score : faiStart;
            const std::int64_t bound = dij + t.bestForward[j] + suffixBest[firstK];
            const bool flatPossible = bound >= flatFloor;
            const bool faiPossible = std::min(bound, (25 * (dij + 1) - 1) / 7) >= faiFloor;
            if (!flatPossible && !faiPossible) {
                continue;
            }
            const std::int64_t floor = !faiPossible    ? flatFloor
                                       : !flatPossible ? faiFloor
                                                       : std::min(flatFloor, faiFloor);
            const std::int32_t* fromJ = t.d.data() + rowJ;
            for (std::size_t q = firstK; q < ks.size(); ++q) {
                const std::size_t k = ks[q];
                const std::int64_t s = dij + fromJ[k] + net[q];
                if (s < floor) {
                    continue;
                }
                const std::int64_t djk = fromJ[k];
                const std::int64_t dik = t.d[row + k];
                const std::int64_t p = dij + djk + dik;
                const std::uint64_t key = TriangleKey(i, k, j);
                const bool flatWins = flat.Beats(s, key, flatStart);
                // (p * 7) / 25 <= leg, without the division.
                const std::int64_t shortest = std::min(dij, std::min(djk, dik));
                const bool faiWins = 7 * p <= 25 * shortest + 24 && fai.Beats(s, key, faiStart);
                if (flatWins || faiWins) {
                    const std::uint32_t pair = t.gapPair[row + k];
                    const std::array<std::uint32_t, 5> v{
                        pair >> 16, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j),
                        static_cast<std::uint32_t>(k), pair & 0xFFFFu};
                    if (flatWins) {
                        flat = {true, s, key, v};
                    }
                    if (faiWins) {
                        fai = {true, s, key, v};
                    }
                }
            }
        }
    }
}

// Scores that some flat and some FAI candidate reach (-1 when none): the best triangles over
// every m-th sample, then the best with each corner moved by up to m samples around them. A
// floor below which the full search need not look.
void SeedTriangleFloors(const CoarseTables& t, std::int32_t gapMetres, std::int64_t& flat,
                        std::int64_t& fai) {
    flat = -1;
    fai = -1;
    const std::size_t n = t.n;
    const std::size_t m = std::max<std::size_t>(1, n / 200);
    if (m == 1) {
        return;
    }
    struct Seed {
        std::int64_t score = -1;
        std::size_t i = 0, j = 0, k = 0;
        bool found = false;
    };
    std::array<Seed, 2> seeds{};  // flat, FAI
    auto consider = [&](std::size_t i, std::size_t j, std::size_t k, std::array<Seed, 2>& best) {
        const std::int64_t g = t.G(i, k);
        if (g >= gapMetres) {
            return;
        }
        const std::int64_t dij = t.D(i, j);
        const std::int64_t djk = t.D(j, k);
        const std::int64_t dik = t.D(i, k);
        const std::int64_t p = dij + djk + dik;
        if (p - g > best[0].score) {
            best[0] = {p - g, i, j, k, true};
        }
        const std::int64_t minLeg = p * 7 / 25;
        if (p - g > best[1].score && minLeg <= dij && minLeg <= djk && minLeg <= dik) {
            best[1] = {p - g, i, j, k, true};
        }
    };
    for (std::size_t i = 0; i < n; i += m) {
        for (std::size_t k = i + 2 * m; k < n; k += m) {
            for (std::size_t j = i + m; j < k; j += m) {
                consider(i, j, k, seeds);
            }
        }
    }
    std::array<Seed, 2> refined = seeds;
    for (const Seed& seed : seeds) {
        if (!seed.found) {
            continue;
        }
        const std::size_t i0 = seed.i > m ? seed.i - m : 0;
        const std::size_t k1 = std::min(n - 1, seed.k + m);
        for (std::size_t i = i0; i <= seed.i + m; ++i) {
            for (std::size_t k = std::max(seed.k - m, i + 2); k <= k1; ++k) {
                const std::size_t j0 = std::max(seed.j - m, i + 1);
                for (std::size_t j = j0; j <= seed.j + m && j < k; ++j) {
                    consider(i, j, k, refined);
                }
            }
        }
    }
    flat = refined[0].score;
    fai = refined[1].score;
}

// Fine search: every combination of the track indices from 2 below to 2 above each coarse
// vertex in strictly increasing order; `score` returns false for a combination that does not
// count. The later combination wins a tie. Returns false when none counted.
template <std::size_t V, typename Score>
bool FineSearch(const std::array<std::size_t, V>& coarse, std::size_t count, double start,
                Score score, std::array<std::size_t, V>& best, double& bestValue) {
    std::array<std::array<std::size_t, 5>, V> cand{};
    std::array<std::size_t, V> candCount{};
    for (std::size_t v = 0; v < V; ++v) {
        for (int off = -2; off <= 2; ++off) {
            const long long idx = static_cast<long long>(coarse[v]) + off;
            if (idx < static_cast<long long>(v) ||
                idx > static_cast<long long>(count) - static_cast<long long>(V - v)) {
                continue;
            }
            cand[v][candCount[v]++] = static_cast<std::size_t>(idx);
        }
        if (candCount[v] == 0) {
            return false;
        }
    }
    bool found = false;
    bestValue = start;
    std::array<std::size_t, V> pos{};
    std::array<std::size_t, V> combo{};
    for (;;) {
        bool increasing = true;
        for (std::size_t v = 0; v < V; ++v) {
            combo[v] = cand[v][pos[v]];
            if (v > 0 && combo[v] <= combo[v - 1]) {
                increasing = false;
            }
        }
        double value = 0;
        if (increasing && score(pos, combo, value) && value >= bestValue) {
            bestValue = value;
            best = combo;
            found = true;
        }
        std::size_t v = V;
        while (v > 0) {
            --v;
            if (++pos[v] < candCount[v]) {
                break;
            }
            pos[v] = 0;
            if (v == 0) {
                return found;
            }
        }
    }
}

// Geodesic distances between the candidate windows of two vertices, computed once.
struct WindowDistances {
    std::array<std::array<double, 5>, 5> m{};
};

template <std::size_t V>
WindowDistances Window(std::span<const TrackPoint> points, const std::array<std::size_t, V>& c,
                       std::size_t u, std::size_t w) {
    WindowDistances out;
    for (int a = 0; a < 5; ++a) {
        for (int b = 0; b < 5; ++b) {
            const long long ia = static_cast<long long>(c[u]) + a - 2;
            const long long ib = static_cast<long long>(c[w]) + b - 2;
            if (ia >= 0 && ib >= 0 && ia < static_cast<long long>(points.size()) &&
                ib < static_cast<long long>(points.size())) {
                out.m[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)] =
                    Geodesic(points, static_cast<std::size_t>(ia), static_cast<std::size_t>(ib));
            }
        }
    }
    return out;
}

// The window slot of a track index around its coarse vertex.
std::size_t Slot(std::size_t index, std::size_t coarse) {
    return index + 2 - coarse;
}

template <std::size_t N>
void FinePath(std::span<const TrackPoint> points, const CoarseTables& t, const CoarsePath& c,
              PathResult<N>& out) {
    constexpr std::size_t V = N;
    std::array<std::size_t, V> coarse{};
    for (std::size_t v = 0; v < V; ++v) {
        coarse[v] = t.sampleIndex[c.v[v]];
    }
    std::array<WindowDistances, V - 1> legs{};
    for (std::size_t v = 0; v + 1 < V; ++v) {
        legs[v] = Window(points, coarse, v, v + 1);
    }
    std::array<std::size_t, V> best = coarse;
    double value = 0;
    FineSearch<V>(
        coarse, points.size(), -1.0,
        [&](const std::array<std::size_t, V>&, const std::array<std::size_t, V>& combo,
            double& sum) {
            sum = 0;
            for (std::size_t v = 0; v + 1 < V; ++v) {
                sum += legs[v].m[Slot(combo[v], coarse[v])][Slot(combo[v + 1], coarse[v + 1])];
            }
            return true;
        },
        best, value);
    out.index = best;
    out.sum = 0;
    for (std::size_t v = 0; v + 1 < V; ++v) {
        out.legs[v] = Geodesic(points, best[v], best[v + 1]);
        out.sum += out.legs[v];
    }
}

void FineOutAndReturn(std::span<const TrackPoint> points, const CoarseTables& t,
                      const CoarseLoop& c, double gapMetres, OutAndReturnResult& out) {
    std::array<std::size_t, 3> coarse{t.sampleIndex[c.v[0]], t.sampleIndex[c.v[1]],
                                      t.sampleIndex[c.v[2]]};
    const WindowDistances ab = Window(points, coarse, 0, 1);
    const WindowDistances ac = Window(points, coarse, 0, 2);
    std::array<std::size_t, 3> best = coarse;
    double value = 0;
    const bool found = FineSearch<3>(
        coarse, points.size(), 0.0,
        [&](const std::array<std::size_t, 3>&, const std::array<std::size_t, 3>& combo,
            double& score) {
            const std::size_t a = Slot(combo[0], coarse[0]);
            const double gap = ac.m[a][Slot(combo[2], coarse[2])];
            if (gap > gapMetres) {
                return false;
            }
            score = 2 * ab.m[a][Slot(combo[1], coarse[1])] - gap;
            return true;
        },
        best, value);
    if (!found || value <= 0) {
        best = coarse;
    }
    out.start = best[0];
    out.turn = best[1];
    out.ret = best[2];
    out.outMetres = Geodesic(points, best[0], best[1]);
    out.gapMetres = Geodesic(points, best[0], best[2]);
    out.score = 2 * out.outMetres - out.gapMetres;
}

void FineTriangle(std::span<const TrackPoint> points, const CoarseTables& t, const CoarseLoop& c,
                  double gapMetres, bool faiOnly, TriangleResult& out) {
    std::array<std::size_t, 5> coarse{};
    for (std::size_t v = 0; v < 5; ++v) {
        coarse[v] = t.sampleIndex[c.v[v]];
    }
    const WindowDistances bc = Window(points, coarse, 1, 2);
    const WindowDistances cd = Window(points, coarse, 2, 3);
    const WindowDistances bd = Window(points, coarse, 1, 3);
    const WindowDistances ae = Window(points, coarse, 0, 4);
    std::array<std::size_t, 5> best = coarse;
    double value = 0;
    const bool found = FineSearch<5>(
        coarse, points.size(), 0.0,
        [&](const std::array<std::size_t, 5>&, const std::array<std::size_t, 5>& combo,
            double& score) {
            std::array<std::size_t, 5> s{};
            for (std::size_t v = 0; v < 5; ++v) {
                s[v] = Slot(combo[v], coarse[v]);
            }
            const double gap = ae.m[s[0]][s[4]];
            if (gap >= gapMetres) {
                return false;
            }
            const double l1 = bc.m[s[1]][s[2]];
            const double l2 = cd.m[s[2]][s[3]];
            const double l3 = bd.m[s[1]][s[3]];
            const double perimeter = l3 + l1 + l2;
            if (faiOnly) {
                const double minLeg = perimeter * 0.28;
                if (minLeg > l1 || minLeg > l2 || minLeg > l3) {
                    return false;
                }
            }
            score = perimeter - gap;
            return true;
        },
        best, value);
    if (!found || value <= 0) {
        best = coarse;
    }
    out.index = best;
    out.legs = {Geodesic(points, best[1], best[2]), Geodesic(points, best[2], best[3]),
                Geodesic(points, best[3], best[1])};
    out.gapMetres = Geodesic(points, best[0], best[4]);
    out.score = out.legs[0] + out.legs[1] + out.legs[2] - out.gapMetres;
}

int RunStages(std::span<const TrackPoint> points, TripAnalysis& out,
              const OptimisationOptions& options, const ProgressFn& progress,
              const CancelFlag& cancel) {
    CoarseTables t;
    Report(progress, "Computing distance matrix");
    if (!BuildDistanceMatrix(points, t, cancel)) {
        return 1;
    }
    const std::size_t n = t.n;

    Report(progress, "Computing greatest distance (2 points)");
    if (Cancelled(cancel)) {
        return 1;
    }
    if (n >= 2) {
        FinePath<2>(points, t, CoarseOpenDistance(t), out.open);
    }
    Report(progress, "Computing greatest distance (3 points)");
    if (Cancelled(cancel)) {
        return 1;
    }
    if (n >= 3) {
        FinePath<3>(points, t, CoarseThreePoints(t), out.three);
    }
    Report(progress, "Computing greatest distance (4 points)");
    if (n >= 4) {
        const CoarsePath c = CoarseFourPoints(t, cancel);
        if (Cancelled(cancel)) {
            return 1;
        }
        FinePath<4>(points, t, c, out.four);
    }
    Report(progress, "Computing greatest distance (5 points)");
    if (n >= 5) {
        const CoarsePath c = CoarseFivePoints(t, cancel);
        if (Cancelled(cancel)) {
            return 1;
        }
        FinePath<5>(points, t, c, out.five);
    }

    const std::int32_t gap = options.loopFlightGapMetres;
    if (gap <= 0 || options.noLoopOpt) {
        return 0;
    }
    Report(progress, "Computing out-and-return distance");
    out.outAndReturn = {};
    const CoarseLoop oar = CoarseOutAndReturn(t, gap, cancel);
    if (Cancelled(cancel)) {
        return 1;
    }
    if (oar.found) {
        FineOutAndReturn(points, t, oar, gap, out.outAndReturn);
    }

    Report(progress, "Computing triangle distance");
    out.flat = {};
    out.fai = {};
    if (!BuildClosingGapTable(t, cancel)) {
        return 1;
    }
    const CoarseTriangles tri = CoarseTriangleSearch(t, gap, cancel, options.threads);
    if (tri.cancelled) {
        return 1;
    }
    if (tri.flat.found) {
        FineTriangle(points, t, tri.flat, gap, false, out.flat);
    }
    if (tri.fai.found) {
        FineTriangle(points, t, tri.fai, gap, true, out.fai);
    }
    return 0;
}

}  // namespace

std::vector<std::size_t> SampleIndices(std::size_t count) {
    std::vector<std::size_t> samples;
    if (count <= kMaxSamples) {
        samples.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            samples[i] = i;
        }
        return samples;
    }
    samples.reserve(kMaxSamples);
    std::size_t accumulator = count;
    for (std::size_t i = 0; i < count; ++i) {
        accumulator += kMaxSamples - 1;
        if (accumulator >= count) {
            samples.push_back(i);
            accumulator -= count;
        }
    }
    return samples;
}

bool BuildDistanceMatrix(std::span<const TrackPoint> points, CoarseTables& t,
                         const CancelFlag& cancel) {
    t.sampleIndex = SampleIndices(points.size());
    const std::size_t n = t.sampleIndex.size();
    t.n = n;
    if (n == 0) {
        return true;
    }
    std::int32_t minLon = points[0].longitude;
    std::int32_t maxLon = points[0].longitude;
    for (const TrackPoint& p : points) {
        minLon = std::min(minLon, p.longitude);
        maxLon = std::max(maxLon, p.longitude);
    }
    const double meridian = (SemicirclesToRadians(minLon) + SemicirclesToRadians(maxLon)) / 2;
    t.x.resize(n);
    t.y.resize(n);
    for (std::size_t s = 0; s < n; ++s) {
        ProjectTransverseMercator(PointRadians(points[t.sampleIndex[s]]), meridian, t.x[s], t.y[s]);
    }
    return FillDistanceMatrix(t, cancel);
}

bool FillDistanceMatrix(CoarseTables& t, const CancelFlag& cancel) {
    const std::size_t n = t.x.size();
    t.n = n;
    t.rowStart.resize(n);
    std::size_t offset = 0;
    for (std::size_t i = 0; i < n; ++i) {
        t.rowStart[i] = offset;
        offset += n - i;
    }
    t.d.resize(offset);
    t.bestForward.assign(n, 0);
    t.bestBackward.assign(n, 0);
    t.bestForwardIndex.resize(n);
    t.bestBackwardIndex.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        t.bestForwardIndex[i] = static_cast<std::uint32_t>(i + 1 < n ? i + 1 : i);
        t.bestBackwardIndex[i] = static_cast<std::uint32_t>(i > 0 ? i - 1 : 0);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (Cancelled(cancel)) {
            return false;
        }
        std::int32_t* row = t.d.data() + t.rowStart[i] - i;
        row[i] = 0;
        const double xi = t.x[i];
        const double yi = t.y[i];
        std::int32_t forward = t.bestForward[i];
        std::uint32_t forwardIndex = t.bestForwardIndex[i];
        for (std::size_t j = i + 1; j < n; ++j) {
            const double dx = t.x[j] - xi;
            const double dy = t.y[j] - yi;
            const auto dist = static_cast<std::int32_t>(std::sqrt(dx * dx + dy * dy) + 0.5);
            row[j] = dist;
            if (dist >= forward) {
                forward = dist;
                forwardIndex = static_cast<std::uint32_t>(j);
            }
            if (dist >= t.bestBackward[j]) {
                t.bestBackward[j] = dist;
                t.bestBackwardIndex[j] = static_cast<std::uint32_t>(i);
            }
        }
        t.bestForward[i] = forward;
        t.bestForwardIndex[i] = forwardIndex;
    }
    return true;
}

bool BuildClosingGapTable(CoarseTables& t, const CancelFlag& cancel) {
    const std::size_t n = t.n;
    t.gap.assign(t.d.size(), kNoGap);
    t.gapPair.assign(t.d.size(), 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (Cancelled(cancel)) {
            return false;
        }
        const std::size_t row = t.rowStart[i] - i;
        const std::size_t previous = i > 0 ? t.rowStart[i - 1] - (i - 1) : 0;
        std::int32_t running = kNoGap;
        std::uint32_t pair = 0;
        for (std::size_t k = n - 1; k > i; --k) {
            if (t.d[row + k] < running) {
                running = t.d[row + k];
                pair = static_cast<std::uint32_t>((i << 16) | k);
            }
            if (i > 0 && t.gap[previous + k] < running) {
                running = t.gap[previous + k];
                pair = t.gapPair[previous + k];
            }
            t.gap[row + k] = running;
            t.gapPair[row + k] = pair;
        }
    }
    return true;
}

CoarsePath CoarseOpenDistance(const CoarseTables& t) {
    CoarsePath best;
    best.v[0] = 0;
    best.v[1] = t.bestForwardIndex[0];
    for (std::size_t i = 0; i + 1 < t.n; ++i) {
        if (t.bestForward[i] >= best.value) {
            best.value = t.bestForward[i];
            best.v[0] = static_cast<std::uint32_t>(i);
            best.v[1] = t.bestForwardIndex[i];
        }
    }
    return best;
}

CoarsePath CoarseThreePoints(const CoarseTables& t) {
    CoarsePath best;
    for (std::size_t m = 1; m + 1 < t.n; ++m) {
        const std::int64_t value = static_cast<std::int64_t>(t.bestBackward[m]) + t.bestForward[m];
        if (value >= best.value) {
            best.value = value;
            best.v = {t.bestBackwardIndex[m], static_cast<std::uint32_t>(m), t.bestForwardIndex[m],
                      0, 0};
        }
    }
    return best;
}

CoarsePath CoarseFourPoints(const CoarseTables& t, const CancelFlag& cancel) {
    CoarsePath best;
    std::uint32_t bestB = 1;
    std::uint32_t bestC = 2;
    for (std::size_t b = 1; b + 2 < t.n; ++b) {
        if (Cancelled(cancel)) {
            return best;
        }
        const std::size_t row = t.rowStart[b] - b;
        const std::int64_t in = t.bestBackward[b];
        for (std::size_t c = b + 1; c + 1 < t.n; ++c) {
            const std::int64_t value = in + t.d[row + c] + t.bestForward[c];
            if (value >= best.value) {
                best.value = value;
                bestB = static_cast<std::uint32_t>(b);
                bestC = static_cast<std::uint32_t>(c);
            }
        }
    }
    best.v = {t.bestBackwardIndex[bestB], bestB, bestC, t.bestForwardIndex[bestC], 0};
    return best;
}

CoarsePath CoarseFivePoints(const CoarseTables& t, const CancelFlag& cancel) {
    const std::size_t n = t.n;
    CoarsePath best;
    // in[c]: the greatest bestBackward(b) + d(b, c) over b < c (the later b on ties), filled
    // row by row; out[c]: the greatest d(c, d) + bestForward(d) over d > c.
    std::vector<std::int64_t> in(n, -1);
    std::vector<std::uint32_t> inIndex(n, 1);
    for (std::size_t b = 1; b + 3 < n; ++b) {
        if (Cancelled(cancel)) {
            return best;
        }
        const std::size_t row = t.rowStart[b] - b;
        const std::int64_t back = t.bestBackward[b];
        for (std::size_t c = b + 1; c + 2 < n; ++c) {
            const std::int64_t value = back + t.d[row + c];
            if (value >= in[c]) {
                in[c] = value;
                inIndex[c] = static_cast<std::uint32_t>(b);
            }
        }
    }
    std::uint32_t bestB = 1;
    std::uint32_t bestC = 2;
    std::uint32_t bestD = 3;
    for (std::size_t c = 2; c + 2 < n; ++c) {
        if (Cancelled(cancel)) {
            return best;
        }
        const std::size_t row = t.rowStart[c] - c;
        std::int64_t outValue = 0;
        std::uint32_t outIndex = static_cast<std::uint32_t>(c + 1);
        for (std::size_t d = c + 1; d + 1 < n; ++d) {
            const std::int64_t value = static_cast<std::int64_t>(t.d[row + d]) + t.bestForward[d];
            if (value >= outValue) {
                outValue = value;
                outIndex = static_cast<std::uint32_t>(d);
            }
        }
        const std::int64_t value = in[c] + outValue;
        if (value >= best.value) {
            best.value = value;
            bestB = inIndex[c];
            bestC = static_cast<std::uint32_t>(c);
            bestD = outIndex;
        }
    }
    best.v = {t.bestBackwardIndex[bestB], bestB, bestC, bestD, t.bestForwardIndex[bestD]};
    return best;
}

CoarseLoop CoarseOutAndReturn(const CoarseTables& t, std::int32_t gapMetres,
                              const CancelFlag& cancel) {
    // For each start i the best turn point before k is the greatest d(i, j), j < k, with the
    // later j on ties; candidates of equal value are ordered by (i, j, k) as the plain triple
    // loop visits them.
    constexpr std::int64_t kStart = -999999999;
    Best best;
    const std::size_t n = t.n;
    for (std::size_t i = 0; i + 2 < n; ++i) {
        if (Cancelled(cancel)) {
            return {};
        }
        const std::size_t row = t.rowStart[i] - i;
        std::int64_t turn = -1;
        std::size_t turnIndex = i + 1;
        for (std::size_t k = i + 2; k < n; ++k) {
            if (t.d[row + k - 1] >= turn) {
                turn = t.d[row + k - 1];
                turnIndex = k - 1;
            }
            const std::int64_t dik = t.d[row + k];
            if (dik >= gapMetres) {
                continue;
            }
            const std::int64_t s = 2 * turn - dik;
            const std::uint64_t key = TriangleKey(i, turnIndex, k);
            if (best.Beats(s, key, kStart)) {
                best = {true,
                        s,
                        key,
                        {static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(turnIndex),
                         static_cast<std::uint32_t>(k), 0, 0}};
            }
        }
    }
    CoarseLoop out;
    out.found = best.found && best.score >= 0;
    out.v = best.v;
    out.value = best.score;
    return out;
}

CoarseTriangles CoarseTriangleSearch(const CoarseTables& t, std::int32_t gapMetres,
                                     const CancelFlag& cancel, int threads) {
    CoarseTriangles out;
    std::int64_t flatStart = -1;
    std::int64_t faiStart = -1;
    SeedTriangleFloors(t, gapMetres, flatStart, faiStart);
    std::array<Best, 2> flat{};
    std::array<Best, 2> fai{};
    std::array<bool, 2> cancelled{false, false};
    bool ran = false;
    if (threads > 1 && t.n > 64) {
        try {
            std::thread helper(TriangleRows, std::cref(t), gapMetres, std::cref(cancel), 1, 2,
                               flatStart, faiStart, std::ref(flat[1]), std::ref(fai[1]),
                               std::ref(cancelled[1]));
            TriangleRows(t, gapMetres, cancel, 0, 2, flatStart, faiStart, flat[0], fai[0],
                         cancelled[0]);
            helper.join();
            ran = true;
        } catch (const std::system_error&) {
            flat = {};
            fai = {};
        }
    }
    if (!ran) {
        TriangleRows(t, gapMetres, cancel, 0, 1, flatStart, faiStart, flat[0], fai[0],
                     cancelled[0]);
    }
    if (cancelled[0] || cancelled[1]) {
        out.cancelled = true;
        return out;
    }
    Merge(flat[0], flat[1], flatStart);
    Merge(fai[0], fai[1], faiStart);
    out.flat = {flat[0].found, flat[0].v, flat[0].score};
    out.fai = {fai[0].found, fai[0].v, fai[0].score};
    return out;
}

int RunDistanceOptimisation(std::span<const TrackPoint> points, TripAnalysis& out,
                            const OptimisationOptions& options, const ProgressFn& progress,
                            const CancelFlag& cancel) {
    const auto started = std::chrono::steady_clock::now();
    out = {};
    try {
        if (RunStages(points, out, options, progress, cancel) != 0) {
            out.cancelled = true;
        }
    } catch (const std::bad_alloc&) {
        out = {};
        return -1;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    if (progress) {
        progress(StringPrintf("Computing completed (%d.%03d secs)",
                              static_cast<int>(elapsed / 1000), static_cast<int>(elapsed % 1000)));
    }
    out.done = true;
    return 0;
}

}  // namespace tracora::analysis
