#include "gui/TForm1.h"
#include "core/FieldLabels.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <new>
#include <utility>

#include "core/AnalysisState.h"
#include "gui/CommandKeys.h"
#include "core/FieldText.h"
#include "gui/Forms.h"
#include "core/HelpTexts.h"
#include "core/LastParameters.h"
#include "picture/PictureLoading.h"
#include "picture/SampleRange.h"
#include "core/SettingsFile.h"
#include "detect/CountRun.h"
#include "detect/ParameterSearch.h"
#include "report/BlobReport.h"
#include "report/Pooling.h"
#include "report/Results.h"
#include "report/DensityReport.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "gui/SeriesWindow.h"
#include "gui/RecentFiles.h"
#include "gui/WindowMenu.h"
#include "view/EditsFile.h"
#include "gui/TForm3.h"
#include "detect/DensityCount.h"
#include "gui/TForm2.h"

namespace fs = std::filesystem;

namespace {

QLineEdit* addField(QWidget* parent, int left, int top, int width, const char* text, const char* hint)
{
    auto* field = new QLineEdit(QString::fromLatin1(text), parent);
    field->setGeometry(left, top, width, 21);
    field->setToolTip(QString::fromLatin1(hint));
    return field;
}

QLabel* addLabel(QWidget* parent, int left, int top, const QString& text, const char* hint = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    if (hint) label->setToolTip(QString::fromLatin1(hint));
    return label;
}

std::string fieldText(const QLineEdit* field) { return field->text().toStdString(); }

/// Gives the keys back, when it ends, to the window and field that had them when it was made: a count
/// shows the picture and report windows (and a progress dialog), and none of them may keep the keys
/// the user was typing with.
class FocusKeeper {
public:
    FocusKeeper() : window_(QApplication::activeWindow()), field_(QApplication::focusWidget()) {}
    FocusKeeper(const FocusKeeper&) = delete;
    FocusKeeper& operator=(const FocusKeeper&) = delete;
    ~FocusKeeper()
    {
        if (window_.isNull() || !window_->isVisible()) return;
        // Asked for even while it looks active: a window shown meanwhile may be activated later.
        window_->activateWindow();
        if (!field_.isNull() && field_->window() == window_) field_->setFocus(Qt::OtherFocusReason);
    }

private:
    QPointer<QWidget> window_;
    QPointer<QWidget> field_;
};

/// The settings file's key of the 16-bit mapping chosen in the window.
constexpr const char* kSampleRangeKey = "sample-range";

/// The fields' texts at start; the sample volume with the regional separator, so that it converts.
ParameterTexts defaultFieldTexts()
{
    ParameterTexts texts;
    texts.EdVol = withRegionalSeparator("0.143");
    return texts;
}

}  // namespace

TForm1::TForm1(fs::path settingsFile, QWidget* parent) : QMainWindow(parent), settingsFile_(std::move(settingsFile))
{
    workingFolder_ = fs::current_path();
    buildControls();
    buildMenus();
    connectControls();
    addShortcuts();
    FormCreate();
    recentFiles_ = new RecentFiles(settingsFile_, File1, Exit1, this);
}

void TForm1::buildControls()
{
    setWindowTitle(QStringLiteral("SpotTally"));
    move(2, 2);
    resize(290, 266);
    // 8-point "MS Sans Serif" where it exists; elsewhere the nearest sans-serif face at the same height.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    setToolTip(QStringLiteral("Click here and then on image"));

    auto* client = new QWidget(this);
    setCentralWidget(client);

    GBsize = new QGroupBox(QStringLiteral("Particle"), client);
    GBsize->setGeometry(8, 0, 137, 65);
    QLabel* minLabel = addLabel(GBsize, 6, 18, QString::fromLatin1(kMinSizeField), "object size");
    Edmin = addField(GBsize, 82, 15, 23, "5", "Object size");
    fieldRows_.push_back({minLabel, Edmin, addLabel(GBsize, 108, 18, QStringLiteral("Pixel")), 82});
    QLabel* maxLabel = addLabel(GBsize, 6, 42, QString::fromLatin1(kMaxSizeField), "object size");
    EdMax = addField(GBsize, 82, 39, 23, "8", "Object size");
    fieldRows_.push_back({maxLabel, EdMax, addLabel(GBsize, 108, 42, QStringLiteral("Pixel")), 82});

    GbParam = new QGroupBox(QStringLiteral("Calculation parameters"), client);
    GbParam->setGeometry(8, 67, 137, 102);
    QLabel* pixelsLabel = addLabel(GbParam, 6, 20, QString::fromLatin1(kPixelsPerMmField));
    Edpixmm = addField(GbParam, 86, 17, 45, "3952", "Scale");
    fieldRows_.push_back({pixelsLabel, Edpixmm, nullptr, 86});
    QLabel* filterLabel = addLabel(GbParam, 6, 44, QStringLiteral("Filter area<br> (mm<sup>2</sup>)"));
    Edfilter = addField(GbParam, 86, 45, 45, "378", "Filter area");
    fieldRows_.push_back({filterLabel, Edfilter, nullptr, 86});
    QLabel* volumeLabel = addLabel(GbParam, 6, 70, QStringLiteral("Sample <br>volume (cm<sup>3</sup>)"));
    // The default sample volume is written with the regional separator so that it always converts.
    EdVol = addField(GbParam, 86, 73, 45, withRegionalSeparator("0.143").c_str(), "Sample volume");
    fieldRows_.push_back({volumeLabel, EdVol, nullptr, 86});

    GBcolor = new QGroupBox(QStringLiteral("Colour"), client);
    GBcolor->setGeometry(151, 0, 114, 169);
    PnColor = new QFrame(GBcolor);
    PnColor->setGeometry(13, 16, 25, 61);
    PnColor->setFrameShape(QFrame::Panel);
    PnColor->setFrameShadow(QFrame::Sunken);
    PnColor->setAutoFillBackground(true);
    PnColor->setToolTip(QStringLiteral("Set colour with Ctrl + mouse-click on image"));
    auto colourLabel = [this](int top, const char* text, const char* colour) {
        QLabel* label = addLabel(GBcolor, 48, top, QString::fromLatin1(text));
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        label->setStyleSheet(QStringLiteral("color: %1").arg(QString::fromLatin1(colour)));
        return label;
    };
    QLabel* redLabel = colourLabel(19, "R", "red");
    EdR = addField(GBcolor, 62, 16, 41, "121", "Red");
    fieldRows_.push_back({redLabel, EdR, nullptr, 62});
    QLabel* greenLabel = colourLabel(41, "G", "green");
    EdG = addField(GBcolor, 62, 38, 41, "223", "Green");
    fieldRows_.push_back({greenLabel, EdG, nullptr, 62});
    QLabel* blueLabel = colourLabel(63, "B", "blue");
    EdB = addField(GBcolor, 62, 60, 41, "95", "Blue");
    fieldRows_.push_back({blueLabel, EdB, nullptr, 62});
    QLabel* deviLabel =
        addLabel(GBcolor, 6, 88, QStringLiteral("Colour <br>tolerance"), "deviation from target colour");
    EdDevi = addField(GBcolor, 72, 90, 33, "40", "Allowed colour deviation");
    fieldRows_.push_back({deviLabel, EdDevi, nullptr, 72});
    QLabel* brightLabel = addLabel(GBcolor, 6, 114, QStringLiteral("Brightness<br>tolerance"));
    Edhell = addField(GBcolor, 72, 116, 33, "50", "allowed brightness variation");
    fieldRows_.push_back({brightLabel, Edhell, nullptr, 72});
    QLabel* contrastLabel =
        addLabel(GBcolor, 6, 140, QStringLiteral("Minimum<br>contrast"), "minimum contrast");
    EdCont = addField(GBcolor, 72, 142, 33, "40", "Minimum contrast");
    fieldRows_.push_back({contrastLabel, EdCont, nullptr, 72});

    BnCount = new QPushButton(QStringLiteral("SpotTally"), client);
    BnCount->setGeometry(8, 173, 257, 25);
    QFont bold = BnCount->font();
    bold.setBold(true);
    BnCount->setFont(bold);
    BnCount->setToolTip(QStringLiteral("Start counting"));

    for (QLineEdit* field : {EdR, EdG, EdB}) field->installEventFilter(this);
    arrangeFields();

    OpenDialog1.filter = QStringLiteral("Images|") + QString::fromStdString(readablePicturePatterns()) +
                         QStringLiteral("|All files|*.*");
    OpenDialog2.filter = QStringLiteral("Count reports|c_*.txt|All files|*.*");
    OpenDialog2.defaultExtension = QStringLiteral("*.txt");
}

