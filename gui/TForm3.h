#pragma once
// TForm3: the report window - the editable report text and its three buttons.
//
// Given names (they trace the program's behaviour; kept as they are):
//   Memo1 / Memo1Change       the report text, and its change rule (caption, export button)
//   BnSaverep                 "Save report"
//   BnSavepic                 "Save report + marked image"
//   BnExp                     the export button: statistics or x/y data, by the export menu
//   SaveDialog1               the rename dialog of a pasted picture
//   report, calcres           the whole report text; the four result lines rewritten in place
//
// The other windows ask this one for: report(), calcres(), setExportCaption(), enableSaving(),
// setReportText(), showOpenedReport(), continueOpenedReport(), holdsCurrentResults(), clearResults(),
// showManual(), holdScratchLine() / releaseScratchLine().

#include <QDateTime>
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "gui/UserDialogs.h"
#include "report/ReportText.h"

class QPlainTextEdit;
class QPushButton;

class TForm3 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    /// Computes the results, shows the window and writes the whole report text: the count of the current
    /// picture, which can now be saved. False (after the message) when a field cannot be used; the
    /// window is then left as it was.
    bool report();
    /// Computes the results and rewrites the four result lines in place.
    void calcres();
    /// Runs on every change of the report text: caption and export button state.
    void Memo1Change();
    /// "Save report": renames a pasted picture first, then writes the report beside the picture.
    void BnSaverepClick();
    /// "Save report + marked image": the report, then the count layer as a JPEG beside the picture.
    void BnSavepicClick();
    void BnExpClick();
    /// The work of BnSaverepClick. True when the report file was written; false when the window holds no
    /// count of the current picture, a pasted picture kept its name, the user would not replace a report
    /// of another count or the file could not be written (the user has been told why).
    bool saveReport();

    /// The report text's lines (no line ends).
    QStringList lines() const;
    /// The report text as the lines a report file holds (UTF-8; a final line break adds no line).
    std::vector<std::string> reportFileLines() const;
    /// Replaces the lines that exist among first, first + 1, ... with texts; creates none. One change
    /// of the text for the undo history; the change rule runs.
    void replaceLines(int first, const std::vector<std::string>& texts);

    // --- What the other windows ask of this one ----------------------------------------------------
    /// Caption of the export button, following the export menu's choice.
    void setExportCaption(const QString& caption);
    /// After a count: both save buttons on, the export button as exportEnabled says.
    void enableSaving(bool exportEnabled);
    /// An opened report's whole text (the change rule runs). It is not taken for the current picture's
    /// results until showOpenedReport says so.
    void setReportText(const QStringList& lines);
    /// Shows the window titled as a saved report, in front. ofCurrentPicture: the report's picture is
    /// the one loaded, so the report can be saved again.
    void showOpenedReport(bool ofCurrentPicture);
    /// The opened report at reportPath holds the count now shown, its corrections made again (or it has
    /// none): saving writes it back there without asking, if it bears this picture's report name.
    void continueOpenedReport(const std::filesystem::path& reportPath);
    /// The text holds results of the picture now loaded: its count, or its own report opened with it.
    bool holdsCurrentResults() const { return holdsCurrentResults_; }
    /// The results shown no longer belong to the picture in the image window (a new picture opened,
    /// cropped or pasted): they leave the window, and nothing can be saved until it is counted.
    void clearResults();
    /// Shows the manual's text in front, with the three buttons off.
    void showManual(const QString& text);
    /// Shows a pooled result in front, with the three buttons off: it is no report of the picture.
    void showPooledResult(const QStringList& lines);
    /// The settings file is written through this window's text: shown holding the one line ...
    void holdScratchLine(const QString& line);
    /// ... then emptied and hidden once the line is written.
    void releaseScratchLine();

    /// Scrolls the report text so that the result lines show (after a count, whatever the window's size).
    void showResultLines();

    /// Where line 14 takes the date and time from, and how it writes them (tests fix both).
    void setClock(std::function<QDateTime()> now, const RegionalDateTime& regional);

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* BnSaverep = nullptr;
    QPushButton* BnExp = nullptr;
    QPushButton* BnSavepic = nullptr;
    UserDialogs::FileDialogSpec SaveDialog1;  // renames a pasted picture

protected:
    /// Keeps the Enter key from breaking a line of the report: line numbers carry its meaning.
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// The text area follows the window's size; the buttons stay below it.
    void resizeEvent(QResizeEvent* event) override;
    /// A new font or style sizes the buttons again.
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    void connectControls();
    /// Runs the results computation; false (after the message) when a field cannot be used.
    bool computeResultsOrTell();
    /// Asks for a name for the pasted picture "CLIPBOARD.jpg" and renames the file to it. On success
    /// ImageFileName holds the new name and the working folder is the picture's folder.
    void renamePastedPicture();
    /// Where this count's report goes: the report it continues, else the picture's report name, asking
    /// first (replace, keep both, cancel) when a report is there already. Empty when cancelled.
    std::filesystem::path reportTarget(int& number);
    /// A file named after the picture (marked picture, x/y data, particle table), numbered as the
    /// report is when it was kept beside an earlier one.
    std::string companionName(const std::string& plainName) const;

    // The text holds results of the picture now loaded: its count, or its own report opened with it.
    bool holdsCurrentResults_ = false;
    // The report file the text continues: the count was saved there, or opened from there with its
    // corrections. Empty for a count not saved yet. reportNumber_: its number, when it was kept beside
    // an earlier report of the picture (c_NAME-2.txt), else 0.
    std::filesystem::path continuedReport_;
    int reportNumber_ = 0;
    // The text is a report opened with its picture, not a count's report written since.
    bool openedReport_ = false;
    void forgetContinuedReport();
    /// Each button at least as wide as its caption needs.
    void fitButtonsToCaptions();
    /// What was saved and where, in the status bars of this window and the picture window.
    void tellSaved(const QString& text);

    QString savedReport_;  // where the last save wrote the report
    std::function<QDateTime()> now_ = [] { return QDateTime::currentDateTime(); };
    RegionalDateTime regional_ = RegionalDateTime::fromSystem();
};
