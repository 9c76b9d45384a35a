#include "gui/TForm2.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <array>

#include "core/AnalysisState.h"
#include "core/AtomicFile.h"
#include "core/FieldText.h"
#include "core/SettingsFile.h"
#include "detect/BlobCount.h"
#include "detect/ParameterSearch.h"
#include "report/BlobReport.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "picture/PictureLoading.h"
#include "gui/UserDialogs.h"
#include "report/ReportFile.h"
#include "gui/TForm3.h"
#include "view/ClipboardOps.h"
#include "view/ColourPick.h"
#include "gui/LayerView.h"
#include "gui/MenuRows.h"
#include "gui/WindowMenu.h"
#include "gui/LongWork.h"
#include "view/EditsFile.h"
#include "view/ManualEdit.h"
#include "view/Overlays.h"
#include "view/Zoom.h"

namespace fs = std::filesystem;

namespace {

// Size of the layers until a picture is shown.
constexpr int kInitialLayerWidth = 470;
constexpr int kInitialLayerHeight = 403;

// Captions of the click-mode item; each names what the next plain click on the count view does.
const char* const kRemoveModeCaption = "&[Click mode=] Remove";
const char* const kAddModeCaption = "&[Click mode=]   Add  ";
const char* const kFirstClickModeCaption = "[Click mode=] Remove";
// Captions of the flip item: at the start, then naming the view shown.
const char* const kFirstFlipCaption = "[Flip image =] Original";
const char* const kFlipCaptions[] = {"[Flip image=] Original", "[Flip image=] Count ", "[Flip image=] Area"};
// The setting of how new pictures open, in the settings file: fitted to the window or at 100 %.
constexpr const char* kOpenZoomKey = "open-zoom";
const std::string kOpenFitted = "fit";
const std::string kOpenFull = "100";
// The widest zoom caption: the zoom's whole 16-bit range.
const char* const kWidestZoomCaption = "65525 %";

// The image window's default size; wider when its menu bar needs more room.
constexpr int kDefaultWidth = 489;
constexpr int kDefaultHeight = 471;
constexpr int kLeastHeight = 100;

constexpr int kCharCtrlC = 3;   // the character Ctrl+C types
constexpr int kCharCtrlV = 22;  // the character Ctrl+V types
// A teach-mode Alt+click or right-click removes the nearest mark within this many pixels each way.
constexpr int kMarkReach = 4;
// A press moved further than this (picture pixels) is a drag that sets the teaching region.
constexpr int kDragThreshold = 2;

/// Where a refused marks or background file is kept: c_NAME.marks.refused.csv, or -2, -3, ... when
/// that exists.
fs::path asideMarksFile(const fs::path& marksFile)
{
    std::string stem = marksFile.filename().string();
    const std::string extension = ".csv";
    if (stem.size() > extension.size() &&
        stem.compare(stem.size() - extension.size(), extension.size(), extension) == 0)
        stem.erase(stem.size() - extension.size());
    std::error_code ignored;
    fs::path aside = marksFile.parent_path() / (stem + ".refused.csv");
    for (int n = 2; fs::exists(aside, ignored) || fs::is_symlink(aside, ignored); ++n)
        aside = marksFile.parent_path() / (stem + ".refused-" + std::to_string(n) + ".csv");
    return aside;
}

/// Before the first change of what a refused file held: the file is kept under a name of its own, so
/// that the change cannot replace it. False (after a message) when it could not be moved.
bool keepRefusedFileAside(const fs::path& file, bool& refused, const char* what)
{
    if (!refused) return true;
    const fs::path aside = asideMarksFile(file);
    const std::string error = renameWithoutReplacing(file, aside);
    if (!error.empty()) {
        dialogs().message(
            UserDialogs::MessageKind::Warning,
            QStringLiteral("The %1 were not changed: the refused file could not be kept aside.\n%2")
                .arg(QString::fromLatin1(what), QString::fromStdString(error)));
        return false;
    }
    refused = false;
    dialogs().message(UserDialogs::MessageKind::Information,
                      QStringLiteral("The refused file was kept as %1; the new %2 go to %3.")
                          .arg(QString::fromStdString(quotedPath(aside)), QString::fromLatin1(what),
                               QString::fromStdString(quotedPath(file))));
    return true;
}

std::string fitText(const MarkFit& fit)
{
    return "found " + std::to_string(fit.matched) + ", missed " + std::to_string(fit.missed()) + ", extra " +
           std::to_string(fit.extra());
}

/// A picture coordinate clamped into 0 .. limit (limit: the picture's width or height; a selection
/// corner may lie on the far edge, so that the last column and row can be selected).
std::uint16_t clampedCorner(int coordinate, int limit)
{
    return static_cast<std::uint16_t>(std::clamp(coordinate, 0, std::clamp(limit, 0, 0xFFFF)));
}

// Shown in the title when teach mode starts, and when a new picture ends it.
const char* const kTeachModeOnStatus =
    "Teach mode: drag the region, click a particle, Shift+drag a background box; Alt+click or right-click "
    "removes";
const char* const kTeachModeEndedStatus = "Teach mode is off for the new picture";

bool ctrlHeld(Qt::KeyboardModifiers modifiers) { return modifiers.testFlag(Qt::ControlModifier); }

std::string pixelsPerMmText()
{
    return Form1 != nullptr ? Form1->parameterTexts().Edpixmm : std::string();
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QMainWindow(parent) { FormCreate(); }

void TForm2::FormCreate()
{
    setWindowTitle(QStringLiteral("SpotTally"));
    move(252, 62);
    resize(kDefaultWidth, kDefaultHeight);
    scrollArea_ = new QScrollArea(this);
    canvas_ = new QWidget;
    // Created in this order so that Image1 lies on top.
    Image3 = new LayerView(canvas_);
    Image2 = new LayerView(canvas_);
    Image1 = new LayerView(canvas_);
    for (LayerView* layer : {Image3, Image2, Image1})
        layer->setGeometry(0, 0, kInitialLayerWidth, kInitialLayerHeight);
    canvas_->resize(kInitialLayerWidth, kInitialLayerHeight);
    scrollArea_->setWidget(canvas_);
    setCentralWidget(scrollArea_);
    Image1->setLayer(&layers_.Image1);
    Image2->setLayer(&layers_.Image2);
    Image3->setLayer(&layers_.Image3);
    // The count and area views are the original with marks drawn over it.
    Image2->setBase(&layers_.Image1);
    Image3->setBase(&layers_.Image1);
    bringToFront(Image1);

    Menu1 = new MenuRows(this);
    setMenuWidget(Menu1);
    Zoom1 = Menu1->addAction(QStringLiteral("  [  -  ]"));
    N1001 = Menu1->addAction(QStringLiteral("100 %"));
    Fittoframe1 = Menu1->addAction(QStringLiteral("  [ + ] "));
    View1 = Menu1->addMenu(QStringLiteral("&View"));
    Zoomin1 = View1->addAction(QStringLiteral("Zoom &in"));
    Zoomout1 = View1->addAction(QStringLiteral("Zoom &out"));
    Zoom1001 = View1->addAction(QStringLiteral("&100 %"));
    Fittowindow1 = View1->addAction(QStringLiteral("Fit to &window"));
    View1->addSeparator();
    Flipimage1 = View1->addAction(QStringLiteral("&Flip image"));
    Edit1 = Menu1->addMenu(QStringLiteral("&Edit"));
    Copy1 = Edit1->addAction(QStringLiteral("&Copy"));
    Paste1 = Edit1->addAction(QStringLiteral("&Paste"));
    Cut1 = Edit1->addAction(QStringLiteral("C&rop"));
    Edit1->addSeparator();
    // The selection's commands above have no keys; Ctrl+C and Ctrl+V act on the whole picture.
    Copywhole1 = Edit1->addAction(QStringLiteral("Copy &whole picture"));
    Pastewhole1 = Edit1->addAction(QStringLiteral("Paste as &new picture"));
    Edit1->addSeparator();
    Undo1 = Edit1->addAction(QStringLiteral("&Undo"));
    Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo1 = Edit1->addAction(QStringLiteral("Re&do"));
    Redo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* item : {Undo1, Redo1}) item->setEnabled(false);
    // Beside Edit: on a narrow window it shares the first row with the zoom items.
    Window1 = makeWindowMenu(this);
    Menu1->addMenu(Window1);
    // The caption agrees with the click mode from the start: the main window, created first, sets it.
    Orig1 = Menu1->addAction(AnalysisState.AddMode ? QString::fromLatin1(kAddModeCaption)
                                                   : QString::fromLatin1(kFirstClickModeCaption));
    ToggleimageOriginal1 = Menu1->addAction(QString::fromLatin1(kFirstFlipCaption));
    Teach1 = Menu1->addMenu(QStringLiteral("&Teach"));
    Teachmode1 = Teach1->addAction(QStringLiteral("Teach &mode"));
    Teachmode1->setCheckable(true);
    Suggestparameters1 = Teach1->addAction(QStringLiteral("&Suggest parameters"));
    Blobview1 = Teach1->addAction(QStringLiteral("&Blob view"));
    Blobview1->setCheckable(true);
    Clearmarks1 = Teach1->addAction(QStringLiteral("C&lear marks"));
    Teach1->addSeparator();
    Learndensity1 = Teach1->addAction(QStringLiteral("&Learn density count"));
    Densityview1 = Teach1->addAction(QStringLiteral("Learnt &density"));
    Densityview1->setCheckable(true);
    Learntcounts1 = Teach1->addAction(QStringLiteral("Learnt counts for &every picture"));
    Learntcounts1->setCheckable(true);
    Forgetteaching1 = Teach1->addAction(QStringLiteral("&Forget teaching"));
    // The captions that change keep the room of their widest, so that the items stay in their rows.
    Menu1->reserveWidth(N1001, {QString::fromLatin1(kWidestZoomCaption)});
    Menu1->reserveWidth(Orig1, {QString::fromLatin1(kRemoveModeCaption), QString::fromLatin1(kAddModeCaption),
                                QString::fromLatin1(kFirstClickModeCaption)});
    Menu1->reserveWidth(ToggleimageOriginal1,
                        {QString::fromLatin1(kFirstFlipCaption), QString::fromLatin1(kFlipCaptions[0]),
                         QString::fromLatin1(kFlipCaptions[1]), QString::fromLatin1(kFlipCaptions[2])});
    addDisplayMenu();
    // Wide enough for the menu bar in one row where the screen has the room; a narrower window wraps it.
    resize(std::max(kDefaultWidth, Menu1->oneRowWidth()), kDefaultHeight);
    buildStatusBar();
    // No narrower than the widest menu item, and low enough for a small screen: the picture's view
    // gives up its room first, the menu rows and the status bar keep theirs.
    setMinimumSize(Menu1->minimumSizeHint().width(), kLeastHeight);
    connectControls();
    addShortcuts();
    scrollArea_->viewport()->installEventFilter(this);
}

void TForm2::connectControls()
{
    connect(Zoom1, &QAction::triggered, this, &TForm2::Zoom1Click);
    connect(N1001, &QAction::triggered, this, &TForm2::N1001Click);
    connect(Fittoframe1, &QAction::triggered, this, &TForm2::Fittoframe1Click);
    connect(Fittowindow1, &QAction::triggered, this, &TForm2::Fittowindow1Click);
    connect(Orig1, &QAction::triggered, this, &TForm2::Orig1Click);
    connect(ToggleimageOriginal1, &QAction::triggered, this, &TForm2::ToggleimageOriginal1Click);
    connect(Teachmode1, &QAction::toggled, this, &TForm2::setTeachMode);
    connect(Suggestparameters1, &QAction::triggered, this, &TForm2::SuggestparametersClick);
    connect(Blobview1, &QAction::triggered, this, &TForm2::BlobviewClick);
    connect(Clearmarks1, &QAction::triggered, this, &TForm2::ClearmarksClick);
    connect(Brighter1, &QAction::triggered, this, [this] { setDisplayAdjustment(brighter(display_)); });
    connect(Darker1, &QAction::triggered, this, [this] { setDisplayAdjustment(darker(display_)); });
    connect(Morecontrast1, &QAction::triggered, this,
            [this] { setDisplayAdjustment(moreContrast(display_)); });
    connect(Lesscontrast1, &QAction::triggered, this,
            [this] { setDisplayAdjustment(lessContrast(display_)); });
    connect(Stretch1, &QAction::triggered, this,
            [this] { setDisplayAdjustment(stretchedToPicture(layers_.Image1, display_)); });
    const std::pair<QAction*, DisplayChannel> channels[] = {{Allchannels1, DisplayChannel::All},
                                                            {Redchannel1, DisplayChannel::Red},
                                                            {Greenchannel1, DisplayChannel::Green},
                                                            {Bluechannel1, DisplayChannel::Blue}};
    for (const auto& [item, channel] : channels)
        connect(item, &QAction::triggered, this, [this, channel = channel] {
            DisplayAdjustment adjustment = display_;
            adjustment.channel = channel;
            setDisplayAdjustment(adjustment);
        });
    connect(Normaldisplay1, &QAction::triggered, this, [this] { setDisplayAdjustment(DisplayAdjustment{}); });
    connect(Openfitted1, &QAction::toggled, this, &TForm2::OpenfittedClick);
    connect(Learndensity1, &QAction::triggered, this, &TForm2::LearndensityClick);
    connect(Densityview1, &QAction::triggered, this, &TForm2::DensityviewClick);
    connect(Forgetteaching1, &QAction::triggered, this, &TForm2::ForgetteachingClick);
    connect(Copy1, &QAction::triggered, this, &TForm2::Copy1Click);
    connect(Paste1, &QAction::triggered, this, &TForm2::Paste1Click);
    connect(Cut1, &QAction::triggered, this, &TForm2::Cut1Click);
    connect(Copywhole1, &QAction::triggered, this, [this] { FormKeyPress(kCharCtrlC); });
    connect(Pastewhole1, &QAction::triggered, this, [this] { FormKeyPress(kCharCtrlV); });
    connect(Zoomin1, &QAction::triggered, this, &TForm2::Fittoframe1Click);
    connect(Zoomout1, &QAction::triggered, this, &TForm2::Zoom1Click);
    connect(Zoom1001, &QAction::triggered, this, &TForm2::N1001Click);
    connect(Flipimage1, &QAction::triggered, this, &TForm2::ToggleimageOriginal1Click);
    connect(Undo1, &QAction::triggered, this, &TForm2::UndoClick);
    connect(Redo1, &QAction::triggered, this, &TForm2::RedoClick);
    connect(Image2, &LayerView::mouseMoved, this, &TForm2::Image2MouseMove);
    connect(Image1, &LayerView::mousePressed, this, &TForm2::Image1MouseDown);
    connect(Image1, &LayerView::mouseMoved, this, &TForm2::Image1MouseMove);
    connect(Image2, &LayerView::mousePressed, this, &TForm2::Image2MouseDown);
    connect(Image2, &LayerView::mouseReleased, this, &TForm2::Image2MouseUp);
    // Image3, the area view, ignores the mouse outside teach mode.
    for (LayerView* layer : {Image1, Image2, Image3}) {
        connect(layer, &LayerView::zoomWheel, this, &TForm2::wheelZoom);
        connect(layer, &LayerView::panPressed, this, &TForm2::panPressed);
        connect(layer, &LayerView::panMoved, this, &TForm2::panMoved);
        connect(layer, &LayerView::mousePressed, this, &TForm2::teachPress);
        connect(layer, &LayerView::mouseMoved, this, &TForm2::teachMove);
        connect(layer, &LayerView::mouseReleased, this, &TForm2::teachRelease);
        connect(layer, &LayerView::mouseMoved, this,
                [this, layer](Qt::MouseButtons, Qt::KeyboardModifiers, QPoint position) {
                    showPointer(layer, position);
                });
        connect(layer, &LayerView::mouseLeft, this, [this, layer] { showPointer(layer, std::nullopt); });
    }
}

void TForm2::buildStatusBar()
{
    // Messages to the left; the pointer's pixel, its value and the zoom stand at the right.
    positionField_ = new QLabel(this);
    pixelField_ = new QLabel(this);
    zoomField_ = new QLabel(QStringLiteral("Zoom 100 %"), this);
    for (QLabel* field : {positionField_, pixelField_, zoomField_}) {
        field->setMinimumWidth(1);  // a narrow window cuts them rather than growing for them
        statusBar()->addPermanentWidget(field);
    }
    // The views report the mouse without a button too, for the status bar.
    for (LayerView* layer : {Image1, Image2, Image3}) layer->setMouseTracking(true);
}

void TForm2::showStatusMessage(const QString& text, int milliseconds)
{
    statusBar()->showMessage(text, milliseconds);
}

void TForm2::showStatus(const QString& status, const QString& restoreTo)
{
    showStatusMessage(status, kStatusMilliseconds);
    setWindowTitle(status);
    QTimer::singleShot(kStatusMilliseconds, this, [this, status, restoreTo] {
        if (windowTitle() == status) setWindowTitle(restoreTo);
    });
}

void TForm2::showPointer(const LayerView* view, std::optional<QPoint> position)
{
    if (view != front_) return;
    const Picture& picture = pictureOf(view);
    // The pixel a click there would take.
    QPoint at(-1, -1);
    if (position && position->x() >= 0 && position->y() >= 0) at = picturePoint(*position);
    if (!picture.contains(at.x(), at.y())) {
        positionField_->clear();
        pixelField_->clear();
        return;
    }
    const std::uint32_t colour = picture.pixel(at.x(), at.y());
    positionField_->setText(QStringLiteral("x %1  y %2").arg(at.x()).arg(at.y()));
    pixelField_->setText(QStringLiteral("R %1  G %2  B %3")
                             .arg(colourRed(colour))
                             .arg(colourGreen(colour))
                             .arg(colourBlue(colour)));
}

void TForm2::bringToFront(LayerView* view)
{
    // Only the front layer is shown, so only it receives the mouse.
    for (LayerView* layer : {Image1, Image2, Image3}) layer->setVisible(layer == view);
    view->raise();
    front_ = view;
}

void TForm2::Toggleview()
{
    // The caption names the view now shown. Deliberate: unlike the initial caption these have no blank
    // before "=", and the count caption ends in a blank.
    switch (AnalysisState.ViewMode) {
        case kViewOriginal:
            bringToFront(Image1);
            ToggleimageOriginal1->setText(QString::fromLatin1(kFlipCaptions[0]));
            break;
        case kViewArea:
            bringToFront(Image3);
            ToggleimageOriginal1->setText(QString::fromLatin1(kFlipCaptions[2]));
            break;
        default:
            bringToFront(Image2);
            ToggleimageOriginal1->setText(QString::fromLatin1(kFlipCaptions[1]));
            break;
    }
}

void TForm2::ToggleimageOriginal1Click()
{
    switch (AnalysisState.ViewMode) {
        case kViewOriginal: AnalysisState.ViewMode = kViewCount; break;
        case kViewCount: AnalysisState.ViewMode = kViewArea; break;
        default: AnalysisState.ViewMode = kViewOriginal; break;
    }
    Toggleview();
}

void TForm2::Orig1Click()
{
    // The caption names what the next plain click on the count view does.
    if (AnalysisState.AddMode) {
        AnalysisState.AddMode = false;
        Orig1->setText(QString::fromLatin1(kRemoveModeCaption));
    } else {
        AnalysisState.AddMode = true;
        Orig1->setText(QString::fromLatin1(kAddModeCaption));
    }
}

void TForm2::malgrossklein(std::uint16_t zoom)
{
    N1001->setText(QString::number(zoom) + QStringLiteral(" %"));
    zoomField_->setText(QStringLiteral("Zoom ") + N1001->text());
    // The pictures stay as they are; the views stretch them to the zoomed size.
    const DisplaySize shown = displayedSize(zoom, AnalysisState.ImageWidth, AnalysisState.ImageHeight);
    const int width = static_cast<int>(std::clamp<std::int64_t>(shown.width, 0, kMaxDisplaySide));
    const int height = static_cast<int>(std::clamp<std::int64_t>(shown.height, 0, kMaxDisplaySide));
    for (LayerView* layer : {Image1, Image2, Image3}) {
        layer->setZoom(zoom);
        layer->resize(width, height);
    }
    canvas_->resize(width, height);
    zoomApplied_ = true;
}

void TForm2::zoomForNewPicture()
{
    if (newPicturesFitted()) {
        const QSize view = scrollArea_->maximumViewportSize();
        // Small pictures stay at 100 %: fitted means shrunk to fit, not blown up.
        AnalysisState.ZoomPercent = std::min(
            kZoomFull,
            fittingZoom(AnalysisState.ImageWidth, AnalysisState.ImageHeight, view.width(), view.height()));
    }
    malgrossklein(AnalysisState.ZoomPercent);
    scrollArea_->horizontalScrollBar()->setValue(0);
    scrollArea_->verticalScrollBar()->setValue(0);
}

bool TForm2::newPicturesFitted() const { return Openfitted1->isChecked(); }

void TForm2::OpenfittedClick(bool fitted)
{
    if (Form1 == nullptr) return;
    const std::string error =
        writeSettingsValues(Form1->settingsFile(), kOpenZoomKey, {fitted ? kOpenFitted : kOpenFull});
    if (!error.empty())
        dialogs().message(
            UserDialogs::MessageKind::Warning,
            QStringLiteral("The setting is used now, but could not be kept for the next start: %1")
                .arg(QString::fromStdString(error)));
}

void TForm2::addDisplayMenu()
{
    Display1 = Menu1->addMenu(QStringLiteral("&Display"));
    Displayrange1 = Display1->addAction(QString());
    Displayrange1->setEnabled(false);
    Display1->addSeparator();
    Brighter1 = Display1->addAction(QStringLiteral("&Brighter"));
    Darker1 = Display1->addAction(QStringLiteral("&Darker"));
    Morecontrast1 = Display1->addAction(QStringLiteral("More &contrast"));
    Lesscontrast1 = Display1->addAction(QStringLiteral("&Less contrast"));
    Stretch1 = Display1->addAction(QStringLiteral("&Stretch to the picture"));
    Display1->addSeparator();
    auto* channels = new QActionGroup(Display1);
    Allchannels1 = channels->addAction(QStringLiteral("&All colours"));
    Redchannel1 = channels->addAction(QStringLiteral("&Red only"));
    Greenchannel1 = channels->addAction(QStringLiteral("&Green only"));
    Bluechannel1 = channels->addAction(QStringLiteral("Bl&ue only"));
    for (QAction* item : channels->actions()) {
        item->setCheckable(true);
        Display1->addAction(item);
    }
    Allchannels1->setChecked(true);
    Display1->addSeparator();
    Normaldisplay1 = Display1->addAction(QStringLiteral("&Normal display"));
    Display1->addSeparator();
    Openfitted1 = Display1->addAction(QStringLiteral("Open pictures &fitted to the window"));
    Openfitted1->setCheckable(true);
    // Fitted unless the settings file says 100 %.
    bool fitted = true;
    if (Form1 != nullptr)
        for (const std::string& value :
             settingsValues(readSettingsFile(Form1->settingsFile()).laterLines, kOpenZoomKey))
            fitted = value != kOpenFull;
    Openfitted1->setChecked(fitted);
    setDisplayAdjustment(display_);
}

void TForm2::setDisplayAdjustment(const DisplayAdjustment& adjustment)
{
    display_ = adjustment;
    for (LayerView* layer : {Image1, Image2, Image3}) layer->setAdjustment(adjustment);
    static const char* const kChannelNames[] = {"all colours", "red only", "green only", "blue only"};
    Displayrange1->setText(QStringLiteral("Shown: %1 black, %2 white, %3")
                               .arg(adjustment.black)
                               .arg(adjustment.white)
                               .arg(QLatin1String(kChannelNames[static_cast<int>(adjustment.channel)])));
    QAction* const channelItems[] = {Allchannels1, Redchannel1, Greenchannel1, Bluechannel1};
    channelItems[static_cast<int>(adjustment.channel)]->setChecked(true);
    Normaldisplay1->setEnabled(!adjustment.unchanged());
}

void TForm2::Zoom1Click() { zoomAboutCentre(zoomedOut(AnalysisState.ZoomPercent)); }

void TForm2::N1001Click() { zoomAboutCentre(kZoomFull); }

void TForm2::Fittoframe1Click()
{
    zoomAboutCentre(zoomedIn(AnalysisState.ZoomPercent, AnalysisState.ImageWidth, AnalysisState.ImageHeight));
}

void TForm2::Fittowindow1Click()
{
    // The view's size without scroll bars: at the fitting zoom none are needed.
    const QSize view = scrollArea_->maximumViewportSize();
    zoomAboutCentre(
        fittingZoom(AnalysisState.ImageWidth, AnalysisState.ImageHeight, view.width(), view.height()));
}

void TForm2::zoomAbout(std::uint16_t zoom, QPoint anchor)
{
    QScrollBar* across = scrollArea_->horizontalScrollBar();
    QScrollBar* down = scrollArea_->verticalScrollBar();
    const std::int64_t x = anchoredOffset(across->value(), anchor.x(), AnalysisState.ZoomPercent, zoom);
    const std::int64_t y = anchoredOffset(down->value(), anchor.y(), AnalysisState.ZoomPercent, zoom);
    AnalysisState.ZoomPercent = zoom;
    malgrossklein(zoom);
    // The scroll bars have their new ranges now and keep the offsets within them.
    across->setValue(static_cast<int>(std::clamp<std::int64_t>(x, 0, kMaxDisplaySide)));
    down->setValue(static_cast<int>(std::clamp<std::int64_t>(y, 0, kMaxDisplaySide)));
}

void TForm2::zoomAboutCentre(std::uint16_t zoom)
{
    zoomAbout(zoom, scrollArea_->viewport()->rect().center());
}

void TForm2::wheelZoom(int angle, QPoint position)
{
    // A notch of a wheel turns 15 degrees (120 eighths); finer wheels and touch pads add up to notches.
    constexpr int kNotch = 120;
    if ((wheelAngle_ > 0 && angle < 0) || (wheelAngle_ < 0 && angle > 0)) wheelAngle_ = 0;
    wheelAngle_ += angle;
    std::uint16_t zoom = AnalysisState.ZoomPercent;
    for (; wheelAngle_ >= kNotch; wheelAngle_ -= kNotch)
        zoom = zoomedIn(zoom, AnalysisState.ImageWidth, AnalysisState.ImageHeight);
    for (; wheelAngle_ <= -kNotch; wheelAngle_ += kNotch) zoom = zoomedOut(zoom);
    if (zoom == AnalysisState.ZoomPercent) return;
    // The layers lie at the canvas's origin: a place on the layer is the same place on the canvas.
    zoomAbout(zoom, canvas_->mapTo(scrollArea_->viewport(), position));
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scrollArea_->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers().testFlag(Qt::ControlModifier)) {
            const QPoint onCanvas = canvas_->mapFrom(scrollArea_->viewport(), wheel->position().toPoint());
            wheelZoom(wheel->angleDelta().y(), onCanvas);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm2::panPressed(QPoint globalPosition)
{
    panStart_ = globalPosition;
    panScroll_ =
        QPoint(scrollArea_->horizontalScrollBar()->value(), scrollArea_->verticalScrollBar()->value());
}

void TForm2::panMoved(QPoint globalPosition)
{
    // The picture follows the mouse: dragging to the left shows more of its right part.
    const QPoint moved = globalPosition - panStart_;
    scrollArea_->horizontalScrollBar()->setValue(panScroll_.x() - moved.x());
    scrollArea_->verticalScrollBar()->setValue(panScroll_.y() - moved.y());
}

void TForm2::addShortcuts()
{
    // The keys belong to the View menu's items, where the menu shows them; the bar's items, whose
    // captions name no command, say their keys in the status bar.
    // Zoom in on Ctrl++ and, for keyboards where + needs Shift, on Ctrl+= too.
    Zoomin1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    Zoomout1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    Zoom1001->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    Fittowindow1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    // The window has no text field: Tab and F are free for flipping.
    Flipimage1->setShortcuts({QKeySequence(Qt::Key_Tab), QKeySequence(Qt::Key_F)});
    Copywhole1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Pastewhole1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    const auto keysOf = [](const QAction* item) {
        QStringList keys;
        for (const QKeySequence& key : item->shortcuts()) keys << key.toString(QKeySequence::NativeText);
        return keys.join(QStringLiteral(", "));
    };
    Zoom1->setStatusTip(QStringLiteral("Zoom out (%1)").arg(keysOf(Zoomout1)));
    N1001->setStatusTip(QStringLiteral("Zoom to 100 % (%1)").arg(keysOf(Zoom1001)));
    Fittoframe1->setStatusTip(QStringLiteral("Zoom in (%1)").arg(keysOf(Zoomin1)));
    ToggleimageOriginal1->setStatusTip(
        QStringLiteral("Flip image: original, count, area (%1)").arg(keysOf(Flipimage1)));
    Orig1->setStatusTip(QStringLiteral("Click mode: what a click on the count view does"));
}

bool TForm2::finishOverlay(const OverlayResult& result)
{
    if (!result.message.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(result.message));
        return false;
    }
    if (!result.drawn) return true;  // switched off: nothing drawn, the layer order stays
    refreshLayer(Image2);
    // Deliberate: ViewMode and the flip caption stay, so the next flip continues from the stored view.
    bringToFront(Image2);
    return true;
}

Layers& TForm2::layers()
{
    newPictureLayers_.reset();
    return layers_;
}

void TForm2::makeNewPictureLayers()
{
    takenPictureLayers_.reset();
    layers_.Image2.copyFrom(layers_.Image1);
    Showgrid();
    Showscale();
    layers_.Image3.copyFrom(layers_.Image1);  // taken after the overlays: the area layer carries neither
    newPictureLayers_ =
        NewPictureOverlays{AnalysisState.GridMicrons, AnalysisState.ScaleMicrons, pixelsPerMmText()};
}

std::optional<LayerBuffers> TForm2::takeNewPictureLayers()
{
    if (!newPictureLayers_) return std::nullopt;
    takenPictureLayers_ = std::move(newPictureLayers_);
    newPictureLayers_.reset();
    return LayerBuffers{std::move(layers_.Image2), std::move(layers_.Image3)};
}

void TForm2::restoreNewPictureLayers()
{
    if (!takenPictureLayers_) return;
    const NewPictureOverlays overlays = *takenPictureLayers_;
    takenPictureLayers_.reset();
    // The overlays were drawn (or told as failed) when the picture opened: the same drawing again, the
    // scale bars of the view kept as they are.
    layers_.Image2.copyFrom(layers_.Image1);
    drawGrid(layers_.Image2, overlays.gridMicrons, overlays.pixelsPerMm);
    drawScaleBar(layers_.Image2, overlays.scaleMicrons, overlays.pixelsPerMm);
    layers_.Image3.copyFrom(layers_.Image1);
    newPictureLayers_ = overlays;
    // A view shown meanwhile took the empty layer.
    refreshLayer(Image2);
    refreshLayer(Image3);
}

bool TForm2::Showgrid()
{
    newPictureLayers_.reset();
    return finishOverlay(drawGrid(layers_.Image2, AnalysisState.GridMicrons, pixelsPerMmText()));
}

bool TForm2::Showscale()
{
    newPictureLayers_.reset();
    const OverlayResult result = drawScaleBar(layers_.Image2, AnalysisState.ScaleMicrons, pixelsPerMmText());
    if (result.drawn && result.bar.length > 0) {
        // The view writes its label again when zoomed out, where the layer's own cannot be read. A bar
        // the new box covers whole is gone from the layer, and its label with it.
        const auto box = [](const ScaleBarPlace& bar) {
            return std::array<std::int64_t, 4>{bar.left, bar.top, bar.left + bar.length,
                                               bar.top + kScaleBoxRows - 1};
        };
        const auto covered = [&](const ScaleBarPlace& old) {
            const auto inner = box(old), outer = box(result.bar);
            return outer[0] <= inner[0] && outer[1] <= inner[1] && inner[2] <= outer[2] &&
                   inner[3] <= outer[3];
        };
        scaleBars_.erase(std::remove_if(scaleBars_.begin(), scaleBars_.end(), covered), scaleBars_.end());
        scaleBars_.push_back(result.bar);
        Image2->setScaleBars(scaleBars_);
    }
    return finishOverlay(result);
}

const Picture& TForm2::pictureOf(const LayerView* view) const
{
    if (view == Image1) return layers_.Image1;
    if (view == Image2) return layers_.Image2;
    return layers_.Image3;
}

void TForm2::refreshLayer(LayerView* view, const QRect& area)
{
    const Picture& picture = pictureOf(view);
    view->layerChanged(area);
    if (!zoomApplied_ && !picture.empty()) {
        view->resize(picture.width(), picture.height());
        canvas_->resize(canvas_->size().expandedTo(view->size()));
    }
}

void TForm2::refreshLayers()
{
    for (LayerView* layer : {Image1, Image2, Image3}) refreshLayer(layer);
}

// --- Mouse ---------------------------------------------------------------------------------------

void TForm2::pickColour(const Picture& layer, QPoint position, Qt::KeyboardModifiers modifiers)
{
    const int x = pressCoordinate(position.x(), AnalysisState.ZoomPercent);
    const int y = pressCoordinate(position.y(), AnalysisState.ZoomPercent);
    if (position.x() < 0 || position.y() < 0 || !layer.contains(x, y)) return;
    const std::uint32_t colour =
        modifiers.testFlag(Qt::ShiftModifier) ? meanColour(layer, x, y) : layer.pixel(x, y);
    Form1->setTargetColour(colour);
}

void TForm2::Image1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers modifiers, QPoint position)
{
    if (teachMode()) return;  // teach mode takes the mouse
    if (ctrlHeld(modifiers)) {
        Form1->raise();
        Form1->activateWindow();
        pickColour(layers_.Image1, position, modifiers);
        return;
    }
    const int x = pressCoordinate(position.x(), AnalysisState.ZoomPercent);
    const int y = pressCoordinate(position.y(), AnalysisState.ZoomPercent);
    SelStartX = SelEndX = clampedCorner(x, layers_.Image1.width());
    SelStartY = SelEndY = clampedCorner(y, layers_.Image1.height());
    drawBand();  // the band of the last selection goes
    SavedCaption = windowTitle();
    setWindowTitle(QStringLiteral("Xo/Yo: %1/%2").arg(SelStartX).arg(SelStartY));
    showStatusMessage(windowTitle());
}

