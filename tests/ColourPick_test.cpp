#include "view/ColourPick.h"

#include <gtest/gtest.h>

namespace {

// A 7 x 6 picture whose channels tell each pixel's place: red = 10 x column, green = 10 x row, blue =
// column + row, so a mean over any rectangle can be worked out by hand.
Picture placePicture()
{
    Picture picture(7, 6);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, rgbColour(10 * x, 10 * y, x + y));
    return picture;
}

struct MeanCase {
    const char* where;
    int x, y;
    int red, green, blue;
};

TEST(ColourPickTest, MeanOfTheFiveByFiveSquareClippedAtTheEdges)
{
    const Picture picture = placePicture();
    const MeanCase cases[] = {
        // Inside: columns 1..5, rows 1..5; the means are those of the centre.
        {"inside", 3, 3, 30, 30, 6},
        // Top-left corner: columns 0..2, rows 0..2 (9 pixels): mean column 1, row 1.
        {"top-left corner", 0, 0, 10, 10, 2},
        // Bottom-right corner: columns 4..6, rows 3..5: mean column 5, row 4.
        {"bottom-right corner", 6, 5, 50, 40, 9},
        // Left edge: columns 0..2, rows 0..4 (15 pixels): mean column 1, row 2.
        {"left edge", 0, 2, 10, 20, 3},
        // One in from the top: columns 2..6, rows 0..3 (20 pixels): mean row 1.5 -> green 15, blue
        // 4 + 1.5 = 5.5, rounded up.
        {"near the top", 4, 1, 40, 15, 6},
    };
    for (const MeanCase& c : cases) {
        const std::uint32_t mean = meanColour(picture, c.x, c.y);
        EXPECT_EQ(colourRed(mean), c.red) << c.where;
        EXPECT_EQ(colourGreen(mean), c.green) << c.where;
        EXPECT_EQ(colourBlue(mean), c.blue) << c.where;
    }
}

TEST(ColourPickTest, RoundsToTheNearestValueAndOnePixelIsItself)
{
    // 25 pixels of red 100 with one of red 112: 2512 / 25 = 100.48 -> 100; with one of 113: 100.52 -> 101.
    Picture picture(5, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) picture.setPixel(x, y, rgbColour(100, 0, 255));
    picture.setPixel(4, 4, rgbColour(112, 0, 255));
    EXPECT_EQ(meanColour(picture, 2, 2), rgbColour(100, 0, 255));
    picture.setPixel(4, 4, rgbColour(113, 0, 255));
    EXPECT_EQ(meanColour(picture, 2, 2), rgbColour(101, 0, 255));
    // A single pixel picture: the mean is that pixel.
    Picture one(1, 1);
    one.setPixel(0, 0, rgbColour(7, 8, 9));
    EXPECT_EQ(meanColour(one, 0, 0), rgbColour(7, 8, 9));
}

}  // namespace
