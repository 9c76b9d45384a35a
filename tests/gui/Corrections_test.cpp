// Corrections made by hand in the image window: undo and redo from the keyboard and the Edit menu,
// removal in a Shift-dragged rectangle, the corrections file saved beside the report and made again
// on reopening, and the save/discard/cancel question before corrections would be lost; what is saved
// is never lost or silently wrong: another count's report is replaced only when the user says so, a
// refused count leaves what saving saves, a damaged picture's report says so. Real mouse and key events
// on the windows, offscreen.

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/HelpTexts.h"
#include "core/Markers.h"
#include "gui/TForm3.h"
#include "picture/PictureLoading.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"
#include "view/EditHistory.h"

using namespace layermouse;
using SaveChoice = UserDialogs::SaveChoice;
using ReplaceChoice = UserDialogs::ReplaceChoice;

namespace {

/// What the corrections change, to compare byte for byte.
struct Shown {
    Picture image1, image2, image3;
    std::int32_t autoCount;
    std::uint16_t added, removed;
    QStringList resultLines;
    bool operator==(const Shown&) const = default;
};

Shown shown() {
    const Layers& layers = Form2->layers();
    return {layers.Image1,
            layers.Image2,
            layers.Image3,
            AnalysisState.AutoCount,
            AnalysisState.ManualAdded,
            AnalysisState.ManualRemoved,
            Form3->lines().mid(kFirstResultLine, 4)};
}

/// The counted particles' markers, in reading order.
std::vector<QPoint> markers() {
    std::vector<QPoint> found;
    const Picture& area = Form2->layers().Image3;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (isCentreMarker(area.row(y) + 3 * x)) found.emplace_back(x, y);
    return found;
}

/// A green particle on dark ground.
void drawParticle(Picture& picture, int cx, int cy) {
    for (int y = cy - 3; y <= cy + 3; ++y)
        for (int x = cx - 3; x <= cx + 3; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 9)
                picture.setPixel(x, y, rgbColour(121, 223, 95));
}

/// A 200 x 150 picture of twelve particles in three rows.
Picture plate(bool withLastParticle = true) {
    Picture picture = plainPicture(200, 150, rgbColour(10, 20, 12));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            if (withLastParticle || row < 2 || column < 3)
                drawParticle(picture, 25 + 50 * column, 25 + 50 * row);
    return picture;
}

void click(QPoint at) { QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, at); }

void ctrlKey(Qt::Key key, Qt::KeyboardModifiers more = Qt::NoModifier) {
    QTest::keyClick(Form2, key, Qt::ControlModifier | more);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class CorrectionsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void undoAndRedoGoBackToTheCountAndForward();
    void shiftDragRemovesTheRectangleAsOneStep();
    void savedCorrectionsComeBackWithTheReport_data();
    void savedCorrectionsComeBackWithTheReport();
    void unsavedCorrectionsAskFirst_data();
    void unsavedCorrectionsAskFirst();
    void savingOverAnotherCountAsksFirst_data();
    void savingOverAnotherCountAsksFirst();
    void correctionsOfAnotherCountAreNotMadeAgain();
    void savingSavesWhatIsShown_data();
    void savingSavesWhatIsShown();
    void damagedPictureIsNamedInItsReport();

private:
    QString path(const QString& name) const { return folder_->filePath(name); }
    /// A saved file's lines (Windows-1252 read as Latin-1, which the tests' texts are).
    QStringList fileLines(const QString& name) const {
        return QString::fromLatin1(readAll(path(name))).split(QStringLiteral("\r\n"));
    }
    /// A count of plate.jpg with one particle removed by hand, saved as c_plate.txt and c_plate.edits.
    void saveCorrectedCount();
    /// plate.jpg written, opened and counted; the count view in front, in remove mode.
    void countPlate();

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void CorrectionsTest::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(path(QStringLiteral("SpotTally.ini")).toStdString());
    Form1->setWorkingFolder(folder_->path().toStdString());
    Form3->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)); }, RegionalDateTime{});
}

void CorrectionsTest::cleanup() {
    closeTestWindows(dialogs_);
    folder_.reset();
}

void CorrectionsTest::countPlate() {
    QCOMPARE(QString::fromStdString(writeJpegFile(plate(), path(QStringLiteral("plate.jpg")).toStdString())),
             QString());
    QVERIFY(Form1->openChosenPicture(path(QStringLiteral("plate.jpg"))));
    Form1->BnCount->click();
    QCOMPARE(AnalysisState.AutoCount, 12);
    QVERIFY(!AnalysisState.AddMode);
    QCOMPARE(Form2->frontLayer(), Form2->Image2);
    Form2->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form2));
}

