#include "view/TForm2.h"

#include <QLineEdit>
#include <algorithm>
#include <QMenuBar>
#include <QScrollArea>

#include "app/AnalysisState.h"
#include "app/Forms.h"
#include "app/TForm1.h"
#include "app/UserDialogs.h"
#include "view/LayerView.h"
#include "view/Overlays.h"
#include "view/Zoom.h"

namespace {

// Size of the layers until a picture is shown.
constexpr int kInitialLayerWidth = 470;
constexpr int kInitialLayerHeight = 403;

std::string pixelsPerMmText()
{
    return Form1 != nullptr ? Form1->Edpixmm->text().toStdString() : std::string();
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QMainWindow(parent) { FormCreate(); }

void TForm2::FormCreate()
{
    setWindowTitle(QStringLiteral("SpotTally"));
    move(252, 62);
    resize(489, 471);
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
    bringToFront(Image1);

    Zoom1 = menuBar()->addAction(QStringLiteral("  [  -  ]"));
    N1001 = menuBar()->addAction(QStringLiteral("100 %"));
    Fittoframe1 = menuBar()->addAction(QStringLiteral("  [ + ] "));
    Edit1 = menuBar()->addMenu(QStringLiteral("Edit"));
    Copy1 = Edit1->addAction(QStringLiteral("Copy"));
    Paste1 = Edit1->addAction(QStringLiteral("Paste"));
    Cut1 = Edit1->addAction(QStringLiteral("Crop"));
    Orig1 = menuBar()->addAction(QStringLiteral("[Click mode=] Remove"));
    ToggleimageOriginal1 = menuBar()->addAction(QStringLiteral("[Flip image =] Original"));
    connectControls();
}

void TForm2::connectControls()
{
    connect(Zoom1, &QAction::triggered, this, &TForm2::Zoom1Click);
    connect(N1001, &QAction::triggered, this, &TForm2::N1001Click);
    connect(Fittoframe1, &QAction::triggered, this, &TForm2::Fittoframe1Click);
    connect(Orig1, &QAction::triggered, this, &TForm2::Orig1Click);
    connect(ToggleimageOriginal1, &QAction::triggered, this, &TForm2::ToggleimageOriginal1Click);
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
            ToggleimageOriginal1->setText(QStringLiteral("[Flip image=] Original"));
            break;
        case kViewArea:
            bringToFront(Image3);
            ToggleimageOriginal1->setText(QStringLiteral("[Flip image=] Area"));
            break;
        default:
            bringToFront(Image2);
            ToggleimageOriginal1->setText(QStringLiteral("[Flip image=] Count "));
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
        Orig1->setText(QStringLiteral("&[Click mode=] Remove"));
    } else {
        AnalysisState.AddMode = true;
        Orig1->setText(QStringLiteral("&[Click mode=]   Add  "));
    }
}

void TForm2::malgrossklein(std::uint16_t zoom)
{
    N1001->setText(QString::number(zoom) + QStringLiteral(" %"));
    // The pictures stay as they are; the views stretch them to the zoomed size.
    const DisplaySize shown = displayedSize(zoom, AnalysisState.ImageWidth, AnalysisState.ImageHeight);
    const int width = static_cast<int>(std::clamp<std::int64_t>(shown.width, 0, kMaxDisplaySide));
    const int height = static_cast<int>(std::clamp<std::int64_t>(shown.height, 0, kMaxDisplaySide));
    for (LayerView* layer : {Image1, Image2, Image3}) layer->resize(width, height);
    canvas_->resize(width, height);
    zoomApplied_ = true;
}

void TForm2::Zoom1Click()
{
    AnalysisState.ZoomPercent = zoomedOut(AnalysisState.ZoomPercent);
    malgrossklein(AnalysisState.ZoomPercent);
}

void TForm2::N1001Click()
{
    AnalysisState.ZoomPercent = kZoomFull;
    malgrossklein(AnalysisState.ZoomPercent);
}

void TForm2::Fittoframe1Click()
{
    AnalysisState.ZoomPercent =
        zoomedIn(AnalysisState.ZoomPercent, AnalysisState.ImageWidth, AnalysisState.ImageHeight);
    malgrossklein(AnalysisState.ZoomPercent);
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

bool TForm2::Showgrid()
{
    return finishOverlay(drawGrid(layers_.Image2, AnalysisState.GridMicrons, pixelsPerMmText()));
}

bool TForm2::Showscale()
{
    return finishOverlay(drawScaleBar(layers_.Image2, AnalysisState.ScaleMicrons, pixelsPerMmText()));
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
