#include "detect/ParameterSearch.h"

#include <gtest/gtest.h>

#include "core/AnalysisState.h"
#include "core/Layers.h"
#include "support/TeachingPictures.h"

namespace {

/// Everything the count finds on picture with params, as marks.
std::vector<Mark> countedCentres(const Picture& picture, const CountParams& params)
{
    return countInRegion(picture, {0, 0, picture.width(), picture.height()}, params);
}

}  // namespace

TEST(ParameterSearch, FitPairsClosestFirstWithinTheRadius)
{
    const std::vector<Mark> marks = {{10, 10}, {20, 10}, {50, 50}};
    // (12,10) is closest to (10,10); (17,10) then pairs with (20,10); (60,50) is too far from (50,50).
    const MarkFit fit = fitMarks(marks, {{17, 10}, {12, 10}, {60, 50}, {90, 90}}, 4.0);
    EXPECT_EQ(fit.marks, 3);
    EXPECT_EQ(fit.found, 4);
    EXPECT_EQ(fit.matched, 2);
    EXPECT_EQ(fit.missed(), 1);
    EXPECT_EQ(fit.extra(), 2);
    EXPECT_DOUBLE_EQ(fit.f1(), 4.0 / 7.0);
    // The number first, then F1.
    MarkFit exact{30, 30, 20}, close{30, 31, 29};
    EXPECT_TRUE(betterFit(exact, close));
    MarkFit tighter{30, 30, 25};
    EXPECT_TRUE(betterFit(tighter, exact));
    EXPECT_FALSE(betterFit(exact, exact));
}

TEST(ParameterSearch, LearntParametersReproduceMarksOfKnownParameters)
{
    // The marks are what the count found with known parameters on a generated picture: teaching
    // must find parameters that find the same particles in the region.
    MicrographOptions options;
    options.width = 500;
    options.height = 400;
    options.particles = 120;
    options.seed = 21;
    const Picture picture = makeSyntheticMicrograph(options).picture;
    CountParams known;
    known.targetColour = rgbColour(110, 200, 85);
    known.colourTolerance = 45;
    known.brightnessTolerance = 70;
    known.minContrast = 30;
    known.minSize = 3;
    known.maxSize = 9;
    const PixelRegion region{100, 80, 300, 240};
    const std::vector<Mark> marks = marksInside(countedCentres(picture, known), region);
    ASSERT_GE(marks.size(), 30u);
    const Teaching teaching = teachFromMarks(picture, region, marks, {2, nullptr, {}});
    ASSERT_EQ(teaching.error, "");
    EXPECT_FALSE(teaching.cancelled);
    EXPECT_EQ(teaching.countFit.marks, static_cast<int>(marks.size()));
    EXPECT_EQ(teaching.countFit.found, static_cast<int>(marks.size()));
    EXPECT_GE(teaching.countFit.f1(), 0.95);
    // The fit reported is the fit of the learnt parameters' own count.
    const MarkFit again = fitMarks(marks, countInRegion(picture, region, teaching.count), teaching.matchRadius);
    EXPECT_EQ(again.matched, teaching.countFit.matched);
    // The blob count finds nearly the same particles (the marks sit at the accepted pixels, not at
    // the centres, and the count takes a few particles twice).
    EXPECT_GE(teaching.blobFit.f1(), 0.9);
    EXPECT_GT(teaching.evaluations, 100);
}

TEST(ParameterSearch, TrueCentresOfStainedPicturesAreFoundAgain)
{
    // Each kind: touching pairs, debris, uneven light. In the teaching region both counts come
    // close to the true centres.
    for (const TeachingKind& kind : teachingKinds()) {
        const Micrograph micrograph = makeTeachingPicture(kind, 0);
        const PixelRegion region{250, 150, 300, 300};
        const std::vector<Mark> marks = trueCentres(micrograph, region);
        const Teaching teaching = teachFromMarks(micrograph.picture, region, marks, {2, nullptr, {}});
        ASSERT_EQ(teaching.error, "") << kind.name;
        EXPECT_GE(teaching.blobFit.f1(), 0.95) << kind.name;
        EXPECT_GE(teaching.countFit.f1(), 0.75) << kind.name;  // touching pairs are one particle to it
        EXPECT_LE(std::abs(teaching.countFit.found - teaching.countFit.marks), 1) << kind.name;
    }
}