void TForm2::Image1MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position)
{
    if (teachMode()) return;  // teach mode takes the mouse
    if (!buttons.testFlag(Qt::LeftButton) || ctrlHeld(modifiers)) return;
    const int x = moveCoordinate(position.x(), AnalysisState.ZoomPercent);
    const int y = moveCoordinate(position.y(), AnalysisState.ZoomPercent);
    // A drag beyond the picture keeps the corner on its edge; the title shows the drag as it is.
    SelEndX = clampedCorner(x, layers_.Image1.width());
    SelEndY = clampedCorner(y, layers_.Image1.height());
    drawBand();
    setWindowTitle(QStringLiteral("X/Y: %1/%2 W/H: %3/%4")
                       .arg(SelStartX)
                       .arg(SelStartY)
                       .arg(x - int(SelStartX))
                       .arg(y - int(SelStartY)));
    showStatusMessage(windowTitle());
}

void TForm2::Image2MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position)
{
    if (removalDrag_) {  // every press starts a gesture of its own
        removalDrag_ = false;
        Image2->setBand(QRect());
    }
    if (teachMode()) return;  // teach mode takes the mouse
    // Shift+drag in remove mode spans a rectangle whose particles all go.
    if (!AnalysisState.AddMode && button == Qt::LeftButton && modifiers.testFlag(Qt::ShiftModifier) &&
        !ctrlHeld(modifiers) && position.x() >= 0 && position.y() >= 0) {
        removalDrag_ = true;
        removalStart_ = picturePoint(position);
        return;
    }
    if (!ctrlHeld(modifiers) && button != Qt::RightButton) return;
    pickColour(layers_.Image2, position, modifiers);
    Form1->raise();
    Form1->activateWindow();
}