// Removals, adds and a rectangle, then Ctrl+Z back to the count and Ctrl+Shift+Z, Ctrl+Y and the menu
// item forward again: layers, counters and result lines as they were at every step.
void CorrectionsTest::undoAndRedoGoBackToTheCountAndForward() {
    countPlate();
    QVERIFY(!Form2->Undo1->isEnabled() && !Form2->Redo1->isEnabled());
    std::vector<Shown> states{shown()};
    const std::vector<QPoint> found = markers();
    click(found[0] + QPoint(2, 3));  // within reach of the first particle
    states.push_back(shown());
    click(found[5]);
    states.push_back(shown());
    Form2->Orig1->trigger();  // add mode
    click(QPoint(100, 140));
    states.push_back(shown());
    Form2->Orig1->trigger();  // remove mode
    QTest::mousePress(Form2->Image2, Qt::LeftButton, Qt::ShiftModifier, QPoint(0, 90));
    move(Form2->Image2, QPoint(199, 149), Qt::LeftButton, Qt::ShiftModifier);
    QTest::mouseRelease(Form2->Image2, Qt::LeftButton, Qt::ShiftModifier, QPoint(199, 149));
    states.push_back(shown());
    QCOMPARE(AnalysisState.AutoCount, 12 - 2 + 1 - 5);  // the rectangle took the added one and the last row
    QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
    for (std::size_t i = 1; i < states.size(); ++i)
        QVERIFY2(states[i] != states[i - 1], qPrintable(QString::number(i)));
    VERIFY_NO_MESSAGE(dialogs_);

    QVERIFY(Form2->Undo1->isEnabled() && !Form2->Redo1->isEnabled());
    for (std::size_t i = states.size() - 1; i-- > 0;) {
        ctrlKey(Qt::Key_Z);
        QVERIFY2(shown() == states[i], qPrintable(QStringLiteral("undo to %1").arg(i)));
    }
    QVERIFY(!Form2->Undo1->isEnabled() && Form2->Redo1->isEnabled());
    ctrlKey(Qt::Key_Z);  // at the count: nothing more
    QVERIFY(shown() == states[0]);

    ctrlKey(Qt::Key_Z, Qt::ShiftModifier);
    QVERIFY(shown() == states[1]);
    ctrlKey(Qt::Key_Y);
    QVERIFY(shown() == states[2]);
    Form2->Redo1->trigger();
    QVERIFY(shown() == states[3]);
    ctrlKey(Qt::Key_Y);
    QVERIFY(shown() == states[4]);
    QVERIFY(Form2->Undo1->isEnabled() && !Form2->Redo1->isEnabled());
    Form2->Undo1->trigger();
    QVERIFY(shown() == states[3]);

    // A new count forgets the steps.
    Form1->BnCount->click();
    QVERIFY(!Form2->Undo1->isEnabled() && !Form2->Redo1->isEnabled());
    VERIFY_NO_MESSAGE(dialogs_);
}

// While dragging the band shows the rectangle; the release removes every particle inside it and
// nothing else, as one step. A Shift+click without a drag removes as a plain click.
void CorrectionsTest::shiftDragRemovesTheRectangleAsOneStep() {
    countPlate();
    zoomTo(200);
    const Shown counted = shown();
    QTest::mousePress(Form2->Image2, Qt::LeftButton, Qt::ShiftModifier, QPoint(2 * 60, 2 * 10));
    move(Form2->Image2, QPoint(2 * 130, 2 * 80), Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(Form2->Image2->band(), QRect(60, 10, 70, 70));
    QCOMPARE(AnalysisState.AutoCount, 12);  // nothing removed while dragging
    QTest::mouseRelease(Form2->Image2, Qt::LeftButton, Qt::ShiftModifier, QPoint(2 * 130, 2 * 80));
    QCOMPARE(Form2->Image2->band(), QRect());
    // The particles at (75, 25), (125, 25), (75, 75) and (125, 75) were inside.
    QCOMPARE(AnalysisState.AutoCount, 8);
    QCOMPARE(int(AnalysisState.ManualRemoved), 4);
    for (const QPoint& p : markers()) QVERIFY(p.x() < 60 || p.x() >= 130 || p.y() < 10 || p.y() >= 80);
    QCOMPARE(markers().size(), std::size_t(8));

    Form2->Undo1->trigger();
    QVERIFY(shown() == counted);
    QVERIFY(!Form2->Undo1->isEnabled());

    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::ShiftModifier, QPoint(2 * 27, 2 * 26));
    QCOMPARE(AnalysisState.AutoCount, 11);
    VERIFY_NO_MESSAGE(dialogs_);
}

