// The particle table from the window's export button, equal to the counter's, with the corrections
// made by hand; and "Pool reports…": saved reports of one filter into one pooled result.

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"
#include "report/Pooling.h"
#include "support/WindowTest.h"

namespace {

const QString kSample = QStringLiteral(SPOTTALLY_SOURCE_DIR "/samples/sample.jpg");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int runCounter(const QStringList& arguments, QByteArray* out = nullptr)
{
    QProcess counter;
    counter.start(QStringLiteral(SPOTTALLY_BINARY_DIR "/spottally-count"), arguments);
    if (!counter.waitForFinished(60000)) return -1;
    if (out) *out = counter.readAllStandardOutput();
    return counter.exitCode();
}

QList<QByteArrayList> csvRows(const QByteArray& text)
{
    QList<QByteArrayList> rows;
    for (const QByteArray& line : text.split('\n'))
        if (!line.isEmpty()) rows << line.split(',');
    return rows;
}

}  // namespace

class ParticleTableTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    QString path(const QString& name) const { return folder_->filePath(name); }

private slots:
    void init()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        dialogs_ = openTestWindows(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString());
        Form1->setWorkingFolder(folder_->path().toStdString());
    }
    void cleanup()
    {
        closeTestWindows(dialogs_);
        folder_.reset();
    }

    void tableEqualsTheCountersAndShowsCorrections()
    {
        QVERIFY(QFile::copy(kSample, path(QStringLiteral("sample.jpg"))));
        QVERIFY(Form1->loadimage(QStringLiteral("sample.jpg")));
        Form1->BnCount->click();
        QCOMPARE(AnalysisState.AutoCount, 400);
        Form1->Particletable1->trigger();
        QCOMPARE(Form1->Exportxyvalues1->title(), QStringLiteral("&Export= particle table"));
        QCOMPARE(Form3->BnExp->text(), QStringLiteral("Export particle table"));
        QVERIFY(Form3->BnExp->isEnabled());
        Form3->BnExp->click();
        VERIFY_NO_MESSAGE(dialogs_);
        const QByteArray windowTable = readAll(path(QStringLiteral("c_sample.csv")));

        const QString out = path(QStringLiteral("counter"));
        QCOMPARE(runCounter({QStringLiteral("--out"), out, QStringLiteral("--particles"), kSample}), 0);
        QCOMPARE(windowTable, readAll(out + QStringLiteral("/c_sample.csv")));
        QList<QByteArrayList> rows = csvRows(windowTable);
        QCOMPARE(rows.size(), 401);
        qlonglong areas = 0;
        for (qsizetype i = 1; i < rows.size(); ++i) areas += rows[i][5].toLongLong();
        QCOMPARE(areas, qlonglong(AnalysisState.TotalAreaPixels));

        // Remove the fifth particle (a click 2 pixels off its marker), then add one by hand.
        const int x = rows[5][1].toInt(), y = rows[5][2].toInt();
        QVERIFY(!AnalysisState.AddMode);
        Form2->Image2MouseUp(Qt::LeftButton, Qt::NoModifier, QPoint(x + 2, y + 1));
        QCOMPARE(AnalysisState.ManualRemoved, 1);
        Form2->Orig1Click();  // add mode
        QVERIFY(AnalysisState.AddMode);
        Form2->Image2MouseUp(Qt::LeftButton, Qt::NoModifier, QPoint(800, 600));
        QCOMPARE(AnalysisState.ManualAdded, 1);
        Form3->BnExpClick();
        VERIFY_NO_MESSAGE(dialogs_);
        rows = csvRows(readAll(path(QStringLiteral("c_sample.csv"))));
        QCOMPARE(rows.size() - 1, AnalysisState.AutoCount + AnalysisState.ManualRemoved);
        QCOMPARE(rows[5].mid(11), (QByteArrayList{"0", "1"}));
        QCOMPARE(rows[401],
                 (QByteArrayList{"401", "800", "600", "", "", "0", "0.000", "0.000", "", "", "", "1", "0"}));
        int removed = 0;
        for (qsizetype i = 1; i < rows.size(); ++i) removed += rows[i][12] == "1";
        QCOMPARE(removed, 1);

        // A new picture takes the particles and the results along: the export refuses until it is
        // counted, and the table written for the count stays as it was.
        QVERIFY(Form1->loadimage(QStringLiteral("sample.jpg")));
        QVERIFY(Form2->particles().particles.empty());
        Form3->BnExpClick();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("not been counted")));
        QCOMPARE(csvRows(readAll(path(QStringLiteral("c_sample.csv")))).size(), 402);
    }

    void poolReportsShowsAndSavesThePooledResult()
    {
        QVERIFY(QFile::copy(kSample, path(QStringLiteral("a.jpg"))));
        QVERIFY(QFile::copy(kSample, path(QStringLiteral("b.jpg"))));
        QCOMPARE(runCounter({path(QStringLiteral("a.jpg")), path(QStringLiteral("b.jpg"))}), 0);
        QByteArray line;
        QCOMPARE(runCounter({QStringLiteral("--pool"), path(QStringLiteral("counter-pooled.txt")),
                             path(QStringLiteral("c_a.txt")), path(QStringLiteral("c_b.txt"))},
                            &line),
                 0);
        QVERIFY(line.endsWith("\tpoisson\n"));

        // An unsaved report in the window is not replaced: the user is told to save it first.
        QVERIFY(Form1->loadimage(QStringLiteral("a.jpg")));
        Form1->BnCount->click();
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_a.txt")));
        Form1->Poolreports1->trigger();
        QCOMPARE(dialogs_->messageTexts(), QStringList{QString::fromUtf8(kPoolUnsavedReportWarning)});
        QVERIFY(dialogs_->fileDialogs.empty());
        QCOMPARE(Form3->lines().value(15), QStringLiteral("<Particles counted:> 400"));
        dialogs_->messages.clear();
        dialogs_->fileAnswers.clear();
        Form3->BnSaverepClick();

        dialogs_->answerNextFileDialog(path(QStringLiteral("c_a.txt")) + QLatin1Char('\n') +
                                       path(QStringLiteral("c_b.txt")));
        dialogs_->answerNextFileDialog(path(QStringLiteral("pooled.txt")));
        Form1->Poolreports1->trigger();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(dialogs_->fileDialogs.size(), size_t(2));
        QCOMPARE(dialogs_->fileDialogs[1].initialDirectory, folder_->path());
        QCOMPARE(Form3->lines().value(1), QStringLiteral("<Fields pooled:> 2"));
        QVERIFY(Form3->isVisible());
        QVERIFY(!Form3->BnSaverep->isEnabled());  // the pooled text is no picture's report
        QVERIFY(!AnalysisState.ReportActive);
        QCOMPARE(readAll(path(QStringLiteral("pooled.txt"))),
                 readAll(path(QStringLiteral("counter-pooled.txt"))));

        // A report whose picture is missing: a warning naming it, nothing pooled or saved.
        QVERIFY(QFile::remove(path(QStringLiteral("b.jpg"))));
        QVERIFY(QFile::remove(path(QStringLiteral("pooled.txt"))));
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_a.txt")) + QLatin1Char('\n') +
                                       path(QStringLiteral("c_b.txt")));
        dialogs_->answerNextFileDialog(path(QStringLiteral("pooled.txt")));
        Form1->Poolreports1->trigger();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("b.jpg")));
        QVERIFY(!QFile::exists(path(QStringLiteral("pooled.txt"))));
    }
};

QTEST_MAIN(ParticleTableTest)
#include "ParticleTable_test.moc"
