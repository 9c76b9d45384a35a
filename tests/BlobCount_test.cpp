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

TEST(BlobCount, SameBlobsOnAnyNumberOfThreads)
{
    const Micrograph micrograph = makeTeachingPicture(teachingKinds()[1], 3);
    const BlobSettings settings{2.35, 2.0, 3};
    const std::vector<Blob> one = findBlobs(micrograph.picture, teachingKinds()[1].options.particleColour, settings, 1);
    const std::vector<Blob> three = findBlobs(micrograph.picture, teachingKinds()[1].options.particleColour, settings, 3);
    ASSERT_EQ(one.size(), three.size());
    EXPECT_GT(one.size(), 100u);
    for (std::size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(one[i].x, three[i].x);
        EXPECT_EQ(one[i].y, three[i].y);
        EXPECT_EQ(one[i].response, three[i].response);
    }
    EXPECT_TRUE(findBlobs(Picture(), rgbColour(1, 2, 3), settings).empty());
    EXPECT_TRUE(findBlobs(Picture(1, 1), rgbColour(1, 2, 3), settings).empty());
}
