#include "view/LayerView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

/// Blue, green, red bytes to the 0xffRRGGBB words of QImage::Format_RGB32, for the columns
/// [left, right) of the rows [top, bottom).
void convertRows(const Picture& picture, QImage& image, int left, int top, int right, int bottom)
{
    for (int y = top; y < bottom; ++y) {
        const std::uint8_t* source = picture.row(y) + static_cast<std::size_t>(left) * Picture::kBytesPerPixel;
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(y)) + left;
        for (int x = left; x < right; ++x, source += Picture::kBytesPerPixel)
            *target++ = 0xFF000000u | (std::uint32_t{source[2]} << 16) | (std::uint32_t{source[1]} << 8) | source[0];
    }
}

}  // namespace

LayerView::LayerView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    // Every paint covers the whole widget with the picture: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LayerView::convertAll(const Picture& picture) const
{
    if (picture.empty()) {
        image_ = QImage();
        return;
    }
    if (image_.width() != picture.width() || image_.height() != picture.height())
        image_ = QImage(picture.width(), picture.height(), QImage::Format_RGB32);
    convertRows(picture, image_, 0, 0, picture.width(), picture.height());
    ++fullConversions_;
}

void LayerView::bringUpToDate() const
{
    if (!stale_) return;
    stale_ = false;
    if (layer_ != nullptr) convertAll(*layer_);
}

void LayerView::setPicture(const Picture& picture)
{
    layer_ = nullptr;
    stale_ = false;
    convertAll(picture);
    update();
}

void LayerView::setLayer(const Picture* layer)
{
    layer_ = layer;
    layerChanged();
}

void LayerView::layerChanged(const QRect& area)
{
    if (layer_ == nullptr) return;
    const Picture& picture = *layer_;
    const bool sameSize = !image_.isNull() && image_.width() == picture.width() && image_.height() == picture.height();
    if (area.isEmpty() || stale_ || !sameSize) {
        stale_ = true;
        update();
        return;
    }
    const QRect part = area.intersected(QRect(0, 0, picture.width(), picture.height()));
    if (part.isEmpty()) return;
    convertRows(picture, image_, part.left(), part.top(), part.right() + 1, part.bottom() + 1);
    // Repaint only where the part lies at the current display size.
    const double sx = double(width()) / image_.width();
    const double sy = double(height()) / image_.height();
    const QRectF shown(part.left() * sx, part.top() * sy, part.width() * sx, part.height() * sy);
    update(shown.toAlignedRect().adjusted(-1, -1, 1, 1));
}

const QImage& LayerView::shownImage() const
{
    bringUpToDate();
    return image_;
}

void LayerView::paintEvent(QPaintEvent* event)
{
    bringUpToDate();
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(event->rect(), palette().window());
        return;
    }
    // Only the exposed part is drawn; nearest-pixel stretching keeps a zoomed paint cheap.
    painter.setClipRect(event->rect());
    painter.drawImage(rect(), image_);
}

void LayerView::mousePressEvent(QMouseEvent* event)
{
    emit mousePressed(event->button(), event->modifiers(), event->position().toPoint());
}

void LayerView::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved(event->buttons(), event->modifiers(), event->position().toPoint());
}

void LayerView::mouseReleaseEvent(QMouseEvent* event)
{
    emit mouseReleased(event->button(), event->modifiers(), event->position().toPoint());
}
