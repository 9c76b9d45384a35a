// The learnt count: what a model taught on one generated picture counts on the next, that teaching
// and counting do not depend on the threads, and that the model file reads back exactly and refuses
// anything malformed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "detect/DensityCount.h"
#include "support/TeachingPictures.h"

namespace {

/// A model taught on the whole of picture 0 of the red teaching kind (unevenly lit, with debris
/// and touching pairs) from its true centres.
DensityTraining teachOnFirstPicture(int threads)
{
    const TeachingKind kind = teachingKinds()[1];
    const Micrograph taught = makeTeachingPicture(kind, 0);
    const PixelRegion whole{0, 0, taught.picture.width(), taught.picture.height()};
    TeachingSet set;
    EXPECT_EQ(addTeachingPicture(set, taught.picture, "taught.bmp", whole, trueCentres(taught, whole), {}), "");
    return trainDensityModel(set, {threads, nullptr});
}

}  // namespace

TEST(DensityCount, ModelTaughtOnOnePictureCountsTheNextWithinTwoPercent)
{
    const DensityTraining training = teachOnFirstPicture(2);
    ASSERT_EQ(training.error, "");
    for (int index = 1; index <= 2; ++index) {
        const Micrograph counted = makeTeachingPicture(teachingKinds()[1], index);
        const DensityResult result = predictDensity(counted.picture, training.model, {2, nullptr}, true);
        const double truth = static_cast<double>(counted.particles.size());
        EXPECT_NEAR(result.count, truth, 0.02 * truth) << "picture " << index;
        // The positions are about as many as the count says (patches round, peaks may be fewer).
        EXPECT_NEAR(static_cast<double>(result.positions.size()), truth, 0.05 * truth) << "picture " << index;
        EXPECT_EQ(result.density.width, counted.picture.width());
    }
}

TEST(DensityCount, ParticlesOverADarkGroundKeepTheirHeightWhateverItsLevel)
{
    // A dark ground is the camera's offset and the glow of crowded particles, not light: the same
    // spots over grounds of 20 and of 50 stand equally high. A bright ground (dark particles under
    // light) is light, and what stands out of it is read over its level.
    struct Case {
        int ground, spot;
        float height;
    };
    for (const Case& c : {Case{20, 180, 160.0F / 64}, Case{50, 210, 160.0F / 64}, Case{200, 40, 160.0F / 200}}) {
        Picture picture(96, 96);
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) {
                const bool spot = (x - 48) * (x - 48) + (y - 48) * (y - 48) <= 9;
                std::fill_n(picture.row(y) + 3 * x, 3, static_cast<std::uint8_t>(spot ? c.spot : c.ground));
            }
        const std::uint32_t target = rgbColour(c.spot, c.spot, c.spot);
        const FloatPlane flat = normalisedChannel(picture, target);
        EXPECT_NEAR(flat.row(48)[48], c.height, 1e-4) << "ground " << c.ground;
        EXPECT_NEAR(flat.row(5)[5], 0.0F, 1e-4) << "ground " << c.ground;
    }
}

TEST(DensityCount, TeachingAndCountingIgnoreTheNumberOfThreads)
{
    const DensityTraining one = teachOnFirstPicture(1);
    const DensityTraining three = teachOnFirstPicture(3);
    ASSERT_EQ(one.error, "");
    EXPECT_EQ(densityModelText(one.model), densityModelText(three.model));
    // A picture larger than one tile, so that tiles are shared out differently.
    const Micrograph counted = makeTeachingPicture(teachingKinds()[1], 2);
    const DensityResult a = predictDensity(counted.picture, one.model, {1, nullptr}, true);
    const DensityResult b = predictDensity(counted.picture, one.model, {3, nullptr}, true);
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.density.values, b.density.values);
    EXPECT_EQ(a.positions, b.positions);
}

TEST(DensityCount, TheGateZeroesPlainGroundAndAModelWithoutOnePredictsEveryPixel)
{
    const DensityTraining training = teachOnFirstPicture(2);
    ASSERT_EQ(training.error, "");
    ASSERT_GE(training.model.gateFeature, 0);
    DensityModel ungated = training.model;  // as a model file from before the gate reads
    ungated.gateFeature = -1;
    const Micrograph counted = makeTeachingPicture(teachingKinds()[1], 1);
    const DensityResult gated = predictDensity(counted.picture, training.model, {2, nullptr}, true);
    const DensityResult everywhere = predictDensity(counted.picture, ungated, {2, nullptr}, true);
    std::size_t zeroed = 0, unpredicted = 0;
    for (std::size_t i = 0; i < gated.density.values.size(); ++i) {
        const float value = gated.density.values[i];
        if (value == 0 && everywhere.density.values[i] != 0) {
            ++zeroed;
        } else {
            EXPECT_EQ(value, everywhere.density.values[i]) << "pixel " << i;
        }
        unpredicted += everywhere.density.values[i] == 0 ? 1 : 0;
    }
    // Most of a sparse picture is plain ground; what the gate leaves out holds almost no particle.
    EXPECT_GT(zeroed, gated.density.values.size() / 2);
    EXPECT_LT(unpredicted, gated.density.values.size() / 100);
    EXPECT_NEAR(gated.count, everywhere.count, 0.01 * everywhere.count);
}

