// The image window's display path on a 24-megapixel layer (6000 x 4000): converting a whole layer for
// display (once per change), converting a ring-sized part (a manual edit), and painting the visible
// part of the stretched layer (every repaint, zoom and flip).

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "view/DisplayImage.h"

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

}  // namespace

BENCHMARK_MAIN();
