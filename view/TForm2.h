#pragma once
// TForm2: the image window - three stacked picture layers, zoom, view flipping, overlays, mouse
// editing and the clipboard commands.

#include <QMainWindow>

#include "view/Layers.h"

class QAction;
class QMenu;
class QScrollArea;
class LayerView;

class TForm2 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    Layers& layers() { return layers_; }
    const Layers& layers() const { return layers_; }

    /// Brings the layer named by ViewMode to the front and sets the flip item's caption.
    void Toggleview();
    void ToggleimageOriginal1Click();
    /// Toggles AddMode and sets the click-mode item's caption.
    void Orig1Click();
    /// Shows zoom in the N1001 caption and resizes the three layers' display to it.
    void malgrossklein(std::uint16_t zoom);
    void Zoom1Click();
    void N1001Click();
    void Fittoframe1Click();
    /// Draws the grid into Image2 and brings Image2 to the front. False (after a message) on failure.
    bool Showgrid();
    /// Draws the scale bar into Image2 and brings Image2 to the front. False (after a message) on failure.
    bool Showscale();
    /// Tells the layer views that the layers' pixels changed.
    void refreshLayers();

    // Controls, named as the program names them.
    LayerView* Image1 = nullptr;
    LayerView* Image2 = nullptr;
    LayerView* Image3 = nullptr;
    QAction* Zoom1 = nullptr;
    QAction* N1001 = nullptr;
    QAction* Fittoframe1 = nullptr;
    QMenu* Edit1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* Paste1 = nullptr;
    QAction* Cut1 = nullptr;
    QAction* Orig1 = nullptr;
    QAction* ToggleimageOriginal1 = nullptr;

private:
    void FormCreate();
    void connectControls();

    Layers layers_;
    QScrollArea* scrollArea_ = nullptr;
};
