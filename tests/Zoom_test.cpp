#include "view/Zoom.h"

#include <gtest/gtest.h>

namespace {

struct StepCase {
    std::uint16_t from;
    std::uint16_t in;   // after zoom in
    std::uint16_t out;  // after zoom out
};

TEST(ZoomTest, StepsOfTenUpToFullSizeAndTwentyFiveAbove)
{
    const StepCase cases[] = {
        {10, 20, 10},    // 10 % is the floor
        {20, 30, 10},   {90, 100, 80}, {100, 125, 90}, {125, 150, 100},
        {150, 175, 125}, {0, 10, 0},  // before the first picture
    };
    for (const StepCase& c : cases) {
        EXPECT_EQ(zoomedIn(c.from, 1000, 800), c.in) << c.from;
        EXPECT_EQ(zoomedOut(c.from), c.out) << c.from;
    }
}

TEST(ZoomTest, ReachableValuesFromFullSize)
{
    std::uint16_t zoom = 100;
    for (int expected = 90; expected >= 10; expected -= 10) EXPECT_EQ(zoom = zoomedOut(zoom), expected);
    EXPECT_EQ(zoomedOut(zoom), 10);
    for (int expected = 20; expected <= 100; expected += 10)
        EXPECT_EQ(zoom = zoomedIn(zoom, 1000, 800), expected);
    for (int expected = 125; expected <= 1000; expected += 25)
        EXPECT_EQ(zoom = zoomedIn(zoom, 1000, 800), expected);
}

TEST(ZoomTest, ZoomInStopsBeforeWrappingOrOutgrowingTheWindowSystem)
{
    EXPECT_EQ(zoomedIn(65525, 1, 1), 65525);  // 65550 does not fit in 16 bits
    EXPECT_EQ(zoomedIn(65500, 1, 1), 65525);
    // 125 % of 16777215 pixels is wider than any widget can be.
    EXPECT_EQ(zoomedIn(100, 16777215, 1), 100);
    EXPECT_EQ(zoomedIn(100, 1, 16777215), 100);
    EXPECT_EQ(zoomedIn(10, 16777215, 1), 20);  // steps below the limit still work
}

TEST(ZoomTest, DisplayedSizeTruncates)
{
    EXPECT_EQ(displayedSize(125, 1000, 800), (DisplaySize{1250, 1000}));
    EXPECT_EQ(displayedSize(10, 1000, 800), (DisplaySize{100, 80}));
    EXPECT_EQ(displayedSize(30, 1001, 7), (DisplaySize{300, 2}));
    // 32-bit arithmetic would overflow here.
    EXPECT_EQ(displayedSize(65525, 65535, 65535), (DisplaySize{42941808, 42941808}));
}

}  // namespace
