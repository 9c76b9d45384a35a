// The count button in the window, and the headless counter giving the same result for the same picture.

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "picture/PictureLoading.h"
#include "gui/TForm1.h"
#include "report/ReportFile.h"
#include "report/Statistics.h"
#include "gui/TForm3.h"
#include "support/WindowTest.h"
#include "gui/TForm2.h"

namespace {

const QString kSample = QStringLiteral(SPOTTALLY_SOURCE_DIR "/samples/sample.jpg");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class CountButtonTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

private slots:
    void init()
    {
        dialogs_ = openTestWindows(folder_.filePath(QStringLiteral("SpotTally.ini")).toStdString());
        QVERIFY(Form1->loadimage(kSample));
    }
    void cleanup()
    {
        closeTestWindows(dialogs_);
    }

    void countFinishesInRemoveModeWithTheCountViewAndTheReport()
    {
        AnalysisState.ManualAdded = 3;
        Form2->Zoom1Click();  // 90 %: the count keeps the zoom
        Form1->BnCount->click();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(AnalysisState.AutoCount, 400);
        QCOMPARE(AnalysisState.ManualAdded, 0);
        QVERIFY(AnalysisState.TotalAreaPixels > 400 * 9);
        QVERIFY(!AnalysisState.AddMode);
        QCOMPARE(Form2->Orig1->text(), QStringLiteral("&[Click mode=] Remove"));
        QCOMPARE(AnalysisState.ViewMode, kViewCount);
        QCOMPARE(Form2->ToggleimageOriginal1->text(), QStringLiteral("[Flip image=] Count "));
        QCOMPARE(AnalysisState.ZoomPercent, 90);
        QVERIFY(AnalysisState.ReportActive);
        QVERIFY(Form3->isVisible());
        QVERIFY(Form3->BnSaverep->isEnabled());
        QVERIFY(Form3->BnSavepic->isEnabled());
        QVERIFY(Form3->BnExp->isEnabled());
        const QStringList lines = Form3->lines();
        QVERIFY(lines.size() >= 21);
        QCOMPARE(lines[15], QStringLiteral("<Particles counted:> 400"));
        // A second run gives the same layers.
        const Layers first = Form2->layers();
        Form1->BnCount->click();
        QVERIFY(Form2->layers().Image2 == first.Image2);
        QVERIFY(Form2->layers().Image3 == first.Image3);
    }

    void exportButtonAfterACount_data()
    {
        // On whenever the export can work: x/y data always, statistics only with a grid to count in.
        QTest::addColumn<QString>("exportItem");
        QTest::addColumn<bool>("grid");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("statistics") << QStringLiteral("statistics") << true << true;
        QTest::newRow("statistics, no grid") << QStringLiteral("statistics") << false << false;
        QTest::newRow("x/y") << QStringLiteral("xy") << true << true;
        QTest::newRow("x/y, no grid") << QStringLiteral("xy") << false << true;
        QTest::newRow("off") << QStringLiteral("off") << true << false;
        QTest::newRow("off, no grid") << QStringLiteral("off") << false << false;
    }
    void exportButtonAfterACount()
    {
        QFETCH(QString, exportItem);
        QFETCH(bool, grid);
        QFETCH(bool, enabled);
        Form3->BnExp->setEnabled(true);  // left from an earlier report
        (exportItem == QStringLiteral("xy") ? Form1->xydata1 : exportItem == QStringLiteral("off") ? Form1->Off1
                                                                                               : Form1->Statistics1)
            ->trigger();
        if (!grid) Form1->um0->trigger();
        Form1->BnCount->click();
        QCOMPARE(Form3->BnExp->isEnabled(), enabled);
        Form3->Memo1->appendPlainText(QStringLiteral("a comment"));  // the change rule agrees
        QCOMPARE(Form3->BnExp->isEnabled(), enabled);
    }

    // The grid, the scale bar and the results all read "Pixels / mm": a count with a bad one says so
    // once, whichever of them is first to read it, and does not go on to the report.
    void badPixelsPerMmIsToldOnce_data()
    {
        QTest::addColumn<bool>("grid");
        QTest::addColumn<bool>("scale");
        QTest::addColumn<QString>("pixelsPerMm");
        for (const char* text : {"abc", "0"}) {
            QTest::newRow((std::string("grid and scale, ") + text).c_str()) << true << true << text;
            QTest::newRow((std::string("scale only, ") + text).c_str()) << false << true << text;
            QTest::newRow((std::string("grid only, ") + text).c_str()) << true << false << text;
            QTest::newRow((std::string("neither, ") + text).c_str()) << false << false << text;
        }
    }
    void badPixelsPerMmIsToldOnce()
    {
        QFETCH(bool, grid);
        QFETCH(bool, scale);
        QFETCH(QString, pixelsPerMm);
        if (!grid) Form1->um0->trigger();
        if (!scale) Form1->Noscale1->trigger();
        Form1->BnCount->click();  // a good count first: its report stays as it is
        VERIFY_NO_MESSAGE(dialogs_);
        const QString reportBefore = Form3->Memo1->toPlainText();
        QVERIFY(reportBefore.contains(QStringLiteral("<Particles counted:> 400")));
        Form1->Edpixmm->setText(pixelsPerMm);
        Form1->BnCount->click();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY2(dialogs_->messages[0].text.contains(QStringLiteral("Pixels / mm")) ||
                     dialogs_->messages[0].text.contains(QStringLiteral("pixels / mm")),
                 qPrintable(dialogs_->messages[0].text));
        QCOMPARE(Form3->Memo1->toPlainText(), reportBefore);
        QCOMPARE(AnalysisState.AutoCount, 400);  // the earlier count, still shown
        QCOMPARE(Form2->frontLayer(), Form2->Image2);
    }

