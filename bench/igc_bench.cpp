// IGC reading and writing on the largest real flight. The file is named by TRACORA_IGC_FILE,
// else the largest of the real flights among the test fixtures. Compare with
//   gpsbabel -i igc -f FILE -o igc -F /dev/null
// run on the same file in the same session (see the report of the format's author).
#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "core/file_io.hpp"
#include "formats/igc/igc_reader.hpp"
#include "formats/igc/igc_writer.hpp"

namespace {

const std::string& FlightText() {
    static const std::string text = [] {
        const char* named = std::getenv("TRACORA_IGC_FILE");
        const std::string path = named != nullptr ? named
                                                  : TRACORA_SOURCE_DIR
                                     "/tests/fixtures/real/igc/trifai-xcontest-362.70.igc";
        std::string out;
        if (tracora::ReadWholeFile(path, out) != tracora::FileReadStatus::kOk) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
        }
        return out;
    }();
    return text;
}

void BM_ParseIgc(benchmark::State& state) {
    const std::string& text = FlightText();
    for (auto _ : state) {
        tracora::igc::IgcParseResult result;
        benchmark::DoNotOptimize(tracora::igc::ParseIgc(text, result));
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) *
                            static_cast<long long>(text.size()));
}
BENCHMARK(BM_ParseIgc)->Unit(benchmark::kMillisecond);

void BM_EncodeIgc(benchmark::State& state) {
    tracora::igc::IgcParseResult parsed;
    tracora::igc::ParseIgc(FlightText(), parsed);
    tracora::igc::IgcEncodeOptions options;
    options.gRecordEligible = true;
    options.wantSecurityRecord = true;
    long long bytes = 0;
    for (auto _ : state) {
        std::string out;
        bool written = false;
        bytes += tracora::igc::EncodeIgc(parsed.points, {}, options, out, written);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(bytes);
    state.counters["points"] = static_cast<double>(parsed.points.size());
}
BENCHMARK(BM_EncodeIgc)->Unit(benchmark::kMillisecond);

// Read and write: what `gpsbabel -i igc -o igc` does.
void BM_ConvertIgc(benchmark::State& state) {
    const std::string& text = FlightText();
    tracora::igc::IgcEncodeOptions options;
    for (auto _ : state) {
        tracora::igc::IgcParseResult parsed;
        tracora::igc::ParseIgc(text, parsed);
        std::string out;
        bool written = false;
        benchmark::DoNotOptimize(tracora::igc::EncodeIgc(parsed.points, {}, options, out, written));
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) *
                            static_cast<long long>(text.size()));
}
BENCHMARK(BM_ConvertIgc)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
