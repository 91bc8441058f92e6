#include "analysis/exact_optimum.hpp"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <limits>
#include <queue>
#include <unordered_map>
#include <vector>

#include "analysis/distance_optimisation_detail.hpp"
#include "core/angles.hpp"
#include "core/geodesy.hpp"

namespace tracora::analysis {

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// WGS 84. The tightest curvature of the ellipsoid is the meridian's at the equator, a / b^2; a
// geodesic curves no more than that, so over a chord c it is at most the arc of that curvature
// (the comparison theorem for curves of bounded curvature), and never shorter than the chord.
constexpr double kSemiMajor = 6378137.0;
constexpr double kFlattening = 1 / 298.257223563;
constexpr double kSemiMinor = kSemiMajor * (1 - kFlattening);
constexpr double kEccentricitySquared = kFlattening * (2 - kFlattening);
constexpr double kMaxCurvature = kSemiMajor / (kSemiMinor * kSemiMinor);

// The longest geodesic a chord allows; a few tenths of a millimetre are added for the rounding
// of the geodesic solution and of the coordinates.
double UpperGeodesic(double chord) {
    const double s = 0.5 * chord * kMaxCurvature;
    if (s >= 0.5) {
        return 2.1e7;  // further than a sixth of the way round: never within one flight
    }
    // asin(s) <= s (1 + s^2 / 6 + s^4 / 10) for s <= 1/2 (the series' further terms sum to
    // less than s^5 / 10 there).
    const double s2 = s * s;
    return 2 / kMaxCurvature * s * (1 + s2 * (1.0 / 6 + s2 * 0.1)) * (1 + 1e-9) + 1e-4;
}

// The shortest geodesic a chord allows. The geodesic solution reports points under about 2 cm
// apart as 0, hence the 2 cm.
double LowerGeodesic(double chord) {
    return std::max(0.0, chord * (1 - 1e-9) - 0.02);
}

struct Box {
    std::array<double, 3> lo{kInfinity, kInfinity, kInfinity};
    std::array<double, 3> hi{-kInfinity, -kInfinity, -kInfinity};
};

double MaxChord(const Box& a, const Box& b) {
    double sum = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const double d = std::max(a.hi[k] - b.lo[k], b.hi[k] - a.lo[k]);
        sum += d * d;
    }
    return std::sqrt(sum);
}

double MinChord(const Box& a, const Box& b) {
    double sum = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const double d = std::max({0.0, a.lo[k] - b.hi[k], b.lo[k] - a.hi[k]});
        sum += d * d;
    }
    return std::sqrt(sum);
}

// The greatest distance from a point to a box: to its furthest corner.
double MaxChord(const std::array<double, 3>& p, const Box& b) {
    double sum = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const double d = std::max(p[k] - b.lo[k], b.hi[k] - p[k]);
        sum += d * d;
    }
    return std::sqrt(sum);
}

// An upper bound of the longest geodesics from a fix of `middle` to a fix of `before` plus to a
// fix of `after`. The straight-line form of that sum is convex in the middle point (and the
// geodesic bound is a convex, growing function of the chord), so its greatest value over the
// middle box lies on a corner: far tighter than bounding each leg alone when the middle range
// lies along the line between the other two.
double UpperViaMiddle(const Box& before, const Box& middle, const Box& after) {
    double best = 0;
    for (unsigned corner = 0; corner < 8; ++corner) {
        const std::array<double, 3> p{(corner & 1) != 0 ? middle.hi[0] : middle.lo[0],
                                      (corner & 2) != 0 ? middle.hi[1] : middle.lo[1],
                                      (corner & 4) != 0 ? middle.hi[2] : middle.lo[2]};
        best =
            std::max(best, UpperGeodesic(MaxChord(p, before)) + UpperGeodesic(MaxChord(p, after)));
    }
    return best;
}

double Distance(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    const double x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
    return std::sqrt(x * x + y * y + z * z);
}

double Diagonal(const Box& a) {
    double sum = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const double d = a.hi[k] - a.lo[k];
        sum += d * d;
    }
    return sum;
}

