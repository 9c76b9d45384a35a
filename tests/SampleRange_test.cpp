// How 16-bit samples become the 8-bit layers: the default keeps a colour's hue (one range for all
// channels), so a 16-bit copy of an 8-bit picture counts as the original; stretching each channel on its
// own stays available; every mapping has a text form that reads back as itself.

#include "picture/SampleRange.h"

#include <gtest/gtest.h>

#include <vector>

#include "detect/CountRun.h"
#include "support/SyntheticMicrograph.h"
#include "support/TestPictures.h"

namespace {

/// The picture's channels as 16-bit samples, value * 257 (red, green, blue).
std::vector<std::vector<std::uint16_t>> times257(const Picture& picture)
{
    std::vector<std::vector<std::uint16_t>> channels(3);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            for (int c = 0; c < 3; ++c)
                channels[c].push_back(static_cast<std::uint16_t>(picture.row(y)[3 * x + 2 - c] * 257));
    return channels;
}

int countOf(const Picture& picture)
{
    Layers layers;
    layers.Image1 = picture;
    TAnalysisState state;
    runCount(layers, state, CountParams{});
    return state.AutoCount;
}

}  // namespace

// Green particles on a dark ground, with a black and a pure green patch (each 0.5 % of the picture, far
// from the particles) that give the range its ends: one range over all channels then maps the 16-bit
// copy back onto the 8-bit picture exactly, while each channel stretched on its own makes red and blue
// as bright as green, so the particles lose their colour and the count.
TEST(SampleRange, DefaultMappingKeepsTheHueAndTheCount)
{
    MicrographOptions options;
    options.width = 400;
    options.height = 300;
    options.particles = 60;
    Picture picture = makeSyntheticMicrograph(options).picture;
    fillBlock(picture, 0, 0, 25, 24, kBlack);
    fillBlock(picture, 375, 276, 25, 24, rgbColour(0, 255, 0));
    const int expected = countOf(picture);
    ASSERT_GT(expected, 30);
    const auto channels = times257(picture);

    Picture mapped(picture.width(), picture.height());
    EXPECT_EQ(mapSamplesTo8Bit(channels, SampleRange{}, mapped),
              "16-bit samples mapped linearly: 0..65535 over all channels (0.1st to 99.9th percentile)");
    EXPECT_EQ(differingPixels(mapped, picture), 0);
    EXPECT_EQ(countOf(mapped), expected);

    SampleRange perChannel;
    ASSERT_TRUE(parseSampleRange("per-channel", perChannel));
    const std::string text = mapSamplesTo8Bit(channels, perChannel, mapped);
    EXPECT_EQ(text.rfind("16-bit samples mapped linearly: red 0..", 0), 0u) << text;
    EXPECT_NE(text.find(", green 0..65535, blue 0.."), std::string::npos) << text;
    EXPECT_GT(differingPixels(mapped, picture), picture.width() * picture.height() / 2);
    EXPECT_LT(countOf(mapped), expected / 2);
}

// Grey pictures have one channel: the default and the per-channel mapping give the same range.
TEST(SampleRange, GreyIsMappedAloneEitherWay)
{
    std::vector<std::vector<std::uint16_t>> grey(1);
    for (int v = 0; v < 1000; ++v) grey[0].push_back(static_cast<std::uint16_t>(2000 + 3 * v));
    Picture byDefault(100, 10), perChannel(100, 10);
    const std::string text = mapSamplesTo8Bit(grey, SampleRange{}, byDefault);
    EXPECT_EQ(text, "16-bit samples mapped linearly: grey 2003..4997 (0.1st to 99.9th percentile)");
    EXPECT_EQ(mapSamplesTo8Bit(grey, SampleRange{SampleRange::Mode::PerChannel, 0, 65535}, perChannel), text);
    EXPECT_EQ(differingPixels(byDefault, perChannel), 0);
}

// Each mapping's text reads back as the same mapping (a learnt model or a settings file keeps it so).
TEST(SampleRange, TextFormReadsBack)
{
    for (const char* text : {"auto", "per-channel", "full", "0,1", "1000,2020", "0,65535"}) {
        SampleRange range{SampleRange::Mode::Full, 7, 9};
        ASSERT_TRUE(parseSampleRange(text, range)) << text;
        EXPECT_EQ(sampleRangeText(range), text);
        SampleRange again;
        ASSERT_TRUE(parseSampleRange(sampleRangeText(range), again));
        EXPECT_TRUE(again == range) << text;
    }
    SampleRange unchanged{SampleRange::Mode::Fixed, 5, 6};
    for (const char* wrong : {"per channel", "Per-channel", "perchannel", "auto,", ""})
        EXPECT_FALSE(parseSampleRange(wrong, unchanged)) << wrong;
    EXPECT_TRUE(unchanged == (SampleRange{SampleRange::Mode::Fixed, 5, 6}));
}
