// What the picture window shows of a layer: scaled down by averaging with the marks kept whole, boxes
// and samples that agree with where a click lands, brightness, contrast and channel.

#include "view/LayerDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/Ring.h"
#include "view/ManualEdit.h"
#include "view/Overlays.h"

namespace {

constexpr std::uint32_t kGround = 0x305070;  // red 0x70, green 0x50, blue 0x30

Picture plain(int width, int height, std::uint32_t colour = kGround)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, colour);
    return picture;
}

QRgb shown(std::uint32_t colour) { return qRgb(colourRed(colour), colourGreen(colour), colourBlue(colour)); }

int countOf(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
    return n;
}

TEST(LayerDisplayTest, ScaledDownEachPixelIsTheRoundedMeanOfItsBox)
{
    // Columns 0..3 of one row: 10, 11, 20, 41 in every channel. At 50 % the boxes are 0-1 and 2-3.
    Picture picture(4, 2);
    const int values[] = {10, 11, 20, 41};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) picture.setPixel(x, y, rgbColour(values[x], values[x], values[x]));
    QImage display;
    renderLayer(picture, nullptr, DisplayAdjustment{}, 50, display);
    ASSERT_EQ(display.size(), QSize(2, 1));
    EXPECT_EQ(display.pixel(0, 0), qRgb(11, 11, 11));  // 10.5: halves up
    EXPECT_EQ(display.pixel(1, 0), qRgb(31, 31, 31));  // 30.5

    // At 100 % unchanged, whatever the base.
    const Picture base = plain(4, 2, 0);
    renderLayer(picture, &base, DisplayAdjustment{}, 100, display);
    ASSERT_EQ(display.size(), QSize(4, 2));
    for (int x = 0; x < 4; ++x) EXPECT_EQ(display.pixel(x, 1), qRgb(values[x], values[x], values[x]));
}

/// A display pixel scaled down as the rule says, pixel by pixel: the box of picture columns and rows
/// X * 100 div zoom up to (X + 1) * 100 div zoom, its marks' rounded mean where it holds marks, else
/// its pixels' rounded mean through the curve.
QRgb referenceBoxPixel(const Picture& layer, const Picture* base, const DisplayAdjustment& adjustment,
                       std::uint16_t zoom, int x, int y)
{
    const auto start = [zoom](int d) { return d * 100 / zoom; };
    long sums[2][3] = {}, counts[2] = {};
    for (int r = start(y); r < std::min(start(y + 1), layer.height()); ++r)
        for (int c = start(x); c < std::min(start(x + 1), layer.width()); ++c) {
            const std::uint32_t colour = layer.pixel(c, r);
            const int mark = base != nullptr && base->pixel(c, r) != colour ? 1 : 0;
            sums[mark][0] += colourRed(colour);
            sums[mark][1] += colourGreen(colour);
            sums[mark][2] += colourBlue(colour);
            ++counts[mark];
        }
    const auto mean = [&](int kind, int channel) {
        return static_cast<int>((2 * sums[kind][channel] + counts[kind]) / (2 * counts[kind]));
    };
    if (counts[1] > 0) return qRgb(mean(1, 0), mean(1, 1), mean(1, 2));
    if (counts[0] == 0) return qRgb(0, 0, 0);
    const auto curve = displayCurve(adjustment);
    const int red = curve[mean(0, 0)], green = curve[mean(0, 1)], blue = curve[mean(0, 2)];
    switch (adjustment.channel) {
        case DisplayChannel::Red: return qRgb(red, red, red);
        case DisplayChannel::Green: return qRgb(green, green, green);
        case DisplayChannel::Blue: return qRgb(blue, blue, blue);
        default: return qRgb(red, green, blue);
    }
}

