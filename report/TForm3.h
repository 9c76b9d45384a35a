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
    void BnSaverepClick();
    void BnSavepicClick();
    void BnExpClick();

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

    std::function<QDateTime()> now_ = [] { return QDateTime::currentDateTime(); };
    RegionalDateTime regional_ = RegionalDateTime::fromSystem();
};
