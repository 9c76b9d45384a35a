#include "gui/TForm3.h"
#include "core/FieldLabels.h"

#include <QKeyEvent>
#include <QResizeEvent>
#include <algorithm>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "gui/Forms.h"
#include "core/HelpTexts.h"
#include "gui/TForm1.h"
#include "report/MarkedPicture.h"
#include "report/ParticleTable.h"
#include "report/ReportFile.h"
#include "report/Results.h"
#include "report/Statistics.h"
#include "report/ReportText.h"
#include "gui/TForm2.h"

namespace fs = std::filesystem;

namespace {

void warn(const std::string& text)
{
    dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(text));
}

// A path from a file dialog; a bare name stands for a file in the working folder.
fs::path resolvedPath(const QString& chosen)
{
    const fs::path path(chosen.toStdString());
    return path.is_relative() ? Form1->workingFolder() / path : path;
}

}  // namespace

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
    // The renaming never replaces a file; a name in use is answered by kNameExistsWarning alone.
    SaveDialog1.askBeforeReplacing = false;
    Memo1->installEventFilter(this);
    // Until the first report the window holds the manual; set before the change rule is connected, so
    // the caption stays "SpotTally - Report".
    QStringList manual;
    for (const std::string& line : builtInManualLines()) manual << QString::fromStdString(line);
    Memo1->setPlainText(manual.join(QLatin1Char('\n')));
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

namespace {

LocalDateTime localDateTimeOf(const QDateTime& now)
{
    const QDate date = now.date();
    const QTime time = now.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

}  // namespace

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

bool TForm3::report()
{
    // The results come first: a field that cannot be used leaves the window as it was.
    if (!computeResultsOrTell()) return false;
    show();
    std::vector<std::string> text =
        reportLines(Form1->parameterTexts(), AnalysisState, reportDateTime(localDateTimeOf(now_()), regional_));
    // The blob count's lines follow the report's own lines, once settings were learnt for the picture.
    try {
        const std::vector<std::string> blobs = Form2->blobLines(Form1->parameterTexts(), AnalysisState);
        text.insert(text.end(), blobs.begin(), blobs.end());
    } catch (const FieldError& error) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error.message));
    }
    // Then the learnt count's, once a model was learnt or restored.
    Form2->countLearnt();
    try {
        const std::vector<std::string> learnt = Form2->learntLines(Form1->parameterTexts(), AnalysisState);
        text.insert(text.end(), learnt.begin(), learnt.end());
    } catch (const FieldError& error) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error.message));
    }
    QStringList qtLines;
    for (const std::string& line : text) qtLines << QString::fromStdString(line);
    Memo1->setPlainText(qtLines.join(QLatin1Char('\n')));  // the change rule sets the caption
    holdsCurrentResults_ = true;
    raise();
    activateWindow();
    showResultLines();
    return true;
}

void TForm3::showResultLines()
{
    // The last result line into view, then the first: both show when the text area can hold them, the
    // first at least when it cannot. The cursor is left at the start of the first.
    const QTextDocument* document = Memo1->document();
    const QTextBlock first = document->findBlockByNumber(kFirstResultLine);
    if (!first.isValid()) return;
    const QTextBlock last = document->findBlockByNumber(kFirstResultLine + 3);
    Memo1->setTextCursor(QTextCursor(last.isValid() ? last : document->lastBlock()));
    Memo1->ensureCursorVisible();
    Memo1->setTextCursor(QTextCursor(first));
    Memo1->ensureCursorVisible();
}

void TForm3::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (Memo1 == nullptr) return;
    // The design's margins: 21 pixels right of the text area, the two rows of buttons below it and 42
    // pixels below them. A window lower than the design gives up that bottom margin before any text.
    constexpr int kRightMargin = 21, kButtonRows = 60, kDesignBottom = 42, kLeastBottom = 4, kDesignMemoHeight = 249;
    const QSize client = centralWidget()->size();
    const int bottom =
        std::clamp(client.height() - Memo1->y() - kDesignMemoHeight - kButtonRows, kLeastBottom, kDesignBottom);
    Memo1->resize(std::max(client.width() - Memo1->x() - kRightMargin, 60),
                  std::max(client.height() - Memo1->y() - kButtonRows - bottom, 40));
    const int below = Memo1->geometry().bottom() + 1;
    BnSaverep->move(BnSaverep->x(), below + 3);
    BnExp->move(BnExp->x(), below + 3);
    BnSavepic->move(BnSavepic->x(), below + 35);
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

