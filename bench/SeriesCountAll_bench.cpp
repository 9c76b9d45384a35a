// Count all in the series window: 30 fields of 2 megapixels (JPEG) opened as a series, counted and
// saved one after another as the window does it, and the series opened again from the saved reports.
// Targets: Count all under 3 s on 2 cores, opening under 1 s. Runs offscreen.
//
//   build/bench/SeriesCountAll_bench

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "gui/Forms.h"
#include "gui/SeriesWindow.h"
#include "gui/TForm1.h"
#include "gui/UserDialogs.h"
#include "support/QuietDialogs.h"
#include "picture/PictureLoading.h"
#include "support/SyntheticMicrograph.h"

namespace {

constexpr int kFields = 30;

/// The fields, written once: 1633 x 1225 with 400 particles each, JPEG quality 90.
const QString& fieldsFolder()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        for (int i = 0; i < kFields; ++i) {
            MicrographOptions options;
            options.width = 1633;
            options.height = 1225;
            options.particles = 400;
            options.seed = static_cast<std::uint32_t>(100 + i);
            const QString file = folder.filePath(QStringLiteral("field%1.jpg").arg(i + 1));
            const std::string error = writeJpegFile(makeSyntheticMicrograph(options).picture, file.toStdString());
            if (!error.empty()) {
                std::fprintf(stderr, "cannot write a field: %s\n", error.c_str());
                std::exit(1);
            }
        }
        return folder.path();
    }();
    return path;
}

/// Everything but the pictures goes: the series is not counted again.
void removeReports()
{
    for (const auto& entry : std::filesystem::directory_iterator(fieldsFolder().toStdString()))
        if (entry.path().filename().string().rfind("c_", 0) == 0) std::filesystem::remove(entry.path());
}

struct Windows {
    QTemporaryDir settings;
    QuietDialogs quiet{UserDialogs::ReplaceChoice::Replace};
    Windows()
    {
        setDialogs(&quiet);
        createForms(QDir(settings.path()).filePath(QStringLiteral("SpotTally.ini")).toStdString());
        Form1->show();
    }
    ~Windows()
    {
        destroyForms();
        setDialogs(nullptr);
    }
};

void BM_SeriesCountAll(benchmark::State& state)
{
    const std::filesystem::path folder = fieldsFolder().toStdString();
    Windows windows;
    for (auto _ : state) {
        state.PauseTiming();
        removeReports();
        if (!seriesWindow()->openSeries({folder, {}})) state.SkipWithError("the series did not open");
        state.ResumeTiming();
        seriesWindow()->BnCountallClick();
        while (seriesWindow()->countingAll()) QCoreApplication::processEvents();
    }
    std::int64_t particles = 0;
    for (const SeriesRow& row : seriesWindow()->series().rows()) {
        if (row.state != SeriesState::Saved) {
            std::fprintf(stderr, "%s: %s %s\n", row.name.c_str(), seriesStateText(row.state), row.problem.c_str());
            state.SkipWithError("a field was not counted and saved");
        }
        particles += row.count.value_or(0);
    }
    state.counters["particles_per_field"] = static_cast<double>(particles) / kFields;
}
BENCHMARK(BM_SeriesCountAll)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SeriesOpenSaved(benchmark::State& state)
{
    const std::filesystem::path folder = fieldsFolder().toStdString();
    Windows windows;
    for (auto _ : state)
        if (!seriesWindow()->openSeries({folder, {}})) state.SkipWithError("the series did not open");
}
BENCHMARK(BM_SeriesOpenSaved)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return runWindowBenchmarks(argc, argv); }