    void nothingFoundStillWritesTheReport()
    {
        Form1->EdR->setText(QStringLiteral("255"));
        Form1->EdG->setText(QStringLiteral("0"));
        Form1->EdB->setText(QStringLiteral("0"));
        Form1->EdBKeyUp();
        Form1->BnCount->click();
        QCOMPARE(AnalysisState.AutoCount, 0);
        QCOMPARE(Form3->lines().value(17), QStringLiteral("<Particles per filter:> ") +
                                               (QLocale::system().decimalPoint() == QStringLiteral(",")
                                                    ? QStringLiteral("0,00E+00")
                                                    : QStringLiteral("0.00E+00")));
    }

    // A field the count cannot use refuses it before anything changes: the rings, the record and the
    // report stay those of the earlier count, and agree.
    void badFieldLeavesTheEarlierCount()
    {
        Form1->BnCount->click();
        const QString reportBefore = Form3->Memo1->toPlainText();
        const Picture ringsBefore = Form2->layers().Image2;
        const auto areaBefore = AnalysisState.TotalAreaPixels;
        AnalysisState.ManualRemoved = 2;
        Form1->EdCont->setText(QStringLiteral("4o"));
        Form1->BnCount->click();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("4o")));
        QCOMPARE(AnalysisState.AutoCount, 400);
        QCOMPARE(AnalysisState.ManualRemoved, 2);
        QCOMPARE(AnalysisState.TotalAreaPixels, areaBefore);
        QVERIFY(Form2->layers().Image2 == ringsBefore);
        QVERIFY(Form2->layers().Image2 != Form2->layers().Image1);
        QCOMPARE(Form3->Memo1->toPlainText(), reportBefore);
    }

    void counterGivesTheWindowsResult()
    {
        Form1->BnCount->click();
        const QDir out(folder_.filePath(QStringLiteral("counter")));
        QProcess counter;
        counter.start(QStringLiteral(SPOTTALLY_BINARY_DIR "/spottally-count"),
                      {QStringLiteral("--out"), out.path(), QStringLiteral("--marked"), QStringLiteral("--xy"),
                       QStringLiteral("--summary"), out.filePath(QStringLiteral("summary.csv")), kSample});
        QVERIFY(counter.waitForFinished(60000));
        QCOMPARE(counter.exitCode(), 0);

        // Report lines: all but the date line.
        const ReportReading saved = readReportFile(out.filePath(QStringLiteral("c_sample.txt")).toStdString());
        QCOMPARE(saved.error, std::string());
        std::vector<std::string> windowLines;
        for (const QString& line : Form3->lines()) windowLines.push_back(line.toStdString());
        rewriteNameLines(windowLines, AnalysisState.ImageFileName);
        QCOMPARE(saved.lines.size(), windowLines.size());
        for (std::size_t i = 0; i < windowLines.size(); ++i)
            if (i != 14) QCOMPARE(saved.lines[i], windowLines[i]);

        // Area and markers.
        const QByteArray summary = readAll(out.filePath(QStringLiteral("summary.csv")));
        QVERIFY(summary.trimmed().endsWith("," + QByteArray::number(qlonglong(AnalysisState.TotalAreaPixels))));
        TAnalysisState markers;
        scanMarkerPositions(Form2->layers().Image3, markers);
        QCOMPARE(readAll(out.filePath(QStringLiteral("c_sample.asc"))), QByteArray::fromStdString(xyDataText(markers.MarkerList)));

        // The marked picture: the count view with rings, grid and scale bar, encoded the same way.
        const QString windowMarked = folder_.filePath(QStringLiteral("window_marked.jpg"));
        QCOMPARE(QString::fromStdString(writeJpegFile(Form2->layers().Image2, windowMarked.toStdString())), QString());
        QCOMPARE(readAll(out.filePath(QStringLiteral("c_sample.jpg"))), readAll(windowMarked));
    }
};

QTEST_MAIN(CountButtonTest)
#include "CountButton_test.moc"