void TForm1::buildMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    Openimage1 = File1->addAction(QStringLiteral("&Open image"));
    Savereport1 = File1->addAction(QStringLiteral("Open &report"));
    Savereport2 = File1->addAction(QStringLiteral("&Save report"));
    Poolreports1 = File1->addAction(QStringLiteral("&Pool reports…"));
    Openseries1 = File1->addAction(QStringLiteral("Open s&eries…"));
    Recentseries1 = File1->addMenu(QStringLiteral("Recent series"));
    Exit1 = File1->addAction(QStringLiteral("E&xit"));

    Options1 = menuBar()->addMenu(QStringLiteral("&Options"));
    Nogrid1 = Options1->addMenu(QStringLiteral("Grid= 25 um"));
    um100 = Nogrid1->addAction(QStringLiteral("100 um"));
    um50 = Nogrid1->addAction(QStringLiteral("50 um"));
    um25 = Nogrid1->addAction(QStringLiteral("25 um"));
    N20um1 = Nogrid1->addAction(QStringLiteral("20 um"));
    um10 = Nogrid1->addAction(QStringLiteral("10 um"));
    um0 = Nogrid1->addAction(QStringLiteral("No grid"));
    N1001 = Options1->addMenu(QStringLiteral("Scale= 25 um"));
    scale100 = N1001->addAction(QStringLiteral("100 um"));
    N50um1 = N1001->addAction(QStringLiteral("50 um"));
    N25um1 = N1001->addAction(QStringLiteral("25 um"));
    N201 = N1001->addAction(QStringLiteral("20 um"));
    N10um1 = N1001->addAction(QStringLiteral("10 um"));
    Noscale1 = N1001->addAction(QStringLiteral("No scale"));
    Exportxyvalues1 = Options1->addMenu(QStringLiteral("Export data= Statistics"));
    Statistics1 = Exportxyvalues1->addAction(QStringLiteral("Statistics"));
    xydata1 = Exportxyvalues1->addAction(QStringLiteral("x/y data"));
    Off1 = Exportxyvalues1->addAction(QStringLiteral("Off"));
    Particletable1 = Exportxyvalues1->addAction(QStringLiteral("Particle table"));
    N16bitpictures1 = Options1->addMenu(QStringLiteral("16-bit pictures"));
    Onerange1 = N16bitpictures1->addAction(QStringLiteral("One range for all channels (keeps colours)"));
    Eachchannel1 = N16bitpictures1->addAction(QStringLiteral("Each channel stretched on its own"));
    Fullrange1 = N16bitpictures1->addAction(QStringLiteral("Full range (value / 257)"));
    for (QAction* item : {Onerange1, Eachchannel1, Fullrange1}) item->setCheckable(true);
    TIFFpage1 = Options1->addMenu(QStringLiteral("TIFF page"));
    TIFFpage1->setEnabled(false);
    Options1->addSeparator();
    Defaultparameters1 = Options1->addAction(QStringLiteral("Default parameters"));

    Window1 = makeWindowMenu(this);
    menuBar()->addMenu(Window1);
    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    INfo1 = Help1->addAction(QStringLiteral("&Info"));
    Manual1 = Help1->addAction(QStringLiteral("&Manual"));
}

