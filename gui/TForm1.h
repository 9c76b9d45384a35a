#pragma once
// TForm1: the main window - parameter fields, the target colour panel, the count button and menus.
//
// Given names (they trace the program's behaviour; kept as they are):
//   Edmin, EdMax              minimum / maximum particle size (pixels), in group box GBsize
//   Edpixmm, Edfilter, EdVol  pixels per mm, filter area (mm^2), sample volume (cm^3), in GbParam
//   EdR, EdG, EdB, PnColor    target colour as texts and as the panel showing it, in GBcolor
//   EdDevi, Edhell, EdCont    colour tolerance, brightness tolerance, minimum contrast
//   BnCount / BnCountClick    the count button and its handler
//   File1: Openimage1 "Open image", Savereport1 "Open report" (it opens, despite its name),
//                             Savereport2 "Save report" (the report window's save), Exit1
//   Nogrid1                   the grid menu (um100 .. um0; um0 = "No grid")
//   N1001                     the scale-bar menu (scale100 .. Noscale1). The image window's 100 % zoom
//                             item is also called N1001: two different controls, one per window
//   Exportxyvalues1           the export menu: Statistics1, xydata1, Off1
//   N16bitpictures1           how 16-bit pictures become 8 bits: Onerange1, Eachchannel1, Fullrange1
//   TIFFpage1                 the pages of the TIFF file open now, one item each
//   Defaultparameters1        the parameter fields back to their defaults
//   Help1: INfo1, Manual1     the Info box and the manual
//   EdBKeyUp                  key handler of EdR/EdG/EdB: recolours the panel
//   loadimage, newpictureparams  picture loading, and resetting the state for the new picture
//   OpenDialog1 / OpenDialog2 the picture and report open dialogs
//
// The other windows ask this one for: parameterTexts(), setTargetColour(), loadimage(),
// workingFolder() / setWorkingFolder(), mayDropCorrections(), pictureDamage(), layersShowCount().

#include <QMainWindow>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/ParameterTexts.h"
#include "core/Picture.h"
#include "gui/UserDialogs.h"
#include "picture/SampleRange.h"

