// The image window's mouse: colour picking, the selection band and its titles, manual adding and
// removing on the count view with the report following. Real mouse events on the layer views.

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/TForm3.h"
#include "report/ReportFile.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"
#include "gui/LayerView.h"

using namespace layermouse;

namespace {

constexpr std::uint32_t kGround = 0x305070;
constexpr std::uint32_t kPicked = rgbColour(121, 223, 95);
constexpr std::uint32_t kMarker = 0xFC3700;  // a CentreMarker as a manual add writes it

bool isCentreMarker(int x, int y)
{
    const std::uint32_t colour = Form2->layers().Image3.pixel(x, y);
    return colourBlue(colour) == 252 && colourGreen(colour) == 55;
}

QString reportLine(int index) { return Form3->lines().value(index); }

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class MouseEditingTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void colourPick_data();
    void colourPick();
    void plainPressOnTheOriginalPicksNothing();
    void pressCoordinates_data();
    void pressCoordinates();
    void moveCoordinatesRoundHalvesToEven();
    void dragTitleShowsSignedSize();
    void bandIsShownOverThePictureAndGoesWithTheNextPress();
    void aDragChangesNeitherTheCountNorTheSavedPictures();
    void movesWithCtrlOrWithoutTheLeftButtonChangeNothing();
    void addThenRemoveFollowsInTheReport();
    void removalTakesTheFirstMarkerInReadingOrder_data();
    void removalTakesTheFirstMarkerInReadingOrder();
    void clicksThatEditNothing_data();
    void clicksThatEditNothing();
    void editsNearTheEdgeStayInsideThePicture();
    void anEditRefreshesOnlyItsPartOfTheView();
    void aNewPictureForgetsTheSelection();

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void MouseEditingTest::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(std::filesystem::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString()));
    Form1->setWorkingFolder(folder_->path().toStdString());
}

void MouseEditingTest::cleanup()
{
    closeTestWindows(dialogs_);
    folder_.reset();
}

void MouseEditingTest::colourPick_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("ctrl");

    QTest::newRow("Ctrl-click on the original") << 1 << int(Qt::LeftButton) << true;
    QTest::newRow("Ctrl-right-click on the original") << 1 << int(Qt::RightButton) << true;
    QTest::newRow("Ctrl-click on the count view") << 2 << int(Qt::LeftButton) << true;
    QTest::newRow("right-click on the count view") << 2 << int(Qt::RightButton) << false;
}

void MouseEditingTest::colourPick()
{
    QFETCH(int, view);
    QFETCH(int, button);
    QFETCH(bool, ctrl);
    loadIntoWindow(plainPicture(300, 200, kGround));
    Form2->layers().Image1.setPixel(150, 120, kPicked);
    Form2->layers().Image2.setPixel(150, 120, kPicked);
    zoomTo(50);
    showView(view);

    QWidget* layer = view == 1 ? Form2->Image1 : Form2->Image2;
    const auto modifiers = ctrl ? Qt::ControlModifier : Qt::NoModifier;
    // (75, 61) at 50 % is picture (150, 122): the plain ground; (75, 60) is (150, 120).
    press(layer, QPoint(75, 61), Qt::MouseButton(button), modifiers);
    QCOMPARE(Form1->EdR->text(), QString::number(colourRed(kGround)));
    press(layer, QPoint(75, 60), Qt::MouseButton(button), modifiers);

    QCOMPARE(Form1->EdR->text(), QStringLiteral("121"));
    QCOMPARE(Form1->EdG->text(), QStringLiteral("223"));
    QCOMPARE(Form1->EdB->text(), QStringLiteral("95"));
    QCOMPARE(Form1->PnColorColour(), kPicked);
    VERIFY_NO_MESSAGE(dialogs_);
}

void MouseEditingTest::plainPressOnTheOriginalPicksNothing()
{
    loadIntoWindow(plainPicture(100, 80, kPicked));
    const QString red = Form1->EdR->text();
    const std::uint32_t panel = Form1->PnColorColour();
    press(Form2->Image1, QPoint(10, 10));
    QCOMPARE(Form1->EdR->text(), red);
    QCOMPARE(Form1->PnColorColour(), panel);
}

