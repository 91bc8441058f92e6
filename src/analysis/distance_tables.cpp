#include "analysis/distance_optimisation_detail.hpp"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

#include "core/geodesy.hpp"

namespace tracora::analysis::detail {

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

}  // namespace tracora::analysis::detail
