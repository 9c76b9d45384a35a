#include "gui/SeriesWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/AnalysisState.h"
#include "gui/CommandKeys.h"
#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"
#include "gui/UserDialogs.h"
#include "report/BlobReport.h"
#include "report/DensityReport.h"
#include "report/ParticleTable.h"
#include "report/ReportFile.h"
#include "report/SeriesPlots.h"

namespace fs = std::filesystem;

namespace {

SeriesWindow* theSeriesWindow = nullptr;

enum Column { kPictureColumn, kSizeColumn, kSpecifiedColumn, kBlobColumn, kLearntColumn, kRemovedColumn,
              kAddedColumn, kStateColumn, kColumns };

constexpr int kPlotWidth = 560, kPlotHeight = 300;
constexpr std::uint32_t kSpecifiedColour = 0x3060C0, kBlobColour = 0x40A050, kLearntColour = 0xD08030,
                        kExpectedColour = 0xC03020;

template <typename Number>
QString optionalText(const std::optional<Number>& value)
{
    return value ? QString::number(*value) : QString();
}

std::string binLabel(double low, double high)
{
    const auto shown = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, std::fabs(v) >= 100 ? "%.0f" : "%.3g", v);
        return std::string(text);
    };
    return shown(low) + "-" + shown(high);
}

PlotData sizePlot(const SizeHistogram& histogram, const std::string& title)
{
    PlotData data;
    data.title = title;
    data.xLabel = std::string("particle area (") + areaUnitLabel(histogram.unit) + ")";
    data.yLabel = "particles";
    PlotBars bars{"particles", kSpecifiedColour, {}};
    for (const HistogramBin& bin : histogram.bins) {
        data.categories.push_back(binLabel(bin.low, bin.high));
        bars.values.push_back(static_cast<double>(bin.count));
    }
    data.bars.push_back(std::move(bars));
    return data;
}

/// Areas in µm² where the tables give them (a scale was known), else in pixels (read only then).
template <typename PixelAreas>
SizeHistogram histogramOf(const std::vector<double>& squareMicrons, const PixelAreas& pixels)
{
    const bool scaled = std::any_of(squareMicrons.begin(), squareMicrons.end(), [](double a) { return a > 0; });
    return scaled ? sizeHistogram(squareMicrons, AreaUnit::SquareMicrons) : sizeHistogram(pixels(), AreaUnit::Pixels);
}

}  // namespace

SeriesWindow* seriesWindow()
{
    if (theSeriesWindow == nullptr) theSeriesWindow = new SeriesWindow();
    return theSeriesWindow;
}

SeriesWindow* seriesWindowIfOpen() { return theSeriesWindow; }

void destroySeriesWindow()
{
    delete theSeriesWindow;
    theSeriesWindow = nullptr;
}

SeriesWindow::SeriesWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Series"));
    buildControls();
    addCommandKeys(this);
    resize(760, 640);
    // Page Up and Page Down walk through the fields from the picture window too, while this window is.
    if (Form2 != nullptr)
        for (const auto& [key, step] : {std::pair{Qt::Key_PageUp, -1}, std::pair{Qt::Key_PageDown, 1}}) {
            auto* shortcut = new QShortcut(QKeySequence(key), Form2);
            connect(shortcut, &QShortcut::activated, this, [this, step = step] { walk(step); });
            walkKeys_.push_back(shortcut);
        }
}

SeriesWindow::~SeriesWindow()
{
    for (const QPointer<QShortcut>& shortcut : walkKeys_) delete shortcut.data();
}