struct CountParams;
struct DecodedPicture;
enum class PictureKind;
class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class RecentFiles;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    /// settingsFile: where SpotTally.ini is read and written (see settingsFilePath).
    explicit TForm1(std::filesystem::path settingsFile, QWidget* parent = nullptr);

    /// The 16-bit mapping a model taught on the picture open now keeps for every later count: none for a
    /// picture of 8-bit samples; the fixed range that gives its own mapping when it was mapped by its
    /// percentiles; otherwise the mapping it was loaded with.
    std::optional<SampleRange> taughtSampleRange() const;

    // --- Handlers --------------------------------------------------------------------------------
    void Openimage1Click();
    void Savereport1Click();
    void Exit1Click();
    /// Key-release handler of EdR, EdG and EdB: recolours the panel from the three fields.
    void EdBKeyUp();
    void um100Click();
    void um50Click();
    void um25Click();
    void N20um1Click();
    void um10Click();
    void um0Click();
    void scale100Click();
    void N50um1Click();
    void N25um1Click();
    void N201Click();
    void N10um1Click();
    void Noscale1Click();
    void Statistics1Click();
    void xydata1Click();
    void Off1Click();
    /// Export choice "particle table": the export button writes c_NAME.csv.
    void Particletable1Click();
    /// "Pool reports…": several saved reports of one filter into one pooled result, shown in the report
    /// window and saved beside the reports.
    void Poolreports1Click();
    /// "Open series…": the pictures of one filter in the series window; one picture chosen opens the
    /// whole folder it lies in.
    void Openseries1Click();
    /// How 16-bit pictures become 8 bits: one range for all channels (the default), each channel on its
    /// own, or value / 257. Kept in the settings file; a 16-bit picture open now is opened again with it.
    void Onerange1Click();
    void Eachchannel1Click();
    void Fullrange1Click();
    /// The page of the TIFF file open now: the file opened again at that page.
    void choosePage(int page);
    /// The parameter fields (and the colour panel) back to the texts the program starts with.
    void Defaultparameters1Click();
    void INfo1Click();
    void Manual1Click();
    /// The count, run in place: what the other windows and a reopened report call; it returns once the
    /// layers, the record and the report are done.
    void BnCountClick();
    /// The count button's handler: BnCountClick with the count on a worker thread, a busy cursor, a
    /// progress dialog with Cancel for a long count and the windows repainting meanwhile. A cancelled
    /// count changes nothing. A press while a count or a load runs does nothing.
    void countWithProgress();

    // --- Operations ------------------------------------------------------------------------------
    /// Loads a picture file into the image window's original layer and resets the state for it.
    /// Returns false (after a message naming the file) when the file could not be read or is of a kind
    /// that is not read; nothing changed then.
    bool loadimage(const QString& fileName);
    /// What a confirmed "Open image" does with its file, also used for a picture named on the command
    /// line: loads it; then the working folder and the open dialog move to its folder and the settings
    /// file records it. False (after a message) when it could not be loaded: nothing changed then.
    bool openChosenPicture(const QString& fileName);
    /// Opens a chosen report file: its text into the report window, its picture (beside it) reloaded and
    /// its parameters restored. False (after a message) when the report could not be used whole.
    bool openChosenReport(const QString& fileName);
    /// Before work that would drop corrections not yet saved: asks whether to save them (as "Save
    /// report" does), discard them or cancel. True when the work may go on (nothing unsaved, saved,
    /// or discarded); false when cancelled or the save failed.
    bool mayDropCorrections();
    /// Resets the analysis state and the image window for the picture already in Image1.
    /// pictureNote, when not empty, follows the name in the picture window's title: the page of several
    /// and the mapping of 16-bit samples, so that a count can be reproduced.
    void newpictureparams(const QString& name, const QString& pictureNote = {});

    /// The reader's messages when the picture loaded last is damaged; none for a sound one. Its reports
    /// name the damage.
    const std::optional<std::vector<std::string>>& pictureDamage() const { return pictureDamage_; }
    /// The count and area layers show a count of the picture loaded, not only the picture itself.
    bool layersShowCount() const { return layersShowCount_; }
    /// The parameters of the last count whose report was written go into the settings file, for the
    /// fields of the next start; closing the main window does this.
    void saveLastParameters();

    /// The parameter fields' current texts.
    ParameterTexts parameterTexts() const;
    void setParameterTexts(const ParameterTexts& texts);
    /// Parameters learnt by teaching: the size, tolerance and contrast fields and the target colour
    /// (fields and panel) take them, as the counter's --learn writes them.
    void setLearntParameters(const CountParams& learnt);

    /// The target colour shown by PnColor: red in the low byte, green in the second, blue in the third.
    std::uint32_t PnColorColour() const { return panelColour_; }
    void setPnColorColour(std::uint32_t colour);
    /// A colour picked on the picture becomes the target: the panel and the texts of EdR, EdG, EdB.
    void setTargetColour(std::uint32_t colour);

    /// The folder bare file names resolve against; a confirmed file dialog moves it.
    const std::filesystem::path& workingFolder() const { return workingFolder_; }
    void setWorkingFolder(const std::filesystem::path& folder) { workingFolder_ = folder; }
    /// Looks for the manual in folder only (tests); empty: beside the executable, then the data folder.
    void setManualFolder(const std::filesystem::path& folder) { manualFolder_ = folder; }
    const std::filesystem::path& settingsFile() const { return settingsFile_; }
    /// File's "Recent pictures" and "Recent reports".
    RecentFiles* recentFiles() const { return recentFiles_; }

    // --- Controls, named as the program names them ------------------------------------------------
    QGroupBox* GBsize = nullptr;
    QLineEdit* Edmin = nullptr;
    QLineEdit* EdMax = nullptr;
    QGroupBox* GbParam = nullptr;
    QLineEdit* Edpixmm = nullptr;
    QLineEdit* Edfilter = nullptr;
    QLineEdit* EdVol = nullptr;
    QGroupBox* GBcolor = nullptr;
    QFrame* PnColor = nullptr;
    QLineEdit* EdR = nullptr;
    QLineEdit* EdG = nullptr;
    QLineEdit* EdB = nullptr;
    QLineEdit* EdDevi = nullptr;
    QLineEdit* Edhell = nullptr;
    QLineEdit* EdCont = nullptr;
    QPushButton* BnCount = nullptr;

    QMenu* File1 = nullptr;
    QAction* Openimage1 = nullptr;
    QAction* Savereport1 = nullptr;
    QAction* Savereport2 = nullptr;  // "Save report": the report window's save button
    QAction* Poolreports1 = nullptr;
    QAction* Openseries1 = nullptr;
    QMenu* Recentseries1 = nullptr;  // the series opened lately
    QAction* Exit1 = nullptr;
    QMenu* Options1 = nullptr;
    QMenu* Nogrid1 = nullptr;
    QAction *um100 = nullptr, *um50 = nullptr, *um25 = nullptr, *N20um1 = nullptr, *um10 = nullptr,
            *um0 = nullptr;
    QMenu* N1001 = nullptr;
    QAction *scale100 = nullptr, *N50um1 = nullptr, *N25um1 = nullptr, *N201 = nullptr, *N10um1 = nullptr,
            *Noscale1 = nullptr;
    QMenu* Exportxyvalues1 = nullptr;
    QAction *Statistics1 = nullptr, *xydata1 = nullptr, *Off1 = nullptr;
    QAction* Particletable1 = nullptr;
    QMenu* Window1 = nullptr;  // brings back the windows
    QMenu* N16bitpictures1 = nullptr;
    QAction *Onerange1 = nullptr, *Eachchannel1 = nullptr, *Fullrange1 = nullptr;
    QMenu* TIFFpage1 = nullptr;
    QAction* Defaultparameters1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* INfo1 = nullptr;
    QAction* Manual1 = nullptr;

    UserDialogs::FileDialogSpec OpenDialog1;  // pictures
    UserDialogs::FileDialogSpec OpenDialog2;  // reports
    QString OpenDialog1FileName;               // the file last accepted in OpenDialog1, full path

