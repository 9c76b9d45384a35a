// The image window: zoom, view flipping, click mode and the overlays as the windows use them.

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QRawFont>
#include <QWindow>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "support/WindowTest.h"
#include "gui/LayerView.h"
#include "gui/MenuRows.h"
#include "view/Overlays.h"
#include "view/ScaleLabel.h"
#include "gui/TForm2.h"

namespace {

constexpr std::uint32_t kGround = 0x305070;

/// Puts a width x height picture of one colour into the original layer and loads it as "x.jpg".
void loadPicture(int width, int height, std::uint32_t colour = kGround)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, colour);
    Form2->layers().Image1 = std::move(picture);
    Form1->newpictureparams(QStringLiteral("x.jpg"));
}

/// The layer the user sees where the layers lie: the only one the mouse can reach.
QWidget* layerUnderMouse() { return Form2->Image1->parentWidget()->childAt(QPoint(2, 2)); }

}  // namespace

class TForm2Test : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void initialWindow();
    void zoomCommands_data();
    void zoomCommands();
    void flipCycle_data();
    void flipCycle();
    void clickModeCaptions();
    void loadingDrawsOverlaysAndShowsTheOriginal();
    void scaleMenuBringsTheCountViewForward();
    void scaleLabelIsWrittenInsideTheBox();
    void scaleLabelHasTheMicroSign();
    void gridMenuRedrawsTheGrid();
    void everyCommandStaysInTheMenuBar();
    void windowTitlesAreExactlyTheProgramsTexts();
    void badPixelsPerMmShowsAMessageAndDrawsNothing();
    void overlaysSwitchedOffLeaveTheViewAlone();
    void aZoomConvertsThePictureOnceAndFlipsNever();
    void changedAreaIsShownWithoutAFullConversion();

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void TForm2Test::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(std::filesystem::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString()));
}

void TForm2Test::cleanup()
{
    closeTestWindows(dialogs_);
    folder_.reset();
}

void TForm2Test::initialWindow()
{
    QCOMPARE(Form2->windowTitle(), QStringLiteral("SpotTally"));
    QCOMPARE(Form2->ToggleimageOriginal1->text(), QStringLiteral("[Flip image =] Original"));
    // The main window starts in add mode, and the caption says so from the start.
    QCOMPARE(Form2->Orig1->text(), QStringLiteral("&[Click mode=]   Add  "));
    QCOMPARE(Form2->N1001->text(), QStringLiteral("100 %"));
    QCOMPARE(Form2->frontLayer(), Form2->Image1);
    QCOMPARE(Form2->Image2->size(), QSize(470, 403));
}

void TForm2Test::zoomCommands_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QSize>("shown");  // of a 1000 x 800 picture

    QTest::newRow("out at the floor") << 10 << "out" << 10 << QSize(100, 80);
    QTest::newRow("out from 100") << 100 << "out" << 90 << QSize(900, 720);
    QTest::newRow("out from 125") << 125 << "out" << 100 << QSize(1000, 800);
    QTest::newRow("in from 90") << 90 << "in" << 100 << QSize(1000, 800);
    QTest::newRow("in from 100") << 100 << "in" << 125 << QSize(1250, 1000);
    QTest::newRow("in from 125") << 125 << "in" << 150 << QSize(1500, 1200);
    QTest::newRow("full from 30") << 30 << "full" << 100 << QSize(1000, 800);
}

void TForm2Test::zoomCommands()
{
    QFETCH(int, start);
    QFETCH(QString, command);
    QFETCH(int, zoom);
    QFETCH(QSize, shown);
    loadPicture(1000, 800);
    AnalysisState.ZoomPercent = static_cast<std::uint16_t>(start);
    if (command == QLatin1String("out")) Form2->Zoom1->trigger();
    if (command == QLatin1String("in")) Form2->Fittoframe1->trigger();
    if (command == QLatin1String("full")) Form2->N1001->trigger();

    QCOMPARE(int(AnalysisState.ZoomPercent), zoom);
    QCOMPARE(Form2->N1001->text(), QString::number(zoom) + QStringLiteral(" %"));
    for (LayerView* layer : {Form2->Image1, Form2->Image2, Form2->Image3}) QCOMPARE(layer->size(), shown);
    // The pictures themselves keep their size; zoomed out, the display copy is scaled down to the zoom.
    QCOMPARE(Form2->layers().Image2.width(), 1000);
    QCOMPARE(Form2->Image2->shownImage().size(), zoom < 100 ? shown : QSize(1000, 800));
}

void TForm2Test::flipCycle_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("front");  // 1, 2 or 3: Image1 .. Image3

    QTest::newRow("original to count") << 1 << 2 << "[Flip image=] Count " << 2;
    QTest::newRow("count to area") << 2 << 3 << "[Flip image=] Area" << 3;
    QTest::newRow("area to original") << 3 << 1 << "[Flip image=] Original" << 1;
    QTest::newRow("unexpected to original") << 0 << 1 << "[Flip image=] Original" << 1;
}