void CorrectionsTest::savedCorrectionsComeBackWithTheReport_data() {
    QTest::addColumn<QString>("change");

    QTest::newRow("picture as saved") << QString();
    QTest::newRow("picture changed since") << QStringLiteral("picture");
    QTest::newRow("corrections all undone before saving") << QStringLiteral("undone");
    QTest::newRow("a correction finds no particle") << QStringLiteral("no particle");
    QTest::newRow("foreign corrections file") << QStringLiteral("foreign");
}

// Save -> reopen: the count and the corrections come back as saved. A changed picture, a correction
// that finds no particle or a foreign file is told; what can be kept is shown.
void CorrectionsTest::savedCorrectionsComeBackWithTheReport() {
    QFETCH(QString, change);
    countPlate();
    const std::vector<QPoint> found = markers();
    click(found[1]);
    Form2->Orig1->trigger();
    click(QPoint(180, 130));
    Form2->Orig1->trigger();
    click(found[7] + QPoint(-4, 1));
    if (change == QStringLiteral("undone"))
        for (int i = 0; i < 3; ++i) ctrlKey(Qt::Key_Z);
    const QString edits = path(QStringLiteral("c_plate.edits"));
    if (change == QStringLiteral("undone")) QVERIFY(QFile(edits).open(QIODevice::WriteOnly));  // a stale one
    Form3->BnSaverep->click();
    VERIFY_NO_MESSAGE(dialogs_);
    QVERIFY(!Form2->hasUnsavedCorrections());
    const Shown saved = shown();
    const QStringList savedText = Form3->lines();
    QCOMPARE(QFile::exists(edits), change != QStringLiteral("undone"));  // none without corrections
    if (change.isEmpty()) {
        QFile file(edits);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("SpotTally corrections 1\ncount 12\n") +
                                     QStringLiteral("remove %1 %2\nadd 180 130\nremove %3 %4\n")
                                         .arg(found[1].x())
                                         .arg(found[1].y())
                                         .arg(found[7].x())
                                         .arg(found[7].y())
                                         .toLatin1());
    }
    if (change == QStringLiteral("picture"))
        QCOMPARE(QString::fromStdString(
                     writeJpegFile(plate(false), path(QStringLiteral("plate.jpg")).toStdString())),
                 QString());
    if (change == QStringLiteral("no particle")) {
        // A saved removal that finds no particle, counted in the report as saved with it.
        QFile file(edits);
        QVERIFY(file.open(QIODevice::Append));
        file.write("remove 1 1\n");
        file.close();
        QFile report(path(QStringLiteral("c_plate.txt")));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QByteArray text = report.readAll();
        report.close();
        text.replace("<Particles counted:> 11\r\n<including manually removed / added:> 2 / 1\r\n",
                     "<Particles counted:> 10\r\n<including manually removed / added:> 3 / 1\r\n");
        QVERIFY(report.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(report.write(text), text.size());
    }
    if (change == QStringLiteral("foreign")) {
        QFile file(edits);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("x 1 2\n");
    }
    const QStringList filesBefore = QDir(folder_->path()).entryList(QDir::Files, QDir::Name);

    // Another picture in between, then the report opened again.
    loadIntoWindow(plainPicture(30, 20, 0), QStringLiteral("other.jpg"));
    dialogs_->answerNextFileDialog(path(QStringLiteral("c_plate.txt")));
    Form1->Savereport1->trigger();

    QCOMPARE(QDir(folder_->path()).entryList(QDir::Files, QDir::Name),
             filesBefore);  // reading writes nothing
    QVERIFY(dialogs_->questions.isEmpty());
    if (change.isEmpty()) {
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(shown() == saved);
        QCOMPARE(Form3->lines(), savedText);
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report"));
        QVERIFY(!Form2->hasUnsavedCorrections());
        QVERIFY(Form2->Undo1->isEnabled());  // the corrections can be taken back as before
        ctrlKey(Qt::Key_Z);                  // the last removal taken back
        QCOMPARE(AnalysisState.AutoCount, 12);
        QVERIFY(Form2->hasUnsavedCorrections());
    } else if (change == QStringLiteral("picture")) {
        QCOMPARE(dialogs_->messageTexts(),
                 QStringList{
                     QStringLiteral("The picture plate.jpg changed since its report was saved: the count is "
                                    "now 11, it was 12. The 3 saved corrections were not made again.")});
        QCOMPARE(AnalysisState.AutoCount, 11);
        QCOMPARE(int(AnalysisState.ManualAdded) + int(AnalysisState.ManualRemoved), 0);
        QCOMPARE(Form3->lines().mid(0, kFirstResultLine), savedText.mid(0, kFirstResultLine));
        QVERIFY(Form3->lines().mid(kFirstResultLine, 4) != saved.resultLines);
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
    } else if (change == QStringLiteral("no particle")) {
        QCOMPARE(dialogs_->messageTexts(),
                 QStringList{QStringLiteral(
                     "The picture plate.jpg changed since its report was saved: 1 of the 4 saved corrections "
                     "found no particle and were left out (remove at 1, 1).")});
        QVERIFY(shown() == saved);  // the others were made again
        QCOMPARE(Form3->lines(), savedText);
    } else if (change == QStringLiteral("undone")) {
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form3->lines(), savedText);
        QVERIFY(!Form2->Undo1->isEnabled());
    } else {
        QCOMPARE(dialogs_->messageTexts(),
                 QStringList{QStringLiteral(
                     "Cannot use the corrections file \"c_plate.edits\": it is not a SpotTally "
                     "corrections file.")});
        QCOMPARE(AnalysisState.AutoCount, 12);  // the fresh count, shown
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
    }
    QCOMPARE(AnalysisState.ImageFileName, std::string("plate.jpg"));
}

