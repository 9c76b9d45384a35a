#include "detect/ColourModel.h"

#include <gtest/gtest.h>

#include "core/Picture.h"

namespace {

enum { B = 0, G = 1, R = 2 };

struct ModelCase {
    int red, green, blue;
    int dominant, dominantValue, second, third, difference;
};

TEST(ColourModel, RulesAndTies)
{
    const ModelCase cases[] = {
        {121, 223, 95, G, 223, R, B, 102},  // the default target
        {100, 100, 100, R, 100, B, G, 0},   // all equal: red wins, then blue before green
        {200, 50, 200, R, 200, B, G, 0},    // red and blue tie: red
        {50, 200, 200, G, 200, B, R, 0},    // green and blue tie: green
        {10, 50, 200, B, 200, G, R, 150},
        {50, 10, 200, B, 200, R, G, 150},
        {30, 30, 200, B, 200, G, R, 170},  // second place tie under blue: green
        {200, 100, 50, R, 200, G, B, 100},
        {200, 60, 60, R, 200, B, G, 140},  // second place tie under red: blue
        {10, 200, 100, G, 200, B, R, 100},
        {60, 200, 60, G, 200, B, R, 140},  // second place tie under green: blue
        {0, 0, 0, R, 0, B, G, 0},
    };
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "target " << c.red << "," << c.green << "," << c.blue);
        const ColourModel model = buildColourModel(rgbColour(c.red, c.green, c.blue));
        EXPECT_EQ(model.dominant, c.dominant);
        EXPECT_EQ(model.dominantValue, c.dominantValue);
        EXPECT_EQ(model.second, c.second);
        EXPECT_EQ(model.third, c.third);
        EXPECT_EQ(model.expectedDifference, c.difference);
    }
}

TEST(ColourModel, RingColourLightensEachChannel)
{
    EXPECT_EQ(ringColour(rgbColour(121, 223, 95)), rgbColour(194, 143, 207));
    EXPECT_EQ(ringColour(rgbColour(0, 0, 0)), rgbColour(254, 254, 254));
    EXPECT_EQ(ringColour(rgbColour(255, 255, 255)), rgbColour(127, 127, 127));
    EXPECT_EQ(ringColour(rgbColour(1, 2, 3)), rgbColour(254, 253, 253));  // division truncates
}

}  // namespace
