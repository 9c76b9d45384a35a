#include "detect/CountRun.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "core/FieldText.h"
#include "detect/ColourModel.h"
#include "core/Markers.h"
#include "core/Ring.h"
#include "support/SyntheticMicrograph.h"
#include "support/TestPictures.h"

namespace {

// Pixels that match the default target's colour balance but are far too dark to be candidates or
// to pass the fill's brightness test.
constexpr std::uint32_t kDim = rgbColour(8, 110, 0);

/// One candidate pixel of the given colour with a block of dim matching pixels around it.
void placeSpot(Picture& picture, int px, int y, int halfSize = 1, std::uint32_t colour = kTarget)
{
    fillBlock(picture, px - halfSize, y - halfSize, 2 * halfSize + 1, 2 * halfSize + 1, kDim);
    picture.setPixel(px, y, colour);
}

CountParams params(int minSize, int maxSize = 8)
{
    CountParams p;
    p.minSize = static_cast<std::uint8_t>(minSize);
    p.maxSize = maxSize;
    return p;
}

struct CountOutcome {
    Layers layers;
    TAnalysisState state;
};

CountOutcome count(const Picture& picture, const CountParams& p)
{
    CountOutcome run;
    run.layers.Image1 = picture;
    runCount(run.layers, run.state, p);
    return run;
}

bool centreMarkerAt(const CountOutcome& run, int px, int y)
{
    return isCentreMarker(run.layers.Image3.row(y) + 3 * px);
}

TEST(CountRun, ReachFromMaximumSize)
{
    const int expected[] = {2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8};
    for (int size = 1; size <= 13; ++size) EXPECT_EQ(countReach(size), expected[size - 1]) << size;
    EXPECT_EQ(countReach(0), 1);
    EXPECT_EQ(countReach(2147483647), 1073741825);  // no overflow
}

TEST(CountRun, DefaultMarginsAreRowsSevenAndColumnsSixInward)
{
    struct Case {
        int px, y;
        bool found;
    };
    // 40 x 40 with maximum size 8 (m = 5): rows 7..32 and columns 6..31 are tested.
    const Case cases[] = {{6, 7, true},    {5, 7, false},   {6, 6, false}, {31, 32, true},
                          {32, 20, false}, {20, 33, false}, {20, 20, true}};
    for (const Case& c : cases) {
        Picture picture = filledPicture(40, 40, kBlack);
        placeSpot(picture, c.px, c.y);
        const CountOutcome run = count(picture, params(1));
        EXPECT_EQ(run.state.AutoCount, c.found ? 1 : 0) << c.px << "," << c.y;
        EXPECT_EQ(centreMarkerAt(run, c.px, c.y), c.found) << c.px << "," << c.y;
    }
}

TEST(CountRun, PictureOfTwoMPlusFiveRowsScansRowMPlusTwo)
{
    struct Case {
        int height, spotRow;
        bool found;
    };
    const Case cases[] = {{15, 7, true}, {14, 7, false}, {15, 6, false}, {15, 8, false}, {3, 1, false}};
    for (const Case& c : cases) {
        Picture picture = filledPicture(30, c.height, kBlack);
        placeSpot(picture, 12, c.spotRow);
        const CountOutcome run = count(picture, params(1));
        EXPECT_EQ(run.state.AutoCount, c.found ? 1 : 0) << c.height << " rows, spot in row " << c.spotRow;
    }
    // Too narrow or empty: nothing is tested, nothing fails.
    EXPECT_EQ(count(filledPicture(14, 40, kTarget), params(1)).state.AutoCount, 0);
    EXPECT_EQ(count(Picture(), params(1)).state.AutoCount, 0);
}

TEST(CountRun, ToleranceEqualityPassesContrastEqualityFails)
{
    struct Case {
        const char* what;
        std::uint32_t spot;
        int colourTolerance, brightnessTolerance, minContrast;
        int found;
    };
    // A default spot on black has contrast (4 x 223 + 4 x 121) / 8 = 172.
    const Case cases[] = {
        {"brightness difference 50, tolerance 50", rgbColour(71, 173, 95), 40, 50, 40, 1},
        {"brightness difference 50, tolerance 49", rgbColour(71, 173, 95), 40, 49, 40, 0},
        {"balance difference 40, tolerance 40", rgbColour(161, 223, 95), 40, 50, 40, 1},
        {"balance difference 40, tolerance 39", rgbColour(161, 223, 95), 39, 50, 40, 0},
        {"contrast 172, minimum 171", kTarget, 40, 50, 171, 1},
        {"contrast 172, minimum 172", kTarget, 40, 50, 172, 0},
    };
    for (const Case& c : cases) {
        Picture picture = filledPicture(30, 30, kBlack);
        placeSpot(picture, 15, 15, 1, c.spot);
        CountParams p = params(1);
        p.colourTolerance = static_cast<std::uint16_t>(c.colourTolerance);
        p.brightnessTolerance = static_cast<std::uint16_t>(c.brightnessTolerance);
        p.minContrast = static_cast<std::uint16_t>(c.minContrast);
        EXPECT_EQ(count(picture, p).state.AutoCount, c.found) << c.what;
    }
}

TEST(CountRun, MinimumSizeZeroAcceptsNothing)
{
    Picture picture = filledPicture(30, 30, kBlack);
    placeSpot(picture, 15, 15, 3);
    EXPECT_EQ(count(picture, params(0)).state.AutoCount, 0);
    EXPECT_EQ(count(picture, params(1)).state.AutoCount, 1);
}

TEST(CountRun, SkipAfterAHitPassesOverTheNextTwoNPixels)
{
    // Minimum size 1: after a hit at column 10 the next pixel tested is column 13. Both spots would
    // be accepted on their own (the first paints no area, so it does not hide the second).
    struct Case {
        int secondColumn, expected;
    };
    for (const Case c : {Case{12, 1}, Case{13, 2}}) {
        Picture picture = filledPicture(40, 30, kBlack);
        placeSpot(picture, 10, 15);
        placeSpot(picture, c.secondColumn, 15);
        picture.setPixel(10, 15, kTarget);
        const CountOutcome run = count(picture, params(1));
        EXPECT_EQ(run.state.AutoCount, c.expected) << c.secondColumn;
        EXPECT_EQ(run.state.TotalAreaPixels, 0);
        Picture alone = filledPicture(40, 30, kBlack);
        placeSpot(alone, c.secondColumn, 15);
        EXPECT_EQ(count(alone, params(1)).state.AutoCount, 1);
    }
}

TEST(CountRun, RingIsTenByTenWhateverTheMaximumSize)
{
    for (int maxSize : {1, 8, 30}) {
        Picture picture = filledPicture(60, 60, kBlack);
        placeSpot(picture, 30, 30);
        const CountOutcome run = count(picture, params(1, maxSize));
        ASSERT_EQ(run.state.AutoCount, 1) << maxSize;
        const std::uint32_t pen = ringColour(kTarget);
        EXPECT_EQ(differingPixels(run.layers.Image1, run.layers.Image2), 28) << maxSize;
        for (const RingOffset& o : kRingOffsets)
            EXPECT_EQ(run.layers.Image2.pixel(30 + o.dx, 30 + o.dy), pen);
    }
}

TEST(CountRun, MarkedPicturePixelNearACandidateRejectsIt)
{
    struct Case {
        int px, y;
        int expected;
    };
    // Minimum size 5 at (20, 20): the window is rows 15..25, columns 15..24.
    for (const Case c : {Case{16, 16, 0}, Case{24, 25, 0}, Case{25, 16, 1}, Case{16, 26, 1}}) {
        Picture picture = filledPicture(45, 45, kBlack);
        placeSpot(picture, 20, 20, 2);
        picture.setPixel(c.px, c.y, rgbColour(0, 0, kMarkBlue));
        EXPECT_EQ(count(picture, params(5)).state.AutoCount, c.expected) << c.px << "," << c.y;
    }
}

TEST(CountRun, RunsStartFreshAndRepeatExactly)
{
    MicrographOptions options;
    options.width = 400;
    options.height = 300;
    options.particles = 60;
    Layers layers;
    layers.Image1 = makeSyntheticMicrograph(options).picture;
    TAnalysisState state;
    state.ManualAdded = 4;
    state.ManualRemoved = 2;
    runCount(layers, state, CountParams{});
    const Picture countLayer = layers.Image2, areaLayer = layers.Image3;
    const auto found = state.AutoCount;
    const auto area = state.TotalAreaPixels;
    EXPECT_GT(found, 40);
    EXPECT_EQ(state.ManualAdded, 0);
    EXPECT_EQ(state.ManualRemoved, 0);
    const std::uint8_t* buffer = layers.Image2.data();
    runCount(layers, state, CountParams{});
    EXPECT_EQ(layers.Image2.data(), buffer);  // the layer buffers are reused
    EXPECT_EQ(state.AutoCount, found);
    EXPECT_EQ(state.TotalAreaPixels, area);
    EXPECT_EQ(layers.Image2, countLayer);
    EXPECT_EQ(layers.Image3, areaLayer);
}

TEST(CountRun, DefaultsFindMostParticlesOfTheSampleMicrograph)
{
    const Micrograph sample = makeSyntheticMicrograph(MicrographOptions{});
    ASSERT_EQ(sample.particles.size(), 400u);
    Layers layers;
    layers.Image1 = sample.picture;
    TAnalysisState state;
    countParticles(layers, state, kTarget, ParameterTexts{});
    EXPECT_NEAR(state.AutoCount, 400, 20);
    EXPECT_GT(state.TotalAreaPixels, 400 * 10);
}

TEST(CountRun, ParametersReadInOrderWithRangeChecks)
{
    struct Case {
        std::string ParameterTexts::*field;
        const char* text;
        const char* named;  // empty: accepted
        const char* range;
    };
    const Case cases[] = {
        {&ParameterTexts::EdDevi, "x", kColourToleranceField, ""},
        {&ParameterTexts::EdDevi, "65536", kColourToleranceField, "0 to 65535"},
        {&ParameterTexts::EdDevi, "65535", "", ""},
        {&ParameterTexts::Edhell, "-1", kBrightnessToleranceField, "0 to 65535"},
        {&ParameterTexts::EdCont, "70000", kMinContrastField, "0 to 65535"},
        {&ParameterTexts::EdCont, "4.5", kMinContrastField, ""},
        {&ParameterTexts::EdMax, "-3", kMaxSizeField, "0 to 2147483647"},
        {&ParameterTexts::EdMax, "2147483648", kMaxSizeField, "0 to 2147483647"},
        {&ParameterTexts::Edmin, "256", kMinSizeField, "0 to 255"},
        {&ParameterTexts::Edmin, "255", "", ""},
        {&ParameterTexts::Edmin, "", kMinSizeField, ""},
    };
    for (const Case& c : cases) {
        ParameterTexts texts;
        texts.*c.field = c.text;
        SCOPED_TRACE(c.text);
        if (std::string(c.named).empty()) {
            EXPECT_NO_THROW(readCountParams(texts, kTarget));
            continue;
        }
        try {
            readCountParams(texts, kTarget);
            ADD_FAILURE() << "no error";
        } catch (const FieldError& error) {
            EXPECT_NE(error.message.find(c.named), std::string::npos) << error.message;
            EXPECT_NE(error.message.find(c.range), std::string::npos) << error.message;
        }
    }
    // Two bad fields: the first in reading order is the one reported.
    ParameterTexts texts;
    texts.Edmin = "bad";
    texts.Edhell = "bad";
    try {
        readCountParams(texts, kTarget);
        ADD_FAILURE() << "no error";
    } catch (const FieldError& error) {
        EXPECT_NE(error.message.find(kBrightnessToleranceField), std::string::npos);
    }
    texts = ParameterTexts{};
    texts.EdDevi = " 12 ";
    const CountParams p = readCountParams(texts, rgbColour(1, 2, 3));
    EXPECT_EQ(p.colourTolerance, 12);
    EXPECT_EQ(p.brightnessTolerance, 50);
    EXPECT_EQ(p.minContrast, 40);
    EXPECT_EQ(p.maxSize, 8);
    EXPECT_EQ(p.minSize, 5);
    EXPECT_EQ(p.targetColour, rgbColour(1, 2, 3));
}

TEST(CountRun, BadParameterStopsAfterTheResetKeepingTheCount)
{
    Layers layers;
    layers.Image1 = filledPicture(30, 30, kBlack);
    placeSpot(layers.Image1, 15, 15);
    layers.Image2 = filledPicture(30, 30, rgbColour(9, 9, 9));
    layers.Image3 = filledPicture(30, 30, rgbColour(9, 9, 9));
    TAnalysisState state;
    state.AutoCount = 7;
    state.ManualAdded = 3;
    state.ManualRemoved = 2;
    state.TotalAreaPixels = 99;
    ParameterTexts texts;
    texts.Edmin = "1";
    texts.EdMax = "eight";
    EXPECT_THROW(countParticles(layers, state, kTarget, texts), FieldError);
    EXPECT_EQ(layers.Image2, layers.Image1);
    EXPECT_EQ(layers.Image3, layers.Image1);
    EXPECT_EQ(state.ManualAdded, 0);
    EXPECT_EQ(state.ManualRemoved, 0);
    EXPECT_EQ(state.TotalAreaPixels, 0);
    EXPECT_EQ(state.AutoCount, 7);
    texts.EdMax = "8";
    countParticles(layers, state, kTarget, texts);
    EXPECT_EQ(state.AutoCount, 1);
}

TEST(CountRun, FinishingStateAndExportButton)
{
    TAnalysisState state;
    state.AddMode = true;
    finishCountState(state);
    EXPECT_FALSE(state.AddMode);
    EXPECT_TRUE(state.ReportActive);
    EXPECT_EQ(state.ViewMode, kViewCount);
    finishCountState(state);
    EXPECT_FALSE(state.AddMode);

    struct Case {
        int found, exportMode, grid;
        bool enabled;
    };
    const Case cases[] = {{3, kExportXY, 25, true},
                          {3, kExportStatistics, 25, true},
                          {3, kExportXY, 0, false},
                          {0, kExportXY, 25, false},
                          {3, kExportOff, 25, false}};
    for (const Case& c : cases) {
        state.AutoCount = c.found;
        state.ExportMode = static_cast<std::uint8_t>(c.exportMode);
        state.GridMicrons = static_cast<std::uint8_t>(c.grid);
        EXPECT_EQ(exportEnabledAfterCount(state), c.enabled)
            << c.found << " " << c.exportMode << " " << c.grid;
    }
}

}  // namespace

