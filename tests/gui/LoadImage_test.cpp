// Picture loading through the main window: decoder by suffix, the reset for a new picture, and
// failures that leave everything as it was.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <tiffio.h>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "picture/PictureLoading.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "support/WindowTest.h"
#include "gui/TForm2.h"

namespace {

/// A picture whose every pixel differs from its neighbours.
Picture testPicture(int width, int height)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, rgbColour(x * 7 % 256, y * 5 % 256, (x + y) % 256));
    return picture;
}

/// A little-endian 8-bit grey TIFF of width x height with grey value x + 10 y.
QByteArray greyTiff(int width, int height)
{
    QByteArray bytes("II*\0", 4);
    const auto put16 = [&](int v) { bytes.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    const auto put32 = [&](quint32 v) { put16(int(v & 0xFFFF)); put16(int(v >> 16)); };
    const int entries = 8;
    const quint32 pixelsAt = 8 + 2 + entries * 12 + 4;
    put32(8);
    put16(entries);
    const auto entry = [&](int tag, int type, quint32 value) {
        put16(tag);
        put16(type);
        put32(1);
        put32(value);
    };
    entry(256, 4, quint32(width));                   // ImageWidth
    entry(257, 4, quint32(height));                  // ImageLength
    entry(258, 3, 8);                                // BitsPerSample
    entry(259, 3, 1);                                // Compression: none
    entry(262, 3, 1);                                // Photometric: black is zero
    entry(273, 4, pixelsAt);                         // StripOffsets
    entry(278, 4, quint32(height));                  // RowsPerStrip
    entry(279, 4, quint32(width * height));          // StripByteCounts
    put32(0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bytes.append(char(x + 10 * y));
    return bytes;
}

/// The process's current address space in bytes (VmSize), 0 when unknown.
rlim_t addressSpaceInUse()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0) return rlim_t{std::stoull(line.substr(7))} * 1024;
    return 0;
}

}  // namespace

class LoadImageTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    QString path(const char* name) const { return folder_.filePath(QString::fromLatin1(name)); }
    void writeBytes(const QString& file, const QByteArray& bytes)
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }

private slots:
    void init()
    {
        dialogs_ = openTestWindows(path("SpotTally.ini").toStdString());
    }
    void cleanup()
    {
        closeTestWindows(dialogs_);
    }

    void jpegLoadsAndResetsForTheNewPicture()
    {
        const Picture picture = testPicture(300, 200);
        QCOMPARE(QString::fromStdString(writeJpegFile(picture, path("plate.jpg").toStdString())), QString());
        AnalysisState.AutoCount = 12;  // from an earlier count: loading keeps it
        AnalysisState.ZoomPercent = 50;
        QVERIFY(Form1->loadimage(path("plate.jpg")));
        VERIFY_NO_MESSAGE(dialogs_);
        const Layers& layers = Form2->layers();
        const DecodedPicture decoded = decodePictureFile(path("plate.jpg").toStdString(), PictureKind::Jpeg);
        QVERIFY(layers.Image1 == decoded.picture);
        QVERIFY(layers.Image3 == decoded.picture);  // a plain copy: no grid, no scale bar
        QVERIFY(!(layers.Image2 == decoded.picture));  // grid and scale bar drawn into the count view
        QCOMPARE(AnalysisState.ImageWidth, 300);
        QCOMPARE(AnalysisState.ImageHeight, 200);
        QCOMPARE(AnalysisState.ImageFileName, std::string("plate.jpg"));
        QCOMPARE(AnalysisState.ZoomPercent, 100);
        QCOMPARE(AnalysisState.ViewMode, kViewOriginal);
        QVERIFY(AnalysisState.ReportActive);
        QCOMPARE(AnalysisState.AutoCount, 12);
        QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: plate.jpg"));
        QVERIFY(Form2->isVisible());
        QVERIFY(Form1->BnCount->isEnabled());
    }

    // A picture that decodes but leaves no memory for its other layers: a message, and the window
    // keeps the picture it had.
    void aPictureWithoutMemoryKeepsTheWindow()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than the limit");
