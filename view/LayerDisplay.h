#pragma once
// What the image window shows of a picture layer at a zoom, for the eye only: the layers themselves,
// the count, the reports and the saved pictures never see any of it.
//
// Scaled down (zoom below 100 %), each display pixel averages the picture pixels of its box, so that
// a zoomed-out picture looks like the picture and not like every n-th pixel of it. The boxes follow
// the mouse rule of the window: display column X holds picture columns X * 100 div zoom up to
// (X + 1) * 100 div zoom, so a press on a display pixel takes the first picture pixel of its box.
// Scaled up, display column X shows picture column X * 100 div zoom, the pixel a press there takes.
//
// Marks: a layer drawn over a base (the count view and the area view over the original) has its own
// pixels where rings, the grid, the scale bar and painted areas lie. A box holding any such pixel
// shows their average instead of the box's, so one-pixel lines and rings stay whole and in their
// colour at every zoom, and the brightness and contrast below leave them as drawn.
//
// Brightness and contrast set which layer values are shown black and which white (the display
// range); one channel may be shown alone, in grey.

#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>

#include "core/Picture.h"

enum class DisplayChannel : std::uint8_t { All, Red, Green, Blue };

struct DisplayAdjustment {
    int black = 0;    // the layer value shown black
    int white = 255;  // the layer value shown white; always above black
    DisplayChannel channel = DisplayChannel::All;

    bool unchanged() const { return black == 0 && white == 255 && channel == DisplayChannel::All; }
    bool operator==(const DisplayAdjustment&) const = default;
};

/// The display value of each layer value: black and below 0, white and above 255, linear between,
/// rounded to the nearest (halves up).
std::array<std::uint8_t, 256> displayCurve(const DisplayAdjustment& adjustment);

/// One step brighter or darker: the display range moves down or up by 16 values. The range's middle
/// stays within -255 .. 510 (beyond, the picture is all white or all black anyway).
DisplayAdjustment brighter(DisplayAdjustment adjustment);
DisplayAdjustment darker(DisplayAdjustment adjustment);
/// One step more or less contrast: the display range narrows to four fifths or widens by a quarter
/// about its middle, between 8 and 1020 values wide.
DisplayAdjustment moreContrast(DisplayAdjustment adjustment);
DisplayAdjustment lessContrast(DisplayAdjustment adjustment);
/// The display range stretched over the picture's values (of the adjustment's channel, or of all
/// three): from the value 0.1 % of them lie below to the one 0.1 % lie above. A dim fluorescence
/// picture then fills the whole range. The channel is kept; an empty or one-valued picture keeps the
/// range of the adjustment given.
DisplayAdjustment stretchedToPicture(const Picture& picture, DisplayAdjustment adjustment);

/// The display size of a width x height picture at zoom (percent; 0 is taken as 100): zoom x size div
/// 100, as the layer views are sized, at most the window system's largest widget side.
QSize displaySize(std::uint16_t zoom, int width, int height);

/// The display pixels that show picture pixels of area (picture coordinates) at zoom: scaled down,
/// those whose boxes hold any of them; scaled up, those that show one of them.
QRect displayArea(const QRect& area, std::uint16_t zoom);

/// Renders the part area (display coordinates; all of it when empty) of layer at zoom (at most 100)
/// into display, Format_RGB32 of displaySize. A display of another size or format is made anew and
/// then rendered whole. base: the layer the marks are drawn over (same size), or nullptr.
void renderLayer(const Picture& layer, const Picture* base, const DisplayAdjustment& adjustment,
                 std::uint16_t zoom, QImage& display, const QRect& area = QRect());

/// The part area (display coordinates) of full, a layer rendered at 100 %, as shown at zoom (100 or
/// more), into tile (made with area's size). Display pixel X, Y shows full's pixel X * 100 div zoom,
/// Y * 100 div zoom; places past full's edges are left black.
void sampleZoomedIn(const QImage& full, std::uint16_t zoom, const QRect& area, QImage& tile);