void TForm2::Image2MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers, QPoint position)
{
    if (!removalDrag_ || !buttons.testFlag(Qt::LeftButton)) return;
    const QPoint at = picturePoint(QPoint(std::max(0, position.x()), std::max(0, position.y())));
    const QRect box = QRect(removalStart_, at).normalized().adjusted(0, 0, -1, -1);
    Image2->setBand(box.intersected(QRect(0, 0, layers_.Image2.width(), layers_.Image2.height())));
}

EditTarget TForm2::editTarget()
{
    newPictureLayers_.reset();
    return EditTarget{layers_, AnalysisState, particles_};
}

void TForm2::Image2MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position)
{
    if (teachMode()) return;  // teach mode takes the mouse
    if (removalDrag_ && button == Qt::LeftButton) {
        removalDrag_ = false;
        Image2->setBand(QRect());
        const QPoint at = picturePoint(QPoint(std::max(0, position.x()), std::max(0, position.y())));
        const QRect box = QRect(removalStart_, at).normalized().adjusted(0, 0, -1, -1);
        // A Shift+click without a drag removes as a plain click does.
        if (!box.isEmpty()) {
            if (history_.removeInBox(editTarget(), PixelBox{box.x(), box.y(), box.width(), box.height()}) > 0)
                editShown(history_.lastChange());
            return;
        }
    }
    if (ctrlHeld(modifiers)) return;
    // A release beyond the picture (the button went down on it and the pointer left) edits nothing.
    if (position.x() < 0 || position.y() < 0) return;
    const int x = pressCoordinate(position.x(), AnalysisState.ZoomPercent);
    const int y = pressCoordinate(position.y(), AnalysisState.ZoomPercent);
    if (!layers_.Image2.contains(x, y)) return;
    if (AnalysisState.AddMode) {
        history_.add(editTarget(), x, y);
    } else if (!history_.removeNear(editTarget(), x, y)) {
        return;  // no particle within reach: nothing at all happens
    }
    editShown(history_.lastChange());
}

