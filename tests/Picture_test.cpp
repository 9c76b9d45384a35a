#include "view/Picture.h"

#include <gtest/gtest.h>

TEST(Picture, RowsAreBlueGreenRedFromTheTop)
{
    Picture picture(4, 3);
    EXPECT_EQ(picture.stride(), 12u);
    picture.setPixel(1, 2, rgbColour(10, 20, 30));
    const std::uint8_t* row = picture.row(2);
    EXPECT_EQ(row[3], 30);  // blue
    EXPECT_EQ(row[4], 20);  // green
    EXPECT_EQ(row[5], 10);  // red
    EXPECT_EQ(picture.pixel(1, 2), rgbColour(10, 20, 30));
    EXPECT_EQ(picture.pixel(0, 0), 0u);
}

TEST(Picture, CopyReusesBufferAndEqualsSource)
{
    Picture source(5, 5);
    source.setPixel(4, 4, 0x123456);
    Picture target(10, 10);
    const std::uint8_t* before = target.data();
    target.copyFrom(source);
    EXPECT_EQ(target.data(), before);  // large enough: no new buffer
    EXPECT_EQ(target, source);
    target.setPixel(0, 0, 1);
    EXPECT_FALSE(target == source);
}

TEST(Picture, ZeroSizeIsEmpty)
{
    Picture picture(0, 7);
    EXPECT_TRUE(picture.empty());
    EXPECT_EQ(picture.height(), 0);
    EXPECT_THROW(Picture(-1, 2), std::invalid_argument);
}