void TForm2Test::flipCycle()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, caption);
    QFETCH(int, front);
    loadPicture(40, 30);
    AnalysisState.ViewMode = static_cast<std::uint8_t>(from);
    Form2->ToggleimageOriginal1->trigger();

    QCOMPARE(int(AnalysisState.ViewMode), to);
    QCOMPARE(Form2->ToggleimageOriginal1->text(), caption);
    LayerView* const layers[] = {Form2->Image1, Form2->Image2, Form2->Image3};
    QCOMPARE(Form2->frontLayer(), layers[front - 1]);
    for (LayerView* layer : layers) QCOMPARE(layer->isVisible(), layer == layers[front - 1]);
    QCOMPARE(layerUnderMouse(), static_cast<QWidget*>(layers[front - 1]));
}

void TForm2Test::clickModeCaptions()
{
    QVERIFY(AnalysisState.AddMode);  // as the main window sets it at start
    Form2->Orig1->trigger();
    QCOMPARE(AnalysisState.AddMode, false);
    QCOMPARE(Form2->Orig1->text(), QStringLiteral("&[Click mode=] Remove"));
    Form2->Orig1->trigger();
    QCOMPARE(AnalysisState.AddMode, true);
    QCOMPARE(Form2->Orig1->text(), QStringLiteral("&[Click mode=]   Add  "));
}

void TForm2Test::loadingDrawsOverlaysAndShowsTheOriginal()
{
    loadPicture(2048, 1536);
    const Layers& layers = Form2->layers();
    QCOMPARE(layers.Image2.pixel(46, 131), kGridColour);    // grid line at y = 131
    QCOMPARE(layers.Image2.pixel(44, 33), kScaleOutline);   // scale box corner over the grid
    QCOMPARE(layers.Image2.pixel(45, 34), kScaleFill);
    QCOMPARE(layers.Image1.pixel(46, 131), kGround);
    QCOMPARE(layers.Image3.pixel(46, 131), kGround);
    QCOMPARE(Form2->frontLayer(), Form2->Image1);
    QCOMPARE(Form2->ToggleimageOriginal1->text(), QStringLiteral("[Flip image=] Original"));
    QCOMPARE(Form2->Image1->size(), QSize(2048, 1536));
    // The display copy of the count view shows the grid in its true colour.
    QCOMPARE(Form2->Image2->shownImage().pixel(46, 131), qRgb(136, 136, 136));
    VERIFY_NO_MESSAGE(dialogs_);
}

void TForm2Test::scaleMenuBringsTheCountViewForward()
{
    loadPicture(2048, 1536);
    Form1->scale100->trigger();
    QCOMPARE(int(AnalysisState.ScaleMicrons), 100);
    QCOMPARE(Form2->layers().Image2.pixel(36, 175), kScaleOutline);
    QCOMPARE(Form2->layers().Image2.pixel(431, 192), kScaleOutline);
    QCOMPARE(Form2->frontLayer(), Form2->Image2);
    QCOMPARE(layerUnderMouse(), static_cast<QWidget*>(Form2->Image2));
    // ViewMode and the flip caption stay: the next flip continues from the original view.
    QCOMPARE(int(AnalysisState.ViewMode), int(kViewOriginal));
    QCOMPARE(Form2->ToggleimageOriginal1->text(), QStringLiteral("[Flip image=] Original"));
    Form2->ToggleimageOriginal1->trigger();
    QCOMPARE(int(AnalysisState.ViewMode), int(kViewCount));
}

void TForm2Test::scaleLabelIsWrittenInsideTheBox()
{
    loadPicture(2048, 1536, 0xFFFFFF);
    // 25 µm: box (44, 33) to (143, 51); the label starts at (78, 34). Text pixels are dark.
    const Picture& count = Form2->layers().Image2;
    int dark = 0;
    for (int y = 34; y < 50; ++y)
        for (int x = 78; x < 142; ++x) dark += colourRed(count.pixel(x, y)) < 128;
    QVERIFY2(dark > 10, qPrintable(QStringLiteral("%1 dark label pixels").arg(dark)));
    // Nothing of the label lies left of it or below the box.
    for (int x = 45; x < 78; ++x) QCOMPARE(count.pixel(x, 40), kScaleFill);
}

