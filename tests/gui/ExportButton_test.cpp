// The report window's export button: grid-field statistics appended to the report, or the x/y file.

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "support/WindowTest.h"
#include "gui/TForm2.h"

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

class ExportButtonTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    QString path(const char* name) const { return folder_->filePath(QString::fromLatin1(name)); }
    void countPicture(const char* name)
    {
        QVERIFY(QFile::copy(QStringLiteral(SPOTTALLY_SOURCE_DIR "/samples/sample.jpg"), path(name)));
        Form1->setWorkingFolder(folder_->path().toStdString());
        QVERIFY(Form1->loadimage(QString::fromLatin1(name)));
        Form1->BnCount->click();
        QCOMPARE(AnalysisState.AutoCount, 400);
    }

private slots:
    void init()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        dialogs_ = openTestWindows(path("SpotTally.ini").toStdString());
    }
    void cleanup()
    {
        closeTestWindows(dialogs_);
        folder_.reset();
    }

    void statisticsAreAppendedAfterTheReportIsSaved()
    {
        countPicture("plate.jpg");
        const QStringList report = Form3->lines();
        Form3->BnExp->click();
        VERIFY_NO_MESSAGE(dialogs_);
        const QStringList lines = Form3->lines();
        QCOMPARE(lines.mid(0, report.size()), report);
        QCOMPARE(lines.value(report.size()), QStringLiteral("<STATISTICS> "));
        QCOMPARE(lines.value(report.size() + 1), QStringLiteral("<Small field area (um^2):> 625"));
        QCOMPARE(lines.value(report.size() + 2), QStringLiteral("<Fields analysed:> 192"));
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
        QVERIFY(!Form3->BnExp->isEnabled());
        // The saved report holds the text as it was before the statistics.
        const QByteArray saved = readAll(path("c_plate.txt"));
        QVERIFY(saved.startsWith("S p o t T a l l y  REPORT\r\n"));
        QVERIFY(!saved.contains("<STATISTICS>"));
    }

    void xyExportWritesEveryMarker()
    {
        Form1->xydata1->trigger();
        countPicture("plate.jpg");
        const QString report = Form3->Memo1->toPlainText();
        Form3->BnExp->click();
        VERIFY_NO_MESSAGE(dialogs_);
        const QByteArray xy = readAll(path("c_plate.asc"));
        QCOMPARE(xy.count("\r\n"), 400);
        QCOMPARE(xy.count('\n'), 400);
        QCOMPARE(Form3->Memo1->toPlainText(), report);  // the x/y export adds nothing to the report
        QVERIFY(Form3->BnExp->isEnabled());
        QVERIFY(QFile::exists(path("c_plate.txt")));
    }

    // A save that fails ends the command: no statistics under a report that was not written, no x/y
    // file beside it.
    void failedSaveEndsTheExport_data()
    {
        QTest::addColumn<bool>("xy");
        QTest::addColumn<QString>("failure");
        for (bool xy : {false, true}) {
            const char* mode = xy ? "x/y" : "statistics";
            QTest::newRow((std::string(mode) + ", report cannot be written").c_str()) << xy << "unwritable";
            QTest::newRow((std::string(mode) + ", pasted picture not renamed").c_str()) << xy << "pasted";
        }
    }
    void failedSaveEndsTheExport()
    {
        QFETCH(bool, xy);
        QFETCH(QString, failure);
        if (xy) Form1->xydata1->trigger();
        const bool pasted = failure == QStringLiteral("pasted");
        countPicture(pasted ? "CLIPBOARD.jpg" : "plate.jpg");
        if (!pasted) QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("c_plate.txt")));  // in the way
        const QString report = Form3->Memo1->toPlainText();
        QVERIFY(Form3->BnExp->isEnabled());
        Form3->BnExp->click();  // a pasted picture's rename dialog is cancelled
        QCOMPARE(dialogs_->messages.size(), size_t(pasted ? 0 : 1));
        QCOMPARE(Form3->Memo1->toPlainText(), report);
        QVERIFY(!QFile::exists(path(pasted ? "c_CLIPBOARD.asc" : "c_plate.asc")));
        QVERIFY(!QFile::exists(path("c_CLIPBOARD.txt")));
    }

    void statisticsThatCannotBeMadeAppendNothing_data()
    {
        QTest::addColumn<QString>("pixelsPerMm");
        QTest::addColumn<bool>("grid");
        QTest::newRow("no grid") << QStringLiteral("3952") << false;
        QTest::newRow("field below one pixel") << QStringLiteral("30") << true;
        QTest::newRow("more than 255 fields") << QStringLiteral("600") << true;
        QTest::newRow("not a number") << QStringLiteral("39S2") << true;
    }
    void statisticsThatCannotBeMadeAppendNothing()
    {
        QFETCH(QString, pixelsPerMm);
        QFETCH(bool, grid);
        countPicture("plate.jpg");
        if (!grid) Form1->um0->trigger();
        if (grid && pixelsPerMm == QStringLiteral("600")) Form1->um10->trigger();  // 6-pixel fields: 266 across
        Form1->Edpixmm->setText(pixelsPerMm);
        const QString report = Form3->Memo1->toPlainText();
        Form3->BnExp->setEnabled(true);
        Form3->BnExp->click();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(!Form3->Memo1->toPlainText().contains(QStringLiteral("<STATISTICS>")));
    }

    void statisticsWithoutAGridRefuseBeforeSaving()
    {
        countPicture("plate.jpg");
        const QByteArray earlier = "an earlier report of plate.jpg\r\n";
        {
            QFile file(path("c_plate.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(earlier);
        }
        Form1->um0->trigger();
        const QString report = Form3->Memo1->toPlainText();
        Form3->BnExp->setEnabled(true);
        Form3->BnExp->click();
        const QString refusal = QStringLiteral("No statistics without a grid: choose a grid in Options, Grid.");
        QCOMPARE(dialogs_->messageTexts(), QStringList{refusal});
        QCOMPARE(readAll(path("c_plate.txt")), earlier);  // not overwritten
        QCOMPARE(Form3->Memo1->toPlainText(), report);
    }

    void nothingWithoutAReport()
    {
        countPicture("plate.jpg");
        AnalysisState.ReportActive = false;
        Form3->BnExp->click();
        QVERIFY(!QFile::exists(path("c_plate.txt")));
        QVERIFY(!Form3->Memo1->toPlainText().contains(QStringLiteral("<STATISTICS>")));
    }
};

QTEST_MAIN(ExportButtonTest)
#include "ExportButton_test.moc"
