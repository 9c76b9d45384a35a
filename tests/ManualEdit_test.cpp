#include "view/ManualEdit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

Layers layersOf(int width, int height, std::uint32_t colour = 0x202020)
{
    Layers layers;
    layers.Image1.resize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) layers.Image1.setPixel(x, y, colour);
    layers.Image2 = layers.Image1;
    layers.Image3 = layers.Image1;
    return layers;
}

bool isCentreMarker(const Picture& area, int x, int y)
{
    const std::uint8_t* p = area.row(y) + 3 * x;
    return p[0] == 252 && p[1] == 55;
}

}  // namespace

TEST(PictureCoordinates, PressesTruncate)
{
    struct Row {
        int position;
        std::uint16_t zoom;
        int expected;
    };
    const Row rows[] = {{101, 100, 101}, {51, 100, 51},  {101, 50, 202}, {51, 50, 102},
                        {101, 125, 80},  {51, 125, 40},  {101, 200, 50}, {0, 10, 0},
                        {7, 10, 70},     {399, 400, 99}, {1, 33, 3}};
    for (const Row& row : rows)
        EXPECT_EQ(pressCoordinate(row.position, row.zoom), row.expected) << row.position << " @" << row.zoom;
}

TEST(PictureCoordinates, MovesRoundHalfToEven)
{
    EXPECT_EQ(moveCoordinate(101, 200), 50);  // 50.5 -> 50
    EXPECT_EQ(moveCoordinate(103, 200), 52);  // 51.5 -> 52
    EXPECT_EQ(moveCoordinate(101, 125), 81);  // 80.8 -> 81
    EXPECT_EQ(moveCoordinate(100, 100), 100);
    EXPECT_EQ(moveCoordinate(-3, 200), -2);   // outside the picture: still a plain rounding
}

/// How many runs cover each pixel of a width x height picture, row by row.
std::vector<int> bandCover(const std::vector<BandRun>& runs, int width, int height)
{
    std::vector<int> cover(static_cast<std::size_t>(width) * height, 0);
    for (const BandRun& run : runs)
        for (int i = 0; i < run.length; ++i) {
            const int x = run.horizontal ? run.x + i : run.x, y = run.horizontal ? run.y : run.y + i;
            if (x < 0 || y < 0 || x >= width || y >= height) return {};  // outside: reported as no cover
            ++cover[static_cast<std::size_t>(y) * width + x];
        }
    return cover;
}

TEST(SelectionBand, EmptyRectanglesHaveNoBand)
{
    EXPECT_TRUE(selectionBandRuns(5, 5, 5, 20, 40, 30).empty());  // no width
    EXPECT_TRUE(selectionBandRuns(3, 9, 30, 9, 40, 30).empty());  // no height
    EXPECT_TRUE(selectionBandRuns(0, 0, 10, 10, 0, 0).empty());   // no picture
}

TEST(SelectionBand, DotsLieOnTheOutlineInsideThePictureOnceEach)
{
    // The band is shown by inverting its pixels: a pixel in two runs would be inverted back.
    const int corners[][4] = {{5, 5, 25, 20}, {25, 20, 5, 5}, {30, 2, -10, 50}, {0, 0, 1, 1}, {10, 10, 12, 40}};
    for (const auto& c : corners) {
        const std::vector<BandRun> runs = selectionBandRuns(c[0], c[1], c[2], c[3], 40, 30);
        ASSERT_FALSE(runs.empty());
        const std::vector<int> cover = bandCover(runs, 40, 30);
        ASSERT_FALSE(cover.empty()) << "a run leaves the picture";
        const int left = std::min(c[0], c[2]), right = std::max(c[0], c[2]) - 1;
        const int top = std::min(c[1], c[3]), bottom = std::max(c[1], c[3]) - 1;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const int n = cover[static_cast<std::size_t>(y) * 40 + x];
                EXPECT_LE(n, 1) << x << "," << y;
                const bool onOutline = (x == left || x == right || y == top || y == bottom) && x >= left &&
                                       x <= right && y >= top && y <= bottom;
                if (n > 0) {
                    EXPECT_TRUE(onOutline) << x << "," << y;
                }
            }
    }
    // Whichever corner the drag started from, the band is the same.
    EXPECT_EQ(selectionBandRuns(5, 5, 25, 20, 40, 30), selectionBandRuns(25, 20, 5, 5, 40, 30));
    EXPECT_EQ(selectionBandRuns(5, 20, 25, 5, 40, 30), selectionBandRuns(25, 5, 5, 20, 40, 30));
}