void TForm2::editShown(const PixelBox& changed)
{
    // Only the part an edit touched is shown anew, so a large picture stays quick to edit.
    const QRect area(changed.x, changed.y, changed.width, changed.height);
    if (!area.isEmpty()) {
        refreshLayer(Image2, area);
        refreshLayer(Image3, area);
    }
    updateUndoItems();
    Form3->calcres();
}

void TForm2::updateUndoItems()
{
    Undo1->setEnabled(history_.canUndo());
    Redo1->setEnabled(history_.canRedo());
}

void TForm2::UndoClick()
{
    if (!history_.canUndo()) return;
    editShown(history_.undo(editTarget()));
}

void TForm2::RedoClick()
{
    if (!history_.canRedo()) return;
    editShown(history_.redo(editTarget()));
}

void TForm2::countReplaced()
{
    takenPictureLayers_.reset();  // the count's layers took their place
    // The count layer was reset: the scale bars drawn before are gone with it.
    scaleBars_.clear();
    Image2->setScaleBars({});
    history_.reset(AnalysisState.AutoCount);
    removalDrag_ = false;
    Image2->setBand(QRect());
    updateUndoItems();
}

void TForm2::markCorrectionsSaved() { history_.markSaved(); }

bool TForm2::saveCorrections(const std::filesystem::path& reportPath)
{
    const std::filesystem::path path = reportPath.parent_path() / editsFileName(reportPath.filename().string());
    const std::vector<EditAction> actions = history_.actionsInEffect();
    std::error_code error;
    if (actions.empty()) {
        // A corrections file left from an earlier save would be made again on reopening a report that
        // holds none: it goes.
        if (std::filesystem::is_regular_file(path, error) && !std::filesystem::remove(path, error)) {
            dialogs().message(UserDialogs::MessageKind::Warning,
                              QStringLiteral("Cannot remove the earlier corrections file %1: %2")
                                  .arg(QString::fromStdString(quotedPath(path)), QString::fromStdString(error.message())));
            return false;
        }
        history_.markSaved();
        return true;
    }
    const FileSaveOutcome saved = writeEditsFile(path, EditsFileContent{history_.countedParticles(), actions});
    if (!saved.saved()) {
        // An earlier file beside the new report would bring back the wrong corrections.
        if (std::filesystem::is_regular_file(path, error)) std::filesystem::remove(path, error);
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QString::fromStdString(saved.error) +
                              QStringLiteral("\nThe report was saved, its corrections were not."));
        return false;
    }
    history_.markSaved();
    return true;
}