void SeriesWindow::buildControls()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("&Export table…")), &QAction::triggered, this, &SeriesWindow::ExporttableClick);
    connect(file->addAction(QStringLiteral("Save &pooled report")), &QAction::triggered, this, &SeriesWindow::SavepooledClick);
    connect(file->addAction(QStringLiteral("&Close")), &QAction::triggered, this, &QWidget::close);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    Table = new QTableWidget(0, kColumns, central);
    Table->setHorizontalHeaderLabels({QStringLiteral("Picture"), QStringLiteral("Size"), QStringLiteral("Specified"),
                                      QStringLiteral("Blob"), QStringLiteral("Learnt"), QStringLiteral("Removed"),
                                      QStringLiteral("Added"), QStringLiteral("State")});
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->verticalHeader()->setVisible(false);
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->installEventFilter(this);
    connect(Table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { openRow(row); });
    connect(Table, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
        if (row != previous && plotKind_ == PlotKind::PictureSizes) showPlot(plotKind_);
    });
    layout->addWidget(Table, 3);

    auto* countRow = new QHBoxLayout();
    BnCountall = new QPushButton(QStringLiteral("Count all"), central);
    BnCancel = new QPushButton(QStringLiteral("Cancel"), central);
    BnCancel->setEnabled(false);
    CountSavedToo = new QCheckBox(QStringLiteral("Count saved ones again"), central);
    Progress = new QProgressBar(central);
    Progress->setRange(0, 1);
    Progress->setValue(0);
    connect(BnCountall, &QPushButton::clicked, this, &SeriesWindow::BnCountallClick);
    connect(BnCancel, &QPushButton::clicked, this, &SeriesWindow::BnCancelClick);
    countRow->addWidget(BnCountall);
    countRow->addWidget(CountSavedToo);
    countRow->addWidget(Progress, 1);
    countRow->addWidget(BnCancel);
    layout->addLayout(countRow);

    PooledLine = new QLabel(central);
    PooledLine->setWordWrap(true);
    PooledLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(PooledLine);

    auto* plotRow = new QHBoxLayout();
    PlotChoice = new QComboBox(central);
    PlotChoice->addItems({QStringLiteral("Particle sizes of the picture"), QStringLiteral("Particle sizes of the series"),
                          QStringLiteral("Field counts and random scatter"), QStringLiteral("Counts per picture")});
    PlotChoice->setCurrentIndex(static_cast<int>(plotKind_));
    connect(PlotChoice, &QComboBox::currentIndexChanged, this, [this](int index) { showPlot(static_cast<PlotKind>(index)); });
    BnSaveplot = new QPushButton(QStringLiteral("Save plot…"), central);
    connect(BnSaveplot, &QPushButton::clicked, this, &SeriesWindow::SaveplotClick);
    plotRow->addWidget(PlotChoice, 1);
    plotRow->addWidget(BnSaveplot);
    layout->addLayout(plotRow);
    PlotView = new QLabel(central);
    PlotView->setAlignment(Qt::AlignCenter);
    PlotView->setMinimumSize(kPlotWidth / 2, kPlotHeight / 2);
    layout->addWidget(PlotView, 2);
    setCentralWidget(central);
}

bool SeriesWindow::openSeries(const SeriesSource& source)
{
    // Count all works through the rows of the series open now.
    if (countingAll()) {
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("Count all is still counting this series: cancel it or let it end first."));
        return false;
    }
    Series opened = source.folder.empty() ? Series::openPictures(source.pictures) : Series::openFolder(source.folder);
    if (!opened.error().empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(opened.error()));
        return false;
    }
    series_ = std::move(opened);
    setWindowTitle(QStringLiteral("Series ") + QString::fromStdString(series_.folder().string()));
    showAll();
    if (Table->rowCount() > 0) Table->setCurrentCell(0, 0);
    if (Form1 != nullptr) {
        const std::string problem = rememberRecentSeries(Form1->settingsFile(), source);
        if (!problem.empty()) dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(problem));
    }
    show();
    raise();
    return true;
}

void SeriesWindow::showAll()
{
    Table->setRowCount(static_cast<int>(series_.size()));
    for (std::size_t i = 0; i < series_.size(); ++i) {
        for (int column = 0; column < kColumns; ++column)
            if (Table->item(static_cast<int>(i), column) == nullptr)
                Table->setItem(static_cast<int>(i), column, new QTableWidgetItem());
        showRow(static_cast<int>(i));
    }
    Table->resizeColumnsToContents();
    showPooled();
    showPlot(plotKind_);
}

