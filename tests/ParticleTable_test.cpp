#include "report/ParticleTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "core/Markers.h"
#include "detect/CountRun.h"
#include "support/SyntheticMicrograph.h"
#include "support/TestPictures.h"
#include "view/ManualEdit.h"

namespace {

std::vector<std::vector<std::string>> csvRows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == ',')
                fields.emplace_back();
            else
                fields.back() += c;
        }
        rows.push_back(fields);
    }
    return rows;
}

bool isCentreMarker(const Picture& area, int x, int y)
{
    const std::uint8_t* p = area.row(y) + static_cast<std::size_t>(x) * Picture::kBytesPerPixel;
    return p[0] == kMarkBlue && p[1] == kCentreGreen;
}

}  // namespace

// Collecting the particles changes nothing in the count, and the records add up to its totals.
TEST(ParticleTable, CollectingLeavesTheCountAsItIsAndAddsUpToItsTotals)
{
    MicrographOptions options;
    options.width = 600;
    options.height = 450;
    options.particles = 80;
    const Micrograph micrograph = makeSyntheticMicrograph(options);

    Layers plain, collected;
    plain.Image1 = micrograph.picture;
    collected.Image1 = micrograph.picture;
    TAnalysisState plainState, collectedState;
    ParticleList particles;
    particles.recordAdd(1, 1);  // left from an earlier picture: the count starts the list afresh
    runCount(plain, plainState, CountParams{});
    runCount(collected, collectedState, CountParams{}, &particles);

    ASSERT_GT(plainState.AutoCount, 20);
    EXPECT_EQ(collectedState.AutoCount, plainState.AutoCount);
    EXPECT_EQ(collectedState.TotalAreaPixels, plainState.TotalAreaPixels);
    EXPECT_EQ(differingPixels(collected.Image2, plain.Image2), 0);
    EXPECT_EQ(differingPixels(collected.Image3, plain.Image3), 0);

    ASSERT_EQ(particles.particles.size(), static_cast<std::size_t>(plainState.AutoCount));
    std::int64_t areaSum = 0;
    for (const ParticleRecord& p : particles.particles) {
        areaSum += p.areaPixels;
        EXPECT_TRUE(isCentreMarker(collected.Image3, p.x, p.y)) << p.x << "," << p.y;
        EXPECT_FALSE(p.added || p.removed);
    }
    EXPECT_EQ(areaSum, plainState.TotalAreaPixels);
    // Count order is scan order: row by row, left to right.
    for (std::size_t i = 1; i < particles.particles.size(); ++i) {
        const ParticleRecord &a = particles.particles[i - 1], &b = particles.particles[i];
        EXPECT_TRUE(a.y < b.y || (a.y == b.y && a.x < b.x));
    }
}

// The centre of area lies on the centre of the particle as it was drawn, where the accepted pixel (the
// first that passes in scan order) sits above and left of it. Drawn centres are in picture units, where
// pixel x spans x .. x + 1: pixel x's own centre is x + 0.5.
TEST(ParticleTable, CentreOfAreaIsTheParticlesMiddle)
{
    MicrographOptions options;
    options.width = 600;
    options.height = 450;
    options.particles = 80;
    const Micrograph micrograph = makeSyntheticMicrograph(options);
    Layers layers;
    layers.Image1 = micrograph.picture;
    TAnalysisState state;
    ParticleList particles;
    runCount(layers, state, CountParams{}, &particles);
    ASSERT_GT(state.AutoCount, 20);

    const auto rows = csvRows(particleTableText(particles, 1000));
    ASSERT_EQ(rows[0][3] + "," + rows[0][4], "centre_x,centre_y");
    double centreOff = 0, acceptedOff = 0;
    int matched = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const double cx = std::stod(rows[i][3]) + 0.5, cy = std::stod(rows[i][4]) + 0.5;
        const DrawnParticle* nearest = nullptr;
        double best = 1e9;
        for (const DrawnParticle& drawn : micrograph.particles) {
            const double d = std::hypot(drawn.column - cx, drawn.row - cy);
            if (d < best) best = d, nearest = &drawn;
        }
        if (best > nearest->radius) continue;  // touching particles counted as one
        ++matched;
        centreOff += best;
        acceptedOff += std::hypot(nearest->column - std::stod(rows[i][1]) - 0.5,
                                  nearest->row - std::stod(rows[i][2]) - 0.5);
    }
    ASSERT_GT(matched, state.AutoCount * 3 / 4);
    EXPECT_LT(centreOff / matched, 0.6);
    EXPECT_GT(acceptedOff / matched, 1.5);
}

