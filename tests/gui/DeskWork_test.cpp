// The windows as a day of counting meets them: the keys stay where the user is typing after a count,
// every key of the picture window stands in a menu, the status bars tell the pointer's pixel, the zoom,
// the selection and where saving wrote, every caption shows whole on a narrow window, and the Window menu
// brings back a closed window. Real key and mouse events where the user would use them.

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/CommandKeys.h"
#include "gui/TForm3.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"
#include "report/ReportFile.h"
#include "view/ClipboardOps.h"

using namespace layermouse;

namespace {

constexpr std::uint32_t kGround = 0x305070;

void activate(QWidget* window)
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

/// The items of every menu of window (not the bar's own items), with their keys.
QList<QAction*> menuItems(QWidget* window)
{
    QList<QAction*> items;
    for (const QMenu* menu : window->findChildren<QMenu*>())
        for (QAction* item : menu->actions())
            if (!item->isSeparator() && item->menu() == nullptr) items << item;
    return items;
}

/// The menu bars of window's menu widget, whatever it is: one bar, or rows of bars.
QList<QMenuBar*> menuBars(QMainWindow* window)
{
    QList<QMenuBar*> bars;
    QWidget* widget = window->menuWidget();
    if (auto* bar = qobject_cast<QMenuBar*>(widget)) bars << bar;
    if (widget != nullptr)
        for (QMenuBar* bar : widget->findChildren<QMenuBar*>())
            if (bar->isVisibleTo(window)) bars << bar;
    return bars;
}

/// The top-level items whose captions do not show whole within their bar (an overflow hides them).
QStringList cutMenuItems(QMainWindow* window)
{
    QStringList cut;
    for (QMenuBar* bar : menuBars(window))
        for (QAction* item : bar->actions()) {
            const QRect place = bar->actionGeometry(item);
            if (place.isEmpty() || !bar->rect().contains(place)) cut << item->text();
        }
    return cut;
}

QStringList topLevelCaptions(QMainWindow* window)
{
    QStringList captions;
    for (QMenuBar* bar : menuBars(window))
        for (QAction* item : bar->actions()) captions << item->text();
    return captions;
}

/// What the status bar's permanent fields say, joined.
QString statusFields(QMainWindow* window)
{
    QStringList texts;
    for (const QLabel* label : window->statusBar()->findChildren<QLabel*>())
        if (!label->text().isEmpty()) texts << label->text();
    return texts.join(QStringLiteral(" | "));
}

QMenu* windowMenu(QWidget* window)
{
    for (QMenu* menu : window->findChildren<QMenu*>())
        if (menu->title() == QStringLiteral("&Window")) return menu;
    return nullptr;
}

}  // namespace

class DeskWorkTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void countLeavesTheKeysWhereTheUserWas_data();
    void countLeavesTheKeysWhereTheUserWas();
    void picturesKeysStandInItsMenus_data();
    void picturesKeysStandInItsMenus();
    void ctrlCAndCtrlVWorkOnTheWholePicture();
    void statusBarTellsPointerZoomSelectionAndSaving();
    void everyCaptionShowsWholeOnANarrowWindow_data();
    void everyCaptionShowsWholeOnANarrowWindow();
    void mainWindowsKeysStandInItsMenus();
    void windowMenuBringsBackAClosedWindow_data();
    void windowMenuBringsBackAClosedWindow();

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void DeskWorkTest::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(
        std::filesystem::path(folder_->filePath(QStringLiteral("SpotTally.ini")).toStdString()));
    Form1->setWorkingFolder(folder_->path().toStdString());
    Form1->show();
}

void DeskWorkTest::cleanup() { closeTestWindows(dialogs_); }

void DeskWorkTest::countLeavesTheKeysWhereTheUserWas_data()
{
    QTest::addColumn<int>("window");           // where the user types: 1 main, 2 picture
    QTest::addColumn<int>("key");               // the key that counts
    QTest::addColumn<bool>("pictureClosed");    // the picture window was closed before
    QTest::newRow("F5 in the picture window") << 2 << int(Qt::Key_F5) << false;
    QTest::newRow("Enter in a field of the main window") << 1 << int(Qt::Key_Return) << false;
    QTest::newRow("F5 in the main window, picture window closed") << 1 << int(Qt::Key_F5) << true;
}

void DeskWorkTest::countLeavesTheKeysWhereTheUserWas()
{
    QFETCH(int, window);
    QFETCH(int, key);
    QFETCH(bool, pictureClosed);
    loadIntoWindow(gradientPicture(120, 90), QStringLiteral("field.jpg"));
    QVERIFY(Form3->isHidden());  // the first count shows the report window
    QWidget* owner = window == 1 ? static_cast<QWidget*>(Form1) : static_cast<QWidget*>(Form2);
    QWidget* target = window == 1 ? static_cast<QWidget*>(Form1->EdDevi) : Form2->scrollArea();
    activate(owner);
    if (pictureClosed) Form2->close();
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);

    QTest::keyClick(target, Qt::Key(key));
    QVERIFY(Form3->isVisible());
    QVERIFY(Form2->isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), owner);
    QTest::qWait(50);  // a late activation of another window would show by now
    QCOMPARE(QApplication::activeWindow(), owner);
    QCOMPARE(QApplication::focusWidget(), target);

    // The next keys do what they do where the user is, and the report stays as written.
    const QString report = Form3->Memo1->toPlainText();
    const QString field = Form1->EdDevi->text();
    QCOMPARE(int(AnalysisState.ViewMode), int(kViewCount));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(Form3->Memo1->toPlainText(), report);
    if (window == 2) QCOMPARE(int(AnalysisState.ViewMode), int(kViewOriginal));  // count, area, original
    if (window == 1) QCOMPARE(Form1->EdDevi->text(), field + QStringLiteral("f"));
    VERIFY_NO_MESSAGE(dialogs_);
}

