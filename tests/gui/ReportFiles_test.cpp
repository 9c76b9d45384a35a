// Report files through the windows: saving the report and the marked picture, renaming a pasted
// picture, and opening a saved report again. Offscreen, with scripted dialogs and a fresh folder per test.

#include <sys/resource.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <memory>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "gui/Forms.h"
#include "core/HelpTexts.h"
#include "picture/PictureLoading.h"
#include "report/ReportFile.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"
#include "gui/TForm2.h"

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return file.readAll();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A report file's lines: every line must end in CR LF.
QStringList fileLines(const QByteArray& bytes) {
    if (!bytes.endsWith("\r\n")) return {QStringLiteral("<no CR LF at the end>")};
    QList<QByteArray> parts = bytes.chopped(1).split('\n');
    QStringList lines;
    for (const QByteArray& part : parts) {
        if (!part.endsWith('\r')) return {QStringLiteral("<line without CR>")};
        lines << QString::fromLatin1(part.chopped(1));  // Latin-1 equals Windows-1252 for these texts
    }
    return lines;
}

QByteArray reportBytes(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) bytes += line.toLatin1() + "\r\n";
    return bytes;
}

ParameterTexts fieldsOf(std::initializer_list<const char*> texts) {
    auto text = texts.begin();
    ParameterTexts fields;
    for (std::string* field :
         {&fields.Edmin, &fields.EdMax, &fields.EdR, &fields.EdG, &fields.EdB, &fields.EdDevi, &fields.Edhell,
          &fields.EdCont, &fields.Edpixmm, &fields.Edfilter, &fields.EdVol})
        *field = *text++;
    return fields;
}

bool sameFields(const ParameterTexts& a, const ParameterTexts& b) {
    return a.Edmin == b.Edmin && a.EdMax == b.EdMax && a.EdR == b.EdR && a.EdG == b.EdG && a.EdB == b.EdB &&
           a.EdDevi == b.EdDevi && a.Edhell == b.Edhell && a.EdCont == b.EdCont && a.Edpixmm == b.Edpixmm &&
           a.Edfilter == b.Edfilter && a.EdVol == b.EdVol;
}

// The JPEG encoder may not be part of every build; tests of JPEG content skip without it.
bool canWriteJpeg(const QString& folder) {
    const std::string probe = (folder + QStringLiteral("/probe.jpg")).toStdString();
    const bool written = writeJpegFile(Picture(2, 2), probe).empty();
    std::remove(probe.c_str());
    return written;
}

// Lets writes past a few bytes fail (EFBIG) for as long as it lives - for root as well.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

const QString kAcute = QString(QChar(0xB4));

}  // namespace

class ReportFilesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    QString path(const QString& name) const { return folder_->filePath(name); }
    QStringList filesInFolder() const {
        return QDir(folder_->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    // A picture in the image window as loading it would leave it: the original a dark blue, the count
    // layer (what the marked picture shows) red.
    void showPicture(const QString& name) {
        Picture original(40, 30);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) original.setPixel(x, y, rgbColour(0, 0, 120));
        Form2->layers().Image1 = original;
        Form1->newpictureparams(name);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) Form2->layers().Image2.setPixel(x, y, rgbColour(230, 20, 20));
    }

    // A picture and its report, as after a count of 100 particles.
    void countedPicture(const QString& name) {
        showPicture(name);
        AnalysisState.AutoCount = 100;
        Form3->report();
        dialogs_->messages.clear();
    }

    // A real 40 x 30 dark blue JPEG file, for the tests that open it again.
    void writeBluePicture(const QString& name) {
        Picture picture(40, 30);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) picture.setPixel(x, y, rgbColour(0, 0, 120));
        QCOMPARE(QString::fromStdString(writeJpegFile(picture, path(name).toStdString())), QString());
    }

    // A pasted picture: the file CLIPBOARD.jpg in the working folder, loaded and counted.
    void pastedPicture() {
        QVERIFY(writeAll(path(QStringLiteral("CLIPBOARD.jpg")), "pasted picture bytes"));
        countedPicture(QStringLiteral("CLIPBOARD.jpg"));
    }