void TForm2Test::scaleLabelHasTheMicroSign()
{
    if (qEnvironmentVariableIsSet("SPOTTALLY_SYMBOL_WITHOUT_MICRO_SIGN")) {
        // Run with a font set-up where "Symbol" names a face without the sign (needs the Debian package
        // fonts-glyphicons-halflings); check that it does.
        QFont symbol(QStringLiteral("Symbol"));
        if (QRawFont::fromFont(symbol).supportsCharacter(QChar(kMicroSign)))
            QSKIP("no face without a micro sign stands for \"Symbol\" here");
    }
    // The face has a micro sign of its own: no other face has to stand in (where none does, the label
    // would read "25 m").
    QFont font = scaleLabelFont();
    QVERIFY2(QRawFont::fromFont(font).supportsCharacter(QChar(kMicroSign)), qPrintable(QFontInfo(font).family()));
    // The sign alone, in that face only, leaves ink.
    QImage sign(40, 30, QImage::Format_RGB32);
    sign.fill(Qt::white);
    {
        QPainter painter(&sign);
        font.setStyleStrategy(QFont::NoFontMerging);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(sign.rect(), Qt::AlignLeft | Qt::AlignTop, QString(QChar(kMicroSign)));
    }
    int ink = 0;
    for (int y = 0; y < sign.height(); ++y)
        for (int x = 0; x < sign.width(); ++x) ink += qRed(sign.pixel(x, y)) < 128;
    QVERIFY2(ink >= 4, qPrintable(QStringLiteral("%1 ink pixels").arg(ink)));

    // In the count layer: ink where the sign stands in the label "25 µ" starting at (78, 34).
    loadPicture(2048, 1536, 0xFFFFFF);
    const Picture& count = Form2->layers().Image2;
    const QFontMetrics metrics(scaleLabelFont());
    const int from = 78 + metrics.horizontalAdvance(QStringLiteral("25 "));
    const int to = 78 + metrics.horizontalAdvance(QStringLiteral("25 ") + QChar(kMicroSign));
    int signInk = 0;
    for (int y = 34; y < 34 + metrics.height(); ++y)
        for (int x = from; x < to; ++x) signInk += colourRed(count.pixel(x, y)) < 128;
    QVERIFY2(signInk >= 4, qPrintable(QStringLiteral("%1 ink pixels in columns %2 to %3").arg(signInk).arg(from).arg(to)));
}

void TForm2Test::gridMenuRedrawsTheGrid()
{
    loadPicture(2048, 1536);
    AnalysisState.ViewMode = kViewOriginal;
    Form2->Toggleview();
    // 50 um at 3952 pixels / mm: 197-pixel cells, the top line at y = 78 from x = 39 on, dotted.
    QCOMPARE(Form2->layers().Image2.pixel(41, 78), kGround);
    Form1->um50->trigger();
    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(Form2->layers().Image2.pixel(41, 78), kGridColour);
    QCOMPARE(Form2->layers().Image2.pixel(42, 78), kGround);
    QCOMPARE(Form2->frontLayer(), Form2->Image2);  // as a scale change shows it
    QCOMPARE(Form2->Image2->shownImage().pixel(41, 78), qRgb(136, 136, 136));
    // The original and the area layer carry no grid.
    QCOMPARE(Form2->layers().Image1.pixel(41, 78), kGround);
    QCOMPARE(Form2->layers().Image3.pixel(41, 78), kGround);
}

void TForm2Test::everyCommandStaysInTheMenuBar()
{
    // At its default size, the window shows every item of its menu bar, whatever their captions say.
    const auto hiddenItems = [] {
        QStringList hidden;
        for (QMenuBar* bar : Form2->Menu1->rows())
            for (QAction* item : bar->actions()) {
                const QRect place = bar->actionGeometry(item);
                if (place.isEmpty() || !bar->rect().contains(place)) hidden << item->text();
            }
        return hidden.join(QStringLiteral(" | "));
    };
    Form2->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form2));
    QCOMPARE(hiddenItems(), QString());
    // In one row where the window is as wide as it is made.
    QCOMPARE(int(Form2->Menu1->rows().size()), 1);
    for (int mode = 0; mode < 2; ++mode) {
        Form2->Orig1->trigger();  // Remove, then Add
        for (int view = 0; view < 3; ++view) {
            Form2->ToggleimageOriginal1->trigger();
            QCOMPARE(hiddenItems(), QString());
        }
    }
    // A window made while the click mode is "Remove" (as after a count): the same.
    closeTestWindows(dialogs_);
    dialogs_ = openTestWindows(std::filesystem::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString()));
    AnalysisState.AddMode = true;
    Form2->Orig1->trigger();
    QCOMPARE(Form2->Orig1->text(), QStringLiteral("&[Click mode=] Remove"));
    loadPicture(40, 30);
    QVERIFY(QTest::qWaitForWindowExposed(Form2));
    QCOMPARE(hiddenItems(), QString());
}

