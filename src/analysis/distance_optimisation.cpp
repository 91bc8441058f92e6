#include "analysis/distance_optimisation.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <system_error>
#include <thread>
#include <tuple>

#include "core/angles.hpp"
#include "core/geodesy.hpp"
#include "core/strings.hpp"

namespace tracora::analysis {

namespace {

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

// ---- The triangle search: branch and bound over blocks of consecutive samples ---------------
//
// The samples are cut into blocks on a few levels, each level's blocks `kBlockRatio` times as
// long as the next finer level's. For every pair of blocks of a level a table holds a lower and
// an upper bound of the distances between their samples; from these, a triple of blocks bounds
// the score of every triangle with its turn points in them. The search splits triples into
// the triples of the next level, always the one of greatest bound first, and evaluates the
// triangles of the finest blocks one by one; a triple is left out only when its bound is below
// a score already reached, so the winner (greatest score, then greatest key) is the plain
// loop's whatever the order.

constexpr std::size_t kLeafBlock = 8;   // samples per block of the finest level
constexpr std::size_t kBlockRatio = 2;  // fine blocks per block of the level above
constexpr std::size_t kTopBlocks = 20;  // the coarsest level has at most this many blocks
constexpr std::int64_t kNoBound = std::numeric_limits<std::int64_t>::min();

// Block b of a level covers the samples [b * size, (b + 1) * size); for blocks p <= q,
// entry p * count + q holds a lower and an upper bound of d(x, y) over x in p, y in q, x < y.
struct BlockLevel {
    std::size_t size = 0;
    std::size_t count = 0;
    std::vector<std::int32_t> lo, hi;
};

// The levels, coarsest first. The finest level bounds the distances between two blocks by
// those of their bounding boxes, rounded as d is and one metre wider each way; each level
// above takes the least and the greatest of the pairs of blocks it is made of. False when
// cancelled.
bool BuildBlockLevels(const CoarseTables& t, const CancelFlag& cancel,
                      std::vector<BlockLevel>& levels) {
    const std::size_t n = t.n;
    levels.clear();
    BlockLevel leaf;
    leaf.size = kLeafBlock;
    leaf.count = (n + kLeafBlock - 1) / kLeafBlock;
    leaf.lo.assign(leaf.count * leaf.count, std::numeric_limits<std::int32_t>::max());
    leaf.hi.assign(leaf.count * leaf.count, 0);
    if (Cancelled(cancel)) {
        return false;
    }
    struct Box {
        double x0, x1, y0, y1;
    };
    std::vector<Box> boxes(leaf.count);
    for (std::size_t p = 0; p < leaf.count; ++p) {
        const std::size_t first = p * kLeafBlock;
        const std::size_t end = std::min(n, first + kLeafBlock);
        Box b{t.x[first], t.x[first], t.y[first], t.y[first]};
        for (std::size_t s = first + 1; s < end; ++s) {
            b.x0 = std::min(b.x0, t.x[s]);
            b.x1 = std::max(b.x1, t.x[s]);
            b.y0 = std::min(b.y0, t.y[s]);
            b.y1 = std::max(b.y1, t.y[s]);
        }
        boxes[p] = b;
    }
    for (std::size_t p = 0; p < leaf.count; ++p) {
        const Box& a = boxes[p];
        for (std::size_t q = p; q < leaf.count; ++q) {
            const Box& b = boxes[q];
            const double far = std::max(b.x1 - a.x0, a.x1 - b.x0);
            const double farY = std::max(b.y1 - a.y0, a.y1 - b.y0);
            const double near = std::max(0.0, std::max(b.x0 - a.x1, a.x0 - b.x1));
            const double nearY = std::max(0.0, std::max(b.y0 - a.y1, a.y0 - b.y1));
            const auto hiD = static_cast<std::int32_t>(std::sqrt(far * far + farY * farY) + 0.5);
            const auto loD =
                static_cast<std::int32_t>(std::sqrt(near * near + nearY * nearY) + 0.5);
            leaf.hi[p * leaf.count + q] = hiD + 1;
            leaf.lo[p * leaf.count + q] = std::max(0, loD - 1);
        }
    }
    levels.push_back(std::move(leaf));
    while (levels.back().count > kTopBlocks) {
        const BlockLevel& fine = levels.back();
        BlockLevel up;
        up.size = fine.size * kBlockRatio;
        up.count = (n + up.size - 1) / up.size;
        up.lo.assign(up.count * up.count, std::numeric_limits<std::int32_t>::max());
        up.hi.assign(up.count * up.count, 0);
        for (std::size_t p = 0; p < fine.count; ++p) {
            const std::size_t big = p / kBlockRatio;
            for (std::size_t q = p; q < fine.count; ++q) {
                const std::size_t at = big * up.count + q / kBlockRatio;
                up.lo[at] = std::min(up.lo[at], fine.lo[p * fine.count + q]);
                up.hi[at] = std::max(up.hi[at], fine.hi[p * fine.count + q]);
            }
        }
        levels.push_back(std::move(up));
    }
    std::reverse(levels.begin(), levels.end());
    return true;
}

struct BlockTriple {
    std::int64_t bound = 0;
    std::uint32_t level = 0;            // 0: the coarsest
    std::uint32_t i = 0, j = 0, k = 0;  // block indices of the three turn points
};

// The order of the search: the greater bound first, then the finer level (nearer to a
// triangle), then index order, so that every run takes the same path.
bool SearchedBefore(const BlockTriple& a, const BlockTriple& b) {
    if (a.bound != b.bound) {
        return a.bound > b.bound;
    }
    if (a.level != b.level) {
        return a.level > b.level;
    }
    return std::tie(a.i, a.j, a.k) < std::tie(b.i, b.j, b.k);
}

// The triples waiting to be split are kept in a heap of at most this many; beyond it a triple
// is searched depth first at once.
constexpr std::size_t kOpenLimit = std::size_t{1} << 16;

void RaiseFloor(std::atomic<std::int64_t>& floor, std::int64_t score) {
    std::int64_t current = floor.load(std::memory_order_relaxed);
    while (current < score &&
           !floor.compare_exchange_weak(current, score, std::memory_order_relaxed)) {
    }
}

// One search, flat or FAI, over the triples of the coarsest level given to it.
// `shared` is the greatest score some worker has reached (or the start score): every worker
// leaves out what cannot reach it.
class BlockTriangleSearch {
public:
    BlockTriangleSearch(const CoarseTables& t, const ClosingGaps& gaps,
                        const std::vector<BlockLevel>& levels, std::int32_t gapMetres, bool fai,
                        std::int64_t start, std::atomic<std::int64_t>& shared)
        : t_(t),
          gaps_(gaps),
          levels_(levels),
          gap_(gapMetres),
          fai_(fai),
          start_(start),
          shared_(shared) {}