#else
        const Picture picture = testPicture(300, 200);
        QCOMPARE(QString::fromStdString(writeJpegFile(picture, path("plate.jpg").toStdString())), QString());
        QVERIFY(Form1->loadimage(path("plate.jpg")));
        const Layers& layers = Form2->layers();
        const Picture original = layers.Image1, count = layers.Image2;
        // A small JPEG whose header claims 12000 x 12000 pixels: 432 MB a layer.
        QCOMPARE(QString::fromStdString(writeJpegFile(Picture(16, 16), path("small.jpg").toStdString())), QString());
        QFile small(path("small.jpg"));
        QVERIFY(small.open(QIODevice::ReadOnly));
        QByteArray big = small.readAll();
        const qsizetype frame = big.indexOf(QByteArray("\xFF\xC0"));
        QVERIFY(frame > 0);
        big[frame + 5] = big[frame + 7] = char(12000 >> 8);
        big[frame + 6] = big[frame + 8] = char(12000 & 0xFF);
        writeBytes(path("big.jpg"), big);

        const rlim_t inUse = addressSpaceInUse();
        QVERIFY(inUse > 0);
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_AS, &before), 0);
        const rlim_t layer = rlim_t{12000} * 12000 * 3;
        const rlimit limited{inUse + layer + layer / 2, before.rlim_max};  // the decoded picture, not its copies
        QCOMPARE(::setrlimit(RLIMIT_AS, &limited), 0);
        const bool loaded = Form1->loadimage(path("big.jpg"));
        ::setrlimit(RLIMIT_AS, &before);
        QVERIFY(!loaded);
        QVERIFY2(dialogs_->messageTexts().join(QLatin1Char(' ')).contains(QStringLiteral("not enough memory")),
                 qPrintable(dialogs_->messageTexts().join(QStringLiteral(" | "))));
        QVERIFY(layers.Image1 == original);
        QVERIFY(layers.Image2 == count);
        QVERIFY(layers.Image3 == original);
        QCOMPARE(AnalysisState.ImageFileName, std::string("plate.jpg"));
        QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: plate.jpg"));
