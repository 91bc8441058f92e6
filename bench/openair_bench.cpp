// The OpenAir reader on the largest real airspace file, and the whole file turned into outlines
// (every airspace's polygon at the default segment error). The file is named by
// TRACORA_OPENAIR_FILE, else the largest of the real files among the test fixtures. Compare with
// the independent parser on the same file in the same session (it writes the file with the
// altitude texts it knows into NORMALISED, which this benchmark then reads):
//   node tools/oracles/openair_bench.mjs FILE NORMALISED 5
//   TRACORA_OPENAIR_FILE=NORMALISED tracora_bench_openair
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/file_io.hpp"
#include "formats/openair/ctr_polygon.hpp"
#include "formats/openair/openair_parser.hpp"

namespace {

const std::string& AirspaceText() {
    static const std::string text = [] {
        const char* named = std::getenv("TRACORA_OPENAIR_FILE");
        const std::string path = named != nullptr ? named
                                                  : TRACORA_SOURCE_DIR
                                     "/tests/fixtures/real/openair/germany-2026-03.txt";
        std::string out;
        if (tracora::ReadWholeFile(path, out) != tracora::FileReadStatus::kOk) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
        }
        return out;
    }();
    return text;
}

void BM_ParseOpenAir(benchmark::State& state) {
    const std::string& text = AirspaceText();
    std::size_t airspaces = 0;
    for (auto _ : state) {
        std::vector<tracora::CtrArea> areas;
        tracora::openair::OpenAirReport report;
        const int count = tracora::openair::ParseOpenAir(text, areas, report);
        if (count <= 0) {
            state.SkipWithError(("cannot read the airspaces: " + report.message).c_str());
            break;
        }
        airspaces = areas.size();
        benchmark::DoNotOptimize(areas.data());
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) *
                            static_cast<long long>(text.size()));
    state.counters["airspaces"] = static_cast<double>(airspaces);
}
BENCHMARK(BM_ParseOpenAir)->Unit(benchmark::kMillisecond);

// What the independent parser does per run: read the text and build every outline.
void BM_ParseOpenAirAndOutlines(benchmark::State& state) {
    const std::string& text = AirspaceText();
    std::size_t points = 0;
    for (auto _ : state) {
        std::vector<tracora::CtrArea> areas;
        tracora::openair::OpenAirReport report;
        if (tracora::openair::ParseOpenAir(text, areas, report) <= 0) {
            state.SkipWithError(("cannot read the airspaces: " + report.message).c_str());
            break;
        }
        points = 0;
        std::vector<tracora::Waypoint> outline;
        for (std::size_t i = 0; i < areas.size(); ++i) {
            tracora::openair::CtrToPolygon(areas[i], static_cast<int>(i),
                                           tracora::openair::kDefaultMaxSegmentError, 0, outline);
            points += outline.size();
        }
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_ParseOpenAirAndOutlines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
