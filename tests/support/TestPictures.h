#pragma once
// Small pictures built in code for the count tests.

#include <cstdint>

#include "core/Picture.h"

constexpr std::uint32_t kTarget = rgbColour(121, 223, 95);  // the default target colour
constexpr std::uint32_t kBlack = 0;

/// A width x height picture of one colour.
Picture filledPicture(int width, int height, std::uint32_t colour);
/// Sets the block of columns x .. x+w-1, rows y .. y+h-1 to colour.
void fillBlock(Picture& picture, int x, int y, int w, int h, std::uint32_t colour);
/// Number of pixels in which two pictures of the same size differ.
int differingPixels(const Picture& a, const Picture& b);