void SeriesWindow::showRow(int index)
{
    const SeriesRow& row = series_.row(static_cast<std::size_t>(index));
    const auto set = [&](int column, const QString& text) { Table->item(index, column)->setText(text); };
    set(kPictureColumn, QString::fromStdString(row.name));
    set(kSizeColumn, row.width > 0 ? QStringLiteral("%1 x %2").arg(row.width).arg(row.height) : QString());
    set(kSpecifiedColumn, optionalText(row.count));
    set(kBlobColumn, optionalText(row.blobCount));
    set(kLearntColumn, optionalText(row.learntCount));
    const bool counted = row.count.has_value();
    set(kRemovedColumn, counted ? QString::number(row.removed) : QString());
    set(kAddedColumn, counted ? QString::number(row.added) : QString());
    set(kStateColumn, QString::fromUtf8(seriesStateText(row.state)));
    const QString why = QString::fromStdString(row.problem);
    for (int column = 0; column < kColumns; ++column) Table->item(index, column)->setToolTip(why);
}

void SeriesWindow::showPooled()
{
    const SeriesPool pool = series_.pooled();
    QString text;
    if (!pool.result.error.empty()) {
        text = QString::fromStdString(pool.result.error);
    } else {
        const PooledResult& r = pool.result;
        text = QStringLiteral("Pooled %1 fields, %2 particles: %3 per filter (%4 to %5), %6 per cm³ (%7 to %8), %9 interval")
                   .arg(r.fields)
                   .arg(r.particles)
                   .arg(r.perFilter, 0, 'g', 4)
                   .arg(r.perFilterLow, 0, 'g', 4)
                   .arg(r.perFilterHigh, 0, 'g', 4)
                   .arg(r.perCm3, 0, 'g', 4)
                   .arg(r.perCm3Low, 0, 'g', 4)
                   .arg(r.perCm3High, 0, 'g', 4)
                   .arg(r.kind == PoolIntervalKind::Poisson ? QStringLiteral("Poisson") : QStringLiteral("Student-t"));
    }
    if (pool.notSaved > 0) text += QStringLiteral("; %1 not saved, left out").arg(pool.notSaved);
    if (pool.damaged > 0) text += QStringLiteral("; %1 damaged, left out").arg(pool.damaged);
    PooledLine->setText(text);
}

PlotData SeriesWindow::plotData(PlotKind kind) const
{
    switch (kind) {
    case PlotKind::PictureSizes: {
        const int current = Table->currentRow();
        if (current < 0 || static_cast<std::size_t>(current) >= series_.size())
            return sizePlot(sizeHistogram({}, AreaUnit::Pixels), "Particle sizes");
        const SeriesRow& row = series_.row(static_cast<std::size_t>(current));
        const fs::path table = row.path.parent_path() / particleTableFileName(row.name);
        ParticleTableReading reading = readParticleTable(table);
        if (!reading.error.empty()) reading.rows.clear();
        return sizePlot(histogramOf(particleAreas(reading, AreaUnit::SquareMicrons),
                                    [&] { return particleAreas(reading, AreaUnit::Pixels); }),
                        "Particle sizes of " + row.name);
    }
    case PlotKind::SeriesSizes:
        return sizePlot(histogramOf(seriesParticleAreas(series_, AreaUnit::SquareMicrons).areas,
                                    [&] { return seriesParticleAreas(series_, AreaUnit::Pixels).areas; }),
                        "Particle sizes of the series");
    case PlotKind::FieldCounts: {
        const FieldCountPlot counts = fieldCountPlot(series_.pooled());
        PlotData data;
        data.title = "Field counts beside random scatter";
        data.xLabel = "particles per field";
        data.yLabel = "fields";
        PlotBars fields{"fields", kSpecifiedColour, {}};
        PlotLine expected{"Poisson at the pooled mean", kExpectedColour, {}};
        for (const FieldCountBin& bin : counts.bins) {
            data.categories.push_back(bin.low == bin.high ? std::to_string(bin.low)
                                                          : std::to_string(bin.low) + "-" + std::to_string(bin.high));
            fields.values.push_back(bin.fields);
            expected.values.push_back(bin.expected);
        }
        data.bars.push_back(std::move(fields));
        data.lines.push_back(std::move(expected));
        return data;
    }
    case PlotKind::CountsPerPicture: {
        PlotData data;
        data.title = "Counts per picture";
        data.xLabel = "picture";
        data.yLabel = "particles";
        PlotBars specified{"specified", kSpecifiedColour, {}}, blob{"blob", kBlobColour, {}}, learnt{"learnt", kLearntColour, {}};
        bool anyBlob = false, anyLearnt = false;
        for (const PictureCounts& counts : countsPerPicture(series_)) {
            data.categories.push_back(counts.label);
            specified.values.push_back(counts.specified.value_or(0));
            blob.values.push_back(counts.blob.value_or(0));
            learnt.values.push_back(counts.learnt.value_or(0));
            anyBlob = anyBlob || counts.blob.has_value();
            anyLearnt = anyLearnt || counts.learnt.has_value();
        }
        data.bars.push_back(std::move(specified));
        if (anyBlob) data.bars.push_back(std::move(blob));
        if (anyLearnt) data.bars.push_back(std::move(learnt));
        return data;
    }
    }
    return {};
}

