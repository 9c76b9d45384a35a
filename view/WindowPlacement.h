#pragma once
// Where the three windows go: side by side on first start, the user's own placement on later starts.
// Rectangles in, rectangles out; the windows themselves apply them.
//
// All rectangles are the windows' client areas (what QWidget::geometry() gives and setGeometry() takes),
// in the screen's logical pixels. The window manager puts its frame (title bar, borders) around each;
// frame says how wide that frame is taken to be.

#include <QMargins>
#include <QRect>
#include <QSize>
#include <optional>
#include <string>
#include <vector>

struct WindowPlacement {
    QRect main;    // parameters, count button, menus
    QRect image;   // the picture
    QRect report;  // the report text
};

struct PlacementRequest {
    QRect available;     // the main window's screen less panels and docks
    QMargins frame;      // the frame around each client area
    QSize mainSize;      // the main window needs all of it: every field shows
    QSize imageMinimum;  // the image window's menu bar in one row, and some picture
    QSize reportMinimum; // the report's buttons and a few lines of text
    QSize reportPreferred;
};

/// How the windows were placed on first start (for the tests and the record).
enum class PlacementLayout {
    SideBySide,      // main | image | report, each the full height
    ReportBelowMain, // main over report on the left, image right of both
    StackedRight,    // main on the left; image over report right of it
    Squeezed,        // as StackedRight, but narrower than the windows' minimum width
    Overlapping,     // no useful room beside the main window: the two over its right part
};

struct FirstPlacement {
    WindowPlacement windows;
    PlacementLayout layout;
};

/// The first start's placement within request.available: the main window at the top-left corner at
/// its full size, the other two beside it, never over it, and every frame inside the available area.
/// Where the image and report windows cannot have their minimum width beside the main window, they
/// share what is left right of it, narrower than they would like (Squeezed); only a screen with no
/// useful room right of the main window puts them over it (Overlapping).
FirstPlacement firstPlacement(const PlacementRequest& request);

/// A saved client area pulled back into view: unchanged when its frame lies whole within one of the
/// available areas; otherwise moved (and shrunk, when larger) into the available area it overlaps most,
/// or into the first one when it overlaps none (a monitor that is gone).
QRect pulledOnScreen(const QRect& client, const QMargins& frame, const std::vector<QRect>& available);

/// The settings file's entry: "x,y,w,h x,y,w,h x,y,w,h" for main, image and report.
std::string placementText(const WindowPlacement& placement);
/// The entry read back; none when it is not exactly three rectangles of sane numbers (a damaged line
/// is ignored, the windows are then placed as on first start).
std::optional<WindowPlacement> parsePlacement(const std::string& text);
