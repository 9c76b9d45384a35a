#include "gui/LayerView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "view/DisplayImage.h"
#include "view/ManualEdit.h"

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

QRect LayerView::shownRect(const QRect& area) const
{
    // The size of the picture shown: the layer's, even before its display copy is brought up to date.
    const QSize picture = layer_ != nullptr ? QSize(layer_->width(), layer_->height()) : image_.size();
    if (picture.isEmpty() || area.isEmpty()) return QRect();
    // The stretched picture shows picture pixel x on the widget pixels whose centres map into it, so a
    // picture edge at x lies at ceil(x * scale - 0.5).
    const double sx = double(width()) / picture.width();
    const double sy = double(height()) / picture.height();
    const auto edge = [](int v, double scale) { return static_cast<int>(std::ceil(v * scale - 0.5)); };
    return QRect(QPoint(edge(area.left(), sx), edge(area.top(), sy)),
                 QPoint(edge(area.left() + area.width(), sx) - 1, edge(area.top() + area.height(), sy) - 1));
}

std::vector<QRect> LayerView::bandDots() const
{
    std::vector<QRect> dots;
    const QSize picture = layer_ != nullptr ? QSize(layer_->width(), layer_->height()) : image_.size();
    if (band_.isEmpty() || picture.isEmpty()) return dots;
    const auto runRect = [](const BandRun& run) {
        return run.horizontal ? QRect(run.x, run.y, run.length, 1) : QRect(run.x, run.y, 1, run.length);
    };
    if (width() >= picture.width() && height() >= picture.height()) {
        // Each dot covers the places of its picture pixels.
        for (const BandRun& run : selectionBandRuns(band_.left(), band_.top(), band_.left() + band_.width(),
                                                    band_.top() + band_.height(), picture.width(),
                                                    picture.height()))
            dots.push_back(shownRect(runRect(run)));
    } else {
        // Zoomed out: the band round the area's place, dotted in screen pixels.
        const QRect shown = shownRect(band_);
        for (const BandRun& run : selectionBandRuns(shown.left(), shown.top(), shown.left() + shown.width(),
                                                    shown.top() + shown.height(), width(), height()))
            dots.push_back(runRect(run));
    }
    return dots;
}

void LayerView::updateBand(const QRect& area)
{
    if (area.isEmpty()) return;
    // The four edges, each at least a screen pixel wide.
    const auto strip = [this](const QRect& edge) {
        const QRect shown = shownRect(edge);
        return QRect(shown.topLeft(), shown.size().expandedTo(QSize(1, 1)));
    };
    const int right = area.left() + area.width() - 1, bottom = area.top() + area.height() - 1;
    update(strip(QRect(area.left(), area.top(), area.width(), 1)));
    update(strip(QRect(area.left(), bottom, area.width(), 1)));
    update(strip(QRect(area.left(), area.top(), 1, area.height())));
    update(strip(QRect(right, area.top(), 1, area.height())));
}

void LayerView::setBand(const QRect& area)
{
    if (area == band_) return;
    updateBand(band_);
    band_ = area;
    updateBand(band_);
}

void LayerView::setTeachOverlay(const QRect& region, std::vector<QPoint> marks, std::vector<QPoint> blobs)
{
    teachRegion_ = region;
    teachMarks_ = std::move(marks);
    blobMarkers_ = std::move(blobs);
    update();
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
    paintTeachOverlay(painter);
    if (band_.isEmpty()) return;
    // The band inverts what lies under its dots, so it shows on any picture.
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    for (const QRect& dot : bandDots())
        if (dot.intersects(event->rect())) painter.fillRect(dot, Qt::white);
}

void LayerView::setBackgroundOverlay(std::vector<QRect> boxes)
{
    backgroundBoxes_ = std::move(boxes);
    update();
}

void LayerView::setDensityOverlay(QImage heat, std::vector<QPoint> positions)
{
    densityHeat_ = std::move(heat);
    densityPositions_ = std::move(positions);
    update();
}

void LayerView::paintTeachOverlay(QPainter& painter) const
{
    if (teachRegion_.isEmpty() && teachMarks_.empty() && blobMarkers_.empty() && backgroundBoxes_.empty() &&
        densityHeat_.isNull() && densityPositions_.empty())
        return;
    const QSize picture = layer_ != nullptr ? QSize(layer_->width(), layer_->height()) : image_.size();
    if (picture.isEmpty()) return;
    const double sx = double(width()) / picture.width();
    const double sy = double(height()) / picture.height();
    const auto centre = [&](const QPoint& p) { return QPointF((p.x() + 0.5) * sx, (p.y() + 0.5) * sy); };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (!densityHeat_.isNull()) painter.drawImage(rect(), densityHeat_);
    painter.setPen(QPen(QColor(255, 140, 0), 1));
    painter.setBrush(Qt::NoBrush);
    for (const QRect& box : backgroundBoxes_) painter.drawRect(shownRect(box));
    painter.setPen(QPen(Qt::green, 1));
    for (const QPoint& position : densityPositions_)
        painter.drawRect(QRectF(centre(position) - QPointF(2, 2), QSizeF(4, 4)));
    if (!teachRegion_.isEmpty()) {
        painter.setPen(QPen(Qt::yellow, 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(shownRect(teachRegion_));
    }
    painter.setPen(QPen(Qt::magenta, 1));
    for (const QPoint& blob : blobMarkers_) painter.drawEllipse(centre(blob), 4.0, 4.0);
    painter.setPen(QPen(Qt::cyan, 1));
    constexpr double arm = 3.0;
    for (const QPoint& mark : teachMarks_) {
        const QPointF c = centre(mark);
        painter.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
        painter.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
    }
    painter.restore();
}

void LayerView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        panning_ = true;
        setCursor(Qt::ClosedHandCursor);
        emit panPressed(event->globalPosition().toPoint());
        return;
    }
    emit mousePressed(event->button(), event->modifiers(), event->position().toPoint());
}

void LayerView::mouseMoveEvent(QMouseEvent* event)
{
    if (panning_ && event->buttons().testFlag(Qt::MiddleButton)) {
        emit panMoved(event->globalPosition().toPoint());
        return;
    }
    emit mouseMoved(event->buttons(), event->modifiers(), event->position().toPoint());
}

void LayerView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        if (panning_) unsetCursor();
        panning_ = false;
        return;
    }
    emit mouseReleased(event->button(), event->modifiers(), event->position().toPoint());
}

void LayerView::wheelEvent(QWheelEvent* event)
{
    if (!event->modifiers().testFlag(Qt::ControlModifier)) {
        event->ignore();  // scrolls the view
        return;
    }
    emit zoomWheel(event->angleDelta().y(), event->position().toPoint());
    event->accept();
}
