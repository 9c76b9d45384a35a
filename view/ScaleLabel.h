#pragma once
// The scale bar's label written with Qt's fonts. Only the windows and the counter's font module link
// it, so that a count without a marked picture never loads the window system's libraries.

#include <string>

#include "core/Picture.h"

/// A ScaleLabelWriter (view/Overlays.h): writes text in black on a white text cell with its top-left
/// corner at (left, top), in the font family at the layer's default size, as the layer's canvas does
/// with a solid white fill. Writes nothing unless a QGuiApplication exists.
void writeScaleLabel(Picture& count, int left, int top, const std::string& text, const std::string& family);
