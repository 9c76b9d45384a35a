#include "gui/FileDrop.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "picture/PictureLoading.h"

DroppedKind droppedKind(const QString& fileName)
{
    if (pictureKindForName(fileName.toStdString()) != PictureKind::None) return DroppedKind::Picture;
    if (fileName.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)) return DroppedKind::Report;
    return DroppedKind::None;
}

QString droppedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString file = url.toLocalFile();
        if (droppedKind(file) != DroppedKind::None) return file;
    }
    return {};
}

void acceptFileDrops(QWidget* window)
{
    auto* filter = new FileDropFilter(window);
    window->setAcceptDrops(true);
    window->installEventFilter(filter);
    // Controls that take drops themselves (text fields, the report text and its viewport) would take a
    // dropped file's name as text.
    for (QWidget* control : window->findChildren<QWidget*>()) control->installEventFilter(filter);
}

namespace {

// Files of any kind: never typed into a field or the report text as their names.
bool carriesFiles(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return true;
    return false;
}

}  // namespace

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!carriesFiles(drag->mimeData())) break;
        if (droppedFile(drag->mimeData()).isEmpty())
            drag->ignore();
        else
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!carriesFiles(drop->mimeData())) break;
        const QString file = droppedFile(drop->mimeData());
        if (file.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // Opened once the drop has ended: opening may ask the user, and the dragging program waits
        // until the drop returns.
        const QString fullName = QFileInfo(file).absoluteFilePath();
        QTimer::singleShot(0, Form1, [fullName] {
            if (droppedKind(fullName) == DroppedKind::Picture)
                Form1->openChosenPicture(fullName);
            else
                Form1->openChosenReport(fullName);
        });
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
