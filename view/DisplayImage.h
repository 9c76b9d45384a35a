#pragma once
// The display copy of a picture layer: blue, green, red bytes turned into the 0xffRRGGBB words of
// QImage::Format_RGB32, the format the window system paints fastest, stretched or not.

#include <QImage>
#include <QRect>

#include "core/Picture.h"

/// Makes display a Format_RGB32 copy of picture (a null image for an empty picture), reusing its
/// buffer when the size is unchanged.
void makeDisplayImage(const Picture& picture, QImage& display);
/// Copies the pixels of area (picture coordinates, clipped to the picture) into display, which must
/// have the picture's size and Format_RGB32.
void updateDisplayImage(const Picture& picture, QImage& display, const QRect& area);