bool TForm2::restoreCorrections(const std::filesystem::path& reportPath)
{
    const std::filesystem::path path = reportPath.parent_path() / editsFileName(reportPath.filename().string());
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return true;
    const EditsReading reading = readEditsFile(path);
    if (!reading.error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(reading.error));
        return false;
    }
    const QString picture = QString::fromStdString(AnalysisState.ImageFileName);
    if (reading.content.count != history_.countedParticles()) {
        // The positions belong to another count: made on this one they would correct other particles.
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("The picture %1 changed since its report was saved: the count is now %2, "
                                         "it was %3. The %4 saved corrections were not made again.")
                              .arg(picture)
                              .arg(history_.countedParticles())
                              .arg(reading.content.count)
                              .arg(reading.content.actions.size()));
        return false;
    }
    const ReplayOutcome outcome = replayEdits(history_, editTarget(), reading.content.actions);
    refreshLayer(Image2);
    refreshLayer(Image3);
    updateUndoItems();
    if (!outcome.notApplied.empty()) {
        QStringList positions;
        for (const EditAction& action : outcome.notApplied)
            positions << QStringLiteral("%1 at %2, %3")
                             .arg(action.kind == EditAction::Kind::Add ? QStringLiteral("add") : QStringLiteral("remove"))
                             .arg(action.x)
                             .arg(action.y);
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("The picture %1 changed since its report was saved: %2 of the %3 saved "
                                         "corrections found no particle and were left out (%4).")
                              .arg(picture)
                              .arg(outcome.notApplied.size())
                              .arg(reading.content.actions.size())
                              .arg(positions.mid(0, 10).join(QStringLiteral("; ")) +
                                   (positions.size() > 10 ? QStringLiteral("; ...") : QString())));
        return false;
    }
    return true;
}

