// The picture window's display: new pictures opened fitted, clicks at a fitted zoom, the scale bar's
// label zoomed out, and brightness, contrast and channel for the eye only.

#include <QFile>
#include <QFontMetrics>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/SettingsFile.h"
#include "gui/TForm3.h"
#include "report/ReportFile.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"
#include "view/ManualEdit.h"
#include "view/Zoom.h"

using namespace layermouse;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class DisplayTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void newPicturesOpenFittedAndClicksLandOnTheShownPixel();
    void theOpeningSettingIsKept();
    void zoomedOutTheScaleLabelCanBeRead();
    void adjustedDisplayLeavesCountsAndSavedPicturesAlone();

private:
    std::filesystem::path settingsFile() const
    {
        return std::filesystem::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString());
    }
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void DisplayTest::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(settingsFile());
    Form1->setWorkingFolder(folder_->path().toStdString());
}

void DisplayTest::cleanup()
{
    closeTestWindows(dialogs_);
    folder_.reset();
}

void DisplayTest::newPicturesOpenFittedAndClicksLandOnTheShownPixel()
{
    Form2->Openfitted1->setChecked(true);
    Form2->scrollArea()->horizontalScrollBar()->setValue(0);
    loadIntoWindow(gradientPicture(2000, 1500));
    const QSize view = Form2->scrollArea()->maximumViewportSize();
    const std::uint16_t zoom = AnalysisState.ZoomPercent;
    QCOMPARE(zoom, fittingZoom(2000, 1500, view.width(), view.height()));
    QVERIFY(zoom < 100);
    QCOMPARE(Form2->N1001->text(), QString::number(zoom) + QStringLiteral(" %"));
    QCOMPARE(Form2->scrollArea()->horizontalScrollBar()->maximum(), 0);
    QCOMPARE(Form2->scrollArea()->verticalScrollBar()->maximum(), 0);

    // Any zoom, also one between the steps: a click adds its particle where the display shows the
    // pixel, and the area view shows the new marker under the click.
    for (const std::uint16_t fitted : {zoom, std::uint16_t(37), std::uint16_t(23)}) {
        zoomTo(fitted);
        showView(2);
        AnalysisState.AddMode = true;
        const QPoint click(fitted * 1234 / 100 + 1, fitted * 567 / 100 + 1);
        release(Form2->Image2, click);
        const QPoint at(pressCoordinate(click.x(), fitted), pressCoordinate(click.y(), fitted));
        QCOMPARE(Form2->layers().Image3.pixel(at.x(), at.y()), std::uint32_t{0xFC3700});
        showView(3);
        QCOMPARE(Form2->Image3->shownImage().pixel(click), qRgb(0, 55, 252));
    }

    // A picture smaller than the window is not blown up: 100 %.
    loadIntoWindow(gradientPicture(120, 90));
    QCOMPARE(int(AnalysisState.ZoomPercent), 100);
    QCOMPARE(Form2->Image1->size(), QSize(120, 90));
    VERIFY_NO_MESSAGE(dialogs_);
}

void DisplayTest::theOpeningSettingIsKept()
{
    // Off: the settings file says so, a window made from it opens pictures at 100 %.
    Form2->Openfitted1->setChecked(true);
    Form2->Openfitted1->trigger();
    QVERIFY(!Form2->newPicturesFitted());
    QCOMPARE(settingsValues(readSettingsFile(settingsFile()).laterLines, "open-zoom"),
             std::vector<std::string>{"100"});
    {
        TForm2 later;
        QVERIFY(!later.newPicturesFitted());
    }
    loadIntoWindow(gradientPicture(2000, 1500));
    QCOMPARE(int(AnalysisState.ZoomPercent), 100);
    // On again: fitted, also in the next window.
    Form2->Openfitted1->trigger();
    QCOMPARE(settingsValues(readSettingsFile(settingsFile()).laterLines, "open-zoom"),
             std::vector<std::string>{"fit"});
    TForm2 later;
    QVERIFY(later.newPicturesFitted());
    VERIFY_NO_MESSAGE(dialogs_);
}