void CorrectionsTest::unsavedCorrectionsAskFirst_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("answer");  // -1: no correction, no question; -2: save that fails
    QTest::addColumn<bool>("goesOn");

    for (const char* action : {"close", "open picture", "open report", "manual", "paste", "count again"}) {
        const QString name = QString::fromLatin1(action);
        QTest::addRow("%s: save", action) << name << int(SaveChoice::Save) << true;
        QTest::addRow("%s: discard", action) << name << int(SaveChoice::Discard) << true;
        QTest::addRow("%s: cancel", action) << name << int(SaveChoice::Cancel) << false;
        QTest::addRow("%s: save fails", action) << name << -2 << false;
        QTest::addRow("%s: nothing unsaved", action) << name << -1 << true;
    }
}

// Closing, opening another picture or report, showing the manual, pasting a picture (Ctrl+V) and
// counting again with corrections not saved ask first: save (as the Save button, going on only when it saved), discard, or cancel
// (nothing happens).
void CorrectionsTest::unsavedCorrectionsAskFirst() {
    QFETCH(QString, action);
    QFETCH(int, answer);
    QFETCH(bool, goesOn);
    QCOMPARE(QString::fromStdString(
                 writeJpegFile(plainPicture(30, 20, 0), path(QStringLiteral("other.jpg")).toStdString())),
             QString());
    QFile manual(path(QString::fromLatin1(kManualFileName)));
    QVERIFY(manual.open(QIODevice::WriteOnly));
    manual.write("The manual.\n");
    manual.close();
    Form1->setManualFolder(folder_->path().toStdString());
    Form1->show();
    if (action == QStringLiteral("open report")) {  // a report of the other picture to open
        QVERIFY(Form1->openChosenPicture(path(QStringLiteral("other.jpg"))));
        Form1->BnCount->click();
        QVERIFY(Form3->saveReport());
        VERIFY_NO_MESSAGE(dialogs_);
    }
    countPlate();
    if (answer != -1) click(markers()[2]);
    if (answer == -2)
        QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("c_plate.edits")));  // cannot be written
    dialogs_->answerNextQuestion(answer >= 0 ? SaveChoice(answer) : SaveChoice::Save);
    const QString reportBefore = Form3->Memo1->toPlainText();

    bool done = false;
    if (action == QStringLiteral("close")) {
        done = Form1->close();
        QCOMPARE(Form1->isVisible(), !goesOn);
    } else if (action == QStringLiteral("open picture")) {
        done = Form1->openChosenPicture(path(QStringLiteral("other.jpg")));
        QCOMPARE(AnalysisState.ImageFileName, goesOn ? std::string("other.jpg") : std::string("plate.jpg"));
    } else if (action == QStringLiteral("open report")) {
        done = Form1->openChosenReport(path(QStringLiteral("c_other.txt")));
        QCOMPARE(AnalysisState.ImageFileName, goesOn ? std::string("other.jpg") : std::string("plate.jpg"));
    } else if (action == QStringLiteral("count again")) {
        Form1->BnCount->click();
        done = AnalysisState.ManualRemoved == 0;
    } else if (action == QStringLiteral("paste")) {
        QGuiApplication::clipboard()->setImage(QImage(20, 10, QImage::Format_RGB32));
        QTest::keyClick(Form2, Qt::Key_V, Qt::ControlModifier);
        done = AnalysisState.ImageFileName == "CLIPBOARD.jpg";
    } else {
        Form1->Manual1->trigger();
        done = Form3->Memo1->toPlainText() == QStringLiteral("The manual.");
        if (!goesOn) QCOMPARE(Form3->Memo1->toPlainText(), reportBefore);
    }
    QCOMPARE(done, goesOn);
    QCOMPARE(dialogs_->questions.size(), answer == -1 ? 0 : 1);
    if (answer != -1)
        QCOMPARE(dialogs_->questions.constFirst(),
                 QStringLiteral("The count of plate.jpg has corrections made by hand that are not saved.\n"
                                "Save the report with its corrections first?"));
    const bool reportSaved = QFile::exists(path(QStringLiteral("c_plate.txt")));
    QCOMPARE(reportSaved, answer == int(SaveChoice::Save) || answer == -2);
    if (answer == int(SaveChoice::Save)) QVERIFY(QFile::exists(path(QStringLiteral("c_plate.edits"))));
    if (answer == -2) {
        QCOMPARE(dialogs_->messages.size(), std::size_t(1));
        QVERIFY(dialogs_->messageTexts().constFirst().endsWith(
            QStringLiteral("The report was saved, its corrections were not.")));
        QVERIFY(Form2->hasUnsavedCorrections());
    } else {
        VERIFY_NO_MESSAGE(dialogs_);
    }
    if (answer == int(SaveChoice::Cancel)) QCOMPARE(AnalysisState.ManualRemoved, std::uint16_t(1));
}

