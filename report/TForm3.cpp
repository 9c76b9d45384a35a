#include "report/TForm3.h"

#include <QPlainTextEdit>
#include <QPushButton>

TForm3::TForm3(QWidget* parent) : QMainWindow(parent) { FormCreate(); }

void TForm3::FormCreate()
{
    setWindowTitle(QStringLiteral("SpotTally - Report"));
    move(731, 34);
    resize(470, 355);
    auto* client = new QWidget(this);
    setCentralWidget(client);
    Memo1 = new QPlainTextEdit(client);
    Memo1->setGeometry(2, 4, 447, 249);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    BnSaverep = new QPushButton(QStringLiteral("Save report"), client);
    BnSaverep->setGeometry(8, 256, 113, 25);
    BnExp = new QPushButton(QStringLiteral("Statistics"), client);
    BnExp->setGeometry(144, 256, 113, 25);
    BnExp->setEnabled(false);
    BnSavepic = new QPushButton(QStringLiteral("Save report + marked image"), client);
    BnSavepic->setGeometry(8, 288, 249, 25);
    SaveDialog1.filter = QStringLiteral("Image files|*.jpg;*.bmp|All files|*.*");
    connectControls();
}

void TForm3::connectControls()
{
    connect(Memo1, &QPlainTextEdit::textChanged, this, &TForm3::Memo1Change);
    connect(BnSaverep, &QPushButton::clicked, this, &TForm3::BnSaverepClick);
    connect(BnSavepic, &QPushButton::clicked, this, &TForm3::BnSavepicClick);
    connect(BnExp, &QPushButton::clicked, this, &TForm3::BnExpClick);
}

QStringList TForm3::lines() const { return Memo1->toPlainText().split(QLatin1Char('\n')); }

// The bodies below are filled in with the report commands.
void TForm3::report() {}
void TForm3::calcres() {}
void TForm3::Memo1Change() {}
void TForm3::BnSaverepClick() {}
void TForm3::BnSavepicClick() {}
void TForm3::BnExpClick() {}