void TForm1::connectControls()
{
    connect(Openimage1, &QAction::triggered, this, &TForm1::Openimage1Click);
    connect(Savereport1, &QAction::triggered, this, &TForm1::Savereport1Click);
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(um100, &QAction::triggered, this, &TForm1::um100Click);
    connect(um50, &QAction::triggered, this, &TForm1::um50Click);
    connect(um25, &QAction::triggered, this, &TForm1::um25Click);
    connect(N20um1, &QAction::triggered, this, &TForm1::N20um1Click);
    connect(um10, &QAction::triggered, this, &TForm1::um10Click);
    connect(um0, &QAction::triggered, this, &TForm1::um0Click);
    connect(scale100, &QAction::triggered, this, &TForm1::scale100Click);
    connect(N50um1, &QAction::triggered, this, &TForm1::N50um1Click);
    connect(N25um1, &QAction::triggered, this, &TForm1::N25um1Click);
    connect(N201, &QAction::triggered, this, &TForm1::N201Click);
    connect(N10um1, &QAction::triggered, this, &TForm1::N10um1Click);
    connect(Noscale1, &QAction::triggered, this, &TForm1::Noscale1Click);
    connect(Statistics1, &QAction::triggered, this, &TForm1::Statistics1Click);
    connect(xydata1, &QAction::triggered, this, &TForm1::xydata1Click);
    connect(Off1, &QAction::triggered, this, &TForm1::Off1Click);
    connect(INfo1, &QAction::triggered, this, &TForm1::INfo1Click);
    connect(Manual1, &QAction::triggered, this, &TForm1::Manual1Click);
    connect(BnCount, &QPushButton::clicked, this, &TForm1::countWithProgress);
    connect(Particletable1, &QAction::triggered, this, &TForm1::Particletable1Click);
    connect(Poolreports1, &QAction::triggered, this, &TForm1::Poolreports1Click);
    connect(Openseries1, &QAction::triggered, this, &TForm1::Openseries1Click);
    connect(Recentseries1, &QMenu::aboutToShow, this, [this] {
        Recentseries1->clear();
        for (const SeriesSource& source : readRecentSeries(settingsFile_)) {
            const QString caption = source.folder.empty()
                                        ? QStringLiteral("%1 pictures in %2")
                                              .arg(source.pictures.size())
                                              .arg(QString::fromStdString(source.pictures.front().parent_path().string()))
                                        : QString::fromStdString(source.folder.string());
            connect(Recentseries1->addAction(caption), &QAction::triggered, this,
                    [source] { seriesWindow()->openSeries(source); });
        }
        if (Recentseries1->isEmpty()) Recentseries1->addAction(QStringLiteral("(none)"))->setEnabled(false);
    });
    connect(Onerange1, &QAction::triggered, this, &TForm1::Onerange1Click);
    connect(Eachchannel1, &QAction::triggered, this, &TForm1::Eachchannel1Click);
    connect(Fullrange1, &QAction::triggered, this, &TForm1::Fullrange1Click);
    connect(Defaultparameters1, &QAction::triggered, this, &TForm1::Defaultparameters1Click);
}

void TForm1::addShortcuts()
{
    Openimage1->setShortcut(openImageKeys());
    Savereport1->setShortcut(openReportKeys());
    Savereport2->setShortcut(saveReportKeys());
    // The report window's own button saves, so the item does what the button does, and nothing while
    // the button is off (the window shows the manual or a pooled result).
    connect(Savereport2, &QAction::triggered, this, [] { Form3->BnSaverep->click(); });
    // The open menu shows whether there is something to save; closed, the item stays on, so that its key
    // reaches the button whatever the menu showed last time.
    // Count: F5 anywhere in the window (File, Count shows the key), and Enter in any parameter field.
    auto* count = new QAction(QStringLiteral("&Count"), this);
    count->setShortcut(countKeys());
    File1->insertAction(Poolreports1, count);
    connect(count, &QAction::triggered, BnCount, &QPushButton::click);
    connect(File1, &QMenu::aboutToShow, this, [this, count] {
        Savereport2->setEnabled(Form3->BnSaverep->isEnabled());
        count->setEnabled(BnCount->isEnabled());
    });
    connect(File1, &QMenu::aboutToHide, this, [this, count] {
        Savereport2->setEnabled(true);
        count->setEnabled(true);
    });
    for (const FieldRow& row : fieldRows_)
        connect(row.field, &QLineEdit::returnPressed, BnCount, &QPushButton::click);
}

void TForm1::arrangeFields()
{
    // The design's places hold for a narrow face; a wider one (another face, a larger font) moves the
    // fields right of their labels and widens the boxes and the window, so that every label shows whole.
    constexpr int kLabelGap = 4;   // between a label and its field
    constexpr int kBoxMargin = 6;  // between the contents and a group box's right edge
    constexpr int kBoxGap = 6;     // between the two columns of group boxes
    constexpr int kWindowMargin = 25;
    constexpr int kDesignLeftColumn = 137, kDesignColourWidth = 114, kDesignWindowWidth = 290;

    // Fields that share a design column in a box stay aligned.
    std::vector<std::pair<std::pair<QWidget*, int>, int>> columns;  // (box, design left) -> left
    const auto columnLeft = [&](QWidget* box, int designLeft) -> int& {
        for (auto& [key, left] : columns)
            if (key.first == box && key.second == designLeft) return left;
        columns.push_back({{box, designLeft}, designLeft});
        return columns.back().second;
    };
    for (const FieldRow& row : fieldRows_) {
        row.label->adjustSize();
        int& left = columnLeft(row.field->parentWidget(), row.designLeft);
        left = std::max(left, row.label->x() + row.label->width() + kLabelGap);
    }
    for (const FieldRow& row : fieldRows_) {
        row.field->move(columnLeft(row.field->parentWidget(), row.designLeft), row.field->y());
        if (row.unit != nullptr) {
            row.unit->adjustSize();
            row.unit->move(row.field->geometry().right() + 1 + 3, row.unit->y());
        }
    }
    const auto boxWidth = [&](QGroupBox* box, int designWidth) {
        int width = std::max(designWidth, box->minimumSizeHint().width());  // the title shows whole
        for (const QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            width = std::max(width, child->geometry().right() + 1 + kBoxMargin);
        return width;
    };
    const int leftColumn = std::max({kDesignLeftColumn, boxWidth(GBsize, 0), boxWidth(GbParam, 0)});
    GBsize->resize(leftColumn, GBsize->height());
    GbParam->resize(leftColumn, GbParam->height());
    GBcolor->setGeometry(GBsize->x() + leftColumn + kBoxGap, GBcolor->y(),
                         boxWidth(GBcolor, kDesignColourWidth), GBcolor->height());
    BnCount->resize(GBcolor->geometry().right() + 1 - BnCount->x(), BnCount->height());
    resize(std::max({width(), kDesignWindowWidth, GBcolor->geometry().right() + 1 + kWindowMargin}),
           height());
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange && GBsize != nullptr) arrangeFields();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease && (watched == EdR || watched == EdG || watched == EdB)) EdBKeyUp();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormCreate()
{
    // 1. The settings file gives both open dialogs their initial folder.
    const SettingsRead settings = readSettingsFile(settingsFile_);
    if (!settings.error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(settings.error));
    } else if (settings.exists) {
        const QString folder = QString::fromLocal8Bit(settings.firstLine);
        OpenDialog1.initialDirectory = folder;
        OpenDialog2.initialDirectory = folder;
    }
    // The fields start with the parameters of the last count, and 16-bit pictures with the mapping
    // chosen last; the page is the first until a picture of several is open.
    ParameterTexts texts = defaultFieldTexts();
    readLastParameters(settings.laterLines, texts);
    setParameterTexts(texts);
    SampleRange range;
    for (const std::string& value : settingsValues(settings.laterLines, kSampleRangeKey)) {
        SampleRange saved;
        if (parseSampleRange(value, saved) && saved.mode != SampleRange::Mode::Fixed) range = saved;
    }
    chosenRange_ = range;
    setSampleRange(range);
    showSampleRange();
    setPicturePage(0);
    // 2.
    AnalysisState.ReportActive = false;
    AnalysisState.ScaleMicrons = 25;
    AnalysisState.GridMicrons = 25;
    AnalysisState.ExportMode = kExportStatistics;
    // 3. Enabled once a picture is loaded.
    BnCount->setEnabled(false);
    // 4.
    AnalysisState.AddMode = true;
    // 5.
    panelFromFields();
    // 6. Qt widgets are double-buffered already.
}

