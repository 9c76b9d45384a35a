#include "view/Plot.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kLeftMargin = 64, kRightMargin = 16, kTopMargin = 36, kBottomMargin = 56;
constexpr double kGroupShare = 0.8;   // of a category's width, its bars together
constexpr double kLabelWidth = 44;    // a category's label needs about this much room
constexpr int kTicks = 5;
constexpr int kLeastSide = 200;

double shown(double value) { return std::isfinite(value) && value > 0 ? value : 0.0; }

/// The smallest of 1, 2 and 5 times a power of ten at or above value (1 for nothing above 0).
double roundTop(double value)
{
    if (!(value > 0)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0})
        if (step * power >= value * (1 - 1e-12)) return step * power;
    return 10 * power;
}

std::string tickText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string svgEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                // Control characters have no place in XML text.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

std::string svgColour(std::uint32_t rgb)
{
    char text[16];
    std::snprintf(text, sizeof text, "#%06X", rgb & 0xFFFFFFu);
    return text;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

QColor qtColour(std::uint32_t rgb) { return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF)); }

}  // namespace

PlotLayout plotLayout(const PlotData& data, int width, int height)
{
    PlotLayout layout;
    const double w = std::max(width, kLeastSide), h = std::max(height, kLeastSide);
    layout.frame = {kLeftMargin, kTopMargin, w - kLeftMargin - kRightMargin, h - kTopMargin - kBottomMargin};
    double largest = 0;
    for (const PlotBars& bars : data.bars)
        for (double v : bars.values) largest = std::max(largest, shown(v));
    for (const PlotLine& line : data.lines)
        for (double v : line.values) largest = std::max(largest, shown(v));
    layout.top = roundTop(largest);
    const PlotRect& f = layout.frame;
    const auto heightOf = [&](double value) { return f.height * shown(value) / layout.top; };
    const std::size_t categories = data.categories.size();
    const double slot = categories == 0 ? f.width : f.width / static_cast<double>(categories);
    const std::size_t kinds = std::max<std::size_t>(1, data.bars.size());
    const double barWidth = slot * kGroupShare / static_cast<double>(kinds);
    for (std::size_t k = 0; k < data.bars.size(); ++k) {
        std::vector<PlotRect> rects;
        for (std::size_t c = 0; c < categories; ++c) {
            const double value = c < data.bars[k].values.size() ? data.bars[k].values[c] : 0.0;
            const double x = f.x + slot * (static_cast<double>(c) + 0.5 * (1 - kGroupShare)) + barWidth * static_cast<double>(k);
            const double bar = heightOf(value);
            rects.push_back({x, f.y + f.height - bar, barWidth, bar});
        }
        layout.bars.push_back(std::move(rects));
    }
    for (const PlotLine& line : data.lines) {
        std::vector<std::pair<double, double>> points;
        for (std::size_t c = 0; c < categories && c < line.values.size(); ++c)
            points.push_back({f.x + slot * (static_cast<double>(c) + 0.5), f.y + f.height - heightOf(line.values[c])});
        layout.lines.push_back(std::move(points));
    }
    for (int t = 0; t <= kTicks; ++t) {
        const double value = layout.top * t / kTicks;
        layout.yTicks.push_back({f.y + f.height - f.height * t / kTicks, tickText(value)});
    }
    // Every category's label where they fit; else every second, fifth, ...
    const std::size_t every = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(kLabelWidth / std::max(1.0, slot))));
    for (std::size_t c = 0; c < categories; c += every)
        layout.xLabels.push_back({f.x + slot * (static_cast<double>(c) + 0.5), data.categories[c]});
    return layout;
}

QImage renderPlot(const PlotData& data, int width, int height)
{
    width = std::max(width, kLeastSide);
    height = std::max(height, kLeastSide);
    const PlotLayout layout = plotLayout(data, width, height);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const PlotRect& f = layout.frame;
    // Bars without antialiasing, so that each covers whole pixels as its rectangle says.
    for (std::size_t k = 0; k < layout.bars.size(); ++k)
        for (const PlotRect& r : layout.bars[k])
            painter.fillRect(QRectF(r.x, r.y, r.width, r.height), qtColour(data.bars[k].colour));
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (std::size_t l = 0; l < layout.lines.size(); ++l) {
        painter.setPen(QPen(qtColour(data.lines[l].colour), 2));
        const auto& points = layout.lines[l];
        for (std::size_t i = 1; i < points.size(); ++i)
            painter.drawLine(QPointF(points[i - 1].first, points[i - 1].second), QPointF(points[i].first, points[i].second));
        for (const auto& [x, y] : points) painter.drawEllipse(QPointF(x, y), 2.5, 2.5);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::black);
    painter.drawLine(QPointF(f.x, f.y + f.height), QPointF(f.x + f.width, f.y + f.height));
    painter.drawLine(QPointF(f.x, f.y), QPointF(f.x, f.y + f.height));
    for (const auto& tick : layout.yTicks) painter.drawLine(QPointF(f.x - 4, tick.first), QPointF(f.x, tick.first));
    // Text needs the fonts of a running application (the window's); without one the plot has none.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return image;
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    for (const auto& [y, label] : layout.yTicks) {
        painter.drawText(QRectF(0, y - 8, f.x - 6, 16), Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(label));
    }
    for (const auto& [x, label] : layout.xLabels)
        painter.drawText(QRectF(x - kLabelWidth / 2, f.y + f.height + 4, kLabelWidth, 16), Qt::AlignHCenter | Qt::AlignTop,
                         QString::fromStdString(label));
    painter.drawText(QRectF(f.x, f.y + f.height + 22, f.width, 16), Qt::AlignHCenter, QString::fromStdString(data.xLabel));
    painter.save();
    painter.translate(12, f.y + f.height / 2);
    painter.rotate(-90);
    painter.drawText(QRectF(-f.height / 2, -8, f.height, 16), Qt::AlignHCenter, QString::fromStdString(data.yLabel));
    painter.restore();
    QFont bold = font;
    bold.setPixelSize(13);
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRectF(0, 6, width, 20), Qt::AlignHCenter, QString::fromStdString(data.title));
    // The legend, top right: one swatch per kind of bars and per line.
    painter.setFont(font);
    double legendY = f.y + 4;
    const auto legend = [&](const std::string& name, std::uint32_t colour) {
        if (name.empty()) return;
        painter.fillRect(QRectF(f.x + f.width - 130, legendY, 10, 10), qtColour(colour));
        painter.drawText(QRectF(f.x + f.width - 116, legendY - 3, 116, 16), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(name));
        legendY += 15;
    };
    for (const PlotBars& bars : data.bars) legend(bars.name, bars.colour);
    for (const PlotLine& line : data.lines) legend(line.name, line.colour);
    return image;
}

