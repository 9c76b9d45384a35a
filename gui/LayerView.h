#pragma once
// LayerView: shows one picture layer at the window's zoom and reports mouse presses, moves and
// releases in widget coordinates.
//
// The view keeps display copies of its layer in the window system's fastest pixel format (see
// view/LayerDisplay.h): one at 100 % and, zoomed out, one scaled down to the zoom by averaging, with
// the marks drawn over the original kept whole. A copy is brought up to date only after the layer's
// pixels changed: a whole layer at its next paint (so a hidden layer costs nothing until it is shown),
// a changed part at once. Painting again and bringing the view to the front never convert the
// picture; a zoom converts it once, the first time the view is shown at that zoom. Zoomed in, each
// paint samples the visible part of the 100 % copy.
//
// Zoomed out, a scale bar drawn into the layer gets its label written again over it at screen size,
// so that it can be read at any zoom.
//
// The view can show a selection band over its picture: drawn on screen only, by inverting the colours
// under the band's dots, never into the layer or its display copy. At 100 % and above a dot covers its
// picture pixels' places; zoomed out, where a picture pixel is less than a screen pixel, the band is
// dotted in screen pixels, so that it stays visible.

#include <QImage>
#include <QRect>
#include <QWidget>
#include <vector>

#include "core/Picture.h"
#include "view/LayerDisplay.h"
#include "view/Overlays.h"

class QPainter;

class LayerView : public QWidget {
    Q_OBJECT
public:
    explicit LayerView(QWidget* parent = nullptr);

    /// Shows picture; the view keeps a display copy until the next call (the layer may change later).
    void setPicture(const Picture& picture);
    /// Shows the layer *layer from now on; it must outlive the view or be replaced. The view follows
    /// its changes when told through layerChanged.
    void setLayer(const Picture* layer);
    /// The layer's pixels changed: the whole layer (area empty) or only area, in picture coordinates.
    void layerChanged(const QRect& area = QRect());
    /// The layer's marks are drawn over base (the original), which must outlive the view; nullptr:
    /// none. Its pixels are taken as changed.
    void setBase(const Picture* base);
    /// The zoom (percent) the view is shown at; its size is set by the window.
    void setZoom(std::uint16_t zoom);
    std::uint16_t zoom() const { return zoom_; }
    /// Brightness, contrast and channel of the display from now on.
    void setAdjustment(const DisplayAdjustment& adjustment);
    const DisplayAdjustment& adjustment() const { return adjustment_; }
    /// The scale bars drawn into the layer, whose labels are written again at screen size when zoomed
    /// out.
    void setScaleBars(std::vector<ScaleBarPlace> bars);
    const std::vector<ScaleBarPlace>& scaleBars() const { return scaleBars_; }
    /// The display copy at the current zoom, brought up to date first: scaled down when zoomed out,
    /// else at 100 % (which zoomed in is sampled at each paint).
    const QImage& shownImage() const;
    /// Shows the selection band around area (picture coordinates) over the picture from now on; an
    /// empty area: no band.
    void setBand(const QRect& area);
    /// The area the band shown over the picture goes round; empty when no band is shown.
    const QRect& band() const { return band_; }
    /// Teaching overlay, drawn on screen only: the region's outline, marks as small crosses and blob
    /// markers as small circles of their own colour (picture coordinates).
    void setTeachOverlay(const QRect& region, std::vector<QPoint> marks, std::vector<QPoint> blobs);
    /// Background boxes of the teaching, drawn with the teaching overlay (picture coordinates).
    void setBackgroundOverlay(std::vector<QRect> boxes);
    const std::vector<QRect>& backgroundBoxes() const { return backgroundBoxes_; }
    /// The learnt density as a heat map (the picture's size, with alpha; null: none) and the learnt
    /// positions as small squares, drawn on screen only.
    void setDensityOverlay(QImage heat, std::vector<QPoint> positions);
    const QImage& densityHeat() const { return densityHeat_; }
    const std::vector<QPoint>& densityPositions() const { return densityPositions_; }
    const QRect& teachRegion() const { return teachRegion_; }
    const std::vector<QPoint>& teachMarks() const { return teachMarks_; }
    /// How often the whole picture was converted for display, at any zoom (for tests of the caching).
    int fullConversions() const { return fullConversions_; }

signals:
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    /// The wheel turned with Ctrl held (angle in eighths of a degree, positive away from the user).
    void zoomWheel(int angle, QPoint position);
    /// A drag with the middle button: pressed, then each move, at screen positions. The middle button
    /// only pans: it reports no press, move or release of its own.
    void panPressed(QPoint globalPosition);
    void panMoved(QPoint globalPosition);
    /// The mouse left the view.
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// With Ctrl: zoomWheel. Without, the wheel is left to the scroll area around the view.
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void paintTeachOverlay(QPainter& painter) const;
    void paintScaleLabels(QPainter& painter) const;
    void bringUpToDate() const;
    /// The zoom the display copy is made at: the window's zoom in device pixels, at most 100 %.
    std::uint16_t renderZoom() const;
    /// The marks' base, when it has the layer's size.
    const Picture* usableBase() const;
    /// The whole display copy for the current zoom is rendered anew.
    void invalidate();
    /// The widget pixels that show the picture pixels of area, at the current zoom.
    QRect shownRect(const QRect& area) const;
    /// The size of the picture shown.
    QSize pictureSize() const;
    /// The widget pixels the band's dots cover, at the current display size; none pair up.
    std::vector<QRect> bandDots() const;
    /// Repaints where the band around area lies.
    void updateBand(const QRect& area);

    const Picture* layer_ = nullptr;  // the layer followed (own_ after setPicture)
    Picture own_;                     // the copy setPicture shows
    const Picture* base_ = nullptr;   // what the marks are drawn over, or nullptr
    std::uint16_t zoom_ = 100;
    DisplayAdjustment adjustment_;
    mutable QImage full_;                   // Format_RGB32 copy at 100 %
    mutable bool fullStale_ = false;        // the whole layer changed since full_ was made
    mutable QImage scaled_;                 // the copy scaled down to scaledZoom_
    mutable std::uint16_t scaledZoom_ = 0;  // 0: none made
    mutable bool scaledStale_ = false;
    mutable QImage tile_;  // the part sampled for one paint when zoomed in
    mutable int fullConversions_ = 0;
    std::vector<ScaleBarPlace> scaleBars_;
    QRect band_;
    QRect teachRegion_;
    std::vector<QRect> backgroundBoxes_;
    QImage densityHeat_;
    std::vector<QPoint> densityPositions_;
    std::vector<QPoint> teachMarks_;
    std::vector<QPoint> blobMarkers_;  // the area the selection band goes round, in picture coordinates
    bool panning_ = false;             // the middle button went down on the view and is held
};
