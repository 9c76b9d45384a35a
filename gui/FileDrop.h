#pragma once
// Dropping a picture or a report on any of the three windows opens it, as "Open image" and "Open
// report" open a chosen file (TForm1::openChosenPicture, TForm1::openChosenReport).

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

/// What a dropped file is opened as.
enum class DroppedKind { None, Picture, Report };
/// A picture by the picture suffix rule, a report by the suffix .txt (any letter case), else none.
DroppedKind droppedKind(const QString& fileName);
/// The first local file among the dropped ones that is a picture or a report; empty when none is.
QString droppedFile(const QMimeData* data);

/// Lets window and each of its controls (the text fields and the report text take drops of their own)
/// take dropped files. Drops of other things (text) reach the controls as before.
void acceptFileDrops(QWidget* window);

class FileDropFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
