#include "view/ManualEdit.h"

#include <gtest/gtest.h>

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

TEST(SelectionBand, DrawingTwiceRestoresAndEmptyChangesNothing)
{
    Picture picture(40, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) picture.setPixel(x, y, rgbColour(x * 5, y * 7, 100));
    const Picture original = picture;
    drawSelectionBand(picture, 5, 5, 5, 20);  // no width
    drawSelectionBand(picture, 3, 9, 30, 9);  // no height
    EXPECT_EQ(picture, original);
    // Any direction, even reaching outside the picture.
    const int corners[][4] = {{5, 5, 25, 20}, {25, 20, 5, 5}, {30, 2, -10, 50}, {0, 0, 1, 1}, {10, 10, 12, 40}};
    for (const auto& c : corners) {
        drawSelectionBand(picture, c[0], c[1], c[2], c[3]);
        EXPECT_FALSE(picture == original);
        drawSelectionBand(picture, c[0], c[1], c[2], c[3]);
        EXPECT_EQ(picture, original);
    }
}

TEST(SelectionBand, InvertsOnlyTheOutline)
{
    Picture picture(20, 20);
    drawSelectionBand(picture, 2, 2, 12, 10);
    EXPECT_EQ(picture.pixel(2, 2), 0xFFFFFFu);   // the first dot starts at the corner
    EXPECT_EQ(picture.pixel(6, 6), 0u);          // inside: untouched
    EXPECT_EQ(picture.pixel(12, 2), 0u);         // right edge excluded
    int inverted = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) inverted += picture.pixel(x, y) == 0xFFFFFFu;
    EXPECT_GT(inverted, 8);
    EXPECT_LT(inverted, 28);  // dotted: about half of the 32 outline pixels
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
