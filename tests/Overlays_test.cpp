#include "view/Overlays.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kGround = 0x305070;  // a colour no overlay uses

Picture groundPicture(int width, int height)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, kGround);
    return picture;
}

int changedPixels(const Picture& picture)
{
    int changed = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) changed += picture.pixel(x, y) != kGround;
    return changed;
}

// The worked example: 2048 x 1536 pixels at 3952 pixels per millimetre.
TEST(GridTest, WorkedExampleIsDrawnOnTheLatticeAndNowhereElse)
{
    Picture count = groundPicture(2048, 1536);
    const OverlayResult result = drawGrid(count, 25, "3952");
    ASSERT_TRUE(result.message.empty()) << result.message;
    EXPECT_TRUE(result.drawn);

    // Cell 98 pixels, 20 x 15 cells, margins 44 and 33. Lines leave out their end point, and the
    // dotted pen sets every other pixel from the line's start.
    std::set<int> lineRows, lineColumns;
    for (int y = 33; y <= 1503; y += 98) lineRows.insert(y);
    for (int x = 44; x <= 2004; x += 98) lineColumns.insert(x);
    ASSERT_EQ(lineRows.size(), 16u);
    ASSERT_EQ(lineColumns.size(), 21u);
    for (int y = 0; y < count.height(); ++y) {
        for (int x = 0; x < count.width(); ++x) {
            const bool onRow = lineRows.count(y) && x >= 44 && x < 2004 && (x - 44) % 2 == 0;
            const bool onColumn = lineColumns.count(x) && y >= 33 && y < 1503 && (y - 33) % 2 == 0;
            const std::uint32_t expected = onRow || onColumn ? kGridColour : kGround;
            ASSERT_EQ(count.pixel(x, y), expected) << "at " << x << ", " << y;
        }
    }
    // The lattice's far corner is the end point of both last lines: never set.
    EXPECT_EQ(count.pixel(2004, 1503), kGround);
}

struct ScaleCase {
    std::uint8_t microns;
    int left, top, right, bottom;  // box corners, the second exclusive
};

class ScaleBarTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleBarTest, BoxLiesAtTheGridCornerWithItsOutlineLengthApart)
{
    const ScaleCase c = GetParam();
    Picture count = groundPicture(2048, 1536);
    const OverlayResult result = drawScaleBar(count, c.microns, "3952");
    ASSERT_TRUE(result.message.empty()) << result.message;
    EXPECT_TRUE(result.drawn);
    // Without a label writer (the windows and the counter's fonts set one) the box is all there is.
    for (int y = 0; y < count.height(); ++y) {
        for (int x = 0; x < count.width(); ++x) {
            const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
            const bool edge = x == c.left || x == c.right - 1 || y == c.top || y == c.bottom - 1;
            const std::uint32_t expected = !inside ? kGround : edge ? kScaleOutline : kScaleFill;
            ASSERT_EQ(count.pixel(x, y), expected) << "at " << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WorkedExample, ScaleBarTest,
                         ::testing::Values(ScaleCase{25, 44, 33, 143, 51},     // L = 98
                                           ScaleCase{100, 36, 175, 432, 193},  // L = 395
                                           ScaleCase{50, 39, 78, 237, 96},     // L = 197
                                           ScaleCase{10, 10, 7, 50, 25}));     // L = 39

TEST(OverlayTest, ZeroMicronsDrawsNothingAndDoesNotReadTheField)
{
    for (const char* text : {"3952", "not a number", ""}) {
        Picture count = groundPicture(64, 48);
        const Picture before = count;
        for (const OverlayResult& result : {drawGrid(count, 0, text), drawScaleBar(count, 0, text)}) {
            EXPECT_FALSE(result.drawn) << text;
            EXPECT_TRUE(result.message.empty()) << text;
        }
        EXPECT_EQ(count, before) << text;
    }
}

struct FailureCase {
    const char* text;
    std::uint8_t microns;
    const char* expectedPart;  // in the message
};

class OverlayFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OverlayFailureTest, FailsWithAMessageAndDrawsNothing)
{
    const FailureCase c = GetParam();
    Picture count = groundPicture(300, 200);
    const Picture before = count;
    const OverlayResult results[] = {drawGrid(count, c.microns, c.text),
                                     drawScaleBar(count, c.microns, c.text)};
    for (const OverlayResult& result : results) {
        EXPECT_FALSE(result.drawn);
        EXPECT_NE(result.message.find(c.expectedPart), std::string::npos) << result.message;
    }
    EXPECT_EQ(count, before);
}

INSTANTIATE_TEST_SUITE_P(
    BadPixelsPerMm, OverlayFailureTest,
    ::testing::Values(FailureCase{"99", 10, "Division by zero"},  // cell of 0.99 pixels
                      FailureCase{"0", 25, "Division by zero"},
                      FailureCase{"39x2", 25, "\"Pixels / mm\""}, FailureCase{"39x2", 25, "'39x2'"},
                      FailureCase{"", 25, "\"Pixels / mm\""}, FailureCase{"3952,5", 25, "'3952,5'"},
                      FailureCase{"-3952", 25, "out of range"},
                      FailureCase{"99999999999", 25, "out of range"}));

TEST(GridTest, OnePixelCellsAtTheSmallestWorkingScale)
{
    Picture count = groundPicture(6, 4);
    const OverlayResult result = drawGrid(count, 10, "100");
    ASSERT_TRUE(result.message.empty()) << result.message;
    // Every row and column is a line; dotted, they set the pixels with an even column or an even row.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(count.pixel(x, y), x % 2 == 0 || y % 2 == 0 ? kGridColour : kGround) << x << ", " << y;
}

TEST(GridTest, PictureSmallerThanOneCellShowsNothing)
{
    Picture count = groundPicture(50, 40);
    const OverlayResult result = drawGrid(count, 25, "3952");
    EXPECT_TRUE(result.drawn);
    EXPECT_EQ(changedPixels(count), 0);
}

TEST(GridTest, LinesOnThePictureEdgeAreClipped)
{
    // 196 x 98 holds exactly 2 x 1 cells: the last lines lie just outside the picture.
    Picture count = groundPicture(196, 98);
    ASSERT_TRUE(drawGrid(count, 25, "3952").drawn);
    EXPECT_EQ(count.pixel(0, 0), kGridColour);
    EXPECT_EQ(count.pixel(98, 2), kGridColour);
    EXPECT_EQ(count.pixel(98, 1), kGround);
    EXPECT_EQ(count.pixel(195, 97), kGround);
}

TEST(GridTest, HugePixelsPerMmGivesOneCellLargerThanThePicture)
{
    // 2147483647 x 255 / 1000 pixels: computed wide, never wrapped to a small cell.
    Picture count = groundPicture(300, 200);
    const OverlayResult result = drawGrid(count, 255, "2147483647");
    EXPECT_TRUE(result.drawn);
    EXPECT_EQ(changedPixels(count), 0);
}

TEST(ScaleBarTest, BarLongerThanThePictureStartsAtItsCentre)
{
    Picture count = groundPicture(50, 40);
    ASSERT_TRUE(drawScaleBar(count, 25, "3952").drawn);  // L = 98
    EXPECT_EQ(count.pixel(24, 20), kGround);
    EXPECT_EQ(count.pixel(25, 20), kScaleOutline);
    EXPECT_EQ(count.pixel(49, 20), kScaleOutline);  // top edge runs on to the picture's border
    EXPECT_EQ(count.pixel(26, 21), kScaleFill);
    EXPECT_EQ(count.pixel(25, 37), kScaleOutline);  // 18 rows: the bottom edge on row 37
    EXPECT_EQ(count.pixel(26, 38), kGround);
}

TEST(ScaleBarTest, SecondBarIsDrawnOverTheFirst)
{
    Picture count = groundPicture(2048, 1536);
    ASSERT_TRUE(drawScaleBar(count, 100, "3952").drawn);
    ASSERT_TRUE(drawScaleBar(count, 25, "3952").drawn);
    EXPECT_EQ(count.pixel(36, 175), kScaleOutline);  // the 100 µm box stays
    EXPECT_EQ(count.pixel(44, 33), kScaleOutline);   // the 25 µm box is added
}

// The label goes to whichever writer a program with fonts set: the number with a Greek mu in "Symbol",
// the "m" in "Arial", at the places the bar's length gives; bars of 5 µm or less have none.
TEST(ScaleBarTest, LabelPiecesGoToTheWriter)
{
    struct Piece {
        int left, top;
        std::string text, family;
    };
    static std::vector<Piece> written;
    setScaleLabelWriter([](Picture&, int left, int top, const std::string& text, const std::string& family) {
        written.push_back({left, top, text, family});
    });
    struct Case {
        std::uint8_t microns;
        std::vector<std::string> texts;
        int numberLeft, unitLeft, top;
    };
    // 3952 pixels / mm on 2048 x 1536: 25 µm is 98 pixels, its box at (44, 33); 100 µm is 395 at (36, 175).
    const Case cases[] = {
        {25, {"25 \xCE\xBC", "m"}, 44 - 15 + 49, 44 + 8 + 49 + 0, 34},
        {100, {"100 \xCE\xBC", "m"}, 36 - 15 + 197, 36 + 8 + 197 + 6, 176},
        {5, {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        written.clear();
        Picture count = groundPicture(2048, 1536);
        ASSERT_TRUE(drawScaleBar(count, c.microns, "3952").drawn);
        ASSERT_EQ(written.size(), c.texts.size()) << int(c.microns);
        for (std::size_t i = 0; i < written.size(); ++i) {
            EXPECT_EQ(written[i].text, c.texts[i]);
            EXPECT_EQ(written[i].family, i == 0 ? "Symbol" : "Arial");
            EXPECT_EQ(written[i].left, i == 0 ? c.numberLeft : c.unitLeft) << int(c.microns);
            EXPECT_EQ(written[i].top, c.top);
        }
    }
    setScaleLabelWriter(nullptr);
}

TEST(OverlayTest, EmptyPictureIsLeftAlone)
{
    Picture count;
    EXPECT_TRUE(drawGrid(count, 25, "3952").drawn);
    EXPECT_TRUE(drawScaleBar(count, 25, "3952").drawn);
    EXPECT_TRUE(count.empty());
}

}  // namespace
