// The image window's Edit commands and keys: Copy, Crop, Paste, Ctrl+C and Ctrl+V through the
// clipboard and the exchange file "CLIPBOARD.jpg", driven with real mouse and key events.

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QStatusBar>
#include <QtTest>
#include <cstdlib>
#include <memory>

#include "support/LayerMouse.h"
#include "support/WindowTest.h"
#include "view/ClipboardOps.h"

using namespace layermouse;

namespace {

constexpr std::uint32_t kGround = 0x305070;
constexpr std::uint32_t kPasted = rgbColour(230, 40, 200);
constexpr int kJpegTolerance = 12;  // per channel, after one JPEG round trip of smooth pictures

QClipboard* clipboard() { return QGuiApplication::clipboard(); }

bool near(std::uint32_t a, std::uint32_t b)
{
    return std::abs(colourRed(a) - colourRed(b)) <= kJpegTolerance &&
           std::abs(colourGreen(a) - colourGreen(b)) <= kJpegTolerance &&
           std::abs(colourBlue(a) - colourBlue(b)) <= kJpegTolerance;
}

/// The largest per-channel difference between part and source's pixels from (left, top) on.
int largestDifference(const Picture& part, const Picture& source, int left, int top)
{
    int largest = 0;
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x) {
            const std::uint32_t a = part.pixel(x, y), b = source.pixel(left + x, top + y);
            largest = std::max({largest, std::abs(colourRed(a) - colourRed(b)),
                                std::abs(colourGreen(a) - colourGreen(b)),
                                std::abs(colourBlue(a) - colourBlue(b))});
        }
    return largest;
}

}  // namespace

class ClipboardTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void copyTakesTheSelectionAtTheOriginalScale_data();
    void copyTakesTheSelectionAtTheOriginalScale();
    void copyOfADragBeyondThePictureTakesThePartInside();
    void cropMakesTheSelectionThePicture();
    void cropOverwritesAnExistingExchangeFile();
    void pasteIsClippedAtTheCorner();
    void pasteWithoutAPressLandsTopLeft();
    void ctrlVReplacesThePicture();
    void ctrlCCarriesThePictureWithoutTheBand();
    void emptyClipboardDoesNothing();
    void emptySelectionCopiesAndCropsNothing_data();
    void emptySelectionCopiesAndCropsNothing();
    void unwritableExchangeFileChangesNothing_data();
    void unwritableExchangeFileChangesNothing();

private:
    QString exchangeFile() const { return folder_->filePath(QStringLiteral("CLIPBOARD.jpg")); }
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void ClipboardTest::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(std::filesystem::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString()));
    Form1->setWorkingFolder(folder_->path().toStdString());
    clipboard()->clear();
}

void ClipboardTest::cleanup()
{
    closeTestWindows(dialogs_);
    folder_.reset();
}

void ClipboardTest::copyTakesTheSelectionAtTheOriginalScale_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QPoint>("from");  // in the view's pixels
    QTest::addColumn<QPoint>("to");
    // Every row selects picture (10, 20) to (110, 70): presses truncate, moves round.
    QTest::newRow("100 %") << 100 << QPoint(10, 20) << QPoint(110, 70);
    QTest::newRow("100 %, dragged up and left") << 100 << QPoint(110, 70) << QPoint(10, 20);
    QTest::newRow("50 %") << 50 << QPoint(5, 10) << QPoint(55, 35);
    QTest::newRow("200 %") << 200 << QPoint(21, 41) << QPoint(220, 140);
    QTest::newRow("125 %") << 125 << QPoint(13, 25) << QPoint(137, 87);
    QTest::newRow("125 %, dragged up and left") << 125 << QPoint(138, 88) << QPoint(12, 25);
}

void ClipboardTest::copyTakesTheSelectionAtTheOriginalScale()
{
    QFETCH(int, zoom);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    Picture picture(400, 300);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) picture.setPixel(x, y, rgbColour(x, y, x * 7 + y * 3));
    loadIntoWindow(picture);
    const Picture original = Form2->layers().Image1;
    zoomTo(zoom);
    dragOnOriginal(from, to);

    Form2->Copy1->trigger();

    const Picture copied = fromQImage(clipboard()->image());
    QCOMPARE(copied.width(), 100);
    QCOMPARE(copied.height(), 50);
    QCOMPARE(largestDifference(copied, original, 10, 20), 0);
    // The picture is as it was, the band is gone, the title is back, the selection collapsed.
    QVERIFY(Form2->layers().Image1 == original);
    QVERIFY(Form2->Image1->band().isEmpty());
    QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: x.jpg"));
    clipboard()->clear();
    Form2->Copy1->trigger();
    QVERIFY(clipboard()->image().isNull());
}

