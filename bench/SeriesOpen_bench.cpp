// Opening a series of 30 fields of 2 megapixels (1600 x 1200 JPEG pictures), each with its saved
// report and particle table beside it: headers and reports are read, no picture is decoded. The target
// is well under a second for the whole series.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "core/ParameterTexts.h"
#include "picture/PictureLoading.h"
#include "report/ParticleTable.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "report/Results.h"
#include "report/Series.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFields = 30;
constexpr int kWidth = 1600, kHeight = 1200;

/// The series' folder, made once: 30 noisy fields with their reports and particle tables.
const fs::path& seriesFolder()
{
    static const fs::path folder = [] {
        const fs::path made =
            fs::temp_directory_path() / ("spottally-series-bench-" + std::to_string(::getpid()));
        fs::create_directories(made);
        std::mt19937 random(7);
        Picture picture(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = picture.row(y);
            for (int x = 0; x < kWidth * Picture::kBytesPerPixel; ++x)
                row[x] = static_cast<std::uint8_t>(random());
        }
        for (int i = 1; i <= kFields; ++i) {
            const std::string name = "field" + std::to_string(i) + ".jpg";
            writeJpegFile(picture, made / name);
            ParameterTexts fields;
            TAnalysisState state;
            state.ImageFileName = name;
            state.ImageWidth = kWidth;
            state.ImageHeight = kHeight;
            state.AutoCount = 300 + i;
            computeResults(fields, state);
            writeReportFile(made / reportFileName(name), reportLines(fields, state, "09.12.2026  12:00:00"));
            ParticleList particles;
            for (int p = 0; p < state.AutoCount; ++p) particles.particles.push_back({p, p, 20 + p % 30});
            writeParticleTable(made / particleTableFileName(name), particles, fields);
        }
        return made;
    }();
    return folder;
}

void BM_OpenSeries(benchmark::State& state)
{
    const fs::path& folder = seriesFolder();
    for (auto _ : state) {
        Series series = Series::openFolder(folder);
        if (series.size() != kFields || series.row(0).state != SeriesState::Saved)
            state.SkipWithError("not opened");
        benchmark::DoNotOptimize(series.pooled());
    }
}
BENCHMARK(BM_OpenSeries)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(seriesFolder(), ignored);
    return 0;
}
