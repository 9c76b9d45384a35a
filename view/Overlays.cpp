#include "view/Overlays.h"
#include "core/FieldLabels.h"

#include <algorithm>
#include <cstdint>

#include "core/FieldText.h"

namespace {

/// The "Pixels / mm" field as a whole number; throws FieldError for text that is not one.
std::int64_t readPixelsPerMm(std::string_view text)
{
    return readWholeField(kPixelsPerMmField, text, 0, INT32_MAX);
}

/// Overlay size in pixels: pixels per mm x micrometres div 1000.
std::int64_t micronsToPixels(std::int64_t pixelsPerMm, std::uint8_t microns)
{
    return pixelsPerMm * microns / 1000;
}

std::string tooSmallMessage(const char* what, std::uint8_t microns, std::int64_t pixelsPerMm)
{
    return "Division by zero: " + std::string(what) + " of " + std::to_string(microns) +
           " \xC2\xB5m is less than one pixel at " + std::to_string(pixelsPerMm) + " pixels / mm.";
}

void putPixel(Picture& picture, std::int64_t x, std::int64_t y, std::uint32_t colour)
{
    if (x < 0 || y < 0 || x >= picture.width() || y >= picture.height()) return;
    picture.setPixel(static_cast<int>(x), static_cast<int>(y), colour);
}

/// How the scale bar's label is written; none until a program that has fonts sets one.
ScaleLabelWriter labelWriter = nullptr;

}  // namespace

void setScaleLabelWriter(ScaleLabelWriter writer)
{
    labelWriter = writer;
}

CellLattice centredLattice(int width, int height, std::int64_t cellSize)
{
    CellLattice lattice;
    lattice.cellSize = cellSize;
    lattice.nx = width / cellSize;
    lattice.ny = height / cellSize;
    lattice.ox = (width - lattice.nx * cellSize) / 2;
    lattice.oy = (height - lattice.ny * cellSize) / 2;
    return lattice;
}

void drawHorizontalLine(Picture& picture, std::int64_t x0, std::int64_t x1, std::int64_t y,
                        std::uint32_t colour, bool dotted)
{
    for (std::int64_t x = x0; x < x1; ++x)
        if (!dotted || (x - x0) % 2 == 0) putPixel(picture, x, y, colour);
}

void drawVerticalLine(Picture& picture, std::int64_t x, std::int64_t y0, std::int64_t y1,
                      std::uint32_t colour, bool dotted)
{
    for (std::int64_t y = y0; y < y1; ++y)
        if (!dotted || (y - y0) % 2 == 0) putPixel(picture, x, y, colour);
}

void drawFilledBox(Picture& picture, std::int64_t left, std::int64_t top, std::int64_t right,
                   std::int64_t bottom, std::uint32_t outline, std::uint32_t fill)
{
    if (right <= left || bottom <= top) return;
    // Only the part inside the picture is visited, so a box far larger than the picture costs nothing.
    const std::int64_t fromX = std::max<std::int64_t>(left, 0);
    const std::int64_t toX = std::min<std::int64_t>(right, picture.width());
    const std::int64_t fromY = std::max<std::int64_t>(top, 0);
    const std::int64_t toY = std::min<std::int64_t>(bottom, picture.height());
    for (std::int64_t y = fromY; y < toY; ++y) {
        const bool edgeRow = y == top || y == bottom - 1;
        for (std::int64_t x = fromX; x < toX; ++x) {
            const bool edge = edgeRow || x == left || x == right - 1;
            putPixel(picture, x, y, edge ? outline : fill);
        }
    }
}

/// An overlay's size in pixels from the "Pixels / mm" text; 0, with result.message saying why, when
/// the text is no usable number or the size comes out below one pixel.
static std::int64_t overlayPixels(std::string_view pixelsPerMmText, std::uint8_t microns, const char* what,
                           OverlayResult& result)
{
    try {
        const std::int64_t pixelsPerMm = readPixelsPerMm(pixelsPerMmText);
        const std::int64_t size = micronsToPixels(pixelsPerMm, microns);
        if (size == 0) result.message = tooSmallMessage(what, microns, pixelsPerMm);
        return size;
    } catch (const FieldError& error) {
        result.message = error.message;
        return 0;
    }
}

OverlayResult drawGrid(Picture& count, std::uint8_t gridMicrons, std::string_view pixelsPerMmText)
{
    OverlayResult result;
    if (gridMicrons == 0) return result;
    const std::int64_t cell = overlayPixels(pixelsPerMmText, gridMicrons, "a grid cell", result);
    if (cell == 0) return result;
    const CellLattice grid = centredLattice(count.width(), count.height(), cell);
    const std::int64_t right = grid.ox + grid.nx * cell;
    const std::int64_t bottom = grid.oy + grid.ny * cell;
    for (std::int64_t i = 0; i <= grid.ny; ++i)
        drawHorizontalLine(count, grid.ox, right, grid.oy + i * cell, kGridColour, true);
    for (std::int64_t i = 0; i <= grid.nx; ++i)
        drawVerticalLine(count, grid.ox + i * cell, grid.oy, bottom, kGridColour, true);
    result.drawn = true;
    return result;
}

OverlayResult drawScaleBar(Picture& count, std::uint8_t scaleMicrons,
                           std::string_view pixelsPerMmText)
{
    OverlayResult result;
    if (scaleMicrons == 0) return result;
    const std::int64_t length = overlayPixels(pixelsPerMmText, scaleMicrons, "a scale bar", result);
    if (length == 0) return result;
    const CellLattice place = centredLattice(count.width(), count.height(), length);
    const std::int64_t x0 = place.ox;
    const std::int64_t y0 = place.oy;
    // The outline's left and right edges are exactly `length` pixels apart.
    drawFilledBox(count, x0, y0, x0 + length + 1, y0 + kScaleBoxRows, kScaleOutline, kScaleFill);

    // The label in two pieces: the number with the micro sign, then the "m" a little further right for
    // wider numbers. Short bars of 5 µm or less carry no label.
    constexpr int kLabelLeast = 5;
    const bool labelInReach = x0 + length < INT32_MAX / 2;
    if (scaleMicrons > kLabelLeast && labelWriter && !count.empty() && labelInReach) {
        const int top = static_cast<int>(y0 + 1);
        const int numberLeft = static_cast<int>(x0 - 15 + length / 2);
        const int unitLeft = static_cast<int>(x0 + 8 + length / 2 + (scaleMicrons - 21) / 12);
        labelWriter(count, numberLeft, top, std::to_string(scaleMicrons) + " \xCE\xBC", "Symbol");  // micro: U+03BC
        labelWriter(count, unitLeft, top, "m", "Arial");
    }
    result.drawn = true;
    result.bar = ScaleBarPlace{x0, y0, length, scaleMicrons};
    return result;
}
