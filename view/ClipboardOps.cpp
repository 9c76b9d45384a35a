#include "view/ClipboardOps.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

Picture copyRectangle(const Picture& source, int x0, int y0, int x1, int y1)
{
    const int left = std::max(0, std::min(x0, x1));
    const int top = std::max(0, std::min(y0, y1));
    const int right = std::min(source.width(), std::max(x0, x1));  // exclusive
    const int bottom = std::min(source.height(), std::max(y0, y1));
    if (right <= left || bottom <= top) return Picture();
    Picture part(right - left, bottom - top);
    const std::size_t offset = static_cast<std::size_t>(left) * Picture::kBytesPerPixel;
    for (int y = top; y < bottom; ++y) std::memcpy(part.row(y - top), source.row(y) + offset, part.stride());
    return part;
}

void pastePicture(Picture& target, const Picture& source, int left, int top)
{
    // The overlap of source, placed at (left, top), with target, in target coordinates.
    const long long fromX = std::max<long long>(0, left), fromY = std::max<long long>(0, top);
    const long long toX = std::min<long long>(target.width(), static_cast<long long>(left) + source.width());
    const long long toY = std::min<long long>(target.height(), static_cast<long long>(top) + source.height());
    if (toX <= fromX || toY <= fromY) return;
    const std::size_t bytes = static_cast<std::size_t>(toX - fromX) * Picture::kBytesPerPixel;
    const std::size_t sourceOffset = static_cast<std::size_t>(fromX - left) * Picture::kBytesPerPixel;
    const std::size_t targetOffset = static_cast<std::size_t>(fromX) * Picture::kBytesPerPixel;
    for (long long y = fromY; y < toY; ++y)
        std::memcpy(target.row(static_cast<int>(y)) + targetOffset,
                    source.row(static_cast<int>(y - top)) + sourceOffset, bytes);
}

QImage toQImage(const Picture& picture)
{
    if (picture.empty()) return QImage();
    // Our bytes are blue, green, red: exactly Qt's BGR888 rows, which Qt pads to whole 32-bit words.
    QImage image(picture.width(), picture.height(), QImage::Format_BGR888);
    if (image.isNull()) return image;  // out of memory
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(image.scanLine(y), picture.row(y), picture.stride());
    return image;
}

Picture fromQImage(const QImage& image)
{
    if (image.isNull()) return Picture();
    const QImage bgr =
        image.format() == QImage::Format_BGR888 ? image : image.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull()) return Picture();
    Picture picture(bgr.width(), bgr.height());
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(picture.row(y), bgr.constScanLine(y), picture.stride());
    return picture;
}
