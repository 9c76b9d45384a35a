#pragma once
// The keys of the program's main commands, the same in every window: open a picture or a report, save
// the report, count. The main window shows them on its menu items (and takes F5 and Enter in its fields
// for the count); the image and report windows take them through commandKeys.

#include <QKeySequence>

class QWidget;

inline QKeySequence openImageKeys() { return QKeySequence(Qt::CTRL | Qt::Key_O); }
inline QKeySequence openReportKeys() { return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O); }
inline QKeySequence saveReportKeys() { return QKeySequence(Qt::CTRL | Qt::Key_S); }
inline QKeySequence countKeys() { return QKeySequence(Qt::Key_F5); }

/// Gives window the four command keys, each doing what the main window's item or the button does
/// (a disabled button does nothing).
void addCommandKeys(QWidget* window);