void MouseEditingTest::pressCoordinates_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QString>("title");
    QTest::newRow("100 %") << 100 << "Xo/Yo: 101/51";
    QTest::newRow("50 %") << 50 << "Xo/Yo: 202/102";
    QTest::newRow("125 %: 80.8 and 40.8 truncate") << 125 << "Xo/Yo: 80/40";
    QTest::newRow("200 %: 50.5 and 25.5 truncate") << 200 << "Xo/Yo: 50/25";
}

void MouseEditingTest::pressCoordinates()
{
    QFETCH(int, zoom);
    QFETCH(QString, title);
    loadIntoWindow(plainPicture(1000, 800, kGround));
    zoomTo(zoom);
    press(Form2->Image1, QPoint(101, 51));
    QCOMPARE(Form2->windowTitle(), title);
}

void MouseEditingTest::moveCoordinatesRoundHalvesToEven()
{
    loadIntoWindow(plainPicture(1000, 800, kGround));
    zoomTo(200);
    press(Form2->Image1, QPoint(1, 1));  // 0.5 truncates to 0 (QTest takes (0, 0) for "the middle")
    move(Form2->Image1, QPoint(101, 103));  // 50.5 -> 50, 51.5 -> 52
    QCOMPARE(Form2->windowTitle(), QStringLiteral("X/Y: 0/0 W/H: 50/52"));
    move(Form2->Image1, QPoint(105, 3));  // 52.5 -> 52, 1.5 -> 2
    QCOMPARE(Form2->windowTitle(), QStringLiteral("X/Y: 0/0 W/H: 52/2"));
}

void MouseEditingTest::dragTitleShowsSignedSize()
{
    loadIntoWindow(plainPicture(200, 150, kGround));
    press(Form2->Image1, QPoint(100, 100));
    QCOMPARE(Form2->windowTitle(), QStringLiteral("Xo/Yo: 100/100"));
    move(Form2->Image1, QPoint(40, 60));
    QCOMPARE(Form2->windowTitle(), QStringLiteral("X/Y: 100/100 W/H: -60/-40"));
    // Beyond the picture the corner stays on its edge, and the title still tells the drag as it is.
    move(Form2->Image1, QPoint(-30, 400));
    QCOMPARE(Form2->windowTitle(), QStringLiteral("X/Y: 100/100 W/H: -130/300"));
    release(Form2->Image1, QPoint(-30, 400));
    QCOMPARE(Form2->windowTitle(), QStringLiteral("X/Y: 100/100 W/H: -130/300"));  // a release ends nothing
}

void MouseEditingTest::bandIsShownOverThePictureAndGoesWithTheNextPress()
{
    const QRgb ground = QColor(0x70, 0x50, 0x30).rgb();
    const QRgb inverted = QColor(0x8F, 0xAF, 0xCF).rgb();
    loadIntoWindow(plainPicture(200, 150, kGround));
    const Picture original = Form2->layers().Image1;
    dragOnOriginal(QPoint(20, 30), QPoint(120, 90));
    // On screen the band inverts the picture under its dots ...
    QVERIFY(!Form2->Image1->band().isEmpty());
    QImage screen = Form2->Image1->grab().toImage();
    QCOMPARE(screen.pixel(20, 30), inverted);  // the band's first dot
    QCOMPARE(screen.pixel(23, 30), ground);    // the gap after it
    QCOMPARE(screen.pixel(60, 60), ground);    // inside
    // ... and is no part of the picture: neither the layer nor its display copy holds it.
    QVERIFY(Form2->layers().Image1 == original);
    QCOMPARE(Form2->Image1->shownImage().pixel(20, 30), ground);
    // The next press takes the old band away before a new selection starts.
    press(Form2->Image1, QPoint(5, 5));
    QVERIFY(Form2->Image1->band().isEmpty());
    QCOMPARE(Form2->Image1->grab().toImage().pixel(20, 30), ground);
    QVERIFY(Form2->layers().Image1 == original);

    // Zoomed, a dot covers its picture pixel's whole place on screen.
    zoomTo(200);
    dragOnOriginal(QPoint(40, 60), QPoint(240, 180));
    screen = Form2->Image1->grab().toImage();
    for (const QPoint p : {QPoint(40, 60), QPoint(41, 61), QPoint(45, 60)})
        QCOMPARE(screen.pixel(p), inverted);
    QCOMPARE(screen.pixel(46, 60), ground);  // picture pixel 23: the gap
    QVERIFY(Form2->layers().Image1 == original);

    // Zoomed out, where a picture pixel is less than a screen pixel, the band is dotted on the screen.
    zoomTo(50);
    dragOnOriginal(QPoint(10, 15), QPoint(60, 45));
    QCOMPARE(Form2->Image1->band(), QRect(20, 30, 100, 60));
    screen = Form2->Image1->grab().toImage();
    QCOMPARE(screen.pixel(10, 15), inverted);
    QCOMPARE(screen.pixel(12, 15), inverted);
    QCOMPARE(screen.pixel(13, 15), ground);
    QCOMPARE(screen.pixel(30, 30), ground);
    QVERIFY(Form2->layers().Image1 == original);
}