// The fixes as leaves of a complete binary tree of index ranges (heap order: node 1 is the
// whole track, node v has the children 2v and 2v + 1), each node with the box of its fixes.
class FixTree {
public:
    explicit FixTree(std::span<const TrackPoint> points) : n_(points.size()) {
        size_ = std::bit_ceil(std::max<std::size_t>(n_, 1));
        box_.resize(2 * size_);
        for (std::size_t i = 0; i < n_; ++i) {
            const double lat = SemicirclesToRadians(points[i].latitude);
            const double lon = SemicirclesToRadians(points[i].longitude);
            const double sinLat = std::sin(lat);
            const double normal =
                kSemiMajor / std::sqrt(1 - kEccentricitySquared * sinLat * sinLat);
            const std::array<double, 3> p{normal * std::cos(lat) * std::cos(lon),
                                          normal * std::cos(lat) * std::sin(lon),
                                          normal * (1 - kEccentricitySquared) * sinLat};
            box_[size_ + i].lo = p;
            box_[size_ + i].hi = p;
        }
        for (std::size_t v = size_ - 1; v >= 1; --v) {
            for (std::size_t k = 0; k < 3; ++k) {
                box_[v].lo[k] = std::min(box_[2 * v].lo[k], box_[2 * v + 1].lo[k]);
                box_[v].hi[k] = std::max(box_[2 * v].hi[k], box_[2 * v + 1].hi[k]);
            }
        }
    }

    std::size_t Count() const { return n_; }
    std::size_t Size() const { return size_; }
    bool IsLeaf(std::size_t v) const { return v >= size_; }
    std::size_t Leaf(std::size_t i) const { return size_ + i; }
    std::size_t Lo(std::size_t v) const {
        const std::size_t depth = std::bit_width(v) - 1;
        return (v - (std::size_t{1} << depth)) * (size_ >> depth);
    }
    // The last fix of a node (nodes past the end are never used).
    std::size_t Hi(std::size_t v) const {
        const std::size_t depth = std::bit_width(v) - 1;
        return std::min(Lo(v) + (size_ >> depth) - 1, n_ - 1);
    }
    // The node holds a fix of [lo, hi].
    bool Meets(std::size_t v, std::size_t lo, std::size_t hi) const {
        const std::size_t l = Lo(v);
        return l < n_ && l <= hi && Hi(v) >= lo;
    }
    const Box& BoxOf(std::size_t v) const { return box_[v]; }
    double Chord(std::size_t a, std::size_t b) const {
        return MaxChord(box_[size_ + a], box_[size_ + b]);
    }

private:
    std::size_t n_ = 0;
    std::size_t size_ = 1;
    std::vector<Box> box_;
};

// The closest and furthest fix of an index range, as found by the searches below.
struct Extreme {
    bool known = false;
    double metres = 0;
    std::size_t index = 0;
};

// What is known of one pair of first and last turn points (b, d) of a triangle.
struct PairMemo {
    double metres = std::numeric_limits<double>::quiet_NaN();  // geodesic b-d; NaN until known
    bool gapKnown = false;  // the least closing gap over a <= b, e >= d, with its pair
    double gap = 0;
    std::size_t start = 0, end = 0;
    double gapAtLeast = 0;    // else a lower bound of that gap
    bool lowerExact = false;  // the least gap from the chords (a lower bound), when found
    double lower = 0;         // else at least this
};

// A tuple of ranges: the nodes of the turn points B, C and D (5 points: the middle three
// points) and the bound of every result inside it.
struct Tuple {
    std::array<std::uint32_t, 3> v{};
    double bound = 0;
    bool operator<(const Tuple& other) const { return bound < other.bound; }
};

// Tuples waiting at most (24 bytes each): beyond that the search stops as if by its budget.
constexpr std::size_t kMaxQueue = std::size_t{1} << 22;

class ExactSearch {
public:
    ExactSearch(std::span<const TrackPoint> points, const ExactOptions& options,
                const CancelFlag& cancel)
        : points_(points), options_(options), cancel_(cancel), tree_(points) {}

    ExactResult Solve(ExactKind kind, const ExactSeed* seed);

private:
    double Geodesic(std::size_t a, std::size_t b) const {
        double metres = 0;
        if (GeoDistance(PointRadians(points_[a]), PointRadians(points_[b]), metres) != 0) {
            return 0;
        }
        return metres;
    }

    bool Halt() {
        if (halted_) {
            return true;
        }
        if (detail::Cancelled(cancel_) ||
            (options_.timeBudgetSeconds > 0 &&
             std::chrono::duration<double>(Clock::now() - started_).count() >=
                 options_.timeBudgetSeconds)) {
            halted_ = true;
        }
        return halted_;
    }

