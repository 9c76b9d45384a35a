#pragma once
// The scale bar's label written with Qt's fonts. Only the windows and the counter's font module link
// it, so that a count without a marked picture never loads the window system's libraries.

#include <QFont>
#include <string>

#include "core/Picture.h"

/// A ScaleLabelWriter (view/Overlays.h): writes text in black on a white text cell with its top-left
/// corner at (left, top), in the font family at the layer's default size, as the layer's canvas does
/// with a solid white fill. Writes nothing unless a QGuiApplication exists.
void writeScaleLabel(Picture& count, int left, int top, const std::string& text, const std::string& family);

/// The face the scale bar's number and micro sign are written in (asked for as "Symbol"): the first of
/// "Symbol" and common faces whose own glyphs include the micro sign, else the default sans-serif face.
/// Needs a QGuiApplication.
QFont scaleLabelFont();