void DisplayTest::zoomedOutTheScaleLabelCanBeRead()
{
    // A white picture: the 25 µm bar lies at (44, 33), 98 pixels long and 18 rows high.
    loadIntoWindow(plainPicture(2048, 1536, 0xFFFFFF));
    showView(2);
    Form2->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form2));
    // The rows that hold dark pixels (outline and text) at and right of the bar's place on screen.
    const auto inkRows = [](int zoom) {
        zoomTo(zoom);
        const QImage screen = Form2->Image2->grab().toImage();
        const int left = 44 * zoom / 100, top = 33 * zoom / 100;
        int rows = 0;
        for (int y = top; y < top + 40 && y < screen.height(); ++y) {
            bool ink = false;
            for (int x = left; x < left + 150 && x < screen.width(); ++x)
                ink = ink || qRed(screen.pixel(x, y)) < 100;
            rows += ink;
        }
        return rows;
    };
    // At 100 % the box and its label as drawn into the layer: 18 rows.
    QCOMPARE(inkRows(100), 18);
    // Scaled down, the box alone would be 4 or 5 rows high; the label is written at screen size.
    const int fontRows = QFontMetrics(Form2->Image2->font()).height();
    for (const int zoom : {25, 37, 10})
        QVERIFY2(inkRows(zoom) >= fontRows / 2 + 2, qPrintable(QString::number(zoom)));
    // The layer keeps its own label.
    QCOMPARE(Form2->layers().Image2.pixel(44, 33), std::uint32_t{0});
    // A label is written for each bar still in the layer: the same bar drawn again covers the first,
    // a longer one elsewhere does not; a count starts the layer anew.
    QCOMPARE(Form2->Image2->scaleBars().size(), std::size_t{1});
    Form1->N25um1->trigger();
    QCOMPARE(Form2->Image2->scaleBars().size(), std::size_t{1});
    Form1->scale100->trigger();
    QCOMPARE(Form2->Image2->scaleBars().size(), std::size_t{2});
    Form1->BnCount->click();
    QCOMPARE(Form2->Image2->scaleBars().size(), std::size_t{1});
    QCOMPARE(Form2->Image2->scaleBars().front().microns, 100);
    VERIFY_NO_MESSAGE(dialogs_);
}

void DisplayTest::adjustedDisplayLeavesCountsAndSavedPicturesAlone()
{
    const QString picture = folder_->filePath(QStringLiteral("sample.jpg"));
    QVERIFY(QFile::copy(QStringLiteral(SPOTTALLY_SOURCE_DIR "/samples/sample.jpg"), picture));
    const QString marked = folder_->filePath(QString::fromStdString(markedPictureName("sample.jpg")));
    const auto countAndSave = [&] {
        QVERIFY(Form1->loadimage(QStringLiteral("sample.jpg")));
        Form1->BnCount->click();
        Form3->BnSavepic->click();
    };
    countAndSave();
    const Layers plain = Form2->layers();
    const int count = AnalysisState.AutoCount;
    const QByteArray plainMarked = readAll(marked);
    QVERIFY(!plainMarked.isEmpty());
    const QImage plainShown = Form2->Image2->shownImage();

    // Dim-picture settings and a fitted zoom between the steps.
    Form2->Brighter1->trigger();
    Form2->Morecontrast1->trigger();
    Form2->Greenchannel1->trigger();
    QVERIFY(Form2->Normaldisplay1->isEnabled());
    countAndSave();
    zoomTo(37);
    Form2->Image2->repaint();
    zoomTo(100);
    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(AnalysisState.AutoCount, count);
    QVERIFY(Form2->layers().Image1 == plain.Image1);
    QVERIFY(Form2->layers().Image2 == plain.Image2);
    QVERIFY(Form2->layers().Image3 == plain.Image3);
    QVERIFY(readAll(marked) == plainMarked);

    // On screen: the picture in grey, brighter; the rings, grid and scale bar in their own colours.
    const QImage shown = Form2->Image2->shownImage();
    int marks = 0, greys = 0;
    for (int y = 0; y < plain.Image2.height(); y += 3) {
        for (int x = 0; x < plain.Image2.width(); x += 3) {
            const QRgb p = shown.pixel(x, y);
            if (plain.Image2.pixel(x, y) != plain.Image1.pixel(x, y)) {
                QCOMPARE(p, plainShown.pixel(x, y));
                ++marks;
            } else {
                QVERIFY(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
                greys += p != plainShown.pixel(x, y);
            }
        }
    }
    QVERIFY(marks > 100);
    QVERIFY(greys > 1000);
    // Normal display: as before.
    Form2->Normaldisplay1->trigger();
    QVERIFY(!Form2->Normaldisplay1->isEnabled());
    QVERIFY(Form2->Allchannels1->isChecked());
    QCOMPARE(Form2->Image2->shownImage(), plainShown);
}

QTEST_MAIN(DisplayTest)
#include "Display_test.moc"
