#include "gui/LayerView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "view/DisplayImage.h"

LayerView::LayerView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    // Every paint covers the whole widget with the picture: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LayerView::convertAll(const Picture& picture) const
{
    makeDisplayImage(picture, image_);
    if (!picture.empty()) ++fullConversions_;
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
    const bool sameSize =
        !image_.isNull() && image_.width() == picture.width() && image_.height() == picture.height();
    if (area.isEmpty() || stale_ || !sameSize) {
        stale_ = true;
        update();
        return;
    }
    const QRect part = area.intersected(QRect(0, 0, picture.width(), picture.height()));
    if (part.isEmpty()) return;
    updateDisplayImage(picture, image_, part);
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
