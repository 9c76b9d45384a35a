#pragma once
// TForm2: the image window - three stacked picture layers, zoom, view flipping, overlays, mouse
// editing and the clipboard commands.
//
// Given names (they trace the program's behaviour; kept as they are):
//   Image1, Image2, Image3    the original, the count view (rings, grid, scale bar), the area view
//   Zoom1 "[ - ]"             zoom out;  Fittoframe1 "[ + ]": zoom in (despite its name)
//   Fittowindow1              "Fit to window": the largest zoom showing the whole picture
//   Display1                  brightness, contrast and channel of the display (for the eye only), and
//                             whether new pictures open fitted to the window
//   N1001 "100 %"             zoom to 100 %, caption showing the zoom. The main window's scale-bar
//                             menu is also called N1001: two different controls, one per window
//   Edit1: Copy1, Paste1, Cut1 ("Crop")   the clipboard commands
//   Orig1                     the click-mode item (add / remove)
//   ToggleimageOriginal1      the flip-image item (original -> count -> area)
//   malgrossklein             applies ZoomPercent to the three layers' display
//   Toggleview, Showgrid, Showscale   front layer by ViewMode; the two overlays into Image2
//   SelStartX/Y, SelEndX/Y    the selection on the original
//   Teach1: Teachmode1, Suggestparameters1, Blobview1, Clearmarks1   teaching by example: in teach
//                             mode a drag sets the teaching region, a Shift+drag adds a background
//                             box, a click adds a mark, an Alt+click or right-click removes one
//           Learndensity1, Densityview1, Learntcounts1, Forgetteaching1   the learnt density count
//   Menu1                     the menu bar, wrapping into rows on a narrow window (MenuRows)
//   View1: Zoomin1, Zoomout1, Zoom1001, Fittowindow1, Flipimage1   the zoom and flip commands with
//                             their keys shown; the bar's own zoom and flip items do the same
//   Copywhole1, Pastewhole1   Edit's items for Ctrl+C (the whole original) and Ctrl+V (the clipboard's
//                             picture as the new picture)
//   Window1                   brings back the three windows (WindowMenu)
//
// The other windows ask this one for: layers(), makeNewPictureLayers(), takeNewPictureLayers(),
// restoreNewPictureLayers(), refreshLayers(), malgrossklein(), Toggleview(),
// Orig1Click(), Showgrid(), Showscale(), originalReplaced(), pictureOpened(), saveMarks(),
// blobLines(), countReplaced(), hasUnsavedCorrections(), markCorrectionsSaved(), saveCorrections(),
// restoreCorrections(), showStatusMessage().

#include <QMainWindow>
#include <QRect>
#include <QString>
#include <cstdint>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/BlobSettings.h"
#include "core/Layers.h"
#include "core/ParameterTexts.h"
#include "core/Particles.h"
#include "detect/DensityCount.h"
#include "detect/Marks.h"
#include "view/EditHistory.h"
#include "view/LayerDisplay.h"
#include "view/Overlays.h"

class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollArea;
class LayerView;
class MenuRows;
struct OverlayResult;

/// The buffers of a count and an area layer, for a count to write its layers into.
struct LayerBuffers {
    Picture countLayer;
    Picture areaLayer;
};

