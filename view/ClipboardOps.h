#pragma once
// The pictures of the Edit commands, without the window: cutting a rectangle out of a picture, drawing a
// picture into another, and converting between our 24-bit pictures and the clipboard's QImage.

#include <QImage>

#include "core/Picture.h"

/// Shown in the image window's status bar for a moment when Copy or Crop finds no selection.
inline constexpr const char* kNothingSelectedStatus =
    "Nothing selected: drag a rectangle on the original first";
/// How long such a status stays, in milliseconds.
inline constexpr int kStatusMilliseconds = 2500;

/// The rectangle spanned by the corners (x0, y0) and (x1, y1), whichever corner comes first: left and
/// top edges the smaller coordinates, |x1 - x0| columns and |y1 - y0| rows, the same orientation as the
/// source. Parts outside the source are cut off; an empty rectangle gives an empty picture.
Picture copyRectangle(const Picture& source, int x0, int y0, int x1, int y1);

/// Draws source opaquely into target with its top-left corner at (left, top), at its own size. Target
/// keeps its size; whatever falls outside it is cut off.
void pastePicture(Picture& target, const Picture& source, int left, int top);

/// The picture as an opaque QImage, pixel for pixel (a null image for an empty picture).
QImage toQImage(const Picture& picture);

/// A QImage of any format as a 24-bit picture; transparency is dropped. A null image gives an empty
/// picture.
Picture fromQImage(const QImage& image);