TEST(LayerDisplayTest, ScaledDownEqualsTheBoxRuleAtEveryZoom)
{
    // A busy original of odd size, and a count layer over it with marks alone, in runs along rows,
    // in whole blocks and differing from the original in one byte only.
    const int width = 263, height = 211;
    Picture original(width, height);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (std::size_t i = 0; i < original.stride(); ++i) {
            seed = seed * 1103515245u + 12345u;
            original.row(y)[i] = static_cast<std::uint8_t>(seed >> 24);
        }
    Picture count = original;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int x = static_cast<int>(seed % width), y = static_cast<int>((seed >> 12) % height);
        count.row(y)[x * 3 + i % 3] ^= 1;
    }
    for (int x = 20; x < 200; ++x) count.setPixel(x, 40, kAddedRingColour);
    for (int y = 60; y < 150; ++y)
        for (int x = 100; x < 180; ++x) count.setPixel(x, y, kRemovedRingColour);
    const DisplayAdjustment adjustments[] = {DisplayAdjustment{}, moreContrast(brighter(DisplayAdjustment{})),
                                             DisplayAdjustment{30, 200, DisplayChannel::Green}};
    const Picture* const bases[] = {nullptr, &original};
    for (const std::uint16_t zoom : {1, 3, 7, 10, 33, 50, 67, 99}) {
        for (const DisplayAdjustment& adjustment : adjustments) {
            for (const Picture* base : bases) {
                QImage display;
                renderLayer(count, base, adjustment, zoom, display);
                ASSERT_EQ(display.size(), displaySize(zoom, width, height));
                for (int y = 0; y < display.height(); ++y)
                    for (int x = 0; x < display.width(); ++x)
                        ASSERT_EQ(display.pixel(x, y), referenceBoxPixel(count, base, adjustment, zoom, x, y))
                            << "zoom " << zoom << " base " << (base != nullptr) << " at " << x << ", " << y;
            }
        }
    }
}

TEST(LayerDisplayTest, TheMarkShownIsWhereAClickTakesIt)
{
    // One mark over a plain base lands in exactly one display pixel: the one whose press takes a pixel
    // of its box, at step zooms and at the fitted ones in between, and displayArea names it.
    const int width = 173, height = 191;
    const Picture base = plain(width, height);
    const std::uint16_t zooms[] = {1, 7, 10, 23, 37, 50, 73, 99, 100};
    const QPoint places[] = {{0, 0}, {1, 1}, {2, 5}, {86, 45}, {131, 77}, {172, 190}};
    for (const std::uint16_t zoom : zooms) {
        for (const QPoint& at : places) {
            Picture layer = base;
            layer.setPixel(at.x(), at.y(), 0xFC3700);
            QImage display;
            renderLayer(layer, &base, DisplayAdjustment{}, zoom, display);
            ASSERT_EQ(display.size(), QSize(zoom * width / 100, zoom * height / 100)) << zoom;
            const QRect place = displayArea(QRect(at, QSize(1, 1)), zoom);
            ASSERT_EQ(place.size(), QSize(1, 1)) << zoom << " at " << at.x() << ", " << at.y();
            if (!display.rect().contains(place.topLeft())) {
                // In the last part-box that the truncated display size leaves out: no click reaches it.
                EXPECT_EQ(countOf(display, qRgb(0, 55, 252)), 0);
                continue;
            }
            EXPECT_EQ(countOf(display, qRgb(0, 55, 252)), 1) << zoom;
            EXPECT_EQ(display.pixel(place.topLeft()), qRgb(0, 55, 252)) << zoom;
            // A click on it takes a pixel of its box; the next display pixel's click lies past the mark.
            EXPECT_LE(pressCoordinate(place.x(), zoom), at.x());
            EXPECT_GT(pressCoordinate(place.x() + 1, zoom), at.x());
            EXPECT_LE(pressCoordinate(place.y(), zoom), at.y());
            EXPECT_GT(pressCoordinate(place.y() + 1, zoom), at.y());
        }
    }
}

TEST(LayerDisplayTest, ZoomedInEachDisplayPixelShowsThePixelAClickTakes)
{
    // Each pixel of the full copy says where it lies.
    QImage full(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) full.setPixel(x, y, qRgb(x, y, 0));
    for (const std::uint16_t zoom : {100, 125, 137, 200, 433}) {
        const QRect area(3, 5, zoom * 40 / 100 - 3, zoom * 30 / 100 - 5);
        QImage tile;
        sampleZoomedIn(full, zoom, area, tile);
        ASSERT_EQ(tile.size(), area.size());
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x)
                ASSERT_EQ(tile.pixel(x, y),
                          qRgb(pressCoordinate(area.x() + x, zoom), pressCoordinate(area.y() + y, zoom), 0))
                    << zoom << ": " << x << ", " << y;
        // displayArea names the display pixels of one picture pixel the same way.
        const QRect place = displayArea(QRect(7, 9, 1, 1), zoom);
        for (int x = place.left() - 1; x <= place.right() + 1; ++x)
            EXPECT_EQ(pressCoordinate(x, zoom) == 7, place.left() <= x && x <= place.right())
                << zoom << ": " << x;
    }
}