    // The bound of the triples (i, j, k) of blocks of level `level`: no triangle in it scores
    // more. kNoBound when no triangle in it can count or reach `floor`.
    std::int64_t Bound(std::size_t level, std::size_t bi, std::size_t bj, std::size_t bk,
                       std::int64_t floor) const {
        const BlockLevel& l = levels_[level];
        const std::size_t n = t_.n;
        const std::size_t firstI = bi * l.size;
        const std::size_t firstJ = bj * l.size;
        const std::size_t firstK = bk * l.size;
        const std::size_t lastI = std::min(n, firstI + l.size) - 1;
        const std::size_t lastJ = std::min(n, firstJ + l.size) - 1;
        const std::size_t lastK = std::min(n, firstK + l.size) - 1;
        if (firstI >= lastJ || firstJ >= lastK || firstI + 2 > lastK) {
            return kNoBound;
        }
        // G(i, k) is least for the last i and the first k.
        const std::int64_t g = lastI < firstK ? gaps_.Get(lastI, firstK) : 0;
        if (g >= gap_) {
            return kNoBound;
        }
        const std::size_t ij = bi * l.count + bj;
        const std::size_t jk = bj * l.count + bk;
        const std::size_t ik = bi * l.count + bk;
        const std::int64_t aHi = l.hi[ij];
        const std::int64_t bHi = l.hi[jk];
        const std::int64_t cHi = l.hi[ik];
        if (!fai_) {
            const std::int64_t bound = aHi + bHi + cHi - g;
            return bound >= floor ? bound : kNoBound;
        }
        return FaiBound(l.lo[ij], aHi, l.lo[jk], bHi, l.lo[ik], cHi, g, floor);
    }