void TForm2Test::windowTitlesAreExactlyTheProgramsTexts()
{
    nameApplication();
    loadPicture(40, 30);
    Form1->show();
    Form3->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form2));
    // The title the window system gets is the text the window sets, nothing appended.
    QCOMPARE(Form2->windowHandle()->title(), QStringLiteral("SpotTally: x.jpg"));
    QCOMPARE(Form1->windowHandle()->title(), QStringLiteral("SpotTally"));
    QCOMPARE(Form3->windowHandle()->title(), QStringLiteral("SpotTally - Report"));
    // No display name of the program's own: the platforms append one to every title. Unset, it
    // follows the application's name.
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("SpotTally"));
    QCoreApplication::setApplicationName(QStringLiteral("renamed"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("renamed"));
    nameApplication();
}

void TForm2Test::badPixelsPerMmShowsAMessageAndDrawsNothing()
{
    loadPicture(300, 200);
    const Picture before = Form2->layers().Image2;
    Form1->Edpixmm->setText(QStringLiteral("39x2"));
    QVERIFY(!Form2->Showscale());
    QVERIFY(!Form2->Showgrid());
    QCOMPARE(dialogs_->messages.size(), std::size_t{2});
    QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("\"Pixels / mm\"")));
    QVERIFY(dialogs_->messages[0].text.contains(QStringLiteral("39x2")));

    Form1->Edpixmm->setText(QStringLiteral("99"));
    AnalysisState.GridMicrons = 10;
    QVERIFY(!Form2->Showgrid());
    QVERIFY(dialogs_->messages.back().text.startsWith(QStringLiteral("Division by zero")));
    QVERIFY(Form2->layers().Image2 == before);
    QCOMPARE(Form2->frontLayer(), Form2->Image1);
}

void TForm2Test::overlaysSwitchedOffLeaveTheViewAlone()
{
    AnalysisState.GridMicrons = 0;
    AnalysisState.ScaleMicrons = 0;
    loadPicture(300, 200);
    const Picture& count = Form2->layers().Image2;
    QVERIFY(count == Form2->layers().Image1);
    Form1->Edpixmm->setText(QStringLiteral("not read"));
    QVERIFY(Form2->Showgrid());
    QVERIFY(Form2->Showscale());
    QCOMPARE(Form2->frontLayer(), Form2->Image1);
    VERIFY_NO_MESSAGE(dialogs_);
}

void TForm2Test::aZoomConvertsThePictureOnceAndFlipsNever()
{
    loadPicture(600, 400);
    Form2->ToggleimageOriginal1->trigger();  // count view in front
    QVERIFY(QTest::qWaitForWindowExposed(Form2));
    Form2->Image2->repaint();
    const int conversions = Form2->Image2->fullConversions();
    QCOMPARE(conversions, 1);  // the count view was drawn into twice and shown once
    Form2->Fittoframe1->trigger();
    Form2->Image2->repaint();
    Form2->Zoom1->trigger();
    Form2->Image2->repaint();
    QCOMPARE(Form2->Image2->fullConversions(), conversions);  // 125 % and 100 % show the same copy
    Form2->Zoom1->trigger();
    Form2->Image2->repaint();
    for (int i = 0; i < 3; ++i) Form2->ToggleimageOriginal1->trigger();
    Form2->Image2->repaint();
    Form2->N1001->trigger();
    Form2->Image2->repaint();
    Form2->Zoom1->trigger();
    Form2->Image2->repaint();
    // 90 % was scaled down once; showing it again, flipping and painting take the copies made.
    QCOMPARE(Form2->Image2->fullConversions(), conversions + 1);
    // A layer never shown is never converted.
    QCOMPARE(Form2->Image3->fullConversions(), 0);
}

void TForm2Test::changedAreaIsShownWithoutAFullConversion()
{
    loadPicture(600, 400);  // left of x = 6 neither grid nor scale box
    LayerView* view = Form2->Image2;
    QCOMPARE(view->shownImage().pixel(2, 300), qRgb(0x70, 0x50, 0x30));  // 0x305070: red 0x70, blue 0x30
    const int conversions = view->fullConversions();
    Form2->layers().Image2.setPixel(2, 300, rgbColour(1, 2, 3));
    Form2->layers().Image2.setPixel(4, 300, rgbColour(4, 5, 6));  // outside the area told
    Form2->refreshLayer(view, QRect(2, 300, 1, 1));
    QCOMPARE(view->shownImage().pixel(2, 300), qRgb(1, 2, 3));
    QCOMPARE(view->shownImage().pixel(4, 300), qRgb(0x70, 0x50, 0x30));
    QCOMPARE(view->fullConversions(), conversions);
    Form2->refreshLayer(view);
    QCOMPARE(view->shownImage().pixel(4, 300), qRgb(4, 5, 6));
}

QTEST_MAIN(TForm2Test)
#include "TForm2_test.moc"
