// Files in and out and where the windows stand: dropping a picture or a report on each window, the
// recent lists of the File menu, the placement kept in the settings file, the result lines in view.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QUrl>
#include <QtTest>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "core/SettingsFile.h"
#include "gui/FileDrop.h"
#include "gui/Forms.h"
#include "gui/RecentFiles.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"
#include "gui/WindowLayout.h"
#include "picture/PictureLoading.h"
#include "report/ReportText.h"
#include "support/WindowTest.h"

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QRect outer(const QRect& client) { return client.marginsAdded(assumedWindowFrame()); }

}  // namespace

class FilesAndPlacementTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    QString path(const QString& name) const { return folder_->filePath(name); }
    QString settingsPath() const { return path(QStringLiteral("SpotTally.ini")); }

    void start() { dialogs_ = openTestWindows(settingsPath().toStdString()); }

    /// A BMP picture of the given width; false when this build cannot read BMP files.
    bool writePicture(const QString& name, int width)
    {
        QImage bmp(width, 18, QImage::Format_RGB888);
        bmp.fill(QColor(10, 200, 30));
        return bmp.save(path(name), "BMP") &&
               !decodePictureFile(path(name).toStdString(), PictureKind::Bmp).failed();
    }

    /// A saved report of picture whose minimum size is minimum.
    void writeReport(const QString& name, const QString& picture, const QString& minimum)
    {
        const QStringList lines = {
            "S p o t T a l l y  REPORT", "<do not change - except comments> ", "<Report file:> " + name,
            "<Image file analysed:> " + picture, "<Minimum size:> " + minimum, "<Maximum size:> 8",
            "<Colour R / G / B:> 121 / 223 / 95", "<Colour tolerance:> 40", "<Brightness tolerance:> 50",
            "<Minimum contrast:> 40", "<Pixels per mm:> 3952", "<Filter area (mm^2):> 378",
            "<Sample volume (cm^3):> 0,143", "<_______________________________> ", "<RESULTS> 07.03.2026  09:05:03",
            "<Particles counted:> 3", "<including manually removed / added:> 0 / 0",
            "<Particles per filter:> 3,07E+05", "<Particles per cm^3 of sample:> 2,15E+06",
            "<_______________________________>", "<Comments: Total area (pixels):> 6,50E+02"};
        QVERIFY(writeBytes(path(name), (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8()));
    }

    /// Sends a drag of files over target, then the drop, as the window system does; true when the window
    /// took the drag.
    static bool dropFiles(QWidget* target, const QStringList& files)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files) urls << QUrl::fromLocalFile(file);
        data.setUrls(urls);
        const QPointF at(10, 10);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        QCoreApplication::processEvents();  // the file is opened once the drop has returned
        return drop.isAccepted();
    }

    static QStringList menuFiles(const QMenu* menu)
    {
        QStringList files;
        for (const QAction* item : menu->actions()) files << item->data().toString();
        return files;
    }

