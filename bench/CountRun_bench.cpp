// The whole count run (layer copies included) on generated micrographs at the default parameters,
// beside one plain memcpy of the picture's bytes into an already touched buffer.
//   x_memcpy: the count run's time per run divided by that copy's time, measured in the same run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "detect/CountRun.h"
#include "support/SyntheticMicrograph.h"

namespace {

struct Size {
    int width, height, particles;
};
constexpr Size kSizes[] = {{2048, 1536, 1500}, {6000, 4000, 10000}};

const Picture& micrograph(int index)
{
    static std::map<int, Picture> pictures;
    auto found = pictures.find(index);
    if (found == pictures.end()) {
        MicrographOptions options;
        options.width = kSizes[index].width;
        options.height = kSizes[index].height;
        options.particles = kSizes[index].particles;
        options.seed = 11;
        found = pictures.emplace(index, makeSyntheticMicrograph(options).picture).first;
    }
    return found->second;
}

double megapixels(const Picture& picture)
{
    return picture.width() * double(picture.height()) / 1e6;
}

using Clock = std::chrono::steady_clock;

/// Best of several copies of the picture's bytes into a buffer whose pages are already touched.
double memcpySeconds(const Picture& picture)
{
    std::vector<std::uint8_t> target(picture.byteCount(), 1);
    double best = 1e9;
    for (int i = 0; i < 7; ++i) {
        const auto start = Clock::now();
        std::memcpy(target.data(), picture.data(), picture.byteCount());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void BM_CountRun(benchmark::State& state)
{
    const Picture& picture = micrograph(static_cast<int>(state.range(0)));
    Layers layers;
    layers.Image1 = picture;
    TAnalysisState analysis;
    runCount(layers, analysis, CountParams{});  // first touch of the layer buffers, outside the timing
    const double copy = memcpySeconds(picture);
    double best = 1e9;
    for (auto _ : state) {
        const auto start = Clock::now();
        runCount(layers, analysis, CountParams{});
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["particles"] = analysis.AutoCount;
    state.counters["per_MP"] = benchmark::Counter(
        megapixels(picture), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["memcpy_ms"] = copy * 1e3;
    state.counters["best_ms"] = best * 1e3;
    state.counters["x_memcpy"] = best / copy;
}
BENCHMARK(BM_CountRun)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

/// The same run collecting the particle table's data, as the window always does: compare with
/// BM_CountRun on the same picture.
void BM_CountRunWithParticles(benchmark::State& state)
{
    const Picture& picture = micrograph(static_cast<int>(state.range(0)));
    Layers layers;
    layers.Image1 = picture;
    TAnalysisState analysis;
    ParticleList particles;
    runCount(layers, analysis, CountParams{}, &particles);
    double best = 1e9;
    for (auto _ : state) {
        const auto start = Clock::now();
        runCount(layers, analysis, CountParams{}, &particles);
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["particles"] = static_cast<double>(particles.particles.size());
    state.counters["best_ms"] = best * 1e3;
}
BENCHMARK(BM_CountRunWithParticles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

/// The count button's run: into new layers (allocated and first touched each time), with the
/// particle table's data and a progress hook, as the window's worker thread runs it. Compare with
/// BM_CountRunWithParticles, which reuses its layers.
void BM_CountIntoNewLayers(benchmark::State& state)
{
    const Picture& picture = micrograph(static_cast<int>(state.range(0)));
    std::int64_t calls = 0;
    const WorkProgress progress = [&calls](std::int64_t, std::int64_t) {
        ++calls;
        return true;
    };
    std::optional<FinishedCount> made;
    double best = 1e9;
    for (auto _ : state) {
        made.reset();
        const auto start = Clock::now();
        made = countIntoNewLayers(picture, CountParams{}, true, progress);
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["particles"] = made ? made->AutoCount : -1;
    state.counters["best_ms"] = best * 1e3;
    state.counters["hook_calls"] = static_cast<double>(calls) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CountIntoNewLayers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_Memcpy(benchmark::State& state)
{
    const Picture& picture = micrograph(static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> target(picture.byteCount(), 1);
    for (auto _ : state) {
        std::memcpy(target.data(), picture.data(), picture.byteCount());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_MP"] = benchmark::Counter(
        megapixels(picture), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
