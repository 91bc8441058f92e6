#include "analysis/distance_optimisation_detail.hpp"

#include <algorithm>

namespace tracora::analysis::detail {

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

}  // namespace tracora::analysis::detail