void CorrectionsTest::saveCorrectedCount() {
    countPlate();
    click(markers()[1]);
    QCOMPARE(AnalysisState.AutoCount, 11);
    QVERIFY(Form3->saveReport());
    QVERIFY(QFile::exists(path(QStringLiteral("c_plate.edits"))));
    QVERIFY(dialogs_->keepBothQuestions.isEmpty());  // nothing was there to replace
}

void CorrectionsTest::savingOverAnotherCountAsksFirst_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("statistics");  // saved by the statistics button, which saves first
    QTest::newRow("replace") << int(ReplaceChoice::Replace) << false;
    QTest::newRow("keep both") << int(ReplaceChoice::KeepBoth) << false;
    QTest::newRow("cancel") << int(ReplaceChoice::Cancel) << false;
    QTest::newRow("statistics, keep both") << int(ReplaceChoice::KeepBoth) << true;
    QTest::newRow("statistics, cancel") << int(ReplaceChoice::Cancel) << true;
}

// The picture of a report with corrections opened and counted again: saving asks before the report and
// its corrections go. Kept both, the new count has files of its own, saved again and reopened without
// a question.
void CorrectionsTest::savingOverAnotherCountAsksFirst() {
    QFETCH(int, answer);
    QFETCH(bool, statistics);
    saveCorrectedCount();
    const QByteArray report = readAll(path(QStringLiteral("c_plate.txt")));
    const QByteArray edits = readAll(path(QStringLiteral("c_plate.edits")));
    countPlate();
    VERIFY_NO_MESSAGE(dialogs_);

    dialogs_->answerNextReplaceQuestion(ReplaceChoice(answer));
    if (statistics) {
        Form1->Statistics1->trigger();
        Form3->BnExp->click();
    } else {
        QTest::keyClick(Form2, Qt::Key_S, Qt::ControlModifier);
    }
    QCOMPARE(
        dialogs_->keepBothQuestions,
        QStringList{QStringLiteral(
            "c_plate.txt already holds a count of plate.jpg: 11 particles, 1 / 0 removed / added by hand, "
            "its corrections in c_plate.edits.\n"
            "Replace that report with this count, or keep both and save this count as c_plate-2.txt?")});
    QCOMPARE(dialogs_->keepBothCaptions, QStringList{QStringLiteral("keep both as c_plate-2.txt")});
    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(Form3->lines().contains(QStringLiteral("<STATISTICS> ")),
             statistics && answer != int(ReplaceChoice::Cancel));

    if (answer == int(ReplaceChoice::Replace)) {
        QCOMPARE(fileLines(QStringLiteral("c_plate.txt")).mid(kFirstResultLine, 2),
                 (QStringList{QStringLiteral("<Particles counted:> 12"),
                              QStringLiteral("<including manually removed / added:> 0 / 0")}));
        QVERIFY(!QFile::exists(path(QStringLiteral("c_plate.edits"))));  // the count replacing it has none
        return;
    }
    // Cancelled or kept: the earlier report and its corrections stay as they were.
    QCOMPARE(readAll(path(QStringLiteral("c_plate.txt"))), report);
    QCOMPARE(readAll(path(QStringLiteral("c_plate.edits"))), edits);
    if (answer == int(ReplaceChoice::Cancel)) {
        QCOMPARE(QDir(folder_->path()).entryList({QStringLiteral("c_plate-*")}), QStringList());
        return;
    }
    QCOMPARE(fileLines(QStringLiteral("c_plate-2.txt")).mid(2, 2),
             (QStringList{QStringLiteral("<Report file:> c_plate-2.txt"),
                          QStringLiteral("<Image file analysed:> plate.jpg")}));
    // The new count goes on under its own name: corrections, the marked picture, without asking again.
    Form2->activateWindow();
    click(markers()[3]);
    Form3->BnSavepic->click();
    QCOMPARE(dialogs_->keepBothQuestions.size(), 1);
    VERIFY_NO_MESSAGE(dialogs_);
    QVERIFY(QFile::exists(path(QStringLiteral("c_plate-2.edits"))));
    QVERIFY(QFile::exists(path(QStringLiteral("c_plate-2.jpg"))));
    QVERIFY(!QFile::exists(path(QStringLiteral("c_plate.jpg"))));
    // Reopened, it is saved back where it came from.
    QVERIFY(Form1->openChosenReport(path(QStringLiteral("c_plate-2.txt"))));
    QCOMPARE(AnalysisState.AutoCount, 11);
    QVERIFY(Form3->saveReport());
    QCOMPARE(dialogs_->keepBothQuestions.size(), 1);
    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(readAll(path(QStringLiteral("c_plate.txt"))), report);
    QCOMPARE(readAll(path(QStringLiteral("c_plate.edits"))), edits);
}