void MouseEditingTest::aDragChangesNeitherTheCountNorTheSavedPictures()
{
    // The bundled sample: 400 particles on a dark ground, where an inverted band would be bright.
    const QString picture = folder_->filePath(QStringLiteral("sample.jpg"));
    QVERIFY(QFile::copy(QStringLiteral(SPOTTALLY_SOURCE_DIR "/samples/sample.jpg"), picture));
    const QString marked = folder_->filePath(QString::fromStdString(markedPictureName("sample.jpg")));
    const auto countAndSave = [&](bool drag) {
        QVERIFY(Form1->loadimage(QStringLiteral("sample.jpg")));
        if (drag) {
            dragOnOriginal(QPoint(3, 4), QPoint(1500, 1100));  // the band crosses particles and ground
            QVERIFY(!Form2->Image1->band().isEmpty());
        }
        Form1->BnCount->click();
        Form3->BnSavepic->click();
    };
    countAndSave(false);
    const Layers plain = Form2->layers();
    const int count = AnalysisState.AutoCount;
    const QByteArray plainMarked = readAll(marked);
    QVERIFY(!plainMarked.isEmpty());

    countAndSave(true);
    VERIFY_NO_MESSAGE(dialogs_);
    QCOMPARE(AnalysisState.AutoCount, count);
    QVERIFY(Form2->layers().Image1 == plain.Image1);
    QVERIFY(Form2->layers().Image2 == plain.Image2);
    QVERIFY(Form2->layers().Image3 == plain.Image3);
    QVERIFY(readAll(marked) == plainMarked);
}

void MouseEditingTest::movesWithCtrlOrWithoutTheLeftButtonChangeNothing()
{
    loadIntoWindow(plainPicture(200, 150, kGround));
    press(Form2->Image1, QPoint(100, 100));
    move(Form2->Image1, QPoint(140, 130));
    const QString title = Form2->windowTitle();
    const QRect band = Form2->Image1->band();
    QCOMPARE(band, QRect(100, 100, 40, 30));

    move(Form2->Image1, QPoint(20, 20), Qt::LeftButton, Qt::ControlModifier);
    move(Form2->Image1, QPoint(30, 30), Qt::NoButton);
    move(Form2->Image1, QPoint(40, 40), Qt::RightButton);
    move(Form2->Image1, QPoint(50, 50), Qt::MiddleButton);

    QCOMPARE(Form2->windowTitle(), title);
    QVERIFY(Form2->Image1->band() == band);
}

