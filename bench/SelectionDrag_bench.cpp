// The selection and the clipboard on a 24-megapixel original (6000 x 4000): one drag step (the dots of
// the band shown over the picture, worked out for the new corner), and the pictures the Edit commands
// hand to and take from the clipboard.

#include <benchmark/benchmark.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "view/ClipboardOps.h"
#include "view/ManualEdit.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

Picture& bigPicture()
{
    static Picture picture = [] {
        Picture made(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = made.row(y);
            for (std::size_t i = 0; i < made.stride(); ++i) row[i] = static_cast<std::uint8_t>(i * 5 + y);
        }
        return made;
    }();
    return picture;
}

/// One move of a drag spanning most of the picture.
void BM_DragStep(benchmark::State& state)
{
    int end = 5000;
    for (auto _ : state) {
        end = end == 5000 ? 5001 : 5000;
        std::vector<BandRun> runs = selectionBandRuns(100, 100, end, 3500, kWidth, kHeight);
        benchmark::DoNotOptimize(runs.data());
    }
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMicrosecond);

/// Ctrl+C: the whole original as the clipboard's picture.
void BM_WholePictureToClipboardImage(benchmark::State& state)
{
    for (auto _ : state) {
        QImage image = toQImage(bigPicture());
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_WholePictureToClipboardImage)->Unit(benchmark::kMillisecond);

/// Ctrl+V: the clipboard's picture back as a picture.
void BM_ClipboardImageToPicture(benchmark::State& state)
{
    const QImage image = toQImage(bigPicture());
    for (auto _ : state) {
        Picture picture = fromQImage(image);
        benchmark::DoNotOptimize(picture.data());
    }
}
BENCHMARK(BM_ClipboardImageToPicture)->Unit(benchmark::kMillisecond);

/// Copy of a selection of half the picture.
void BM_CopyHalfThePicture(benchmark::State& state)
{
    for (auto _ : state) {
        Picture part = copyRectangle(bigPicture(), 1500, 1000, 4500, 3000);
        benchmark::DoNotOptimize(part.data());
    }
}
BENCHMARK(BM_CopyHalfThePicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
