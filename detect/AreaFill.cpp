#include "detect/AreaFill.h"

#include <algorithm>
#include <cstring>

#include "core/Markers.h"
#include "detect/FillMasks.h"

namespace {

constexpr std::ptrdiff_t kPixel = Picture::kBytesPerPixel;

/// The candidate window clipped to the picture; empty when it reaches above row 0 or left of
/// column 0 (such a candidate is never accepted) or when n is 0.
struct Window {
    int firstRow = 0, lastRow = -1;             // rows, both included
    std::ptrdiff_t firstByte = 0, endByte = 0;  // byte offsets, end excluded
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
    window.endByte =
        std::min<std::ptrdiff_t>(run.x + kPixel * n, static_cast<std::ptrdiff_t>(layer.stride()));
    return window;
}

/// Fill test of the pixel at offset o of a reference row: brightness of the dominant channel and
/// colourdistance both within their tolerances.
inline bool passesFillTest(const std::uint8_t* row, std::ptrdiff_t o, const CountWorkingValues& run)
{
    return std::abs(row[o + run.model.dominant] - run.model.dominantValue) <= run.brightnessTolerance &&
           colourdistance(row, o, run.model) <= run.colourTolerance;
}

}  // namespace

LayerRowSupply::LayerRowSupply(CountLayers layers, const RowsReady* decoded)
    : layers_(layers), decoded_(decoded), height_(layers.Image1.height()), decodedRows_(decoded ? 0 : height_)
{
    // Every row is copied before it is used, so the buffers need no clearing first.
    layers.Image2.resizeForOverwrite(layers.Image1.width(), layers.Image1.height());
    layers.Image3.resizeForOverwrite(layers.Image1.width(), layers.Image1.height());
    // Copy in steps of about 64 KB: few calls for narrow pictures, little cache for wide ones.
    const std::size_t stride = std::max<std::size_t>(1, layers.Image1.stride());
    rowsPerStep_ = std::max<std::int64_t>(1, static_cast<std::int64_t>((64 * 1024) / stride));
}

void LayerRowSupply::copyUpTo(std::int64_t lastRow)
{
    lastRow = std::min(std::max(lastRow, copiedRows_ + rowsPerStep_ - 1), height_ - 1);
    if (lastRow < copiedRows_) return;
    ensureDecoded(lastRow);
    const std::size_t stride = layers_.Image1.stride();
    const std::size_t bytes = stride * static_cast<std::size_t>(lastRow + 1 - copiedRows_);
    const std::uint8_t* source = layers_.Image1.row(static_cast<int>(copiedRows_));
    std::memcpy(layers_.Image2.row(static_cast<int>(copiedRows_)), source, bytes);
    std::memcpy(layers_.Image3.row(static_cast<int>(copiedRows_)), source, bytes);
    copiedRows_ = lastRow + 1;
}

void LayerRowSupply::waitForDecoded(std::int64_t lastRow)
{
    lastRow = std::min(lastRow, height_ - 1);
    if (lastRow < decodedRows_) return;
    decodedRows_ = std::min(decoded_->waitFor(lastRow + 1), height_);
    if (lastRow >= decodedRows_) throw RowsNeverReady{};
}

bool nomarknear(CountWorkingValues& run)
{
    const Window window = candidateWindow(run, *run.areaLayer);
    if (window.empty()) return true;
    if (run.knownMarkRow >= window.firstRow && run.knownMarkRow <= window.lastRow &&
        run.knownMarkByte >= window.firstByte && run.knownMarkByte < window.endByte &&
        run.areaLayer->row(run.knownMarkRow)[run.knownMarkByte] == kMarkBlue)
        return false;
    for (int r = window.firstRow; r <= window.lastRow; ++r) {
        const std::uint8_t* row = run.areaLayer->row(r);
        for (std::ptrdiff_t o = window.firstByte; o < window.endByte; o += kPixel)
            if (row[o] == kMarkBlue) {
                run.knownMarkRow = r;
                run.knownMarkByte = o;
                return false;
            }
    }
    return true;
}

