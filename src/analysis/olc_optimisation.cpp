#include "analysis/olc_optimisation.hpp"

#include <new>

#include "analysis/distance_optimisation_detail.hpp"
#include "core/strings.hpp"

namespace tracora::analysis {

namespace {

void Report(const ProgressFn& progress, const std::string& text) {
    if (progress) {
        progress(text);
    }
}

// The stages; a halted stage leaves its halt text in out.haltText and returns 1.
int RunStages(std::span<const TrackPoint> points, OlcResults& out, int threads,
              const ProgressFn& progress, const CancelFlag& cancel) {
    using namespace detail;
    const auto halt = [&out](const char* text) {
        out.haltText = text;
        return 1;
    };
    CoarseTables t;
    Report(progress, "Computing distance matrix");
    if (!BuildDistanceMatrix(points, t, cancel, threads)) {
        return halt("Computation halted");
    }

    Report(progress, "Max. distance search");
    if (Cancelled(cancel)) {
        return halt("Max. distance search aborted");
    }
    FinePath<2>(points, t, CoarseOpenDistance(t), out.maxDistance);

    Report(progress, "Free distance search");
    const CoarsePath five = CoarseFivePoints(t, cancel);
    if (Cancelled(cancel)) {
        return halt("Computation halted");
    }
    FinePath<5>(points, t, five, out.freeDistance);
    out.freeDistancePoints = out.freeDistance.sum * kFreeDistancePointsPerMetre;

    Report(progress, "Out-and-return search");
    const CoarseLoop oar = CoarseOutAndReturn(t, kOlcOutAndReturnGapMetres, cancel);
    if (Cancelled(cancel)) {
        return halt("Out-and-return search aborted");
    }
    if (oar.found) {
        FineOutAndReturn(points, t, oar, kOlcOutAndReturnGapMetres, out.outAndReturn);
    }

    Report(progress, "Triangle search");
    const CoarseTriangles tri = CoarseTriangleSearch(t, 0, cancel, threads, true);
    if (tri.cancelled) {
        return halt("Triangle search aborted");
    }
    if (tri.flat.found) {
        FineTriangle(points, t, tri.flat, 0, false, out.freeTriangle, true);
        out.freeTrianglePoints = out.freeTriangle.score * kFreeTrianglePointsPerMetre;
    }
    if (tri.fai.found) {
        FineTriangle(points, t, tri.fai, 0, true, out.faiTriangle, true);
        out.faiTrianglePoints = out.faiTriangle.score * kFaiTrianglePointsPerMetre;
    }
    return 0;
}

}  // namespace

double OlcPointsPerMetre(OlcKind kind) {
    switch (kind) {
        case OlcKind::kFreeDistance:
            return kFreeDistancePointsPerMetre;
        case OlcKind::kFreeTriangle:
            return kFreeTrianglePointsPerMetre;
        case OlcKind::kFaiTriangle:
            return kFaiTrianglePointsPerMetre;
    }
    return 0;
}

const ExactResult& OlcResults::Exact(OlcKind kind) const {
    switch (kind) {
        case OlcKind::kFreeDistance:
            return exactResults.five;
        case OlcKind::kFreeTriangle:
            return exactResults.flat;
        case OlcKind::kFaiTriangle:
            break;
    }
    return exactResults.fai;
}

double OlcResults::Points(OlcKind kind) const {
    if (exact && Exact(kind).found) {
        return Exact(kind).score * OlcPointsPerMetre(kind);
    }
    switch (kind) {
        case OlcKind::kFreeDistance:
            return freeDistancePoints;
        case OlcKind::kFreeTriangle:
            return freeTrianglePoints;
        case OlcKind::kFaiTriangle:
            return faiTrianglePoints;
    }
    return 0;
}

std::array<std::size_t, 5> OlcResults::Indices(OlcKind kind) const {
    if (exact && Exact(kind).found) {
        return Exact(kind).index;
    }
    switch (kind) {
        case OlcKind::kFreeDistance:
            return freeDistance.index;
        case OlcKind::kFreeTriangle:
            return freeTriangle.index;
        case OlcKind::kFaiTriangle:
            return faiTriangle.index;
    }
    return {};
}

OptimisationResults OlcSeeds(const OlcResults& results) {
    OptimisationResults seeds;
    seeds.five = results.freeDistance;
    seeds.flat = results.freeTriangle;
    seeds.fai = results.faiTriangle;
    seeds.done = results.done;
    return seeds;
}

void ApplyExactResults(OlcResults& results, const ExactResults& exact) {
    results.exact = true;
    results.exactResults = exact;
    results.best =
        OlcBestKind(results.Points(OlcKind::kFreeDistance), results.Points(OlcKind::kFreeTriangle),
                    results.Points(OlcKind::kFaiTriangle));
}

const char* OlcKindName(OlcKind kind) {
    switch (kind) {
        case OlcKind::kFreeDistance:
            return "free distance";
        case OlcKind::kFreeTriangle:
            return "free triangle";
        case OlcKind::kFaiTriangle:
            return "FAI triangle";
    }
    return "";
}

OlcKind OlcBestKind(double freeDistance, double freeTriangle, double faiTriangle) {
    if (faiTriangle >= freeTriangle && faiTriangle >= freeDistance) {
        return OlcKind::kFaiTriangle;
    }
    if (freeTriangle >= freeDistance) {
        return OlcKind::kFreeTriangle;
    }
    return OlcKind::kFreeDistance;
}

std::string OlcBestText(const OlcResults& results) {
    return StringPrintf("Best result is %s with %.2f points", OlcKindName(results.best),
                        results.Points(results.best));
}

int RunOlcOptimisation(std::span<const TrackPoint> points, OlcResults& out, int threads,
                       const ProgressFn& progress, const CancelFlag& cancel) {
    out = {};
    try {
        if (RunStages(points, out, threads, progress, cancel) != 0) {
            out.cancelled = true;
            Report(progress, out.haltText);
            return 0;
        }
    } catch (const std::bad_alloc&) {
        out = {};
        return -1;
    }
    out.best = OlcBestKind(out.freeDistancePoints, out.freeTrianglePoints, out.faiTrianglePoints);
    out.done = true;
    Report(progress, "Optimization completed");
    Report(progress, OlcBestText(out));
    return 0;
}

int OlcWorker::Start(std::vector<TrackPoint> points, int threads, ProgressFn progress,
                     std::function<void()> finished) {
    if (worker_.Started()) {
        return -1;  // its thread still reads the points
    }
    points_ = std::move(points);
    threads_ = threads;
    progress_ = std::move(progress);
    result_ = {};
    return worker_.Start(
        [this](const CancelFlag& cancel) {
            return RunOlcOptimisation(points_, result_, threads_, progress_, cancel);
        },
        std::move(finished));
}

}  // namespace tracora::analysis