TEST(SelectionBand, ThreeOnThreeOffClockwiseFromTheTopLeftCorner)
{
    const std::vector<int> cover = bandCover(selectionBandRuns(2, 2, 12, 10, 20, 20), 20, 20);
    ASSERT_FALSE(cover.empty());
    const auto at = [&](int x, int y) { return cover[static_cast<std::size_t>(y) * 20 + x]; };
    // The top edge from the corner: on, on, on, off, off, off, on ...
    const int topRow[] = {1, 1, 1, 0, 0, 0, 1, 1, 1, 0};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(at(2 + i, 2), topRow[i]) << i;
    EXPECT_EQ(at(12, 2), 0);  // the right edge is the last column before x1
    EXPECT_EQ(at(6, 6), 0);   // inside
    // The walk goes on round the corner: step 9 is the top edge's last pixel, 10 and 11 are off on the
    // right edge, 12 is on.
    EXPECT_EQ(at(11, 3), 0);
    EXPECT_EQ(at(11, 4), 0);
    EXPECT_EQ(at(11, 5), 1);
    int dots = 0;
    for (int n : cover) dots += n;
    EXPECT_EQ(dots, 17);  // 32 outline pixels: steps 0-2, 6-8, ..., 24-26 and 30-31
}

TEST(ManualEditing, AddThenRemoveAtTheSamePoint)
{
    Layers layers = layersOf(60, 60);
    TAnalysisState state;
    state.AutoCount = 7;
    manualAdd(layers, state, 30, 30);
    EXPECT_EQ(state.AutoCount, 8);
    EXPECT_EQ(state.ManualAdded, 1);
    EXPECT_EQ(layers.Image3.pixel(30, 30), kAddedMarkerColour);
    EXPECT_EQ(layers.Image2.pixel(25, 30), kAddedRingColour);  // the ring's left edge
    EXPECT_TRUE(manualRemove(layers, state, 30, 30));
    EXPECT_EQ(state.AutoCount, 7);
    EXPECT_EQ(state.ManualAdded, 1);
    EXPECT_EQ(state.ManualRemoved, 1);
    EXPECT_EQ(layers.Image3.pixel(30, 30), rgbColour(0, 255, 255));  // disabled, red kept
    EXPECT_EQ(layers.Image2.pixel(25, 30), kRemovedRingColour);
    // The disabled marker no longer matches: a second removal does nothing at all.
    const Layers before = layers;
    EXPECT_FALSE(manualRemove(layers, state, 30, 30));
    EXPECT_EQ(state.AutoCount, 7);
    EXPECT_EQ(state.ManualRemoved, 1);
    EXPECT_EQ(layers.Image2, before.Image2);
    EXPECT_EQ(layers.Image3, before.Image3);
}

TEST(ManualEditing, RemovalTakesTheFirstMarkerInReadingOrder)
{
    Layers layers = layersOf(60, 60);
    TAnalysisState state;
    layers.Image3.setPixel(33, 28, kAddedMarkerColour);  // lower row
    layers.Image3.setPixel(34, 26, kAddedMarkerColour);  // upper row, right
    layers.Image3.setPixel(27, 26, kAddedMarkerColour);  // upper row, left: wins
    layers.Image3.setPixel(30, 24, 0x00FC37);             // red 55, green 252: no marker
    ASSERT_TRUE(manualRemove(layers, state, 30, 30));
    EXPECT_FALSE(isCentreMarker(layers.Image3, 27, 26));
    EXPECT_TRUE(isCentreMarker(layers.Image3, 34, 26));
    ASSERT_TRUE(manualRemove(layers, state, 30, 30));
    EXPECT_FALSE(isCentreMarker(layers.Image3, 34, 26));
    ASSERT_TRUE(manualRemove(layers, state, 30, 30));
    EXPECT_FALSE(manualRemove(layers, state, 30, 30));
    EXPECT_EQ(state.ManualRemoved, 3);
    EXPECT_EQ(state.AutoCount, -3);
}

TEST(ManualEditing, SearchSquareReachesFivePixels)
{
    Layers layers = layersOf(60, 60);
    TAnalysisState state;
    layers.Image3.setPixel(36, 30, kAddedMarkerColour);  // 6 to the right: out of reach
    layers.Image3.setPixel(30, 24, kAddedMarkerColour);  // 6 up: out of reach
    EXPECT_FALSE(manualRemove(layers, state, 30, 30));
    layers.Image3.setPixel(35, 35, kAddedMarkerColour);  // the far corner: in reach
    EXPECT_TRUE(manualRemove(layers, state, 30, 30));
}

TEST(ManualEditing, ClicksAtTheEdgesStayInsideThePicture)
{
    Layers layers = layersOf(12, 9);
    TAnalysisState state;
    for (const auto& [x, y] : {std::pair{0, 0}, {11, 8}, {-3, 4}, {15, 20}, {5, -6}}) {
        manualAdd(layers, state, x, y);
        manualRemove(layers, state, x, y);
    }
    layers.Image3.setPixel(11, 8, kAddedMarkerColour);
    EXPECT_TRUE(manualRemove(layers, state, 14, 11));  // the inside part of the square is searched
    EXPECT_EQ(state.ManualAdded, 5);
}
