#pragma once
// The Window menu, the same in the three windows: brings back a window the user closed, or one lying
// behind others. Nothing else does: the picture and report windows otherwise come back only with a new
// picture, a count or a report.

class QMenu;
class QWidget;

/// A Window menu owned by owner, with "Main window", "Picture window" and "Report window". The picture
/// window's item is off while no picture is loaded.
QMenu* makeWindowMenu(QWidget* owner);
/// Shows window (restored when minimised), in front and with the keys.
void bringBack(QWidget* window);
