// The selection and the clipboard on a 24-megapixel original (6000 x 4000): one drag step (the old
// band erased, the new one drawn, only the band's edges converted for display), and the pictures the
// Edit commands hand to and take from the clipboard.

#include <benchmark/benchmark.h>

#include <QImage>
#include <QRect>
#include <algorithm>
#include <cstdlib>

#include "view/ClipboardOps.h"
#include "view/DisplayImage.h"
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

void convertEdges(const Picture& picture, QImage& display, int x0, int y0, int x1, int y1)
{
    const int left = std::min(x0, x1), top = std::min(y0, y1);
    const int width = std::abs(x1 - x0), height = std::abs(y1 - y0);
    for (const QRect& edge : {QRect(left, top, width, 1), QRect(left, top + height - 1, width, 1),
                              QRect(left, top, 1, height), QRect(left + width - 1, top, 1, height)})
        updateDisplayImage(picture, display, edge);
}

/// One move of a drag spanning most of the picture.
void BM_DragStep(benchmark::State& state)
{
    Picture& picture = bigPicture();
    QImage display;
    makeDisplayImage(picture, display);
    int end = 5000;
    for (auto _ : state) {
        drawSelectionBand(picture, 100, 100, end, 3500);  // erase
        convertEdges(picture, display, 100, 100, end, 3500);
        end = end == 5000 ? 5001 : 5000;
        drawSelectionBand(picture, 100, 100, end, 3500);  // draw
        convertEdges(picture, display, 100, 100, end, 3500);
        benchmark::DoNotOptimize(display.constBits());
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
