#include "support/TestPictures.h"

Picture filledPicture(int width, int height, std::uint32_t colour)
{
    Picture picture(width, height);
    fillBlock(picture, 0, 0, width, height, colour);
    return picture;
}

void fillBlock(Picture& picture, int x, int y, int w, int h, std::uint32_t colour)
{
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column) picture.setPixel(column, row, colour);
}

int differingPixels(const Picture& a, const Picture& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}
