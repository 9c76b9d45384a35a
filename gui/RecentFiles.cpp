#include "gui/RecentFiles.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include "core/SettingsFile.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"

namespace {

QStringList storedList(const std::filesystem::path& settingsFile, const char* key)
{
    QStringList list;
    for (const std::string& value : settingsValues(readSettingsFile(settingsFile).laterLines, key)) {
        const QString path = QString::fromLocal8Bit(value);
        if (!path.isEmpty() && !list.contains(path) && list.size() < static_cast<qsizetype>(kRecentLimit))
            list << path;
    }
    return list;
}

void fillMenu(QMenu* menu, const QStringList& files, bool pictures)
{
    // Not deleted at once: an item of this menu may be what opened the file that renews the list.
    for (QAction* old : menu->actions()) {
        menu->removeAction(old);
        old->deleteLater();
    }
    for (const QString& file : files) {
        QString caption = file;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));  // a '&' in a name is no mnemonic
        QAction* item = menu->addAction(caption);
        item->setData(file);
        item->setEnabled(QFileInfo(file).isFile());
        // Opened as a file chosen in "Open image" or "Open report" is; a failure is told there.
        QObject::connect(item, &QAction::triggered, menu, [file, pictures] {
            if (pictures)
                Form1->openChosenPicture(file);
            else
                Form1->openChosenReport(file);
        });
    }
    menu->setEnabled(!files.isEmpty());
}

}  // namespace

RecentFiles::RecentFiles(std::filesystem::path settingsFile, QMenu* fileMenu, QAction* before, QObject* parent)
    : QObject(parent), settingsFile_(std::move(settingsFile))
{
    picturesMenu_ = new QMenu(QStringLiteral("Recent pictures"), fileMenu);
    reportsMenu_ = new QMenu(QStringLiteral("Recent reports"), fileMenu);
    fileMenu->insertMenu(before, picturesMenu_);
    fileMenu->insertMenu(before, reportsMenu_);
    pictures_ = storedList(settingsFile_, kRecentPictureKey);
    reports_ = storedList(settingsFile_, kRecentReportKey);
    // A file deleted or a disk unmounted since: its item is disabled when the menu opens.
    connect(fileMenu, &QMenu::aboutToShow, this, &RecentFiles::rebuildMenus);
    rebuildMenus();
}

void RecentFiles::rememberPicture(const QString& fullName)
{
    pictures_ = remember(kRecentPictureKey, fullName);
    rebuildMenus();
}

void RecentFiles::rememberReport(const QString& fullName)
{
    reports_ = remember(kRecentReportKey, fullName);
    rebuildMenus();
}

QStringList RecentFiles::remember(const char* key, const QString& fullName)
{
    // The file's own list, as another running copy of the program may have changed it meanwhile.
    std::vector<std::string> list;
    for (const QString& file : storedList(settingsFile_, key)) list.push_back(file.toLocal8Bit().toStdString());
    list = withRecentFirst(std::move(list), fullName.toLocal8Bit().toStdString(), kRecentLimit);
    // A list that cannot be written is kept for this run only: the open itself has succeeded, and a
    // settings file that cannot be written is reported by "Open image".
    writeSettingsValues(settingsFile_, key, list);
    QStringList result;
    for (const std::string& file : list) result << QString::fromLocal8Bit(file);
    return result;
}

void RecentFiles::rebuildMenus()
{
    fillMenu(picturesMenu_, pictures_, true);
    fillMenu(reportsMenu_, reports_, false);
}
