// A plain implementation of the coarse searches, loop for loop as the rules read, used to check
// the fast searches. Only the distance matrix d is taken from the tables under test.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/distance_optimisation.hpp"
#include "analysis/distance_optimisation_detail.hpp"

namespace tracora::analysis::test {

struct ReferenceResults {
    std::array<std::uint32_t, 2> open{};
    std::array<std::uint32_t, 3> three{};
    std::array<std::uint32_t, 4> four{};
    std::array<std::uint32_t, 5> five{};
    long long openValue = 0, threeValue = 0, fourValue = 0, fiveValue = 0;
    bool oarFound = false;
    std::array<std::uint32_t, 3> oar{};
    long long oarValue = 0;
    bool flatFound = false, faiFound = false;
    std::array<std::uint32_t, 5> flat{}, fai{};
    long long flatValue = 0, faiValue = 0;
};

// The greatest d(i, j) over j > i (forward) and over j < i (backward) with its index, the later
// one on ties.
struct ReferenceBests {
    std::vector<long long> forward, backward;
    std::vector<int> forwardIndex, backwardIndex;
};

inline ReferenceBests ReferenceBestForwardBackward(const detail::CoarseTables& t) {
    const int n = static_cast<int>(t.n);
    const auto size = static_cast<std::size_t>(n);
    ReferenceBests r{std::vector<long long>(size, 0), std::vector<long long>(size, 0),
                     std::vector<int>(size), std::vector<int>(size)};
    for (int i = 0; i < n; ++i) {
        r.forwardIndex[static_cast<std::size_t>(i)] = i + 1 < n ? i + 1 : i;
        r.backwardIndex[static_cast<std::size_t>(i)] = i > 0 ? i - 1 : 0;
    }
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            const auto si = static_cast<std::size_t>(i);
            const auto sj = static_cast<std::size_t>(j);
            const long long dij = t.D(si, sj);
            if (dij >= r.forward[si]) {
                r.forward[si] = dij;
                r.forwardIndex[si] = j;
            }
            if (dij >= r.backward[sj]) {
                r.backward[sj] = dij;
                r.backwardIndex[sj] = i;
            }
        }
    }
    return r;
}

// G(i, k), the least d(a, e) over a <= i, e >= k, and its pair a * 65536 + e, row by row from
// the far end, a pair replacing the one before only when nearer.
struct ReferenceGaps {
    std::vector<std::vector<long long>> g;
    std::vector<std::vector<std::uint32_t>> pair;
};

