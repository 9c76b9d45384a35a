// Getting about in the windows: Ctrl+wheel zoom about the mouse, "Fit to window" and "100 %" keeping
// the view's centre, the middle-button pan, the command keys of every window (Enter in a parameter field
// counts), and the mean colour pick of Ctrl+Shift+click. Real events throughout.

#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

#include "gui/TForm3.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"
#include "view/ClipboardOps.h"
#include "view/Zoom.h"

using namespace layermouse;

namespace {

constexpr std::uint32_t kGround = 0x305070;

QScrollBar* across() { return Form2->scrollArea()->horizontalScrollBar(); }
QScrollBar* down() { return Form2->scrollArea()->verticalScrollBar(); }
QPoint scrolled() { return QPoint(across()->value(), down()->value()); }

/// The picture pixel shown at a place of the view (the scroll area's viewport), as a click there takes it.
QPointF pictureAt(QPoint inView)
{
    const QPoint onLayer = inView + scrolled();
    const double scale = 100.0 / AnalysisState.ZoomPercent;
    return QPointF(onLayer.x() * scale, onLayer.y() * scale);
}

void turnWheel(QWidget* layer, QPoint position, int angle, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(QPointF(position), QPointF(layer->mapToGlobal(position)), QPoint(), QPoint(0, angle),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(layer, &event);
}

void activate(QWidget* window)
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

QString withoutMnemonic(QString caption) { return caption.remove(QLatin1Char('&')); }

}  // namespace

class NavigationTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void ctrlWheelZoomsAboutTheMouse();
    void fitToWindowAnd100KeepTheCentre();
    void middleButtonDragPans();
    void commandKeys_data();
    void commandKeys();
    void saveReportItemFollowsTheButton();
    void ctrlShiftClickTakesTheMeanOfFiveByFive_data();
    void ctrlShiftClickTakesTheMeanOfFiveByFive();

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void NavigationTest::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(
        std::filesystem::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString()));
    Form1->setWorkingFolder(folder_->path().toStdString());
}

void NavigationTest::cleanup() { closeTestWindows(dialogs_); }

void NavigationTest::ctrlWheelZoomsAboutTheMouse()
{
    loadIntoWindow(gradientPicture(2000, 1500));
    activate(Form2);
    across()->setValue(300);
    down()->setValue(200);
    QCOMPARE(scrolled(), QPoint(300, 200));
    const QPoint mouse(150, 100);  // in the view
    const QPointF before = pictureAt(mouse);

    // Each notch one step, in and out, with the picture point under the mouse staying there.
    const struct {
        int angle;
        int zoom;
    } turns[] = {{120, 125}, {120, 150}, {-120, 125}, {-120, 100}, {-120, 90}, {60, 90}, {60, 100}};
    for (const auto& turn : turns) {
        turnWheel(Form2->frontLayer(), mouse + scrolled(), turn.angle, Qt::ControlModifier);
        QCOMPARE(int(AnalysisState.ZoomPercent), turn.zoom);
        QCOMPARE(Form2->N1001->text(), QString::number(turn.zoom) + QStringLiteral(" %"));
        QCOMPARE(Form2->Image1->width(), 2000 * turn.zoom / 100);
        const QPointF after = pictureAt(mouse);
        QVERIFY2(qAbs(after.x() - before.x()) <= 1 && qAbs(after.y() - before.y()) <= 1,
                 qPrintable(QStringLiteral("at %1 %: (%2, %3) under the mouse, was (%4, %5)")
                                .arg(turn.zoom)
                                .arg(after.x())
                                .arg(after.y())
                                .arg(before.x())
                                .arg(before.y())));
    }
    // Without Ctrl the wheel does not zoom.
    turnWheel(Form2->frontLayer(), mouse + scrolled(), 120, Qt::NoModifier);
    QCOMPARE(int(AnalysisState.ZoomPercent), 100);
    // Beside a picture smaller than the window, Ctrl+wheel zooms too.
    zoomTo(10);
    QWidget* view = Form2->scrollArea()->viewport();
    const QPoint beside(view->width() - 5, view->height() - 5);
    QVERIFY(!Form2->Image1->geometry().contains(beside));
    turnWheel(view, beside, 120, Qt::ControlModifier);
    QCOMPARE(int(AnalysisState.ZoomPercent), 20);
    VERIFY_NO_MESSAGE(dialogs_);
}