void TForm3::BnSaverepClick() { saveReport(); }

bool TForm3::saveReport()
{
    // Results belong to one picture: without a count of this one there is nothing to write under its
    // name.
    if (!holdsCurrentResults_) {
        warn(kNoCountToSaveWarning);
        return false;
    }
    // A pasted picture gets a name of its own before anything is saved for it.
    if (needsClipboardRename(AnalysisState)) renamePastedPicture();
    if (AnalysisState.ImageFileName == kClipboardPictureName) return false;
    // Lines 2 and 3 name the files as they are now (the change rule runs).
    const std::string& imageName = AnalysisState.ImageFileName;
    const std::array<std::string, 2> names = nameLines(imageName);
    replaceLines(2, {names[0], names[1]});
    const fs::path reportPath = Form1->workingFolder() / reportFileName(imageName);
    const FileSaveOutcome saved = writeReportFile(reportPath, reportFileLines());
    if (!saved.saved()) {
        warn(saved.error);
        return false;
    }
    if (!saved.warning.empty()) warn(saved.warning);
    // The corrections made by hand go beside the report (c_NAME.edits).
    if (!Form2->saveCorrections(reportPath)) return false;
    if (!Form2->saveDensityModel(reportPath)) return false;
    Form2->saveMarks();
    Form2->setWindowTitle(QStringLiteral("SpotTally ") + QString::fromStdString(imageName));
    setWindowTitle(QString::fromUtf8(kReportCaptionSaved));
    return true;
}

void TForm3::renamePastedPicture()
{
    const fs::path pasted = Form1->workingFolder() / kClipboardPictureName;
    std::error_code ignored;
    if (!fs::exists(pasted, ignored)) {
        warn(kClipboardMissingWarning);
        return;
    }
    SaveDialog1.title = QString::fromUtf8(kRenameDialogTitle);
    SaveDialog1.initialDirectory = QString::fromStdString(Form1->workingFolder().string());
    const QString chosen = dialogs().saveFile(SaveDialog1);
    const fs::path chosenPath = chosen.isEmpty() ? fs::path() : resolvedPath(chosen);
    const ClipboardRename decision =
        decideClipboardRename(chosen.toStdString(), !chosen.isEmpty() && fs::exists(chosenPath, ignored));
    if (decision.outcome == ClipboardRename::Outcome::Cancelled) return;
    if (decision.outcome == ClipboardRename::Outcome::NameExists) {
        warn(decision.warning);
        return;
    }
    // The picture moves to the folder chosen in the dialog, and the report follows it there.
    const fs::path folder = chosenPath.parent_path();
    const std::string error = renameWithoutReplacing(pasted, folder / decision.newName);
    if (!error.empty()) {
        warn(error);  // the picture keeps its name, so saving can be tried again
        return;
    }
    AnalysisState.ImageFileName = decision.newName;
    Form1->setWorkingFolder(folder);
}

void TForm3::BnSavepicClick()
{
    if (!AnalysisState.ReportActive) return;
    // The report first; a picture that kept the name "CLIPBOARD.jpg" gets no marked picture either.
    if (!saveReport()) return;
    // A picture whose name begins with "c_" would be replaced by its own marked picture.
    if (markedPictureName(AnalysisState.ImageFileName) == AnalysisState.ImageFileName) {
        warn("The marked picture was not saved: it would replace the picture \"" + AnalysisState.ImageFileName +
             "\" itself.");
        return;
    }
    const fs::path path = Form1->workingFolder() / markedPictureName(AnalysisState.ImageFileName);
    const std::string error = writeMarkedPicture(Form2->layers().Image2, path);
    if (!error.empty()) warn(error);
}