void TForm1::panelFromFields()
{
    // Read in the order blue, green, red.
    const auto blue = parseWholeNumber(fieldText(EdB)).value_or(0);
    const auto green = parseWholeNumber(fieldText(EdG)).value_or(0);
    const auto red = parseWholeNumber(fieldText(EdR)).value_or(0);
    setPnColorColour(static_cast<std::uint32_t>((blue << 16) + (green << 8) + red));
}

void TForm1::Defaultparameters1Click()
{
    // The settings file keeps the parameters of the last count until a later count replaces them.
    setParameterTexts(defaultFieldTexts());
    panelFromFields();
}

void TForm1::saveLastParameters()
{
    if (lastCountTexts_)
        tellSettingsError(writeSettingsEntries(settingsFile_, lastParameterEntries(*lastCountTexts_)));
}

void TForm1::tellSettingsError(const std::string& error)
{
    if (error.empty() || settingsErrorTold_) return;
    settingsErrorTold_ = true;
    dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error));
}

void TForm1::Onerange1Click() { chooseSampleRange(SampleRange{}); }
void TForm1::Eachchannel1Click() { chooseSampleRange(SampleRange{SampleRange::Mode::PerChannel, 0, 65535}); }
void TForm1::Fullrange1Click() { chooseSampleRange(SampleRange{SampleRange::Mode::Full, 0, 65535}); }

void TForm1::chooseSampleRange(const SampleRange& range)
{
    const SampleRange before = chosenRange_;
    chosenRange_ = range;
    // The picture on screen shows the new mapping at once; kept when the user would rather keep it. A
    // learnt model's mapping stays in use while the model is held.
    if (pictureMapped_ && !(loadedRange_ == countingRange()) && !reopenPicture()) chosenRange_ = before;
    setSampleRange(countingRange());
    showSampleRange();
    tellSettingsError(writeSettingsValues(settingsFile_, kSampleRangeKey, {sampleRangeText(chosenRange_)}));
}

std::optional<SampleRange> TForm1::taughtSampleRange() const
{
    if (!pictureMapped_) return std::nullopt;
    if (loadedRange_.mode == SampleRange::Mode::Auto) {
        if (std::optional<SampleRange> fixed = fixedRangeOfMapping(loadedMapping_)) return fixed;
    }
    return loadedRange_;
}

SampleRange TForm1::countingRange() const
{
    const std::optional<DensityModel>& model = Form2->densityModel();
    return countingSampleRange(model ? &*model : nullptr, chosenRange_);
}

void TForm1::showSampleRange()
{
    const SampleRange::Mode mode = chosenRange_.mode;
    Onerange1->setChecked(mode == SampleRange::Mode::Auto);
    Eachchannel1->setChecked(mode == SampleRange::Mode::PerChannel);
    Fullrange1->setChecked(mode == SampleRange::Mode::Full);
}

void TForm1::choosePage(int page)
{
    const int before = picturePage();
    setPicturePage(page);
    if (!reopenPicture()) setPicturePage(before);
    fillPageMenu();
}

void TForm1::fillPageMenu()
{
    TIFFpage1->clear();
    TIFFpage1->setEnabled(picturePages_ > 1);
    if (picturePages_ <= 1) return;
    const int shown = std::max(1, picturePage());
    for (int page = 1; page <= picturePages_; ++page) {
        QAction* item = TIFFpage1->addAction(QStringLiteral("Page %1").arg(page));
        item->setCheckable(true);
        item->setChecked(page == shown);
        connect(item, &QAction::triggered, this, [this, page] { choosePage(page); });
    }
}

bool TForm1::reopenPicture()
{
    if (picturePath_.empty() || !mayDropCorrections()) return false;
    return loadimage(QString::fromStdString(picturePath_.string()));
}

ParameterTexts TForm1::parameterTexts() const
{
    ParameterTexts texts;
    texts.Edmin = fieldText(Edmin);
    texts.EdMax = fieldText(EdMax);
    texts.Edpixmm = fieldText(Edpixmm);
    texts.Edfilter = fieldText(Edfilter);
    texts.EdVol = fieldText(EdVol);
    texts.EdR = fieldText(EdR);
    texts.EdG = fieldText(EdG);
    texts.EdB = fieldText(EdB);
    texts.EdDevi = fieldText(EdDevi);
    texts.Edhell = fieldText(Edhell);
    texts.EdCont = fieldText(EdCont);
    return texts;
}

