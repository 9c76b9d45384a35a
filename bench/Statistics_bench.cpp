// The grid-field statistics scan of a counted 24-megapixel area layer, beside one plain pass over the
// layer's bytes (a sum of every byte), measured in the same run.
//   x_plain_pass: the scan's time divided by the plain pass's time.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <numeric>

#include "detect/CountRun.h"
#include "report/Statistics.h"
#include "support/SyntheticMicrograph.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Counted {
    Layers layers;
    TAnalysisState state;
};

Counted& countedMicrograph()
{
    static Counted counted = [] {
        MicrographOptions options;
        options.width = 6000;
        options.height = 4000;
        options.particles = 10000;
        options.seed = 11;
        Counted c;
        c.layers.Image1 = makeSyntheticMicrograph(options).picture;
        countParticles(c.layers, c.state, rgbColour(121, 223, 95), ParameterTexts{});
        c.state.GridMicrons = 25;
        c.state.ImageWidth = c.layers.Image1.width();
        c.state.ImageHeight = c.layers.Image1.height();
        return c;
    }();
    return counted;
}

double plainPassSeconds(const Picture& picture)
{
    double best = 1e9;
    for (int i = 0; i < 7; ++i) {
        const auto start = Clock::now();
        const std::uint64_t sum = std::accumulate(picture.data(), picture.data() + picture.byteCount(), std::uint64_t{0});
        benchmark::DoNotOptimize(sum);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void BM_FieldStatistics24MP(benchmark::State& state)
{
    Counted& counted = countedMicrograph();
    const ParameterTexts texts;
    double total = 0;
    std::int64_t markers = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const FieldScan scan = scanmarkers(counted.layers.Image3, counted.state, texts);
        total += std::chrono::duration<double>(Clock::now() - start).count();
        markers = scan.total;
        benchmark::DoNotOptimize(scan);
    }
    const double plain = plainPassSeconds(counted.layers.Image3);
    state.counters["markers"] = static_cast<double>(markers);
    state.counters["plain_pass_ms"] = plain * 1e3;
    state.counters["x_plain_pass"] = total / static_cast<double>(state.iterations()) / plain;
}
BENCHMARK(BM_FieldStatistics24MP)->Unit(benchmark::kMillisecond);

void BM_XYPositions24MP(benchmark::State& state)
{
    Counted& counted = countedMicrograph();
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        scanMarkerPositions(counted.layers.Image3, counted.state);
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    const double plain = plainPassSeconds(counted.layers.Image3);
    state.counters["markers"] = static_cast<double>(counted.state.MarkerList.size());
    state.counters["x_plain_pass"] = total / static_cast<double>(state.iterations()) / plain;
}
BENCHMARK(BM_XYPositions24MP)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
