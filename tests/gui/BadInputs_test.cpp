// Bad inputs through the windows: every parameter field with empty, negative, huge, non-numeric and
// wrong-separator text on the count button; damaged report files through "Open report"; picture files
// that cannot be loaded. Each ends in a clear message, changes nothing the message does not speak of,
// and writes or loses no file.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "picture/PictureLoading.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "support/WindowTest.h"
#include "gui/TForm2.h"

namespace {

const QString kSample = QStringLiteral(SPOTTALLY_SOURCE_DIR "/samples/sample.jpg");

/// Every file of the folder with its content (sub-folders and pipes by name only).
QMap<QString, QByteArray> folderContents(const QString& path) {
    QMap<QString, QByteArray> contents;
    const QDir dir(path);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        QByteArray content("<not a file>");
        if (info.isFile() && !info.isSymLink() && info.size() < (1 << 20)) {
            QFile file(info.absoluteFilePath());
            if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && info.isFile())
                content = file.readAll();
        }
        contents.insert(info.fileName(), content);
    }
    return contents;
}

/// The analysis record's fields, for before/after comparisons.
QString stateText(const TAnalysisState& s) {
    QString text = QStringLiteral(
                       "%1x%2 %3 report%4 export%5 grid%6 scale%7 add%8 view%9 count%10 zoom%11 "
                       "removed%12 added%13 area%14")
                       .arg(s.ImageWidth)
                       .arg(s.ImageHeight)
                       .arg(QString::fromStdString(s.ImageFileName))
                       .arg(s.ReportActive)
                       .arg(s.ExportMode)
                       .arg(s.GridMicrons)
                       .arg(s.ScaleMicrons)
                       .arg(s.AddMode)
                       .arg(s.ViewMode)
                       .arg(s.AutoCount)
                       .arg(s.ZoomPercent)
                       .arg(s.ManualRemoved)
                       .arg(s.ManualAdded)
                       .arg(s.TotalAreaPixels);
    text += QStringLiteral(" results %1 %2 markers %3")
                .arg(s.ParticlesPerFilter, 0, 'g', 17)
                .arg(s.ParticlesPerCm3, 0, 'g', 17)
                .arg(s.MarkerList.size());
    return text;
}

}  // namespace

class BadInputsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    QString path(const QString& name) const { return folder_.filePath(name); }
    void writeBytes(const QString& name, const QByteArray& bytes) {
        QFile out(path(name));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }
    static QLineEdit* field(const QString& name) {
        const std::pair<const char*, QLineEdit*> fields[] = {
            {"Edmin", Form1->Edmin},       {"EdMax", Form1->EdMax},  {"Edpixmm", Form1->Edpixmm},
            {"Edfilter", Form1->Edfilter}, {"EdVol", Form1->EdVol},  {"EdR", Form1->EdR},
            {"EdG", Form1->EdG},           {"EdB", Form1->EdB},      {"EdDevi", Form1->EdDevi},
            {"Edhell", Form1->Edhell},     {"EdCont", Form1->EdCont}};
        for (const auto& [fieldName, edit] : fields)
            if (name == QLatin1String(fieldName)) return edit;
        return nullptr;
    }
    QString warnings() const { return dialogs_->messageTexts().join(QLatin1Char('|')); }