void TForm1::setParameterTexts(const ParameterTexts& texts)
{
    const auto set = [](QLineEdit* field, const std::string& text) { field->setText(QString::fromStdString(text)); };
    set(Edmin, texts.Edmin);
    set(EdMax, texts.EdMax);
    set(Edpixmm, texts.Edpixmm);
    set(Edfilter, texts.Edfilter);
    set(EdVol, texts.EdVol);
    set(EdR, texts.EdR);
    set(EdG, texts.EdG);
    set(EdB, texts.EdB);
    set(EdDevi, texts.EdDevi);
    set(Edhell, texts.Edhell);
    set(EdCont, texts.EdCont);
}

void TForm1::setLearntParameters(const CountParams& learnt)
{
    ParameterTexts texts = parameterTexts();
    writeLearntTexts(learnt, texts);
    setParameterTexts(texts);
    setPnColorColour(learnt.targetColour);
}

void TForm1::setTargetColour(std::uint32_t colour)
{
    setPnColorColour(colour);
    // Set as texts: the fields' key handler does not run, the panel already shows the colour.
    EdB->setText(QString::number(colourBlue(colour)));
    EdG->setText(QString::number(colourGreen(colour)));
    EdR->setText(QString::number(colourRed(colour)));
}

void TForm1::setPnColorColour(std::uint32_t colour)
{
    panelColour_ = colour;
    QPalette palette = PnColor->palette();
    palette.setColor(QPalette::Window, QColor(colourRed(colour), colourGreen(colour), colourBlue(colour)));
    PnColor->setPalette(palette);
}

void TForm1::EdBKeyUp()
{
    // Deliberate: any text that sorts before "0" byte by byte (empty, or starting with a blank, a sign
    // or a point) leaves the panel as it is, without a message.
    const std::string texts[3] = {fieldText(EdR), fieldText(EdG), fieldText(EdB)};
    for (const std::string& text : texts)
        if (text < "0") return;
    try {
        const auto red = readWholeField(kRedField, texts[0], INT32_MIN, INT32_MAX);
        const auto green = readWholeField(kGreenField, texts[1], INT32_MIN, INT32_MAX);
        const auto blue = readWholeField(kBlueField, texts[2], INT32_MIN, INT32_MAX);
        // No range check: 300 red is red 44 and green 1, as the sum says.
        setPnColorColour(static_cast<std::uint32_t>(red + 256 * green + 65536 * blue));
    } catch (const FieldError& error) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error.message));
    }
}

void TForm1::setGrid(std::uint8_t microns, const QString& caption)
{
    AnalysisState.GridMicrons = microns;
    Nogrid1->setTitle(caption);
    Form2->Showgrid();  // the grid on screen is the one the statistics count in
}

void TForm1::um100Click() { setGrid(100, QStringLiteral("Grid= 100 um")); }
void TForm1::um50Click() { setGrid(50, QStringLiteral("Grid= 50 um")); }
void TForm1::um25Click() { setGrid(25, QStringLiteral("Grid= 25 um")); }
void TForm1::N20um1Click() { setGrid(20, QStringLiteral("Grid= 20 um")); }
void TForm1::um10Click() { setGrid(10, QStringLiteral("Grid= 10 um")); }
void TForm1::um0Click() { setGrid(0, QStringLiteral("Grid= Off")); }

void TForm1::setScale(std::uint8_t microns, const QString& caption)
{
    AnalysisState.ScaleMicrons = microns;
    N1001->setTitle(caption);
    Form2->Showscale();
}

void TForm1::scale100Click() { setScale(100, QStringLiteral("Scale= 100 um")); }
void TForm1::N50um1Click() { setScale(50, QStringLiteral("Scale= 50 um")); }
void TForm1::N25um1Click() { setScale(25, QStringLiteral("Scale= 25 um")); }
void TForm1::N201Click() { setScale(20, QStringLiteral("Scale= 20 um")); }
void TForm1::N10um1Click() { setScale(10, QStringLiteral("&Scale= 10 um")); }
void TForm1::Noscale1Click() { setScale(0, QStringLiteral("No scale")); }

void TForm1::Statistics1Click()
{
    AnalysisState.ExportMode = kExportStatistics;
    Exportxyvalues1->setTitle(QStringLiteral("Export data= Statistics"));
    Form3->setExportCaption(QStringLiteral("Statistics"));
}

void TForm1::xydata1Click()
{
    AnalysisState.ExportMode = kExportXY;
    Exportxyvalues1->setTitle(QStringLiteral("&Export= x/y data"));
    Form3->setExportCaption(QStringLiteral("Export x/y data"));
}

void TForm1::Off1Click()
{
    AnalysisState.ExportMode = kExportOff;
    Exportxyvalues1->setTitle(QStringLiteral("Export data= Off"));
}

void TForm1::Particletable1Click()
{
    AnalysisState.ExportMode = kExportParticles;
    Exportxyvalues1->setTitle(QStringLiteral("&Export= particle table"));
    Form3->setExportCaption(QStringLiteral("Export particle table"));
}

void TForm1::Poolreports1Click()
{
    // The pooled result takes the report window's text: a report not yet saved would be lost.
    if (AnalysisState.ReportActive && Form3->windowTitle() == QString::fromUtf8(kReportCaptionUnsaved)) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromUtf8(kPoolUnsavedReportWarning));
        return;
    }
    UserDialogs::FileDialogSpec request = OpenDialog2;
    request.title = QStringLiteral("Pool reports of one filter");
    const QStringList chosen = dialogs().openFiles(request);
    if (chosen.isEmpty()) return;
    std::vector<fs::path> reports;
    for (const QString& report : chosen) reports.emplace_back(report.toStdString());
    const PoolReading reading = readPoolFields(reports);
    for (const std::string& error : reading.errors)
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error));
    if (!reading.errors.empty()) return;
    const std::vector<PoolField>& fields = reading.fields;
    const PooledResult result = poolFields(fields);
    if (!result.error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(result.error));
        return;
    }
    const std::vector<std::string> lines = pooledLines(fields, result);
    QStringList shown;
    for (const std::string& line : lines) shown << QString::fromStdString(line);
    Form3->showPooledResult(shown);
    // Saved beside the reports, under a name the user confirms (a save dialog asks before replacing).
    UserDialogs::FileDialogSpec save;
    save.title = QStringLiteral("Save pooled result");
    save.initialDirectory = QFileInfo(chosen.constFirst()).absolutePath();
    save.filter = QStringLiteral("Pooled results|pooled*.txt|All files|*.*");
    save.defaultExtension = QStringLiteral("*.txt");
    save.fileName = QStringLiteral("pooled.txt");
    const QString target = dialogs().saveFile(save);
    if (target.isEmpty()) return;
    const FileSaveOutcome saved = writeReportFile(fs::path(target.toStdString()), lines);
    if (!saved.saved())
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(saved.error));
}

