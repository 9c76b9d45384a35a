// The main window: start-up state, the colour panel, the option menus and the settings file.

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "core/Version.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "support/WindowTest.h"
#include "gui/TForm2.h"

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class TForm1Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    QString settingsPath() const { return folder_.filePath(QStringLiteral("SpotTally.ini")); }
    void start()
    {
        dialogs_ = openTestWindows(settingsPath().toStdString());
    }
    void typeColour(const char* red, const char* green, const char* blue)
    {
        Form1->EdR->setText(QString::fromLatin1(red));
        Form1->EdG->setText(QString::fromLatin1(green));
        Form1->EdB->setText(QString::fromLatin1(blue));
        Form1->EdBKeyUp();
    }

private slots:
    void cleanup()
    {
        closeTestWindows(dialogs_);
        QFile::remove(settingsPath());
    }

    void startUpState()
    {
        start();
        QCOMPARE(AnalysisState.GridMicrons, 25);
        QCOMPARE(AnalysisState.ScaleMicrons, 25);
        QCOMPARE(AnalysisState.ExportMode, kExportStatistics);
        QVERIFY(AnalysisState.AddMode);
        QVERIFY(!AnalysisState.ReportActive);
        QCOMPARE(AnalysisState.ViewMode, 0);
        QCOMPARE(AnalysisState.ZoomPercent, 0);
        QCOMPARE(AnalysisState.ImageWidth, 0);
        QVERIFY(!Form1->BnCount->isEnabled());
        QCOMPARE(Form1->PnColorColour(), rgbColour(121, 223, 95));
        QCOMPARE(Form1->PnColor->palette().color(QPalette::Window), QColor(121, 223, 95));
        QVERIFY(!Form2->isVisible());
        QVERIFY(!Form3->isVisible());
        QCOMPARE(Form1->windowTitle(), QStringLiteral("SpotTally"));
        QCOMPARE(Form1->Nogrid1->title(), QStringLiteral("Grid= 25 um"));
        QCOMPARE(Form1->N1001->title(), QStringLiteral("Scale= 25 um"));
        QCOMPARE(Form1->Exportxyvalues1->title(), QStringLiteral("Export data= Statistics"));
        QCOMPARE(Form1->BnCount->text(), QStringLiteral("SpotTally"));
        VERIFY_NO_MESSAGE(dialogs_);
        // No settings file: both dialogs open in their default folder.
        QVERIFY(Form1->OpenDialog1.initialDirectory.isEmpty());
        QVERIFY(Form1->OpenDialog2.initialDirectory.isEmpty());
    }

    void defaultVolumeConvertsWithEitherSeparator_data()
    {
        QTest::addColumn<char>("separator");
        QTest::newRow("comma") << ',';
        QTest::newRow("point") << '.';
    }
    void defaultVolumeConvertsWithEitherSeparator()
    {
        QFETCH(char, separator);
        setDecimalSeparator(separator);
        start();
        const QString text = Form1->EdVol->text();
        setDecimalSeparator('\0');
        QCOMPARE(text, separator == ',' ? QStringLiteral("0,143") : QStringLiteral("0.143"));
        QCOMPARE(parseDecimal(text.toStdString()).value_or(0), 0.143);
    }

    void colourPanel()
    {
        start();
        // 300 red is red 44 and green 1: no range check, the sum decides.
        typeColour("300", "0", "0");
        QCOMPARE(Form1->PnColorColour(), 300u);
        QCOMPARE(colourRed(Form1->PnColorColour()), 44);
        QCOMPARE(colourGreen(Form1->PnColorColour()), 1);
        typeColour("10", "20", "30");
        QCOMPARE(Form1->PnColorColour(), rgbColour(10, 20, 30));
        // Texts that sort before "0" leave the panel unchanged without a message.
        for (const char* text : {"", "-5", " 7", "+1", ".5"}) {
            typeColour(text, "20", "30");
            QCOMPARE(Form1->PnColorColour(), rgbColour(10, 20, 30));
            typeColour("10", "20", text);
            QCOMPARE(Form1->PnColorColour(), rgbColour(10, 20, 30));
        }
        VERIFY_NO_MESSAGE(dialogs_);
        // An emptied green field keeps the panel until all three are filled again.
        typeColour("99", "", "30");
        QCOMPARE(Form1->PnColorColour(), rgbColour(10, 20, 30));
        typeColour("99", "5", "30");
        QCOMPARE(Form1->PnColorColour(), rgbColour(99, 5, 30));
        // A text that passes the comparison but is no number: a message, the panel unchanged.
        typeColour("12a", "5", "30");
        QCOMPARE(Form1->PnColorColour(), rgbColour(99, 5, 30));
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("12a")));
    }

    void colourPanelFollowsKeyRelease()
    {
        start();
        Form1->EdR->setText(QString());
        QTest::keyClicks(Form1->EdR, QStringLiteral("200"));
        QCOMPARE(Form1->PnColorColour(), rgbColour(200, 223, 95));
    }

    void labelsShowWhole_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("default font") << 1.0;
        QTest::newRow("150 %") << 1.5;
    }
    void labelsShowWhole()
    {
        QFETCH(double, scale);
        start();
        if (scale != 1.0) {
            QFont font = Form1->font();
            font.setPixelSize(qRound(font.pixelSize() * scale));
            Form1->setFont(font);
        }
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        const QList<QLabel*> labels = Form1->findChildren<QLabel*>();
        QVERIFY(labels.size() >= 13);
        for (const QLabel* label : labels) {
            const QSize text = label->sizeHint();
            const QRect place(label->pos(), text);
            const QString name = label->text();
            QVERIFY2(label->width() >= text.width(), qPrintable(name));
            // Nothing to its right in its row starts before its text ends ...
            const QList<QWidget*> siblings = label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (const QWidget* other : siblings) {
                if (other == label || !other->isVisible()) continue;
                const QRect g = other->geometry();
                const bool sameRow = g.top() <= place.bottom() && g.bottom() >= place.top();
                if (sameRow && g.left() > place.left())
                    QVERIFY2(g.left() > place.right(),
                             qPrintable(name + QStringLiteral(" runs into a field")));
            }
            // ... and its box holds it.
            QVERIFY2(place.right() < label->parentWidget()->width(),
                     qPrintable(name + QStringLiteral(" leaves its box")));
        }
        // The boxes' titles show whole, and the boxes lie side by side inside the window.
        for (const QGroupBox* box : Form1->findChildren<QGroupBox*>()) {
            QVERIFY2(box->width() >= box->minimumSizeHint().width(), qPrintable(box->title()));
            QVERIFY2(box->geometry().right() < box->parentWidget()->width(), qPrintable(box->title()));
        }
        QVERIFY(Form1->GBcolor->x() > Form1->GBsize->geometry().right());
        QVERIFY(Form1->GBcolor->x() > Form1->GbParam->geometry().right());
    }

    void gridMenu()
    {
        start();
        struct Row {
            QAction* item;
            int microns;
            const char* caption;
        };
        const Row rows[] = {{Form1->um100, 100, "Grid= 100 um"}, {Form1->um50, 50, "Grid= 50 um"},
                            {Form1->N20um1, 20, "Grid= 20 um"},  {Form1->um10, 10, "Grid= 10 um"},
                            {Form1->um0, 0, "Grid= Off"},        {Form1->um25, 25, "Grid= 25 um"}};
        for (const Row& row : rows) {
            row.item->trigger();
            QCOMPARE(int(AnalysisState.GridMicrons), row.microns);
            QCOMPARE(Form1->Nogrid1->title(), QString::fromLatin1(row.caption));
        }
        QCOMPARE(Form1->um0->text(), QStringLiteral("No grid"));
    }

    void scaleMenu()
    {
        start();
        struct Row {
            QAction* item;
            int microns;
            const char* caption;
        };
        const Row rows[] = {{Form1->scale100, 100, "Scale= 100 um"}, {Form1->N50um1, 50, "Scale= 50 um"},
                            {Form1->N201, 20, "Scale= 20 um"},       {Form1->N10um1, 10, "&Scale= 10 um"},
                            {Form1->Noscale1, 0, "No scale"},        {Form1->N25um1, 25, "Scale= 25 um"}};
        for (const Row& row : rows) {
            row.item->trigger();
            QCOMPARE(int(AnalysisState.ScaleMicrons), row.microns);
            QCOMPARE(Form1->N1001->title(), QString::fromLatin1(row.caption));
        }
    }

    void exportMenu()
    {
        start();
        Form1->xydata1->trigger();
        QCOMPARE(AnalysisState.ExportMode, kExportXY);
        QCOMPARE(Form1->Exportxyvalues1->title(), QStringLiteral("&Export= x/y data"));
        QCOMPARE(Form3->BnExp->text(), QStringLiteral("Export x/y data"));
        const bool enabled = Form3->BnExp->isEnabled();
        Form1->Off1->trigger();
        QCOMPARE(AnalysisState.ExportMode, kExportOff);
        QCOMPARE(Form1->Exportxyvalues1->title(), QStringLiteral("Export data= Off"));
        QCOMPARE(Form3->BnExp->text(), QStringLiteral("Export x/y data"));  // "Off" keeps the caption
        QCOMPARE(Form3->BnExp->isEnabled(), enabled);
        Form1->Statistics1->trigger();
        QCOMPARE(AnalysisState.ExportMode, kExportStatistics);
        QCOMPARE(Form1->Exportxyvalues1->title(), QStringLiteral("Export data= Statistics"));
        QCOMPARE(Form3->BnExp->text(), QStringLiteral("Statistics"));
        Form1->Off1->trigger();
        QCOMPARE(Form3->BnExp->text(), QStringLiteral("Statistics"));
    }

    void settingsFirstLineOnly()
    {
        writeAll(settingsPath(), "/data/plates/\r\nsomething else\r\nand more");
        start();
        QCOMPARE(Form1->OpenDialog1.initialDirectory, QStringLiteral("/data/plates/"));
        QCOMPARE(Form1->OpenDialog2.initialDirectory, QStringLiteral("/data/plates/"));
    }

    void settingsWithoutLineEnd()
    {
        writeAll(settingsPath(), "/only/line/");
        start();
        QCOMPARE(Form1->OpenDialog1.initialDirectory, QStringLiteral("/only/line/"));
    }

    void unreadableSettingsAreReportedAndTheStartGoesOn()
    {
        QVERIFY(QDir(folder_.path()).mkdir(QStringLiteral("SpotTally.ini")));  // a folder: exists, unreadable
        start();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("SpotTally.ini")));
        QVERIFY(Form1->OpenDialog1.initialDirectory.isEmpty());
        QCOMPARE(AnalysisState.GridMicrons, 25);
        destroyForms();
        QVERIFY(QDir(folder_.path()).rmdir(QStringLiteral("SpotTally.ini")));
    }

    void cancelledOpenWritesOneEmptyLine()
    {
        start();
        Form3->Memo1->setPlainText(QStringLiteral("some report"));
        Form3->show();
        Form1->Openimage1Click();  // nothing scripted: the dialog is cancelled
        QCOMPARE(dialogs_->fileDialogs.size(), size_t(1));
        QCOMPARE(dialogs_->fileDialogs[0].filter,
                 QStringLiteral("Images|*.jpg;*.jpeg;*.jpe;*.bmp;*.tif;*.tiff;*.png|All files|*.*"));
        QCOMPARE(readAll(settingsPath()), QByteArray("\r\n"));
        QVERIFY(Form3->Memo1->toPlainText().isEmpty());
        QVERIFY(!Form3->isVisible());
        QVERIFY(!Form1->BnCount->isEnabled());
    }

    void openWritesThePictureFolder()
    {
        start();
        const QString picture = folder_.filePath(QStringLiteral("plate.bmp"));
        QImage image(4, 3, QImage::Format_RGB888);
        image.fill(Qt::darkGreen);
        QVERIFY(image.save(picture, "BMP"));
        dialogs_->answerNextFileDialog(picture);
        Form1->Openimage1Click();
        // The folder line first; the recent pictures follow it.
        const QByteArray expected = (folder_.path() + QStringLiteral("/\r\nrecent-picture=") + picture + "\r\n").toLocal8Bit();
        QCOMPARE(readAll(settingsPath()), expected);
        QCOMPARE(AnalysisState.ImageFileName, std::string("plate.bmp"));
        QVERIFY(Form1->BnCount->isEnabled());
        // A later cancel writes the folder chosen last time.
        Form1->Openimage1Click();
        QCOMPARE(readAll(settingsPath()), expected);
    }

    // The fields start with the parameters of the last count, kept beside the folder line when the program
    // ends; the menu item "Default parameters" brings the defaults back. A line that cannot be a field's
    // text is ignored.
    void fieldsStartWithTheLastCountsParameters()
    {
        writeAll(settingsPath(), "/data/plates/\r\n");
        start();
        Form2->layers().Image1 = Picture(60, 40);
        Form1->newpictureparams(QStringLiteral("plate.jpg"));
        // Each field, the text the count used and the field's text at start.
        struct Field {
            QLineEdit* TForm1::*field;
            const char* used;
            const char* initial;
        };
        const Field fields[] = {{&TForm1::Edmin, "4", "5"},        {&TForm1::EdMax, "9", "8"},
                                {&TForm1::Edpixmm, "2000", "3952"}, {&TForm1::Edfilter, "12", "378"},
                                {&TForm1::EdVol, "1", nullptr},     {&TForm1::EdR, "110", "121"},
                                {&TForm1::EdG, "200", "223"},       {&TForm1::EdB, "90", "95"},
                                {&TForm1::EdDevi, "35", "40"},      {&TForm1::Edhell, "45", "50"},
                                {&TForm1::EdCont, "30", "40"}};
        for (const Field& f : fields) (Form1->*f.field)->setText(QString::fromLatin1(f.used));
        Form1->EdBKeyUp();
        Form1->BnCount->click();
        VERIFY_NO_MESSAGE(dialogs_);
        Form1->Edmin->setText(QStringLiteral("7"));  // typed after the count: not used, not kept
        QCOMPARE(readAll(settingsPath()), QByteArray("/data/plates/\r\n"));  // a count writes nothing
        // The program ended and started again (a test's own start forgets the parameters).
        const auto restart = [this] {
            Form1->close();
            destroyForms();
            createForms(settingsPath().toStdString());
        };
        restart();
        for (const Field& f : fields) QCOMPARE((Form1->*f.field)->text(), QString::fromLatin1(f.used));
        QCOMPARE(Form1->PnColorColour(), rgbColour(110, 200, 90));
        QVERIFY(readAll(settingsPath()).startsWith("/data/plates/\r\n"));
        Form1->Defaultparameters1->trigger();
        for (const Field& f : fields)
            QCOMPARE((Form1->*f.field)->text(), f.initial ? QString::fromLatin1(f.initial)
                                                          : QString::fromStdString(withRegionalSeparator("0.143")));
        QCOMPARE(Form1->PnColorColour(), rgbColour(121, 223, 95));

        // A count whose report cannot be written leaves the parameters kept as they were.
        Form1->Edpixmm->setText(QStringLiteral("abc"));
        Form2->layers().Image1 = Picture(60, 40);
        Form1->newpictureparams(QStringLiteral("plate.jpg"));
        dialogs_->messages.clear();
        Form1->BnCount->click();
        QVERIFY(!dialogs_->messages.empty());
        dialogs_->messages.clear();
        restart();
        QCOMPARE(Form1->Edpixmm->text(), QStringLiteral("2000"));

        writeAll(settingsPath(), "/data/plates/\r\nparameter-min-size=" + QByteArray(65, '3') +
                                     "\r\nparameter-max-size=12\r\nparameter-red=1\r\nparameter-red=2\r\n");
        restart();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form1->Edmin->text(), QStringLiteral("5"));
        QCOMPARE(Form1->EdMax->text(), QStringLiteral("12"));
        QCOMPARE(Form1->EdR->text(), QStringLiteral("121"));  // twice: neither
    }

    void unwritableSettingsLeavesTheLineShowing()
    {
        start();
        destroyForms();
        // A settings path inside a regular file cannot be created.
        const QString blocker = folder_.filePath(QStringLiteral("blocker"));
        writeAll(blocker, "x");
        dialogs_ = openTestWindows((blocker + QStringLiteral("/SpotTally.ini")).toStdString());
        Form1->Openimage1Click();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(Form3->isVisible());
        QVERIFY(!Form3->Memo1->toPlainText().isNull());
    }

    void infoBox()
    {
        start();
        Form1->INfo1->trigger();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Information);
        const QStringList lines = dialogs_->messages[0].text.split(QStringLiteral("\n\r"));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("S p o t T a l l y"));
        QCOMPARE(lines[3], QStringLiteral("Version ") + QString::fromLatin1(kProgramVersion));
        QVERIFY(!dialogs_->messages[0].text.contains(QStringLiteral("\r\n")));
        QVERIFY(!AnalysisState.ReportActive);
    }

    void manualMissingLeavesTheReport()
    {
        start();
        Form1->setManualFolder(folder_.filePath(QStringLiteral("nowhere")).toStdString());
        AnalysisState.ReportActive = true;
        Form3->Memo1->setPlainText(QStringLiteral("a report\nmy comment"));
        Form3->BnSaverep->setEnabled(true);
        Form1->Manual1->trigger();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QCOMPARE(dialogs_->messages[0].text,
                 QStringLiteral("S p o t T a l l y\n\rManual (SpotTally_Manual.txt) not found.\n\r"
                                "Please look at https://spottally.invalid/\n\rfor the newest version."));
        QCOMPARE(Form3->Memo1->toPlainText(), QStringLiteral("a report\nmy comment"));
        QVERIFY(Form3->BnSaverep->isEnabled());
        QVERIFY(AnalysisState.ReportActive);
    }

    void manualReplacesTheReport()
    {
        start();
        writeAll(folder_.filePath(QStringLiteral("SpotTally_Manual.txt")), "Line one\r\n\r\nLine three\r\n");
        Form1->setManualFolder(folder_.path().toStdString());
        AnalysisState.ReportActive = true;
        Form3->Memo1->setPlainText(QStringLiteral("a report"));
        Form3->BnSaverep->setEnabled(true);
        Form3->BnSavepic->setEnabled(true);
        Form1->Manual1->trigger();
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(Form3->isVisible());
        QCOMPARE(Form3->Memo1->toPlainText(), QStringLiteral("Line one\n\nLine three"));
        QVERIFY(!Form3->BnSaverep->isEnabled());
        QVERIFY(!Form3->BnSavepic->isEnabled());
        QVERIFY(!AnalysisState.ReportActive);
    }

    void exitClosesTheProgram()
    {
        start();
        Form1->show();
        Form2->show();
        Form1->Exit1->trigger();
        QVERIFY(!Form1->isVisible());
    }
};

QTEST_MAIN(TForm1Test)
#include "TForm1_test.moc"
