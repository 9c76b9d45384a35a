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
        // From a fitted zoom between the steps, the next step either way; below 10 % only up.
        {37, 40, 30},   {95, 100, 90}, {11, 20, 10},  {9, 10, 9},    {1, 10, 1},
        {101, 125, 100}, {137, 150, 125},
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

TEST(ZoomTest, FitToWindowTakesTheLargestWholePercentThatFits)
{
    struct FitCase {
        std::int64_t width, height, viewWidth, viewHeight;
        std::uint16_t zoom;
    };
    const FitCase cases[] = {
        {1000, 800, 1000, 800, 100},         // exactly the view
        {1000, 800, 999, 800, 99},           // one pixel short
        {1000, 800, 470, 400, 47},           // 48 % would be 480 wide
        {200, 100, 470, 400, 235},           // 236 % would be 472 wide
        {100, 200, 470, 400, 200},           // the height decides
        {1001, 7, 300, 100, 30},             // 30 % shows 300.3 as 300 pixels: it fits
        {6000, 4000, 470, 400, 7},           // below the smallest step
        {6000, 4000, 10, 10, 1},             // even 1 % is too large: 1 %
        {0, 0, 470, 400, 100},               // no picture
        {1, 1, 100000, 100000, 65535},       // the largest zoom there is
        {16777215, 1, 100000000, 100, 100},  // 101 % would be wider than any widget
    };
    for (const FitCase& c : cases)
        EXPECT_EQ(fittingZoom(c.width, c.height, c.viewWidth, c.viewHeight), c.zoom)
            << c.width << "x" << c.height << " in " << c.viewWidth << "x" << c.viewHeight;
}

TEST(ZoomTest, AnchoredOffsetKeepsThePointUnderTheAnchor)
{
    struct AnchorCase {
        std::int64_t offset, anchor;
        std::uint16_t from, to;
        std::int64_t expected;
    };
    const AnchorCase cases[] = {
        {0, 0, 100, 200, 0},          // the top-left corner stays
        {0, 100, 100, 200, 100},      // layer 100 -> 200, still at 100 in the view
        {300, 50, 100, 125, 388},     // layer 350 -> 437.5: 387.5, halves away from zero
        {300, 50, 125, 100, 230},     // and back: layer 350 -> 280
        {0, 200, 100, 50, -100},      // the view cannot follow: the caller clamps
        {40, 10, 0, 100, 40},         // no zoom before: nothing to keep
    };
    for (const AnchorCase& c : cases)
        EXPECT_EQ(anchoredOffset(c.offset, c.anchor, c.from, c.to), c.expected)
            << c.offset << " + " << c.anchor << " at " << c.from << " -> " << c.to;
}

}  // namespace