    // ---- 5 points: the furthest earlier fix from B and the furthest later fix from D ----
    const std::array<double, 8>& FurthestCorners(std::size_t node, bool before);
    double FiveUpper(const Tuple& t);
    const Extreme& Furthest(std::size_t fix, bool before);
    // ---- Triangles: the least closing gap over a <= b, e >= d ----
    void BuildGapTable();
    double GapLower(std::size_t b, std::size_t d) const;
    // With `geodesic` false, a lower bound of the least gap from the chords alone.
    Extreme ClosingGap(std::size_t b, std::size_t d, double below, std::size_t& start,
                       bool geodesic = true);

    bool Feasible(const Tuple& t) const;
    int Split(const Tuple& t, std::array<Tuple, 2>& out);
    void Dive(Tuple t);
    bool Bound(Tuple& t);
    void Evaluate(const Tuple& t);
    void EvaluateSeed(const ExactSeed& seed);
    void Consider(std::size_t b, std::size_t c, std::size_t d);

    std::span<const TrackPoint> points_;
    ExactOptions options_;
    const CancelFlag& cancel_;
    FixTree tree_;
    ExactKind kind_ = ExactKind::FivePoints;
    Clock::time_point started_;
    bool halted_ = false;
    std::uint64_t nodes_ = 0;
    std::uint64_t steps_ = 0;  // inner search steps, for the cancel checks
    ExactResult best_;

    PairMemo& Pair(std::size_t b, std::size_t d) {
        if (pairs_.size() > kMaxPairs) {
            pairs_.clear();
        }
        return pairs_[(static_cast<std::uint64_t>(b) << 32) | d];
    }
    static constexpr std::size_t kMaxPairs = 1 << 20;  // some 60 MB at most
    std::unordered_map<std::uint64_t, PairMemo> pairs_;

    // Per tree node and per fix as far as the search has needed them (NaN: a halt cut the
    // search short).
    std::unordered_map<std::size_t, std::array<double, 8>> furthestCorners_[2];
    std::unordered_map<std::size_t, Extreme> furthest_[2];
    std::size_t gapRange_ = 1;              // fixes per range of the gap table
    std::size_t gapRanges_ = 0;             // ranges of the gap table
    std::vector<std::size_t> gapRowStart_;  // entry (i, k), i < k, at gapRowStart_[i] + k
    std::vector<double> gapTable_;
};

// The box's corners (one for a single fix).
std::size_t Corners(const Box& box, bool single, std::array<std::array<double, 3>, 8>& out) {
    if (single) {
        out[0] = box.lo;
        return 1;
    }
    for (unsigned corner = 0; corner < 8; ++corner) {
        out[corner] = {(corner & 1) != 0 ? box.hi[0] : box.lo[0],
                       (corner & 2) != 0 ? box.hi[1] : box.lo[1],
                       (corner & 4) != 0 ? box.hi[2] : box.lo[2]};
    }
    return 8;
}

// For each corner of the node's box, an upper bound of the distance to any fix before the
// node's last fix (`before`) or after its first; for a single fix, its exact furthest distance.
// NaN when a halt cut the search short.
const std::array<double, 8>& ExactSearch::FurthestCorners(std::size_t node, bool before) {
    auto& memo = furthestCorners_[before ? 0 : 1];
    const auto [at, added] = memo.try_emplace(node);
    std::array<double, 8>& out = at->second;
    if (added) {
        out.fill(std::numeric_limits<double>::quiet_NaN());
    } else if (!std::isnan(out[0])) {
        return out;
    }
    if (tree_.IsLeaf(node)) {
        const Extreme& e = Furthest(tree_.Lo(node), before);
        if (e.known) {
            out.fill(e.metres < 0 ? -kInfinity : e.metres);
        }
        return out;
    }
    const std::size_t n = tree_.Count();
    if ((before && tree_.Hi(node) == 0) || (!before && tree_.Lo(node) + 1 >= n)) {
        out.fill(-kInfinity);
        return out;
    }
    const std::size_t lo = before ? 0 : tree_.Lo(node) + 1;
    const std::size_t hi = before ? tree_.Hi(node) - 1 : n - 1;
    std::array<std::array<double, 3>, 8> corners{};
    Corners(tree_.BoxOf(node), false, corners);
    std::array<double, 8> found{};
    std::vector<std::size_t> stack;
    for (std::size_t k = 0; k < 8; ++k) {
        const std::array<double, 3>& q = corners[k];
        double best = 0;
        stack.assign(1, 1);
        while (!stack.empty()) {
            if ((++steps_ & 4095) == 0 && Halt()) {
                return out;  // unfinished: stays unknown
            }
            const std::size_t v = stack.back();
            stack.pop_back();
            if (!tree_.Meets(v, lo, hi) || MaxChord(q, tree_.BoxOf(v)) <= best) {
                continue;
            }
            if (tree_.IsLeaf(v)) {
                best = MaxChord(q, tree_.BoxOf(v));
                continue;
            }
            const double left = MaxChord(q, tree_.BoxOf(2 * v));
            const double right = MaxChord(q, tree_.BoxOf(2 * v + 1));
            stack.push_back(left < right ? 2 * v : 2 * v + 1);
            stack.push_back(left < right ? 2 * v + 1 : 2 * v);
        }
        found[k] = UpperGeodesic(best);
    }
    out = found;
    return out;
}