private slots:
    void init() {
        setDecimalSeparator(',');
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        dialogs_ = openTestWindows(QDir::temp().filePath(QStringLiteral("ReportFiles_test_SpotTally.ini")).toStdString());
        Form1->setWorkingFolder(folder_->path().toStdString());
        Form3->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)); }, RegionalDateTime{});
    }

    void cleanup() {
        closeTestWindows(dialogs_);
        folder_.reset();
        setDecimalSeparator('\0');
    }

    void startsWithTheBuiltInManual() {
        const std::vector<std::string>& manual = builtInManualLines();
        QCOMPARE(Form3->lines().size(), qsizetype(manual.size()));
        QCOMPARE(Form3->lines().first(), QString::fromStdString(manual.front()));
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally - Report"));
        QVERIFY(!Form3->BnExp->isEnabled());
    }

    void nameRules_data() {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("marked");
        QTest::addColumn<QString>("countedLine2");  // line 2 as the count writes it, before saving
        QTest::newRow("sample.jpg") << "sample.jpg"
                                    << "c_sample.txt"
                                    << "c_sample.jpg" << "c_sample.txt";
        // Its marked picture would replace the picture itself: refused, the report saved.
        QTest::newRow("c_ kept once") << "c_sample.jpg"
                                      << "c_sample.txt"
                                      << "" << "c_c_sample.txt";
        QTest::newRow("bmp name, JPEG data") << "sample.bmp"
                                             << "c_sample.txt"
                                             << "c_sample.bmp" << "c_sample.txt";
        // A four-letter suffix leaves no dot behind; ':' and '\\' belong to the name.
        QTest::newRow("jpeg") << "photo.jpeg"
                              << "c_photo.txt"
                              << "c_photo.jpeg" << "c_photo.txt";
        QTest::newRow("colons") << "scan 12:30:45.jpg"
                                << "c_scan 12:30:45.txt"
                                << "c_scan 12:30:45.jpg" << "c_scan 12:30:45.txt";
        QTest::newRow("backslash") << "run\\7.jpg"
                                   << "c_run\\7.txt"
                                   << "c_run\\7.jpg" << "c_run\\7.txt";
    }

    void nameRules() {
        QFETCH(QString, picture);
        QFETCH(QString, report);
        QFETCH(QString, marked);
        QFETCH(QString, countedLine2);
        QVERIFY(writeAll(path(picture), "the original picture file"));
        countedPicture(picture);
        // The report's line 2 as written by the count still has "c_" in front; saving rewrites it.
        QCOMPARE(Form3->lines()[2], "<Report file:> " + countedLine2);
        Form3->Memo1->appendPlainText(QStringLiteral("a comment of mine"));
        Form3->BnSavepic->click();

        const QStringList saved = fileLines(readAll(path(report)));
        QCOMPARE(saved.size(), 22);
        QCOMPARE(saved[2], "<Report file:> " + report);
        QCOMPARE(saved[3], "<Image file analysed:> " + picture);
        QCOMPARE(saved[21], QStringLiteral("a comment of mine"));
        QCOMPARE(Form3->lines(), saved);  // the window shows the two rewritten lines as well
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report"));
        QCOMPARE(Form2->windowTitle(), "SpotTally " + picture);

        if (marked.isEmpty()) {
            QCOMPARE(dialogs_->messageTexts(),
                     QStringList{"The marked picture was not saved: it would replace the picture \"" + picture +
                                 "\" itself."});
            QCOMPARE(readAll(path(picture)), QByteArray("the original picture file"));
            return;
        }
        if (!canWriteJpeg(folder_->path())) QSKIP("this build cannot write JPEG files");
        VERIFY_NO_MESSAGE(dialogs_);
        const QByteArray markedBytes = readAll(path(marked));
        QVERIFY(markedBytes.startsWith("\xFF\xD8\xFF"));
        // The count layer (red), not the original (blue).
        const QImage decoded = QImage::fromData(markedBytes, "JPG");
        QCOMPARE(decoded.size(), QSize(40, 30));
        QVERIFY(qRed(decoded.pixel(20, 15)) > 200 && qBlue(decoded.pixel(20, 15)) < 60);
        if (marked != picture) QCOMPARE(readAll(path(picture)), QByteArray("the original picture file"));
        QVERIFY(!filesInFolder().join(' ').contains(".XXX"));
    }

    void reportWithoutMarkedPictureLeavesOtherFiles() {
        countedPicture(QStringLiteral("sample.jpg"));
        Form3->BnSaverep->click();
        QCOMPARE(filesInFolder(), QStringList{QStringLiteral("c_sample.txt")});
        VERIFY_NO_MESSAGE(dialogs_);
    }

    void markedPictureNeedsAnActiveReport() {
        countedPicture(QStringLiteral("sample.jpg"));
        AnalysisState.ReportActive = false;  // the manual is shown
        Form3->BnSavepic->click();
        QVERIFY(filesInFolder().isEmpty());
        VERIFY_NO_MESSAGE(dialogs_);
    }

    void pastedPictureIsRenamed_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("pictureName");
        QTest::addColumn<QString>("report");
        QTest::newRow("no extension") << "plate7"
                                      << "plate7.jpg"
                                      << "c_plate7.txt";
        QTest::newRow("upper-case .JPG") << "plate7.JPG"
                                         << "plate7.JPG"
                                         << "c_plate7.txt";
        // The picture is a JPEG and must open again as one: its own suffix must be a JPEG suffix.
        QTest::newRow(".jpg inside") << "my.jpg.old"
                                     << "my.jpg.old.jpg"
                                     << "c_my.jpg.old.txt";
        QTest::newRow(".jpeg") << "plate7.jpeg"
                               << "plate7.jpeg"
                               << "c_plate7.txt";
    }

    void pastedPictureIsRenamed() {
        QFETCH(QString, chosen);
        QFETCH(QString, pictureName);
        QFETCH(QString, report);
        pastedPicture();
        dialogs_->answerNextFileDialog(path(chosen));
        Form3->BnSaverep->click();

        QCOMPARE(dialogs_->fileDialogs.size(), std::size_t{1});
        QCOMPARE(dialogs_->fileDialogs[0].title, QStringLiteral("Please rename CLIPBOARD.jpg"));
        QCOMPARE(dialogs_->fileDialogs[0].filter, QStringLiteral("Image files|*.jpg;*.bmp|All files|*.*"));
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(AnalysisState.ImageFileName, pictureName.toStdString());
        QCOMPARE(readAll(path(pictureName)), QByteArray("pasted picture bytes"));
        QVERIFY(!QFile::exists(path(QStringLiteral("CLIPBOARD.jpg"))));
        const QStringList saved = fileLines(readAll(path(report)));
        QCOMPARE(saved.value(2), "<Report file:> " + report);
        QCOMPARE(saved.value(3), "<Image file analysed:> " + pictureName);
        QCOMPARE(Form2->windowTitle(), "SpotTally " + pictureName);
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report"));
    }

    void refusedOrCancelledRenameWritesNothing_data() {
        QTest::addColumn<QString>("chosen");  // empty: cancelled
        QTest::addColumn<QString>("warning");
        QTest::newRow("cancelled") << QString() << QString();
        QTest::newRow("name exists") << "taken.jpg"
                                     << "Name does already exist!";
        // The chosen name is checked as chosen, before ".jpg" is added.
        QTest::newRow("name without .jpg exists") << "taken"
                                                  << "Name does already exist!";
    }

    void refusedOrCancelledRenameWritesNothing() {
        QFETCH(QString, chosen);
        QFETCH(QString, warning);
        QVERIFY(writeAll(path(QStringLiteral("taken.jpg")), "another picture"));
        QVERIFY(writeAll(path(QStringLiteral("taken")), "another file"));
        pastedPicture();
        const QString caption = Form3->windowTitle();
        dialogs_->answerNextFileDialog(chosen.isEmpty() ? QString() : path(chosen));
        Form3->BnSavepic->click();  // report and marked picture: neither is written

        QCOMPARE(dialogs_->fileDialogs.size(), std::size_t{1});
        // One question at most: the dialog does not ask about replacing a file it will not replace.
        QCOMPARE(dialogs_->replaceQuestions, QStringList());
        QCOMPARE(dialogs_->messageTexts(), warning.isEmpty() ? QStringList() : QStringList{warning});
        if (!warning.isEmpty()) QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Warning);
        QCOMPARE(filesInFolder(), (QStringList{"CLIPBOARD.jpg", "taken", "taken.jpg"}));
        QCOMPARE(readAll(path(QStringLiteral("taken.jpg"))), QByteArray("another picture"));
        QCOMPARE(AnalysisState.ImageFileName, std::string("CLIPBOARD.jpg"));
        QCOMPARE(Form3->windowTitle(), caption);
        QCOMPARE(Form3->lines()[3], QStringLiteral("<Image file analysed:> CLIPBOARD.jpg"));
    }

    // Results belong to one picture: whatever brings a new one into the window takes the old results
    // out of the report window, and no save button writes anything for the new picture before a count.
    void newPictureTakesTheResultsAlong_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("button");
        for (const char* how : {"open", "crop", "paste", "ctrl+v"})
            for (const char* button : {"report", "report + marked", "export"})
                QTest::newRow((std::string(how) + ", " + button).c_str()) << how << button;
    }

    void newPictureTakesTheResultsAlong() {
        QFETCH(QString, how);
        QFETCH(QString, button);
        writeBluePicture(QStringLiteral("first.jpg"));
        writeBluePicture(QStringLiteral("second.jpg"));
        QVERIFY(Form1->loadimage(QStringLiteral("first.jpg")));
        AnalysisState.AutoCount = 4960;
        QVERIFY(Form3->report());
        QVERIFY(Form3->lines().contains(QStringLiteral("<Particles counted:> 4960")));
        QGuiApplication::clipboard()->setImage(QImage(8, 6, QImage::Format_RGB32));
        if (how == QStringLiteral("open")) {
            QVERIFY(Form1->loadimage(QStringLiteral("second.jpg")));
        } else if (how == QStringLiteral("crop")) {
            layermouse::dragOnOriginal(QPoint(5, 5), QPoint(25, 20));
            Form2->Cut1->trigger();
        } else if (how == QStringLiteral("paste")) {
            Form2->Paste1->trigger();
        } else {
            Form2->FormKeyPress(22);  // Ctrl+V
        }
        VERIFY_NO_MESSAGE(dialogs_);
        const QString newName = how == QStringLiteral("open") ? QStringLiteral("second.jpg")
                                                              : QStringLiteral("CLIPBOARD.jpg");
        QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), newName);
        QCOMPARE(Form3->Memo1->toPlainText(), QString());
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally - Report"));
        QVERIFY(!Form3->BnExp->isEnabled());

        const QStringList filesBefore = filesInFolder();
        QPushButton* pressed = button == QStringLiteral("report")            ? Form3->BnSaverep
                               : button == QStringLiteral("report + marked") ? Form3->BnSavepic
                                                                              : Form3->BnExp;
        pressed->setEnabled(true);  // as a later edit of the text could leave it
        pressed->click();
        QCOMPARE(dialogs_->messageTexts(), QStringList{QString::fromUtf8(kNoCountToSaveWarning)});
        QVERIFY(dialogs_->fileDialogs.empty());  // a pasted picture is not even renamed
        QCOMPARE(filesInFolder(), filesBefore);
    }

    void missingPastedPictureIsReported() {
        pastedPicture();
        QVERIFY(QFile::remove(path(QStringLiteral("CLIPBOARD.jpg"))));
        Form3->BnSavepic->click();
        QVERIFY(dialogs_->fileDialogs.empty());
        QCOMPARE(dialogs_->messageTexts(),
                 QStringList{"File " + kAcute + "CLIPBOARD.jpg" + kAcute + " not found!"});
        QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Warning);
        QVERIFY(filesInFolder().isEmpty());
    }

    void failedRenameKeepsThePastedName() {
        // "plate7" is free, but the name it becomes, plate7.jpg, is not: the rename must not replace it.
        QVERIFY(writeAll(path(QStringLiteral("plate7.jpg")), "an older picture"));
        pastedPicture();
        dialogs_->answerNextFileDialog(path(QStringLiteral("plate7")));
        Form3->BnSaverep->click();
        QCOMPARE(dialogs_->messages.size(), std::size_t{1});
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("CLIPBOARD.jpg")));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("plate7.jpg")));
        QCOMPARE(readAll(path(QStringLiteral("plate7.jpg"))), QByteArray("an older picture"));
        QCOMPARE(AnalysisState.ImageFileName, std::string("CLIPBOARD.jpg"));  // a later save asks again
        QCOMPARE(filesInFolder(), (QStringList{"CLIPBOARD.jpg", "plate7.jpg"}));
    }

    void renameIntoAnotherFolderTakesTheReportAlong() {
        QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("plates")));
        pastedPicture();
        dialogs_->answerNextFileDialog(path(QStringLiteral("plates/plate9.jpg")));
        Form3->BnSaverep->click();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(readAll(path(QStringLiteral("plates/plate9.jpg"))), QByteArray("pasted picture bytes"));
        QVERIFY(QFile::exists(path(QStringLiteral("plates/c_plate9.txt"))));
        QCOMPARE(QString::fromStdString(Form1->workingFolder().string()), path(QStringLiteral("plates")));
        QCOMPARE(filesInFolder(), QStringList());
    }

    void saveThenReopenRestoresEveryField() {
        writeBluePicture(QStringLiteral("plate.jpg"));
        const ParameterTexts counted =
            fieldsOf({"3", "12", "121", "223", "95", "35", "45", "30", "2000", "200", "1,5"});
        Form1->setParameterTexts(counted);
        countedPicture(QStringLiteral("plate.jpg"));
        Form3->Memo1->appendPlainText("Probe M" + QString(QChar(0xFC)) + "ller " + kAcute + "A" + kAcute);
        Form3->BnSaverep->click();
        const QStringList savedText = Form3->lines();
        QVERIFY(readAll(path(QStringLiteral("c_plate.txt")))
                    .contains("Probe M\xFCller \xB4"
                              "A\xB4\r\n"));

        // Everything changed afterwards, then the report opened again.
        Form1->setParameterTexts(fieldsOf({"1", "2", "3", "4", "5", "6", "7", "8", "9000", "10", "11"}));
        Form1->setPnColorColour(0);
        Form3->Memo1->setPlainText(QStringLiteral("something else"));
        Form3->hide();
        AnalysisState.ImageFileName = "other.jpg";
        Form1->setWorkingFolder("/");
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_plate.txt")));
        Form1->Savereport1->trigger();

        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(dialogs_->fileDialogs[0].filter, QStringLiteral("Count reports|c_*.txt|All files|*.*"));
        QVERIFY(sameFields(Form1->parameterTexts(), counted));
        QCOMPARE(Form1->PnColorColour(), std::uint32_t{6283129});
        QCOMPARE(Form1->PnColor->palette().color(QPalette::Window), QColor(121, 223, 95));
        QCOMPARE(Form3->lines(), savedText);
        QCOMPARE(AnalysisState.ImageFileName, std::string("plate.jpg"));  // found beside the report
        QCOMPARE(QString::fromStdString(Form1->workingFolder().string()), folder_->path());
        QVERIFY(AnalysisState.ReportActive);
        QVERIFY(Form3->isVisible());
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report"));
        // Opened with its own picture, the report can be saved again.
        Form3->BnSaverep->click();
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(readAll(path(QStringLiteral("c_plate.txt"))).contains("Probe M\xFCller"));
    }

    void reopeningLoadsThePictureBesideTheReport() {
        QImage bmp(24, 18, QImage::Format_RGB888);
        bmp.fill(QColor(10, 200, 30));
        QVERIFY(bmp.save(path(QStringLiteral("plate.bmp")), "BMP"));
        if (decodePictureFile(path(QStringLiteral("plate.bmp")).toStdString(), PictureKind::Bmp).failed())
            QSKIP("this build cannot read BMP files");
        countedPicture(QStringLiteral("plate.bmp"));
        Form3->BnSaverep->click();
        showPicture(QStringLiteral("other.jpg"));  // 40 x 30
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_plate.txt")));
        Form1->Savereport1Click();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(AnalysisState.ImageFileName, std::string("plate.bmp"));
        QCOMPARE(AnalysisState.ImageWidth, 24);
        QCOMPARE(Form2->layers().Image1.pixel(5, 5), rgbColour(10, 200, 30));
        QVERIFY(Form3->isVisible());
    }

    void statisticsLinesAreIgnoredOnReopening() {
        const ParameterTexts counted =
            fieldsOf({"4", "9", "10", "20", "30", "41", "51", "31", "3000", "300", "0,5"});
        Form1->setParameterTexts(counted);
        writeBluePicture(QStringLiteral("plate.jpg"));
        countedPicture(QStringLiteral("plate.jpg"));
        for (const char* line : {"<Statistics of 12 grid fields> ", "<Mean per field:> 8,333",
                                 "<Colour R / G / B:> 1 / 2 / 3", "<Pixels per mm:> 1"})
            Form3->Memo1->appendPlainText(QString::fromLatin1(line));
        Form3->BnSaverep->click();
        Form1->setParameterTexts(fieldsOf({"1", "2", "3", "4", "5", "6", "7", "8", "9000", "10", "11"}));
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_plate.txt")));
        Form1->Savereport1Click();
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(sameFields(Form1->parameterTexts(), counted));
        QCOMPARE(Form3->lines().size(), 25);
    }

    void missingPictureKeepsTheCurrentOne_data() {
        QTest::addColumn<QString>("line3");
        QTest::newRow("not there") << "<Image file analysed:> gone.jpg";
        // Only the name part counts: the picture is looked for beside the report alone.
        QTest::newRow("other folder") << "<Image file analysed:> ../elsewhere/previous.jpg";
        QTest::newRow("empty name") << "<Image file analysed:> ";
    }

    void missingPictureKeepsTheCurrentOne() {
        QFETCH(QString, line3);
        QVERIFY(QDir(folder_->path()).mkpath(QStringLiteral("reports")));
        QVERIFY(QDir(folder_->path()).mkpath(QStringLiteral("elsewhere")));
        QVERIFY(writeAll(path(QStringLiteral("elsewhere/previous.jpg")), "must not be opened"));
        countedPicture(QStringLiteral("previous.jpg"));
        const Picture before = Form2->layers().Image1;
        QStringList report = {"S p o t T a l l y  REPORT",
                              "<do not change - except comments> ",
                              "<Report file:> c_gone.txt",
                              line3,
                              "<Minimum size:> 6",
                              "<Maximum size:> 9",
                              "<Colour R / G / B:> 121 / 223 / 95",
                              "<Colour tolerance:> 33",
                              "<Brightness tolerance:> 44",
                              "<Minimum contrast:> 22",
                              "<Pixels per mm:> 1000",
                              "<Filter area (mm^2):> 100",
                              "<Sample volume (cm^3):> 2,5"};
        QVERIFY(writeAll(path(QStringLiteral("reports/c_gone.txt")), reportBytes(report)));
        dialogs_->answerNextFileDialog(path(QStringLiteral("reports/c_gone.txt")));
        Form1->Savereport1Click();

        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(AnalysisState.ImageFileName, std::string("previous.jpg"));
        QVERIFY(Form2->layers().Image1 == before);
        QVERIFY(sameFields(Form1->parameterTexts(),
                           fieldsOf({"6", "9", "121", "223", "95", "33", "44", "22", "1000", "100", "2,5"})));
        QVERIFY(Form3->isVisible());
        // The text is another picture's report: it is not saved under the name of the one still loaded.
        Form3->BnSaverep->click();
        QCOMPARE(dialogs_->messageTexts(), QStringList{QString::fromUtf8(kNoCountToSaveWarning)});
        QVERIFY(!QFile::exists(path(QStringLiteral("reports/c_previous.txt"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("c_previous.txt"))));
    }

    void partialReports_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("fields");  // Edmin .. EdVol afterwards
        QTest::addColumn<QString>("message");     // a part of the one message
        const QStringList head = {"S p o t T a l l y  REPORT", "<do not change - except comments> ",
                                  "<Report file:> c_x.txt",    "<Image file analysed:> x.jpg",
                                  "<Minimum size:> 6",         "<Maximum size:> 9"};
        // Too short: lines 4 and 5 are taken, the colour and all after it keep their texts.
        QTest::newRow("too short") << head << QStringList{"6",  "9",  "121",  "223", "95",   "40",
                                                          "50", "40", "3952", "378", "0,143"}
                                   << "lines 6 to 12 are missing";
        // A colour that is not a number: the three colour texts are set, nothing after them.
        QTest::newRow("bad colour") << head + QStringList{"<Colour R / G / B:> 121 / green / 95",
                                                          "<Colour tolerance:> 33",
                                                          "<Brightness tolerance:> 44",
                                                          "<Minimum contrast:> 22",
                                                          "<Pixels per mm:> 1000",
                                                          "<Filter area (mm^2):> 100",
                                                          "<Sample volume (cm^3):> 2,5"}
                                    << QStringList{"6",  "9",  "121",  "green", "95",   "40",
                                                   "50", "40", "3952", "378",   "0,143"}
                                    << "green";
        QTest::newRow("colour without separators")
            << head + QStringList{"<Colour R / G / B:> 121/223/95", "<Colour tolerance:> 33"}
            << QStringList{"6", "9", "121/223/95", "", "", "40", "50", "40", "3952", "378", "0,143"}
            << "colour line";
    }

    void partialReports() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        countedPicture(QStringLiteral("x.jpg"));
        Form3->hide();
        const std::uint32_t panel = Form1->PnColorColour();
        QVERIFY(writeAll(path(QStringLiteral("c_x.txt")), reportBytes(lines)));
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_x.txt")));
        Form1->Savereport1Click();

        QVERIFY(!dialogs_->messages.empty());
        QVERIFY2(dialogs_->messages[0].text.contains(message), qPrintable(dialogs_->messages[0].text));
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("c_x.txt")));
        const ParameterTexts now = Form1->parameterTexts();
        QStringList actual;
        for (const std::string* field : {&now.Edmin, &now.EdMax, &now.EdR, &now.EdG, &now.EdB, &now.EdDevi,
                                         &now.Edhell, &now.EdCont, &now.Edpixmm, &now.Edfilter, &now.EdVol})
            actual << QString::fromStdString(*field);
        QCOMPARE(actual, fields);
        QCOMPARE(Form1->PnColorColour(), panel);
        QCOMPARE(Form3->lines(), lines);  // the text is loaded all the same
        QVERIFY(!Form3->isVisible());
    }

    void unreadablePictureStopsBeforeTheFields() {
        QVERIFY(writeAll(path(QStringLiteral("broken.jpg")), "not a JPEG at all"));
        const QStringList report = {"S p o t T a l l y  REPORT", "", "", "<Image file analysed:> broken.jpg",
                                    "<Minimum size:> 6"};
        QVERIFY(writeAll(path(QStringLiteral("c_broken.txt")), reportBytes(report)));
        dialogs_->answerNextFileDialog(path(QStringLiteral("c_broken.txt")));
        Form1->Savereport1Click();
        QCOMPARE(dialogs_->messages.size(), std::size_t{1});
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("broken.jpg")));
        QCOMPARE(Form1->Edmin->text(), QStringLiteral("5"));
        QCOMPARE(Form3->lines(), report);
        QVERIFY(!Form3->isVisible());
    }

    void reportThatCannotBeOpened_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "c_none.txt";
        QTest::newRow("a folder") << "c_folder.txt";
    }

    void reportThatCannotBeOpened() {
        QFETCH(QString, name);
        QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("c_folder.txt")));
        Form3->Memo1->setPlainText(QStringLiteral("the report before"));
        dialogs_->answerNextFileDialog(path(name));
        Form1->Savereport1Click();
        QCOMPARE(dialogs_->messages.size(), std::size_t{1});
        QVERIFY(dialogs_->messages[0].text.contains(name));
        QCOMPARE(Form3->Memo1->toPlainText(), QStringLiteral("the report before"));
    }

    void cancelledOpenChangesNothing() {
        Form1->Savereport1Click();
        QCOMPARE(dialogs_->fileDialogs.size(), std::size_t{1});
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form3->lines().first(), QString::fromStdString(builtInManualLines().front()));
        QCOMPARE(QString::fromStdString(Form1->workingFolder().string()), folder_->path());
    }

    void unwritableReportKeepsTheOldFile() {
        countedPicture(QStringLiteral("sample.jpg"));
        QVERIFY(writeAll(path(QStringLiteral("c_sample.txt")), "the report saved before"));
        const QString caption = Form3->windowTitle();
        {
            const FileSizeLimit limit(16);  // the disk is "full" after 16 bytes
            Form3->BnSavepic->click();
        }
        QCOMPARE(dialogs_->messages.size(), std::size_t{1});
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("c_sample.txt")));
        QCOMPARE(readAll(path(QStringLiteral("c_sample.txt"))), QByteArray("the report saved before"));
        QCOMPARE(filesInFolder(),
                 QStringList{QStringLiteral("c_sample.txt")});  // no marked picture, no leftovers
        QCOMPARE(Form3->windowTitle(), caption);
        QVERIFY(Form2->windowTitle() != QStringLiteral("SpotTally sample.jpg"));
    }

    void unwritableMarkedPictureKeepsTheReport() {
        countedPicture(QStringLiteral("sample.jpg"));
        QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("c_sample.jpg")));  // in the way of the picture
        Form3->BnSavepic->click();
        QCOMPARE(dialogs_->messages.size(), std::size_t{1});
        QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("c_sample.jpg")));
        QVERIFY(QFile::exists(path(QStringLiteral("c_sample.txt"))));
        QCOMPARE(filesInFolder(), QStringList{QStringLiteral("c_sample.txt")});
        QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report"));
    }
};

QTEST_MAIN(ReportFilesTest)
#include "ReportFiles_test.moc"
