#include "view/WindowPlacement.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace {

// Below this client width a window beside the main window is of no use: the windows go over it.
constexpr int kNarrowestUsefulWidth = 120;
// Saved numbers beyond this are no placement of ours.
constexpr int kLargestCoordinate = 100000;

struct Frames {
    QMargins frame;
    int width(QSize client) const { return client.width() + frame.left() + frame.right(); }
    int height(QSize client) const { return client.height() + frame.top() + frame.bottom(); }
    QRect client(const QRect& outer) const
    {
        const QRect inner = outer.marginsRemoved(frame);
        return QRect(inner.topLeft(), QSize(std::max(inner.width(), 1), std::max(inner.height(), 1)));
    }
};

}  // namespace

FirstPlacement firstPlacement(const PlacementRequest& request)
{
    const Frames frames{request.frame};
    const QRect& area = request.available;
    const QRect mainFrame(area.topLeft(), QSize(std::min(frames.width(request.mainSize), area.width()),
                                                std::min(frames.height(request.mainSize), area.height())));
    // What is left right of the main window (the full height) and below it (its width).
    const QRect right(mainFrame.right() + 1, area.top(), area.right() - mainFrame.right(), area.height());
    const QRect below(area.left(), mainFrame.bottom() + 1, mainFrame.width(), area.bottom() - mainFrame.bottom());
    const int imageWidth = frames.width(request.imageMinimum);
    const int imageHeight = frames.height(request.imageMinimum);
    const int reportWidth = frames.width(request.reportMinimum);
    const int reportHeight = frames.height(request.reportMinimum);

    FirstPlacement result;
    result.windows.main = frames.client(mainFrame);
    const auto place = [&](const QRect& image, const QRect& report, PlacementLayout layout) {
        result.windows.image = frames.client(image);
        result.windows.report = frames.client(report);
        result.layout = layout;
        return result;
    };
    // The image and report windows one over the other in column, the image getting the larger part.
    const auto stacked = [&](const QRect& column, PlacementLayout layout) {
        const int reportPart = std::clamp(column.height() * 2 / 5, std::min(reportHeight, column.height() / 2),
                                          std::max(column.height() - imageHeight, column.height() / 2));
        const QRect image(column.topLeft(), QSize(column.width(), column.height() - reportPart));
        const QRect report(column.left(), image.bottom() + 1, column.width(), reportPart);
        return place(image, report, layout);
    };

    if (right.width() >= imageWidth + reportWidth) {
        // The report no wider than it likes to be; the picture takes the rest.
        const int reportPart = std::min(frames.width(request.reportPreferred), right.width() - imageWidth);
        const QRect image(right.topLeft(), QSize(right.width() - reportPart, right.height()));
        const QRect report(image.right() + 1, right.top(), reportPart, right.height());
        return place(image, report, PlacementLayout::SideBySide);
    }
    if (right.width() >= imageWidth && below.height() >= reportHeight)
        return place(right, below, PlacementLayout::ReportBelowMain);
    if (right.width() >= std::max(imageWidth, reportWidth) && right.height() >= imageHeight + reportHeight)
        return stacked(right, PlacementLayout::StackedRight);
    if (right.width() >= frames.width(QSize(kNarrowestUsefulWidth, 0)))
        return stacked(right, PlacementLayout::Squeezed);
    // A screen hardly wider than the main window: the two go over its right part.
    const int width = std::min(imageWidth, area.width());
    return stacked(QRect(area.right() + 1 - width, area.top(), width, area.height()), PlacementLayout::Overlapping);
}

QRect pulledOnScreen(const QRect& client, const QMargins& frame, const std::vector<QRect>& available)
{
    if (available.empty()) return client;
    const QRect outer = client.marginsAdded(frame);
    for (const QRect& area : available)
        if (area.contains(outer)) return client;
    const QRect* target = &available.front();
    long long bestOverlap = 0;
    for (const QRect& area : available) {
        const QRect overlap = area.intersected(outer);
        const long long size = static_cast<long long>(overlap.width()) * overlap.height();
        if (size > bestOverlap) {
            bestOverlap = size;
            target = &area;
        }
    }
    const QSize size(std::min(outer.width(), target->width()), std::min(outer.height(), target->height()));
    const int x = std::clamp(outer.x(), target->left(), target->right() + 1 - size.width());
    const int y = std::clamp(outer.y(), target->top(), target->bottom() + 1 - size.height());
    return Frames{frame}.client(QRect(QPoint(x, y), size));
}

std::string placementText(const WindowPlacement& placement)
{
    std::ostringstream text;
    const char* separator = "";
    for (const QRect& rect : {placement.main, placement.image, placement.report}) {
        text << separator << rect.x() << ',' << rect.y() << ',' << rect.width() << ',' << rect.height();
        separator = " ";
    }
    return text.str();
}

std::optional<WindowPlacement> parsePlacement(const std::string& text)
{
    std::vector<int> numbers;
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    while (position < end) {
        if (!numbers.empty()) {
            // Numbers of one rectangle are separated by a comma, rectangles by one blank.
            const char expected = numbers.size() % 4 == 0 ? ' ' : ',';
            if (*position != expected) return std::nullopt;
            ++position;
        }
        int value = 0;
        const auto [next, error] = std::from_chars(position, end, value);
        if (error != std::errc() || next == position) return std::nullopt;
        if (value < -kLargestCoordinate || value > kLargestCoordinate) return std::nullopt;
        numbers.push_back(value);
        position = next;
    }
    if (numbers.size() != 12) return std::nullopt;
    QRect rects[3];
    for (int i = 0; i < 3; ++i) {
        const int* n = &numbers[static_cast<std::size_t>(i) * 4];
        if (n[2] <= 0 || n[3] <= 0) return std::nullopt;
        rects[i] = QRect(n[0], n[1], n[2], n[3]);
    }
    return WindowPlacement{rects[0], rects[1], rects[2]};
}