#endif
    }

    void bmpOfEveryDepthEndsTwentyFourBit_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("8-bit palette") << int(QImage::Format_Indexed8);
        QTest::newRow("32-bit") << int(QImage::Format_RGB32);
        QTest::newRow("24-bit") << int(QImage::Format_RGB888);
    }
    void bmpOfEveryDepthEndsTwentyFourBit()
    {
        QFETCH(int, format);
        QImage image(33, 17, QImage::Format_RGB32);
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 33; ++x) image.setPixel(x, y, qRgb(x * 7, y * 13, 200 - x));
        if (format == QImage::Format_Indexed8) {
            image = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
        } else {
            image = image.convertToFormat(QImage::Format(format));
        }
        QVERIFY(image.save(path("depth.bmp"), "BMP"));
        QVERIFY(Form1->loadimage(path("depth.bmp")));
        const Layers& layers = Form2->layers();
        for (const Picture* layer : {&layers.Image1, &layers.Image2, &layers.Image3}) {
            QCOMPARE(layer->width(), 33);
            QCOMPARE(layer->height(), 17);
            QCOMPARE(layer->stride(), std::size_t(33 * 3));
        }
        const QRgb expected = image.pixel(5, 3);
        QCOMPARE(layers.Image1.pixel(5, 3), rgbColour(qRed(expected), qGreen(expected), qBlue(expected)));
    }

    void tiffLoadsThroughTheTiffReader()
    {
        writeBytes(path("grey.tif"), greyTiff(6, 4));
        QVERIFY(Form1->loadimage(path("grey.tif")));
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form2->layers().Image1.width(), 6);
        QCOMPARE(Form2->layers().Image1.pixel(3, 2), rgbColour(23, 23, 23));
        QCOMPARE(AnalysisState.ImageFileName, std::string("grey.tif"));
    }

    // A 16-bit picture is mapped onto 8 bits and its title says how; a TIFF of several pages says which
    // page of how many is shown.
    void sixteenBitAndPagesAreNamedInTheTitle()
    {
        QImage grey(8, 4, QImage::Format_Grayscale16);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) reinterpret_cast<quint16*>(grey.scanLine(y))[x] = static_cast<quint16>(1000 + 100 * x);
        QVERIFY(grey.save(path("dim16.png"), "png"));
        QVERIFY(Form1->loadimage(path("dim16.png")));
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form2->windowTitle(),
                 QStringLiteral("SpotTally: dim16.png (16-bit samples mapped linearly: grey 1000..1700 (0.1st to "
                                "99.9th percentile))"));
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(0, 0, 0));
        QCOMPARE(Form2->layers().Image1.pixel(7, 0), rgbColour(255, 255, 255));

        const std::string pages = path("pages.tif").toStdString();
        TIFF* tif = TIFFOpen(pages.c_str(), "w");
        QVERIFY(tif != nullptr);
        for (int page = 0; page < 3; ++page) {
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4);
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            const unsigned char row[4] = {static_cast<unsigned char>(10 * (page + 1)), 0, 0, 0};
            for (std::uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(tif, const_cast<unsigned char*>(row), y, 0);
            TIFFWriteDirectory(tif);
        }
        TIFFClose(tif);
        QVERIFY(Form1->loadimage(path("pages.tif")));
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: pages.tif (page 1 of 3)"));
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(10, 10, 10));
    }

    // The window picks how 16-bit pictures become 8 bits (one range for all channels keeps a green
    // particle green; each channel on its own makes it white) and reopens the picture with it; the
    // choice is kept for the next start. The page of a TIFF of several is picked the same way.
    void mappingAndPageArePickedInTheWindow()
    {
        QImage colour(8, 4, QImage::Format_RGBX64);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                reinterpret_cast<QRgba64*>(colour.scanLine(y))[x] =
                    x < 4 ? QRgba64::fromRgba64(1000, 4000, 1000, 65535) : QRgba64::fromRgba64(0, 0, 0, 65535);
        QVERIFY(colour.save(path("green16.png"), "png"));
        QVERIFY(Form1->Onerange1->isChecked());
        QVERIFY(Form1->loadimage(path("green16.png")));
        QVERIFY(Form2->windowTitle().contains(QStringLiteral("0..4000 over all channels")));
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(64, 255, 64));
        Form1->Eachchannel1->trigger();
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(Form2->windowTitle().contains(QStringLiteral("red 0..1000, green 0..4000, blue 0..1000")));
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(255, 255, 255));
        QVERIFY(Form1->Eachchannel1->isChecked() && !Form1->Onerange1->isChecked());
        closeTestWindows(dialogs_);
        dialogs_ = openTestWindows(path("SpotTally.ini").toStdString());
        QVERIFY(Form1->Eachchannel1->isChecked());
        QVERIFY(Form1->loadimage(path("green16.png")));
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(255, 255, 255));
        Form1->Onerange1->trigger();
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(64, 255, 64));
        QVERIFY(!Form1->TIFFpage1->isEnabled());

        const std::string pages = path("pages.tif").toStdString();
        TIFF* tif = TIFFOpen(pages.c_str(), "w");
        QVERIFY(tif != nullptr);
        for (int page = 0; page < 3; ++page) {
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4);
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            const unsigned char row[4] = {static_cast<unsigned char>(10 * (page + 1)), 0, 0, 0};
            for (std::uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(tif, const_cast<unsigned char*>(row), y, 0);
            TIFFWriteDirectory(tif);
        }
        TIFFClose(tif);
        QVERIFY(Form1->loadimage(path("pages.tif")));
        QVERIFY(Form1->TIFFpage1->isEnabled());
        QList<QAction*> items = Form1->TIFFpage1->actions();
        QCOMPARE(items.size(), 3);
        QVERIFY(items[0]->isChecked());
        items[2]->trigger();
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: pages.tif (page 3 of 3)"));
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(30, 30, 30));
        items = Form1->TIFFpage1->actions();
        QVERIFY(items[2]->isChecked() && !items[0]->isChecked());
        // Another picture starts at its first page, and a single page leaves the menu off.
        QVERIFY(Form1->loadimage(path("green16.png")));
        QVERIFY(!Form1->TIFFpage1->isEnabled());
        QVERIFY(Form1->loadimage(path("pages.tif")));
        QCOMPARE(Form2->layers().Image1.pixel(0, 0), rgbColour(10, 10, 10));
    }

    void unreadableTiffGivesAnEmptyPictureAndTheUsualReset()
    {
        Form2->layers().Image1 = testPicture(20, 10);
        writeBytes(path("broken.tif"), QByteArray("not a tiff at all"));
        QVERIFY(Form1->loadimage(path("broken.tif")));
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QCOMPARE(dialogs_->messages[0].kind, UserDialogs::MessageKind::Plain);
        QVERIFY(Form2->layers().Image1.empty());
        QCOMPARE(AnalysisState.ImageWidth, 0);
        QCOMPARE(AnalysisState.ImageFileName, std::string("broken.tif"));
    }

    // The file's own last suffix in any letter case decides; the content must be of that kind.
    void everyReadableSuffixLoads_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("format");  // what is written: JPEG, BMP, PNG or TIFF
        QTest::newRow(".jpeg") << QStringLiteral("photo.jpeg") << QStringLiteral("JPEG");
        QTest::newRow(".Jpg") << QStringLiteral("photo.Jpg") << QStringLiteral("JPEG");
        QTest::newRow(".JPE") << QStringLiteral("photo.JPE") << QStringLiteral("JPEG");
        QTest::newRow(".Bmp") << QStringLiteral("scan.Bmp") << QStringLiteral("BMP");
        QTest::newRow(".png") << QStringLiteral("plate.png") << QStringLiteral("PNG");
        QTest::newRow(".PNG") << QStringLiteral("plate.PNG") << QStringLiteral("PNG");
        QTest::newRow(".tiff") << QStringLiteral("grey.tiff") << QStringLiteral("TIFF");
        QTest::newRow("folder named .jpg") << QStringLiteral("pics.jpg/plate.png") << QStringLiteral("PNG");
        QTest::newRow("colons in the name") << QStringLiteral("scan 12:30:45.jpg") << QStringLiteral("JPEG");
    }
    void everyReadableSuffixLoads()
    {
        QFETCH(QString, name);
        QFETCH(QString, format);
        QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("pics.jpg")));
        const QString file = folder_.filePath(name);
        Picture expected = testPicture(6, 4);
        if (format == QStringLiteral("TIFF")) {
            writeBytes(file, greyTiff(6, 4));
            expected = decodePictureFile(file.toStdString(), PictureKind::Tiff).picture;
        } else if (format == QStringLiteral("JPEG")) {
            QCOMPARE(QString::fromStdString(writeJpegFile(expected, file.toStdString())), QString());
            expected = decodePictureFile(file.toStdString(), PictureKind::Jpeg).picture;
        } else {
            QImage image(6, 4, QImage::Format_RGB888);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 6; ++x) {
                    const std::uint32_t c = expected.pixel(x, y);
                    image.setPixel(x, y, qRgb(colourRed(c), colourGreen(c), colourBlue(c)));
                }
            QVERIFY(image.save(file, qPrintable(format)));
        }
        QVERIFY(!expected.empty());
        QVERIFY(Form1->loadimage(file));
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(Form2->layers().Image1 == expected);
        const QString shortName = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), shortName);
        QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: ") + shortName);
    }

    // Any other name is refused, naming the file, and nothing changes: not the layers, the record, the
    // caption, the working folder nor the settings file.
    void otherKindsAreRefusedAndChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow(".gif") << QStringLiteral("photo.gif");
        QTest::newRow(".txt after .jpg") << QStringLiteral("photo.jpg.txt");
        QTest::newRow("no suffix") << QStringLiteral("photo");
        QTest::newRow("no suffix in a .jpg folder") << QStringLiteral("pics.jpg/photo");
        QTest::newRow("trailing blank") << QStringLiteral("photo.jpg ");
    }
    void otherKindsAreRefusedAndChangeNothing()
    {
        QFETCH(QString, name);
        QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("pics.jpg")));
        QCOMPARE(QString::fromStdString(writeJpegFile(testPicture(40, 30), path("good.jpg").toStdString())),
                 QString());
        dialogs_->answerNextFileDialog(path("good.jpg"));
        Form1->Openimage1Click();
        VERIFY_NO_MESSAGE(dialogs_);
        const Layers before = Form2->layers();
        const TAnalysisState stateBefore = AnalysisState;
        QFile settings(path("SpotTally.ini"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray settingsBefore = settings.readAll();
        settings.close();
        // JPEG content: only the name decides, and it is refused.
        const QString file = folder_.filePath(name);
        QCOMPARE(QString::fromStdString(writeJpegFile(testPicture(8, 8), file.toStdString())), QString());
        dialogs_->answerNextFileDialog(file);
        Form1->Openimage1Click();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY2(dialogs_->messages[0].text.contains(file), qPrintable(dialogs_->messages[0].text));
        QVERIFY(dialogs_->messages[0].text.contains(QString::fromUtf8(kUnreadablePictureKindReason)));
        QVERIFY(Form2->layers().Image1 == before.Image1);
        QVERIFY(Form2->layers().Image2 == before.Image2);
        QVERIFY(Form2->layers().Image3 == before.Image3);
        QCOMPARE(AnalysisState.ImageFileName, std::string("good.jpg"));
        QCOMPARE(AnalysisState.ImageWidth, stateBefore.ImageWidth);
        QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: good.jpg"));
        QCOMPARE(QString::fromStdString(Form1->workingFolder().string()), folder_.path());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(settings.readAll(), settingsBefore);
    }

    void openDialogOffersEveryReadableKind()
    {
        Form1->Openimage1Click();
        QCOMPARE(dialogs_->fileDialogs.size(), size_t(1));
        const QString filter = dialogs_->fileDialogs[0].filter;
        const QStringList patterns = filter.split(QLatin1Char('|')).value(1).split(QLatin1Char(';'));
        for (const char* pattern : {"*.jpg", "*.jpeg", "*.jpe", "*.bmp", "*.tif", "*.tiff", "*.png"})
            QVERIFY2(patterns.contains(QLatin1String(pattern)), qPrintable(filter));
    }

    // A picture named on the command line is opened as a confirmed "Open image" opens it: its folder
    // becomes the working folder (reports are saved beside it) and is written to the settings file.
    void commandLinePictureSetsTheWorkingFolder_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::newRow("full path") << false;
        QTest::newRow("relative to the shell's folder") << true;
    }
    void commandLinePictureSetsTheWorkingFolder()
    {
        QFETCH(bool, relative);
        QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("run7")));
        QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("home")));
        const QString picture = folder_.filePath(QStringLiteral("run7/plate.jpg"));
        QCOMPARE(QString::fromStdString(writeJpegFile(testPicture(30, 20), picture.toStdString())),
                 QString());
        const QString startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder_.filePath(QStringLiteral("home"))));
        Form1->setWorkingFolder(folder_.filePath(QStringLiteral("home")).toStdString());
        openCommandLinePicture(
            {QStringLiteral("spottally"), relative ? QStringLiteral("../run7/plate.jpg") : picture});
        QDir::setCurrent(startFolder);

        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(AnalysisState.ImageFileName, std::string("plate.jpg"));
        const QString run7 = QFileInfo(picture).absolutePath();
        QCOMPARE(QFileInfo(QString::fromStdString(Form1->workingFolder().string())).canonicalFilePath(),
                 QFileInfo(run7).canonicalFilePath());
        QFile settings(path("SpotTally.ini"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QString firstLine = QString::fromLocal8Bit(settings.readLine()).trimmed();
        QCOMPARE(QFileInfo(firstLine).canonicalFilePath(), QFileInfo(run7).canonicalFilePath());
        QVERIFY(firstLine.endsWith(QLatin1Char('/')));
        QCOMPARE(QFileInfo(Form1->OpenDialog1.initialDirectory).canonicalFilePath(),
                 QFileInfo(run7).canonicalFilePath());
        // The report lands beside the picture, not in the folder the program was started from.
        AnalysisState.AutoCount = 3;
        QVERIFY(Form3->report());
        Form3->BnSaverep->click();
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(QFile::exists(folder_.filePath(QStringLiteral("run7/c_plate.txt"))));
        QVERIFY(QDir(folder_.filePath(QStringLiteral("home"))).isEmpty());
    }

    void commandLineWithoutAPictureOpensNothing()
    {
        QFile::remove(path("SpotTally.ini"));
        openCommandLinePicture({QStringLiteral("spottally")});
        VERIFY_NO_MESSAGE(dialogs_);
        QVERIFY(AnalysisState.ImageFileName.empty());
        QVERIFY(!QFile::exists(path("SpotTally.ini")));
        openCommandLinePicture({QStringLiteral("spottally"), path("notes.txt")});
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(AnalysisState.ImageFileName.empty());
        QVERIFY(!QFile::exists(path("SpotTally.ini")));
    }

    void failuresLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing file") << QStringLiteral("missing.jpg") << QByteArray();
        QTest::newRow("corrupt jpeg") << QStringLiteral("corrupt.jpg") << QByteArray("\xFF\xD8\xFF\xE0 garbage", 12);
        QTest::newRow("empty jpeg") << QStringLiteral("empty.JPG") << QByteArray("");
        QTest::newRow("text as bmp") << QStringLiteral("text.bmp") << QByteArray("just some text");
    }
    void failuresLeaveEverythingAsItWas()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const Picture picture = testPicture(40, 30);
        QCOMPARE(QString::fromStdString(writeJpegFile(picture, path("good.jpg").toStdString())), QString());
        QVERIFY(Form1->loadimage(path("good.jpg")));
        const Layers before = Form2->layers();
        const TAnalysisState stateBefore = AnalysisState;
        if (name != QStringLiteral("missing.jpg")) writeBytes(folder_.filePath(name), content);
        QVERIFY(!Form1->loadimage(folder_.filePath(name)));
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(dialogs_->messages[0].text.contains(name));
        QVERIFY(Form2->layers().Image1 == before.Image1);
        QVERIFY(Form2->layers().Image2 == before.Image2);
        QVERIFY(Form2->layers().Image3 == before.Image3);
        QCOMPARE(AnalysisState.ImageFileName, stateBefore.ImageFileName);
        QCOMPARE(AnalysisState.ImageWidth, stateBefore.ImageWidth);
        QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: good.jpg"));
    }

    void openImageDialogLoadsAndMovesTheWorkingFolder()
    {
        QVERIFY(QDir(folder_.path()).mkdir(QStringLiteral("plates")));
        const QString picture = folder_.filePath(QStringLiteral("plates/p1.jpg"));
        QCOMPARE(QString::fromStdString(writeJpegFile(testPicture(16, 16), picture.toStdString())), QString());
        dialogs_->answerNextFileDialog(picture);
        Form1->Openimage1Click();
        QCOMPARE(AnalysisState.ImageFileName, std::string("p1.jpg"));
        QCOMPARE(QString::fromStdString(Form1->workingFolder().string()), folder_.filePath(QStringLiteral("plates")));
        // A bare name now resolves in the picture's folder.
        QVERIFY(Form1->loadimage(QStringLiteral("p1.jpg")));
    }

    void failedOpenWritesNoSettings()
    {
        QFile::remove(path("SpotTally.ini"));
        writeBytes(path("bad.jpg"), QByteArray("nope"));
        dialogs_->answerNextFileDialog(path("bad.jpg"));
        Form1->Openimage1Click();
        QCOMPARE(dialogs_->messages.size(), size_t(1));
        QVERIFY(!QFile::exists(path("SpotTally.ini")));
    }
};

QTEST_MAIN(LoadImageTest)
#include "LoadImage_test.moc"
