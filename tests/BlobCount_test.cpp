#include "detect/BlobCount.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/TeachingPictures.h"

namespace {

/// A picture of ground colour with soft disks of colour drawn at the given centres and radii; the
/// light falls off from left to right by the factor light (1: even) over the whole width.
struct Disk {
    double x, y, radius;
};
Picture diskPicture(int width, int height, std::uint32_t ground, std::uint32_t colour, const std::vector<Disk>& disks,
                    double light = 1.0)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double cover = 0;
            for (const Disk& disk : disks)
                cover = std::max(cover, std::clamp(disk.radius + 0.5 - std::hypot(x + 0.5 - disk.x, y + 0.5 - disk.y),
                                                   0.0, 1.0));
            const double lit = 1.0 - (1.0 - light) * x / width;
            const auto mix = [&](int g, int c) {
                return static_cast<int>(std::lround(lit * (g * (1 - cover) + c * cover)));
            };
            picture.setPixel(x, y, rgbColour(mix(colourRed(ground), colourRed(colour)),
                                             mix(colourGreen(ground), colourGreen(colour)),
                                             mix(colourBlue(ground), colourBlue(colour))));
        }
    return picture;
}

std::vector<std::pair<int, int>> positions(const std::vector<Blob>& blobs)
{
    std::vector<std::pair<int, int>> found;
    for (const Blob& blob : blobs) found.emplace_back(blob.x, blob.y);
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

TEST(BlobCount, TouchingParticlesGiveOneBlobEachAtTheirCentres)
{
    // Two disks of radius 4 whose edges touch, and one alone.
    const Picture picture = diskPicture(80, 60, rgbColour(10, 20, 10), rgbColour(100, 220, 90),
                                        {{30.5, 30.5, 4}, {38.5, 30.5, 4}, {60.5, 15.5, 4}});
    const std::vector<Blob> blobs = findBlobs(picture, rgbColour(100, 220, 90), {2.8, 1.0, 4});
    EXPECT_EQ(positions(blobs), (std::vector<std::pair<int, int>>{{30, 30}, {38, 30}, {60, 15}}));
}

TEST(BlobCount, UnevenLightAndDarkParticlesOnABrightGround)
{
    // The right side gets a third of the left side's light: dividing by the background keeps the
    // dim particles' peaks as high as the bright ones'.
    const std::vector<Disk> disks = {{15.5, 20.5, 3}, {45.5, 20.5, 3}, {75.5, 20.5, 3}, {105.5, 20.5, 3}};
    const Picture uneven = diskPicture(120, 40, rgbColour(20, 40, 20), rgbColour(90, 200, 80), disks, 0.33);
    const std::vector<Blob> bright = findBlobs(uneven, rgbColour(90, 200, 80), {2.1, 1.5, 3});
    ASSERT_EQ(bright.size(), 4u);
    EXPECT_LT(bright.front().response / bright.back().response, 1.5F);
    // Dark particles on a bright ground: the target's dominant channel is below the ground's.
    const Picture dark = diskPicture(120, 40, rgbColour(200, 210, 200), rgbColour(60, 40, 30), disks);
    EXPECT_EQ(positions(findBlobs(dark, rgbColour(60, 40, 30), {2.1, 0.3, 3})),
              (std::vector<std::pair<int, int>>{{15, 20}, {45, 20}, {75, 20}, {105, 20}}));
    // The same picture taken for bright particles finds nothing there.
    EXPECT_TRUE(findBlobs(dark, rgbColour(250, 250, 250), {2.1, 0.3, 3}).empty());
}

TEST(BlobCount, DistanceRuleDropsOnlyWeakerNeighbours)
{
    const std::vector<Blob> strongestFirst = {{10, 10, 5}, {13, 10, 4}, {20, 10, 3}, {22, 12, 2}, {10, 16, 1}};
    EXPECT_EQ(positions(keepDistantPeaks(strongestFirst, 4)),
              (std::vector<std::pair<int, int>>{{10, 10}, {10, 16}, {20, 10}}));
    EXPECT_EQ(keepDistantPeaks(strongestFirst, 1).size(), strongestFirst.size());
    EXPECT_EQ(positions(keepDistantPeaks(strongestFirst, 7)), (std::vector<std::pair<int, int>>{{10, 10}, {20, 10}}));
}

// The count goes band by band; its blobs, responses and order are those of whole planes, whatever the
// scale (a kernel reaching past the rows around a band), the picture's height (one band or many, a
// last band cut short, a single row), the polarity and the number of threads.
TEST(BlobCount, BandByBandGivesTheBlobsOfWholePlanes)
{
    struct Case {
        const char* name;
        Picture picture;
        std::uint32_t colour;
        BlobSettings settings;
    };
    const Micrograph bright = makeTeachingPicture(teachingKinds()[1], 3);
    const std::uint32_t brightColour = teachingKinds()[1].options.particleColour;
    std::vector<Disk> disks;
    for (int i = 0; i < 40; ++i) disks.push_back({7.0 + (i * 37) % 110, 5.0 + i * 5.3, 3.0 + i % 3});
    const Picture dark = diskPicture(120, 217, rgbColour(200, 190, 180), rgbColour(60, 40, 30), disks, 0.7);
    Picture oneRow(90, 1);
    for (int x = 0; x < 90; x += 9) oneRow.setPixel(x, 0, brightColour);
    const std::vector<Case> cases = {
        {"bright, usual scale", bright.picture, brightColour, {2.35, 2.0, 3}},
        {"bright, small scale", bright.picture, brightColour, {1.1, 1.0, 1}},
        {"bright, kernel wider than a band", bright.picture, brightColour, {25.0, 0.2, 5}},
        {"dark on light, uneven light", dark, rgbColour(60, 40, 30), {2.1, 0.3, 3}},
        {"one row", oneRow, brightColour, {1.5, 0.01, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Blob> whole = keepDistantPeaks(
            responsePeaks(blobResponse(flattenedChannel(c.picture, c.colour, 1), c.settings.scale, 1),
                          static_cast<float>(c.settings.threshold), 1),
            c.settings.minDistance);
        if (c.picture.height() > 64) {
            EXPECT_GT(whole.size(), 10u);
        }
        for (int threads : {1, 3}) {
            const std::vector<Blob> bands = findBlobs(c.picture, c.colour, c.settings, threads);
            ASSERT_EQ(bands.size(), whole.size()) << threads << " threads";
            for (std::size_t i = 0; i < bands.size(); ++i) {
                EXPECT_EQ(bands[i].x, whole[i].x);
                EXPECT_EQ(bands[i].y, whole[i].y);
                EXPECT_EQ(bands[i].response, whole[i].response);
            }
        }
    }
    EXPECT_TRUE(findBlobs(Picture(), rgbColour(1, 2, 3), {2.35, 2.0, 3}).empty());
}