void NavigationTest::fitToWindowAnd100KeepTheCentre()
{
    loadIntoWindow(gradientPicture(2000, 1500));
    activate(Form2);
    // At the design's size: in a much wider view the centre after fitting lies too near the picture's
    // right edge for the steps below to keep it there.
    Form2->resize(489, 471);
    QCOMPARE(withoutMnemonic(Form2->Fittowindow1->text()), QStringLiteral("Fit to window"));
    Form2->Fittowindow1->trigger();
    // The largest zoom that shows the whole picture: no scrolling, and one percent more would not fit.
    const std::uint16_t fit = AnalysisState.ZoomPercent;
    const QSize view = Form2->scrollArea()->maximumViewportSize();
    QVERIFY(fit < 100);
    QVERIFY(Form2->Image1->width() <= view.width() && Form2->Image1->height() <= view.height());
    QCOMPARE(across()->maximum(), 0);
    QCOMPARE(down()->maximum(), 0);
    const DisplaySize larger = displayedSize(static_cast<std::uint16_t>(fit + 1), 2000, 1500);
    QVERIFY(larger.width > view.width() || larger.height > view.height());
    QCOMPARE(Form2->N1001->text(), QString::number(fit) + QStringLiteral(" %"));

    // "100 %" and the zoom steps keep the picture point at the view's centre.
    const QPoint centre = Form2->scrollArea()->viewport()->rect().center();
    const QPointF shown = pictureAt(centre);
    for (QAction* command : {Form2->N1001, Form2->Fittoframe1, Form2->Zoom1, Form2->Zoom1}) {
        command->trigger();
        const QPointF now = pictureAt(centre);
        QVERIFY2(qAbs(now.x() - shown.x()) <= 1 && qAbs(now.y() - shown.y()) <= 1,
                 qPrintable(QStringLiteral("at %1 %: (%2, %3) at the centre, was (%4, %5)")
                                .arg(AnalysisState.ZoomPercent)
                                .arg(now.x())
                                .arg(now.y())
                                .arg(shown.x())
                                .arg(shown.y())));
    }
    QCOMPARE(int(AnalysisState.ZoomPercent), 90);  // 100, 125, 100, 90
    Form2->N1001->trigger();
    QCOMPARE(Form2->Image1->size(), QSize(2000, 1500));
    // A click maps onto the picture at the fitting zoom as at every other.
    Form2->Fittowindow1->trigger();
    press(Form2->Image1, QPoint(50, 40), Qt::LeftButton, Qt::ControlModifier);
    const std::uint32_t expected = Form2->layers().Image1.pixel(50 * 100 / fit, 40 * 100 / fit);
    QCOMPARE(Form1->PnColorColour(), expected);
    VERIFY_NO_MESSAGE(dialogs_);
}

void NavigationTest::middleButtonDragPans()
{
    loadIntoWindow(plainPicture(2000, 1500, kGround));
    activate(Form2);
    across()->setValue(500);
    down()->setValue(400);
    const QString title = Form2->windowTitle();
    // On the original: the picture follows the mouse, and no selection starts.
    press(Form2->Image1, QPoint(700, 600), Qt::MiddleButton);
    move(Form2->Image1, QPoint(650, 570), Qt::MiddleButton);
    QCOMPARE(scrolled(), QPoint(550, 430));
    // The next move is where the mouse now is on the moved picture.
    move(Form2->Image1, QPoint(650 + 50 - 80, 570 + 30 + 10), Qt::MiddleButton);
    QCOMPARE(scrolled(), QPoint(630, 420));
    release(Form2->Image1, QPoint(620, 610), Qt::MiddleButton);
    QCOMPARE(Form2->windowTitle(), title);
    QVERIFY(Form2->Image1->band().isEmpty());
    // Moves after the release pan no more.
    move(Form2->Image1, QPoint(100, 100), Qt::MiddleButton);
    QCOMPARE(scrolled(), QPoint(630, 420));

    // On the count view in add mode: a middle click pans and adds nothing.
    showView(2);
    AnalysisState.AddMode = true;
    const std::int32_t count = AnalysisState.AutoCount;
    press(Form2->Image2, QPoint(700, 600), Qt::MiddleButton);
    move(Form2->Image2, QPoint(690, 600), Qt::MiddleButton);
    release(Form2->Image2, QPoint(690, 600), Qt::MiddleButton);
    QCOMPARE(scrolled(), QPoint(640, 420));
    QCOMPARE(AnalysisState.AutoCount, count);
    QCOMPARE(int(AnalysisState.ManualAdded), 0);
    VERIFY_NO_MESSAGE(dialogs_);
}