TEST(LayerDisplayTest, OverlaysStayWholeAtEveryZoom)
{
    // The count layer as the window makes it: the original with the grid, the scale bar and rings.
    const Picture original = plain(2048, 1536);
    Picture count = original;
    ASSERT_TRUE(drawGrid(count, 25, "3952").drawn);  // 98-pixel cells from (44, 33), dotted lines
    // Rings in the middle of cells: (93 + 98 i, 82 + 98 j).
    const auto ringCentre = [](int i) { return QPoint(93 + 98 * i, 82 + 98 * (i % 15)); };
    for (int i = 0; i < 20; ++i) drawRing(count, ringCentre(i).x(), ringCentre(i).y(), kAddedRingColour);
    const QRgb grey = shown(kGridColour);
    for (const std::uint16_t zoom : {10, 23, 25, 33, 50, 90}) {
        QImage display;
        renderLayer(count, &original, DisplayAdjustment{}, zoom, display);
        // The grid line at y = 131, x = 44 .. 2003 in its own grey: unbroken where a display pixel
        // holds two picture pixels or more, at worst dotted as in the picture.
        const int row = displayArea(QRect(44, 131, 1, 1), zoom).top();
        const QRect line = displayArea(QRect(44, 131, 2004 - 44, 1), zoom);
        for (int x = line.left(); x < line.right(); ++x) {
            ASSERT_TRUE(display.pixel(x, row) == grey || display.pixel(x + 1, row) == grey)
                << zoom << ": " << x;
            if (zoom <= 50) {
                ASSERT_EQ(display.pixel(x, row), grey) << zoom << ": " << x;
            }
        }
        // Every ring keeps pixels of its colour.
        for (int i = 0; i < 20; ++i) {
            const QRect ring = displayArea(QRect(ringCentre(i) - QPoint(5, 5), QSize(11, 11)), zoom);
            int ringPixels = 0;
            for (int y = ring.top(); y <= ring.bottom(); ++y)
                for (int x = ring.left(); x <= ring.right(); ++x)
                    ringPixels += display.pixel(x, y) == shown(kAddedRingColour);
            EXPECT_GE(ringPixels, 1) << zoom << ", ring " << i;
        }
        // Away from the marks the ground is the ground.
        EXPECT_EQ(display.pixel(displayArea(QRect(1990, 60, 1, 1), zoom).topLeft()), shown(kGround)) << zoom;
    }
}

TEST(LayerDisplayTest, APartRenderedAgainEqualsTheWholeRendered)
{
    const Picture original = plain(300, 200);
    Picture count = original;
    for (const std::uint16_t zoom : {37, 50, 100}) {
        DisplayAdjustment adjustment = brighter(DisplayAdjustment{});
        QImage updated;
        renderLayer(count, &original, adjustment, zoom, updated);
        drawRing(count, 151, 77, kRemovedRingColour);
        count.setPixel(0, 199, 0x0000FF);
        renderLayer(count, &original, adjustment, zoom, updated, displayArea(QRect(146, 72, 11, 11), zoom));
        renderLayer(count, &original, adjustment, zoom, updated, displayArea(QRect(0, 199, 1, 1), zoom));
        QImage whole;
        renderLayer(count, &original, adjustment, zoom, whole);
        EXPECT_EQ(updated, whole) << zoom;
        count = original;
    }
}

TEST(LayerDisplayTest, DisplayRangeSetsBlackAndWhite)
{
    struct CurveCase {
        int black, white;
        int value, shown;
    };
    const CurveCase cases[] = {
        {0, 255, 0, 0},    {0, 255, 77, 77},     {0, 255, 255, 255},  // unchanged
        {16, 48, 16, 0},   {16, 48, 32, 128},    {16, 48, 48, 255},   // 127.5 rounds up
        {16, 48, 5, 0},    {16, 48, 200, 255},                        // clipped
        {-16, 239, 0, 16}, {-16, 239, 239, 255},                      // one step brighter
    };
    for (const CurveCase& c : cases) {
        const auto curve = displayCurve(DisplayAdjustment{c.black, c.white, DisplayChannel::All});
        EXPECT_EQ(curve[static_cast<std::size_t>(c.value)], c.shown)
            << c.black << ".." << c.white << " at " << c.value;
    }
}

