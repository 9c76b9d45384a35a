#include "core/Picture.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(Picture, LargeBufferStartsZeroAndCopiesExactly)
{
    Picture large(3000, 1000);  // 9 MB: takes the huge-page path
    const std::uint8_t* data = large.data();
    EXPECT_TRUE(std::all_of(data, data + large.byteCount(), [](std::uint8_t b) { return b == 0; }));
    large.setPixel(2999, 999, 0xABCDEF);
    Picture copy(large);
    EXPECT_EQ(copy, large);
    EXPECT_EQ(copy.pixel(2999, 999), 0xABCDEFu);
}