void MouseEditingTest::addThenRemoveFollowsInTheReport()
{
    loadIntoWindow(plainPicture(300, 200, kGround));
    AnalysisState.AutoCount = 7;
    Form3->report();
    QCOMPARE(reportLine(15), QStringLiteral("<Particles counted:> 7"));
    // The user's comments, on the comments line and below it, must survive the updates.
    Form3->Memo1->setPlainText(Form3->Memo1->toPlainText() +
                               QStringLiteral(" filter 3, left half\nsecond note"));
    const QString comments = reportLine(20);
    const QString perFilterBefore = reportLine(17);
    showView(2);
    QVERIFY(AnalysisState.AddMode);  // the start-up mode

    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(50, 60));
    QCOMPARE(AnalysisState.AutoCount, 8);
    QCOMPARE(int(AnalysisState.ManualAdded), 1);
    QCOMPARE(Form2->layers().Image3.pixel(50, 60), kMarker);
    QCOMPARE(Form2->layers().Image2.pixel(48, 55), 0x55FF99u);  // the ring's top row
    QCOMPARE(reportLine(15), QStringLiteral("<Particles counted:> 8"));
    QCOMPARE(reportLine(16), QStringLiteral("<including manually removed / added:> 0 / 1"));
    QVERIFY(reportLine(17) != perFilterBefore);  // the results follow the count

    Form2->Orig1->trigger();  // remove mode
    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(50, 60));
    QCOMPARE(AnalysisState.AutoCount, 7);
    QCOMPARE(int(AnalysisState.ManualAdded), 1);
    QCOMPARE(int(AnalysisState.ManualRemoved), 1);
    QVERIFY(!isCentreMarker(50, 60));
    QCOMPARE(Form2->layers().Image2.pixel(48, 55), 0x5511FFu);  // the ring repainted in the removal colour
    QCOMPARE(reportLine(15), QStringLiteral("<Particles counted:> 7"));
    QCOMPARE(reportLine(16), QStringLiteral("<including manually removed / added:> 1 / 1"));
    QCOMPARE(reportLine(17), perFilterBefore);

    // The same place again: the marker is gone, so nothing at all happens.
    const QString before = Form3->Memo1->toPlainText();
    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(50, 60));
    QCOMPARE(AnalysisState.AutoCount, 7);
    QCOMPARE(int(AnalysisState.ManualRemoved), 1);
    QCOMPARE(Form3->Memo1->toPlainText(), before);

    QCOMPARE(reportLine(20), comments);
    QCOMPARE(reportLine(21), QStringLiteral("second note"));
}

void MouseEditingTest::removalTakesTheFirstMarkerInReadingOrder_data()
{
    QTest::addColumn<QPoint>("first");
    QTest::addColumn<QPoint>("second");
    QTest::addColumn<QPoint>("removed");
    QTest::addColumn<QPoint>("kept");
    // The click is at (50, 60); the search covers 45..55 by 55..65.
    QTest::newRow("the upper row wins")
        << QPoint(48, 62) << QPoint(54, 57) << QPoint(54, 57) << QPoint(48, 62);
    QTest::newRow("in one row the left one")
        << QPoint(53, 60) << QPoint(46, 60) << QPoint(46, 60) << QPoint(53, 60);
    QTest::newRow("corners of the square")
        << QPoint(55, 65) << QPoint(45, 55) << QPoint(45, 55) << QPoint(55, 65);
    QTest::newRow("one beyond reach") << QPoint(50, 54) << QPoint(56, 60) << QPoint(-1, -1) << QPoint(50, 54);
}

void MouseEditingTest::removalTakesTheFirstMarkerInReadingOrder()
{
    QFETCH(QPoint, first);
    QFETCH(QPoint, second);
    QFETCH(QPoint, removed);
    QFETCH(QPoint, kept);
    loadIntoWindow(plainPicture(300, 200, kGround));
    Form2->layers().Image3.setPixel(first.x(), first.y(), kMarker);
    Form2->layers().Image3.setPixel(second.x(), second.y(), kMarker);
    AnalysisState.AutoCount = 2;
    Form2->Orig1->trigger();  // remove mode
    showView(2);

    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(50, 60));
    QVERIFY(isCentreMarker(kept.x(), kept.y()));
    if (removed.x() < 0) {
        QCOMPARE(AnalysisState.AutoCount, 2);
        QCOMPARE(int(AnalysisState.ManualRemoved), 0);
        return;
    }
    QVERIFY(!isCentreMarker(removed.x(), removed.y()));
    QCOMPARE(AnalysisState.AutoCount, 1);
    QCOMPARE(int(AnalysisState.ManualRemoved), 1);
    // The removal ring lies around the marker, not around the click.
    QCOMPARE(Form2->layers().Image2.pixel(removed.x() - 2, removed.y() - 5), 0x5511FFu);
}