void TForm1::Openseries1Click()
{
    UserDialogs::FileDialogSpec request = OpenDialog1;
    request.title = QStringLiteral("Open series: the pictures of one filter (one picture: its whole folder)");
    const QStringList chosen = dialogs().openFiles(request);
    if (chosen.isEmpty()) return;
    SeriesSource source;
    if (chosen.size() == 1) {
        source.folder = QFileInfo(chosen.constFirst()).absolutePath().toStdString();
    } else {
        for (const QString& picture : chosen) source.pictures.emplace_back(picture.toStdString());
    }
    seriesWindow()->openSeries(source);
}

void TForm1::Exit1Click() { close(); }

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!mayDropCorrections()) {
        event->ignore();
        return;
    }
    saveLastParameters();
    QMainWindow::closeEvent(event);
    QApplication::quit();
}

void TForm1::Openimage1Click()
{
    OpenDialog1.title = QStringLiteral("Open image");
    const QString chosen = dialogs().openFile(OpenDialog1);
    if (chosen.isEmpty()) {
        writeSettingsAfterOpen();  // a cancelled dialog records the last folder again
        return;
    }
    openChosenPicture(chosen);
}

bool TForm1::mayDropCorrections()
{
    if (!Form2->hasUnsavedCorrections()) return true;
    const QString text =
        QStringLiteral("The count of %1 has corrections made by hand that are not saved.\n"
                       "Save the report with its corrections first?")
            .arg(QString::fromStdString(AnalysisState.ImageFileName));
    switch (dialogs().askSaveDiscardCancel(text)) {
    case UserDialogs::SaveChoice::Save: return Form3->saveReport();
    case UserDialogs::SaveChoice::Discard: return true;
    case UserDialogs::SaveChoice::Cancel: break;
    }
    return false;
}

bool TForm1::openChosenPicture(const QString& fileName)
{
    if (!mayDropCorrections()) return false;
    fs::path path(fileName.toStdString());
    if (path.is_relative()) path = workingFolder_ / path;
    const QString fullName = QString::fromStdString(path.string());
    // Deliberate: the folder moves only with a picture that loaded. A refused file leaves the previous
    // picture, and its report and marked picture still belong beside it.
    if (!loadimage(fullName)) return false;
    OpenDialog1FileName = fullName;
    workingFolder_ = path.parent_path();
    OpenDialog1.initialDirectory = QString::fromStdString(workingFolder_.string());
    writeSettingsAfterOpen();
    recentFiles_->rememberPicture(fullName);
    return true;
}

void TForm1::writeSettingsAfterOpen()
{
    // The directory part of the dialog's file name, with its trailing separator; empty before any choice.
    QString folder;
    if (!OpenDialog1FileName.isEmpty()) folder = QFileInfo(OpenDialog1FileName).absolutePath() + QLatin1Char('/');
    // The report window serves as the line buffer: it is shown, holds the line while it is written, and
    // is emptied and hidden afterwards. A failed write leaves it showing the line.
    Form3->holdScratchLine(folder);
    const std::string error = writeSettingsFile(settingsFile_, folder.toLocal8Bit().toStdString());
    if (!error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(error));
        return;
    }
    Form3->releaseScratchLine();
}

bool TForm1::loadimage(const QString& fileName)
{
    fs::path path(fileName.toStdString());
    if (path.is_relative()) path = workingFolder_ / path;
    // A page chosen belongs to its file: another file starts at its first page.
    const int pageBefore = picturePage();
    if (path != picturePath_) setPicturePage(0);
    if (!loadPicture(path, fileName)) {
        setPicturePage(pageBefore);
        return false;
    }
    picturePath_ = path;
    fillPageMenu();
    return true;
}

bool TForm1::loadPicture(const fs::path& path, const QString& fileName)
{
    const std::string name = fileName.toStdString();
    const PictureKind kind = pictureKindForName(name);
    if (kind == PictureKind::None) {
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("Cannot open the picture %1:\n%2")
                              .arg(fileName, QString::fromUtf8(kUnreadablePictureKindReason)));
        return false;
    }
    const auto noMemory = [&] {
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("Cannot open the picture %1:\nthere is not enough memory for it.").arg(fileName));
        return false;
    };
    const SampleRange range = countingRange();
    setSampleRange(range);
    DecodedPicture decoded;
    try {
        decoded = decodeWithProgress(path, kind, fileName, std::move(spareLayer_));
    } catch (const std::bad_alloc&) {
        return noMemory();
    }
    if (decoded.cancelled) return false;  // the picture already open stays, and nothing is said
    for (const std::string& message : decoded.messages)
        dialogs().message(UserDialogs::MessageKind::Plain, QString::fromStdString(message));
    if (decoded.failed()) {
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("Cannot open the picture %1:\n%2")
                              .arg(fileName, QString::fromStdString(decoded.error)));
        return false;
    }
    if (kind == PictureKind::Tiff || !decoded.picture.empty()) {
        Layers& layers = Form2->layers();
        // The new picture's count and area layers go into the old ones' buffers. A buffer too small
        // is replaced by a new one, had before anything is replaced: without memory for it, the window
        // keeps the picture it has.
        const int width = decoded.picture.width(), height = decoded.picture.height();
        const std::size_t bytes = decoded.picture.byteCount();
        Picture image2, image3;
        try {
            if (layers.Image2.capacity() < bytes) image2.resizeForOverwrite(width, height);
            if (layers.Image3.capacity() < bytes) image3.resizeForOverwrite(width, height);
        } catch (const std::bad_alloc&) {
            return noMemory();
        }
        if (!image2.empty()) layers.Image2 = std::move(image2);
        if (!image3.empty()) layers.Image3 = std::move(image3);
        layers.Image2.resizeForOverwrite(width, height);  // made from the new original next
        layers.Image3.resizeForOverwrite(width, height);
        std::swap(layers.Image1, decoded.picture);
        // The old original takes the next decoding (or a count).
        keepSpareLayer(std::move(decoded.picture));
    }
    pictureMapped_ = !decoded.mapping.empty();
    loadedRange_ = range;
    loadedMapping_ = decoded.mapping;
    picturePages_ = decoded.pages;
    try {
        QStringList notes;
        if (decoded.pages > 1) notes << QStringLiteral("page %1 of %2").arg(std::max(1, picturePage())).arg(decoded.pages);
        if (!decoded.mapping.empty()) notes << QString::fromStdString(decoded.mapping);
        newpictureparams(QString::fromStdString(namePart(name)), notes.join(QStringLiteral("; ")));
        // A damaged picture is counted as it was decoded; its reports say so.
        if (decoded.damaged) pictureDamage_ = decoded.messages;
        Form2->pictureOpened(path.parent_path() / marksFileName(namePart(name)));
    } catch (const std::bad_alloc&) {
        return noMemory();
    }
    return true;
}