    // An FAI triangle of perimeter p has every leg at least (7p - 24) / 25 (it counts when
    // (p * 7) / 25 <= its shortest leg), so p <= (25 leg + 24) / 7 for each leg, and every leg
    // at most p less two such legs: 11p >= 25 leg - 48.
    static std::int64_t FaiBound(std::int64_t aLo, std::int64_t aHi, std::int64_t bLo,
                                 std::int64_t bHi, std::int64_t cLo, std::int64_t cHi,
                                 std::int64_t g, std::int64_t floor) {
        const std::int64_t shortestHi = std::min(aHi, std::min(bHi, cHi));
        const std::int64_t longestLo = std::max(aLo, std::max(bLo, cLo));
        const std::int64_t pHi = std::min(aHi + bHi + cHi, (25 * shortestHi + 24) / 7);
        const std::int64_t pLo =
            std::max(std::max(floor + g, aLo + bLo + cLo), (25 * longestLo - 48) / 11);
        return pLo <= pHi ? pHi - g : kNoBound;
    }

    // The triples of the coarsest level that can reach `floor`, in search order.
    std::vector<BlockTriple> TopTriples(std::int64_t floor) const {
        std::vector<BlockTriple> triples;
        const std::size_t count = levels_.front().count;
        for (std::size_t bi = 0; bi < count; ++bi) {
            for (std::size_t bj = bi; bj < count; ++bj) {
                for (std::size_t bk = bj; bk < count; ++bk) {
                    const std::int64_t bound = Bound(0, bi, bj, bk, floor);
                    if (bound != kNoBound) {
                        triples.push_back({bound, 0, static_cast<std::uint32_t>(bi),
                                           static_cast<std::uint32_t>(bj),
                                           static_cast<std::uint32_t>(bk)});
                    }
                }
            }
        }
        std::sort(triples.begin(), triples.end(), SearchedBefore);
        return triples;
    }

    // Searches the triples first, first + step, ... of `top`, best bound first whatever the
    // level, so that the first triangles found score near the best. False when cancelled.
    bool Run(const std::vector<BlockTriple>& top, std::size_t first, std::size_t step,
             const CancelFlag& cancel) {
        const auto later = [](const BlockTriple& a, const BlockTriple& b) {
            return SearchedBefore(b, a);
        };
        std::vector<BlockTriple> open;
        for (std::size_t q = first; q < top.size(); q += step) {
            open.push_back(top[q]);
        }
        std::make_heap(open.begin(), open.end(), later);
        while (!open.empty()) {
            if (Cancelled(cancel)) {
                return false;
            }
            std::pop_heap(open.begin(), open.end(), later);
            const BlockTriple triple = open.back();
            open.pop_back();
            if (triple.bound < Floor()) {
                break;  // the rest are bounded lower still
            }
            if (triple.level + 1 == levels_.size()) {
                Leaf(triple);
                continue;
            }
            Split(triple, [&](const BlockTriple& child) {
                if (open.size() < kOpenLimit) {
                    open.push_back(child);
                    std::push_heap(open.begin(), open.end(), later);
                } else {
                    Descend(child);
                }
            });
        }
        return true;
    }

    const Best& Result() const { return best_; }

private:
    std::int64_t Floor() const {
        const std::int64_t own = best_.found ? best_.score : start_;
        return std::max(own, shared_.load(std::memory_order_relaxed));
    }

    // The triple and everything in it, depth first.
    void Descend(const BlockTriple& triple) {
        if (triple.bound < Floor()) {
            return;
        }
        if (triple.level + 1 == levels_.size()) {
            Leaf(triple);
            return;
        }
        Split(triple, [&](const BlockTriple& child) { Descend(child); });
    }

    // Passes the triples of the next level in `triple` that can reach the floor to `use`, in
    // search order.
    template <typename Use>
    void Split(const BlockTriple& triple, Use use) {
        const std::size_t level = triple.level + 1;
        const std::size_t count = levels_[level].count;
        std::array<BlockTriple, kBlockRatio * kBlockRatio * kBlockRatio> children{};
        std::size_t used = 0;
        const std::int64_t floor = Floor();
        const std::size_t i1 = std::min(count, (triple.i + 1) * kBlockRatio);
        const std::size_t j1 = std::min(count, (triple.j + 1) * kBlockRatio);
        const std::size_t k1 = std::min(count, (triple.k + 1) * kBlockRatio);
        for (std::size_t bi = triple.i * kBlockRatio; bi < i1; ++bi) {
            for (std::size_t bj = std::max<std::size_t>(triple.j * kBlockRatio, bi); bj < j1;
                 ++bj) {
                for (std::size_t bk = std::max<std::size_t>(triple.k * kBlockRatio, bj); bk < k1;
                     ++bk) {
                    const std::int64_t bound = Bound(level, bi, bj, bk, floor);
                    if (bound == kNoBound) {
                        continue;
                    }
                    // Made in index order: inserted after the equal bounds, they stay in it.
                    std::size_t at = used++;
                    while (at > 0 && children[at - 1].bound < bound) {
                        children[at] = children[at - 1];
                        --at;
                    }
                    children[at] = {bound, static_cast<std::uint32_t>(level),
                                    static_cast<std::uint32_t>(bi), static_cast<std::uint32_t>(bj),
                                    static_cast<std::uint32_t>(bk)};
                }
            }
        }
        for (std::size_t c = 0; c < used; ++c) {
            use(children[c]);
        }
    }

