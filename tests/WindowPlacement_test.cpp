#include "view/WindowPlacement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QMargins kFrame(6, 32, 6, 6);

QRect outer(const QRect& client) { return client.marginsAdded(kFrame); }

PlacementRequest requestFor(const QRect& available)
{
    PlacementRequest request;
    request.available = available;
    request.frame = kFrame;
    request.mainSize = QSize(290, 266);
    request.imageMinimum = QSize(520, 200);
    request.reportMinimum = QSize(280, 190);
    request.reportPreferred = QSize(470, 355);
    return request;
}

}  // namespace

// One rule for every screen: the main window whole at the top-left corner, every frame on the screen,
// and the other two never over the main window nor over each other (unless no room is left at all).
TEST(WindowPlacement, FirstStartSideBySideWithinTheScreen)
{
    struct Row {
        const char* screen;
        QRect available;
        PlacementLayout layout;
    };
    const std::vector<Row> rows = {
        {"1366 x 768", QRect(0, 0, 1366, 768), PlacementLayout::SideBySide},
        {"1920 x 1080 right of another, panel on top", QRect(1920, 27, 1920, 1053), PlacementLayout::SideBySide},
        {"1366 x 768 at scale 2", QRect(0, 0, 683, 384), PlacementLayout::Squeezed},
        {"1024 x 768", QRect(0, 0, 1024, 768), PlacementLayout::ReportBelowMain},
        {"900 x 520", QRect(0, 0, 900, 520), PlacementLayout::StackedRight},
        {"400 x 300", QRect(0, 0, 400, 300), PlacementLayout::Overlapping},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.screen);
        const PlacementRequest request = requestFor(row.available);
        const FirstPlacement placed = firstPlacement(request);
        const WindowPlacement& w = placed.windows;
        EXPECT_EQ(placed.layout, row.layout);
        for (const QRect* window : {&w.main, &w.image, &w.report}) {
            EXPECT_TRUE(row.available.contains(outer(*window))) << window->x() << "," << window->y() << " "
                                                                 << window->width() << "x" << window->height();
            EXPECT_GT(window->width(), 0);
            EXPECT_GT(window->height(), 0);
        }
        EXPECT_EQ(outer(w.main).topLeft(), row.available.topLeft());
        if (row.layout != PlacementLayout::Overlapping) {
            EXPECT_EQ(w.main.size(), request.mainSize);
            EXPECT_FALSE(outer(w.image).intersects(outer(w.main)));
            EXPECT_FALSE(outer(w.report).intersects(outer(w.main)));
        }
        EXPECT_FALSE(outer(w.image).intersects(outer(w.report)));
        if (row.layout != PlacementLayout::Squeezed && row.layout != PlacementLayout::Overlapping) {
            EXPECT_GE(w.image.width(), request.imageMinimum.width());
            EXPECT_GE(w.image.height(), request.imageMinimum.height());
            EXPECT_GE(w.report.width(), request.reportMinimum.width());
            EXPECT_GE(w.report.height(), request.reportMinimum.height());
        }
    }
    // Side by side the report is as wide as it likes and the picture takes the rest, all three the
    // screen's full height.
    const WindowPlacement wide = firstPlacement(requestFor(QRect(0, 0, 1366, 768))).windows;
    EXPECT_EQ(wide.main, QRect(6, 32, 290, 266));
    EXPECT_EQ(wide.report, QRect(1366 - 6 - 470, 32, 470, 768 - 38));
    EXPECT_EQ(outer(wide.image).left(), outer(wide.main).right() + 1);
    EXPECT_EQ(outer(wide.image).right() + 1, outer(wide.report).left());
    EXPECT_EQ(wide.image.height(), 768 - 38);
}

TEST(WindowPlacement, SavedPlacementPulledBackOnScreen)
{
    const QRect laptop(0, 0, 1366, 768);
    const QRect second(1366, 0, 1920, 1080);
    struct Row {
        const char* what;
        QRect saved;
        std::vector<QRect> screens;
        QRect expected;
    };
    const std::vector<Row> rows = {
        {"on screen: kept", QRect(100, 100, 400, 300), {laptop}, QRect(100, 100, 400, 300)},
        {"on a monitor that is gone", QRect(2000, 200, 400, 300), {laptop}, QRect(1366 - 406, 200, 400, 300)},
        {"past the bottom", QRect(100, 700, 400, 300), {laptop}, QRect(100, 768 - 306, 400, 300)},
        {"above the top: the title bar back in reach", QRect(100, 0, 400, 300), {laptop}, QRect(100, 32, 400, 300)},
        {"larger than the screen", QRect(-50, -50, 2000, 1000), {laptop}, QRect(6, 32, 1366 - 12, 768 - 38)},
        {"on the second monitor: kept", QRect(2000, 200, 400, 300), {laptop, second}, QRect(2000, 200, 400, 300)},
        {"mostly on the second, past its right edge", QRect(3100, 200, 400, 300), {laptop, second},
         QRect(1366 + 1920 - 406, 200, 400, 300)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(pulledOnScreen(row.saved, kFrame, row.screens), row.expected);
    }
}

TEST(WindowPlacement, SettingsEntryReadBackOrIgnored)
{
    const WindowPlacement placement{QRect(6, 32, 290, 266), QRect(-1200, 40, 600, 700), QRect(900, 32, 470, 730)};
    const std::string text = placementText(placement);
    EXPECT_EQ(text, "6,32,290,266 -1200,40,600,700 900,32,470,730");
    const std::optional<WindowPlacement> read = parsePlacement(text);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->main, placement.main);
    EXPECT_EQ(read->image, placement.image);
    EXPECT_EQ(read->report, placement.report);
    for (const char* damaged : {"", "1,2,3,4", "1,2,3,4 5,6,7,8", "1,2,3,4 5,6,7,8 9,10,11,12 13",
                                "1,2,3,4 5,6,7,8 9,10,11,", "1,2,0,4 5,6,7,8 9,10,11,12", "1,2,3,4 5,6,7,-8 9,10,11,12",
                                "1,2,3,4  5,6,7,8 9,10,11,12", "1,2,3,4 5,6,7,8 9,10,11,12 ", "a,2,3,4 5,6,7,8 9,10,11,12",
                                "1,2,3,4;5,6,7,8;9,10,11,12", "1,2,3,99999999999 5,6,7,8 9,10,11,12",
                                "1,2,3,4 5,6,7,8 9,10,11,200000"})
        EXPECT_FALSE(parsePlacement(damaged)) << damaged;
}
