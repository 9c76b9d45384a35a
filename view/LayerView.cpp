#include "view/LayerView.h"

#include <QMouseEvent>
#include <QPainter>

LayerView::LayerView(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void LayerView::setPicture(const Picture& picture)
{
    if (picture.empty()) {
        image_ = QImage();
    } else {
        // QImage::Format_BGR888 is not a Qt format; RGB888 with swapped channels is.
        QImage wrapped(picture.data(), picture.width(), picture.height(), static_cast<qsizetype>(picture.stride()),
                       QImage::Format_RGB888);
        image_ = wrapped.rgbSwapped();  // deep copy in display order
    }
    update();
}

void LayerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (image_.isNull()) return;
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