void TForm1::keepSpareLayer(Picture buffer)
{
    // Kept for pictures of a usual size; the buffers of a very large one are given back at once.
    constexpr std::size_t kLargestSpareLayer = std::size_t{256} << 20;
    if (buffer.empty() || buffer.byteCount() > kLargestSpareLayer) return;
    if (spareLayer_.empty())
        spareLayer_ = std::move(buffer);
    else if (secondSpareLayer_.empty())
        secondSpareLayer_ = std::move(buffer);
}

void TForm1::newpictureparams(const QString& name, const QString& pictureNote)
{
    Form2->originalReplaced();   // the old picture's selection and its band go
    Form2->particles().clear();  // so do the particles of its count
    Form3->clearResults();       // and the results
    layersShowCount_ = false;
    pictureDamage_.reset();  // a damaged one is marked again by loadimage
    AnalysisState.ZoomPercent = 100;
    AnalysisState.ImageFileName = name.toStdString();
    Form2->setWindowTitle(QStringLiteral("SpotTally: ") + name +
                          (pictureNote.isEmpty() ? QString() : QStringLiteral(" (") + pictureNote + QStringLiteral(")")));
    AnalysisState.ReportActive = true;
    Form2->show();
    const Picture& original = std::as_const(*Form2).layers().Image1;
    AnalysisState.ImageWidth = original.width();
    AnalysisState.ImageHeight = original.height();
    Form2->makeNewPictureLayers();
    AnalysisState.ViewMode = kViewOriginal;
    Form2->zoomForNewPicture();  // fitted or at 100 %; mouse positions map onto the picture at once
    Form2->Toggleview();
    Form2->refreshLayers();
    BnCount->setEnabled(true);
}

// "Open report": the saved report back into the window, its picture reloaded and its parameters restored.
void TForm1::Savereport1Click()
{
    OpenDialog2.title = QStringLiteral("Open report");
    const QString chosen = dialogs().openFile(OpenDialog2);
    if (chosen.isEmpty()) return;
    openChosenReport(chosen);
}

bool TForm1::openChosenReport(const QString& fileName)
{
    if (!mayDropCorrections()) return false;
    const QFileInfo info(fileName);
    workingFolder_ = info.absolutePath().toStdString();  // the report's picture is looked for beside it
    OpenDialog2.initialDirectory = info.absolutePath();
    const ReportReading reading = readReportFile(info.absoluteFilePath().toStdString());
    if (!reading.error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(reading.error));
        return false;
    }
    // The whole text first (the change rule runs), whatever follows.
    QStringList lines;
    for (const std::string& line : reading.lines) lines << QString::fromStdString(line);
    Form3->setReportText(lines);
    // The picture before the fields; a missing one is silently left out. Only the name part counts:
    // a report never sends the program to another folder.
    bool pictureLoaded = false;
    if (reading.pictureName) {
        const std::string picture = namePart(*reading.pictureName);
        std::error_code ignored;
        if (!picture.empty() && fs::is_regular_file(workingFolder_ / picture, ignored)) {
            if (!loadimage(QString::fromStdString(picture)))
                return false;  // the loader has told why; the fields keep their texts
            pictureLoaded = true;
            Form3->setReportText(lines);  // the new picture emptied the window: this report is its own
        }
    }
    // Lines 4 to 12 into the fields; after a colour that cannot be used, the later fields keep theirs.
    ParameterTexts fields = parameterTexts();
    const ReportFieldsOutcome outcome = applyReportFields(reading, fields);
    setParameterTexts(fields);
    if (reading.panelColour) setPnColorColour(*reading.panelColour);
    for (const std::string& message : outcome.messages)
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(message));
    if (!outcome.complete) return false;
    // Blob settings saved after the report's own lines come back with it, for the picture they were
    // learnt on.
    if (pictureLoaded) {
        std::string problem;
        const std::optional<BlobSettings> blobs = readBlobSettings(reading.lines, problem);
        if (!problem.empty())
            dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(problem));
        Form2->restoreBlobSettings(blobs);
        Form2->restoreDensityModel(info.absoluteFilePath().toStdString(), hasLearntModelLine(reading.lines));
        // A model taught on 16-bit pictures counts them as they were mapped then: its own picture too.
        if (pictureMapped_ && !(loadedRange_ == countingRange())) {
            if (!loadimage(QString::fromStdString(namePart(*reading.pictureName)))) return false;
            Form3->setReportText(lines);
        }
    }
    // Only a report opened with its own picture holds that picture's results: another picture's report
    // can be read, but not saved under the name of the picture still loaded.
    Form3->showOpenedReport(pictureLoaded);
    if (pictureLoaded) restoreCountAndCorrections(info.absoluteFilePath().toStdString());
    recentFiles_->rememberReport(info.absoluteFilePath());
    return true;
}

