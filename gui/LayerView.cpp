#include "gui/LayerView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "view/ManualEdit.h"
#include "view/ScaleLabel.h"

LayerView::LayerView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    // Every paint covers the whole widget with the picture: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize LayerView::pictureSize() const
{
    return layer_ != nullptr ? QSize(layer_->width(), layer_->height()) : QSize();
}

const Picture* LayerView::usableBase() const
{
    if (base_ == nullptr || layer_ == nullptr || base_ == layer_) return nullptr;
    return base_->width() == layer_->width() && base_->height() == layer_->height() ? base_ : nullptr;
}

void LayerView::invalidate()
{
    fullStale_ = true;
    scaledStale_ = true;
    update();
}

std::uint16_t LayerView::renderZoom() const
{
    if (zoom_ >= 100) return 100;
    // On a screen of more device pixels than logical ones the copy is scaled to the device pixels.
    const long zoom = std::lround(zoom_ * devicePixelRatioF());
    return static_cast<std::uint16_t>(std::clamp(zoom, 1L, 100L));
}

void LayerView::bringUpToDate() const
{
    if (layer_ == nullptr) return;
    const Picture& picture = *layer_;
    const std::uint16_t zoom = renderZoom();
    if (zoom < 100) {
        if (!scaledStale_ && scaledZoom_ == zoom) return;
        renderLayer(picture, usableBase(), adjustment_, zoom, scaled_);
        scaledZoom_ = zoom;
        scaledStale_ = false;
    } else {
        if (!fullStale_) return;
        renderLayer(picture, usableBase(), adjustment_, 100, full_);
        fullStale_ = false;
    }
    if (!picture.empty()) ++fullConversions_;
}

void LayerView::setPicture(const Picture& picture)
{
    own_ = picture;
    layer_ = &own_;
    invalidate();
}

void LayerView::setLayer(const Picture* layer)
{
    layer_ = layer;
    layerChanged();
}

void LayerView::setBase(const Picture* base)
{
    base_ = base;
    invalidate();
}

void LayerView::setZoom(std::uint16_t zoom)
{
    zoom_ = zoom == 0 ? 100 : zoom;
    update();
}

void LayerView::setAdjustment(const DisplayAdjustment& adjustment)
{
    if (adjustment == adjustment_) return;
    adjustment_ = adjustment;
    invalidate();
}

void LayerView::setScaleBars(std::vector<ScaleBarPlace> bars)
{
    scaleBars_ = std::move(bars);
    update();
}

void LayerView::layerChanged(const QRect& area)
{
    if (layer_ == nullptr) return;
    const Picture& picture = *layer_;
    const QSize size(picture.width(), picture.height());
    if (area.isEmpty() || size.isEmpty()) {
        invalidate();
        return;
    }
    const QRect part = area.intersected(QRect(QPoint(0, 0), size));
    if (part.isEmpty()) return;
    // Each copy that is up to date takes the part; one that is not is rendered whole when shown.
    if (!fullStale_) {
        if (full_.size() == size)
            renderLayer(picture, usableBase(), adjustment_, 100, full_, part);
        else
            fullStale_ = true;
    }
    if (!scaledStale_ && scaledZoom_ != 0) {
        if (scaled_.size() == displaySize(scaledZoom_, size.width(), size.height()))
            renderLayer(picture, usableBase(), adjustment_, scaledZoom_, scaled_,
                        displayArea(part, scaledZoom_));
        else
            scaledStale_ = true;
    }
    update(shownRect(part).adjusted(-1, -1, 1, 1));
}

QRect LayerView::shownRect(const QRect& area) const
{
    if (pictureSize().isEmpty() || area.isEmpty()) return QRect();
    return displayArea(area, zoom_);
}

std::vector<QRect> LayerView::bandDots() const
{
    std::vector<QRect> dots;
    const QSize picture = pictureSize();
    if (band_.isEmpty() || picture.isEmpty()) return dots;
    const auto runRect = [](const BandRun& run) {
        return run.horizontal ? QRect(run.x, run.y, run.length, 1) : QRect(run.x, run.y, 1, run.length);
    };
    if (zoom_ >= 100) {
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
    return renderZoom() < 100 ? scaled_ : full_;
}

void LayerView::paintEvent(QPaintEvent* event)
{
    const QImage& shown = shownImage();
    QPainter painter(this);
    const QRect exposed = event->rect();
    const QSize picture = pictureSize();
    const QRect covered(QPoint(0, 0), displaySize(zoom_, picture.width(), picture.height()));
    if (shown.isNull() || !covered.contains(exposed)) painter.fillRect(exposed, palette().window());
    if (shown.isNull()) return;
    painter.setClipRect(exposed);
    const std::uint16_t rendered = renderZoom();
    if (zoom_ > 100) {
        const QRect part = exposed.intersected(covered);
        if (!part.isEmpty()) {
            sampleZoomedIn(shown, zoom_, part, tile_);
            painter.drawImage(part.topLeft(), tile_);
        }
    } else if (rendered == zoom_) {
        // The copy has the display's size: only the exposed part is copied.
        const QRect part = exposed.intersected(shown.rect());
        painter.drawImage(part.topLeft(), shown, part);
    } else {
        // A copy of the device pixels: drawn onto them, each logical pixel taking zoom / rendered of it.
        const double scale = double(zoom_) / rendered;
        painter.drawImage(QRectF(0, 0, shown.width() * scale, shown.height() * scale), shown);
    }
    paintScaleLabels(painter);
    paintTeachOverlay(painter);
    if (band_.isEmpty()) return;
    // The band inverts what lies under its dots, so it shows on any picture.
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    for (const QRect& dot : bandDots())
        if (dot.intersects(exposed)) painter.fillRect(dot, Qt::white);
}

void LayerView::paintScaleLabels(QPainter& painter) const
{
    // At 100 % and above the label drawn into the layer is as legible as it was drawn.
    if (zoom_ >= 100 || scaleBars_.empty()) return;
    const QSize picture = pictureSize();
    painter.save();
    const QFont font = scaleLabelFont();
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (const ScaleBarPlace& bar : scaleBars_) {
        if (bar.length <= 0 || bar.left >= picture.width() || bar.top >= picture.height()) continue;
        // The bar keeps its true length on screen; the label goes beside it when it is longer.
        const QRect box = displayArea(
            QRect(static_cast<int>(bar.left), static_cast<int>(bar.top),
                  static_cast<int>(std::min<std::int64_t>(bar.length + 1, picture.width() - bar.left)),
                  kScaleBoxRows),
            zoom_);
        const QString label =
            QString::number(bar.microns) + QLatin1Char(' ') + QChar(kMicroSign) + QLatin1Char('m');
        const int textWidth = metrics.horizontalAdvance(label) + 4;
        const QRect framed(box.topLeft(),
                           QSize(std::max(box.width(), 1), std::max(box.height(), metrics.height() + 2)));
        painter.setPen(Qt::black);
        painter.setBrush(Qt::white);
        painter.drawRect(framed.adjusted(0, 0, -1, -1));
        QRect text = framed;
        if (textWidth > framed.width()) {
            text = QRect(framed.right() + 3, framed.top(), textWidth, framed.height());
            painter.drawRect(text.adjusted(0, 0, -1, -1));
        }
        painter.drawText(text, Qt::AlignCenter, label);
    }
    painter.restore();
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
    if (pictureSize().isEmpty()) return;
    const double sx = zoom_ / 100.0;
    const double sy = sx;
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

void LayerView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit mouseLeft();
}
