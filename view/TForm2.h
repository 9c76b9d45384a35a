#pragma once
// TForm2: the image window - three stacked picture layers, zoom, view flipping, overlays, mouse
// editing and the clipboard commands.

#include <QMainWindow>
#include <QRect>
#include <cstdint>

#include "view/Layers.h"

class QAction;
class QMenu;
class QScrollArea;
class LayerView;
struct OverlayResult;

class TForm2 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    Layers& layers() { return layers_; }
    const Layers& layers() const { return layers_; }

    /// Brings the layer named by ViewMode to the front and sets the flip item's caption.
    void Toggleview();
    /// Flip image: cycles ViewMode original -> count -> area -> original.
    void ToggleimageOriginal1Click();
    /// Toggles AddMode and sets the click-mode item's caption.
    void Orig1Click();
    /// Shows zoom in the N1001 caption and resizes the three layers' display to it.
    void malgrossklein(std::uint16_t zoom);
    /// Zoom out by one step.
    void Zoom1Click();
    /// Zoom to 100 %.
    void N1001Click();
    /// Zoom in by one step.
    void Fittoframe1Click();
    /// Draws the grid into Image2 and brings Image2 to the front. False (after a message) on failure.
    bool Showgrid();
    /// Draws the scale bar into Image2 and brings Image2 to the front. False (after a message) on failure.
    bool Showscale();
    /// Tells the layer views that the layers' pixels changed.
    void refreshLayers();
    /// Tells one layer's view that the pixels of area (picture coordinates; all when empty) changed.
    void refreshLayer(LayerView* view, const QRect& area = QRect());
    /// The view in front: the only one visible and receiving the mouse.
    LayerView* frontLayer() const { return front_; }

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
    void bringToFront(LayerView* view);
    const Picture& pictureOf(const LayerView* view) const;
    /// Shows a failed overlay's message; true when the overlay was drawn and Image2 came to the front.
    bool finishOverlay(const OverlayResult& result);

    Layers layers_;
    QScrollArea* scrollArea_ = nullptr;
    QWidget* canvas_ = nullptr;  // holds the three stacked layers inside the scroll area
    LayerView* front_ = nullptr;
    bool zoomApplied_ = false;   // until the first malgrossklein the views take their picture's size
};
