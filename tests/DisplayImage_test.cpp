#include "view/DisplayImage.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayImageTest, ChannelsLandInDisplayOrder)
{
    Picture picture(3, 2);
    picture.setPixel(0, 0, rgbColour(10, 20, 30));
    picture.setPixel(2, 1, rgbColour(255, 0, 128));
    QImage display;
    makeDisplayImage(picture, display);
    ASSERT_EQ(display.format(), QImage::Format_RGB32);
    ASSERT_EQ(display.size(), QSize(3, 2));
    EXPECT_EQ(display.pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(display.pixel(2, 1), qRgb(255, 0, 128));
    EXPECT_EQ(display.pixel(1, 0), qRgb(0, 0, 0));

    makeDisplayImage(Picture(), display);
    EXPECT_TRUE(display.isNull());
}

TEST(DisplayImageTest, AreaUpdateTouchesOnlyTheAreaInsideThePicture)
{
    Picture picture(8, 6);
    QImage display;
    makeDisplayImage(picture, display);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) picture.setPixel(x, y, rgbColour(9, 9, 9));

    // Areas reaching past any border are clipped to the picture.
    const QRect areas[] = {QRect(-3, -3, 5, 5), QRect(6, 4, 10, 10), QRect(100, 100, 2, 2)};
    for (const QRect& area : areas) updateDisplayImage(picture, display, area);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool updated = (x < 2 && y < 2) || (x >= 6 && y >= 4);
            EXPECT_EQ(display.pixel(x, y), updated ? qRgb(9, 9, 9) : qRgb(0, 0, 0)) << x << ", " << y;
        }
    }
}

TEST(DisplayImageTest, AreaUpdateOfAnotherSizeIsIgnored)
{
    Picture picture(4, 4);
    QImage display(2, 2, QImage::Format_RGB32);
    display.fill(qRgb(1, 1, 1));
    updateDisplayImage(picture, display, QRect(0, 0, 4, 4));
    EXPECT_EQ(display.pixel(1, 1), qRgb(1, 1, 1));
}

}  // namespace