// The counter rewrote a report the window had saved with corrections: reopened, the corrections are
// not made on the counter's count, the user is told, and the file stays for a save to ask about.
void CorrectionsTest::correctionsOfAnotherCountAreNotMadeAgain() {
    saveCorrectedCount();
    const QByteArray edits = readAll(path(QStringLiteral("c_plate.edits")));
    QProcess counter;
    counter.start(QStringLiteral(SPOTTALLY_BINARY_DIR "/spottally-count"),
                  {path(QStringLiteral("plate.jpg"))});
    QVERIFY(counter.waitForFinished(60000));
    QCOMPARE(counter.exitCode(), 0);
    const QStringList counted = fileLines(QStringLiteral("c_plate.txt"));
    QCOMPARE(counted.value(kFirstResultLine + 1),
             QStringLiteral("<including manually removed / added:> 0 / 0"));

    QVERIFY(Form1->openChosenReport(path(QStringLiteral("c_plate.txt"))));
    QCOMPARE(dialogs_->messageTexts(),
             QStringList{QStringLiteral(
                 "The corrections in c_plate.edits belong to another count of plate.jpg than its report "
                 "c_plate.txt: they give 11 particles with 1 / 0 removed / added by hand, the report says "
                 "otherwise. They were not made again; c_plate.edits is left as it is.")});
    QCOMPARE(Form3->lines().mid(kFirstResultLine, 2), counted.mid(kFirstResultLine, 2));
    QVERIFY(!Form2->editHistory().canUndo());
    QCOMPARE(readAll(path(QStringLiteral("c_plate.edits"))), edits);
    dialogs_->answerNextReplaceQuestion(ReplaceChoice::Cancel);
    QVERIFY(!Form3->saveReport());
    QCOMPARE(dialogs_->keepBothQuestions.size(), 1);
    QCOMPARE(readAll(path(QStringLiteral("c_plate.edits"))), edits);
}

