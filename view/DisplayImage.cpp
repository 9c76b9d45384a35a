#include "view/DisplayImage.h"

void makeDisplayImage(const Picture& picture, QImage& display)
{
    if (picture.empty()) {
        display = QImage();
        return;
    }
    if (display.width() != picture.width() || display.height() != picture.height() ||
        display.format() != QImage::Format_RGB32)
        display = QImage(picture.width(), picture.height(), QImage::Format_RGB32);
    updateDisplayImage(picture, display, QRect(0, 0, picture.width(), picture.height()));
}

void updateDisplayImage(const Picture& picture, QImage& display, const QRect& area)
{
    const QRect part = area.intersected(QRect(0, 0, picture.width(), picture.height()));
    if (part.isEmpty() || display.size() != QSize(picture.width(), picture.height())) return;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        const std::uint8_t* source =
            picture.row(y) + static_cast<std::size_t>(part.left()) * Picture::kBytesPerPixel;
        auto* target = reinterpret_cast<QRgb*>(display.scanLine(y)) + part.left();
        for (int x = part.left(); x <= part.right(); ++x, source += Picture::kBytesPerPixel)
            *target++ =
                0xFF000000u | (std::uint32_t{source[2]} << 16) | (std::uint32_t{source[1]} << 8) | source[0];
    }
}
