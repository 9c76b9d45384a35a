#include "view/TForm2.h"

#include <QMenuBar>
#include <QScrollArea>

#include "app/AnalysisState.h"
#include "app/Forms.h"
#include "view/LayerView.h"

TForm2::TForm2(QWidget* parent) : QMainWindow(parent) { FormCreate(); }

void TForm2::FormCreate()
{
    setWindowTitle(QStringLiteral("SpotTally"));
    move(252, 62);
    resize(489, 471);
    scrollArea_ = new QScrollArea(this);
    auto* canvas = new QWidget;
    Image3 = new LayerView(canvas);
    Image2 = new LayerView(canvas);
    Image1 = new LayerView(canvas);
    for (LayerView* layer : {Image3, Image2, Image1}) layer->setGeometry(0, 0, 470, 403);
    canvas->resize(470, 403);
    scrollArea_->setWidget(canvas);
    setCentralWidget(scrollArea_);

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

// The bodies below are filled in with the view commands.
void TForm2::Toggleview() {}
void TForm2::ToggleimageOriginal1Click() {}
void TForm2::Orig1Click() {}
void TForm2::malgrossklein(std::uint16_t) {}
void TForm2::Zoom1Click() {}
void TForm2::N1001Click() {}
void TForm2::Fittoframe1Click() {}
bool TForm2::Showgrid() { return false; }
bool TForm2::Showscale() { return false; }
void TForm2::refreshLayers()
{
    Image1->setPicture(layers_.Image1);
    Image2->setPicture(layers_.Image2);
    Image3->setPicture(layers_.Image3);
}
