#pragma once
// Where the three windows stand: placed side by side on first start, the user's placement restored on
// later starts and saved in the settings file when the program ends.

#include <QMargins>
#include <QRect>
#include <string>
#include <vector>

#include "view/WindowPlacement.h"

/// The settings file's key of the placement entry.
inline constexpr const char* kPlacementKey = "placement";

/// The frame the window manager is taken to draw around each window, in logical pixels of the main
/// window's screen: before a window is shown its real frame is unknown. Generous, so that a frame never
/// reaches past the screen's edge.
QMargins assumedWindowFrame();
/// The available areas of all screens, the main window's screen first.
std::vector<QRect> availableScreenAreas();
/// What the first start's placement works from: the main window's screen and the windows' sizes.
PlacementRequest placementRequest();

/// Places the three windows: the placement saved in the settings file, each window pulled back into
/// view when it lies off every screen, or, without a usable entry, side by side as on first start.
void placeWindows();
/// Writes the windows' placement into the settings file beside its folder line. Returns an empty text,
/// else why it could not be written.
std::string saveWindowPlacement();
