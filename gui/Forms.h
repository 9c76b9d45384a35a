#pragma once

#include <QStringList>
#include <filesystem>
// The program-wide references to the three windows, set when each is created and never changed.

class TForm1;
class TForm2;
class TForm3;
struct TAnalysisState;

extern TForm1* Form1;  // main window: parameters, count button, menus
extern TForm2* Form2;  // image window: the three picture layers
extern TForm3* Form3;  // report window: the report text and its buttons

/// The program-wide analysis record.
extern TAnalysisState AnalysisState;

/// Creates the three windows in their order (main, image, report); only the main window is shown later.
void createForms(const std::filesystem::path& settingsFile);
/// The program's arguments as QCoreApplication::arguments() gives them: a picture named after the
/// program (the file manager's "Open with", or a shell) is opened as a confirmed "Open image" opens it,
/// a relative name against the current folder. Further arguments are ignored.
void openCommandLinePicture(const QStringList& arguments);
/// Deletes the windows and resets the analysis record to its start values.
void destroyForms();

/// Names the program for Qt (the configuration folder, message boxes without a title of their own). It
/// sets no display name of its own: the platform would append that to every window title, and the
/// titles are exactly the texts the windows set.
void nameApplication();
