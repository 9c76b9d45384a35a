// A dense picture in-process: a generated 24-megapixel micrograph of blurry cells touching in clusters
// (tens of thousands of particles, fills spreading over whole clusters), counted with the parameters
// users give such pictures. The steps of the counter one by one:
//   decode/bmp, decode/jpeg: reading the picture from a file in memory or on disk,
//   count: the whole count run (layer copies, scan, checks, fills),
//   count into new layers: the same as the count button runs it, into layers of its own,
//   report: results, report text and report file.
// The fill's share of the count comes from bench/dense_count.sh (instruction counts of one run).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "detect/CountRun.h"
#include "picture/PictureLoading.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "report/Results.h"
#include "support/SyntheticMicrograph.h"

namespace {

using Clock = std::chrono::steady_clock;

const Picture& densePicture()
{
    static const Picture picture = makeClusteredMicrograph(ClusterOptions{}).picture;
    return picture;
}

/// The parameters of a count of blurry blue cells: --min-size 3 --max-size 9 --colour 0,27,210
/// --colour-tolerance 32 --brightness-tolerance 36 --min-contrast 10.
CountParams denseParams()
{
    CountParams params;
    params.minSize = 3;
    params.maxSize = 9;
    params.targetColour = rgbColour(0, 27, 210);
    params.colourTolerance = 32;
    params.brightnessTolerance = 36;
    params.minContrast = 10;
    return params;
}

ParameterTexts denseTexts()
{
    ParameterTexts texts;
    texts.Edmin = "3";
    texts.EdMax = "9";
    texts.EdDevi = "32";
    texts.Edhell = "36";
    texts.EdCont = "10";
    texts.EdR = "0";
    texts.EdG = "27";
    texts.EdB = "210";
    return texts;
}

void put(std::vector<char>& bytes, std::size_t at, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

/// The picture as a 24-bit BMP file's bytes (rows bottom-up, padded to 4 bytes).
std::vector<char> bmpBytes(const Picture& picture)
{
    const std::size_t padded = (picture.stride() + 3) / 4 * 4;
    const std::size_t pixelBytes = padded * picture.height();
    std::vector<char> bytes(54 + pixelBytes, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
    put(bytes, 10, 54, 4);
    put(bytes, 14, 40, 4);
    put(bytes, 18, static_cast<std::uint32_t>(picture.width()), 4);
    put(bytes, 22, static_cast<std::uint32_t>(picture.height()), 4);
    put(bytes, 26, 1, 2);
    put(bytes, 28, 24, 2);
    put(bytes, 34, static_cast<std::uint32_t>(pixelBytes), 4);
    for (int y = 0; y < picture.height(); ++y)
        std::copy_n(picture.row(picture.height() - 1 - y), picture.stride(), bytes.data() + 54 + y * padded);
    return bytes;
}

void reportBest(benchmark::State& state, double best)
{
    state.counters["best_ms"] = best * 1e3;
}

void BM_DenseDecodeBmp(benchmark::State& state)
{
    const std::vector<char> bytes = bmpBytes(densePicture());
    double best = 1e9;
    for (auto _ : state) {
        const auto start = Clock::now();
        DecodedPicture decoded = decodeBmpBytes(bytes.data(), bytes.size(), "dense.bmp");
        benchmark::DoNotOptimize(decoded.picture.data());
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    reportBest(state, best);
}
BENCHMARK(BM_DenseDecodeBmp)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_DenseDecodeJpeg(benchmark::State& state)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "spottally_dense_bench.jpg";
    if (const std::string problem = writeJpegFile(densePicture(), file); !problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    double best = 1e9;
    for (auto _ : state) {
        const auto start = Clock::now();
        DecodedPicture decoded = decodePictureFile(file, PictureKind::Jpeg);
        benchmark::DoNotOptimize(decoded.picture.data());
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::filesystem::remove(file);
    reportBest(state, best);
}
BENCHMARK(BM_DenseDecodeJpeg)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_DenseCount(benchmark::State& state)
{
    Layers layers;
    layers.Image1 = densePicture();
    TAnalysisState analysis;
    runCount(layers, analysis, denseParams());  // first touch of the layer buffers, outside the timing
    double best = 1e9;
    for (auto _ : state) {
        const auto start = Clock::now();
        runCount(layers, analysis, denseParams());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["particles"] = analysis.AutoCount;
    state.counters["area"] = static_cast<double>(analysis.TotalAreaPixels);
    reportBest(state, best);
}
BENCHMARK(BM_DenseCount)->Unit(benchmark::kMillisecond)->MinTime(2.0);

/// The count button's run of the same count: into new layers, allocated each time, asking a progress
/// hook every few rows. Compare with BM_DenseCount.
void BM_DenseCountIntoNewLayers(benchmark::State& state)
{
    const WorkProgress progress = [](std::int64_t, std::int64_t) { return true; };
    std::optional<FinishedCount> made;
    double best = 1e9;
    for (auto _ : state) {
        made.reset();
        const auto start = Clock::now();
        made = countIntoNewLayers(densePicture(), denseParams(), false, progress);
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["particles"] = made ? made->AutoCount : -1;
    reportBest(state, best);
}
BENCHMARK(BM_DenseCountIntoNewLayers)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DenseReport(benchmark::State& state)
{
    Layers layers;
    layers.Image1 = densePicture();
    TAnalysisState analysis;
    analysis.ImageFileName = "dense.bmp";
    analysis.ImageWidth = layers.Image1.width();
    analysis.ImageHeight = layers.Image1.height();
    runCount(layers, analysis, denseParams());
    finishCountState(analysis);
    const ParameterTexts texts = denseTexts();
    const RegionalDateTime regional = RegionalDateTime::fromSystem();
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "c_spottally_dense_bench.txt";
    double best = 1e9;
    for (auto _ : state) {
        const auto start = Clock::now();
        computeResults(texts, analysis);
        const std::vector<std::string> lines =
            reportLines(texts, analysis, reportDateTime(currentLocalDateTime(), regional));
        const FileSaveOutcome saved = writeReportFile(file, lines);
        benchmark::DoNotOptimize(saved);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::filesystem::remove(file);
    reportBest(state, best);
}
BENCHMARK(BM_DenseReport)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