void NavigationTest::commandKeys_data()
{
    QTest::addColumn<int>("window");  // 1 main, 2 image, 3 report
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("command");

    const int ctrl = int(Qt::ControlModifier), ctrlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
    for (int window = 1; window <= 3; ++window) {
        const QByteArray in = " in window " + QByteArray::number(window);
        QTest::newRow("Ctrl+O" + in) << window << int(Qt::Key_O) << ctrl << "open image";
        QTest::newRow("Ctrl+Shift+O" + in) << window << int(Qt::Key_O) << ctrlShift << "open report";
        QTest::newRow("Ctrl+S" + in) << window << int(Qt::Key_S) << ctrl << "save report";
        QTest::newRow("F5" + in) << window << int(Qt::Key_F5) << 0 << "count";
    }
    QTest::newRow("Return in a field") << 1 << int(Qt::Key_Return) << 0 << "count";
    QTest::newRow("Enter in a field") << 1 << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "count";
    QTest::newRow("Ctrl++") << 2 << int(Qt::Key_Plus) << ctrl << "zoom in";
    QTest::newRow("Ctrl+=") << 2 << int(Qt::Key_Equal) << ctrl << "zoom in";
    QTest::newRow("Ctrl+-") << 2 << int(Qt::Key_Minus) << ctrl << "zoom out";
    QTest::newRow("Ctrl+1") << 2 << int(Qt::Key_1) << ctrl << "100 %";
    QTest::newRow("Ctrl+0") << 2 << int(Qt::Key_0) << ctrl << "fit";
    QTest::newRow("Tab") << 2 << int(Qt::Key_Tab) << 0 << "flip";
    QTest::newRow("F") << 2 << int(Qt::Key_F) << 0 << "flip";
    // Where text is typed, F stays a letter and Tab moves between the fields.
    QTest::newRow("F in a field") << 1 << int(Qt::Key_F) << 0 << "typed";
    QTest::newRow("F in the report") << 3 << int(Qt::Key_F) << 0 << "typed";
    QTest::newRow("Tab in a field") << 1 << int(Qt::Key_Tab) << 0 << "next field";
}

void NavigationTest::commandKeys()
{
    QFETCH(int, window);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, command);

    // A counted picture beside its folder, so that every command has something to do.
    const QString picture = folder_->filePath(QStringLiteral("field.bmp"));
    QVERIFY(toQImage(plainPicture(300, 200, kGround)).save(picture));
    QVERIFY(Form1->openChosenPicture(picture));
    Form1->BnCountClick();
    QVERIFY(Form3->BnSaverep->isEnabled());
    const QString report = folder_->filePath(QStringLiteral("c_field.txt"));
    QVERIFY(!QFileInfo::exists(report));
    AnalysisState.AutoCount = 12345;  // a count sets it back
    Form2->N1001->trigger();
    AnalysisState.ViewMode = kViewOriginal;
    Form2->Toggleview();
    dialogs_->fileDialogs.clear();

    QWidget* target = nullptr;
    QWidget* const windows[] = {Form1, Form2, Form3};
    QWidget* owner = windows[window - 1];
    activate(owner);
    if (window == 1) target = Form1->EdDevi;
    if (window == 2) target = Form2;
    if (window == 3) target = Form3->Memo1;
    target->setFocus();
    const QString fieldText = Form1->EdDevi->text();
    const QString memoText = Form3->Memo1->toPlainText();
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    const auto dialogTitle = [this] {
        return dialogs_->fileDialogs.empty() ? QString() : dialogs_->fileDialogs.back().title;
    };
    const bool counted = AnalysisState.AutoCount != 12345;
    if (command == QLatin1String("open image")) {
        QCOMPARE(dialogTitle(), QStringLiteral("Open image"));
    } else if (command == QLatin1String("open report")) {
        QCOMPARE(dialogTitle(), QStringLiteral("Open report"));
    } else if (command == QLatin1String("save report")) {
        QVERIFY(QFileInfo::exists(report));
    } else if (command == QLatin1String("count")) {
        QVERIFY(counted);
    } else if (command == QLatin1String("zoom in")) {
        QCOMPARE(int(AnalysisState.ZoomPercent), 125);
    } else if (command == QLatin1String("zoom out")) {
        QCOMPARE(int(AnalysisState.ZoomPercent), 90);
    } else if (command == QLatin1String("100 %")) {
        Form2->Zoom1->trigger();  // away from 100 % first, then the key again
        QCOMPARE(int(AnalysisState.ZoomPercent), 90);
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(int(AnalysisState.ZoomPercent), 100);
        QCOMPARE(Form2->Image1->width(), 300);
    } else if (command == QLatin1String("fit")) {
        const QSize view = Form2->scrollArea()->maximumViewportSize();
        QCOMPARE(AnalysisState.ZoomPercent, fittingZoom(300, 200, view.width(), view.height()));
        QVERIFY(AnalysisState.ZoomPercent > 100);
    } else if (command == QLatin1String("flip")) {
        QCOMPARE(int(AnalysisState.ViewMode), int(kViewCount));
        QCOMPARE(Form2->frontLayer(), Form2->Image2);
    } else if (command == QLatin1String("typed")) {
        if (window == 1) QCOMPARE(Form1->EdDevi->text(), fieldText + QLatin1Char('f'));
        if (window == 3) QCOMPARE(Form3->Memo1->toPlainText().size(), memoText.size() + 1);
        QCOMPARE(int(AnalysisState.ViewMode), int(kViewOriginal));
    } else if (command == QLatin1String("next field")) {
        QVERIFY(!Form1->EdDevi->hasFocus());
        QCOMPARE(int(AnalysisState.ViewMode), int(kViewOriginal));
    }
    // Each key does its own command and no other.
    if (command != QLatin1String("count")) QVERIFY(!counted);
    if (command != QLatin1String("open image") && command != QLatin1String("open report"))
        QCOMPARE(dialogs_->fileDialogs.size(), std::size_t(0));
    if (command != QLatin1String("save report")) QVERIFY(!QFileInfo::exists(report));
    VERIFY_NO_MESSAGE(dialogs_);
}