void SeriesWindow::showPlot(PlotKind kind)
{
    plotKind_ = kind;
    if (PlotChoice->currentIndex() != static_cast<int>(kind)) PlotChoice->setCurrentIndex(static_cast<int>(kind));
    PlotView->setPixmap(QPixmap::fromImage(renderPlot(plotData(kind), kPlotWidth, kPlotHeight)));
}

std::optional<std::size_t> SeriesWindow::currentPictureRow() const
{
    if (Form1 == nullptr || AnalysisState.ImageFileName.empty()) return std::nullopt;
    return series_.indexOf(Form1->workingFolder() / AnalysisState.ImageFileName);
}

void SeriesWindow::showChanged(std::size_t index)
{
    showRow(static_cast<int>(index));
    showPooled();
    showPlot(plotKind_);
}

void SeriesWindow::pictureCounted()
{
    const std::optional<std::size_t> index = currentPictureRow();
    if (!index) return;
    std::vector<std::string> lines;
    if (Form3 != nullptr) lines = Form3->reportFileLines();
    std::string ignored;
    series_.setCounted(*index, AnalysisState, reportLabelledCount(lines, kBlobCountLabel, {}, ignored),
                       reportLabelledCount(lines, kLearntCountLabel, {}, ignored));
    showChanged(*index);
}

void SeriesWindow::pictureCorrected()
{
    const std::optional<std::size_t> index = currentPictureRow();
    if (!index) return;
    series_.setCorrected(*index, AnalysisState);
    showChanged(*index);
}

void SeriesWindow::reportSaved()
{
    const std::optional<std::size_t> index = currentPictureRow();
    if (!index) return;
    series_.refresh(*index);
    showChanged(*index);
}

void SeriesWindow::openRow(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= series_.size() || Form1 == nullptr) return;
    Table->setCurrentCell(index, Table->currentColumn() < 0 ? 0 : Table->currentColumn());
    const SeriesRow& row = series_.row(static_cast<std::size_t>(index));
    const fs::path report = row.path.parent_path() / reportFileName(row.name);
    std::error_code ignored;
    if (row.state != SeriesState::Damaged && fs::is_regular_file(report, ignored))
        Form1->openChosenReport(QString::fromStdString(report.string()));
    else
        Form1->openChosenPicture(QString::fromStdString(row.path.string()));
}

void SeriesWindow::walk(int step)
{
    if (series_.size() == 0) return;
    const std::optional<std::size_t> open = currentPictureRow();
    const int from = open ? static_cast<int>(*open) : Table->currentRow();
    const int to = from + step;
    if (to < 0 || to >= static_cast<int>(series_.size())) return;
    openRow(to);
}