// Each particle's mean colour is taken from its own pixels of the original: two particles of
// different (uniform) colours on black give exactly their colours.
TEST(ParticleTable, MeanColourIsEachParticlesOwn)
{
    constexpr std::uint32_t kOther = rgbColour(112, 214, 88);  // within the default tolerances
    Layers layers;
    layers.Image1 = filledPicture(80, 40, kBlack);
    fillBlock(layers.Image1, 10, 10, 7, 7, kTarget);
    fillBlock(layers.Image1, 50, 20, 8, 6, kOther);
    TAnalysisState state;
    ParticleList particles;
    runCount(layers, state, CountParams{}, &particles);
    ASSERT_EQ(state.AutoCount, 2);
    ASSERT_EQ(particles.particles.size(), 2u);

    const auto rows = csvRows(particleTableText(particles, 1000));
    ASSERT_EQ(rows.size(), 3u);
    const std::vector<std::string> first = {rows[1][8], rows[1][9], rows[1][10]};
    const std::vector<std::string> second = {rows[2][8], rows[2][9], rows[2][10]};
    EXPECT_EQ(first, (std::vector<std::string>{"121.00", "223.00", "95.00"}));
    EXPECT_EQ(second, (std::vector<std::string>{"112.00", "214.00", "88.00"}));
    EXPECT_GT(particles.particles[0].areaPixels, 20);
    EXPECT_EQ(particles.particles[0].areaPixels + particles.particles[1].areaPixels, state.TotalAreaPixels);
}

// The table after manual corrections: a removal flags the particle and keeps it, an addition
// appends a row without area; rows = count + removals.
TEST(ParticleTable, ManualCorrectionsShowInTheTable)
{
    Layers layers;
    layers.Image1 = filledPicture(80, 40, kBlack);
    fillBlock(layers.Image1, 10, 10, 7, 7, kTarget);
    fillBlock(layers.Image1, 50, 20, 8, 6, kTarget);
    TAnalysisState state;
    ParticleList particles;
    runCount(layers, state, CountParams{}, &particles);
    ASSERT_EQ(state.AutoCount, 2);
    const ParticleRecord second = particles.particles[1];

    // A click two pixels off the second particle's marker removes it.
    MarkerPosition removed;
    ASSERT_TRUE(manualRemove(layers, state, second.x + 2, second.y - 1, &removed));
    EXPECT_EQ(removed,
              (MarkerPosition{static_cast<std::uint32_t>(second.y), static_cast<std::uint32_t>(second.x)}));
    EXPECT_TRUE(particles.recordRemove(static_cast<std::int32_t>(removed.column),
                                       static_cast<std::int32_t>(removed.row)));
    manualAdd(layers, state, 70, 5);
    particles.recordAdd(70, 5);

    const auto rows = csvRows(particleTableText(particles, 1000));
    EXPECT_EQ(rows[0].size(), 13u);
    EXPECT_EQ(rows.size() - 1, static_cast<std::size_t>(state.AutoCount + state.ManualRemoved));
    EXPECT_EQ(rows[1][11] + rows[1][12], "00");
    EXPECT_EQ(rows[2][11] + rows[2][12], "01");
    EXPECT_EQ(rows[2][5], std::to_string(second.areaPixels));  // a removed particle keeps its area
    EXPECT_EQ(rows[3],
              (std::vector<std::string>{"3", "70", "5", "", "", "0", "0.000", "0.000", "", "", "", "1", "0"}));
    // Removing the added particle flags its own row, not the counted ones.
    ASSERT_TRUE(manualRemove(layers, state, 70, 5, &removed));
    EXPECT_TRUE(particles.recordRemove(static_cast<std::int32_t>(removed.column),
                                       static_cast<std::int32_t>(removed.row)));
    EXPECT_TRUE(particles.particles[2].removed);
    EXPECT_FALSE(particles.particles[0].removed);
    EXPECT_FALSE(particles.recordRemove(70, 5));  // nothing left there
}

// Sizes: pixels to µm² by the scale, the equivalent circle diameter, '.' decimals.
TEST(ParticleTable, SizesFollowTheScale)
{
    ParticleList list;
    ParticleRecord p;
    p.x = 3;
    p.y = 4;
    p.areaPixels = 100;
    p.sumRed = 12345;
    p.sumGreen = 100 * 200;
    p.sumBlue = 1;
    p.sumX = 100 * 4 + 50;
    p.sumY = 100 * 6 + 1;
    list.particles.push_back(p);
    // 2000 px/mm: 0.5 µm a pixel, 100 pixels are 25 µm²; ECD = 2 sqrt(25 / pi) = 5.6419 µm.
    EXPECT_EQ(particleTableText(list, 2000),
              std::string(kParticleTableHeader) + "\n1,3,4,4.50,6.01,100,25.000,5.642,123.45,200.00,0.01,0,0\n");
    EXPECT_EQ(particleTableFileName("sample.jpg"), "c_sample.csv");
    EXPECT_EQ(particleTableFileName("c_sample.jpg"), "c_sample.csv");
    // Four-letter suffixes: the table is named as the report is.
    EXPECT_EQ(particleTableFileName("b.jpeg"), "c_b.csv");
    EXPECT_EQ(particleTableFileName("c.tiff"), "c_c.csv");
    EXPECT_EQ(particleTableFileName("c.TIFF"), "c_c.csv");
}