void NavigationTest::saveReportItemFollowsTheButton()
{
    const QString picture = folder_->filePath(QStringLiteral("field.bmp"));
    QVERIFY(toQImage(plainPicture(300, 200, kGround)).save(picture));
    QVERIFY(Form1->openChosenPicture(picture));
    activate(Form1);
    QCOMPARE(withoutMnemonic(Form1->Savereport2->text()), QStringLiteral("Save report"));
    // The manual in the report window switches its save button off: the open menu shows the item off,
    // and its key saves nothing.
    Form3->showManual(QStringLiteral("manual"));
    Form1->File1->popup(Form1->mapToGlobal(QPoint(0, 0)));
    QVERIFY(!Form1->Savereport2->isEnabled());
    Form1->File1->hide();
    activate(Form1);
    QTest::keyClick(Form1, Qt::Key_S, Qt::ControlModifier);
    const QString report = folder_->filePath(QStringLiteral("c_field.txt"));
    QVERIFY(!QFileInfo::exists(report));
    VERIFY_NO_MESSAGE(dialogs_);
    // After a count the same key saves, though the menu was last seen with the item off.
    QTest::keyClick(Form1->EdMax, Qt::Key_Return);
    QVERIFY(Form3->BnSaverep->isEnabled());
    activate(Form1);
    QTest::keyClick(Form1, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QFileInfo::exists(report));
    VERIFY_NO_MESSAGE(dialogs_);
}

void NavigationTest::ctrlShiftClickTakesTheMeanOfFiveByFive_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("red");  // picked at the noisy pixel (40, 30)

    const int ctrl = int(Qt::ControlModifier), ctrlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
    // 24 pixels of red 100 and one of 225: 2625 / 25 = 105.
    QTest::newRow("Ctrl+Shift on the original") << 1 << ctrlShift << 105;
    QTest::newRow("Ctrl+Shift on the count view") << 2 << ctrlShift << 105;
    QTest::newRow("Ctrl alone: the one pixel") << 1 << ctrl << 225;
}

void NavigationTest::ctrlShiftClickTakesTheMeanOfFiveByFive()
{
    QFETCH(int, view);
    QFETCH(int, modifiers);
    QFETCH(int, red);

    Picture picture = plainPicture(200, 150, rgbColour(100, 80, 60));
    picture.setPixel(40, 30, rgbColour(225, 80, 60));
    picture.setPixel(42, 32, rgbColour(100, 105, 60));  // inside the square: green (24 x 80 + 105) / 25 = 81
    loadIntoWindow(std::move(picture));
    AnalysisState.GridMicrons = 0;  // no grid over the count view
    AnalysisState.ScaleMicrons = 0;
    Form1->newpictureparams(QStringLiteral("x.jpg"));
    showView(view);
    zoomTo(200);
    press(view == 1 ? Form2->Image1 : Form2->Image2, QPoint(2 * 40 + 1, 2 * 30 + 1), Qt::LeftButton,
          Qt::KeyboardModifiers(modifiers));
    const int green = red == 225 ? 80 : 81;
    QCOMPARE(Form1->PnColorColour(), rgbColour(red, green, 60));
    QCOMPARE(Form1->EdR->text(), QString::number(red));
    QCOMPARE(Form1->EdG->text(), QString::number(green));
    QCOMPARE(Form1->EdB->text(), QStringLiteral("60"));
    VERIFY_NO_MESSAGE(dialogs_);
}

QTEST_MAIN(NavigationTest)
#include "Navigation_test.moc"
