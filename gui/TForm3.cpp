#include "gui/TForm3.h"
#include "core/FieldLabels.h"

#include <QKeyEvent>
#include <QResizeEvent>
#include <QStatusBar>
#include <algorithm>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <utility>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "gui/Forms.h"
#include "core/HelpTexts.h"
#include "gui/TForm1.h"
#include "gui/SeriesWindow.h"
#include "report/MarkedPicture.h"
#include "report/ParticleTable.h"
#include "report/ReportFile.h"
#include "report/Results.h"
#include "report/Statistics.h"
#include "report/ReportText.h"
#include "gui/TForm2.h"
#include "view/EditsFile.h"

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

/// The question before a report of another count is replaced: what that report holds.
QString replaceQuestion(const fs::path& existing, const std::string& keepBothName)
{
    const QString name = QString::fromStdString(existing.filename().string());
    const ReportReading reading = readReportFile(existing);
    QString holds = QStringLiteral("%1 already exists").arg(name);
    if (reading.error.empty() && reading.pictureName && reading.lines.size() > kFirstResultLine + 1)
        holds = QStringLiteral("%1 already holds a count of %2: %3 particles, %4 removed / added by hand")
                    .arg(name, QString::fromStdString(*reading.pictureName),
                         QString::fromStdString(reportLineValue(reading.lines[kFirstResultLine])),
                         QString::fromStdString(reportLineValue(reading.lines[kFirstResultLine + 1])));
    const fs::path edits = existing.parent_path() / editsFileName(existing.filename().string());
    std::error_code ignored;
    if (fs::exists(edits, ignored))
        holds +=
            QStringLiteral(", its corrections in %1").arg(QString::fromStdString(edits.filename().string()));
    return holds +
           QStringLiteral(".\nReplace that report with this count, or keep both and save this count as %1?")
               .arg(QString::fromStdString(keepBothName));
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
    fitButtonsToCaptions();
    // Where saving says what it wrote, and where. The window has no menu bar: the design's places
    // take its height, and the main window's Window menu brings the others back.
    statusBar();
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
    setAttribute(Qt::WA_ShowWithoutActivating);  // shown by a count, the window does not take the keys
    show();
    std::vector<std::string> text =
        reportLines(Form1->parameterTexts(), AnalysisState, reportDateTime(localDateTimeOf(now_()), regional_));
    if (Form1->pictureDamage()) text.push_back(damagedPictureLine(*Form1->pictureDamage()));
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
    forgetContinuedReport();  // a new count, saved for the first time when it is saved
    openedReport_ = false;
    // In front, but the keys stay in the window the count was started from.
    raise();
    showResultLines();
    if (SeriesWindow* series = seriesWindowIfOpen()) series->pictureCounted();
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
    if (SeriesWindow* series = seriesWindowIfOpen()) series->pictureCorrected();
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
    const std::string& imageName = AnalysisState.ImageFileName;
    int number = 0;
    const fs::path reportPath = reportTarget(number);
    if (reportPath.empty()) return false;
    // Lines 2 and 3 name the files as they are now (the change rule runs).
    const std::array<std::string, 2> names = nameLines(imageName, reportPath.filename().string());
    replaceLines(2, {names[0], names[1]});
    const FileSaveOutcome saved = writeReportFile(reportPath, reportFileLines());
    if (!saved.saved()) {
        warn(saved.error);
        return false;
    }
    if (!saved.warning.empty()) warn(saved.warning);
    continuedReport_ = reportPath;
    reportNumber_ = number;
    // The corrections made by hand go beside the report (c_NAME.edits).
    if (!Form2->saveCorrections(reportPath)) return false;
    if (!Form2->saveDensityModel(reportPath)) return false;
    Form2->saveMarks();
    Form2->setWindowTitle(QStringLiteral("SpotTally ") + QString::fromStdString(imageName));
    setWindowTitle(QString::fromUtf8(kReportCaptionSaved));
    savedReport_ = QString::fromStdString(reportPath.string());
    const bool corrections = !Form2->editHistory().actionsInEffect().empty();
    tellSaved(QStringLiteral("Saved the report as %1%2")
                  .arg(savedReport_, corrections ? QStringLiteral(", with its corrections") : QString()));
    if (SeriesWindow* series = seriesWindowIfOpen()) series->reportSaved();
    return true;
}

fs::path TForm3::reportTarget(int& number)
{
    number = reportNumber_;
    if (!continuedReport_.empty()) return continuedReport_;
    number = 0;
    const fs::path folder = Form1->workingFolder();
    const std::string plainName = reportFileName(AnalysisState.ImageFileName);
    std::error_code ignored;
    if (!fs::exists(folder / plainName, ignored)) return folder / plainName;
    // Another count of this picture is saved there, perhaps with corrections: it is replaced only when
    // the user says so. Kept, this count takes the first number whose files are all free.
    const auto taken = [&](int candidate) {
        for (const std::string& name :
             {numberedName(plainName, candidate), editsFileName(numberedName(plainName, candidate)),
              numberedName(markedPictureName(AnalysisState.ImageFileName), candidate)})
            if (fs::exists(folder / name, ignored)) return true;
        return false;
    };
    int free = 2;
    while (taken(free)) ++free;
    const std::string keptName = numberedName(plainName, free);
    switch (dialogs().askReplaceKeepBothCancel(
        replaceQuestion(folder / plainName, keptName),
        QStringLiteral("keep both as ") + QString::fromStdString(keptName))) {
    case UserDialogs::ReplaceChoice::Replace: return folder / plainName;
    case UserDialogs::ReplaceChoice::KeepBoth: number = free; return folder / keptName;
    case UserDialogs::ReplaceChoice::Cancel: break;
    }
    return {};
}