TEST(DensityCount, PicturesNarrowerThanTheFeaturesReachAreCounted)
{
    // Pictures far smaller than a blur's reach, or a tile and a few pixels wide, cut from one with
    // particles: every plane then ends at the picture's edge.
    const DensityTraining training = teachOnFirstPicture(2);
    ASSERT_EQ(training.error, "");
    DensityModel ungated = training.model;
    ungated.gateFeature = -1;
    const Micrograph source = makeTeachingPicture(teachingKinds()[1], 1);
    for (const auto& [width, height] : {std::pair{1, 1}, {1, 9}, {9, 1}, {323, 2}, {5, 330}}) {
        Picture picture(width, height);
        for (int y = 0; y < height; ++y)
            std::copy(source.picture.row(y + 100), source.picture.row(y + 100) + 3 * width, picture.row(y));
        for (const DensityModel* model : {&training.model, static_cast<const DensityModel*>(&ungated)}) {
            const DensityResult result = predictDensity(picture, *model, {2, nullptr}, true);
            EXPECT_TRUE(std::isfinite(result.count) && result.count >= 0) << width << " x " << height;
            EXPECT_EQ(result.density.values.size(), static_cast<std::size_t>(width) * height);
            for (const Mark& mark : result.positions)
                EXPECT_TRUE(mark.x >= 0 && mark.y >= 0 && mark.x < width && mark.y < height);
        }
    }
}

TEST(DensityCount, BackgroundBoxesTeachZeroAndTeachingWarnsWithoutThem)
{
    // A crowded region without background: warned. A box of empty ground: no warning, and the
    // density over such ground stays near zero.
    Picture picture(200, 200);
    std::vector<Mark> marks;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) picture.setPixel(x, y, rgbColour(10, 20, 10));
    for (int cy = 10; cy < 100; cy += 6)
        for (int cx = 10; cx < 100; cx += 6) {
            marks.push_back({cx, cy});
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx)
                    if (dx * dx + dy * dy <= 9) picture.setPixel(cx + dx, cy + dy, rgbColour(60, 220, 60));
        }
    TeachingSet crowded;
    ASSERT_EQ(addTeachingPicture(crowded, picture, "p.bmp", {5, 5, 100, 100}, marks, {}), "");
    const std::vector<std::string> warnings = teachingWarnings(crowded);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("no background was marked"), std::string::npos);

    TeachingSet withBox = crowded;
    ASSERT_EQ(addTeachingPicture(withBox, picture, "p.bmp", {5, 5, 100, 100}, marks, {{120, 120, 60, 60}}), "");
    EXPECT_EQ(withBox.pictures.size(), 1u);  // the same picture taught again replaces its entry
    EXPECT_TRUE(teachingWarnings(withBox).empty());
    const DensityTraining training = trainDensityModel(withBox, {2, nullptr});
    ASSERT_EQ(training.error, "");
    const DensityResult result = predictDensity(picture, training.model, {2, nullptr}, true);
    EXPECT_NEAR(result.count, static_cast<double>(marks.size()), 0.02 * static_cast<double>(marks.size()));
    double emptyGround = 0;
    for (int y = 120; y < 200; ++y)
        for (int x = 120; x < 200; ++x) emptyGround += result.density.row(y)[x];
    EXPECT_LT(emptyGround, 0.5);

    // Nothing to teach is refused with a reason.
    TeachingSet none;
    EXPECT_NE(addTeachingPicture(none, picture, "p.bmp", {150, 150, 20, 20}, marks, {}), "");
    EXPECT_NE(addTeachingPicture(none, picture, "p.bmp", {300, 300, 20, 20}, marks, {}), "");
    EXPECT_NE(trainDensityModel(none).error, "");
}