namespace {

TEST(CountRun, LayerBuffersFromAnEarlierPictureNeverShowThrough)
{
    // A picture whose rows are wider than the copy step, so that rows are copied one by one as the
    // count reaches them. The particle at (100, 10) grows down a path that slips past its own ring
    // (bottom edges are judged on the count layer) and then follows column 102 until its ring 9
    // reaches row 1 at the top; further down the path counts as new particles. The lone
    // target pixel at (108, 18) is the right side pixel of ring 8 in its bottom row; it would join
    // if the unmarked (107, 19), one row below the ring, read as marked.
    Picture picture = filledPicture(22000, 40, kBlack);
    for (const auto& [x, y] : {std::pair{99, 10}, {100, 10}, {100, 11}, {100, 12}, {101, 13}, {102, 14}})
        picture.setPixel(x, y, kTarget);
    fillBlock(picture, 102, 15, 1, 21, kTarget);
    picture.setPixel(108, 18, kTarget);

    Layers fresh;
    fresh.Image1 = picture;
    TAnalysisState freshState;
    runCount(fresh, freshState, params(1));
    ASSERT_EQ(freshState.AutoCount, 3);
    EXPECT_EQ(fresh.Image3.row(19)[3 * 102], kMarkBlue);  // ring 9's bottom row
    EXPECT_NE(fresh.Image3.row(18)[3 * 108], kMarkBlue);

    Layers stale;
    stale.Image1 = picture;
    stale.Image2 = filledPicture(22000, 40, rgbColour(0, 0, kMarkBlue));  // left over: marked everywhere
    stale.Image3 = stale.Image2;
    TAnalysisState staleState;
    runCount(stale, staleState, params(1));
    EXPECT_EQ(staleState.AutoCount, freshState.AutoCount);
    EXPECT_EQ(staleState.TotalAreaPixels, freshState.TotalAreaPixels);
    EXPECT_EQ(stale.Image2, fresh.Image2);
    EXPECT_EQ(stale.Image3, fresh.Image3);
}

}  // namespace

