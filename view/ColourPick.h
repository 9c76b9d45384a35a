#pragma once
// The target colour taken from the picture: one pixel, or the mean of a small square around it, so that
// one noisy pixel need not set the target.

#include <cstdint>

#include "core/Picture.h"

/// Sides of the square a mean pick takes (5 x 5 pixels).
constexpr int kMeanPickSide = 5;

/// The mean colour (0xBBGGRR, red in the low byte) of the side x side pixels centred on (x, y); side is
/// odd. Near an edge the square is clipped to the picture: the mean is of the pixels that exist. Each
/// channel is rounded to the nearest whole value, halves up. (x, y) must lie on the picture.
std::uint32_t meanColour(const Picture& picture, int x, int y, int side = kMeanPickSide);