private slots:
    void init()
    {
        setDecimalSeparator(',');
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }

    void cleanup()
    {
        if (Form1 != nullptr) closeTestWindows(dialogs_);
        folder_.reset();
        setDecimalSeparator('\0');
    }

    // Each window, and the report's text area, opens a dropped picture and a dropped report through the
    // same paths as "Open image" and "Open report"; a file of neither kind is not taken.
    void dropOpensPicturesAndReportsOnEveryWindow()
    {
        start();
        if (!writePicture(QStringLiteral("plate.bmp"), 24)) QSKIP("this build cannot read BMP files");
        writeReport(QStringLiteral("c_plate.txt"), QStringLiteral("plate.bmp"), QStringLiteral("7"));
        QVERIFY(writeBytes(path(QStringLiteral("notes.doc")), "not ours"));
        const QList<QWidget*> targets = {Form1, Form2, Form3, Form3->Memo1->viewport(), Form1->Edmin};
        for (QWidget* target : targets) {
            const QString name = QString::fromLatin1(target->metaObject()->className());
            AnalysisState.ImageFileName.clear();
            QVERIFY2(!dropFiles(target, {path(QStringLiteral("notes.doc"))}), qPrintable(name));
            QVERIFY(AnalysisState.ImageFileName.empty());

            QVERIFY2(dropFiles(target, {path(QStringLiteral("notes.doc")), path(QStringLiteral("plate.bmp"))}),
                     qPrintable(name));
            QCOMPARE(AnalysisState.ImageFileName, std::string("plate.bmp"));
            QCOMPARE(AnalysisState.ImageWidth, 24);
            QCOMPARE(QString::fromStdString(Form1->workingFolder().string()), folder_->path());

            Form1->Edmin->setText(QStringLiteral("5"));
            AnalysisState.ImageFileName.clear();
            QVERIFY2(dropFiles(target, {path(QStringLiteral("c_plate.txt"))}), qPrintable(name));
            QCOMPARE(Form1->Edmin->text(), QStringLiteral("7"));  // the report's parameters
            QCOMPARE(AnalysisState.ImageFileName, std::string("plate.bmp"));  // and its picture
            QCOMPARE(Form3->lines().at(4), QStringLiteral("<Minimum size:> 7"));
            QCOMPARE(Form3->windowTitle(), QStringLiteral("SpotTally Report"));
        }
        QCOMPARE(Form1->Edmin->text(), QStringLiteral("7"));  // no path was typed into the field
        VERIFY_NO_MESSAGE(dialogs_);
    }

    // Opens put each file first in its list, at most eight, kept in the settings file beside the
    // unchanged folder line, read back by the next start; a file gone since is listed disabled, and an
    // item reopens its file.
    void recentListsAfterOpens()
    {
        start();
        QStringList pictures;
        for (int i = 0; i < 10; ++i) {
            const QString name = QStringLiteral("field%1.bmp").arg(i);
            if (!writePicture(name, 20 + i)) QSKIP("this build cannot read BMP files");
            pictures.prepend(path(name));
        }
        for (int i = 0; i < 10; ++i) QVERIFY(Form1->openChosenPicture(path(QStringLiteral("field%1.bmp").arg(i))));
        QVERIFY(Form1->openChosenPicture(path(QStringLiteral("field4.bmp"))));  // again: moves to the front
        pictures.removeAll(path(QStringLiteral("field4.bmp")));
        pictures.prepend(path(QStringLiteral("field4.bmp")));
        pictures = pictures.mid(0, 8);
        writeReport(QStringLiteral("c_field2.txt"), QStringLiteral("field2.bmp"), QStringLiteral("6"));
        QVERIFY(Form1->openChosenReport(path(QStringLiteral("c_field2.txt"))));
        VERIFY_NO_MESSAGE(dialogs_);
        const QByteArray folderLine = QDir(folder_->path()).absolutePath().toLocal8Bit() + "/\r\n";
        QVERIFY(fileBytes(settingsPath()).startsWith(folderLine));

        RecentFiles* recent = Form1->recentFiles();
        QCOMPARE(recent->pictures(), pictures);
        QCOMPARE(recent->reports(), QStringList{path(QStringLiteral("c_field2.txt"))});
        QCOMPARE(menuFiles(recent->picturesMenu()), pictures);
        QCOMPARE(menuFiles(recent->reportsMenu()), recent->reports());
        QVERIFY(Form1->File1->actions().contains(recent->picturesMenu()->menuAction()));
        QCOMPARE(recent->picturesMenu()->title(), QStringLiteral("Recent pictures"));
        QCOMPARE(recent->reportsMenu()->title(), QStringLiteral("Recent reports"));

        // The next start reads the lists back; a file deleted since is disabled.
        closeTestWindows(dialogs_);
        QVERIFY(QFile::remove(pictures.at(1)));
        start();
        recent = Form1->recentFiles();
        QCOMPARE(recent->pictures(), pictures);
        QCOMPARE(recent->reports(), QStringList{path(QStringLiteral("c_field2.txt"))});
        QMetaObject::invokeMethod(Form1->File1, "aboutToShow");
        const QList<QAction*> items = recent->picturesMenu()->actions();
        QCOMPARE(items.size(), pictures.size());
        for (int i = 0; i < items.size(); ++i) QCOMPARE(items[i]->isEnabled(), i != 1);

        items.at(3)->trigger();
        QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QFileInfo(pictures.at(3)).fileName());
        QCOMPARE(recent->pictures().first(), pictures.at(3));
        QVERIFY(fileBytes(settingsPath()).startsWith(folderLine));
        VERIFY_NO_MESSAGE(dialogs_);
    }

    // A saved placement comes back (a window that lies off the screen pulled back onto it) and is saved
    // again beside the folder line; a damaged entry is ignored and the windows placed as on first start.
    void placementRestoredFromTheSettingsFile()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QByteArray folderLine = "/data/pl\xE4tes/\r\n";
        const QRect main(screen.left() + 10, screen.top() + 40, 300, 270);
        const QRect image(screen.left() + 330, screen.top() + 40, 200, 150);
        const QRect report(screen.right() + 500, screen.top() + 40, 240, 200);  // a monitor that is gone
        QVERIFY(writeBytes(settingsPath(), folderLine + "placement=" +
                                               QByteArray::fromStdString(placementText({main, image, report})) +
                                               "\r\nrecent-picture=/nowhere/x.jpg\r\n"));
        start();
        placeWindows();
        QCOMPARE(Form1->geometry(), main);
        QCOMPARE(Form2->geometry(), image);
        QCOMPARE(Form3->geometry().size(), report.size());
        QVERIFY(screen.contains(outer(Form3->geometry())));
        QCOMPARE(outer(Form3->geometry()).right(), screen.right());

        Form2->setGeometry(image.translated(15, 25));
        QCOMPARE(saveWindowPlacement(), std::string());
        QByteArray bytes = fileBytes(settingsPath());
        QVERIFY(bytes.startsWith(folderLine));
        QVERIFY(bytes.contains("\r\nrecent-picture=/nowhere/x.jpg\r\n"));
        closeTestWindows(dialogs_);
        start();
        placeWindows();
        QCOMPARE(Form2->geometry(), image.translated(15, 25));
        closeTestWindows(dialogs_);

        // A damaged entry: placed as on first start, no window over the main window, all on the screen.
        bytes.replace("placement=", "placement=1,2,x");
        QVERIFY(writeBytes(settingsPath(), bytes));
        start();
        placeWindows();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(outer(Form1->geometry()).topLeft(), screen.topLeft());
        for (const QWidget* window : {static_cast<QWidget*>(Form2), static_cast<QWidget*>(Form3)}) {
            QVERIFY(screen.contains(outer(window->geometry())));
            QVERIFY(!outer(window->geometry()).intersects(outer(Form1->geometry())));
        }
        QVERIFY(fileBytes(settingsPath()).startsWith(folderLine));
    }

    // After a count the result lines show in the report text, also in a report window made small.
    void resultLinesInViewAfterACount()
    {
        start();
        Form1->setParameterTexts(ParameterTexts{});
        AnalysisState.ImageWidth = 1600;
        AnalysisState.ImageHeight = 1200;
        AnalysisState.AutoCount = 100;
        AnalysisState.ImageFileName = "sample.jpg";
        for (const QSize size : {QSize(470, 355), QSize(300, 190)}) {
            Form3->resize(size);
            QVERIFY(Form3->report());
            // The design's places at the design's size; a lower window keeps its buttons whole below the text.
            if (size == QSize(470, 355)) {
                QCOMPARE(Form3->Memo1->geometry(), QRect(2, 4, 447, 249));
                QCOMPARE(Form3->BnSavepic->geometry(), QRect(8, 288, 249, 25));
            }
            QVERIFY(Form3->centralWidget()->rect().contains(Form3->BnSavepic->geometry()));
            QVERIFY(Form3->BnSaverep->y() > Form3->Memo1->geometry().bottom());
            const QRect viewport = Form3->Memo1->viewport()->rect();
            for (int line = kFirstResultLine; line < kFirstResultLine + 4; ++line) {
                const QTextBlock block = Form3->Memo1->document()->findBlockByNumber(line);
                const QRect shown = Form3->Memo1->cursorRect(QTextCursor(block));
                QVERIFY2(viewport.contains(shown), qPrintable(QStringLiteral("line %1").arg(line)));
            }
        }
        VERIFY_NO_MESSAGE(dialogs_);
    }
};

QTEST_MAIN(FilesAndPlacementTest)
#include "FilesAndPlacement_test.moc"