namespace {

bool sameParticles(const ParticleList& a, const ParticleList& b)
{
    if (a.particles.size() != b.particles.size()) return false;
    for (std::size_t i = 0; i < a.particles.size(); ++i) {
        const ParticleRecord &p = a.particles[i], &q = b.particles[i];
        if (p.x != q.x || p.y != q.y || p.areaPixels != q.areaPixels || p.sumRed != q.sumRed ||
            p.sumGreen != q.sumGreen || p.sumBlue != q.sumBlue || p.added != q.added || p.removed != q.removed)
            return false;
    }
    return true;
}

// The count a worker thread runs: into layers of its own, asking its hook every few rows. Run to its
// end it makes what runCount makes (with and without the particle table, whose fill takes another
// path); stopped by its hook it gives nothing at all and the picture it read is as it was.
TEST(CountRun, CountIntoNewLayersEqualsRunCountAndAStopLeavesNothing)
{
    ClusterOptions options;
    options.width = 800;
    options.height = 500;
    options.clusters = 60;
    const Picture picture = makeClusteredMicrograph(options).picture;
    CountParams p;  // as the dense count's benchmark counts
    p.minSize = 3;
    p.maxSize = 9;
    p.targetColour = rgbColour(0, 27, 210);
    p.colourTolerance = 32;
    p.brightnessTolerance = 36;
    p.minContrast = 10;
    for (const bool collect : {false, true}) {
        SCOPED_TRACE(collect ? "with particles" : "without particles");
        Layers expected;
        expected.Image1 = picture;
        TAnalysisState expectedState;
        ParticleList expectedParticles;
        runCount(expected, expectedState, p, collect ? &expectedParticles : nullptr);
        ASSERT_GT(expectedState.AutoCount, 100);

        std::int64_t calls = 0, lastDone = -1, lastTotal = 0;
        bool ordered = true;
        std::optional<FinishedCount> made =
            countIntoNewLayers(picture, p, collect, [&](std::int64_t done, std::int64_t total) {
                ordered = ordered && done > lastDone && done <= total && (lastTotal == 0 || total == lastTotal);
                lastDone = done;
                lastTotal = total;
                ++calls;
                return true;
            });
        ASSERT_TRUE(made.has_value());
        EXPECT_TRUE(ordered);
        EXPECT_EQ(lastDone, lastTotal);  // the last call says the work is done
        EXPECT_GT(calls, 10);

        // Put in place of an earlier count that had corrections, as the count button does.
        Layers layers;
        layers.Image1 = picture;
        layers.Image2 = filledPicture(picture.width(), picture.height(), kTarget);
        layers.Image3 = layers.Image2;
        TAnalysisState state;
        state.ManualAdded = 3;
        state.ManualRemoved = 2;
        state.AutoCount = 7;
        state.TotalAreaPixels = 99;
        ParticleList particles;
        particles.recordAdd(1, 1);
        applyFinishedCount(*made, layers, state, &particles);
        EXPECT_EQ(layers.Image2, expected.Image2);
        EXPECT_EQ(layers.Image3, expected.Image3);
        EXPECT_EQ(state.AutoCount, expectedState.AutoCount);
        EXPECT_EQ(state.TotalAreaPixels, expectedState.TotalAreaPixels);
        EXPECT_EQ(state.ManualAdded, 0);
        EXPECT_EQ(state.ManualRemoved, 0);
        EXPECT_TRUE(sameParticles(particles, expectedParticles));

        // The earlier count's layers come back, and the next count writes into them: whatever they
        // hold, it makes the same layers, in the same buffers.
        ASSERT_EQ(made->Image2, filledPicture(picture.width(), picture.height(), kTarget));
        const std::uint8_t* spareBuffer = made->Image2.data();
        std::optional<FinishedCount> again =
            countIntoNewLayers(picture, p, collect, {}, std::move(made->Image2), std::move(made->Image3));
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->Image2.data(), spareBuffer);
        EXPECT_EQ(again->Image2, expected.Image2);
        EXPECT_EQ(again->Image3, expected.Image3);
        EXPECT_EQ(again->AutoCount, expectedState.AutoCount);

        // Stopped at the first call, half-way and at the very last call: nothing comes back, and the
        // hook is not asked again once it said stop.
        for (const double stopAt : {0.0, 0.5, 1.0}) {
            std::int64_t callsAfterStop = 0;
            bool stopped = false;
            const std::optional<FinishedCount> cancelled =
                countIntoNewLayers(picture, p, collect, [&](std::int64_t done, std::int64_t total) {
                    if (stopped) ++callsAfterStop;
                    stopped = stopped || done >= static_cast<std::int64_t>(stopAt * static_cast<double>(total));
                    return !stopped;
                });
            EXPECT_FALSE(cancelled.has_value()) << stopAt;
            EXPECT_EQ(callsAfterStop, 0) << stopAt;
        }
        EXPECT_EQ(layers.Image1, picture);
    }
}

}  // namespace
