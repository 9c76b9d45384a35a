// Plots: the painted picture and the SVG text show the bars the layout gives, each as high as its
// value says; text is escaped for SVG; a plot is saved by its suffix or refused without a file.

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cmath>
#include <filesystem>

#include "view/Plot.h"

namespace {

PlotData sizeHistogram()
{
    PlotData data;
    data.title = "Sizes <\xC2\xB5m\xC2\xB2> & \"more\"";
    data.xLabel = "area";
    data.yLabel = "particles";
    data.categories = {"0-4", "4-8", "8-12", "12-16", "16-20"};
    data.bars.push_back({"picture", 0x2050D0, {3, 0, 7, 12, 5}});
    data.bars.push_back({"series", 0x20A040, {6, 1, 14, 24, 10}});
    data.lines.push_back({"expected", 0xD04020, {4, 2, 10, 20, 8}});
    return data;
}

}  // namespace

TEST(Plot, PaintedAndSvgBarsStandAsHighAsTheirValues)
{
    const PlotData data = sizeHistogram();
    const PlotLayout layout = plotLayout(data, 480, 320);
    EXPECT_EQ(layout.top, 50.0);  // the largest value, 24, rounded up to 1, 2 or 5 times a power of ten
    // The painted bars are measured without the line, which is drawn over them.
    PlotData barsOnly = data;
    barsOnly.lines.clear();
    const QImage image = renderPlot(barsOnly, 480, 320);
    ASSERT_EQ(image.size(), QSize(480, 320));
    QXmlStreamReader svg(QString::fromStdString(plotSvg(data, 480, 320)));
    std::vector<std::pair<QString, double>> svgBars;  // colour, height
    while (!svg.atEnd())
        if (svg.readNext() == QXmlStreamReader::StartElement && svg.name() == u"rect" &&
            svg.attributes().hasAttribute("x"))
            svgBars.push_back({svg.attributes().value("fill").toString(), svg.attributes().value("height").toDouble()});
    ASSERT_FALSE(svg.hasError()) << svg.errorString().toStdString();
    std::size_t svgIndex = 0;
    for (std::size_t k = 0; k < data.bars.size(); ++k)
        for (std::size_t c = 0; c < data.categories.size(); ++c) {
            const PlotRect& r = layout.bars[k][c];
            const double value = data.bars[k].values[c];
            EXPECT_NEAR(r.height, layout.frame.height * value / layout.top, 1e-9);
            // The painted bar: the pixels of its colour down its middle column.
            const int x = static_cast<int>(r.x + r.width / 2);
            const QRgb colour = 0xFF000000u | data.bars[k].colour;
            int painted = 0;
            for (int y = 0; y < image.height(); ++y) painted += image.pixel(x, y) == colour ? 1 : 0;
            EXPECT_NEAR(painted, r.height, 1.0) << "bars " << k << ", category " << c;
            ASSERT_LT(svgIndex, svgBars.size());
            EXPECT_EQ(svgBars[svgIndex].first.toStdString(), "#" + QString::number(data.bars[k].colour, 16).toUpper().rightJustified(6, '0').toStdString());
            EXPECT_NEAR(svgBars[svgIndex].second, r.height, 0.01);
            ++svgIndex;
        }
    // The line's points at the categories' centres, as high as their values.
    ASSERT_EQ(layout.lines.size(), 1u);
    for (std::size_t c = 0; c < data.categories.size(); ++c)
        EXPECT_NEAR(layout.frame.y + layout.frame.height - layout.lines[0][c].second,
                    layout.frame.height * data.lines[0].values[c] / layout.top, 1e-9);
    // Two kinds of bars side by side, never over each other.
    for (std::size_t c = 0; c < data.categories.size(); ++c)
        EXPECT_LE(layout.bars[0][c].x + layout.bars[0][c].width, layout.bars[1][c].x + 1e-9);
}

TEST(Plot, SavedByItsSuffixOrRefusedWithoutAFile)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::filesystem::path base = folder.path().toStdString();
    const PlotData data = sizeHistogram();
    EXPECT_TRUE(savePlot(base / "sizes.png", data, 400, 300).saved());
    EXPECT_EQ(QImage(QString::fromStdString((base / "sizes.png").string())).size(), QSize(400, 300));
    EXPECT_TRUE(savePlot(base / "sizes.SVG", data, 400, 300).saved());
    EXPECT_GT(std::filesystem::file_size(base / "sizes.SVG"), 0u);
    const FileSaveOutcome refused = savePlot(base / "sizes.txt", data, 400, 300);
    EXPECT_FALSE(refused.saved());
    EXPECT_NE(refused.error.find(".png or .svg"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(base / "sizes.txt"));
    // Nothing to plot still makes a plot (an empty frame), not a failure.
    EXPECT_TRUE(savePlot(base / "empty.png", PlotData{}, 10, 10).saved());
    EXPECT_EQ(QImage(QString::fromStdString((base / "empty.png").string())).size(), QSize(200, 200));
}