// An upper bound of the 5 points with their middle three in the tuple's ranges. The sum
// furthest(b) + |b - c| + |c - d| + furthest(d) is convex in (b, c, d) (each term is a convex,
// growing function of a distance), so its greatest value over the three boxes lies on corners
// of them, found by trying every corner of the middle box with the best corner on either side.
// Unlike bounding each term alone this stays tight where the track runs straight through the
// ranges, which long flights do for hundreds of kilometres.
double ExactSearch::FiveUpper(const Tuple& t) {
    const std::array<double, 8>& first = FurthestCorners(t.v[0], true);
    const std::array<double, 8>& last = FurthestCorners(t.v[2], false);
    if (std::isnan(first[0]) || std::isnan(last[0])) {
        return kInfinity;  // halted
    }
    std::array<std::array<double, 3>, 8> qb{}, qc{}, qd{};
    const std::size_t nb = Corners(tree_.BoxOf(t.v[0]), tree_.IsLeaf(t.v[0]), qb);
    const std::size_t nc = Corners(tree_.BoxOf(t.v[1]), tree_.IsLeaf(t.v[1]), qc);
    const std::size_t nd = Corners(tree_.BoxOf(t.v[2]), tree_.IsLeaf(t.v[2]), qd);
    double best = -kInfinity;
    for (std::size_t c = 0; c < nc; ++c) {
        double left = -kInfinity;
        for (std::size_t b = 0; b < nb; ++b) {
            left = std::max(left, first[b] + UpperGeodesic(Distance(qb[b], qc[c])));
        }
        double right = -kInfinity;
        for (std::size_t d = 0; d < nd; ++d) {
            right = std::max(right, last[d] + UpperGeodesic(Distance(qc[c], qd[d])));
        }
        best = std::max(best, left + right);
    }
    return best;
}

// The furthest fix before `fix` (`before`) or after it, exactly.
const Extreme& ExactSearch::Furthest(std::size_t fix, bool before) {
    Extreme& out = furthest_[before ? 0 : 1][fix];
    if (out.known) {
        return out;
    }
    out.known = true;
    out.metres = -1;
    const std::size_t n = tree_.Count();
    if ((before && fix == 0) || (!before && fix + 1 >= n)) {
        return out;
    }
    const std::size_t lo = before ? 0 : fix + 1;
    const std::size_t hi = before ? fix - 1 : n - 1;
    const Box& target = tree_.BoxOf(tree_.Leaf(fix));
    std::vector<std::size_t> stack{1};
    while (!stack.empty()) {
        if ((++steps_ & 4095) == 0 && Halt()) {
            out.known = false;  // unfinished: a fix, but maybe not the furthest
            break;
        }
        const std::size_t v = stack.back();
        stack.pop_back();
        if (!tree_.Meets(v, lo, hi) ||
            UpperGeodesic(MaxChord(tree_.BoxOf(v), target)) <= out.metres) {
            continue;
        }
        if (tree_.IsLeaf(v)) {
            const std::size_t other = v - tree_.Size();
            const double metres = Geodesic(fix, other);
            if (metres > out.metres) {
                out.metres = metres;
                out.index = other;
            }
            continue;
        }
        const double left = MaxChord(tree_.BoxOf(2 * v), target);
        const double right = MaxChord(tree_.BoxOf(2 * v + 1), target);
        stack.push_back(left < right ? 2 * v : 2 * v + 1);
        stack.push_back(left < right ? 2 * v + 1 : 2 * v);
    }
    return out;
}