void TForm1::restoreCountAndCorrections(const fs::path& reportPath)
{
    const fs::path editsPath = reportPath.parent_path() / editsFileName(reportPath.filename().string());
    std::error_code ignored;
    if (!fs::exists(editsPath, ignored)) {
        Form3->continueOpenedReport(reportPath);
        return;
    }
    // Corrections belong to the count they were saved with: the report's count lines must be what they
    // make of their count. A report written since by another count (the counter, or a save of a count
    // without them) keeps its own lines, and the corrections file is left for the user.
    const EditsReading edits = readEditsFile(editsPath);
    if (edits.error.empty()) {
        const CorrectionsTally tally = tallyCorrections(edits.content);
        if (!reportShowsCount(Form3->reportFileLines(), tally.autoCount, tally.removed, tally.added)) {
            dialogs().message(
                UserDialogs::MessageKind::Warning,
                QStringLiteral(
                    "The corrections in %1 belong to another count of %2 than its report %3: they "
                    "give %4 particles with %5 / %6 removed / added by hand, the report says otherwise. "
                    "They were not made again; %1 is left as it is.")
                    .arg(QString::fromStdString(editsPath.filename().string()),
                         QString::fromStdString(AnalysisState.ImageFileName),
                         QString::fromStdString(reportPath.filename().string()))
                    .arg(tally.autoCount)
                    .arg(tally.removed)
                    .arg(tally.added));
            return;
        }
    }
    if (!countOrTell()) return;
    showCountView();  // a scale that cannot be used is told once, by the first overlay that reads it
    if (!Form2->restoreCorrections(reportPath)) {
        // The result lines show what was kept, and the report differs from its file.
        Form3->calcres();
        Form2->markCorrectionsSaved();
        return;
    }
    Form3->continueOpenedReport(reportPath);
}

std::string TForm1::countRefusal() const
{
    // The count's own fields, then those of its results, read as the report reads them ("Pixels / mm",
    // which the overlays read too, among them).
    const ParameterTexts texts = parameterTexts();
    try {
        readCountParams(texts, panelColour_);
        TAnalysisState trial;
        trial.ImageWidth = AnalysisState.ImageWidth;
        trial.ImageHeight = AnalysisState.ImageHeight;
        trial.AutoCount = AnalysisState.AutoCount;
        computeResults(texts, trial);
    } catch (const FieldError& error) {
        return error.message;
    }
    return {};
}

bool TForm1::countOrTell()
{
    // A count the fields refuse changes nothing: the rings, the record and the report stay those of the
    // earlier count, so that the report always tells what the layers show.
    if (const std::string refusal = countRefusal(); !refusal.empty()) {
        QString text = QString::fromStdString(refusal);
        if (Form3->holdsCurrentResults())
            text += QStringLiteral(
                "\nNothing was counted: the picture and its report still show the earlier count, "
                "and saving saves that count.");
        dialogs().message(UserDialogs::MessageKind::Warning, text);
        return false;
    }
    const auto failed = [&](const QString& why) {
        // The layers were reset before the count stopped: the results shown go with the rings.
        Form2->countReplaced();
        Form2->refreshLayers();
        layersShowCount_ = false;
        Form3->clearResults();
        dialogs().message(UserDialogs::MessageKind::Warning, why);
        return false;
    };
    try {
        if (!countOnLayers())
            return false;  // cancelled: the layers, the record and the report are as they were
    } catch (const FieldError& error) {
        return failed(QString::fromStdString(error.message));
    } catch (const std::bad_alloc&) {
        return failed(QStringLiteral("Cannot count the picture: there is not enough memory for the count."));
    }
    Form2->countReplaced();  // corrections start anew from this count
    layersShowCount_ = true;
    return true;
}

bool TForm1::showCountView()
{
    Form2->malgrossklein(AnalysisState.ZoomPercent);
    AnalysisState.AddMode = true;
    Form2->Orig1Click();  // leaves the count in remove mode, with its caption
    AnalysisState.ReportActive = true;
    // The grid, the scale bar and the results all read "Pixels / mm": the first that cannot use it
    // says why, once, and the finishing steps stop there. The count itself is shown in any case.
    const bool overlaysDrawn = Form2->Showgrid() && Form2->Showscale();
    AnalysisState.ViewMode = kViewCount;
    Form2->Toggleview();
    Form2->refreshLayers();
    return overlaysDrawn;
}

void TForm1::BnCountClick()
{
    // The count runs on the layers in the core; this handler reads the fields and shows the outcome.
    const FocusKeeper keys;  // the keys stay where the user was
    if (!mayDropCorrections()) return;  // a new count starts without the corrections made by hand
    Form2->show();
    if (!countOrTell()) return;
    // The fields were checked before the count: an overlay that cannot be drawn (a grid finer than a
    // pixel) has said why, and the report of the count shown is written all the same.
    showCountView();
    Form3->enableSaving(exportEnabledAfterCount(AnalysisState));
    // A count whose report could be written: the next start begins with its parameters.
    if (Form3->report()) lastCountTexts_ = parameterTexts();
}

void TForm1::INfo1Click()
{
    dialogs().message(UserDialogs::MessageKind::Information, QString::fromStdString(infoText()));
}

void TForm1::Manual1Click()
{
    if (!mayDropCorrections()) return;
    const fs::path manual = findManualFile(
        manualFolder_.empty() ? fs::path(QCoreApplication::applicationDirPath().toStdString()) : manualFolder_,
        manualFolder_.empty() ? fs::path(SPOTTALLY_DATA_DIR) : fs::path());
    if (manual.empty()) {
        dialogs().message(UserDialogs::MessageKind::Information, QString::fromStdString(manualNotFoundText()));
        return;
    }
    QFile file(QString::fromStdString(manual.string()));
    if (!file.open(QIODevice::ReadOnly)) {
        Form3->showManual(QString());  // the window is shown empty, then the reason
        Form2->markCorrectionsSaved();
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("Cannot read the manual %1: %2").arg(file.fileName(), file.errorString()));
        return;
    }
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    Form3->showManual(text);
    AnalysisState.ReportActive = false;
    Form2->markCorrectionsSaved();  // kept or given up: the report they belonged to has left the window
}
