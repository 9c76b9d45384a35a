// The count against a plain second implementation of its rules (support/ReferenceCount), layer by
// layer and byte by byte, on many random and synthetic pictures and parameter sets.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "detect/ColourModel.h"
#include "detect/CountRun.h"
#include "core/Markers.h"
#include "support/ReferenceCount.h"
#include "support/SyntheticMicrograph.h"
#include "support/TestPictures.h"

namespace {

struct Outcome {
    Layers layers;
    TAnalysisState state;
};

/// The count on layers kept from run to run, as the window keeps them: the count and area layers
/// start with whatever the previous pictures left in their buffers, which the run must not see.
const Outcome& fastCount(const Picture& picture, const CountParams& params)
{
    static Outcome outcome;
    outcome.layers.Image1.copyFrom(picture);
    runCount(outcome.layers, outcome.state, params);
    return outcome;
}

/// Runs both and reports the first difference; returns the count.
std::int64_t expectSameAsReference(const Picture& picture, const CountParams& params, const std::string& what)
{
    const Outcome& fast = fastCount(picture, params);
    const ReferenceResult reference = referenceCount(picture, params);
    EXPECT_EQ(fast.state.AutoCount, reference.autoCount) << what;
    EXPECT_EQ(fast.state.TotalAreaPixels, reference.totalArea) << what;
    EXPECT_EQ(differingPixels(fast.layers.Image2, reference.countLayer), 0) << what << " (count layer)";
    EXPECT_EQ(differingPixels(fast.layers.Image3, reference.areaLayer), 0) << what << " (area layer)";
    return reference.autoCount;
}

/// A picture of patches in a few colours around the target, dim copies of it, black, ring colour,
/// marker-like pixels and noise: many candidates, fills that touch each other and the edges.
Picture confettiPicture(std::mt19937& random, int width, int height, std::uint32_t target)
{
    const std::uint32_t palette[] = {
        target,
        rgbColour(colourRed(target) / 2, colourGreen(target) / 2, colourBlue(target) / 2),
        rgbColour(std::min(255, colourRed(target) + 20), colourGreen(target), colourBlue(target)),
        rgbColour(colourRed(target), std::max(0, colourGreen(target) - 30), colourBlue(target)),
        kBlack,
        kBlack,
        ringColour(target),
        rgbColour(colourRed(target), kCentreGreen, kMarkBlue),
        rgbColour(colourRed(target), colourGreen(target), kMarkBlue),
    };
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint32_t colour = palette[random() % std::size(palette)];
            if (random() % 4 == 0) colour = random() & 0xFFFFFF;
            picture.setPixel(x, y, colour);
        }
    // Patches of a single colour, so that areas grow over several rings.
    const int patches = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < patches; ++i) {
        const int w = 1 + static_cast<int>(random() % 12), h = 1 + static_cast<int>(random() % 12);
        const int x = static_cast<int>(random() % static_cast<unsigned>(width));
        const int y = static_cast<int>(random() % static_cast<unsigned>(height));
        fillBlock(picture, x, y, std::min(w, width - x), std::min(h, height - y),
                  random() % 3 ? target : palette[random() % std::size(palette)]);
    }
    return picture;
}

CountParams randomParams(std::mt19937& random, std::uint32_t target)
{
    CountParams p;
    p.targetColour = target;
    p.colourTolerance = static_cast<std::uint16_t>(random() % 4 == 0 ? random() % 300 : random() % 80);
    p.brightnessTolerance = static_cast<std::uint16_t>(random() % 4 == 0 ? random() % 300 : random() % 90);
    p.minContrast = static_cast<std::uint16_t>(random() % 5 == 0 ? 0 : random() % 120);
    p.maxSize = static_cast<std::int32_t>(random() % 31);
    p.minSize = static_cast<std::uint8_t>(random() % 8 == 0 ? random() % 20 : random() % 9);
    return p;
}

TEST(CountExactness, RandomPicturesAndParameters)
{
    std::mt19937 random(20240611);
    std::int64_t found = 0, area = 0;
    for (int round = 0; round < 1500; ++round) {
        const std::uint32_t target = random() % 3 == 0 ? (random() & 0xFFFFFF) : kTarget;
        const int width = 1 + static_cast<int>(random() % 70), height = 1 + static_cast<int>(random() % 50);
        const Picture picture = confettiPicture(random, width, height, target);
        const CountParams params = randomParams(random, target);
        found += expectSameAsReference(picture, params, "round " + std::to_string(round));
        area += fastCount(picture, params).state.TotalAreaPixels;
        if (HasFailure()) break;
    }
    // The rounds did exercise the acceptance and the fill.
    EXPECT_GT(found, 600);
    EXPECT_GT(area, 3000);
}

TEST(CountExactness, SyntheticMicrographs)
{
    std::mt19937 random(7);
    for (int round = 0; round < 12; ++round) {
        MicrographOptions options;
        options.width = 150 + static_cast<int>(random() % 150);
        options.height = 100 + static_cast<int>(random() % 100);
        options.particles = 20 + static_cast<int>(random() % 60);
        options.seed = random();
        options.minRadius = 1.0 + (random() % 3);
        options.maxRadius = options.minRadius + 1 + (random() % 5);
        const Picture picture = makeSyntheticMicrograph(options).picture;
        CountParams params = round < 4 ? CountParams{} : randomParams(random, kTarget);
        const std::int64_t found =
            expectSameAsReference(picture, params, "micrograph " + std::to_string(round));
        if (round < 4) {
            EXPECT_GT(found, 10);
        }
        if (HasFailure()) break;
    }
}