bool SeriesWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            const int current = Table->currentRow();
            switch (key->key()) {
            case Qt::Key_Up:
                if (current > 0) openRow(current - 1);
                return true;
            case Qt::Key_Down:
                if (current + 1 < Table->rowCount()) openRow(current + 1);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                openRow(current);
                return true;
            default: break;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void SeriesWindow::ExporttableClick()
{
    UserDialogs::FileDialogSpec request;
    request.title = QStringLiteral("Export the series table");
    request.initialDirectory = QString::fromStdString(series_.folder().string());
    request.filter = QStringLiteral("CSV tables|*.csv|All files|*.*");
    request.defaultExtension = QStringLiteral("*.csv");
    request.fileName = QStringLiteral("series.csv");
    const QString target = dialogs().saveFile(request);
    if (target.isEmpty()) return;
    const FileSaveOutcome saved = writeSeriesCsv(fs::path(target.toStdString()), series_);
    if (!saved.saved()) dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(saved.error));
}

void SeriesWindow::SavepooledClick()
{
    const FileSaveOutcome saved = writeSeriesPooledReport(series_);
    if (!saved.saved()) dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(saved.error));
}

void SeriesWindow::SaveplotClick()
{
    UserDialogs::FileDialogSpec request;
    request.title = QStringLiteral("Save plot");
    request.initialDirectory = QString::fromStdString(series_.folder().string());
    request.filter = QStringLiteral("PNG pictures|*.png|SVG drawings|*.svg");
    request.defaultExtension = QStringLiteral("*.png");
    request.fileName = QStringLiteral("plot.png");
    const QString target = dialogs().saveFile(request);
    if (target.isEmpty()) return;
    const FileSaveOutcome saved = savePlot(fs::path(target.toStdString()), plotData(plotKind_), 2 * kPlotWidth, 2 * kPlotHeight);
    if (!saved.saved()) dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(saved.error));
}

void SeriesWindow::BnCountallClick()
{
    if (countingAll() || Form1 == nullptr) return;
    countQueue_.clear();
    for (std::size_t i = series_.size(); i-- > 0;) {
        const SeriesState state = series_.row(i).state;
        if (state == SeriesState::Damaged) continue;
        if (state == SeriesState::Saved && !CountSavedToo->isChecked()) continue;
        countQueue_.push_back(i);
    }
    if (countQueue_.empty()) return;
    cancelled_ = false;
    running_ = true;
    Progress->setRange(0, static_cast<int>(countQueue_.size()));
    Progress->setValue(0);
    BnCountall->setEnabled(false);
    BnCancel->setEnabled(true);
    QTimer::singleShot(0, this, &SeriesWindow::countNextField);
}

void SeriesWindow::BnCancelClick() { cancelled_ = true; }

void SeriesWindow::countNextField()
{
    // One field at a time: opening and counting handle the windows' events meanwhile.
    if (countingField_) return;
    if (cancelled_ || countQueue_.empty() || Form1 == nullptr) {
        endCountAll();
        return;
    }
    const std::size_t index = countQueue_.back();
    countQueue_.pop_back();
    countingField_ = true;
    const SeriesRow& row = series_.row(index);
    Table->setCurrentCell(static_cast<int>(index), 0);
    // The picture window's own steps: open (asking about unsaved corrections), count on a worker (as
    // the count button does), save (asking before a saved report is replaced). A refusal at any step
    // leaves the field as it was; a count cancelled or refused (a field it cannot use) ends Count all,
    // since every field after it would end the same way.
    if (Form1->openChosenPicture(QString::fromStdString(row.path.string()))) {
        Form1->countWithProgress();
        if (Form3 != nullptr && Form3->holdsCurrentResults())
            Form3->saveReport();
        else
            cancelled_ = true;
    }
    series_.refresh(index);  // as its files say now, whatever was refused
    showRow(static_cast<int>(index));
    showPooled();
    countingField_ = false;
    Progress->setValue(Progress->value() + 1);
    QTimer::singleShot(0, this, &SeriesWindow::countNextField);
}

void SeriesWindow::endCountAll()
{
    running_ = false;
    countQueue_.clear();
    countingField_ = false;
    BnCountall->setEnabled(true);
    BnCancel->setEnabled(false);
    showPlot(plotKind_);
}
