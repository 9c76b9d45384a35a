#include "gui/WindowLayout.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "core/SettingsFile.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"

namespace {

// The report's buttons and a few lines of its text.
constexpr QSize kReportMinimum(280, 190);
// Some of the picture below the image window's menu bar.
constexpr int kImageMinimumHeight = 200;

}  // namespace

QMargins assumedWindowFrame()
{
    // The window manager draws its frame in the screen's own pixels: fewer logical pixels at a scale
    // factor above 1.
    const QScreen* screen = Form1 != nullptr ? Form1->screen() : QGuiApplication::primaryScreen();
    const qreal ratio = screen != nullptr ? std::max<qreal>(screen->devicePixelRatio(), 1) : 1;
    const auto logical = [ratio](int pixels) { return static_cast<int>(std::ceil(pixels / ratio)); };
    return QMargins(logical(6), logical(32), logical(6), logical(6));
}

std::vector<QRect> availableScreenAreas()
{
    std::vector<QRect> areas;
    const QScreen* mainScreen = Form1->screen();
    if (mainScreen != nullptr) areas.push_back(mainScreen->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != mainScreen) areas.push_back(screen->availableGeometry());
    return areas;
}

PlacementRequest placementRequest()
{
    PlacementRequest request;
    const QScreen* screen = Form1->screen() != nullptr ? Form1->screen() : QGuiApplication::primaryScreen();
    request.available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    request.frame = assumedWindowFrame();
    request.mainSize = Form1->size();
    // The image window was made wide enough for its menu bar in one row.
    request.imageMinimum = QSize(Form2->width(), kImageMinimumHeight);
    request.reportMinimum = kReportMinimum;
    request.reportPreferred = Form3->size();
    return request;
}

void placeWindows()
{
    const SettingsRead settings = readSettingsFile(Form1->settingsFile());
    std::optional<WindowPlacement> saved;
    for (const std::string& value : settingsValues(settings.laterLines, kPlacementKey))
        if (!saved) saved = parsePlacement(value);
    WindowPlacement placement;
    if (saved) {
        const std::vector<QRect> areas = availableScreenAreas();
        const QMargins frame = assumedWindowFrame();
        placement = {pulledOnScreen(saved->main, frame, areas), pulledOnScreen(saved->image, frame, areas),
                     pulledOnScreen(saved->report, frame, areas)};
    } else {
        placement = firstPlacement(placementRequest()).windows;
    }
    Form1->setGeometry(placement.main);
    Form2->setGeometry(placement.image);
    Form3->setGeometry(placement.report);
}

std::string saveWindowPlacement()
{
    // A maximised window is saved as it stands when it is not maximised.
    const WindowPlacement placement{Form1->normalGeometry(), Form2->normalGeometry(), Form3->normalGeometry()};
    return writeSettingsValues(Form1->settingsFile(), kPlacementKey, {placementText(placement)});
}