TEST(LayerDisplayTest, BrightnessAndContrastStepsAndTheirLimits)
{
    const DisplayAdjustment normal;
    EXPECT_EQ(brighter(normal), (DisplayAdjustment{-16, 239, DisplayChannel::All}));
    EXPECT_EQ(darker(normal), (DisplayAdjustment{16, 271, DisplayChannel::All}));
    EXPECT_EQ(moreContrast(normal),
              (DisplayAdjustment{25, 229, DisplayChannel::All}));  // 204 wide about 127.5
    EXPECT_EQ(lessContrast(normal), (DisplayAdjustment{-32, 287, DisplayChannel::All}));  // 319 wide
    EXPECT_EQ(darker(brighter(normal)), normal);
    // Steps stop at their limits instead of running away: the range keeps at least 8 values, at most
    // 1020, and its middle within -255 .. 510.
    DisplayAdjustment a = normal;
    for (int i = 0; i < 100; ++i) a = moreContrast(a);
    EXPECT_EQ(a.white - a.black, 8);
    for (int i = 0; i < 100; ++i) a = lessContrast(a);
    EXPECT_EQ(a.white - a.black, 1020);
    for (int i = 0; i < 100; ++i) a = brighter(a);
    EXPECT_GE(a.black + a.white, -510);
    EXPECT_LT(a.black + a.white, -510 + 32);
    for (int i = 0; i < 100; ++i) a = darker(a);
    EXPECT_LE(a.black + a.white, 1020);
    EXPECT_GT(a.black + a.white, 1020 - 32);
}

TEST(LayerDisplayTest, StretchSpansTheDimPicturesValues)
{
    // A dim picture: red 10 .. 40, green 0 .. 20, blue 5, with a few hot pixels (under 0.1 %).
    Picture dim(100, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) dim.setPixel(x, y, rgbColour(10 + (x * 31) / 100, (y * 21) / 100, 5));
    dim.setPixel(3, 3, rgbColour(255, 255, 255));
    dim.setPixel(4, 3, rgbColour(250, 250, 250));
    EXPECT_EQ(stretchedToPicture(dim, DisplayAdjustment{}), (DisplayAdjustment{0, 40, DisplayChannel::All}));
    DisplayAdjustment red;
    red.channel = DisplayChannel::Red;
    EXPECT_EQ(stretchedToPicture(dim, red), (DisplayAdjustment{10, 40, DisplayChannel::Red}));
    // Nothing to stretch: the range stays.
    const DisplayAdjustment earlier = brighter(DisplayAdjustment{});
    EXPECT_EQ(stretchedToPicture(plain(10, 10, rgbColour(77, 77, 77)), earlier), earlier);
    EXPECT_EQ(stretchedToPicture(Picture(), earlier), earlier);
}

TEST(LayerDisplayTest, AdjustmentAndChannelLeaveTheMarksAsDrawn)
{
    const Picture original = plain(4, 2, rgbColour(200, 10, 50));
    Picture count = original;
    count.setPixel(1, 0, kAddedRingColour);
    DisplayAdjustment redOnly{0, 100, DisplayChannel::Red};
    QImage display;
    renderLayer(count, &original, redOnly, 100, display);
    EXPECT_EQ(display.pixel(0, 0), qRgb(255, 255, 255));  // red 200 above the range: white grey
    EXPECT_EQ(display.pixel(1, 0), shown(kAddedRingColour));
    DisplayAdjustment blueOnly{0, 100, DisplayChannel::Blue};
    renderLayer(count, &original, blueOnly, 50, display);
    EXPECT_EQ(display.pixel(0, 0), shown(kAddedRingColour));  // the box 0-1 holds the mark
    EXPECT_EQ(display.pixel(1, 0), qRgb(128, 128, 128));      // blue 50 of 100: 127.5
}

}  // namespace