    // Every triangle with its turn points in the blocks of the finest level. A pair (i, k) is
    // bounded first with the least and greatest d(i, j) and d(j, k) over the middle block.
    void Leaf(const BlockTriple& triple) {
        const BlockLevel& l = levels_.back();
        const std::size_t n = t_.n;
        const std::size_t firstI = triple.i * l.size;
        const std::size_t firstJ = triple.j * l.size;
        const std::size_t firstK = triple.k * l.size;
        const std::size_t endI = std::min(n, firstI + l.size);
        const std::size_t endJ = std::min(n, firstJ + l.size);
        const std::size_t endK = std::min(n, firstK + l.size);
        const std::size_t lastI = endI - 1;
        // No G(i, k) of these blocks is less.
        const std::int64_t gLeast = lastI < firstK ? gaps_.Get(lastI, firstK) : 0;
        std::array<std::int32_t, kLeafBlock> bLo{};
        std::array<std::int32_t, kLeafBlock> bHi{};
        bLo.fill(std::numeric_limits<std::int32_t>::max());
        for (std::size_t j = firstJ; j < endJ; ++j) {
            const std::int32_t* fromJ = t_.d.data() + t_.rowStart[j] - j;
            for (std::size_t k = std::max(firstK, j + 1); k < endK; ++k) {
                bLo[k - firstK] = std::min(bLo[k - firstK], fromJ[k]);
                bHi[k - firstK] = std::max(bHi[k - firstK], fromJ[k]);
            }
        }
        for (std::size_t i = firstI; i < endI; ++i) {
            const std::size_t row = t_.rowStart[i] - i;
            const std::int32_t* fromI = t_.d.data() + row;
            const std::size_t j0 = std::max(firstJ, i + 1);
            if (j0 >= endJ) {
                continue;
            }
            std::int64_t aLo = fromI[j0];
            std::int64_t aHi = fromI[j0];
            for (std::size_t j = j0 + 1; j < endJ; ++j) {
                aLo = std::min<std::int64_t>(aLo, fromI[j]);
                aHi = std::max<std::int64_t>(aHi, fromI[j]);
            }
            for (std::size_t k = std::max(firstK, i + 2); k < endK; ++k) {
                const std::size_t j1 = std::min(endJ, k);
                if (j0 >= j1) {
                    continue;
                }
                const std::int64_t c = fromI[k];
                std::int64_t floor = Floor();
                if (!PairCanReach(aLo, aHi, bLo[k - firstK], bHi[k - firstK], c, gLeast, floor)) {
                    continue;
                }
                const std::int64_t g = gaps_.Get(i, k);
                if (g >= gap_ ||
                    !PairCanReach(aLo, aHi, bLo[k - firstK], bHi[k - firstK], c, g, floor)) {
                    continue;
                }
                for (std::size_t j = j0; j < j1; ++j) {
                    const std::int64_t a = fromI[j];
                    const std::int64_t b = t_.d[t_.rowStart[j] + k - j];
                    const std::int64_t p = a + b + c;
                    const std::int64_t s = p - g;
                    if (s < floor) {
                        continue;
                    }
                    // (p * 7) / 25 <= the shortest leg, without the division.
                    if (fai_ && 7 * p > 25 * std::min(a, std::min(b, c)) + 24) {
                        continue;
                    }
                    const std::uint64_t key = TriangleKey(i, k, j);
                    if (!best_.Beats(s, key, start_)) {
                        continue;
                    }
                    // The closing pair is looked up for the winner only.
                    best_ = {true,
                             s,
                             key,
                             {0, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j),
                              static_cast<std::uint32_t>(k), 0}};
                    RaiseFloor(shared_, s);
                    floor = s;
                }
            }
        }
    }

