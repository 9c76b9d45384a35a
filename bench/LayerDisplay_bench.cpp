// The image window's display path on a 24-megapixel layer (6000 x 4000): converting a whole layer for
// display (once per change), converting a ring-sized part (a manual edit), scaling the count layer down
// over the original (once per zoom and change), with brightness and contrast, and painting the visible
// part (every repaint, zoom and flip).

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "core/Ring.h"
#include "view/DisplayImage.h"
#include "view/LayerDisplay.h"
#include "view/Overlays.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const Picture& bigLayer()
{
    static const Picture layer = [] {
        Picture picture(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = picture.row(y);
            for (std::size_t i = 0; i < picture.stride(); ++i) row[i] = static_cast<std::uint8_t>(i * 7 + y);
        }
        return picture;
    }();
    return layer;
}

void BM_ConvertWholeLayer(benchmark::State& state)
{
    const Picture& layer = bigLayer();  // made before the timing starts
    QImage display;
    for (auto _ : state) {
        makeDisplayImage(layer, display);
        benchmark::DoNotOptimize(display.constBits());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ConvertWholeLayer)->Unit(benchmark::kMillisecond);

void BM_ConvertRingArea(benchmark::State& state)
{
    QImage display;
    makeDisplayImage(bigLayer(), display);
    for (auto _ : state) {
        updateDisplayImage(bigLayer(), display, QRect(3000, 2000, 12, 12));
        benchmark::DoNotOptimize(display.constBits());
    }
}
BENCHMARK(BM_ConvertRingArea);

/// Paints a 1000 x 700 window's worth of the layer at the zoom given in percent, as the view does.
void BM_PaintVisiblePart(benchmark::State& state)
{
    const int zoom = static_cast<int>(state.range(0));
    QImage display;
    makeDisplayImage(bigLayer(), display);
    const QRect shown(0, 0, kWidth * zoom / 100, kHeight * zoom / 100);
    QImage window(1000, 700, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&window);
        painter.setClipRect(window.rect());
        painter.drawImage(shown, display);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}
BENCHMARK(BM_PaintVisiblePart)->Arg(10)->Arg(50)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

/// The count layer: the big layer with a grid and 2000 rings.
const Picture& countLayer()
{
    static const Picture layer = [] {
        Picture count = bigLayer();
        drawGrid(count, 25, "3952");
        for (int i = 0; i < 2000; ++i)
            drawRing(count, 10 + (i * 977) % (kWidth - 20), 10 + (i * 613) % (kHeight - 20), 0x55FF99);
        return count;
    }();
    return layer;
}

/// The whole count layer scaled down to the zoom given in percent, with its marks kept whole: what a
/// zoom costs once.
void BM_ScaleDownCountLayer(benchmark::State& state)
{
    const auto zoom = static_cast<std::uint16_t>(state.range(0));
    const Picture& count = countLayer();
    QImage display;
    for (auto _ : state) {
        display = QImage();
        renderLayer(count, &bigLayer(), DisplayAdjustment{}, zoom, display);
        benchmark::DoNotOptimize(display.constBits());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ScaleDownCountLayer)->Arg(10)->Arg(25)->Arg(37)->Arg(50)->Arg(90)->Unit(benchmark::kMillisecond);

/// The whole count layer at 100 % with brightness and contrast changed (marks kept as drawn).
void BM_AdjustCountLayer(benchmark::State& state)
{
    const Picture& count = countLayer();
    const DisplayAdjustment adjustment = moreContrast(brighter(DisplayAdjustment{}));
    QImage display;
    for (auto _ : state) {
        renderLayer(count, &bigLayer(), adjustment, 100, display);
        benchmark::DoNotOptimize(display.constBits());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_AdjustCountLayer)->Unit(benchmark::kMillisecond);

/// A manual edit zoomed out: the ring's part of the scaled copy rendered again.
void BM_ScaleDownRingArea(benchmark::State& state)
{
    QImage display;
    renderLayer(countLayer(), &bigLayer(), DisplayAdjustment{}, 25, display);
    const QRect part = displayArea(QRect(2995, 1995, 11, 11), 25);
    for (auto _ : state) {
        renderLayer(countLayer(), &bigLayer(), DisplayAdjustment{}, 25, display, part);
        benchmark::DoNotOptimize(display.constBits());
    }
}
BENCHMARK(BM_ScaleDownRingArea);

/// Zoomed in: a 1000 x 700 window's worth sampled from the 100 % copy at each paint.
void BM_SampleZoomedIn(benchmark::State& state)
{
    const auto zoom = static_cast<std::uint16_t>(state.range(0));
    QImage full;
    makeDisplayImage(bigLayer(), full);
    QImage tile;
    for (auto _ : state) {
        sampleZoomedIn(full, zoom, QRect(2000, 1500, 1000, 700), tile);
        benchmark::DoNotOptimize(tile.constBits());
    }
}
BENCHMARK(BM_SampleZoomedIn)->Arg(137)->Arg(400)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