void TForm3::BnExpClick()
{
    if (!AnalysisState.ReportActive) return;
    // Statistics without a grid are refused before anything is saved.
    if (AnalysisState.ExportMode == kExportStatistics && AnalysisState.GridMicrons == 0) {
        warn(kNoStatisticsWithoutGrid);
        return;
    }
    // The report is saved as it stands, before any statistics are added to it. A save that fails (or a
    // pasted picture that kept its name) ends the command: no statistics under an unsaved report, no
    // x/y file beside a report that is not there.
    if (!saveReport()) return;
    const ParameterTexts fields = Form1->parameterTexts();
    const Picture& area = Form2->layers().Image3;
    try {
        if (AnalysisState.ExportMode == kExportParticles) {
            const fs::path path = Form1->workingFolder() / particleTableFileName(AnalysisState.ImageFileName);
            const FileSaveOutcome written = writeParticleTable(path, Form2->particles(), fields);
            if (!written.saved()) warn(written.error);
            return;
        }
        if (AnalysisState.ExportMode == kExportXY) {
            readWholeField(kMinSizeField, fields.Edmin, 0, 255);
            scanMarkerPositions(area, AnalysisState);
            const fs::path path = Form1->workingFolder() / xyDataFileName(AnalysisState.ImageFileName);
            const FileSaveOutcome written = writeFileAtomically(path, xyDataText(AnalysisState.MarkerList));
            if (!written.saved()) warn(written.error);
            return;
        }
        const FieldScan scan = scanmarkers(area, AnalysisState, fields);
        if (!scan.error.empty()) {
            warn(scan.error);
            return;
        }
        for (const std::string& line : statisticsLines(scan, AnalysisState))
            Memo1->appendPlainText(QString::fromStdString(line));
    } catch (const FieldError& error) {
        warn(error.message);
        return;
    }
    setWindowTitle(QString::fromUtf8(kReportCaptionUnsaved));
    BnExp->setEnabled(false);
}

// --- What the other windows ask of this one --------------------------------------------------------

void TForm3::setExportCaption(const QString& caption) { BnExp->setText(caption); }

void TForm3::enableSaving(bool exportEnabled)
{
    BnSaverep->setEnabled(true);
    BnSavepic->setEnabled(true);
    BnExp->setEnabled(exportEnabled);
}

void TForm3::setReportText(const QStringList& lines)
{
    holdsCurrentResults_ = false;
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
}

void TForm3::showOpenedReport(bool ofCurrentPicture)
{
    holdsCurrentResults_ = ofCurrentPicture;
    show();
    setWindowTitle(QString::fromUtf8(kReportCaptionSaved));
    raise();
    activateWindow();
}

void TForm3::clearResults()
{
    holdsCurrentResults_ = false;
    // Emptied without the change rule: an empty window is no unsaved report and has nothing to export.
    const QSignalBlocker quiet(Memo1);
    Memo1->clear();
    setWindowTitle(QString::fromUtf8(kReportCaptionNew));
    BnExp->setEnabled(false);
}

void TForm3::showManual(const QString& text)
{
    holdsCurrentResults_ = false;
    show();
    raise();
    Memo1->clear();
    BnExp->setEnabled(false);
    BnSaverep->setEnabled(false);
    BnSavepic->setEnabled(false);
    if (!text.isEmpty()) Memo1->setPlainText(text);
}

void TForm3::showPooledResult(const QStringList& lines)
{
    // Deliberate: like the manual, the text is no picture's report, so saving it as one is refused.
    AnalysisState.ReportActive = false;
    showManual(lines.join(QLatin1Char('\n')));
    setWindowTitle(QStringLiteral("SpotTally Pooled result"));
}

void TForm3::holdScratchLine(const QString& line)
{
    holdsCurrentResults_ = false;  // the results leave the window for the line
    show();
    Memo1->clear();
    Memo1->appendPlainText(line);
}

void TForm3::releaseScratchLine()
{
    Memo1->clear();
    hide();
}
