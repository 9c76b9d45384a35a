#include "detect/AreaFill.h"

#include <algorithm>

#include "detect/Markers.h"

namespace {

constexpr std::ptrdiff_t kPixel = Picture::kBytesPerPixel;

/// The candidate window clipped to the picture; empty when it reaches above row 0 or left of
/// column 0 (such a candidate is never accepted) or when n is 0.
struct Window {
    int firstRow = 0, lastRow = -1;                  // rows, both included
    std::ptrdiff_t firstByte = 0, endByte = 0;        // byte offsets, end excluded
    bool empty() const { return lastRow < firstRow || endByte <= firstByte; }
};

Window candidateWindow(const CountWorkingValues& run, const Picture& layer)
{
    Window window;
    const int n = run.minSize;
    if (run.y < n || run.x < kPixel * n) return window;  // deliberate: rejects, see nomarknear
    window.firstRow = run.y - n;
    window.lastRow = std::min(run.y + n, layer.height() - 1);
    window.firstByte = run.x - kPixel * n;
    window.endByte = std::min<std::ptrdiff_t>(run.x + kPixel * n, static_cast<std::ptrdiff_t>(layer.stride()));
    return window;
}

/// Fill test of the pixel at offset o of a reference row: brightness of the dominant channel and
/// colourdistance both within their tolerances.
inline bool passesFillTest(const std::uint8_t* row, std::ptrdiff_t o, const CountWorkingValues& run)
{
    return std::abs(row[o + run.model.dominant] - run.model.dominantValue) <= run.brightnessTolerance &&
           colourdistance(row, o, run.model) <= run.colourTolerance;
}

/// Paints an AreaMarker. A pixel whose green byte is 55 gets 54 as it is first marked, so that
/// painted area never reads as a CentreMarker; a pixel already marked is left as it is (a genuine
/// CentreMarker stays one).
inline void markArea(std::uint8_t* pixel)
{
    if (pixel[0] == kMarkBlue) return;
    if (pixel[1] == kCentreGreen) pixel[1] = kNotCentreGreen;
    pixel[0] = kMarkBlue;
}

}  // namespace

bool nomarknear(const CountWorkingValues& run)
{
    const Window window = candidateWindow(run, *run.areaLayer);
    if (window.empty()) return true;
    for (int r = window.firstRow; r <= window.lastRow; ++r) {
        const std::uint8_t* row = run.areaLayer->row(r);
        for (std::ptrdiff_t o = window.firstByte; o < window.endByte; o += kPixel)
            if (row[o] == kMarkBlue) return false;
    }
    return true;
}

bool enoughmatches(const CountWorkingValues& run)
{
    const Window window = candidateWindow(run, *run.countLayer);
    if (window.empty()) return false;
    // Wide on purpose: a counter of 8 bits wrapped for windows of 256 pixels and more.
    std::int64_t matches = 0;
    for (int r = window.firstRow; r <= window.lastRow; ++r) {
        const std::uint8_t* row = run.countLayer->row(r);
        for (std::ptrdiff_t o = window.firstByte; o < window.endByte; o += kPixel)
            if (colourdistance2(row, o, run.model) <= run.colourTolerance) ++matches;
    }
    return matches > 2 * static_cast<std::int64_t>(run.minSize);
}

std::int64_t fillarea(const CountWorkingValues& run, TAnalysisState& state)
{
    const Picture& original = *run.original;
    const Picture& count = *run.countLayer;
    Picture& area = *run.areaLayer;
    const int height = area.height();
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(area.stride());

    // The count's margins keep the first ring and its inner neighbours inside the picture; a caller
    // that does not keep them gets no area rather than reads outside the rows.
    if (run.y < 2 || run.y + 1 > height - 1 || run.x < 2 * kPixel || run.x + kPixel >= rowBytes) return 0;

    std::int64_t particleArea = 0;
    for (int k = 1;; ++k) {
        const int top = run.y - k;
        const int bottom = run.y + k;
        const std::ptrdiff_t left = run.x - kPixel * k;
        const std::ptrdiff_t right = run.x + kPixel * k;
        std::uint16_t successes = 0;  // at most 8k + 2 per ring, and k stays below 257

        // Top edge, judged on the original; inner neighbours on the row below.
        {
            const std::uint8_t* reference = original.row(top);
            const std::uint8_t* inner = area.row(top + 1);
            std::uint8_t* target = area.row(top);
            for (std::ptrdiff_t o = left; o < right; o += kPixel) {
                if (!passesFillTest(reference, o, run)) continue;
                if (inner[o - kPixel] == kMarkBlue || inner[o] == kMarkBlue || inner[o + kPixel] == kMarkBlue) {
                    markArea(target + o);
                    ++successes;
                }
            }
        }
        // Bottom edge, judged on the count layer with its rings; inner neighbours on the row above.
        {
            const std::uint8_t* reference = count.row(bottom);
            const std::uint8_t* inner = area.row(bottom - 1);
            std::uint8_t* target = area.row(bottom);
            for (std::ptrdiff_t o = left; o < right; o += kPixel) {
                if (!passesFillTest(reference, o, run)) continue;
                if (inner[o - kPixel] == kMarkBlue || inner[o] == kMarkBlue || inner[o + kPixel] == kMarkBlue) {
                    markArea(target + o);
                    ++successes;
                }
            }
        }
        // Sides, on the count layer, down to row height - 2 at most; inner neighbours in the column
        // towards the centre, one row above, the same row and one row below.
        const int lastSideRow = std::min(bottom, height - 2);
        for (int r = top; r <= lastSideRow; ++r) {
            const std::uint8_t* reference = count.row(r);
            const std::uint8_t* above = area.row(r - 1);
            std::uint8_t* here = area.row(r);
            const std::uint8_t* below = here + rowBytes;
            if (passesFillTest(reference, left, run)) {
                const std::ptrdiff_t in = left + kPixel;
                if (above[in] == kMarkBlue || here[in] == kMarkBlue || below[in] == kMarkBlue) {
                    markArea(here + left);
                    ++successes;
                }
            }
            if (passesFillTest(reference, right, run)) {
                const std::ptrdiff_t in = right - kPixel;
                if (above[in] == kMarkBlue || here[in] == kMarkBlue || below[in] == kMarkBlue) {
                    markArea(here + right);
                    ++successes;
                }
            }
        }
        particleArea += successes;

        // k squared is held in 16 bits: it wraps to 0 at k = 256, which ends the growth there.
        const auto kSquared = static_cast<std::uint16_t>(k * k);
        const bool grows = successes >= 1 && successes <= 5 * static_cast<int>(kSquared) && top > 1 &&
                           bottom < height - 1 && left > kPixel && right < rowBytes - kPixel;
        if (!grows) break;
    }
    state.TotalAreaPixels += particleArea;
    return particleArea;
}