class TForm2 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    /// The layers for a change: the count and area layers no longer count as a new picture's since
    /// (takeNewPictureLayers).
    Layers& layers();
    const Layers& layers() const { return layers_; }
    /// Makes the count and area layers as a new picture shows them: copies of the original, the count
    /// layer with the grid and the scale bar (Showgrid, Showscale, which tell what they cannot draw).
    void makeNewPictureLayers();
    /// The buffers of the count and area layers while they are as makeNewPictureLayers made them: they
    /// hold nothing a count would not make again, so the count may write its layers into them. The
    /// two layers are empty until the count's take their place (countReplaced) or
    /// restoreNewPictureLayers makes them again. None once anything may have changed them: the
    /// layers asked for a change, an edit, an overlay drawn again.
    std::optional<LayerBuffers> takeNewPictureLayers();
    /// Makes the layers taken again as makeNewPictureLayers made them, with the grid and scale bar of
    /// then and nothing told: the count that wrote into them was cancelled or failed.
    void restoreNewPictureLayers();
    /// The particles of the last count, with the corrections made by hand since (particle table).
    ParticleList& particles() { return particles_; }

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
    /// "Fit to window": the largest zoom at which the whole picture fits into the window.
    void Fittowindow1Click();
    /// A new picture is shown: fitted to the window (never above 100 %) when new pictures open fitted,
    /// else at ZoomPercent as the loading set it; scrolled to its top-left corner.
    void zoomForNewPicture();
    /// New pictures open fitted to the window (the Display menu's setting, kept in the settings file).
    bool newPicturesFitted() const;

    // Display of the layers, for the eye only: the layers, counts and saved pictures stay as they are.
    /// Applies adjustment to the three views and shows it in the Display menu.
    void setDisplayAdjustment(const DisplayAdjustment& adjustment);
    const DisplayAdjustment& displayAdjustment() const { return display_; }
    /// Applies zoom keeping the picture point at anchor (a place in the scrolled view) where it is; the
    /// zoom commands keep the view's centre, the Ctrl+wheel the point under the mouse.
    void zoomAbout(std::uint16_t zoom, QPoint anchor);
    /// The scroll area the layers lie in.
    QScrollArea* scrollArea() const { return scrollArea_; }
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

    /// The menu bar wraps into rows (Menu1): there is no single QMenuBar to add items to.
    QMenuBar* menuBar() const = delete;
    /// Shows text in the status bar: until the next message, or for milliseconds when not 0.
    void showStatusMessage(const QString& text, int milliseconds = 0);
    /// Shows status in the status bar and, for a moment, in the title, then restoreTo (unless the
    /// title changed meanwhile).
    void showStatus(const QString& status, const QString& restoreTo);
    /// The status bar's permanent fields: the picture pixel under the mouse, its value in the view in
    /// front, and the zoom.
    QLabel* positionField() const { return positionField_; }
    QLabel* pixelField() const { return pixelField_; }
    QLabel* zoomField() const { return zoomField_; }

    // Mouse handlers; positions are in the layer view's own (zoomed) pixels.
    /// Press on the original: with Ctrl picks the target colour, otherwise starts a selection.
    void Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    /// Move on the original: with the left button held and no Ctrl, drags the selection band.
    void Image1MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position);
    /// Press on the count view: with Ctrl or the right button picks the target colour.
    void Image2MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    /// Release on the count view without Ctrl: adds or removes a particle by the click mode.
    void Image2MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

    // Undo and redo of the corrections made by hand.
    /// "Undo" (Ctrl+Z): takes back the last add or removal in effect.
    void UndoClick();
    /// "Redo" (Ctrl+Shift+Z, Ctrl+Y): makes the last undone one again.
    void RedoClick();
    /// Move on the count view: with a removal rectangle being dragged, shows its band.
    void Image2MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position);
    /// A count was made (or failed, leaving the layers reset): the corrections start anew from it.
    void countReplaced();
    /// Corrections in effect that were not saved since the last count, open or save.
    bool hasUnsavedCorrections() const { return history_.unsaved(); }
    /// The corrections in effect are taken as saved (or given up).
    void markCorrectionsSaved();
    /// Saving the report at reportPath: writes its corrections file beside it, or removes a stale one
    /// when there are no corrections. False (after a message) when that failed.
    bool saveCorrections(const std::filesystem::path& reportPath);
    /// Reopening the report at reportPath after its count: its corrections file, when there is one,
    /// is checked against the count and made again. True when the corrections were made as saved (or
    /// there were none); false after a message saying what could not be kept.
    bool restoreCorrections(const std::filesystem::path& reportPath);
    const EditHistory& editHistory() const { return history_; }

    // Edit commands.
    /// Copy: the selected part of the original to the clipboard.
    void Copy1Click();
    /// Crop: Copy, then the selected part becomes the picture.
    void Cut1Click();
    /// Paste: the clipboard's picture drawn into the original at the selection's start.
    void Paste1Click();
    /// Key handler by character: 3 (Ctrl+C) copies the whole original; 22 (Ctrl+V) makes
    /// the clipboard's picture the picture. Other characters are ignored.
    void FormKeyPress(int key);

    /// The original layer holds a new picture: the selection of the old one collapses to its start and
    /// its band goes. Called by the picture loading.
    void originalReplaced();

    // Teaching by example.
    /// Teach mode on or off (the Teach mode item's check follows).
    void setTeachMode(bool on);
    bool teachMode() const;
    /// Press, move and release on the view in front while in teach mode: a drag sets the teaching
    /// region, a click adds a mark, an Alt+click or right-click removes the nearest one within
    /// kMarkReach of it. A new picture ends teach mode.
    void teachPress(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void teachMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position);
    void teachRelease(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    const std::vector<Mark>& marks() const { return marks_; }
    const PixelRegion& teachingRegion() const { return teachRegion_; }
    /// "Suggest parameters": learns from the region's marks, fills the main window's fields, counts and
    /// tells how well the learnt values fit the marks.
    void SuggestparametersClick();
    /// "Blob view": the blob count's markers over the picture, on or off.
    void BlobviewClick();
    /// "Clear marks": the marks of this picture go (an existing file keeps an empty list).
    void ClearmarksClick();
    /// A picture was opened from file: its marks are read from marksFile (none when there is none).
    void pictureOpened(const std::filesystem::path& marksFile);
    /// Writes the marks beside the picture; false (after a message) when they could not be written. A
    /// picture never taught gets no file, and a file refused at opening is not replaced.
    bool saveMarks();
    /// The learnt blob settings, once "Suggest parameters" has run on this picture.
    const std::optional<BlobSettings>& blobSettings() const { return blobSettings_; }
    /// Blob settings read back from a report of this picture (none: the report had no blob lines).
    void restoreBlobSettings(const std::optional<BlobSettings>& settings);
    /// The blob count's report lines for the record, counted on the original with the learnt settings
    /// and the count's target colour (the main window's panel);
    /// none before anything was learnt for this picture.
    std::vector<std::string> blobLines(const ParameterTexts& texts, const struct TAnalysisState& state);
    /// The blob count's positions shown by the blob view (after blobLines or Suggest parameters).
    const std::vector<Mark>& blobMarkers() const { return blobMarkers_; }

    // The learnt density count (TForm2Learnt.cpp).
    /// This picture's background boxes: Shift+drag in teach mode adds one, an Alt+click or right-click
    /// inside one (with no mark near) removes it. Kept beside the marks in c_NAME.background.csv.
    const std::vector<PixelRegion>& backgroundBoxes() const { return background_; }
    /// "Learn density count": this picture's region, marks and background boxes join the teaching set
    /// (replacing what this picture taught before), a model is learnt from the whole set as long work,
    /// and the picture is counted again.
    void LearndensityClick();
    /// "Forget teaching": the teaching set, the learnt model and the blob settings go.
    void ForgetteachingClick();
    /// "Learnt density": the learnt density as a heat map and the learnt positions over the picture.
    void DensityviewClick();
    /// "Learnt counts for every picture": while checked, every count adds the blob count and the
    /// learnt count (when learnt or restored); checked whenever something is learnt or restored.
    bool learntCountsOn() const;
    const TeachingSet& teachingSet() const { return teachingSet_; }
    const std::optional<DensityModel>& densityModel() const { return densityModel_; }
    /// The picture's learnt count: computed by each count while learnt counts are on (none otherwise,
    /// or when it was cancelled).
    const std::optional<DensityResult>& learntResult() const { return learntResult_; }
    /// Called by the report after each count: the learnt count of the picture. False when cancelled.
    bool countLearnt();
    /// The learnt count's report lines for the record (after countLearnt); none while there is no
    /// learnt count. Throws FieldError as the report's results do.
    std::vector<std::string> learntLines(const ParameterTexts& texts, const struct TAnalysisState& state) const;
    /// Saving the report at reportPath: the model goes beside it (densityModelPath), or a stale one
    /// goes when there is no model. False (after a message) when that failed.
    bool saveDensityModel(const std::filesystem::path& reportPath);
    /// Opening the report at reportPath: its model, when one lies beside it, becomes the model (none
    /// otherwise). A model file that cannot be read, or missing while the report names one
    /// (reportHasModel), is named in a message and left as it is.
    void restoreDensityModel(const std::filesystem::path& reportPath, bool reportHasModel);

    // Controls, named as the program names them.
    MenuRows* Menu1 = nullptr;
    LayerView* Image1 = nullptr;
    LayerView* Image2 = nullptr;
    LayerView* Image3 = nullptr;
    QAction* Zoom1 = nullptr;
    QAction* N1001 = nullptr;
    QAction* Fittoframe1 = nullptr;
    QAction* Fittowindow1 = nullptr;
    QMenu* Edit1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* Paste1 = nullptr;
    QAction* Cut1 = nullptr;
    QAction* Copywhole1 = nullptr;
    QAction* Pastewhole1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* Orig1 = nullptr;
    QAction* ToggleimageOriginal1 = nullptr;
    QMenu* View1 = nullptr;
    QAction* Zoomin1 = nullptr;
    QAction* Zoomout1 = nullptr;
    QAction* Zoom1001 = nullptr;
    QAction* Flipimage1 = nullptr;
    QMenu* Window1 = nullptr;
    QMenu* Display1 = nullptr;
    QAction* Displayrange1 = nullptr;  // tells the display range; not a command
    QAction* Brighter1 = nullptr;
    QAction* Darker1 = nullptr;
    QAction* Morecontrast1 = nullptr;
    QAction* Lesscontrast1 = nullptr;
    QAction* Stretch1 = nullptr;
    QAction* Allchannels1 = nullptr;
    QAction* Redchannel1 = nullptr;
    QAction* Greenchannel1 = nullptr;
    QAction* Bluechannel1 = nullptr;
    QAction* Normaldisplay1 = nullptr;
    QAction* Openfitted1 = nullptr;  // checked: new pictures open fitted to the window
    QMenu* Teach1 = nullptr;
    QAction* Teachmode1 = nullptr;
    QAction* Suggestparameters1 = nullptr;
    QAction* Blobview1 = nullptr;
    QAction* Clearmarks1 = nullptr;
    QAction* Learndensity1 = nullptr;
    QAction* Densityview1 = nullptr;
    QAction* Learntcounts1 = nullptr;
    QAction* Forgetteaching1 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    /// Ctrl+wheel beside the picture (a picture smaller than the window) zooms as on the picture.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    /// The Display menu: brightness, contrast, channel, and how new pictures open.
    void addDisplayMenu();
    /// The Display menu's setting changed: kept in the settings file.
    void OpenfittedClick(bool fitted);
    void connectControls();
    /// The zoom, flip and command keys.
    void addShortcuts();
    void zoomAboutCentre(std::uint16_t zoom);
    /// Ctrl+wheel on the view in front: one zoom step per notch, about the point under the mouse.
    void wheelZoom(int angle, QPoint position);
    /// A middle-button drag moves the picture with the mouse.
    void panPressed(QPoint globalPosition);
    void panMoved(QPoint globalPosition);
    void bringToFront(LayerView* view);
    /// The status bar with its fields.
    void buildStatusBar();
    /// The mouse at position on the view in front (or off it, position none): its picture pixel and
    /// that pixel's value go into the status bar.
    void showPointer(const LayerView* view, std::optional<QPoint> position);
    const Picture& pictureOf(const LayerView* view) const;
    /// Shows a failed overlay's message; true when the overlay was drawn and Image2 came to the front.
    bool finishOverlay(const OverlayResult& result);
    /// Colour pick: the pixel under position becomes the target colour of the main window; with Shift
    /// held (Ctrl+Shift+click) the mean of the 5 x 5 pixels around it.
    void pickColour(const Picture& layer, QPoint position, Qt::KeyboardModifiers modifiers = {});
    /// Shows the band of the current selection over Image1 (none while the selection is empty).
    void drawBand();
    /// The selection shrinks to its start, and its band goes.
    void collapseSelection();
    /// Copies the selected part to the clipboard and collapses the selection. Returns
    /// the part; empty (nothing copied, a status in the title) when nothing was selected.
    Picture copySelection();
    /// Writes picture as the exchange file into the working folder and loads it from there. A picture
    /// that cannot be written is not loaded and the user is told why.
    bool loadAsClipboardPicture(const Picture& picture);

    /// Picture pixel under a view position (zoom applied).
    QPoint picturePoint(QPoint position) const;
    /// Shows region, marks and blob markers over every view.
    void showTeachOverlay();
    /// The marks changed: shown anew and written.
    void marksChanged();
    /// Removes the mark nearest to at within kMarkReach, saying in the title what went.
    void removeMarkNear(QPoint at);
    /// Before the first change of marks read from a refused file: the file is moved aside. False
    /// (after a message) when that failed; the marks must then stay as they are.
    bool mayChangeMarks();
    /// The same for the background boxes and their file.
    bool mayChangeBackground();
    /// Removes the smallest background box holding at; false when none holds it.
    bool removeBackgroundAt(QPoint at);
    /// Writes the background boxes beside the picture, by the rule of saveMarks.
    bool saveBackground();
    /// Reads the background boxes from file (none when there is none).
    void readBackground(const std::filesystem::path& file);
    /// Shows the learnt density and positions over every view (nothing while the view is off).
    void showDensityOverlay();
    /// Runs predictDensity on the original as long work; false when cancelled.
    bool predictLearnt(bool keepDensity);

    /// Undo and Redo are enabled only when there is a step to take.
    void updateUndoItems();
    /// Shows the box of the count and area layers changed by an edit, and the report's result lines.
    void editShown(const PixelBox& changed);
    EditTarget editTarget();

    Layers layers_;
    /// The settings the overlays of a new picture's count layer were drawn with.
    struct NewPictureOverlays {
        std::uint8_t gridMicrons = 0;
        std::uint8_t scaleMicrons = 0;
        std::string pixelsPerMm;
    };
    std::optional<NewPictureOverlays> newPictureLayers_;    // the count and area layers are as made then
    std::optional<NewPictureOverlays> takenPictureLayers_;  // they were taken by a count
    EditHistory history_;
    bool removalDrag_ = false;  // a Shift+drag in remove mode is spanning a removal rectangle
    QPoint removalStart_;       // its press, in picture pixels
    std::vector<Mark> marks_;
    PixelRegion teachRegion_;
    std::filesystem::path marksFile_;  // beside the picture; empty until a picture was opened from file
    bool marksRefused_ = false;        // the file beside the picture was refused; kept until changed
    bool teachEndedByPicture_ = false; // the last new picture ended teach mode (said once it shows)
    std::vector<PixelRegion> background_;
    std::filesystem::path backgroundFile_;  // beside the marks; empty as marksFile_ is
    bool backgroundRefused_ = false;
    PixelRegion backgroundDrag_;             // the box being dragged with Shift
    TeachingSet teachingSet_;
    std::optional<DensityModel> densityModel_;
    std::optional<DensityResult> learntResult_;
    bool teachPressed_ = false;
    bool teachDragged_ = false;
    bool teachBackground_ = false;           // the press was with Shift: a drag spans a background box
    QPoint teachStart_;
    std::optional<BlobSettings> blobSettings_;
    std::vector<Mark> blobMarkers_;
    ParticleList particles_;
    DisplayAdjustment display_;
    std::vector<ScaleBarPlace> scaleBars_;  // drawn into Image2 since it was last reset
    QScrollArea* scrollArea_ = nullptr;
    QLabel* positionField_ = nullptr;
    QLabel* pixelField_ = nullptr;
    QLabel* zoomField_ = nullptr;
    QWidget* canvas_ = nullptr;  // holds the three stacked layers inside the scroll area
    LayerView* front_ = nullptr;
    bool zoomApplied_ = false;   // until the first malgrossklein the views take their picture's size
    int wheelAngle_ = 0;         // the wheel's turn not yet taken as a zoom step
    QPoint panStart_;            // screen position of the middle-button press
    QPoint panScroll_;           // the scroll offsets then

    // The selection on the original, in picture pixels: the last plain press and the current drag point.
    // Empty while the two are equal; the corners are kept as dragged, not reordered.
    std::uint16_t SelStartX = 0;
    std::uint16_t SelStartY = 0;
    std::uint16_t SelEndX = 0;
    std::uint16_t SelEndY = 0;
    QString SavedCaption;  // the window title at the last plain press; Copy puts it back
};
