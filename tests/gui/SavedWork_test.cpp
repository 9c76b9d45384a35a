// What is saved is never lost or silently wrong: a report of another count (perhaps with its
// corrections) is replaced only when the user says so, corrections are made again only on the count
// they belong to, a refused count leaves the report and the rings that saving saves, and the report of a
// damaged picture says so.

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/Markers.h"
#include "gui/TForm3.h"
#include "picture/PictureLoading.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"

using namespace layermouse;
using ReplaceChoice = UserDialogs::ReplaceChoice;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// A 200 x 150 picture of twelve green particles in three rows on dark ground.
Picture plate()
{
    Picture picture = plainPicture(200, 150, rgbColour(10, 20, 12));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column) {
            const int cx = 25 + 50 * column, cy = 25 + 50 * row;
            for (int y = cy - 3; y <= cy + 3; ++y)
                for (int x = cx - 3; x <= cx + 3; ++x)
                    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 9)
                        picture.setPixel(x, y, rgbColour(121, 223, 95));
        }
    return picture;
}

/// The counted particles' markers, in reading order.
std::vector<QPoint> markers()
{
    std::vector<QPoint> found;
    const Picture& area = Form2->layers().Image3;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (isCentreMarker(area.row(y) + 3 * x)) found.emplace_back(x, y);
    return found;
}

void click(QPoint at) { QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, at); }

}  // namespace

class SavedWorkTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        dialogs_ = openTestWindows(path(QStringLiteral("SpotTally.ini")).toStdString());
        Form1->setWorkingFolder(folder_->path().toStdString());
        QCOMPARE(
            QString::fromStdString(writeJpegFile(plate(), path(QStringLiteral("plate.jpg")).toStdString())),
            QString());
    }
    void cleanup()
    {
        closeTestWindows(dialogs_);
        folder_.reset();
    }

    void savingOverAnotherCountAsksFirst_data();
    void savingOverAnotherCountAsksFirst();
    void correctionsOfAnotherCountAreNotMadeAgain();
    void savingSavesWhatIsShown_data();
    void savingSavesWhatIsShown();
    void damagedPictureIsNamedInItsReport();

private:
    QString path(const QString& name) const { return folder_->filePath(name); }
    QStringList fileLines(const QString& name) const
    {
        return QString::fromLatin1(readAll(path(name))).split(QStringLiteral("\r\n"));
    }
    /// plate.jpg opened as a picture and counted: 12 particles, the count view in front.
    void countPlate()
    {
        QVERIFY(Form1->openChosenPicture(path(QStringLiteral("plate.jpg"))));
        Form1->BnCount->click();
        QCOMPARE(AnalysisState.AutoCount, 12);
        Form2->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form2));
    }
    /// A count of plate.jpg with one particle removed by hand, saved as c_plate.txt and c_plate.edits.
    void saveCorrectedCount()
    {
        countPlate();
        click(markers()[1]);
        QCOMPARE(AnalysisState.AutoCount, 11);
        QVERIFY(Form3->saveReport());
        QVERIFY(QFile::exists(path(QStringLiteral("c_plate.edits"))));
        QVERIFY(dialogs_->keepBothQuestions.isEmpty());  // nothing was there to replace
    }

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void SavedWorkTest::savingOverAnotherCountAsksFirst_data()
{
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
void SavedWorkTest::savingOverAnotherCountAsksFirst()
{
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
void SavedWorkTest::correctionsOfAnotherCountAreNotMadeAgain()
{
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

void SavedWorkTest::savingSavesWhatIsShown_data()
{
    QTest::addColumn<bool>("reopened");
    QTest::newRow("after a refused count") << false;
    QTest::newRow("a report reopened, its picture not counted") << true;
}

// "Save report + marked image" writes the rings of the count its report tells, or says why it does
// not: after a count refused for a field the earlier count stays whole; a reopened report whose picture
// was not counted again keeps the marked picture it has.
void SavedWorkTest::savingSavesWhatIsShown()
{
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
void SavedWorkTest::damagedPictureIsNamedInItsReport()
{
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

    // A sound picture's report has no such line.
    countPlate();
    QVERIFY(Form3->lines().filter(QString::fromLatin1(kDamagedPictureLabel)).isEmpty());

    dialogs_->messages.clear();
    Form1->EdCont->setText(QStringLiteral("9"));
    QVERIFY(Form1->openChosenReport(path(QStringLiteral("c_cut.txt"))));
    QCOMPARE(dialogs_->messageTexts(), QStringList{damage});  // the picture's own warning, nothing else
    QCOMPARE(Form1->EdCont->text(), QString::fromStdString(reportLineValue(saved.value(9).toStdString())));
    QCOMPARE(Form3->lines().value(21), saved.value(21));
}

QTEST_MAIN(SavedWorkTest)
#include "SavedWork_test.moc"
