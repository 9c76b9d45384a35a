// SpotTally: counts particles on micrographs of membrane filters.

#include <QApplication>
#include <QStandardPaths>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "core/SettingsFile.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "gui/TForm2.h"
#include "gui/WindowLayout.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    nameApplication();

    createForms(settingsFilePath(
        QCoreApplication::applicationDirPath().toStdString(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString(), SPOTTALLY_BIN_DIR));
    // Side by side on first start, as the user left them on later starts; saved again at the end.
    placeWindows();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [] { saveWindowPlacement(); });
    Form1->show();
    // A picture named on the command line (the file manager's "Open with") is opened at once.
    openCommandLinePicture(QCoreApplication::arguments());
    const int result = application.exec();
    destroyForms();
    return result;
}
