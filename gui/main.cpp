// SpotTally: counts particles on micrographs of membrane filters.

#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "core/SettingsFile.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "gui/TForm2.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    nameApplication();

    createForms(settingsFilePath(
        QCoreApplication::applicationDirPath().toStdString(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString(), SPOTTALLY_BIN_DIR));
    Form1->show();
    // A picture named on the command line (the file manager's "Open with") is opened at once.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) Form1->loadimage(QFileInfo(arguments.at(1)).absoluteFilePath());
    const int result = application.exec();
    destroyForms();
    return result;
}