bool enoughmatches(const CountWorkingValues& run)
{
    const Window window = candidateWindow(run, *run.countLayer);
    if (window.empty()) return false;
    // Wide on purpose: a counter of 8 bits wrapped for windows of 256 pixels and more. The count
    // only grows, so the answer is known as soon as it passes 2n.
    const std::int64_t needed = 2 * static_cast<std::int64_t>(run.minSize) + 1;
    std::int64_t matches = 0;
    for (int r = window.firstRow; r <= window.lastRow; ++r) {
        const std::uint8_t* row = run.countLayer->row(r);
        for (std::ptrdiff_t o = window.firstByte; o < window.endByte; o += kPixel)
            if (colourdistance2(row, o, run.model) <= run.colourTolerance && ++matches >= needed) return true;
    }
    return false;
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
    // The rectangle of pixels whose tiles of bit planes this fill has made sure of; empty at first.
    int readyTop = 1, readyBottom = 0, readyLeft = 1, readyRight = 0;
    for (int k = 1;; ++k) {
        const int top = run.y - k;
        const int bottom = run.y + k;
        const std::ptrdiff_t left = run.x - kPixel * k;
        const std::ptrdiff_t right = run.x + kPixel * k;
        std::uint16_t successes = 0;                 // at most 8k + 2 per ring, and k stays below 257
        if (run.rows) run.rows->ensure(bottom + 1);  // the sides read one row below the ring

        // Colour and position sums of the particle table: the original's pixel under each success.
        const auto noteColour = [&](int r, std::ptrdiff_t o) {
            const std::uint8_t* pixel = original.row(r) + o;
            run.particle->sumBlue += pixel[0];
            run.particle->sumGreen += pixel[1];
            run.particle->sumRed += pixel[2];
            run.particle->sumX += static_cast<std::uint64_t>(o / kPixel);
            run.particle->sumY += static_cast<std::uint64_t>(r);
        };
        const int lastSideRow = std::min(bottom, height - 2);
        const int leftColumn = static_cast<int>(left / kPixel), rightColumn = static_cast<int>(right / kPixel);

        // On bit planes from ring kMaskedRing on, or earlier where another fill has made their tiles.
        bool masked = false;
        if (run.masks) {
            // What the four steps read and write: rows top - 1 .. bottom + 1, columns left - 1 .. right.
            const int needTop = top - 1, needBottom = std::min(bottom + 1, height - 1);
            const int needLeft = leftColumn - 1, needRight = rightColumn;
            masked = needTop >= readyTop && needBottom <= readyBottom && needLeft >= readyLeft &&
                     needRight <= readyRight;
            if (!masked && (k >= kMaskedRing ||
                            (k >= kMaskedEarlyRing && run.masks->made(needTop, needBottom, needLeft, needRight)))) {
                // Whole tiles: the next rings need no new ones until they cross a tile's edge.
                constexpr int kTile = FillMasks::kTile;
                readyTop = needTop / kTile * kTile;
                readyBottom = std::min(needBottom / kTile * kTile + kTile - 1, height - 1);
                readyLeft = needLeft / kTile * kTile;
                readyRight = std::min(needRight / kTile * kTile + kTile - 1, area.width() - 1);
                run.masks->prepare(readyTop, readyBottom, readyLeft, readyRight);
                masked = true;
            }
        }

        if (masked) {
            // The same four steps in the same order, 64 pixels at a time. Within a step no pixel's
            // test reads a pixel that the step marks, so testing them together changes nothing.
            successes = static_cast<std::uint16_t>(run.masks->growRing(top, bottom, leftColumn, rightColumn, lastSideRow));
        } else {
            // A pixel of row r, offset o passed: mark it, and tell the masks of a new mark.
            const auto grew = [&](int r, std::uint8_t* pixels, std::ptrdiff_t o) {
                if (markArea(pixels + o) && run.masks) run.masks->noteMarked(r, static_cast<int>(o / kPixel));
                ++successes;
                if (run.particle) noteColour(r, o);
            };
            // A horizontal edge of the ring: a pixel grows when one of its three inner neighbours is marked.
            const auto growEdge = [&](int r, const std::uint8_t* reference, const std::uint8_t* inner) {
                std::uint8_t* target = area.row(r);
                for (std::ptrdiff_t o = left; o < right; o += kPixel) {
                    if ((inner[o - kPixel] == kMarkBlue || inner[o] == kMarkBlue || inner[o + kPixel] == kMarkBlue) &&
                        passesFillTest(reference, o, run))
                        grew(r, target, o);
                }
            };
            // Top edge, judged on the original; inner neighbours on the row below.
            growEdge(top, original.row(top), area.row(top + 1));
            // Bottom edge, judged on the count layer with its rings; inner neighbours on the row above.
            growEdge(bottom, count.row(bottom), area.row(bottom - 1));
            // Sides, on the count layer, down to row height - 2 at most; inner neighbours in the column
            // towards the centre, one row above, the same row and one row below.
            for (int r = top; r <= lastSideRow; ++r) {
                const std::uint8_t* reference = count.row(r);
                const std::uint8_t* above = area.row(r - 1);
                std::uint8_t* here = area.row(r);
                const std::uint8_t* below = here + rowBytes;
                const std::ptrdiff_t leftIn = left + kPixel, rightIn = right - kPixel;
                if ((above[leftIn] == kMarkBlue || here[leftIn] == kMarkBlue || below[leftIn] == kMarkBlue) &&
                    passesFillTest(reference, left, run))
                    grew(r, here, left);
                if ((above[rightIn] == kMarkBlue || here[rightIn] == kMarkBlue || below[rightIn] == kMarkBlue) &&
                    passesFillTest(reference, right, run))
                    grew(r, here, right);
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
    if (run.particle) run.particle->areaPixels += particleArea;
    return particleArea;
}
