#include "report/TForm3.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>

#include "app/AnalysisState.h"
#include "app/FieldText.h"
#include "app/Forms.h"
#include "app/TForm1.h"
#include "report/Results.h"

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
    Memo1->installEventFilter(this);
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

std::vector<std::string> TForm3::reportFileLines() const
{
    return splitMemoText(Memo1->toPlainText().toStdString());
}

void TForm3::replaceLines(int first, const std::vector<std::string>& texts)
{
    QTextDocument* document = Memo1->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QTextBlock block = document->findBlockByNumber(first + static_cast<int>(i));
        if (!block.isValid()) break;
        cursor.setPosition(block.position());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(QString::fromStdString(texts[i]));
    }
    cursor.endEditBlock();
}

void TForm3::setClock(std::function<QDateTime()> now, const RegionalDateTime& regional)
{
    now_ = std::move(now);
    regional_ = regional;
}

bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Memo1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm3::computeResultsOrTell()
{
    try {
        computeResults(Form1->parameterTexts(), AnalysisState);
        return true;
    } catch (const FieldError& error) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error.message));
        return false;
    }
}

void TForm3::report()
{
    // The results come first: a field that cannot be used leaves the window as it was.
    if (!computeResultsOrTell()) return;
    show();
    const std::vector<std::string> text =
        reportLines(Form1->parameterTexts(), AnalysisState, reportDateTime(now_(), regional_));
    QStringList qtLines;
    for (const std::string& line : text) qtLines << QString::fromStdString(line);
    Memo1->setPlainText(qtLines.join(QLatin1Char('\n')));  // the change rule sets the caption
    raise();
    activateWindow();
}

void TForm3::calcres()
{
    if (!computeResultsOrTell()) return;
    const std::array<std::string, 4> results = resultLines(AnalysisState);
    replaceLines(kFirstResultLine, std::vector<std::string>(results.begin(), results.end()));
    setWindowTitle(QString::fromUtf8(kReportCaptionUnsaved));
}

void TForm3::Memo1Change()
{
    const MemoChangeOutcome outcome = memoChangeRule(AnalysisState, BnExp->isEnabled());
    setWindowTitle(QString::fromStdString(outcome.caption));
    BnExp->setEnabled(outcome.exportEnabled);
}

// The bodies below are filled in with the report file commands.
void TForm3::BnSaverepClick() {}
void TForm3::BnSavepicClick() {}
void TForm3::BnExpClick() {}
