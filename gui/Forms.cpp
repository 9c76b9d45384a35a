#include "gui/Forms.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "core/AnalysisState.h"
#include "gui/CommandKeys.h"
#include "gui/FileDrop.h"
#include "gui/SeriesWindow.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "gui/TForm2.h"
#include "view/Overlays.h"
#include "view/ScaleLabel.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TAnalysisState AnalysisState;

void createForms(const std::filesystem::path& settingsFile)
{
    setScaleLabelWriter(writeScaleLabel);  // the windows have fonts for the scale bar's label
    Form1 = new TForm1(settingsFile);
    Form2 = new TForm2();
    Form3 = new TForm3();
    for (QWidget* window : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(Form2), static_cast<QWidget*>(Form3)})
        acceptFileDrops(window);
    addCommandKeys(Form2);
    addCommandKeys(Form3);
}

void openCommandLinePicture(const QStringList& arguments)
{
    if (arguments.size() < 2) return;
    Form1->openChosenPicture(QFileInfo(arguments.at(1)).absoluteFilePath());
}

void destroyForms()
{
    destroySeriesWindow();
    delete Form3;
    delete Form2;
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    AnalysisState = TAnalysisState{};
}

void nameApplication() { QCoreApplication::setApplicationName(QStringLiteral("SpotTally")); }