TEST(ParameterSearch, SameResultOnAnyNumberOfThreads)
{
    const Micrograph micrograph = makeTeachingPicture(teachingKinds()[3], 2);
    const PixelRegion region{100, 100, 250, 250};
    const std::vector<Mark> marks = trueCentres(micrograph, region);
    const Teaching one = teachFromMarks(micrograph.picture, region, marks, {1, nullptr, {}});
    const Teaching three = teachFromMarks(micrograph.picture, region, marks, {3, nullptr, {}});
    EXPECT_EQ(one.count.targetColour, three.count.targetColour);
    EXPECT_EQ(one.count.colourTolerance, three.count.colourTolerance);
    EXPECT_EQ(one.count.brightnessTolerance, three.count.brightnessTolerance);
    EXPECT_EQ(one.count.minContrast, three.count.minContrast);
    EXPECT_EQ(one.count.minSize, three.count.minSize);
    EXPECT_EQ(one.count.maxSize, three.count.maxSize);
    EXPECT_EQ(one.blobs, three.blobs);
    EXPECT_EQ(one.evaluations, three.evaluations);
}

TEST(ParameterSearch, RefusesWhatCannotBeTaughtAndStopsWhenCancelled)
{
    const Micrograph micrograph = makeTeachingPicture(teachingKinds()[0], 1);
    const Picture& picture = micrograph.picture;
    const std::vector<Mark> marks = trueCentres(micrograph, {0, 0, 800, 600});
    struct Case {
        PixelRegion region;
        const char* expected;
    };
    const Case cases[] = {
        {{700, 500, 200, 50}, "The teaching region 700,500,200,50 does not lie inside the picture (800 x 600 pixels)."},
        {{0, 0, 0, 10}, "The teaching region 0,0,0,10 does not lie inside"},
        {{0, 0, 5, 5}, "The teaching region holds 0 marks; at least 3 are needed, 30 or more give good parameters."},
    };
    for (const Case& c : cases) EXPECT_EQ(teachFromMarks(picture, c.region, marks).error.rfind(c.expected, 0), 0u);
    EXPECT_EQ(teachFromMarks(Picture(), {0, 0, 5, 5}, marks).error, "There is no picture to teach on.");
    // Marks where no parameters find a particle teach nothing (once they gave sizes 1 / 1 in silence).
    const Teaching nothing = teachFromMarks(Picture(60, 60), {0, 0, 60, 60}, {{10, 10}, {30, 30}, {50, 12}});
    EXPECT_EQ(nothing.error.rfind("No parameters tried find any of the 3 marked particles", 0), 0u) << nothing.error;
    // More marks than a region takes are refused before any count.
    std::vector<Mark> crowd;
    for (int i = 0; i <= kMostTeachingMarks; ++i) crowd.push_back({i % 800, i / 800});
    EXPECT_EQ(teachFromMarks(picture, {0, 0, 800, 600}, crowd)
                  .error.rfind("The teaching region holds 20001 marks; at most 20000", 0),
              0u);

    const std::atomic<bool> stop{true};
    const Teaching stopped = teachFromMarks(picture, {100, 100, 300, 300}, marks, {2, &stop, {}});
    EXPECT_EQ(stopped.error, "");
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.evaluations, 0);
}

// A pixel marked more than once is one mark: the teaching is the one of the marks without repeats,
// and the repeats are counted for the warning.
TEST(ParameterSearch, RepeatedMarksTeachAsOne)
{
    const Micrograph micrograph = makeTeachingPicture(teachingKinds()[3], 2);
    const PixelRegion region{100, 100, 250, 250};
    const std::vector<Mark> marks = trueCentres(micrograph, region);
    std::vector<Mark> repeated = marks;
    for (int copy = 0; copy < 3; ++copy) repeated.insert(repeated.end(), marks.begin(), marks.end());
    const Teaching once = teachFromMarks(micrograph.picture, region, marks);
    const Teaching four = teachFromMarks(micrograph.picture, region, repeated);
    EXPECT_EQ(once.duplicateMarks, 0);
    EXPECT_EQ(four.duplicateMarks, static_cast<int>(3 * marks.size()));
    EXPECT_EQ(four.countFit.marks, once.countFit.marks);
    EXPECT_EQ(four.count.targetColour, once.count.targetColour);
    EXPECT_EQ(four.count.minSize, once.count.minSize);
    EXPECT_EQ(four.count.maxSize, once.count.maxSize);
    EXPECT_EQ(four.count.colourTolerance, once.count.colourTolerance);
    EXPECT_EQ(four.blobs, once.blobs);
}