std::string TForm3::companionName(const std::string& plainName) const
{
    return reportNumber_ >= 2 ? numberedName(plainName, reportNumber_) : plainName;
}

void TForm3::forgetContinuedReport()
{
    continuedReport_.clear();
    reportNumber_ = 0;
}

void TForm3::continueOpenedReport(const fs::path& reportPath)
{
    if (!holdsCurrentResults_) return;
    const std::optional<int> number =
        reportNumber(reportPath.filename().string(), reportFileName(AnalysisState.ImageFileName));
    if (!number) return;  // a report renamed by hand: saved under the picture's report name, as ever
    continuedReport_ = reportPath;
    reportNumber_ = *number;
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
    // The marked picture shows the count's rings: a report opened without counting its picture again
    // has none to show, and an earlier marked picture with rings must not give way to one without.
    if (openedReport_ && !Form1->layersShowCount()) {
        warn("The report was saved, the marked picture was not: " + AnalysisState.ImageFileName +
             " has not been counted since it was opened, so it shows no rings. Count it, then save again.");
        return;
    }
    const std::string markedName = companionName(markedPictureName(AnalysisState.ImageFileName));
    // A picture whose name begins with "c_" would be replaced by its own marked picture.
    if (markedName == AnalysisState.ImageFileName) {
        warn("The marked picture was not saved: it would replace the picture \"" + AnalysisState.ImageFileName +
             "\" itself.");
        return;
    }
    const fs::path path = Form1->workingFolder() / markedName;
    const std::string error = writeMarkedPicture(std::as_const(*Form2).layers().Image2, path);
    if (!error.empty()) {
        warn(error);
        return;
    }
    tellSaved(QStringLiteral("Saved the report as %1 and the marked picture as %2")
                  .arg(savedReport_, QString::fromStdString(path.string())));
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
    const Picture& area = std::as_const(*Form2).layers().Image3;
    try {
        if (AnalysisState.ExportMode == kExportParticles) {
            const fs::path path =
                Form1->workingFolder() / companionName(particleTableFileName(AnalysisState.ImageFileName));
            const FileSaveOutcome written = writeParticleTable(path, Form2->particles(), fields);
            if (!written.saved()) {
                warn(written.error);
                return;
            }
            tellSaved(QStringLiteral("Saved the report as %1 and the particle table as %2")
                          .arg(savedReport_, QString::fromStdString(path.string())));
            return;
        }
        if (AnalysisState.ExportMode == kExportXY) {
            readWholeField(kMinSizeField, fields.Edmin, 0, 255);
            scanMarkerPositions(area, AnalysisState);
            const fs::path path =
                Form1->workingFolder() / companionName(xyDataFileName(AnalysisState.ImageFileName));
            const FileSaveOutcome written = writeFileAtomically(path, xyDataText(AnalysisState.MarkerList));
            if (!written.saved()) {
                warn(written.error);
                return;
            }
            tellSaved(QStringLiteral("Saved the report as %1 and the x/y data as %2")
                          .arg(savedReport_, QString::fromStdString(path.string())));
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
    tellSaved(
        QStringLiteral("Saved the report as %1; the statistics below it are not saved yet").arg(savedReport_));
}

// --- What the other windows ask of this one --------------------------------------------------------

void TForm3::setExportCaption(const QString& caption)
{
    BnExp->setText(caption);
    fitButtonsToCaptions();
}

void TForm3::fitButtonsToCaptions()
{
    // The design's widths where the captions fit; wider where they do not (a longer caption, another
    // font, a larger scale), each button growing to the right.
    constexpr int kDesignWidth[] = {113, 113, 249};
    QPushButton* const buttons[] = {BnSaverep, BnExp, BnSavepic};
    for (int i = 0; i < 3; ++i)
        buttons[i]->resize(std::max(kDesignWidth[i], buttons[i]->sizeHint().width()), buttons[i]->height());
}

void TForm3::tellSaved(const QString& text)
{
    statusBar()->showMessage(text);
    Form2->showStatusMessage(text);
}

void TForm3::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if ((event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) && BnSavepic != nullptr)
        fitButtonsToCaptions();
}

void TForm3::enableSaving(bool exportEnabled)
{
    BnSaverep->setEnabled(true);
    BnSavepic->setEnabled(true);
    BnExp->setEnabled(exportEnabled);
}

void TForm3::setReportText(const QStringList& lines)
{
    holdsCurrentResults_ = false;
    forgetContinuedReport();
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
}

void TForm3::showOpenedReport(bool ofCurrentPicture)
{
    holdsCurrentResults_ = ofCurrentPicture;
    openedReport_ = ofCurrentPicture;
    show();
    setWindowTitle(QString::fromUtf8(kReportCaptionSaved));
    raise();
    activateWindow();
}

void TForm3::clearResults()
{
    holdsCurrentResults_ = false;
    forgetContinuedReport();
    // Emptied without the change rule: an empty window is no unsaved report and has nothing to export.
    const QSignalBlocker quiet(Memo1);
    Memo1->clear();
    setWindowTitle(QString::fromUtf8(kReportCaptionNew));
    BnExp->setEnabled(false);
}

void TForm3::showManual(const QString& text)
{
    holdsCurrentResults_ = false;
    forgetContinuedReport();
    show();
    raise();
    activateWindow();  // asked for: the manual takes the keys
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
    forgetContinuedReport();
    show();
    Memo1->clear();
    Memo1->appendPlainText(line);
}

void TForm3::releaseScratchLine()
{
    Memo1->clear();
    hide();
}
