#include "analysis/distance_optimisation_detail.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <system_error>
#include <thread>
#include <tuple>

namespace tracora::analysis::detail {

namespace {

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
                        const std::vector<BlockLevel>& levels, std::int32_t gapMetres,
                        bool fifthOfPerimeter, bool fai, std::int64_t start,
                        std::atomic<std::int64_t>& shared)
        : t_(t),
          gaps_(gaps),
          levels_(levels),
          gap_(gapMetres),
          relative_(fifthOfPerimeter),
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
        if (!relative_ && g >= gap_) {
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
            return bound >= floor && Closes(bound + g, g) ? bound : kNoBound;
        }
        const std::int64_t bound = FaiBound(l.lo[ij], aHi, l.lo[jk], bHi, l.lo[ik], cHi, g, floor);
        return bound != kNoBound && Closes(bound + g, g) ? bound : kNoBound;
    }

    // Whether a triangle of perimeter p closes with the gap g: under the fixed limit, or under
    // a fifth of the perimeter (5 g < p, in whole metres).
    bool Closes(std::int64_t p, std::int64_t g) const { return relative_ ? 5 * g < p : g < gap_; }

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
                if (!Closes(c + aHi + bHi[k - firstK], g) ||
                    !PairCanReach(aLo, aHi, bLo[k - firstK], bHi[k - firstK], c, g, floor)) {
                    continue;
                }
                for (std::size_t j = j0; j < j1; ++j) {
                    const std::int64_t a = fromI[j];
                    const std::int64_t b = t_.d[t_.rowStart[j] + k - j];
                    const std::int64_t p = a + b + c;
                    const std::int64_t s = p - g;
                    if (s < floor || (relative_ && 5 * g >= p)) {
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
    bool relative_;
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

}  // namespace

CoarseTriangles CoarseTriangleSearch(const CoarseTables& t, std::int32_t gapMetres,
                                     const CancelFlag& cancel, int threads, bool fifthOfPerimeter) {
    CoarseTriangles out;
    if (t.n < 3) {
        return out;
    }
    // The plain loop starts at -1 and lets a candidate of at least that score win.
    const std::int64_t flatStart = -1;
    const std::int64_t faiStart = -1;
    ClosingGaps gaps;
    std::vector<BlockLevel> levels;
    // Under the relative rule every gap may count: the table keeps them all.
    const std::int32_t tableLimit = fifthOfPerimeter ? ClosingGaps::kNone : gapMetres;
    if (!gaps.Build(t, tableLimit, cancel) || !BuildBlockLevels(t, cancel, levels)) {
        out.cancelled = true;
        return out;
    }
    std::atomic<std::int64_t> flatShared{flatStart};
    std::atomic<std::int64_t> faiShared{faiStart};
    const bool rel = fifthOfPerimeter;
    BlockTriangleSearch flat0(t, gaps, levels, gapMetres, rel, false, flatStart, flatShared);
    BlockTriangleSearch flat1(t, gaps, levels, gapMetres, rel, false, flatStart, flatShared);
    BlockTriangleSearch fai0(t, gaps, levels, gapMetres, rel, true, faiStart, faiShared);
    BlockTriangleSearch fai1(t, gaps, levels, gapMetres, rel, true, faiStart, faiShared);
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

}  // namespace tracora::analysis::detail