void ClipboardTest::copyOfADragBeyondThePictureTakesThePartInside()
{
    loadIntoWindow(gradientPicture(200, 150));
    dragOnOriginal(QPoint(100, 100), QPoint(-30, 400));
    Form2->Copy1->trigger();
    const Picture copied = fromQImage(clipboard()->image());
    QCOMPARE(copied.width(), 100);
    QCOMPARE(copied.height(), 50);
    QCOMPARE(largestDifference(copied, Form2->layers().Image1, 0, 100), 0);
}

void ClipboardTest::cropMakesTheSelectionThePicture()
{
    loadIntoWindow(gradientPicture(400, 300));
    const Picture original = Form2->layers().Image1;
    showView(2);  // a crop brings the original to the front whatever was shown
    showView(1);
    dragOnOriginal(QPoint(10, 20), QPoint(110, 70));
    Form2->Cut1->trigger();

    VERIFY_NO_MESSAGE(dialogs_);
    QVERIFY(QFile::exists(exchangeFile()));
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("CLIPBOARD.jpg"));
    QCOMPARE(AnalysisState.ImageWidth, 100);
    QCOMPARE(AnalysisState.ImageHeight, 50);
    QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: CLIPBOARD.jpg"));
    QCOMPARE(Form2->frontLayer(), Form2->Image1);
    QCOMPARE(int(AnalysisState.ViewMode), 1);
    QVERIFY(largestDifference(Form2->layers().Image1, original, 10, 20) <= kJpegTolerance);
    QCOMPARE(clipboard()->image().size(), QSize(100, 50));
}

void ClipboardTest::cropOverwritesAnExistingExchangeFile()
{
    QFile stale(exchangeFile());
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("not a picture at all");
    stale.close();
    loadIntoWindow(gradientPicture(400, 300));
    dragOnOriginal(QPoint(10, 20), QPoint(110, 70));
    Form2->Cut1->trigger();
    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(AnalysisState.ImageWidth, 100);
    QVERIFY(QFileInfo(exchangeFile()).size() > 100);
}

void ClipboardTest::pasteIsClippedAtTheCorner()
{
    loadIntoWindow(plainPicture(1000, 800, kGround));
    clipboard()->setImage(toQImage(plainPicture(300, 200, kPasted)));
    press(Form2->Image1, QPoint(900, 700));
    Form2->Paste1->trigger();

    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("CLIPBOARD.jpg"));
    QCOMPARE(AnalysisState.ImageWidth, 1000);
    QCOMPARE(AnalysisState.ImageHeight, 800);
    const Picture& shown = Form2->layers().Image1;
    // Away from the seams, where JPEG blurs: pasted inside 900..999 x 700..799, ground elsewhere.
    QVERIFY(near(shown.pixel(950, 750), kPasted));
    QVERIFY(near(shown.pixel(990, 790), kPasted));
    QVERIFY(near(shown.pixel(880, 750), kGround));
    QVERIFY(near(shown.pixel(950, 680), kGround));
    QVERIFY(near(shown.pixel(10, 10), kGround));
}

void ClipboardTest::pasteWithoutAPressLandsTopLeft()
{
    loadIntoWindow(plainPicture(200, 160, kGround));
    clipboard()->setImage(toQImage(plainPicture(40, 32, kPasted)));
    Form2->Paste1->trigger();
    const Picture& shown = Form2->layers().Image1;
    QVERIFY(near(shown.pixel(20, 16), kPasted));
    QVERIFY(near(shown.pixel(60, 16), kGround));
}

void ClipboardTest::ctrlVReplacesThePicture()
{
    loadIntoWindow(plainPicture(2048, 1536, kGround));
    zoomTo(50);
    clipboard()->setImage(toQImage(gradientPicture(640, 480)));
    QTest::keyClick(Form2, Qt::Key_V, Qt::ControlModifier);

    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(AnalysisState.ImageWidth, 640);
    QCOMPARE(AnalysisState.ImageHeight, 480);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("CLIPBOARD.jpg"));
    QCOMPARE(Form2->Image1->size(), QSize(640, 480));
    QVERIFY(largestDifference(Form2->layers().Image1, gradientPicture(640, 480), 0, 0) <= kJpegTolerance);
}

void ClipboardTest::ctrlCCarriesThePictureWithoutTheBand()
{
    loadIntoWindow(plainPicture(200, 150, kGround));
    const Picture original = Form2->layers().Image1;
    dragOnOriginal(QPoint(20, 30), QPoint(120, 90));
    QTest::keyClick(Form2, Qt::Key_C, Qt::ControlModifier);

    const Picture copied = fromQImage(clipboard()->image());
    QCOMPARE(copied.width(), 200);
    QCOMPARE(copied.height(), 150);
    QVERIFY(copied == original);
    QCOMPARE(copied.pixel(20, 30), kGround);  // where the band's first dot is shown
    QVERIFY(!Form2->Image1->band().isEmpty());  // the selection stays for the menu's Copy
    Form2->Copy1->trigger();
    QCOMPARE(fromQImage(clipboard()->image()).pixel(0, 0), kGround);
}

