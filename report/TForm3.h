#pragma once
// TForm3: the report window - the editable report text and its three buttons.

#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

#include "app/UserDialogs.h"
#include "report/ReportText.h"

class QPlainTextEdit;
class QPushButton;

class TForm3 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    /// Computes the results, shows the window and writes the whole report text.
    void report();
    /// Computes the results and rewrites the four result lines in place.
    void calcres();
    /// Runs on every change of the report text: caption and export button state.
    void Memo1Change();
    /// "Save report": renames a pasted picture first, then writes the report beside the picture.
    void BnSaverepClick();
    /// "Save report + marked image": the report, then the count layer as a JPEG beside the picture.
    void BnSavepicClick();
    void BnExpClick();
    /// The work of BnSaverepClick. True when the report file was written; false when a pasted picture
    /// kept its name or the file could not be written (the user has been told why).
    bool saveReport();

    /// The report text's lines (no line ends).
    QStringList lines() const;
    /// The report text as the lines a report file holds (UTF-8; a final line break adds no line).
    std::vector<std::string> reportFileLines() const;
    /// Replaces the lines that exist among first, first + 1, ... with texts; creates none. One change
    /// of the text for the undo history; the change rule runs.
    void replaceLines(int first, const std::vector<std::string>& texts);

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

private:
    void FormCreate();
    void connectControls();
    /// Runs the results computation; false (after the message) when a field cannot be used.
    bool computeResultsOrTell();
    /// Asks for a name for the pasted picture "CLIPBOARD.jpg" and renames the file to it. On success
    /// ImageFileName holds the new name and the working folder is the picture's folder.
    void renamePastedPicture();

    std::function<QDateTime()> now_ = [] { return QDateTime::currentDateTime(); };
    RegionalDateTime regional_ = RegionalDateTime::fromSystem();
};