std::string plotSvg(const PlotData& data, int width, int height)
{
    width = std::max(width, kLeastSide);
    height = std::max(height, kLeastSide);
    const PlotLayout layout = plotLayout(data, width, height);
    const PlotRect& f = layout.frame;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
                      std::to_string(width) + " " + std::to_string(height) +
                      "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
    for (std::size_t k = 0; k < layout.bars.size(); ++k)
        for (const PlotRect& r : layout.bars[k])
            svg += "<rect x=\"" + number(r.x) + "\" y=\"" + number(r.y) + "\" width=\"" + number(r.width) + "\" height=\"" +
                   number(r.height) + "\" fill=\"" + svgColour(data.bars[k].colour) + "\"/>\n";
    for (std::size_t l = 0; l < layout.lines.size(); ++l) {
        if (layout.lines[l].empty()) continue;
        svg += "<polyline fill=\"none\" stroke-width=\"2\" stroke=\"" + svgColour(data.lines[l].colour) + "\" points=\"";
        for (const auto& [x, y] : layout.lines[l]) svg += number(x) + "," + number(y) + " ";
        svg += "\"/>\n";
    }
    svg += "<path stroke=\"#000000\" fill=\"none\" d=\"M" + number(f.x) + " " + number(f.y) + "V" + number(f.y + f.height) +
           "H" + number(f.x + f.width) + "\"/>\n";
    for (const auto& [y, label] : layout.yTicks)
        svg += "<text x=\"" + number(f.x - 6) + "\" y=\"" + number(y + 4) + "\" text-anchor=\"end\">" + svgEscaped(label) +
               "</text>\n";
    for (const auto& [x, label] : layout.xLabels)
        svg += "<text x=\"" + number(x) + "\" y=\"" + number(f.y + f.height + 16) + "\" text-anchor=\"middle\">" +
               svgEscaped(label) + "</text>\n";
    svg += "<text x=\"" + number(f.x + f.width / 2) + "\" y=\"" + number(f.y + f.height + 36) +
           "\" text-anchor=\"middle\">" + svgEscaped(data.xLabel) + "</text>\n";
    svg += "<text transform=\"translate(16 " + number(f.y + f.height / 2) + ") rotate(-90)\" text-anchor=\"middle\">" +
           svgEscaped(data.yLabel) + "</text>\n";
    svg += "<text x=\"" + number(width / 2.0) + "\" y=\"20\" text-anchor=\"middle\" font-size=\"13\" font-weight=\"bold\">" +
           svgEscaped(data.title) + "</text>\n";
    double legendY = f.y + 4;
    const auto legend = [&](const std::string& name, std::uint32_t colour) {
        if (name.empty()) return;
        svg += "<rect x=\"" + number(f.x + f.width - 130) + "\" y=\"" + number(legendY) + "\" width=\"10\" height=\"10\" fill=\"" +
               svgColour(colour) + "\"/><text x=\"" + number(f.x + f.width - 116) + "\" y=\"" + number(legendY + 9) + "\">" +
               svgEscaped(name) + "</text>\n";
        legendY += 15;
    };
    for (const PlotBars& bars : data.bars) legend(bars.name, bars.colour);
    for (const PlotLine& line : data.lines) legend(line.name, line.colour);
    svg += "</svg>\n";
    return svg;
}

FileSaveOutcome savePlot(const std::filesystem::path& path, const PlotData& data, int width, int height)
{
    std::string suffix = path.extension().string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (suffix == ".svg") return writeFileAtomically(path, plotSvg(data, width, height));
    if (suffix != ".png") {
        FileSaveOutcome outcome;
        outcome.error = "Cannot write the file " + quotedPath(path) + ": a plot is saved as .png or .svg.";
        return outcome;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!renderPlot(data, width, height).save(&buffer, "PNG")) {
        FileSaveOutcome outcome;
        outcome.error = "Cannot write the file " + quotedPath(path) + ": the picture could not be made.";
        return outcome;
    }
    return writeFileAtomically(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}