void ClipboardTest::emptyClipboardDoesNothing()
{
    loadIntoWindow(plainPicture(200, 150, kGround));
    const Picture original = Form2->layers().Image1;
    press(Form2->Image1, QPoint(50, 50));
    Form2->Paste1->trigger();
    QTest::keyClick(Form2, Qt::Key_V, Qt::ControlModifier);
    // A clipboard with text only holds no picture either.
    clipboard()->setText(QStringLiteral("some words"));
    Form2->Paste1->trigger();
    Form2->FormKeyPress(22);

    VERIFY_NO_MESSAGE(dialogs_);
    QVERIFY(!QFile::exists(exchangeFile()));
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("x.jpg"));
    QVERIFY(Form2->layers().Image1 == original);
}

void ClipboardTest::emptySelectionCopiesAndCropsNothing_data()
{
    QTest::addColumn<bool>("crop");
    QTest::addColumn<QPoint>("dragTo");  // from (10, 10); (-1, -1): no press at all
    QTest::addColumn<bool>("waitForMessage");
    QTest::newRow("copy without a press") << false << QPoint(-1, -1) << true;
    QTest::newRow("copy after a click") << false << QPoint(10, 10) << false;
    QTest::newRow("copy of a drag along a line") << false << QPoint(60, 10) << false;
    QTest::newRow("crop after a click") << true << QPoint(10, 10) << true;
    QTest::newRow("crop of a drag along a line") << true << QPoint(10, 90) << false;
}

void ClipboardTest::emptySelectionCopiesAndCropsNothing()
{
    QFETCH(bool, crop);
    QFETCH(QPoint, dragTo);
    QFETCH(bool, waitForMessage);
    loadIntoWindow(plainPicture(200, 150, kGround));
    const Picture original = Form2->layers().Image1;
    const QImage held = toQImage(plainPicture(8, 8, kPasted));
    clipboard()->setImage(held);
    if (dragTo.x() >= 0) dragOnOriginal(QPoint(10, 10), dragTo);

    (crop ? Form2->Cut1 : Form2->Copy1)->trigger();

    QCOMPARE(clipboard()->image(), held.convertToFormat(clipboard()->image().format()));
    VERIFY_NO_MESSAGE(dialogs_);
    QVERIFY(!QFile::exists(exchangeFile()));
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("x.jpg"));
    QVERIFY(Form2->layers().Image1 == original);
    // The status shows in the status bar for a moment, never in the title.
    QCOMPARE(Form2->statusBar()->currentMessage(), QString::fromLatin1(kNothingSelectedStatus));
    QVERIFY(Form2->windowTitle() != QString::fromLatin1(kNothingSelectedStatus));
    if (dragTo.x() < 0) QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally: x.jpg"));
    if (waitForMessage)
        QTRY_COMPARE_WITH_TIMEOUT(Form2->statusBar()->currentMessage(), QString(), 2 * kStatusMilliseconds);
}

void ClipboardTest::unwritableExchangeFileChangesNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("paste") << "paste";
    QTest::newRow("crop") << "crop";
    QTest::newRow("Ctrl+V") << "ctrl+v";
}

void ClipboardTest::unwritableExchangeFileChangesNothing()
{
    QFETCH(QString, command);
    // A folder in the file's place: it cannot be written, whoever runs the test.
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("CLIPBOARD.jpg")));
    loadIntoWindow(gradientPicture(300, 200));
    const Picture original = Form2->layers().Image1;
    clipboard()->setImage(toQImage(plainPicture(50, 40, kPasted)));
    if (command == QLatin1String("crop"))
        dragOnOriginal(QPoint(10, 20), QPoint(110, 70));
    else
        press(Form2->Image1, QPoint(30, 30));

    if (command == QLatin1String("paste")) Form2->Paste1->trigger();
    if (command == QLatin1String("crop")) Form2->Cut1->trigger();
    if (command == QLatin1String("ctrl+v")) QTest::keyClick(Form2, Qt::Key_V, Qt::ControlModifier);

    QCOMPARE(dialogs_->messages.size(), std::size_t{1});
    QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("CLIPBOARD.jpg")));
    QVERIFY(Form2->layers().Image1 == original);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("x.jpg"));
    QCOMPARE(AnalysisState.ImageWidth, 300);
}

QTEST_MAIN(ClipboardTest)
#include "Clipboard_test.moc"
