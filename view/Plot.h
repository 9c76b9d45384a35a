#pragma once
// Bar plots of a series of fields: particle sizes, the field counts beside what chance predicts,
// the counts per picture. One layout (plotLayout) gives every bar's rectangle and every line's
// points; the same layout is painted into a picture (PNG) and written as SVG text, so that both
// files show the same plot.

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/AtomicFile.h"

/// Bars of one kind: one value per category, drawn side by side with the other kinds' bars.
struct PlotBars {
    std::string name;
    std::uint32_t colour = 0x4060C0;  // 0xRRGGBB
    std::vector<double> values;
};

/// A line through one value per category, at the categories' centres (an expectation, say).
struct PlotLine {
    std::string name;
    std::uint32_t colour = 0xC04020;
    std::vector<double> values;
};

struct PlotData {
    std::string title, xLabel, yLabel;
    std::vector<std::string> categories;
    std::vector<PlotBars> bars;
    std::vector<PlotLine> lines;
};

struct PlotRect {
    double x = 0, y = 0, width = 0, height = 0;
};

/// Where everything of a plot goes on a canvas of width x height pixels.
struct PlotLayout {
    PlotRect frame;                                        // the axes' area; values grow upwards from its bottom
    double top = 1;                                        // the value at the frame's top (a round number)
    std::vector<std::vector<PlotRect>> bars;               // per kind of bars, per category
    std::vector<std::vector<std::pair<double, double>>> lines;  // per line, its points
    std::vector<std::pair<double, std::string>> yTicks;    // height on the canvas, label
    std::vector<std::pair<double, std::string>> xLabels;   // centre on the canvas, category (some left out
                                                           // where they would overlap)
};

/// The layout of data on a canvas of width x height (each at least 200). Values below 0 (and
/// anything not finite) are drawn as 0.
PlotLayout plotLayout(const PlotData& data, int width, int height);

/// The plot painted on a white picture of width x height.
QImage renderPlot(const PlotData& data, int width, int height);

/// The plot as an SVG document of width x height.
std::string plotSvg(const PlotData& data, int width, int height);

/// Saves the plot as PNG or SVG, by path's suffix (.png or .svg, in any case), whole or not at all.
FileSaveOutcome savePlot(const std::filesystem::path& path, const PlotData& data, int width, int height);
