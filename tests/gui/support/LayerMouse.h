#pragma once
// Helpers for the image window tests: pictures put into the window as if loaded, and the mouse on a
// layer view with buttons and Ctrl as the user holds them.

#include <QApplication>
#include <QMouseEvent>
#include <QtTest>
#include <algorithm>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/LayerView.h"
#include "gui/TForm2.h"

namespace layermouse {

/// Puts picture into the original layer and loads it under name, as opening a file does.
inline void loadIntoWindow(Picture picture, const QString& name = QStringLiteral("x.jpg"))
{
    Form2->layers().Image1 = std::move(picture);
    Form1->newpictureparams(name);
}

/// A width x height picture of one colour.
inline Picture plainPicture(int width, int height, std::uint32_t colour)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, colour);
    return picture;
}

/// A smooth picture that survives a JPEG round trip closely: red grows from 0 to 200 across, green
/// from 0 to 200 down.
inline Picture gradientPicture(int width, int height)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(
                x, y, rgbColour(x * 200 / std::max(1, width - 1), y * 200 / std::max(1, height - 1), 100));
    return picture;
}

/// Applies a zoom as the zoom commands do.
inline void zoomTo(int percent)
{
    AnalysisState.ZoomPercent = static_cast<std::uint16_t>(percent);
    Form2->malgrossklein(AnalysisState.ZoomPercent);
}

/// Brings a view to the front as flipping does: 1 original, 2 count, 3 area.
inline void showView(int viewMode)
{
    AnalysisState.ViewMode = static_cast<std::uint8_t>(viewMode);
    Form2->Toggleview();
}

inline void press(QWidget* layer, QPoint position, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::mousePress(layer, button, modifiers, position);
}

inline void release(QWidget* layer, QPoint position, Qt::MouseButton button = Qt::LeftButton,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::mouseRelease(layer, button, modifiers, position);
}

/// A move with the given buttons and keys held (QTest's own moves carry no keys).
inline void move(QWidget* layer, QPoint position, Qt::MouseButtons buttons = Qt::LeftButton,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(position), QPointF(layer->mapToGlobal(position)),
                      Qt::NoButton, buttons, modifiers);
    QApplication::sendEvent(layer, &event);
}

/// Press, drag and release on the original, with the positions in the view's own pixels.
inline void dragOnOriginal(QPoint from, QPoint to)
{
    press(Form2->Image1, from);
    move(Form2->Image1, to);
    release(Form2->Image1, to);
}

}  // namespace layermouse
