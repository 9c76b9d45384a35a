#include "detect/AreaFill.h"

#include <gtest/gtest.h>

#include "core/Markers.h"
#include "support/TestPictures.h"

namespace {

// Layers and working values for calling the checks and the fill directly.
struct FillSetup {
    Picture original, count, area;
    CountWorkingValues run;

    FillSetup(const Picture& picture, std::uint32_t target, int minSize, int colourTolerance = 40,
              int brightnessTolerance = 50)
        : original(picture), count(picture), area(picture)
    {
        run.original = &original;
        run.countLayer = &count;
        run.areaLayer = &area;
        run.model = buildColourModel(target);
        run.colourTolerance = static_cast<std::uint16_t>(colourTolerance);
        run.brightnessTolerance = static_cast<std::uint16_t>(brightnessTolerance);
        run.minSize = static_cast<std::uint8_t>(minSize);
    }
    void at(int px, int y)
    {
        run.x = 3 * px;
        run.y = y;
    }
    void markCentre(int px, int y)
    {
        area.row(y)[3 * px] = kMarkBlue;
        area.row(y)[3 * px + 1] = kCentreGreen;
    }
    bool marked(int px, int y) const { return area.row(y)[3 * px] == kMarkBlue; }
};

TEST(AreaFill, ColourDistances)
{
    struct Case {
        std::uint32_t pixel;
        int distance, distance2;
    };
    // Default model: dominant green, second red, third blue, D = 102.
    const Case cases[] = {
        {rgbColour(121, 223, 95), 0, 0},
        {rgbColour(121, 243, 95), 20, 20},                      // balance off by 20
        {rgbColour(100, 202, 100), 0, 0},                       // third equal to the second: no penalty
        {rgbColour(100, 202, 110), 10, 10},                     // third 10 above the second
        {rgbColour(50, 100, 110), 52 + 10 + 60, 52 + 20 + 60},  // third 10 above the dominant
        {rgbColour(0, 0, 255), 102 + 255 + 255, 102 + 510 + 255},
        {rgbColour(255, 0, 255), 357 + 255, 357 + 510},
    };
    const ColourModel model = buildColourModel(kTarget);
    for (const Case& c : cases) {
        Picture pixel = filledPicture(1, 1, c.pixel);
        EXPECT_EQ(colourdistance(pixel.row(0), 0, model), c.distance) << std::hex << c.pixel;
        EXPECT_EQ(colourdistance2(pixel.row(0), 0, model), c.distance2) << std::hex << c.pixel;
    }
}

TEST(AreaFill, MinimumSizeZeroHasAnEmptyWindow)
{
    FillSetup s(filledPicture(20, 20, kTarget), kTarget, 0);
    s.at(10, 10);
    s.markCentre(10, 10);
    EXPECT_TRUE(nomarknear(s.run));
    EXPECT_FALSE(enoughmatches(s.run));
}

TEST(AreaFill, WindowIsTwoNPlusOneRowsByTwoNPixels)
{
    // Minimum size 2 at (10, 10): rows 8..12, columns 8..11.
    struct Case {
        int px, y;
        bool inside;
    };
    const Case cases[] = {{8, 8, true},    {11, 12, true}, {10, 10, true}, {7, 10, false},
                          {12, 10, false}, {10, 7, false}, {10, 13, false}};
    for (const Case& c : cases) {
        FillSetup s(filledPicture(20, 20, kBlack), kTarget, 2);
        s.at(10, 10);
        s.area.row(c.y)[3 * c.px] = kMarkBlue;  // a pixel of the picture with blue 252 counts too
        EXPECT_EQ(nomarknear(s.run), !c.inside) << c.px << "," << c.y;
    }
}

TEST(AreaFill, MatchesNeedMoreThanTwoN)
{
    // Minimum size 1: 3 rows by 2 pixels (columns 9 and 10); 3 of the 6 must match.
    for (int matching = 0; matching <= 6; ++matching) {
        FillSetup s(filledPicture(20, 20, kBlack), kTarget, 1);
        s.at(10, 10);
        for (int i = 0; i < matching; ++i) s.count.setPixel(9 + i % 2, 9 + i / 2, kTarget);
        EXPECT_EQ(enoughmatches(s.run), matching >= 3) << matching;
    }
}

TEST(AreaFill, FullWindowOfMinimumSizeEightMatches)
{
    // 17 x 16 = 272 matching pixels: an 8-bit counter would end at 16 and reject this.
    FillSetup s(filledPicture(40, 40, kTarget), kTarget, 8, 0);
    s.at(20, 20);
    EXPECT_TRUE(enoughmatches(s.run));
    EXPECT_TRUE(nomarknear(s.run));
}

TEST(AreaFill, WindowAboveOrLeftOfThePictureExaminesNothing)
{
    struct Case {
        int px, y;
    };
    for (const Case c : {Case{6, 20}, Case{20, 7}}) {  // minimum size 8: column 6 and row 7 too close
        FillSetup s(filledPicture(40, 40, kTarget), kTarget, 8);
        s.at(c.px, c.y);
        s.markCentre(c.px, c.y);
        EXPECT_TRUE(nomarknear(s.run));
        EXPECT_FALSE(enoughmatches(s.run));
    }
}

TEST(AreaFill, WindowPastBottomOrRightReadsOnlyInside)
{
    // Minimum size 10 at (27, 27) of a 30 x 30 picture: rows 17..29 and columns 17..29 of the window
    // lie inside; the outside neither matches nor is marked.
    FillSetup s(filledPicture(30, 30, kBlack), kTarget, 10);
    s.at(27, 27);
    fillBlock(s.count, 17, 17, 13, 13, kTarget);  // every inside pixel of the window matches
    EXPECT_TRUE(nomarknear(s.run));
    EXPECT_TRUE(enoughmatches(s.run));  // 13 x 13 inside, more than 20
    FillSetup few(filledPicture(30, 30, kBlack), kTarget, 10);
    few.at(27, 27);
    fillBlock(few.count, 26, 26, 4, 4, kTarget);  // 16 matches: not more than 20
    EXPECT_FALSE(enoughmatches(few.run));
    few.area.row(29)[3 * 29] = kMarkBlue;
    EXPECT_FALSE(nomarknear(few.run));
}

TEST(AreaFill, FullFirstRingGivesAreaTen)
{
    FillSetup s(filledPicture(30, 30, kTarget), kTarget, 5);
    s.at(15, 15);
    s.markCentre(15, 15);
    TAnalysisState state;
    state.TotalAreaPixels = 7;
    EXPECT_EQ(fillarea(s.run, state), 10);  // 8 pixels, the two left corners counted twice
    EXPECT_EQ(state.TotalAreaPixels, 17);
    for (int y = 13; y <= 17; ++y)
        for (int x = 13; x <= 17; ++x)
            EXPECT_EQ(s.marked(x, y), std::abs(x - 15) <= 1 && std::abs(y - 15) <= 1) << x << "," << y;
}

TEST(AreaFill, NoSuccessInTheFirstRingGivesAreaZero)
{
    FillSetup s(filledPicture(30, 30, kBlack), kTarget, 5);
    s.original.setPixel(15, 15, kTarget);
    s.at(15, 15);
    s.markCentre(15, 15);
    TAnalysisState state;
    EXPECT_EQ(fillarea(s.run, state), 0);
    EXPECT_EQ(state.TotalAreaPixels, 0);
}

// A vertical line of target colour one pixel wide: each ring adds its top and bottom pixel.
TEST(AreaFill, GrowthStopsWithTheRingAtRowOneOrTheLastRow)
{
    struct Case {
        int y;
        int firstMarkedRow, lastMarkedRow;
    };
    // Height 30: from row 10 the ring reaching row 1 is the last; from row 20 the one reaching row 29.
    for (const Case c : {Case{10, 1, 19}, Case{20, 11, 29}}) {
        Picture picture = filledPicture(30, 30, kBlack);
        fillBlock(picture, 15, 0, 1, 30, kTarget);
        FillSetup s(picture, kTarget, 5);
        s.at(15, c.y);
        s.markCentre(15, c.y);
        TAnalysisState state;
        EXPECT_EQ(fillarea(s.run, state), 18);
        for (int y = 0; y < 30; ++y)
            EXPECT_EQ(s.marked(15, y), y >= c.firstMarkedRow && y <= c.lastMarkedRow) << y;
    }
}

TEST(AreaFill, TopEdgeJudgedOnTheOriginalTheRestOnTheCountLayer)
{
    Picture picture = filledPicture(30, 30, kBlack);
    fillBlock(picture, 15, 5, 1, 20, kTarget);
    FillSetup s(picture, kTarget, 5);
    // A ring drawn in the count layer covers the line at rows 12 and 18: the part above still grows
    // (top edges read the original), the part below stops at the covered pixel.
    s.count.setPixel(15, 12, rgbColour(194, 143, 207));
    s.count.setPixel(15, 18, rgbColour(194, 143, 207));
    s.at(15, 15);
    s.markCentre(15, 15);
    TAnalysisState state;
    fillarea(s.run, state);
    EXPECT_TRUE(s.marked(15, 12));
    EXPECT_TRUE(s.marked(15, 17));
    EXPECT_TRUE(s.marked(15, 5));
    EXPECT_FALSE(s.marked(15, 18));
    EXPECT_FALSE(s.marked(15, 19));
    EXPECT_EQ(state.TotalAreaPixels, 12);  // rings 1-2 two successes each, rings 3-10 their top one
}

TEST(AreaFill, GrowsThroughANeighboursArea)
{
    // The line has a gap in the picture at row 12; pixels marked by another particle bridge it.
    Picture picture = filledPicture(30, 30, kBlack);
    fillBlock(picture, 15, 5, 1, 20, kTarget);
    picture.setPixel(15, 12, kBlack);
    for (bool bridged : {false, true}) {
        FillSetup s(picture, kTarget, 5);
        if (bridged) s.area.row(12)[3 * 16] = kMarkBlue;  // another particle's area beside the gap
        s.at(15, 15);
        s.markCentre(15, 15);
        TAnalysisState state;
        fillarea(s.run, state);
        EXPECT_EQ(s.marked(15, 11), bridged);
    }
}

TEST(AreaFill, PaintedAreaNeverReadsAsCentreMarker)
{
    // Blue-dominant target: pixels with green 55 pass the fill test.
    const std::uint32_t target = rgbColour(40, 55, 252);
    Picture picture = filledPicture(30, 30, rgbColour(40, 55, 240));
    picture.setPixel(14, 14, target);  // a picture pixel that is a marker from the start
    FillSetup s(picture, target, 5);
    s.at(15, 15);
    s.markCentre(15, 15);
    TAnalysisState state;
    EXPECT_EQ(fillarea(s.run, state), 10);
    int centreMarkers = 0;
    for (int y = 13; y <= 17; ++y)
        for (int x = 13; x <= 17; ++x) centreMarkers += isCentreMarker(s.area.row(y) + 3 * x);
    EXPECT_EQ(centreMarkers, 2);  // the particle's own and the picture's, none painted
    EXPECT_TRUE(isCentreMarker(s.area.row(15) + 3 * 15));
    EXPECT_TRUE(isCentreMarker(s.area.row(14) + 3 * 14));
    EXPECT_EQ(s.area.pixel(16, 16), rgbColour(40, 54, 252));
}

}  // namespace
