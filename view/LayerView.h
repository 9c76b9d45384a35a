#pragma once
// LayerView: shows one picture layer stretched to the widget's size and reports mouse presses,
// moves and releases in widget coordinates.

#include <QImage>
#include <QWidget>

#include "view/Picture.h"

class LayerView : public QWidget {
    Q_OBJECT
public:
    explicit LayerView(QWidget* parent = nullptr);

    /// Shows picture; the view keeps a display copy until the next call (the layer may change later).
    void setPicture(const Picture& picture);
    const QImage& shownImage() const { return image_; }

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
    QImage image_;
};