void DeskWorkTest::picturesKeysStandInItsMenus_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("zoom in") << QKeySequence(Qt::CTRL | Qt::Key_Plus);
    QTest::newRow("zoom in, no Shift") << QKeySequence(Qt::CTRL | Qt::Key_Equal);
    QTest::newRow("zoom out") << QKeySequence(Qt::CTRL | Qt::Key_Minus);
    QTest::newRow("100 %") << QKeySequence(Qt::CTRL | Qt::Key_1);
    QTest::newRow("fit to window") << QKeySequence(Qt::CTRL | Qt::Key_0);
    QTest::newRow("flip") << QKeySequence(Qt::Key_Tab);
    QTest::newRow("flip, F") << QKeySequence(Qt::Key_F);
    QTest::newRow("copy the whole picture") << QKeySequence(Qt::CTRL | Qt::Key_C);
    QTest::newRow("paste a new picture") << QKeySequence(Qt::CTRL | Qt::Key_V);
    QTest::newRow("undo") << QKeySequence(Qt::CTRL | Qt::Key_Z);
    QTest::newRow("redo") << QKeySequence(Qt::CTRL | Qt::Key_Y);
}

void DeskWorkTest::picturesKeysStandInItsMenus()
{
    QFETCH(QKeySequence, keys);
    // Shown beside an item of an open menu: keys on the bar's own items show nowhere.
    QStringList holders;
    for (const QAction* item : menuItems(Form2))
        if (item->shortcuts().contains(keys)) holders << item->text();
    QCOMPARE(holders.size(), 1);
    for (QAction* item : Form2->findChildren<QAction*>())
        if (!menuItems(Form2).contains(item))
            QVERIFY2(!item->shortcuts().contains(keys), qPrintable(item->text()));
}

