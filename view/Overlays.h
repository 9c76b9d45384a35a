#pragma once
// The two overlays of the count layer: a micrometre grid centred on the picture and a scale bar at the
// grid's top-left corner. Both take their size from the "Pixels / mm" field's text, read at the
// moment they draw. Overlays are drawn over whatever the layer shows; nothing is erased.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Picture.h"

/// Where a scale bar was drawn: the box's left and top, the bar's length in pixels (the outline's left
/// and right edges lie that far apart) and its micrometres. Length 0: no bar.
struct ScaleBarPlace {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t length = 0;
    std::uint8_t microns = 0;
    bool operator==(const ScaleBarPlace&) const = default;
};

/// What an overlay command did: drawn is false when the overlay is switched off (0 micrometres) or
/// failed; message is empty unless it failed, and then nothing was drawn. A drawn scale bar tells
/// where it lies.
struct OverlayResult {
    bool drawn = false;
    std::string message;
    ScaleBarPlace bar;
};

/// Where whole cells of cellSize pixels fit, centred: nx x ny cells, left margin ox, top margin oy.
/// An odd left-over pixel falls to the right or bottom.
struct CellLattice {
    std::int64_t cellSize = 0;
    std::int64_t nx = 0;
    std::int64_t ny = 0;
    std::int64_t ox = 0;
    std::int64_t oy = 0;
};
/// cellSize must be positive.
CellLattice centredLattice(int width, int height, std::int64_t cellSize);

constexpr std::uint32_t kGridColour = 0x888888;   // grey, red = green = blue = 136
constexpr std::uint32_t kScaleOutline = 0x000000;  // black
constexpr std::uint32_t kScaleFill = 0xFFFFFF;     // white
constexpr int kScaleBoxRows = 18;                  // the scale box is 18 rows high, outline included

/// The micro sign of the scale bar's label (Greek small letter mu).
constexpr char16_t kMicroSign = u'\u03BC';

/// Draws the grid of gridMicrons cells into the count layer with the dotted grey pen.
OverlayResult drawGrid(Picture& count, std::uint8_t gridMicrons, std::string_view pixelsPerMmText);
/// Writes one piece of the scale bar's label: text (UTF-8) in the font family, black on a white text
/// cell whose top-left corner is (left, top).
using ScaleLabelWriter = void (*)(Picture& count, int left, int top, const std::string& text,
                                  const std::string& family);
/// Sets how drawScaleBar writes its label. The label needs fonts, which only a program with the window
/// system's libraries has: until one sets a writer (view/ScaleLabel.h), the bar has no label.
void setScaleLabelWriter(ScaleLabelWriter writer);

/// Draws the scale bar of scaleMicrons with its label into the count layer. The label is written with
/// the writer set by setScaleLabelWriter, if any; the box is drawn in any case.
OverlayResult drawScaleBar(Picture& count, std::uint8_t scaleMicrons,
                           std::string_view pixelsPerMmText);

// The line and box primitives of the overlays, on picture pixels, clipped to the picture. As the
// platform's primitives do, a line leaves out its end point and a box its right and bottom corner.

/// Horizontal line from (x0, y) to (x1, y), x1 not set. dotted: every other pixel from x0 on.
void drawHorizontalLine(Picture& picture, std::int64_t x0, std::int64_t x1, std::int64_t y,
                        std::uint32_t colour, bool dotted);
/// Vertical line from (x, y0) to (x, y1), y1 not set.
void drawVerticalLine(Picture& picture, std::int64_t x, std::int64_t y0, std::int64_t y1,
                      std::uint32_t colour, bool dotted);
/// Box with corners (left, top) and (right, bottom), the second exclusive: a one-pixel outline, the
/// inside filled.
void drawFilledBox(Picture& picture, std::int64_t left, std::int64_t top, std::int64_t right,
                   std::int64_t bottom, std::uint32_t outline, std::uint32_t fill);