    // Whether a triangle of the pair (i, k) at distance c and closing distance g, with d(i, j)
    // and d(j, k) in the ranges given, can reach `floor`.
    bool PairCanReach(std::int64_t aLo, std::int64_t aHi, std::int64_t bLo, std::int64_t bHi,
                      std::int64_t c, std::int64_t g, std::int64_t floor) const {
        if (fai_) {
            return FaiBound(aLo, aHi, bLo, bHi, c, c, g, floor) != kNoBound;
        }
        return c + aHi + bHi - g >= floor;
    }

    const CoarseTables& t_;
    const ClosingGaps& gaps_;
    const std::vector<BlockLevel>& levels_;
    std::int32_t gap_;
    bool fai_;
    std::int64_t start_;
    std::atomic<std::int64_t>& shared_;
    Best best_;
};

// One worker's share of both searches: the triples first, first + step, ... of each list.
void SearchTriangleShare(BlockTriangleSearch& flat, const std::vector<BlockTriple>& flatTop,
                         BlockTriangleSearch& fai, const std::vector<BlockTriple>& faiTop,
                         std::size_t first, std::size_t step, const CancelFlag& cancel,
                         bool& cancelled) {
    cancelled = !flat.Run(flatTop, first, step, cancel) || !fai.Run(faiTop, first, step, cancel);
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

int RunStages(std::span<const TrackPoint> points, OptimisationResults& out,
              const OptimisationOptions& options, const ProgressFn& progress,
              const CancelFlag& cancel) {
    CoarseTables t;
    Report(progress, "Computing distance matrix");
    if (!BuildDistanceMatrix(points, t, cancel, options.threads)) {
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
                         const CancelFlag& cancel, int threads) {
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
    return FillDistanceMatrix(t, cancel, threads);
}

namespace {

// Rows [first, end) of the distance matrix and their bestForward; the greatest d(i, j) of
// each column j over these rows (the later i on ties) goes to `backward` and `backwardIndex`
// where it is at least what they hold. False when cancelled.
bool FillRows(CoarseTables& t, std::size_t first, std::size_t end, std::int32_t* backward,
              std::uint32_t* backwardIndex, const CancelFlag& cancel) {
    const std::size_t n = t.n;
    for (std::size_t i = first; i < end; ++i) {
        if (Cancelled(cancel)) {
            return false;
        }
        std::int32_t* row = t.d.data() + t.rowStart[i] - i;
        row[i] = 0;
        const double xi = t.x[i];
        const double yi = t.y[i];
        std::int32_t forward = t.bestForward[i];
        std::uint32_t forwardIndex = t.bestForwardIndex[i];
        // The distances first, in a loop the compiler can vectorise; then the best tables.
        const double* x = t.x.data();
        const double* y = t.y.data();
        for (std::size_t j = i + 1; j < n; ++j) {
            const double dx = x[j] - xi;
            const double dy = y[j] - yi;
            row[j] = static_cast<std::int32_t>(std::sqrt(dx * dx + dy * dy) + 0.5);
        }
        for (std::size_t j = i + 1; j < n; ++j) {
            const std::int32_t dist = row[j];
            if (dist >= forward) {
                forward = dist;
                forwardIndex = static_cast<std::uint32_t>(j);
            }
            if (dist >= backward[j]) {
                backward[j] = dist;
                backwardIndex[j] = static_cast<std::uint32_t>(i);
            }
        }
        t.bestForward[i] = forward;
        t.bestForwardIndex[i] = forwardIndex;
    }
    return true;
}

}  // namespace

bool FillDistanceMatrix(CoarseTables& t, const CancelFlag& cancel, int threads) {
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
    if (threads > 1 && n > 256) {
        // The rows from `split` on, about half the pairs, in a second thread with their own
        // bestBackward; its rows come later, so it wins the ties of the merge.
        const auto split = n - static_cast<std::size_t>(static_cast<double>(n) / std::sqrt(2.0));
        std::vector<std::int32_t> laterBackward(n, -1);
        std::vector<std::uint32_t> laterIndex(n, 0);
        bool laterDone = false;
        bool ran = false;
        bool done = false;
        try {
            std::thread helper([&] {
                laterDone = FillRows(t, split, n, laterBackward.data(), laterIndex.data(), cancel);
            });
            done = FillRows(t, 0, split, t.bestBackward.data(), t.bestBackwardIndex.data(), cancel);
            helper.join();
            ran = true;
        } catch (const std::system_error&) {
            ran = false;
        }
        if (ran) {
            if (!done || !laterDone) {
                return false;
            }
            for (std::size_t j = 0; j < n; ++j) {
                if (laterBackward[j] >= t.bestBackward[j]) {
                    t.bestBackward[j] = laterBackward[j];
                    t.bestBackwardIndex[j] = laterIndex[j];
                }
            }
            return true;
        }
    }
    return FillRows(t, 0, n, t.bestBackward.data(), t.bestBackwardIndex.data(), cancel);
}

bool ClosingGaps::Build(const CoarseTables& t, std::int32_t limit, const CancelFlag& cancel) {
    // G(i, k) = min(the least d(i, e) over e >= k, G(i - 1, k)), row by row in a buffer; the
    // part of each row under the limit is appended. That part ends at K(i), the later of
    // K(i - 1) and the last e with d(i, e) under the limit, and up to there the d(i, e) beyond
    // it cannot matter.
    const std::size_t n = t.n;
    narrow_ = limit <= std::numeric_limits<std::uint16_t>::max();
    start_.assign(n, 0);
    last_.assign(n, 0);
    narrowValues_.clear();
    values_.clear();
    // Room for every pair, of which only the pages written are touched.
    if (narrow_) {
        narrowValues_.reserve(t.d.size());
    } else {
        values_.reserve(t.d.size());
    }
    std::vector<std::int32_t> previous(n, kNone);
    std::vector<std::int32_t> current(n, kNone);
    std::size_t lastBefore = 0;  // K(i - 1); 0 for the first row
    for (std::size_t i = 0; i < n; ++i) {
        if (Cancelled(cancel)) {
            return false;
        }
        const std::int32_t* row = t.d.data() + t.rowStart[i] - i;
        std::size_t last = std::max(lastBefore, i);
        for (std::size_t e = n - 1; e > last; --e) {
            if (row[e] < limit) {
                last = e;
                break;
            }
        }
        std::int32_t running = kNone;
        std::size_t k = last;
        for (; k > i && k > lastBefore; --k) {
            running = std::min(running, row[k]);
            current[k] = running;
        }
        for (; k > i; --k) {
            running = std::min(running, row[k]);
            current[k] = std::min(running, previous[k]);
        }
        start_[i] = narrow_ ? narrowValues_.size() : values_.size();
        last_[i] = last;
        if (narrow_) {
            const std::size_t at = narrowValues_.size();
            narrowValues_.resize(at + last - i);
            std::uint16_t* out = narrowValues_.data() + at - i - 1;
            for (std::size_t q = i + 1; q <= last; ++q) {
                out[q] = static_cast<std::uint16_t>(current[q]);
            }
        } else {
            values_.insert(values_.end(), current.begin() + static_cast<std::ptrdiff_t>(i + 1),
                           current.begin() + static_cast<std::ptrdiff_t>(last + 1));
        }
        lastBefore = last;
        std::swap(previous, current);
    }
    return true;
}

std::uint32_t ClosingGaps::Pair(const CoarseTables& t, std::size_t i, std::size_t k) const {
    // G(i, e) grows with e: the latest e of the least distance is the last with G(i, e) equal
    // to G(i, k), and some a <= i is at that distance from it.
    const std::int32_t least = Get(i, k);
    std::size_t e = k;
    while (e + 1 < t.n && Get(i, e + 1) == least) {
        ++e;
    }
    std::size_t a = i;
    while (a > 0 && t.D(a, e) != least) {
        --a;
    }
    return static_cast<std::uint32_t>((a << 16) | e);
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

namespace {

// later[x]: the greatest bestForward(y) over x <= y <= n - 2 (0 when none).
std::vector<std::int64_t> LaterBestForward(const CoarseTables& t) {
    const std::size_t n = t.n;
    std::vector<std::int64_t> later(n + 1, 0);
    for (std::size_t y = n; y-- > 0;) {
        later[y] = later[y + 1];
        if (y + 1 < n) {
            later[y] = std::max<std::int64_t>(later[y], t.bestForward[y]);
        }
    }
    return later;
}

// The greatest d(row, c) + bestForward(c) over first <= c <= n - 2, from `start` (the later c on
// ties), and its c.
std::int64_t BestOnward(const CoarseTables& t, std::size_t from, std::size_t first,
                        std::int64_t start, std::uint32_t& at) {
    const std::size_t row = t.rowStart[from] - from;
    std::int64_t best = start;
    for (std::size_t c = first; c + 1 < t.n; ++c) {
        const std::int64_t value = static_cast<std::int64_t>(t.d[row + c]) + t.bestForward[c];
        if (value >= best) {
            best = value;
            at = static_cast<std::uint32_t>(c);
        }
    }
    return best;
}

}  // namespace

// The searches over pairs below go in the plain order, the later pair winning a tie, but leave
// out a row whose bound is below the value of a row worked out first, the one of the greatest
// bound: no pair of it can be the winner.
CoarsePath CoarseFourPoints(const CoarseTables& t, const CancelFlag& cancel) {
    const std::size_t n = t.n;
    CoarsePath best;
    std::uint32_t bestB = 1;
    std::uint32_t bestC = 2;
    // Row b: bestBackward(b) + d(b, c) + bestForward(c), d(b, c) <= bestForward(b).
    const std::vector<std::int64_t> later = LaterBestForward(t);
    auto bound = [&](std::size_t b) {
        return static_cast<std::int64_t>(t.bestBackward[b]) + t.bestForward[b] + later[b + 1];
    };
    std::int64_t floor = 0;
    std::size_t probe = 0;
    for (std::size_t b = 1; b + 2 < n; ++b) {
        if (probe == 0 || bound(b) > bound(probe)) {
            probe = b;
        }
    }
    if (probe != 0) {
        std::uint32_t c = 0;
        floor = t.bestBackward[probe] + BestOnward(t, probe, probe + 1, -1, c);
    }
    for (std::size_t b = 1; b + 2 < n; ++b) {
        if (Cancelled(cancel)) {
            return best;
        }
        if (bound(b) < std::max(floor, best.value)) {
            continue;
        }
        const std::size_t row = t.rowStart[b] - b;
        const std::int64_t in = t.bestBackward[b];
        for (std::size_t c = b + 1; c + 1 < n; ++c) {
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
    if (n < 5) {
        best.v = {t.bestBackwardIndex[1], 1, 2, 3, t.bestForwardIndex[3]};
        return best;
    }
    // in[c]: the greatest bestBackward(b) + d(b, c) over 1 <= b < c, b + 3 < n (the later b on
    // ties); out[c]: the greatest d(c, d) + bestForward(d) over c < d < n - 1, at least 0.
    // in[c] is at most the greatest bestBackward before c plus bestBackward(c), out[c] at most
    // bestForward(c) plus the greatest bestForward after c.
    const std::vector<std::int64_t> later = LaterBestForward(t);
    std::vector<std::int64_t> bound(n, 0);
    std::int64_t before = 0;
    std::size_t probe = 2;
    for (std::size_t c = 2; c + 2 < n; ++c) {
        before = std::max<std::int64_t>(before, t.bestBackward[c - 1]);
        bound[c] = before + t.bestBackward[c] + t.bestForward[c] + later[c + 1];
        if (bound[c] > bound[probe]) {
            probe = c;
        }
    }
    auto inAt = [&](std::size_t c, std::uint32_t& at) {
        std::int64_t value = -1;
        for (std::size_t b = 1; b < c && b + 3 < n; ++b) {
            const std::int64_t v = static_cast<std::int64_t>(t.bestBackward[b]) + t.D(b, c);
            if (v >= value) {
                value = v;
                at = static_cast<std::uint32_t>(b);
            }
        }
        return value;
    };
    std::uint32_t unused = 0;
    const std::int64_t floor = inAt(probe, unused) + BestOnward(t, probe, probe + 1, 0, unused);
    std::vector<std::uint32_t> kept;  // the c that can reach the floor
    for (std::size_t c = 2; c + 2 < n; ++c) {
        if (bound[c] >= floor) {
            kept.push_back(static_cast<std::uint32_t>(c));
        }
    }
    std::vector<std::int64_t> in(n, -1);
    std::vector<std::uint32_t> inIndex(n, 1);
    std::size_t firstKept = 0;
    for (std::size_t b = 1; b + 3 < n; ++b) {
        if (Cancelled(cancel)) {
            return best;
        }
        while (firstKept < kept.size() && kept[firstKept] <= b) {
            ++firstKept;
        }
        const std::size_t row = t.rowStart[b] - b;
        const std::int64_t back = t.bestBackward[b];
        for (std::size_t q = firstKept; q < kept.size(); ++q) {
            const std::size_t c = kept[q];
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
    for (const std::uint32_t c : kept) {
        if (Cancelled(cancel)) {
            return best;
        }
        if (bound[c] < best.value) {
            continue;
        }
        std::uint32_t outIndex = c + 1;
        const std::int64_t outValue = BestOnward(t, c, c + 1, 0, outIndex);
        const std::int64_t value = in[c] + outValue;
        if (value >= best.value) {
            best.value = value;
            bestB = inIndex[c];
            bestC = c;
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
    // loop visits them. Row i scores at most 2 bestForward(i).
    constexpr std::int64_t kStart = -999999999;
    const std::size_t n = t.n;
    auto searchRow = [&](std::size_t i, Best& best) {
        const std::size_t row = t.rowStart[i] - i;
        // Nothing after the last k that closes the loop counts.
        std::size_t end = n;
        while (end > i + 2 && t.d[row + end - 1] >= gapMetres) {
            --end;
        }
        std::int64_t turn = -1;
        std::size_t turnIndex = i + 1;
        for (std::size_t k = i + 2; k < end; ++k) {
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
    };
    std::size_t probe = 0;
    for (std::size_t i = 0; i + 2 < n; ++i) {
        if (t.bestForward[i] > t.bestForward[probe]) {
            probe = i;
        }
    }
    Best first;
    if (probe + 2 < n) {
        searchRow(probe, first);
    }
    Best best;
    for (std::size_t i = 0; i + 2 < n; ++i) {
        if (Cancelled(cancel)) {
            return {};
        }
        const std::int64_t bound = 2 * static_cast<std::int64_t>(t.bestForward[i]);
        if ((first.found && bound < first.score) || (best.found && bound < best.score)) {
            continue;
        }
        searchRow(i, best);
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
    if (t.n < 3) {
        return out;
    }
    // The plain loop starts at -1 and lets a candidate of at least that score win.
    const std::int64_t flatStart = -1;
    const std::int64_t faiStart = -1;
    ClosingGaps gaps;
    std::vector<BlockLevel> levels;
    if (!gaps.Build(t, gapMetres, cancel) || !BuildBlockLevels(t, cancel, levels)) {
        out.cancelled = true;
        return out;
    }
    std::atomic<std::int64_t> flatShared{flatStart};
    std::atomic<std::int64_t> faiShared{faiStart};
    BlockTriangleSearch flat0(t, gaps, levels, gapMetres, false, flatStart, flatShared);
    BlockTriangleSearch flat1(t, gaps, levels, gapMetres, false, flatStart, flatShared);
    BlockTriangleSearch fai0(t, gaps, levels, gapMetres, true, faiStart, faiShared);
    BlockTriangleSearch fai1(t, gaps, levels, gapMetres, true, faiStart, faiShared);
    const std::vector<BlockTriple> flatTop = flat0.TopTriples(flatStart);
    const std::vector<BlockTriple> faiTop = fai0.TopTriples(faiStart);
    std::array<bool, 2> cancelled{false, false};
    bool ran = false;
    if (threads > 1 && t.n > 64) {
        try {
            std::thread helper(SearchTriangleShare, std::ref(flat1), std::cref(flatTop),
                               std::ref(fai1), std::cref(faiTop), 1, 2, std::cref(cancel),
                               std::ref(cancelled[1]));
            SearchTriangleShare(flat0, flatTop, fai0, faiTop, 0, 2, cancel, cancelled[0]);
            helper.join();
            ran = true;
        } catch (const std::system_error&) {
            ran = false;
        }
    }
    if (!ran) {
        SearchTriangleShare(flat0, flatTop, fai0, faiTop, 0, 1, cancel, cancelled[0]);
    }
    if (cancelled[0] || cancelled[1]) {
        out.cancelled = true;
        return out;
    }
    Best flat = flat0.Result();
    Best fai = fai0.Result();
    Merge(flat, flat1.Result(), flatStart);
    Merge(fai, fai1.Result(), faiStart);
    for (Best* best : {&flat, &fai}) {
        if (best->found) {
            const std::uint32_t pair = gaps.Pair(t, best->v[1], best->v[3]);
            best->v[0] = pair >> 16;
            best->v[4] = pair & 0xFFFFu;
        }
    }
    out.flat = {flat.found, flat.v, flat.score};
    out.fai = {fai.found, fai.v, fai.score};
    return out;
}

int RunDistanceOptimisation(std::span<const TrackPoint> points, OptimisationResults& out,
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
