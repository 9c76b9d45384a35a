#pragma once
// LayerView: shows one picture layer stretched to the widget's size and reports mouse presses,
// moves and releases in widget coordinates.
//
// The view keeps a display copy of its layer in the window system's fastest pixel format. The copy is
// brought up to date only after the layer's pixels changed: a whole layer at its next paint (so a
// hidden layer costs nothing until it is shown), a changed part at once. Painting again, resizing for a
// zoom and bringing the view to the front never convert the picture.

#include <QImage>
#include <QRect>
#include <QWidget>

#include "core/Picture.h"

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
    /// The picture as displayed (brought up to date first).
    const QImage& shownImage() const;
    /// How often the whole picture was converted for display (for tests of the caching).
    int fullConversions() const { return fullConversions_; }

signals:
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void convertAll(const Picture& picture) const;
    void bringUpToDate() const;

    const Picture* layer_ = nullptr;      // the layer followed, or nullptr after setPicture
    mutable QImage image_;                 // Format_RGB32 copy of the picture
    mutable bool stale_ = false;           // the whole layer changed since image_ was made
    mutable int fullConversions_ = 0;
};