void TForm2::drawBand()
{
    const QRect selection(QPoint(std::min(SelStartX, SelEndX), std::min(SelStartY, SelEndY)),
                          QPoint(std::max(SelStartX, SelEndX) - 1, std::max(SelStartY, SelEndY) - 1));
    Image1->setBand(selection.intersected(QRect(0, 0, layers_.Image1.width(), layers_.Image1.height())));
}

void TForm2::collapseSelection()
{
    SelEndX = SelStartX;
    SelEndY = SelStartY;
    drawBand();
}

void TForm2::originalReplaced()
{
    // Teach mode ends with the picture: the new one starts in the click mode its menu item shows.
    teachEndedByPicture_ = teachMode();
    setTeachMode(false);
    collapseSelection();
    countReplaced();  // the corrections belonged to the old picture
    // The marks, region, background boxes and counts belong to the old picture; a picture opened from
    // file brings its own marks (pictureOpened). What was learnt stays: it counts every picture.
    marks_.clear();
    teachRegion_ = PixelRegion();
    marksFile_.clear();
    marksRefused_ = false;
    background_.clear();
    backgroundFile_.clear();
    backgroundRefused_ = false;
    backgroundDrag_ = PixelRegion();
    blobMarkers_.clear();
    learntResult_.reset();
    showDensityOverlay();
    teachPressed_ = false;
    showTeachOverlay();
}

