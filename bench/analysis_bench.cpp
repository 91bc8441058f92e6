// The whole flight analysis (statistics filters, figures, distance optimisation) on the longest
// real flights and on a constructed 10,000-fix flight, on one core and on two; the coarse
// triangle search alone on a few real flights; the exact optimum of each kind under both rule
// sets on real flights. Compare with tools/bench_trip_vs_igc_xc_score.sh and
// tools/bench_exact_vs_igc_xc_score.sh, which time igc-xc-score on the same files.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "analysis/analysis_report.hpp"
#include "analysis/distance_optimisation.hpp"
#include "analysis/distance_optimisation_detail.hpp"
#include "analysis/exact_optimum.hpp"
#include "core/angles.hpp"
#include "core/file_io.hpp"
#include "formats/igc/igc_reader.hpp"

namespace {

std::vector<tracora::TrackPoint> Flight(const char* name) {
    const std::string path = std::string(TRACORA_SOURCE_DIR "/tests/fixtures/real/igc/") + name;
    std::string text;
    tracora::igc::IgcParseResult parsed;
    if (tracora::ReadWholeFile(path, text) != tracora::FileReadStatus::kOk ||
        tracora::igc::ParseIgc(text, parsed) <= 0) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
    }
    return parsed.points;
}

// 10,000 fixes a second apart: three laps of a 30 km triangle with some wander.
std::vector<tracora::TrackPoint> ConstructedFlight() {
    std::vector<tracora::TrackPoint> points;
    const double corners[4][2] = {{46.0, 7.0}, {46.0, 7.13}, {46.078, 7.065}, {46.0, 7.0}};
    for (int i = 0; i < 10000; ++i) {
        const double lap = std::fmod(i / 3333.4 * 3.0, 3.0);
        const int leg = static_cast<int>(lap);
        const double f = lap - leg;
        tracora::TrackPoint p;
        p.time = 1000000u + static_cast<std::uint32_t>(i);
        const double wander = 0.002 * std::sin(i * 0.01);
        p.latitude = tracora::DegreesToSemicircles(
            corners[leg][0] + f * (corners[leg + 1][0] - corners[leg][0]) + wander);
        p.longitude = tracora::DegreesToSemicircles(corners[leg][1] +
                                                    f * (corners[leg + 1][1] - corners[leg][1]));
        p.gpsAltitude = 15000;
        points.push_back(p);
    }
    return points;
}

void Analyse(benchmark::State& state, const std::vector<tracora::TrackPoint>& points) {
    tracora::Settings settings = tracora::DefaultSettings();
    tracora::analysis::OptimisationOptions options;
    options.threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        tracora::analysis::AnalysisReport report;
        std::string error;
        benchmark::DoNotOptimize(
            tracora::analysis::AnalyseTrack(points, settings, options, report, error));
    }
    state.counters["fixes"] = static_cast<double>(points.size());
}

void BM_Constructed10000(benchmark::State& state) {
    static const std::vector<tracora::TrackPoint> points = ConstructedFlight();
    Analyse(state, points);
}

// The coarse triangle search alone (closing gaps included) on the tables of a real flight:
// flat and FAI triangles of flights that come back to their start, one that hardly does
// (FAI much smaller than flat) and one that does not.
void Triangles(benchmark::State& state, const char* file) {
    const std::vector<tracora::TrackPoint> points = Flight(file);
    tracora::analysis::detail::CoarseTables tables;
    tracora::analysis::CancelFlag cancel{0};
    tracora::analysis::detail::BuildDistanceMatrix(points, tables, cancel);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tracora::analysis::detail::CoarseTriangleSearch(
            tables, 800, cancel, static_cast<int>(state.range(0))));
    }
    state.counters["samples"] = static_cast<double>(tables.n);
}

#define TRIANGLE_BENCH(fn, file)       \
    void fn(benchmark::State& state) { \
        Triangles(state, file);        \
    }                                  \
    BENCHMARK(fn)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)

TRIANGLE_BENCH(BM_TrianglesTri, "tri.igc");
TRIANGLE_BENCH(BM_TrianglesFlat106, "flat-xcontest-106.82.igc");
TRIANGLE_BENCH(BM_TrianglesOutAndBack, "01lz1hq1.igc");
TRIANGLE_BENCH(BM_TrianglesOpen, "d3p.igc");

#define FLIGHT_BENCH(fn, file)                                               \
    void fn(benchmark::State& state) {                                       \
        static const std::vector<tracora::TrackPoint> points = Flight(file); \
        Analyse(state, points);                                              \
    }                                                                        \
    BENCHMARK(fn)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)

FLIGHT_BENCH(BM_Trifai362, "trifai-xcontest-362.70.igc");
FLIGHT_BENCH(BM_Freeflight465, "freeflight-xcontest-465.33.igc");
FLIGHT_BENCH(BM_Fai, "fai.igc");
FLIGHT_BENCH(BM_Trifai189, "trifai-xcontest-189.65.igc");

// The exact optimum of one kind (range 0: 0 five points, 1 flat, 2 FAI triangle) under one rule
// set (range 1: 0 trip, 1 online contest), from nothing (no two-stage results to start from).
void Exact(benchmark::State& state, const std::vector<tracora::TrackPoint>& points) {
    using tracora::analysis::ExactKind;
    const ExactKind kinds[] = {ExactKind::FivePoints, ExactKind::FlatTriangle,
                               ExactKind::FaiTriangle};
    tracora::analysis::ExactOptions options;
    options.rules = state.range(1) == 0 ? tracora::analysis::ExactRules::Trip
                                        : tracora::analysis::ExactRules::Olc;
    tracora::analysis::CancelFlag cancel{0};
    tracora::analysis::ExactResult result;
    for (auto _ : state) {
        result = tracora::analysis::SolveExact(
            points, kinds[static_cast<std::size_t>(state.range(0))], options, cancel);
        benchmark::DoNotOptimize(result);
    }
    state.counters["fixes"] = static_cast<double>(points.size());
    state.counters["km"] = result.score / 1000;
    state.counters["nodes"] = static_cast<double>(result.nodes);
}

#define EXACT_BENCH(fn, file)                                                \
    void fn(benchmark::State& state) {                                       \
        static const std::vector<tracora::TrackPoint> points = Flight(file); \
        Exact(state, points);                                                \
    }                                                                        \
    BENCHMARK(fn)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)

EXACT_BENCH(BM_ExactFreeflight465, "freeflight-xcontest-465.33.igc");
EXACT_BENCH(BM_ExactTrifai189, "trifai-xcontest-189.65.igc");
EXACT_BENCH(BM_ExactDiscontinuity, "discontinuity.igc");
EXACT_BENCH(BM_Exact01lz1hq1, "01lz1hq1.igc");

}  // namespace

BENCHMARK(BM_Constructed10000)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
