#include "support/TestPictures.h"

#include <fstream>
#include <iterator>

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

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> bmpBytes(const Picture& picture, bool topDown)
{
    const std::size_t rowBytes = picture.stride(), padded = (rowBytes + 3) / 4 * 4;
    const auto size = static_cast<std::uint32_t>(54 + padded * static_cast<std::size_t>(picture.height()));
    std::vector<std::uint8_t> bytes = {'B', 'M'};
    const auto put = [&bytes](std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const auto height = static_cast<std::uint32_t>(topDown ? -picture.height() : picture.height());
    put(size, 4), put(0, 4), put(54, 4), put(40, 4), put(static_cast<std::uint32_t>(picture.width()), 4);
    put(height, 4), put(1, 2), put(24, 2), put(0, 4), put(size - 54, 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    for (int i = 0; i < picture.height(); ++i) {
        const std::uint8_t* row = picture.row(topDown ? i : picture.height() - 1 - i);
        bytes.insert(bytes.end(), row, row + rowBytes);
        bytes.insert(bytes.end(), padded - rowBytes, 0);
    }
    return bytes;
}