inline ReferenceGaps ReferenceClosingGaps(const detail::CoarseTables& t) {
    const int n = static_cast<int>(t.n);
    auto d = [&](int i, int j) -> long long {
        return t.D(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
    };
    auto u = [](int v) { return static_cast<std::uint32_t>(v); };
    ReferenceGaps r;
    r.g.assign(static_cast<std::size_t>(n), std::vector<long long>(static_cast<std::size_t>(n)));
    r.pair.assign(static_cast<std::size_t>(n),
                  std::vector<std::uint32_t>(static_cast<std::size_t>(n)));
    auto& g = r.g;
    auto& gp = r.pair;
    for (int i = 0; i < n; ++i) {
        const auto si = static_cast<std::size_t>(i);
        long long run = 1LL << 40;
        std::uint32_t pair = 0;
        for (int k = n - 1; k > i; --k) {
            const auto sk = static_cast<std::size_t>(k);
            if (d(i, k) < run) {
                run = d(i, k);
                pair = u(i) * 65536 + u(k);
            }
            if (i > 0 && g[si - 1][sk] < run) {
                run = g[si - 1][sk];
                pair = gp[si - 1][sk];
            }
            g[si][sk] = run;
            gp[si][sk] = pair;
        }
    }
    return r;
}

// With `fifthOfPerimeter` a triangle counts when its closing gap is under a fifth of its
// perimeter (5 G < p) instead of under `gap`.
inline ReferenceResults ReferenceSearch(const detail::CoarseTables& t, int gap,
                                        bool fifthOfPerimeter = false) {
    const int n = static_cast<int>(t.n);
    auto d = [&](int i, int j) -> long long {
        return i <= j ? t.D(static_cast<std::size_t>(i), static_cast<std::size_t>(j))
                      : t.D(static_cast<std::size_t>(j), static_cast<std::size_t>(i));
    };
    auto u = [](int v) { return static_cast<std::uint32_t>(v); };
    const ReferenceBests bests = ReferenceBestForwardBackward(t);
    const std::vector<long long>& bf = bests.forward;
    const std::vector<long long>& bb = bests.backward;
    const std::vector<int>& bfi = bests.forwardIndex;
    const std::vector<int>& bbi = bests.backwardIndex;
    auto BF = [&](int i) { return bf[static_cast<std::size_t>(i)]; };
    auto BB = [&](int i) { return bb[static_cast<std::size_t>(i)]; };
    auto BFI = [&](int i) { return u(bfi[static_cast<std::size_t>(i)]); };
    auto BBI = [&](int i) { return u(bbi[static_cast<std::size_t>(i)]); };

    ReferenceResults r;
    r.open = {0, BFI(0)};
    for (int i = 0; i <= n - 2; ++i) {
        if (BF(i) >= r.openValue) {
            r.openValue = BF(i);
            r.open = {u(i), BFI(i)};
        }
    }
    for (int m = 1; m <= n - 2; ++m) {
        if (BB(m) + BF(m) >= r.threeValue) {
            r.threeValue = BB(m) + BF(m);
            r.three = {BBI(m), u(m), BFI(m)};
        }
    }
    int b4 = 1, c4 = 2;
    for (int b = 1; b <= n - 2; ++b) {
        for (int c = b + 1; c <= n - 2; ++c) {
            if (BB(b) + d(b, c) + BF(c) >= r.fourValue) {
                r.fourValue = BB(b) + d(b, c) + BF(c);
                b4 = b;
                c4 = c;
            }
        }
    }
    r.four = {BBI(b4), u(b4), u(c4), BFI(c4)};
    int b5 = 1, c5 = 2, d5 = 3;
    for (int c = 2; c <= n - 3; ++c) {
        long long in = -1, out = 0;
        int bi = 1, di = c + 1;
        for (int b = 1; b <= c - 1; ++b) {
            if (BB(b) + d(b, c) >= in) {
                in = BB(b) + d(b, c);
                bi = b;
            }
        }
        for (int e = c + 1; e <= n - 2; ++e) {
            if (d(c, e) + BF(e) >= out) {
                out = d(c, e) + BF(e);
                di = e;
            }
        }
        if (in + out >= r.fiveValue) {
            r.fiveValue = in + out;
            b5 = bi;
            c5 = c;
            d5 = di;
        }
    }
    r.five = {BBI(b5), u(b5), u(c5), u(d5), BFI(d5)};

    long long oar = -999999999;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            for (int k = j + 1; k < n; ++k) {
                if (d(i, k) < gap && 2 * d(i, j) - d(i, k) >= oar) {
                    oar = 2 * d(i, j) - d(i, k);
                    r.oar = {u(i), u(j), u(k)};
                }
            }
        }
    }
    r.oarFound = oar >= 0;
    r.oarValue = oar;

    const ReferenceGaps gaps = ReferenceClosingGaps(t);
    const std::vector<std::vector<long long>>& g = gaps.g;
    const std::vector<std::vector<std::uint32_t>>& gp = gaps.pair;
    long long flat = -1, fai = -1;
    for (int i = 0; i <= n - 3; ++i) {
        for (int k = i + 2; k <= n - 1; ++k) {
            const long long gik = g[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)];
            if (!fifthOfPerimeter && gik >= gap) {
                continue;
            }
            const std::uint32_t pair = gp[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)];
            for (int j = i + 1; j <= k - 1; ++j) {
                const long long p = d(i, j) + d(j, k) + d(i, k);
                if (fifthOfPerimeter && 5 * gik >= p) {
                    continue;
                }
                const long long s = p - gik;
                const std::array<std::uint32_t, 5> v{pair / 65536, u(i), u(j), u(k), pair % 65536};
                if (s >= flat) {
                    flat = s;
                    r.flatFound = true;
                    r.flat = v;
                }
                const long long minLeg = p * 7 / 25;
                if (s >= fai && minLeg <= d(i, j) && minLeg <= d(j, k) && minLeg <= d(i, k)) {
                    fai = s;
                    r.faiFound = true;
                    r.fai = v;
                }
            }
        }
    }
    r.flatValue = flat;
    r.faiValue = fai;
    return r;
}

}  // namespace tracora::analysis::test