// The lower bounds of the closing gap between ranges of fixes: entry (i, k), i < k, is the
// least distance any box of a range up to i allows to any box of a range from k on.
void ExactSearch::BuildGapTable() {
    const std::size_t n = tree_.Count();
    constexpr std::size_t kMaxRanges = 1024;
    std::size_t depth = 0;
    while ((std::size_t{1} << depth) < kMaxRanges && (tree_.Size() >> depth) > 1) {
        ++depth;
    }
    gapRange_ = tree_.Size() >> depth;
    gapRanges_ = (n + gapRange_ - 1) / gapRange_;
    const std::size_t m = gapRanges_;
    const std::size_t first = std::size_t{1} << depth;
    gapRowStart_.resize(m);
    std::size_t total = 0;
    for (std::size_t i = 0; i < m; ++i) {
        gapRowStart_[i] = total - i - 1;
        total += m - i - 1;
    }
    gapTable_.assign(total, 0);
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t k = m - 1; k > i; --k) {
            double g = LowerGeodesic(MinChord(tree_.BoxOf(first + i), tree_.BoxOf(first + k)));
            if (k + 1 < m) {
                g = std::min(g, gapTable_[gapRowStart_[i] + k + 1]);
            }
            if (i > 0 && k > i) {
                g = std::min(g, gapTable_[gapRowStart_[i - 1] + k]);
            }
            gapTable_[gapRowStart_[i] + k] = g;
        }
    }
}

// A lower bound of the least closing gap over a <= b and e >= d.
double ExactSearch::GapLower(std::size_t b, std::size_t d) const {
    const std::size_t i = b / gapRange_;
    const std::size_t k = d / gapRange_;
    if (i >= k) {
        return 0;
    }
    return gapTable_[gapRowStart_[i] + k];
}

// The least closing gap over a <= b, e >= d when under `below` (then known, with a in `start`
// and e in index), by pairs of ranges nearest first.
Extreme ExactSearch::ClosingGap(std::size_t b, std::size_t d, double below, std::size_t& start,
                                bool geodesic) {
    Extreme out;
    out.metres = below;
    const std::size_t n = tree_.Count();
    struct Pair {
        std::size_t a, e;
    };
    std::vector<Pair> stack{{1, 1}};
    while (!stack.empty()) {
        if ((++steps_ & 4095) == 0 && Halt()) {
            break;
        }
        const Pair p = stack.back();
        stack.pop_back();
        if (!tree_.Meets(p.a, 0, b) || !tree_.Meets(p.e, d, n - 1)) {
            continue;
        }
        const Box& ba = tree_.BoxOf(p.a);
        const Box& be = tree_.BoxOf(p.e);
        if (LowerGeodesic(MinChord(ba, be)) >= out.metres) {
            continue;
        }
        const bool leafA = tree_.IsLeaf(p.a);
        const bool leafE = tree_.IsLeaf(p.e);
        if (leafA && leafE) {
            const std::size_t a = p.a - tree_.Size();
            const std::size_t e = p.e - tree_.Size();
            const double metres = geodesic ? Geodesic(a, e) : LowerGeodesic(tree_.Chord(a, e));
            if (metres < out.metres) {
                out.metres = metres;
                out.known = true;
                out.index = e;
                start = a;
            }
            continue;
        }
        // Split the wider box; the nearer child pair is searched first.
        std::array<Pair, 2> next{};
        if (leafE || (!leafA && Diagonal(ba) >= Diagonal(be))) {
            next = {Pair{2 * p.a, p.e}, Pair{2 * p.a + 1, p.e}};
        } else {
            next = {Pair{p.a, 2 * p.e}, Pair{p.a, 2 * p.e + 1}};
        }
        const double d0 = MinChord(tree_.BoxOf(next[0].a), tree_.BoxOf(next[0].e));
        const double d1 = MinChord(tree_.BoxOf(next[1].a), tree_.BoxOf(next[1].e));
        if (d0 < d1) {
            std::swap(next[0], next[1]);
        }
        stack.push_back(next[0]);
        stack.push_back(next[1]);
    }
    return out;
}

