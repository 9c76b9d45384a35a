// The report window: report(), calcres() and the change rule, driven on the offscreen platform.

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "support/WindowTest.h"

class TForm3Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    static QStringList workedExample()
    {
        return {
            "S p o t T a l l y  REPORT",
            "<do not change - except comments> ",
            "<Report file:> c_sample.txt",
            "<Image file analysed:> sample.jpg",
            "<Minimum size:> 5",
            "<Maximum size:> 8",
            "<Colour R / G / B:> 121 / 223 / 95",
            "<Colour tolerance:> 40",
            "<Brightness tolerance:> 50",
            "<Minimum contrast:> 40",
            "<Pixels per mm:> 3952",
            "<Filter area (mm^2):> 378",
            "<Sample volume (cm^3):> 0,143",
            "<_______________________________> ",
            "<RESULTS> 07.03.2026  09:05:03",
            "<Particles counted:> 100",
            "<including manually removed / added:> 0 / 0",
            "<Particles per filter:> 3,07E+05",
            "<Particles per cm^3 of sample:> 2,15E+06",
            "<_______________________________>",
            "<Comments: Total area (pixels):> 6,50E+02",
        };
    }

private slots:
    void init()
    {
        setDecimalSeparator(',');
        dialogs_ = openTestWindows((folder_.path() + "/SpotTally.ini").toStdString());
        Form1->setParameterTexts(ParameterTexts{});
        AnalysisState.ImageWidth = 1600;
        AnalysisState.ImageHeight = 1200;
        AnalysisState.AutoCount = 100;
        AnalysisState.TotalAreaPixels = 650;
        AnalysisState.ImageFileName = "sample.jpg";
        AnalysisState.ExportMode = kExportOff;
        RegionalDateTime german;  // dd.MM.yyyy, 24 hours
        Form3->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)); }, german);
    }

    void cleanup()
    {
        closeTestWindows(dialogs_);
        setDecimalSeparator('\0');
    }

    void startsHiddenWithItsCaption()
    {
        QVERIFY(!Form3->isVisible());
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally - Report"));
        QVERIFY(!Form3->BnExp->isEnabled());
        QVERIFY(Form3->BnSaverep->isEnabled());
    }

    void reportWritesTheWorkedExample()
    {
        AnalysisState.ExportMode = kExportStatistics;
        Form3->report();
        QCOMPARE(Form3->lines(), workedExample());
        QVERIFY(Form3->isVisible());
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
        QVERIFY(Form3->BnExp->isEnabled());
        VERIFY_NO_MESSAGE(dialogs_);
    }

    void badSampleVolumeLeavesTheWindowAsItWas()
    {
        Form3->Memo1->setPlainText("earlier text");
        Form3->setWindowTitle("SpotTally Report");
        Form1->EdVol->setText("0,1.43");
        Form3->report();
        QCOMPARE(Form3->Memo1->toPlainText(), QStringLiteral("earlier text"));
        QVERIFY(!Form3->isVisible());
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report"));
        QCOMPARE(dialogs_->messages.size(), std::size_t{1});
        QVERIFY(dialogs_->messages[0].text.contains("0,1.43"));
    }

    void calcresKeepsUserComments()
    {
        Form3->report();
        QTextCursor cursor(Form3->Memo1->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(" counted twice");  // typed at the end of line 20
        cursor.insertBlock();
        cursor.insertText("a comment of my own");
        QStringList expected = Form3->lines();
        Form3->setWindowTitle("SpotTally Report");
        AnalysisState.AutoCount = 99;
        AnalysisState.ManualRemoved = 2;
        AnalysisState.ManualAdded = 1;
        Form3->calcres();
        expected[15] = "<Particles counted:> 99";
        expected[16] = "<including manually removed / added:> 2 / 1";
        expected[17] = "<Particles per filter:> 3,04E+05";
        expected[18] = "<Particles per cm^3 of sample:> 2,13E+06";
        QCOMPARE(Form3->lines(), expected);
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
    }

    void calcresOnAShortTextAddsNoLine()
    {
        Form3->Memo1->setPlainText("/pictures/");
        Form3->calcres();
        QCOMPARE(Form3->Memo1->toPlainText(), QStringLiteral("/pictures/"));
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
        QVERIFY(!Form3->isVisible());  // calcres never shows the window
        QStringList sixteen;
        for (int i = 0; i < 16; ++i) sixteen << QString::number(i);
        Form3->Memo1->setPlainText(sixteen.join('\n'));
        Form3->calcres();
        QCOMPARE(Form3->lines().size(), 16);
        QCOMPARE(Form3->lines()[15], QStringLiteral("<Particles counted:> 100"));
        QCOMPARE(Form3->lines()[14], QStringLiteral("14"));
    }

    void changeRuleFollowsTheExportMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("enabledBefore");
        QTest::addColumn<bool>("enabledAfter");
        QTest::newRow("off, disabled") << int(kExportOff) << false << false;
        QTest::newRow("off, enabled") << int(kExportOff) << true << true;  // the rule never disables
        QTest::newRow("x/y") << int(kExportXY) << false << true;
        QTest::newRow("statistics") << int(kExportStatistics) << false << true;
    }

    void changeRuleFollowsTheExportMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, enabledBefore);
        QFETCH(bool, enabledAfter);
        AnalysisState.ExportMode = static_cast<std::uint8_t>(mode);
        Form3->BnExp->setEnabled(enabledBefore);
        QTest::keyClicks(Form3->Memo1, "typed");
        QCOMPARE(Form3->BnExp->isEnabled(), enabledAfter);
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report (unsaved)"));
    }

    void enterBreaksNoLine()
    {
        Form3->Memo1->setPlainText("one line");
        Form3->Memo1->moveCursor(QTextCursor::End);
        QTest::keyClick(Form3->Memo1, Qt::Key_Return);
        QTest::keyClick(Form3->Memo1, Qt::Key_Enter);
        QCOMPARE(Form3->Memo1->toPlainText(), QStringLiteral("one line"));
    }

    void reportFileLinesFollowTheText()
    {
        Form3->Memo1->setPlainText("a\nb\n");
        QCOMPARE(Form3->reportFileLines(), (std::vector<std::string>{"a", "b"}));
        Form3->Memo1->clear();
        QVERIFY(Form3->reportFileLines().empty());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TForm3Test test;
    return QTest::qExec(&test, argc, argv);
}

#include "TForm3_test.moc"
