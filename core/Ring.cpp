#include "core/Ring.h"

void drawRing(Picture& picture, int px, int y, std::uint32_t penColour)
{
    const auto blue = static_cast<std::uint8_t>(colourBlue(penColour));
    const auto green = static_cast<std::uint8_t>(colourGreen(penColour));
    const auto red = static_cast<std::uint8_t>(colourRed(penColour));
    for (const RingOffset& offset : kRingOffsets) {
        // Wide sums: a particle near INT_MAX must not wrap into the picture.
        const std::int64_t column = static_cast<std::int64_t>(px) + offset.dx;
        const std::int64_t row = static_cast<std::int64_t>(y) + offset.dy;
        if (column < 0 || row < 0 || column >= picture.width() || row >= picture.height()) continue;
        std::uint8_t* pixel = picture.row(static_cast<int>(row)) + column * Picture::kBytesPerPixel;
        pixel[0] = blue;
        pixel[1] = green;
        pixel[2] = red;
    }
}
