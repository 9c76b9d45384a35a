// Opening and counting a 24-megapixel JPEG in the window as a user does it (the picture opened, the
// count button pressed, the picture window painted), for the first picture after the start and for the
// next ones of a series, beside the headless counter's whole process on the same file. The window should
// take at most twice the counter's time. Runs offscreen; cpu_ms is the CPU time of all threads.
//
//   build/bench/WindowOpenCount_bench [--benchmark_repetitions=3]

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <cstdlib>

#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"
#include "gui/UserDialogs.h"
#include "support/QuietDialogs.h"
#include "picture/PictureLoading.h"
#include "support/SyntheticMicrograph.h"

namespace {

/// The 24-megapixel picture, written once: 6000 x 4000 with 10000 particles, JPEG quality 90.
const QString& pictureFile()
{
    static QTemporaryDir folder;
    static const QString file = [] {
        MicrographOptions options;
        options.width = 6000;
        options.height = 4000;
        options.particles = 10000;
        options.seed = 11;
        const QString path = folder.filePath(QStringLiteral("plate.jpg"));
        const std::string error = writeJpegFile(makeSyntheticMicrograph(options).picture, path.toStdString());
        if (!error.empty()) {
            std::fprintf(stderr, "cannot write the picture: %s\n", error.c_str());
            std::exit(1);
        }
        return path;
    }();
    return file;
}

/// CPU time of the whole process (all threads), in milliseconds: on a shared machine the wall clock
/// also counts the time others take.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

/// CPU time of the ended child processes, in milliseconds.
double childrenCpuMs()
{
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return static_cast<double>(children.ru_utime.tv_sec + children.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e3;
}

/// One picture as the user handles it: opened, counted with the count button, the count view painted.
void openCountAndPaint(benchmark::State& state, const QString& picture)
{
    if (!Form1->openChosenPicture(picture)) state.SkipWithError("the picture did not open");
    QCoreApplication::processEvents();  // the original on screen
    Form1->BnCount->click();
    Form2->repaint();  // the count view on screen
    QCoreApplication::processEvents();
}

/// Arg 0: the first picture after the start (fresh windows each time). Arg 1: the next pictures of a
/// series, after one picture was opened and counted.
void BM_WindowOpenAndCount(benchmark::State& state)
{
    const QString picture = pictureFile();
    const bool first = state.range(0) == 0;
    QTemporaryDir settings;
    const std::string settingsFile =
        QDir(settings.path()).filePath(QStringLiteral("SpotTally.ini")).toStdString();
    QuietDialogs quiet;  // the benchmark saves nothing
    setDialogs(&quiet);
    createForms(settingsFile);
    Form1->show();
    if (!first) openCountAndPaint(state, picture);
    double cpu = 0;
    for (auto _ : state) {
        if (first) {
            state.PauseTiming();
            destroyForms();
            createForms(settingsFile);
            Form1->show();
            state.ResumeTiming();
        }
        const double before = processCpuMs();
        openCountAndPaint(state, picture);
        cpu += processCpuMs() - before;
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    destroyForms();
    setDialogs(nullptr);
}
BENCHMARK(BM_WindowOpenAndCount)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

/// The counter's whole process on the same picture: start, decoding, count, report, end. cpu_ms: the
/// counter's own CPU time (all its threads).
void BM_CounterProcess(benchmark::State& state)
{
    const QString picture = pictureFile();
    QTemporaryDir out;
    double cpu = 0, before = childrenCpuMs();
    for (auto _ : state) {
        QProcess counter;
        counter.start(QStringLiteral(SPOTTALLY_COUNTER), {QStringLiteral("--out"), out.path(), picture});
        if (!counter.waitForFinished(60000) || counter.exitCode() != 0)
            state.SkipWithError("the counter failed");
        const double total = childrenCpuMs();
        cpu += total - before;
        before = total;
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CounterProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return runWindowBenchmarks(argc, argv); }