// --- Teaching by example ----------------------------------------------------------------------

void TForm2::setTeachMode(bool on)
{
    if (Teachmode1->isChecked() != on) {
        Teachmode1->setChecked(on);  // toggled calls back once
        return;
    }
    teachPressed_ = false;
    // In teach mode the click-mode item does not say what a click does, so it is greyed out.
    Orig1->setEnabled(!on);
    if (on) {
        collapseSelection();
        showStatus(QString::fromLatin1(kTeachModeOnStatus), windowTitle());
    }
}

bool TForm2::teachMode() const { return Teachmode1 != nullptr && Teachmode1->isChecked(); }

QPoint TForm2::picturePoint(QPoint position) const
{
    return QPoint(pressCoordinate(position.x(), AnalysisState.ZoomPercent),
                  pressCoordinate(position.y(), AnalysisState.ZoomPercent));
}

void TForm2::teachPress(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position)
{
    // An Alt+click removes a mark on its release; it starts no region.
    if (!teachMode() || button != Qt::LeftButton || modifiers.testFlag(Qt::AltModifier) ||
        layers_.Image1.empty())
        return;
    teachBackground_ = modifiers.testFlag(Qt::ShiftModifier);
    if (position.x() < 0 || position.y() < 0) return;
    const QPoint at = picturePoint(position);
    if (!layers_.Image1.contains(at.x(), at.y())) return;
    teachPressed_ = true;
    teachDragged_ = false;
    teachStart_ = at;
}

void TForm2::teachMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers, QPoint position)
{
    if (!teachMode() || !teachPressed_ || !buttons.testFlag(Qt::LeftButton)) return;
    const int width = layers_.Image1.width(), height = layers_.Image1.height();
    const int x = std::clamp(moveCoordinate(position.x(), AnalysisState.ZoomPercent), 0, width);
    const int y = std::clamp(moveCoordinate(position.y(), AnalysisState.ZoomPercent), 0, height);
    if (!teachDragged_ && std::abs(x - teachStart_.x()) <= kDragThreshold &&
        std::abs(y - teachStart_.y()) <= kDragThreshold)
        return;
    teachDragged_ = true;
    const int left = std::min(x, teachStart_.x()), top = std::min(y, teachStart_.y());
    const PixelRegion dragged{left, top, std::max(x, teachStart_.x()) - left,
                              std::max(y, teachStart_.y()) - top};
    (teachBackground_ ? backgroundDrag_ : teachRegion_) = dragged;
    showTeachOverlay();
}

void TForm2::teachRelease(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position)
{
    if (!teachMode()) return;
    if (button == Qt::RightButton || (button == Qt::LeftButton && modifiers.testFlag(Qt::AltModifier))) {
        teachPressed_ = false;
        if (position.x() < 0 || position.y() < 0 || layers_.Image1.empty()) return;
        const QPoint at = picturePoint(position);
        if (layers_.Image1.contains(at.x(), at.y())) removeMarkNear(at);
        return;
    }
    if (button != Qt::LeftButton || !teachPressed_) return;
    teachPressed_ = false;
    if (teachDragged_ && teachBackground_) {
        const PixelRegion box = backgroundDrag_;
        backgroundDrag_ = PixelRegion();
        if (!box.empty() && mayChangeBackground()) {
            background_.push_back(box);
            saveBackground();
        }
        showTeachOverlay();
        return;
    }
    if (teachDragged_) return;  // the region is set
    // A plain click marks the pixel; marks of touching particles may lie a pixel or two apart.
    const QPoint at = teachStart_;
    if (std::find(marks_.begin(), marks_.end(), Mark{at.x(), at.y()}) != marks_.end()) {
        showStatus(QStringLiteral("%1, %2 is marked already").arg(at.x()).arg(at.y()), windowTitle());
        return;
    }
    if (!mayChangeMarks()) return;
    marks_.push_back(Mark{at.x(), at.y()});
    marksChanged();
}

void TForm2::removeMarkNear(QPoint at)
{
    auto nearest = marks_.end();
    int best = 0;
    for (auto it = marks_.begin(); it != marks_.end(); ++it) {
        const int dx = std::abs(it->x - at.x()), dy = std::abs(it->y - at.y());
        if (dx > kMarkReach || dy > kMarkReach) continue;
        if (nearest == marks_.end() || dx * dx + dy * dy < best) {
            nearest = it;
            best = dx * dx + dy * dy;
        }
    }
    if (nearest == marks_.end()) {
        if (removeBackgroundAt(at)) return;
        showStatus(
            QStringLiteral("No mark within %1 pixels of %2, %3").arg(kMarkReach).arg(at.x()).arg(at.y()),
            windowTitle());
        return;
    }
    if (!mayChangeMarks()) return;
    const Mark removed = *nearest;
    marks_.erase(nearest);
    marksChanged();
    showStatus(QStringLiteral("Mark at %1, %2 removed").arg(removed.x).arg(removed.y), windowTitle());
}

bool TForm2::mayChangeMarks() { return keepRefusedFileAside(marksFile_, marksRefused_, "marks"); }

bool TForm2::mayChangeBackground()
{
    return keepRefusedFileAside(backgroundFile_, backgroundRefused_, "background boxes");
}

void TForm2::showTeachOverlay()
{
    std::vector<QPoint> marks, blobs;
    marks.reserve(marks_.size());
    for (const Mark& mark : marks_) marks.emplace_back(mark.x, mark.y);
    if (Blobview1 != nullptr && Blobview1->isChecked())
        for (const Mark& blob : blobMarkers_) blobs.emplace_back(blob.x, blob.y);
    const QRect region(teachRegion_.x, teachRegion_.y, teachRegion_.width, teachRegion_.height);
    std::vector<QRect> boxes;
    for (const PixelRegion& box : background_) boxes.emplace_back(box.x, box.y, box.width, box.height);
    if (!backgroundDrag_.empty())
        boxes.emplace_back(backgroundDrag_.x, backgroundDrag_.y, backgroundDrag_.width,
                           backgroundDrag_.height);
    for (LayerView* layer : {Image1, Image2, Image3}) {
        layer->setTeachOverlay(region, marks, blobs);
        layer->setBackgroundOverlay(boxes);
    }
}

void TForm2::marksChanged()
{
    showTeachOverlay();
    saveMarks();
}

