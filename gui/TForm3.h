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
// setReportText(), showOpenedReport(), clearResults(), showManual(), holdScratchLine() /
// releaseScratchLine().

#include <QDateTime>
#include <QMainWindow>
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
    /// count of the current picture, a pasted picture kept its name or the file could not be written
    /// (the user has been told why).
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
    /// Each button at least as wide as its caption needs.
    void fitButtonsToCaptions();
    /// What was saved and where, in the status bars of this window and the picture window.
    void tellSaved(const QString& text);

    // The text holds results of the picture now loaded: its count, or its own report opened with it.
    bool holdsCurrentResults_ = false;
    QString savedReport_;  // where the last save wrote the report
    std::function<QDateTime()> now_ = [] { return QDateTime::currentDateTime(); };
    RegionalDateTime regional_ = RegionalDateTime::fromSystem();
};