void DeskWorkTest::ctrlCAndCtrlVWorkOnTheWholePicture()
{
    Picture picture = gradientPicture(60, 40);
    loadIntoWindow(picture);
    activate(Form2);
    Form2->scrollArea()->setFocus();
    QApplication::clipboard()->clear();

    QTest::keyClick(Form2->scrollArea(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(fromQImage(QApplication::clipboard()->image()), picture);
    QVERIFY2(Form2->statusBar()->currentMessage().contains(QStringLiteral("60 x 40")),
             qPrintable(Form2->statusBar()->currentMessage()));

    QApplication::clipboard()->setImage(toQImage(plainPicture(30, 20, kGround)));
    QTest::keyClick(Form2->scrollArea(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QString::fromLatin1(kClipboardPictureName));
    QCOMPARE(Form2->layers().Image1.width(), 30);
    VERIFY_NO_MESSAGE(dialogs_);
}

void DeskWorkTest::statusBarTellsPointerZoomSelectionAndSaving()
{
    Picture picture = plainPicture(100, 80, kGround);
    picture.setPixel(40, 30, rgbColour(225, 80, 60));
    loadIntoWindow(std::move(picture), QStringLiteral("field.jpg"));
    activate(Form2);
    zoomTo(200);
    QVERIFY2(statusFields(Form2).contains(QStringLiteral("200 %")), qPrintable(statusFields(Form2)));

    // The pixel under the mouse, as a click there takes it, and its value; nothing off the picture.
    move(Form2->Image1, QPoint(2 * 40 + 1, 2 * 30 + 1), Qt::NoButton);
    QVERIFY2(statusFields(Form2).contains(QStringLiteral("x 40  y 30")), qPrintable(statusFields(Form2)));
    QVERIFY2(statusFields(Form2).contains(QStringLiteral("R 225  G 80  B 60")),
             qPrintable(statusFields(Form2)));
    move(Form2->Image1, QPoint(2 * 100 + 5, 10), Qt::NoButton);
    QVERIFY2(!statusFields(Form2).contains(QStringLiteral("x ")), qPrintable(statusFields(Form2)));

    // The selection: in the title, as the program always showed it, and in the status bar.
    press(Form2->Image1, QPoint(20, 20));
    QCOMPARE(Form2->statusBar()->currentMessage(), QStringLiteral("Xo/Yo: 10/10"));
    move(Form2->Image1, QPoint(60, 40));
    QCOMPARE(Form2->windowTitle(), QStringLiteral("X/Y: 10/10 W/H: 20/10"));
    QCOMPARE(Form2->statusBar()->currentMessage(), QStringLiteral("X/Y: 10/10 W/H: 20/10"));
    press(Form2->Image1, QPoint(20, 20));  // an empty selection
    Form2->Copy1->trigger();
    QCOMPARE(Form2->statusBar()->currentMessage(), QString::fromLatin1(kNothingSelectedStatus));
    QVERIFY(Form2->windowTitle() != QString::fromLatin1(kNothingSelectedStatus));

    // Saving says where it saved, in both windows.
    Form1->BnCountClick();
    Form3->BnSavepic->click();
    const QString report = QDir(folder_->path()).filePath(QStringLiteral("c_field.txt"));
    const QString marked = QDir(folder_->path()).filePath(QStringLiteral("c_field.jpg"));
    QVERIFY(QFileInfo::exists(report) && QFileInfo::exists(marked));
    for (QMainWindow* window : {static_cast<QMainWindow*>(Form3), static_cast<QMainWindow*>(Form2)}) {
        const QString said = window->statusBar()->currentMessage();
        QVERIFY2(said.contains(report) && said.contains(marked), qPrintable(said));
    }
    VERIFY_NO_MESSAGE(dialogs_);
}

void DeskWorkTest::everyCaptionShowsWholeOnANarrowWindow_data()
{
    QTest::addColumn<int>("width");  // of the picture and report windows
    QTest::newRow("design width") << 489;
    QTest::newRow("scale 2 beside the main window") << 345;
    QTest::newRow("narrower still") << 200;
}

void DeskWorkTest::everyCaptionShowsWholeOnANarrowWindow()
{
    QFETCH(int, width);
    loadIntoWindow(plainPicture(40, 30, kGround));
    const QStringList captions = topLevelCaptions(Form2);
    // As low as a small screen places it: the window keeps that size.
    Form2->resize(width, 200);
    QVERIFY(QTest::qWaitForWindowExposed(Form2));
    QCOMPARE(Form2->size(), QSize(width, 200));
    QTRY_COMPARE(cutMenuItems(Form2), QStringList());
    QCOMPARE(topLevelCaptions(Form2), captions);  // the same items in the same order
    // The picture still gets the room below the menu rows.
    QVERIFY(Form2->scrollArea()->geometry().top() >= Form2->menuWidget()->geometry().bottom());
    // Captions that change stay whole too.
    Form2->Orig1->trigger();
    Form2->ToggleimageOriginal1->trigger();
    zoomTo(1000);
    QTRY_COMPARE(cutMenuItems(Form2), QStringList());

    // The report window's buttons, with the longest export caption.
    Form1->Particletable1->trigger();
    Form3->show();
    Form3->resize(std::max(width, 300), 355);
    QVERIFY(QTest::qWaitForWindowExposed(Form3));
    for (const QPushButton* button : {Form3->BnSaverep, Form3->BnExp, Form3->BnSavepic})
        QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
    QVERIFY(!Form3->BnSaverep->geometry().intersects(Form3->BnExp->geometry()));
    QCOMPARE(cutMenuItems(Form1), QStringList());
}

void DeskWorkTest::mainWindowsKeysStandInItsMenus()
{
    // The command keys of the main window, each beside exactly one item of its menus.
    for (const QKeySequence& keys : {openImageKeys(), openReportKeys(), saveReportKeys(), countKeys()}) {
        QStringList holders;
        for (const QAction* item : menuItems(Form1))
            if (item->shortcuts().contains(keys)) holders << item->text();
        QVERIFY2(holders.size() == 1, qPrintable(keys.toString() + QStringLiteral(": ") + holders.join(',')));
    }
}

void DeskWorkTest::windowMenuBringsBackAClosedWindow_data()
{
    QTest::addColumn<int>("from");  // the window whose Window menu is used
    QTest::addColumn<int>("back");  // the window brought back
    QTest::newRow("picture window from the main window") << 1 << 2;
    QTest::newRow("report window from the main window") << 1 << 3;
    QTest::newRow("report window from the picture window") << 2 << 3;
    QTest::newRow("main window from the picture window") << 2 << 1;  // behind: closing it ends the program
}

void DeskWorkTest::windowMenuBringsBackAClosedWindow()
{
    QFETCH(int, from);
    QFETCH(int, back);
    QMainWindow* const windows[] = {Form1, Form2, Form3};
    loadIntoWindow(plainPicture(40, 30, kGround));
    Form1->BnCountClick();
    activate(windows[from - 1]);
    QWidget* closed = windows[back - 1];
    if (back != 1) closed->close();
    QVERIFY(closed->isHidden() == (back != 1));

    QMenu* menu = windowMenu(windows[from - 1]);
    QVERIFY(menu != nullptr);
    emit menu->aboutToShow();
    QList<QAction*> items = menu->actions();
    QCOMPARE(items.size(), 4);  // the three windows, and the series window once a series is open
    QVERIFY(!items.at(3)->isEnabled());
    QVERIFY(items.at(back - 1)->isEnabled());
    items.at(back - 1)->trigger();
    QVERIFY(closed->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(closed));
    VERIFY_NO_MESSAGE(dialogs_);
}

QTEST_MAIN(DeskWorkTest)
#include "DeskWork_test.moc"
