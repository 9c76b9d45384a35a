#pragma once
// TForm3: the report window - the editable report text and its three buttons.

#include <QMainWindow>

#include "app/UserDialogs.h"

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

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* BnSaverep = nullptr;
    QPushButton* BnExp = nullptr;
    QPushButton* BnSavepic = nullptr;
    UserDialogs::FileDialogSpec SaveDialog1;  // renames a pasted picture

private:
    void FormCreate();
    void connectControls();
};