/// A picture mostly of pixels near the target that pass the fill test, broken by holes (alone and in
/// blocks) of a random density, with ring-coloured and already marked pixels here and there: fills
/// spread far through narrow paths, into each other, up to the picture's edges and to ring 256.
Picture densePicture(std::mt19937& random, int width, int height, std::uint32_t target)
{
    const unsigned holesPerThousand = 20 + random() % 330;
    const int jitter = 1 + static_cast<int>(random() % 6);
    const auto near = [&](int value) {
        return std::clamp(value + static_cast<int>(random() % (2 * jitter + 1)) - jitter, 0, 255);
    };
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint32_t colour =
                rgbColour(near(colourRed(target)), near(colourGreen(target)), near(colourBlue(target)));
            const unsigned roll = random() % 1000;
            if (roll < holesPerThousand)
                colour = roll % 2 ? kBlack : random() & 0xFFFFFF;
            else if (roll == 999)
                colour = ringColour(target);
            else if (roll == 998)
                colour = rgbColour(colourRed(target), colourGreen(target), kMarkBlue);
            picture.setPixel(x, y, colour);
        }
    const int blocks = static_cast<int>(random() % 40);
    for (int i = 0; i < blocks; ++i) {
        const int w = 1 + static_cast<int>(random() % 40), h = 1 + static_cast<int>(random() % 40);
        const int x = static_cast<int>(random() % static_cast<unsigned>(width));
        const int y = static_cast<int>(random() % static_cast<unsigned>(height));
        fillBlock(picture, x, y, std::min(w, width - x), std::min(h, height - y), kBlack);
    }
    return picture;
}

TEST(CountExactness, DenseFillsUpToRing256AndTheEdges)
{
    std::mt19937 random(140256);
    bool reachedEdges = false;
    for (int round = 0; round < 8; ++round) {
        const std::uint32_t target = round % 3 == 2 ? (random() & 0xFFFFFF) | 0x800000 : kTarget;
        // Wide and high enough for a fill around the middle to reach ring 256 before an edge; sizes
        // that are not whole tiles of 64.
        const int width = 520 + static_cast<int>(random() % 120), height = 516 + static_cast<int>(random() % 90);
        const Picture picture = densePicture(random, width, height, target);
        CountParams params;
        params.targetColour = target;
        params.colourTolerance = static_cast<std::uint16_t>(15 + random() % 50);
        params.brightnessTolerance = static_cast<std::uint16_t>(10 + random() % 50);
        params.minContrast = static_cast<std::uint16_t>(random() % 6);
        params.maxSize = static_cast<std::int32_t>(random() % 12);
        params.minSize = static_cast<std::uint8_t>(1 + random() % 5);
        expectSameAsReference(picture, params, "dense " + std::to_string(round));
        if (HasFailure()) break;
        // Fills end in row 1, column 1, the last row or column width - 2 only at the picture's edges.
        const Picture& area = fastCount(picture, params).layers.Image3;
        for (int x = 2; x < width - 2; ++x)
            reachedEdges = reachedEdges || (isMarked(area.row(1) + 3 * x) && !isMarked(picture.row(1) + 3 * x));
    }
    EXPECT_TRUE(reachedEdges);

    // One particle in the middle of a field of target colour: the fill grows ring by ring up to ring
    // 256, where k squared wraps to 0 in 16 bits and the growth ends. A reach of 3 bytes puts the
    // contrast samples in the same channel, so only the one brighter pixel stands out. Its first ring
    // is kept below 6 successes (a whole first ring ends the growth) by pixels whose blue rises above
    // their red, which fail the fill test alone (below them the area leaves a widening gap).
    Picture field = filledPicture(640, 600, kTarget);
    field.setPixel(300, 290, rgbColour(121, 227, 95));
    fillBlock(field, 301, 289, 1, 3, rgbColour(121, 223, 200));
    fillBlock(field, 299, 291, 2, 1, rgbColour(121, 223, 200));
    CountParams params;
    params.minContrast = 0;
    params.maxSize = 3;
    params.minSize = 3;
    EXPECT_EQ(expectSameAsReference(field, params, "field"), 1);
    const Picture& area = fastCount(field, params).layers.Image3;
    for (const int reach : {256, 257}) {
        const bool inside = reach == 256;
        EXPECT_EQ(isMarked(area.row(290 - reach) + 3 * 300), inside) << reach;
        EXPECT_EQ(isMarked(area.row(290) + 3 * (300 - reach)), inside) << reach;
        EXPECT_EQ(isMarked(area.row(290) + 3 * (300 + reach)), inside) << reach;
    }
}

TEST(CountExactness, PicturesWiderThanSixteenBitOffsets)
{
    // Byte offsets beyond 65,535: particles at the far right are found like any other.
    Picture picture = filledPicture(22000, 20, kBlack);
    for (int px : {100, 21900, 21990}) {
        fillBlock(picture, px - 2, 8, 5, 5, rgbColour(8, 110, 0));
        fillBlock(picture, px - 1, 9, 3, 3, kTarget);
    }
    CountParams params;
    params.minSize = 2;
    EXPECT_EQ(expectSameAsReference(picture, params, "22000 wide"), 3);
    const Outcome& fast = fastCount(picture, params);
    EXPECT_TRUE(isCentreMarker(fast.layers.Image3.row(9) + 3 * 21989));
}

}  // namespace