// Some b < c < d lies in the tuple's ranges (5 points: with a fix before b and one after d).
bool ExactSearch::Feasible(const Tuple& t) const {
    const std::size_t n = tree_.Count();
    const bool five = kind_ == ExactKind::FivePoints;
    std::size_t b = tree_.Lo(t.v[0]);
    if (five) {
        b = std::max<std::size_t>(b, 1);
    }
    if (b > tree_.Hi(t.v[0])) {
        return false;
    }
    const std::size_t c = std::max(tree_.Lo(t.v[1]), b + 1);
    if (c > tree_.Hi(t.v[1])) {
        return false;
    }
    const std::size_t d = std::max(tree_.Lo(t.v[2]), c + 1);
    std::size_t last = tree_.Hi(t.v[2]);
    if (five) {
        if (n < 2) {
            return false;
        }
        last = std::min(last, n - 2);
    }
    return d <= last;
}

bool ExactSearch::Bound(Tuple& t) {
    if (!Feasible(t)) {
        return false;
    }
    const Box& bb = tree_.BoxOf(t.v[0]);
    const Box& bc = tree_.BoxOf(t.v[1]);
    const Box& bd = tree_.BoxOf(t.v[2]);
    if (kind_ == ExactKind::FivePoints) {
        t.bound = FiveUpper(t);
        return t.bound > -kInfinity;
    }
    const double l1 = UpperGeodesic(MaxChord(bb, bc));
    const double l2 = UpperGeodesic(MaxChord(bc, bd));
    const double l3 = UpperGeodesic(MaxChord(bd, bb));
    double perimeter = std::min(l1 + l2, UpperViaMiddle(bb, bc, bd)) + l3;
    if (kind_ == ExactKind::FaiTriangle) {
        const double least = LowerGeodesic(MinChord(bb, bc)) + LowerGeodesic(MinChord(bc, bd)) +
                             LowerGeodesic(MinChord(bd, bb));
        perimeter = std::min(perimeter, std::min({l1, l2, l3}) / 0.28);
        if (perimeter < least) {
            return false;
        }
    }
    // The latest b and the earliest d the ranges allow give the least gap.
    const std::size_t b = std::min({tree_.Hi(t.v[0]), tree_.Hi(t.v[1]) - 1, tree_.Hi(t.v[2]) - 2});
    const std::size_t d = std::max({tree_.Lo(t.v[2]), tree_.Lo(t.v[1]) + 1, tree_.Lo(t.v[0]) + 2});
    // The gap must stay within the rule's limit and leave a score above the best found.
    double limit = options_.rules == ExactRules::Trip
                       ? std::nextafter(options_.loopFlightGapMetres, kInfinity)
                       : 0.2 * perimeter;
    if (best_.found) {
        limit = std::min(limit, perimeter - best_.score);
    }
    double gap = GapLower(b, d);
    if (gap >= limit) {
        return false;
    }
    // Below the ranges of the table the least gap of the pair (b, d) itself is sought, from
    // the chords, and kept: the table's ranges are too wide for the small loops of a long
    // flight.
    if (tree_.Hi(t.v[0]) - tree_.Lo(t.v[0]) < gapRange_ &&
        tree_.Hi(t.v[2]) - tree_.Lo(t.v[2]) < gapRange_) {
        PairMemo& pair = Pair(b, d);
        if (pair.gapKnown) {
            gap = std::max(gap, pair.gap);
        } else {
            gap = std::max(gap, pair.gapAtLeast);
            if (!pair.lowerExact && pair.lower < limit && gap < limit) {
                std::size_t start = 0;
                const Extreme lower = ClosingGap(b, d, limit, start, false);
                if (halted_) {
                    return true;  // unfinished: the caller keeps the parent's bound
                }
                if (lower.known) {
                    pair.lower = lower.metres;
                    pair.lowerExact = true;
                } else {
                    pair.lower = limit;
                }
            }
            gap = std::max(gap, pair.lower);
        }
        if (gap >= limit) {
            return false;
        }
    }
    t.bound = perimeter - gap;
    return t.bound > 0;
}

