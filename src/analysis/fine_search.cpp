#include "analysis/distance_optimisation_detail.hpp"

#include "core/geodesy.hpp"

namespace tracora::analysis::detail {

namespace {

double Geodesic(std::span<const TrackPoint> points, std::size_t a, std::size_t b) {
    double metres = 0;
    if (GeoDistance(PointRadians(points[a]), PointRadians(points[b]), metres) != 0) {
        return 0;
    }
    return metres;
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

}  // namespace

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
                  double gapMetres, bool faiOnly, TriangleResult& out, bool fifthOfPerimeter) {
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
            const double l1 = bc.m[s[1]][s[2]];
            const double l2 = cd.m[s[2]][s[3]];
            const double l3 = bd.m[s[1]][s[3]];
            const double perimeter = l3 + l1 + l2;
            if (fifthOfPerimeter ? gap > 0.2 * perimeter : gap >= gapMetres) {
                return false;
            }
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

template void FinePath<2>(std::span<const TrackPoint>, const CoarseTables&, const CoarsePath&,
                          PathResult<2>&);
template void FinePath<3>(std::span<const TrackPoint>, const CoarseTables&, const CoarsePath&,
                          PathResult<3>&);
template void FinePath<4>(std::span<const TrackPoint>, const CoarseTables&, const CoarsePath&,
                          PathResult<4>&);
template void FinePath<5>(std::span<const TrackPoint>, const CoarseTables&, const CoarsePath&,
                          PathResult<5>&);

}  // namespace tracora::analysis::detail
