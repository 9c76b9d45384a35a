#include "view/ColourPick.h"

#include <algorithm>

std::uint32_t meanColour(const Picture& picture, int x, int y, int side)
{
    const int reach = side / 2;
    const int left = std::max(0, x - reach), right = std::min(picture.width() - 1, x + reach);
    const int top = std::max(0, y - reach), bottom = std::min(picture.height() - 1, y + reach);
    std::uint64_t blue = 0, green = 0, red = 0;
    for (int row = top; row <= bottom; ++row) {
        const std::uint8_t* pixel = picture.row(row) + 3 * left;
        for (int column = left; column <= right; ++column, pixel += 3) {
            blue += pixel[0];
            green += pixel[1];
            red += pixel[2];
        }
    }
    const std::uint64_t count = std::uint64_t(right - left + 1) * std::uint64_t(bottom - top + 1);
    // Nearest whole value, halves up: (sum + count / 2) / count without losing the half of an odd count.
    const auto rounded = [count](std::uint64_t sum) {
        return static_cast<int>((2 * sum + count) / (2 * count));
    };
    return rgbColour(rounded(red), rounded(green), rounded(blue));
}
