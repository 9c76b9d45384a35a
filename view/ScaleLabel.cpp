#include "view/ScaleLabel.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

namespace {

// The label's font size: the layer's default font is 11 pixels high.
constexpr int kLabelPixelSize = 11;

}  // namespace

void writeScaleLabel(Picture& count, int left, int top, const std::string& text, const std::string& family)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || count.empty()) return;
    QImage canvas(count.data(), count.width(), count.height(), static_cast<qsizetype>(count.stride()),
                  QImage::Format_RGB888);  // black and white read the same in either byte order
    QPainter painter(&canvas);
    QFont font(QString::fromStdString(family));
    font.setPixelSize(kLabelPixelSize);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QString label = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QRect cell(left, top, metrics.horizontalAdvance(label), metrics.height());
    painter.fillRect(cell, Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop, label);
}