void CorrectionsTest::savingSavesWhatIsShown_data() {
    QTest::addColumn<bool>("reopened");
    QTest::newRow("after a refused count") << false;
    QTest::newRow("a report reopened, its picture not counted") << true;
}

// "Save report + marked image" writes the rings of the count its report tells, or says why it does
// not: after a count refused for a field the earlier count stays whole; a reopened report whose picture
// was not counted again keeps the marked picture it has.
void CorrectionsTest::savingSavesWhatIsShown() {
    QFETCH(bool, reopened);
    countPlate();
    Form3->BnSavepic->click();
    VERIFY_NO_MESSAGE(dialogs_);
    const QByteArray marked = readAll(path(QStringLiteral("c_plate.jpg")));
    const QStringList report = Form3->lines();
    const Layers counted = Form2->layers();
    if (reopened) {
        QVERIFY(Form1->openChosenReport(path(QStringLiteral("c_plate.txt"))));
    } else {
        Form1->EdCont->setText(QStringLiteral("4o"));
        Form1->BnCount->click();
        QCOMPARE(dialogs_->messages.size(), std::size_t(1));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("4o")));
        QVERIFY(dialogs_->messages[0].text.endsWith(QStringLiteral(
            "Nothing was counted: the picture and its report still show the earlier count, and saving saves "
            "that count.")));
        QVERIFY(Form2->layers().Image2 == counted.Image2);
        QVERIFY(Form2->layers().Image3 == counted.Image3);
        QCOMPARE(Form3->lines(), report);
        dialogs_->messages.clear();
    }
    Form3->BnSavepic->click();
    QCOMPARE(dialogs_->messageTexts(),
             reopened
                 ? QStringList{QStringLiteral(
                       "The report was saved, the marked picture was not: plate.jpg has not been counted "
                       "since it was opened, so it shows no rings. Count it, then save again.")}
                 : QStringList());
    QCOMPARE(readAll(path(QStringLiteral("c_plate.jpg"))), marked);
    QCOMPARE(fileLines(QStringLiteral("c_plate.txt")).mid(kFirstResultLine, 4),
             report.mid(kFirstResultLine, 4));
    QVERIFY(dialogs_->keepBothQuestions.isEmpty());  // the report saved is the one shown
}

// A picture cut short is counted as decoded; its report carries one line naming the damage, which the
// reader passes over: the report reopens with its parameters.
void CorrectionsTest::damagedPictureIsNamedInItsReport() {
    countPlate();  // a sound picture's report has no such line
    QVERIFY(Form3->lines().filter(QString::fromLatin1(kDamagedPictureLabel)).isEmpty());
    const QByteArray whole = readAll(path(QStringLiteral("plate.jpg")));
    QFile cut(path(QStringLiteral("cut.jpg")));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(whole.left(whole.size() / 2));
    cut.close();
    QVERIFY(Form1->openChosenPicture(path(QStringLiteral("cut.jpg"))));
    QCOMPARE(dialogs_->messages.size(), std::size_t(1));
    const QString damage = dialogs_->messages[0].text;
    QVERIFY2(damage.contains(QStringLiteral("is damaged")), qPrintable(damage));
    Form1->BnCount->click();
    QVERIFY(Form3->saveReport());
    const QStringList saved = fileLines(QStringLiteral("c_cut.txt"));
    QCOMPARE(saved.value(21), QString::fromLatin1(kDamagedPictureLabel) + damage);
    QCOMPARE(saved.filter(QString::fromLatin1(kDamagedPictureLabel)).size(), 1);

    loadIntoWindow(plainPicture(30, 20, 0), QStringLiteral("other.jpg"));
    dialogs_->messages.clear();
    Form1->EdCont->setText(QStringLiteral("9"));
    QVERIFY(Form1->openChosenReport(path(QStringLiteral("c_cut.txt"))));
    QCOMPARE(dialogs_->messageTexts(), QStringList{damage});  // the picture's own warning, nothing else
    QCOMPARE(Form1->EdCont->text(), QString::fromStdString(reportLineValue(saved.value(9).toStdString())));
    QCOMPARE(Form3->lines().value(21), saved.value(21));
}

QTEST_MAIN(CorrectionsTest)
#include "Corrections_test.moc"