// One triple of turn points (5 points: the middle three) scored exactly.
void ExactSearch::Consider(std::size_t b, std::size_t c, std::size_t d) {
    const std::size_t n = tree_.Count();
    if (!(b < c && c < d && d < n)) {
        return;
    }
    if (kind_ == ExactKind::FivePoints) {
        if (b == 0 || d + 1 >= n) {
            return;
        }
        const Extreme& first = Furthest(b, true);
        const Extreme& last = Furthest(d, false);
        if (first.metres < 0 || last.metres < 0) {
            return;  // halted before either was found
        }
        const double bc = Geodesic(b, c);
        const double cd = Geodesic(c, d);
        const double sum = first.metres + bc + cd + last.metres;
        if (!best_.found || sum > best_.score) {
            best_.found = true;
            best_.score = sum;
            best_.index = {first.index, b, c, d, last.index};
            best_.legs = {first.metres, bc, cd, last.metres};
            best_.gapMetres = 0;
        }
        return;
    }
    PairMemo& pair = Pair(b, d);
    if (std::isnan(pair.metres)) {
        pair.metres = Geodesic(d, b);
    }
    const double l1 = Geodesic(b, c);
    const double l2 = Geodesic(c, d);
    const double l3 = pair.metres;
    const double perimeter = l1 + l2 + l3;
    if (kind_ == ExactKind::FaiTriangle && std::min({l1, l2, l3}) < 0.28 * perimeter) {
        return;
    }
    // The gap must stay under the rule's limit and leave a better score than the best.
    double below = options_.rules == ExactRules::Trip
                       ? std::nextafter(options_.loopFlightGapMetres, kInfinity)
                       : 0.2 * perimeter;
    if (best_.found) {
        below = std::min(below, perimeter - best_.score);
    }
    if (below <= 0) {
        return;
    }
    // The least gap of b and d is the same for every c: once found, or once known to be at
    // least some value, it is kept.
    Extreme gap;
    std::size_t start = 0;
    if (pair.gapKnown) {
        gap = {pair.gap < below, pair.gap, pair.end};
        start = pair.start;
    } else if (pair.gapAtLeast < below) {
        gap = ClosingGap(b, d, below, start);
        if (halted_) {
            return;
        }
        if (gap.known) {
            pair.gapKnown = true;
            pair.gap = gap.metres;
            pair.start = start;
            pair.end = gap.index;
        } else {
            pair.gapAtLeast = below;
        }
    }
    if (!gap.known || perimeter - gap.metres <= 0) {
        return;
    }
    best_.found = true;
    best_.score = perimeter - gap.metres;
    best_.index = {start, b, c, d, gap.index};
    best_.legs = {l1, l2, l3, 0};
    best_.gapMetres = gap.metres;
}

void ExactSearch::Evaluate(const Tuple& t) {
    Consider(t.v[0] - tree_.Size(), t.v[1] - tree_.Size(), t.v[2] - tree_.Size());
}

void ExactSearch::EvaluateSeed(const ExactSeed& seed) {
    const std::size_t n = tree_.Count();
    if (seed[1] < seed[2] && seed[2] < seed[3] && seed[3] < n) {
        Consider(seed[1], seed[2], seed[3]);
    }
}

// The children of a tuple: its range with the widest box split in two, each child bounded;
// the feasible ones first in `out`. Returns how many, or -1 for three single fixes.
int ExactSearch::Split(const Tuple& t, std::array<Tuple, 2>& out) {
    std::size_t split = 3;
    double widest = -1;
    for (std::size_t k = 0; k < 3; ++k) {
        if (!tree_.IsLeaf(t.v[k])) {
            const double w = Diagonal(tree_.BoxOf(t.v[k]));
            if (w > widest) {
                widest = w;
                split = k;
            }
        }
    }
    if (split == 3) {
        return -1;
    }
    int count = 0;
    for (std::uint32_t child = 0; child < 2; ++child) {
        Tuple next = t;
        next.v[split] = 2 * t.v[split] + child;
        if (tree_.Lo(next.v[split]) >= tree_.Count()) {
            continue;
        }
        const bool feasible = Bound(next);
        if (halted_) {
            // A halt cut the bound short: the parent's still holds for the child.
            next.bound = t.bound;
            out[static_cast<std::size_t>(count++)] = next;
        } else if (feasible) {
            out[static_cast<std::size_t>(count++)] = next;
        }
    }
    return count;
}

