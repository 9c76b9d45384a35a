#pragma once
// Ring: the fixed 28-pixel circle outline drawn around a counted particle in the count layer. Count
// rings, the rings of manual adds and the removal rings all use this one raster, so results that
// depend on ring pixels are the same everywhere.

#include <array>
#include <cstdint>

#include "core/Picture.h"

/// One outline pixel, relative to the particle at (px, y).
struct RingOffset {
    int dx;
    int dy;
};

/// The outline inside the box of columns px-5 .. px+4 and rows y-5 .. y+4, row by row from the top:
///   ...####...   .##....##.   .#......#.   #........# (4 rows)   .#......#.   .##....##.   ...####...
// clang-format off
inline constexpr std::array<RingOffset, 28> kRingOffsets{{
    {-2, -5}, {-1, -5}, {0, -5}, {1, -5},
    {-4, -4}, {-3, -4}, {2, -4}, {3, -4},
    {-4, -3}, {3, -3},
    {-5, -2}, {4, -2},
    {-5, -1}, {4, -1},
    {-5, 0}, {4, 0},
    {-5, 1}, {4, 1},
    {-4, 2}, {3, 2},
    {-4, 3}, {-3, 3}, {2, 3}, {3, 3},
    {-2, 4}, {-1, 4}, {0, 4}, {1, 4},
}};
// clang-format on

/// Writes the ring around the pixel (px, y) byte-wise in penColour (0xBBGGRR); pixels outside the
/// picture are skipped.
void drawRing(Picture& picture, int px, int y, std::uint32_t penColour);
