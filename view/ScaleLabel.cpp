#include "view/ScaleLabel.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRawFont>

#include "view/Overlays.h"

namespace {

// The label's font size: the layer's default font is 11 pixels high.
constexpr int kLabelPixelSize = 11;

QFont labelFont(const QString& family)
{
    QFont font(family);
    font.setPixelSize(kLabelPixelSize);
    return font;
}

}  // namespace

QFont scaleLabelFont()
{
    // "Symbol" first, as the label always was; where that face has no micro sign of its own (on many
    // Linux systems it names a font whose glyphs sit at other code points, and no other face fills the
    // gap), common faces that have one, then the default sans-serif face.
    static const char* const kFaces[] = {"Symbol", "DejaVu Sans", "Liberation Sans", "FreeSans", "Arial"};
    for (const char* face : kFaces) {
        const QFont font = labelFont(QString::fromLatin1(face));
        if (QRawFont::fromFont(font).supportsCharacter(QChar(kMicroSign))) return font;
    }
    QFont font = labelFont(QString());
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void writeScaleLabel(Picture& count, int left, int top, const std::string& text, const std::string& family)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || count.empty()) return;
    QImage canvas(count.data(), count.width(), count.height(), static_cast<qsizetype>(count.stride()),
                  QImage::Format_RGB888);  // black and white read the same in either byte order
    QPainter painter(&canvas);
    const QFont font = family == "Symbol" ? scaleLabelFont() : labelFont(QString::fromStdString(family));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QString label = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QRect cell(left, top, metrics.horizontalAdvance(label), metrics.height());
    painter.fillRect(cell, Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop, label);
}
