#include "analysis/distance_optimisation.hpp"

#include <chrono>
#include <new>

#include "analysis/distance_optimisation_detail.hpp"
#include "core/strings.hpp"

namespace tracora::analysis {

namespace detail {
namespace {

void Report(const ProgressFn& progress, const char* text) {
    if (progress) {
        progress(text);
    }
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
}  // namespace detail

int RunDistanceOptimisation(std::span<const TrackPoint> points, OptimisationResults& out,
                            const OptimisationOptions& options, const ProgressFn& progress,
                            const CancelFlag& cancel) {
    const auto started = std::chrono::steady_clock::now();
    out = {};
    try {
        if (detail::RunStages(points, out, options, progress, cancel) != 0) {
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
