#include "core/Ring.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TestPictures.h"

namespace {

// clang-format off
const char* const kArt[10] = {
    "...####...", ".##....##.", ".#......#.", "#........#", "#........#",
    "#........#", "#........#", ".#......#.", ".##....##.", "...####...",
};
// clang-format on

std::string render(const Picture& picture, std::uint32_t pen)
{
    std::string text;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) text += picture.pixel(x, y) == pen ? '#' : '.';
        text += '\n';
    }
    return text;
}

TEST(Ring, TwentyEightPixelsInTheTenByTenBox)
{
    Picture picture = filledPicture(12, 12, kBlack);
    const std::uint32_t pen = rgbColour(194, 143, 207);
    drawRing(picture, 6, 6, pen);  // box columns 1..10, rows 1..10
    std::string expected;
    for (int y = 0; y < 12; ++y) {
        expected += (y == 0 || y == 11) ? std::string(12, '.') : "." + std::string(kArt[y - 1]) + ".";
        expected += '\n';
    }
    EXPECT_EQ(render(picture, pen), expected);
    // Bytes in the layer's order: blue, green, red.
    const std::uint8_t* pixel = picture.row(1) + 3 * 4;
    EXPECT_EQ(pixel[0], 207);
    EXPECT_EQ(pixel[1], 143);
    EXPECT_EQ(pixel[2], 194);
}

TEST(Ring, PixelsOutsideThePictureAreSkipped)
{
    struct Case {
        int px, y;
    };
    const std::uint32_t pen = 0x00FF00;
    for (const Case c : {Case{0, 0}, Case{4, 4}, Case{-3, 2}, Case{7, 7}, Case{100, 2}}) {
        SCOPED_TRACE(testing::Message() << "ring at " << c.px << "," << c.y);
        Picture picture = filledPicture(5, 5, kBlack);
        drawRing(picture, c.px, c.y, pen);
        // Each picture pixel is a ring pixel exactly when the raster puts one there.
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) {
                const int r = y - (c.y - 5), col = x - (c.px - 5);
                const bool inArt = r >= 0 && r < 10 && col >= 0 && col < 10 && kArt[r][col] == '#';
                EXPECT_EQ(picture.pixel(x, y) == pen, inArt) << x << "," << y;
            }
    }
}

}  // namespace
