// Geodesic distance and UTM projection beside GeographicLib on the same inputs, in the same
// run. Our distance is Vincenty's iteration; GeographicLib's is Karney's series solution.
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/UTMUPS.hpp>

#include "core/geodesy.hpp"

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;
constexpr std::size_t kPairs = 4096;

struct Pair {
    double lat1, lon1, lat2, lon2;  // degrees
    tracora::GeoPoint a, b;         // radians
};

// `spreadDegrees` bounds the offset of the second point; 0 puts it anywhere on the globe.
std::vector<Pair> MakePairs(double spreadDegrees, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<Pair> pairs;
    pairs.reserve(kPairs);
    while (pairs.size() < kPairs) {
        Pair p{};
        p.lat1 = 80 * unit(random);
        p.lon1 = 180 * unit(random);
        if (spreadDegrees > 0) {
            p.lat2 = p.lat1 + spreadDegrees * unit(random);
            p.lon2 = p.lon1 + spreadDegrees * unit(random);
        } else {
            p.lat2 = 80 * unit(random);
            p.lon2 = 180 * unit(random);
        }
        p.a = {p.lat1 * kRadiansPerDegree, p.lon1 * kRadiansPerDegree};
        p.b = {p.lat2 * kRadiansPerDegree, p.lon2 * kRadiansPerDegree};
        double metres = 0;
        if (tracora::GeoDistance(p.a, p.b, metres) == 0) {  // keep the set comparable
            pairs.push_back(p);
        }
    }
    return pairs;
}

// Pairs up to about 100 km apart, as along a flight; and pairs anywhere on the globe.
const std::vector<Pair>& FlightPairs() {
    static const std::vector<Pair> pairs = MakePairs(1.0, 1);
    return pairs;
}
const std::vector<Pair>& GlobalPairs() {
    static const std::vector<Pair> pairs = MakePairs(0, 2);
    return pairs;
}

void RunGeoDistance(benchmark::State& state, const std::vector<Pair>& pairs) {
    for (auto _ : state) {
        double sum = 0;
        for (const Pair& p : pairs) {
            double metres = 0;
            tracora::GeoDistance(p.a, p.b, metres);
            sum += metres;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
}

void RunGeographicLibInverse(benchmark::State& state, const std::vector<Pair>& pairs) {
    const GeographicLib::Geodesic& geodesic = GeographicLib::Geodesic::WGS84();
    for (auto _ : state) {
        double sum = 0;
        for (const Pair& p : pairs) {
            double metres = 0;
            geodesic.Inverse(p.lat1, p.lon1, p.lat2, p.lon2, metres);
            sum += metres;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
}

void BM_GeoDistance_Flight(benchmark::State& state) {
    RunGeoDistance(state, FlightPairs());
}
void BM_GeographicLibInverse_Flight(benchmark::State& state) {
    RunGeographicLibInverse(state, FlightPairs());
}
void BM_GeoDistance_Global(benchmark::State& state) {
    RunGeoDistance(state, GlobalPairs());
}
void BM_GeographicLibInverse_Global(benchmark::State& state) {
    RunGeographicLibInverse(state, GlobalPairs());
}

void BM_ToUtm(benchmark::State& state) {
    const std::vector<Pair>& pairs = GlobalPairs();
    for (auto _ : state) {
        double sum = 0;
        for (const Pair& p : pairs) {
            int zone = 0;
            tracora::UtmPosition utm;
            tracora::ToUtm(p.a, zone, utm);
            sum += utm.easting + utm.northing;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
}

void BM_GeographicLibUtmForward(benchmark::State& state) {
    const std::vector<Pair>& pairs = GlobalPairs();
    for (auto _ : state) {
        double sum = 0;
        for (const Pair& p : pairs) {
            int zone = 0;
            bool north = false;
            double x = 0;
            double y = 0;
            GeographicLib::UTMUPS::Forward(p.lat1, p.lon1, zone, north, x, y);
            sum += x + y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
}

}  // namespace

BENCHMARK(BM_GeoDistance_Flight);
BENCHMARK(BM_GeographicLibInverse_Flight);
BENCHMARK(BM_GeoDistance_Global);
BENCHMARK(BM_GeographicLibInverse_Global);
BENCHMARK(BM_ToUtm);
BENCHMARK(BM_GeographicLibUtmForward);

BENCHMARK_MAIN();