TEST(DensityCount, ModelFileReadsBackExactlyAndRefusesMalformedText)
{
    DensityModel model;
    model.targetColour = rgbColour(12, 200, 34);
    model.particleScale = 2.718281828459045;
    model.targetSigma = 2.75;
    model.featureScales = {0.8154845485377135, 1.5};
    model.marks = 120;
    model.pictures = 3;
    model.backgroundBoxes = 2;
    model.hasSampleRange = true;
    model.sampleRange = {SampleRange::Mode::Fixed, 100, 4000};
    model.gateFeature = 10;  // the second scale's Laplacian of Gaussian
    model.gateThreshold = 0.1F / 7;
    model.trees = {{{3, 0.1F / 3, 1, 2, 0}, {-1, 0, 0, 0, 1e-7F}, {-1, 0, 0, 0, 0.0123456789F}},
                   {{-1, 0, 0, 0, 0.5F}}};
    const std::string text = densityModelText(model);
    const DensityModelReading read = parseDensityModelText(text, "m.txt");
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(densityModelText(read.model), text);
    EXPECT_EQ(read.model.trees[0][0].threshold, 0.1F / 3);
    EXPECT_EQ(read.model.particleScale, model.particleScale);
    EXPECT_EQ(read.model.sampleRange.high, 4000);
    EXPECT_EQ(read.model.gateThreshold, model.gateThreshold);
    // A model from before the gate has none: every pixel is predicted.
    const std::size_t gateLine = text.find("gate ");
    const DensityModelReading older =
        parseDensityModelText(text.substr(0, gateLine) + text.substr(text.find('\n', gateLine) + 1), "m.txt");
    ASSERT_EQ(older.error, "");
    EXPECT_EQ(older.model.gateFeature, -1);
    // Every 16-bit mapping a model can be taught with reads back as itself.
    for (const SampleRange& range : {SampleRange{SampleRange::Mode::Auto, 0, 65535},
                                     SampleRange{SampleRange::Mode::PerChannel, 0, 65535},
                                     SampleRange{SampleRange::Mode::Full, 0, 65535}}) {
        DensityModel mapped = model;
        mapped.sampleRange = range;
        const DensityModelReading back = parseDensityModelText(densityModelText(mapped), "m.txt");
        ASSERT_EQ(back.error, "") << sampleRangeText(range);
        EXPECT_TRUE(back.model.hasSampleRange) << sampleRangeText(range);
        EXPECT_EQ(back.model.sampleRange, range) << sampleRangeText(range);
    }

    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    const std::string refused[] = {
        replaced("SpotTally density model 1", "SpotTally density model 2"),
        replaced("s 3 ", "s 22 "),                    // a feature past the 22 of 2 scales
        replaced(" 1 2\n", " 0 2\n"),                 // a branch back to itself: a walk that never ends
        replaced(" 1 2\n", " 1 3\n"),                 // a branch outside the tree
        replaced(" 1 2\n", " 2 2\n"),                 // both branches to one node
        replaced("tree 3\n", "tree 4\n"),             // the tree is shorter than it says
        replaced("trees 2", "trees 100000"),
        replaced("l 0.5", "l nan"),
        replaced("colour 12 200 34", "colour 12 300 34"),
        replaced("range 100 4000", "range 4000 100"),
        text.substr(0, text.size() - 4),              // cut before "end"
        text + "s 0 1 2 3\n",                         // something after the end
        replaced("scales ", "scales -1 "),
        replaced("scales ", "scales 5000 "),          // a tile margin of thousands of pixels
        replaced("gate 10 ", "gate 13 "),             // a gate the smoothed values alone do not give
        replaced("gate 10 ", "gate 18 "),             // a gate past the scales
        replaced(text.substr(gateLine, text.find('\n', gateLine) - gateLine), "gate 10 inf"),
    };
    for (const std::string& bad : refused) {
        const DensityModelReading reading = parseDensityModelText(bad, "m.txt");
        EXPECT_NE(reading.error.find("m.txt: line "), std::string::npos) << bad.substr(0, 200);
        EXPECT_TRUE(reading.model.empty());
    }
    EXPECT_EQ(densityModelPath("/a/params.txt"), std::filesystem::path("/a/params.model.txt"));
}

TEST(DensityCount, ParticlesCutByThePictureEdgeCountWhole)
{
    // A small piece of a picture, so that many marked particles lie partly outside it: the density
    // taught for each must still sum to one, or every count comes out low.
    const Micrograph whole = makeTeachingPicture(teachingKinds()[1], 0);
    const int x0 = 250, y0 = 150, size = 250;
    Picture piece(size, size);
    for (int y = 0; y < size; ++y)
        std::copy(whole.picture.row(y0 + y) + 3 * x0, whole.picture.row(y0 + y) + 3 * (x0 + size), piece.row(y));
    std::vector<Mark> marks;
    for (const Mark& mark : trueCentres(whole, {x0, y0, size, size})) marks.push_back({mark.x - x0, mark.y - y0});
    ASSERT_GE(marks.size(), 20u);
    TeachingSet set;
    ASSERT_EQ(addTeachingPicture(set, piece, "piece.bmp", {0, 0, size, size}, marks, {}), "");
    const DensityTraining training = trainDensityModel(set, {2, nullptr});
    ASSERT_EQ(training.error, "");
    const double truth = static_cast<double>(marks.size());
    EXPECT_NEAR(predictDensity(piece, training.model, {2, nullptr}).count, truth, 0.01 * truth);
}