void MouseEditingTest::clicksThatEditNothing_data()
{
    QTest::addColumn<bool>("addMode");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<bool>("ctrl");
    QTest::newRow("Ctrl-click adds nothing") << true << QPoint(50, 60) << true;
    QTest::newRow("Ctrl-click removes nothing") << false << QPoint(50, 60) << true;
    QTest::newRow("release right of the picture") << true << QPoint(330, 60) << false;
    QTest::newRow("release below the picture") << true << QPoint(50, 240) << false;
    QTest::newRow("release left of the picture") << true << QPoint(-1, 60) << false;
    QTest::newRow("release above the picture, remove mode") << false << QPoint(47, -1) << false;
}

void MouseEditingTest::clicksThatEditNothing()
{
    QFETCH(bool, addMode);
    QFETCH(QPoint, position);
    QFETCH(bool, ctrl);
    loadIntoWindow(plainPicture(300, 200, kGround));
    Form2->layers().Image3.setPixel(50, 60, kMarker);
    Form2->layers().Image3.setPixel(47, 0, kMarker);
    AnalysisState.AutoCount = 2;
    if (!addMode) Form2->Orig1->trigger();
    showView(2);
    const Layers before = Form2->layers();

    press(Form2->Image2, QPoint(50, 60));
    release(Form2->Image2, position, Qt::LeftButton, ctrl ? Qt::ControlModifier : Qt::NoModifier);
    QCOMPARE(AnalysisState.AutoCount, 2);
    QCOMPARE(int(AnalysisState.ManualAdded), 0);
    QCOMPARE(int(AnalysisState.ManualRemoved), 0);
    QVERIFY(Form2->layers().Image2 == before.Image2);
    QVERIFY(Form2->layers().Image3 == before.Image3);
}

void MouseEditingTest::editsNearTheEdgeStayInsideThePicture()
{
    loadIntoWindow(plainPicture(300, 200, kGround));
    showView(2);
    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(299, 0));
    QCOMPARE(Form2->layers().Image3.pixel(299, 0), kMarker);
    QCOMPARE(Form2->layers().Image2.pixel(294, 1), 0x55FF99u);  // the ring's part inside
    Form2->Orig1->trigger();
    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(296, 3));
    QCOMPARE(int(AnalysisState.ManualRemoved), 1);
    QCOMPARE(AnalysisState.AutoCount, 0);
}

void MouseEditingTest::anEditRefreshesOnlyItsPartOfTheView()
{
    loadIntoWindow(plainPicture(1200, 900, kGround));
    showView(2);
    Form2->Image2->shownImage();  // the view's copy, made once
    const int conversions = Form2->Image2->fullConversions();
    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(600, 400));
    const QImage& shown = Form2->Image2->shownImage();
    QCOMPARE(Form2->Image2->fullConversions(), conversions);
    QCOMPARE(shown.pixel(598, 395), QColor(153, 255, 85).rgb());
}

void MouseEditingTest::aNewPictureForgetsTheSelection()
{
    loadIntoWindow(plainPicture(200, 150, kGround));
    dragOnOriginal(QPoint(20, 30), QPoint(120, 90));
    loadIntoWindow(plainPicture(200, 150, kPicked));
    const Picture loaded = Form2->layers().Image1;
    // The old band vanished with the old picture, and the next press draws nothing into the new one.
    QVERIFY(Form2->Image1->band().isEmpty());
    press(Form2->Image1, QPoint(5, 5));
    QVERIFY(Form2->layers().Image1 == loaded);
    QVERIFY(Form2->Image1->band().isEmpty());
}

QTEST_MAIN(MouseEditingTest)
#include "MouseEditing_test.moc"
