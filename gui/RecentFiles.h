#pragma once
// File menu's "Recent pictures" and "Recent reports": the files last opened, most recent first, up to
// kRecentLimit of each, kept in the settings file beside its folder line. A file that is no longer there
// stays listed but disabled (a folder on a disk not mounted now comes back with the disk).

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <filesystem>

class QAction;
class QMenu;

inline constexpr const char* kRecentPictureKey = "recent-picture";
inline constexpr const char* kRecentReportKey = "recent-report";
inline constexpr std::size_t kRecentLimit = 8;

class RecentFiles : public QObject {
    Q_OBJECT
public:
    /// Adds the two submenus to fileMenu before the item before; the lists come from settingsFile.
    RecentFiles(std::filesystem::path settingsFile, QMenu* fileMenu, QAction* before, QObject* parent);

    /// A picture or report was opened: it goes first in its list, and the list into the settings file.
    void rememberPicture(const QString& fullName);
    void rememberReport(const QString& fullName);

    QStringList pictures() const { return pictures_; }
    QStringList reports() const { return reports_; }
    QMenu* picturesMenu() const { return picturesMenu_; }
    QMenu* reportsMenu() const { return reportsMenu_; }

    /// The submenus' items anew from the lists; whether each file is there is checked now.
    void rebuildMenus();

private:
    QStringList remember(const char* key, const QString& fullName);

    std::filesystem::path settingsFile_;
    QStringList pictures_;
    QStringList reports_;
    QMenu* picturesMenu_ = nullptr;
    QMenu* reportsMenu_ = nullptr;
};