// Follows the child with the greater bound down to single fixes and scores them.
void ExactSearch::Dive(Tuple t) {
    for (;;) {
        if (best_.found && t.bound <= best_.score + kExactToleranceMetres) {
            return;
        }
        std::array<Tuple, 2> children{};
        const int count = Split(t, children);
        if (count < 0) {
            Evaluate(t);
            return;
        }
        if (count == 0) {
            return;
        }
        t = count == 2 && children[1].bound > children[0].bound ? children[1] : children[0];
    }
}

ExactResult ExactSearch::Solve(ExactKind kind, const ExactSeed* seed) {
    kind_ = kind;
    started_ = Clock::now();
    halted_ = false;
    nodes_ = 0;
    best_ = {};
    const std::size_t n = tree_.Count();
    const bool triangle = kind != ExactKind::FivePoints;
    if (triangle && options_.rules == ExactRules::Trip && options_.loopFlightGapMetres <= 0) {
        best_.optimal = true;
        return best_;
    }
    if (n < (triangle ? 3u : 5u)) {
        best_.optimal = true;
        return best_;
    }
    if (triangle && gapTable_.empty() && gapRanges_ == 0) {
        BuildGapTable();
    }
    if (seed != nullptr) {
        EvaluateSeed(*seed);
    }
    std::priority_queue<Tuple> queue;
    Tuple root{{1, 1, 1}, 0};
    if (Bound(root) || halted_) {
        if (halted_) {
            root.bound = kInfinity;
        }
        queue.push(root);
    }
    double remaining = 0;
    while (!queue.empty()) {
        if (((nodes_ & 63) == 0 && Halt()) ||
            (options_.nodeBudget != 0 && nodes_ >= options_.nodeBudget) ||
            queue.size() > kMaxQueue) {
            halted_ = true;
            break;
        }
        const Tuple t = queue.top();
        if (best_.found && t.bound <= best_.score + kExactToleranceMetres) {
            break;
        }
        // Now and then a dive from the most promising tuple straight down to single fixes
        // finds a good result early: the bound alone does not reach one on long plateaus of
        // near-equal results.
        if ((nodes_ & 1023) == 0) {
            Dive(t);
        }
        queue.pop();
        ++nodes_;
        std::array<Tuple, 2> children{};
        const int count = Split(t, children);
        if (count < 0) {
            Evaluate(t);
            continue;
        }
        for (int c = 0; c < count; ++c) {
            if (!best_.found ||
                children[static_cast<std::size_t>(c)].bound > best_.score + kExactToleranceMetres) {
                queue.push(children[static_cast<std::size_t>(c)]);
            }
        }
    }
    if (!queue.empty()) {
        remaining = queue.top().bound;
    }
    best_.halted = halted_;
    best_.nodes = nodes_;
    best_.bound = std::max(best_.found ? best_.score : 0.0, remaining);
    best_.optimal =
        !halted_ && best_.bound <= (best_.found ? best_.score : 0.0) + kExactToleranceMetres;
    if (best_.optimal) {
        best_.bound = best_.found ? best_.score : 0.0;
    }
    best_.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    return best_;
}

}  // namespace

ExactResult SolveExact(std::span<const TrackPoint> points, ExactKind kind,
                       const ExactOptions& options, const CancelFlag& cancel,
                       const ExactSeed* seed) {
    ExactSearch search(points, options, cancel);
    return search.Solve(kind, seed);
}

ExactResults SolveExactAll(std::span<const TrackPoint> points, const ExactOptions& options,
                           const CancelFlag& cancel, const OptimisationResults* seeds) {
    ExactSearch search(points, options, cancel);
    ExactResults out;
    const ExactSeed five = seeds != nullptr ? seeds->five.index : ExactSeed{};
    const ExactSeed flat = seeds != nullptr ? seeds->flat.index : ExactSeed{};
    const ExactSeed fai = seeds != nullptr ? seeds->fai.index : ExactSeed{};
    out.five = search.Solve(ExactKind::FivePoints, seeds != nullptr ? &five : nullptr);
    out.flat = search.Solve(ExactKind::FlatTriangle, seeds != nullptr ? &flat : nullptr);
    out.fai = search.Solve(ExactKind::FaiTriangle, seeds != nullptr ? &fai : nullptr);
    out.cancelled = detail::Cancelled(cancel);
    return out;
}

}  // namespace tracora::analysis