private slots:
    void init() {
        dialogs_ = openTestWindows(path(QStringLiteral("SpotTally.ini")).toStdString());
        QFile::remove(path(QStringLiteral("plate.jpg")));
        QVERIFY(QFile::copy(kSample, path(QStringLiteral("plate.jpg"))));
        QVERIFY(Form1->loadimage(path(QStringLiteral("plate.jpg"))));
        Form1->BnCount->click();
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(AnalysisState.AutoCount > 0);
        dialogs_->messages.clear();
    }
    void cleanup() {
        closeTestWindows(dialogs_);
    }

    // ---- Parameter fields on the count button -------------------------------------------------------

    void countWithABadField_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");  // the field's name in the message
        QTest::addColumn<QString>("text");
        const struct {
            const char* name;
            const char* label;
        } fields[] = {{"EdDevi", "Colour tolerance"}, {"Edhell", "Brightness tolerance"},
                      {"EdCont", "Minimum contrast"}, {"EdMax", "Maximum size"},
                      {"Edmin", "Minimum size"},      {"Edpixmm", "Pixels / mm"},
                      {"Edfilter", "Filter area"},    {"EdVol", "Sample volume"}};
        // Every kind of bad text is tried on every field in the core's tests; here each field's path
        // through the window is taken once, plus a decimal and a huge text on whole-number fields.
        for (const auto& f : fields)
            QTest::newRow((std::string(f.name) + " words").c_str()) << f.name << f.label << "abc";
        QTest::newRow("Edmin decimal point") << "Edmin" << "Minimum size" << "4.5";
        QTest::newRow("EdMax huge") << "EdMax" << "Maximum size" << "99999999999999999999";
        QTest::newRow("Edpixmm decimal comma") << "Edpixmm" << "Pixels / mm" << "4,5";
    }
    void countWithABadField() {
        QFETCH(QString, name);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QLineEdit* edit = field(name);
        QVERIFY(edit);
        const Layers before = Form2->layers();
        const QString stateBefore = stateText(AnalysisState);
        const TAnalysisState recordBefore = AnalysisState;
        const QStringList reportBefore = Form3->lines();
        const auto filesBefore = folderContents(folder_.path());
        edit->setText(text);
        Form1->BnCount->click();
        // One message, also for "Pixels / mm", which the grid, the scale bar and the results all read.
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        for (const ScriptedDialogs::Shown& shown : dialogs_->messages) {
            QCOMPARE(shown.kind, UserDialogs::MessageKind::Warning);
            QVERIFY2(shown.text.contains(label), qPrintable(shown.text));
        }
        QVERIFY2(warnings().contains(QLatin1Char('\'') + text + QLatin1Char('\'')) ||
                     warnings().contains(QStringLiteral("is 0")),
                 qPrintable(warnings()));
        // The report keeps its text and results: the command ended at the field.
        QCOMPARE(Form3->lines(), reportBefore);
        QCOMPARE(AnalysisState.ParticlesPerFilter, recordBefore.ParticlesPerFilter);
        QCOMPARE(AnalysisState.ParticlesPerCm3, recordBefore.ParticlesPerCm3);
        // The count was refused before it changed anything: the layers and the record are the earlier
        // count's, which the report tells.
        QVERIFY(Form2->layers().Image1 == before.Image1);
        QVERIFY(Form2->layers().Image2 == before.Image2);
        QVERIFY(Form2->layers().Image3 == before.Image3);
        QCOMPARE(stateText(AnalysisState), stateBefore);
        QCOMPARE(folderContents(folder_.path()), filesBefore);
    }

    // The colour fields only set the panel (when a key is released in them); the count uses the panel.
    void colourFieldsWithBadTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("told");  // a message; otherwise the panel is left alone silently
        for (const char* name : {"EdR", "EdG", "EdB"}) {
            QTest::newRow((std::string(name) + " empty").c_str()) << name << "" << false;
            QTest::newRow((std::string(name) + " negative").c_str()) << name << "-5" << false;
            QTest::newRow((std::string(name) + " huge").c_str()) << name << "99999999999" << true;
            QTest::newRow((std::string(name) + " words").c_str()) << name << "red" << true;
            QTest::newRow((std::string(name) + " decimal").c_str()) << name << "12,5" << true;
        }
    }
    void colourFieldsWithBadTexts() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, told);
        const std::uint32_t panel = Form1->PnColorColour();
        const auto filesBefore = folderContents(folder_.path());
        field(name)->setText(text);
        Form1->EdBKeyUp();
        QCOMPARE(Form1->PnColorColour(), panel);
        QCOMPARE(dialogs_->messages.size(), size_t(told ? 1 : 0));
        if (told) {
            QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Warning);
            QVERIFY2(dialogs_->messages[0].text.contains(QLatin1Char('\'') + text + QLatin1Char('\'')),
                     qPrintable(warnings()));
        }
        // The count goes by the panel and gives the same particles.
        const int count = AnalysisState.AutoCount;
        dialogs_->messages.clear();
        Form1->BnCount->click();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(AnalysisState.AutoCount, count);
        QCOMPARE(folderContents(folder_.path()), filesBefore);
    }

    // ---- Report files through "Open report" ---------------------------------------------------------

    void openDamagedReport_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("messagePart");
        QTest::addColumn<QString>("minSize");    // Edmin afterwards
        QTest::addColumn<QString>("tolerance");  // EdDevi afterwards
        const QByteArray head =
            "S p o t T a l l y  REPORT\r\n<do not change> \r\n<Report file:> c_gone.txt\r\n"
            "<Image file analysed:> gone.jpg\r\n<Minimum size:> 4\r\n<Maximum size:> 9\r\n";
        const QByteArray tail =
            "<Colour tolerance:> 41\r\n<Brightness tolerance:> 42\r\n<Minimum contrast:> 43\r\n"
            "<Pixels per mm:> 44\r\n<Filter area (mm^2):> 45\r\n<Sample volume (cm^3):> 46\r\n";
        QTest::newRow("empty") << QByteArray() << "lines 3 to 12 are missing"
                               << "5"
                               << "40";
        QTest::newRow("missing lines") << head << "lines 6 to 12 are missing"
                                       << "4"
                                       << "40";
        QTest::newRow("absurd colour")
            << head + "<Colour R / G / B:> 1e9 / -3 / x\r\n" + tail << "cannot be used"
            << "4"
            << "40";
        QTest::newRow("huge colour") << head + "<Colour R / G / B:> 99999999999999999999 / 1 / 2\r\n" + tail
                                     << "cannot be used"
                                     << "4"
                                     << "40";
        QString utf16 = QString::fromLatin1(head + "<Colour R / G / B:> 1 / 2 / 3\r\n" + tail);
        QByteArray utf16Bytes("\xFF\xFE", 2);
        for (const QChar c : utf16)
            utf16Bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        QTest::newRow("UTF-16 with BOM") << utf16Bytes << ""
                                         << "4"
                                         << "41";
        QTest::newRow("UTF-8 with BOM")
            << QByteArray("\xEF\xBB\xBF") + head + "<Colour R / G / B:> 1 / 2 / 3\r\n" + tail << ""
            << "4"
            << "41";
        QTest::newRow("binary junk") << QByteArray("\x00\x01\xFF\xFE\x00\r\n\x80\x81", 10) << "lines 3 to 12"
                                     << "5"
                                     << "40";
    }
    void openDamagedReport() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, messagePart);
        QFETCH(QString, minSize);
        QFETCH(QString, tolerance);
        writeBytes(QStringLiteral("c_gone.txt"), bytes);
        const Layers before = Form2->layers();
        const QString stateBefore = stateText(AnalysisState);
        const auto filesBefore = folderContents(folder_.path());
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_gone.txt")));
        Form1->Savereport1Click();
        if (messagePart.isEmpty()) {
            VERIFY_NO_MESSAGE(dialogs_);
            QCOMPARE(Form1->PnColorColour(), std::uint32_t(1 + 2 * 256 + 3 * 65536));
        } else {
            QVERIFY(!dialogs_->messages.empty());
            QVERIFY2(warnings().contains(messagePart), qPrintable(warnings()));
            QVERIFY2(warnings().contains(QStringLiteral("c_gone.txt")), qPrintable(warnings()));
        }
        QCOMPARE(Form1->Edmin->text(), minSize);
        QCOMPARE(Form1->EdDevi->text(), tolerance);
        // The report's picture is not there: the picture and the count stay.
        QCOMPARE(stateText(AnalysisState), stateBefore);
        QVERIFY(Form2->layers().Image1 == before.Image1);
        QVERIFY(Form2->layers().Image3 == before.Image3);
        // No file is written, but for the settings file's list of recent reports: it takes a report
        // that could be used, and no other.
        auto filesAfter = folderContents(folder_.path());
        auto filesBeforeLessSettings = filesBefore;
        const QByteArray settingsBefore = filesBeforeLessSettings.take(QStringLiteral("SpotTally.ini"));
        const QByteArray settingsAfter = filesAfter.take(QStringLiteral("SpotTally.ini"));
        QCOMPARE(filesAfter, filesBeforeLessSettings);
        if (messagePart.isEmpty())
            QVERIFY(settingsAfter.contains("\r\nrecent-report=" + path(QStringLiteral("c_gone.txt")).toLocal8Bit() + "\r\n"));
        else
            QCOMPARE(settingsAfter, settingsBefore);
    }

    void openReportThatIsNoFile_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("folder") << QStringLiteral("c_folder.txt");
        QTest::newRow("pipe") << QStringLiteral("c_pipe.txt");
        QTest::newRow("missing") << QStringLiteral("c_missing.txt");
    }
    void openReportThatIsNoFile() {
        QFETCH(QString, name);
        if (name == QStringLiteral("c_folder.txt")) QVERIFY(QDir(folder_.path()).mkdir(name));
        if (name == QStringLiteral("c_pipe.txt"))
            QCOMPARE(::mkfifo(path(name).toLocal8Bit().constData(), 0600), 0);
        const ParameterTexts fieldsBefore = Form1->parameterTexts();
        const QStringList reportBefore = Form3->lines();
        const auto filesBefore = folderContents(folder_.path());
        dialogs_->answerNextFileDialog(path(name));
        Form1->Savereport1Click();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Warning);
        QVERIFY2(dialogs_->messages[0].text.contains(name), qPrintable(warnings()));
        QCOMPARE(Form1->parameterTexts().Edmin, fieldsBefore.Edmin);
        QCOMPARE(Form1->parameterTexts().EdVol, fieldsBefore.EdVol);
        QCOMPARE(Form3->lines(), reportBefore);
        QCOMPARE(folderContents(folder_.path()), filesBefore);
    }

    // ---- Picture files ------------------------------------------------------------------------------

    void loadBadPicture_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("kind");  // 0 plain file, 1 folder, 2 pipe
        const QByteArray jpeg = [] {
            QFile file(kSample);
            return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
        }();
        QByteArray hugeBmp(54, '\0');
        hugeBmp[0] = 'B';
        hugeBmp[1] = 'M';
        const auto put32 = [](QByteArray& b, int at, quint32 v) {
            for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF);
        };
        put32(hugeBmp, 2, 60);
        put32(hugeBmp, 10, 54);
        put32(hugeBmp, 14, 40);
        put32(hugeBmp, 18, 100000);
        put32(hugeBmp, 22, 100000);
        hugeBmp[26] = 1;
        hugeBmp[28] = 24;
        hugeBmp.append("tiny!!");
        QTest::newRow("empty jpg") << "e.jpg" << QByteArray() << 0;
        QTest::newRow("empty bmp") << "e.bmp" << QByteArray() << 0;
        QTest::newRow("huge bmp") << "huge.bmp" << hugeBmp << 0;
        QTest::newRow("jpeg named bmp") << "j.bmp" << jpeg << 0;
        QTest::newRow("bmp named jpg") << "b.jpg" << hugeBmp << 0;
        QTest::newRow("folder jpg") << "d.jpg" << QByteArray() << 1;
        QTest::newRow("pipe bmp") << "p.bmp" << QByteArray() << 2;
        QTest::newRow("pipe jpg") << "p.jpg" << QByteArray() << 2;
    }
    void loadBadPicture() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, kind);
        if (kind == 0) writeBytes(name, bytes);
        if (kind == 1) QVERIFY(QDir(folder_.path()).mkdir(name));
        if (kind == 2) QCOMPARE(::mkfifo(path(name).toLocal8Bit().constData(), 0600), 0);
        const Layers before = Form2->layers();
        const QString stateBefore = stateText(AnalysisState);
        const auto filesBefore = folderContents(folder_.path());
        QVERIFY(!Form1->loadimage(path(name)));
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Warning);
        QVERIFY2(dialogs_->messages[0].text.contains(name), qPrintable(warnings()));
        QCOMPARE(stateText(AnalysisState), stateBefore);
        QVERIFY(Form2->layers().Image1 == before.Image1);
        QVERIFY(Form2->layers().Image2 == before.Image2);
        QVERIFY(Form2->layers().Image3 == before.Image3);
        QCOMPARE(folderContents(folder_.path()), filesBefore);
    }

    // The TIFF reader never fails a load: what it cannot read it says, and the picture is empty.
    void loadBadTiff_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("header only") << QByteArray("II*\0\x08\0\0\0", 8);
        QTest::newRow("directory outside") << QByteArray("II*\0\xFF\xFF\0\0", 8);
        QTest::newRow("jpeg named tif") << QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10);
    }
    void loadBadTiff() {
        QFETCH(QByteArray, bytes);
        writeBytes(QStringLiteral("bad.tif"), bytes);
        const auto filesBefore = folderContents(folder_.path());
        QVERIFY(Form1->loadimage(path(QStringLiteral("bad.tif"))));
        QVERIFY(!dialogs_->messages.empty());
        QVERIFY(Form2->layers().Image1.empty());
        QCOMPARE(AnalysisState.ImageWidth, 0);
        QCOMPARE(folderContents(folder_.path()), filesBefore);
        // A count of an empty picture is refused, saying why no results can be computed.
        dialogs_->messages.clear();
        Form1->BnCount->click();
        QCOMPARE(dialogs_->messageTexts(),
                 QStringList{QStringLiteral("There is no picture, so there are no results to compute.")});
        QVERIFY(Form3->lines().filter(QStringLiteral("<Particles counted:>")).isEmpty());
        QCOMPARE(folderContents(folder_.path()), filesBefore);
    }
};

QTEST_MAIN(BadInputsTest)
#include "BadInputs_test.moc"
