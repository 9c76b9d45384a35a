#include "view/ManualEdit.h"

#include <algorithm>
#include <cmath>

#include "core/Ring.h"

namespace {

constexpr std::uint8_t kMarkBlue = 252;     // blue byte of every mark in the area layer
constexpr std::uint8_t kCentreGreen = 55;   // with kMarkBlue: a CentreMarker
constexpr std::uint8_t kDisabledByte = 255; // blue and green of a removed marker
constexpr int kDotRun = 3;                  // the dotted band: 3 pixels inverted, 3 left

}  // namespace

int pressCoordinate(int position, std::uint16_t zoomPercent)
{
    if (zoomPercent == 0) return position;
    // Equal to dividing by zoom x 0.01 and truncating, for every zoom the window can reach.
    const long long scaled = static_cast<long long>(position) * 100;
    return static_cast<int>(scaled / zoomPercent);
}

int moveCoordinate(int position, std::uint16_t zoomPercent)
{
    if (zoomPercent == 0) return position;
    // Extended precision with 0.01 as an extended constant, as the picture coordinates always were.
    const long double quotient = static_cast<long double>(position) / (static_cast<long double>(zoomPercent) * 0.01L);
    return static_cast<int>(std::nearbyint(quotient));  // the default rounding: halves to even
}

std::vector<BandRun> selectionBandRuns(int x0, int y0, int x1, int y1, int width, int height)
{
    std::vector<BandRun> runs;
    const int left = std::min(x0, x1), right = std::max(x0, x1) - 1;
    const int top = std::min(y0, y1), bottom = std::max(y0, y1) - 1;
    if (right < left || bottom < top) return runs;
    // Walk the outline once, clockwise from the top-left corner; consecutive dot pixels on one edge
    // join into one run.
    int step = 0;
    bool extendable = false;  // the last pixel went into runs.back() and the next one may join it
    const auto visit = [&](int x, int y, bool horizontal, int dx, int dy) {
        const bool dotOn = (step++ / kDotRun) % 2 == 0;
        if (!dotOn || x < 0 || y < 0 || x >= width || y >= height) {
            extendable = false;
            return;
        }
        if (extendable) {
            BandRun& run = runs.back();
            // Walking left or up, the run grows at its start.
            if (dx < 0) run.x = x;
            if (dy < 0) run.y = y;
            ++run.length;
            return;
        }
        runs.push_back(BandRun{x, y, 1, horizontal});
        extendable = true;
    };
    const auto edge = [&](auto&& walk) {
        extendable = false;  // a new edge starts a new run
        walk();
    };
    edge([&] { for (int x = left; x <= right; ++x) visit(x, top, true, 1, 0); });
    edge([&] { for (int y = top + 1; y <= bottom; ++y) visit(right, y, false, 0, 1); });
    if (bottom > top) edge([&] { for (int x = right - 1; x >= left; --x) visit(x, bottom, true, -1, 0); });
    if (right > left) edge([&] { for (int y = bottom - 1; y > top; --y) visit(left, y, false, 0, -1); });
    return runs;
}

void manualAdd(Layers& layers, TAnalysisState& state, int x, int y)
{
    ++state.ManualAdded;
    ++state.AutoCount;
    drawRing(layers.Image2, x, y, kAddedRingColour);
    if (layers.Image3.contains(x, y)) layers.Image3.setPixel(x, y, kAddedMarkerColour);
}

bool findRemovableMarker(const Picture& area, int x, int y, MarkerPosition& found)
{
    // Only the part of the search square inside the picture is read.
    const int top = std::max(0, y - kRemoveReach), bottom = std::min(area.height() - 1, y + kRemoveReach);
    const int left = std::max(0, x - kRemoveReach), right = std::min(area.width() - 1, x + kRemoveReach);
    for (int row = top; row <= bottom; ++row) {
        const std::uint8_t* line = area.row(row);
        for (int column = left; column <= right; ++column) {
            const std::uint8_t* p = line + static_cast<std::size_t>(column) * Picture::kBytesPerPixel;
            if (p[0] != kMarkBlue || p[1] != kCentreGreen) continue;
            found = {static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column)};
            return true;
        }
    }
    return false;
}

bool removeMarkerAt(Layers& layers, TAnalysisState& state, int x, int y)
{
    Picture& area = layers.Image3;
    if (!area.contains(x, y)) return false;
    std::uint8_t* p = area.row(y) + static_cast<std::size_t>(x) * Picture::kBytesPerPixel;
    if (p[0] != kMarkBlue || p[1] != kCentreGreen) return false;
    p[0] = kDisabledByte;
    p[1] = kDisabledByte;
    drawRing(layers.Image2, x, y, kRemovedRingColour);
    ++state.ManualRemoved;
    --state.AutoCount;
    return true;
}

bool manualRemove(Layers& layers, TAnalysisState& state, int x, int y, MarkerPosition* removedAt)
{
    MarkerPosition found;
    if (!findRemovableMarker(layers.Image3, x, y, found)) return false;
    removeMarkerAt(layers, state, static_cast<int>(found.column), static_cast<int>(found.row));
    if (removedAt) *removedAt = found;
    return true;
}