protected:
    /// Closing the main window ends the program, even while the other windows are open.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// A new font places the fields again.
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    void buildControls();
    void buildMenus();
    /// Places each field right of its label's text, and sizes the boxes and the window to hold them.
    void arrangeFields();
    void connectControls();
    /// Command keys of the menu items, F5 and Enter in the fields for the count.
    void addShortcuts();
    void setGrid(std::uint8_t microns, const QString& caption);
    void setScale(std::uint8_t microns, const QString& caption);
    void writeSettingsAfterOpen();
    /// loadimage's work: decodes the file at the page chosen now and puts it into the layers.
    bool loadPicture(const std::filesystem::path& path, const QString& fileName);
    /// The picture open now opened again (after asking about unsaved corrections), for another page or
    /// another 16-bit mapping. False when it was not: the picture and the count stay as they were.
    bool reopenPicture();
    void chooseSampleRange(const SampleRange& range);
    /// The mapping items' check marks from the mapping chosen.
    void showSampleRange();
    /// The mapping the next 16-bit picture is loaded with: the learnt model's while it holds one,
    /// else the one chosen.
    SampleRange countingRange() const;
    /// One item per page of the picture open now, the page shown checked; off for a single page.
    void fillPageMenu();
    /// The colour panel from the three colour fields, as at start.
    void panelFromFields();

    /// A settings entry written after a choice or a count; a failure is told once a run.
    void tellSettingsError(const std::string& error);
    /// BnCountClick's count on the layers: in place, or for the count button on a worker thread into
    /// new layers that replace the old ones when it ends (for a picture just opened, into the buffers
    /// of its count and area layers). False when it was cancelled: nothing changed.
    bool countOnLayers();
    /// loadimage's decoding, on a worker thread with a busy cursor and a progress dialog with Cancel.
    DecodedPicture decodeWithProgress(const std::filesystem::path& path, PictureKind kind, const QString& name,
                                      Picture recycled);
    bool countInBackground_ = false;  // set by countWithProgress while it runs BnCountClick
    /// A reopened report's picture counted again with its restored parameters and its saved corrections
    /// made again (when its corrections file is there); the report text stays as saved unless the
    /// picture changed since.
    void restoreCountAndCorrections(const std::filesystem::path& reportPath);
    /// BnCountClick's count (countOnLayers) with its failures told: a field that cannot be used, or no
    /// memory. Corrections start anew from a count. False when it failed or was cancelled.
    bool countOrTell();
    /// Why a count with the fields as they are would be refused (a field the count or its results
    /// cannot use); empty when it can be made.
    std::string countRefusal() const;
    /// The count view after a count: its zoom, remove mode, the grid and scale bar, the count layer in
    /// front. False when an overlay could not be drawn (told once).
    bool showCountView();

    /// A field with its label, its unit label (or none) and the field's left edge in the design.
    struct FieldRow {
        QLabel* label;
        QLineEdit* field;
        QLabel* unit;
        int designLeft;
    };
    std::vector<FieldRow> fieldRows_;
    std::uint32_t panelColour_ = 0;
    std::filesystem::path settingsFile_;
    std::filesystem::path workingFolder_;
    std::filesystem::path manualFolder_;
    RecentFiles* recentFiles_ = nullptr;
    std::optional<std::vector<std::string>> pictureDamage_;
    bool layersShowCount_ = false;
    std::filesystem::path picturePath_;  // the picture open now, as loadimage found it
    bool pictureMapped_ = false;         // it had 16-bit samples
    SampleRange loadedRange_;            // the mapping it was loaded with
    std::string loadedMapping_;          // and what that mapping was on its samples (empty: 8-bit)
    SampleRange chosenRange_;            // the mapping chosen in the menu (kept in the settings file)
    int picturePages_ = 1;               // its full-resolution pages
    bool settingsErrorTold_ = false;
    std::optional<ParameterTexts> lastCountTexts_;  // the fields of the last count with a report
    // Layer buffers the windows no longer show, for the next decoding and the next count to write into:
    // a 24-megapixel layer is 72 MB, and a fresh one costs more to touch first than to fill.
    Picture spareLayer_, secondSpareLayer_;
    /// buffer becomes a spare where one is missing; otherwise, or when it is very large, it goes.
    void keepSpareLayer(Picture buffer);
};
