#pragma once
// Marks in the area layer, the record of what was counted.

#include <cstdint>

/// Blue byte of every mark in the area layer: an area-layer pixel with this blue byte counts as
/// marked, whoever wrote it (an AreaMarker alone).
constexpr std::uint8_t kMarkBlue = 252;
/// Green byte that, with kMarkBlue, makes a pixel a CentreMarker: the centre of a counted particle.
constexpr std::uint8_t kCentreGreen = 55;
/// Green byte given to an area pixel that would otherwise read as a CentreMarker.
constexpr std::uint8_t kNotCentreGreen = 54;

inline bool isMarked(const std::uint8_t* pixel)
{
    return pixel[0] == kMarkBlue;
}
inline bool isCentreMarker(const std::uint8_t* pixel)
{
    return pixel[0] == kMarkBlue && pixel[1] == kCentreGreen;
}