bool TForm2::saveMarks()
{
    if (marksFile_.empty()) return true;  // a picture not opened from file keeps its marks in the window
    if (marksRefused_) return true;       // a refused file stays as it is until the marks change
    // A picture never taught gets no file; one whose marks were cleared keeps an empty list.
    std::error_code ignored;
    if (marks_.empty() && !fs::exists(marksFile_, ignored)) return true;
    const FileSaveOutcome saved = writeMarksFile(marksFile_, marks_);
    if (!saved.saved()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(saved.error));
        return false;
    }
    return true;
}

void TForm2::pictureOpened(const std::filesystem::path& marksFile)
{
    marksFile_ = marksFile;
    marks_.clear();
    marksRefused_ = false;
    std::error_code ignored;
    if (fs::exists(marksFile, ignored)) {
        const MarksReading reading = readMarksFile(marksFile);
        if (!reading.error.empty()) {
            marksRefused_ = true;
            dialogs().message(
                UserDialogs::MessageKind::Warning,
                QStringLiteral("%1\nThe file is kept; the first change of this picture's marks "
                               "moves it aside as %2.")
                    .arg(QString::fromStdString(reading.error),
                         QString::fromStdString(asideMarksFile(marksFile).filename().string())));
        } else {
            marks_ = reading.marks;
        }
    }
    readBackground(marksFile);
    showTeachOverlay();
    if (teachEndedByPicture_)
        showStatus(QString::fromLatin1(kTeachModeEndedStatus), windowTitle());
    teachEndedByPicture_ = false;
}

void TForm2::ClearmarksClick()
{
    if (!marks_.empty() && mayChangeMarks()) {
        marks_.clear();
        saveMarks();
    }
    if (!background_.empty() && mayChangeBackground()) {
        background_.clear();
        saveBackground();
    }
    showTeachOverlay();
}

void TForm2::BlobviewClick() { showTeachOverlay(); }

void TForm2::restoreBlobSettings(const std::optional<BlobSettings>& settings)
{
    blobSettings_ = settings;
    blobMarkers_.clear();
    if (settings) Learntcounts1->setChecked(true);
    showTeachOverlay();
}

std::vector<std::string> TForm2::blobLines(const ParameterTexts& texts, const TAnalysisState& state)
{
    if (!blobSettings_ || !learntCountsOn() || layers_.Image1.empty()) return {};
    blobMarkers_.clear();
    // The target colour of the count, as the counter's --blobs takes it.
    for (const Blob& blob : findBlobs(layers_.Image1, Form1->PnColorColour(), *blobSettings_))
        blobMarkers_.push_back(Mark{blob.x, blob.y});
    showTeachOverlay();
    return blobReportLines(static_cast<int>(blobMarkers_.size()), *blobSettings_, texts, state);
}

void TForm2::SuggestparametersClick()
{
    if (layers_.Image1.empty() || LongWork::running()) return;
    // The search runs while the windows repaint, with a Cancel button: a cancelled search changes
    // nothing.
    Teaching teaching;
    try {
        LongWork work(this, QStringLiteral("Suggesting parameters…"));
        const bool finished = work.run([&](const WorkProgress& progress) {
            TeachOptions options;
            options.progress = progress;
            teaching = teachFromMarks(layers_.Image1, teachRegion_, marks_, options);
            return !teaching.cancelled;
        });
        if (!finished) return;
    } catch (const std::bad_alloc&) {
        teaching.error = "there is not enough memory for the search";
    }
    if (!teaching.error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("Cannot suggest parameters: %1").arg(QString::fromStdString(teaching.error)));
        return;
    }
    blobSettings_ = teaching.blobs;
    Learntcounts1->setChecked(true);
    Form1->setLearntParameters(teaching.count);
    Form1->BnCountClick();  // the count, and the report with the blob lines
    saveMarks();
    QString text = QStringLiteral("Teaching region: %1 marks.\nCount: %2.\nBlob count: %3.")
                       .arg(teaching.countFit.marks)
                       .arg(QString::fromStdString(fitText(teaching.countFit)),
                            QString::fromStdString(fitText(teaching.blobFit)));
    if (teaching.countFit.marks < kAdvisedTeachingMarks)
        text += QStringLiteral("\nOnly %1 marks: %2 or more give parameters that hold beyond the region.")
                    .arg(teaching.countFit.marks)
                    .arg(kAdvisedTeachingMarks);
    dialogs().message(UserDialogs::MessageKind::Information, text);
}

// --- Clipboard and crop --------------------------------------------------------------------------

Picture TForm2::copySelection()
{
    // The band lies over the picture, not in it: the copy holds the picture's own pixels.
    Picture part = copyRectangle(layers_.Image1, SelStartX, SelStartY, SelEndX, SelEndY);
    collapseSelection();
    if (!SavedCaption.isEmpty()) setWindowTitle(SavedCaption);
    if (part.empty()) {
        // Nothing to copy: the clipboard keeps what it holds.
        showStatusMessage(QString::fromLatin1(kNothingSelectedStatus), kStatusMilliseconds);
        return part;
    }
    QGuiApplication::clipboard()->setImage(toQImage(part));
    showStatusMessage(QStringLiteral("Copied the selection (%1 x %2 pixels) to the clipboard")
                          .arg(part.width())
                          .arg(part.height()));
    return part;
}

bool TForm2::loadAsClipboardPicture(const Picture& picture)
{
    // The new picture would take the corrections of this one along: asked first, as opening one is.
    if (!Form1->mayDropCorrections()) return false;
    // The original layer changes only through loading the written file, so a picture that cannot be
    // written leaves it as it was.
    const std::string error = replaceWithJpegFile(picture, Form1->workingFolder() / kClipboardPictureName);
    if (!error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error));
        return false;
    }
    return Form1->loadimage(QString::fromLatin1(kClipboardPictureName));
}

void TForm2::Copy1Click() { copySelection(); }

void TForm2::Cut1Click()
{
    const Picture part = copySelection();
    if (!part.empty()) loadAsClipboardPicture(part);  // the part is what the clipboard now holds
}

void TForm2::Paste1Click()
{
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull() || layers_.Image1.empty()) return;
    collapseSelection();
    Picture pasted = layers_.Image1;  // the original changes only once the file is written
    pastePicture(pasted, fromQImage(image), SelStartX, SelStartY);
    loadAsClipboardPicture(pasted);
}

void TForm2::FormKeyPress(int key)
{
    if (key == kCharCtrlC) {
        if (layers_.Image1.empty()) return;
        QGuiApplication::clipboard()->setImage(toQImage(layers_.Image1));
        showStatusMessage(QStringLiteral("Copied the whole picture (%1 x %2 pixels) to the clipboard")
                              .arg(layers_.Image1.width())
                              .arg(layers_.Image1.height()));
    } else if (key == kCharCtrlV) {
        const QImage image = QGuiApplication::clipboard()->image();
        if (!image.isNull()) loadAsClipboardPicture(fromQImage(image));
    }
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    // The character the key types: Ctrl with a letter types its control character (Ctrl+C is 3).
    int key = event->text().isEmpty() ? 0 : event->text().at(0).unicode();
    if (ctrlHeld(event->modifiers()) && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        key = event->key() - Qt::Key_A + 1;
    FormKeyPress(key);
    if (key != kCharCtrlC && key != kCharCtrlV) QMainWindow::keyPressEvent(event);
}
