#pragma once
// SeriesWindow: the fields of view of one filter in one table (File, "Open series…"): per picture its
// size, the specified, blob and learnt counts, the corrections and the state; the pooled result below,
// live; plots of the particle sizes, of the field counts beside what random scatter predicts and of the
// counts per picture. A double-click (or Enter) opens the picture in the picture window with its report
// and corrections; Up and Down walk through the fields, and so do Page Up and Page Down in the picture
// window.
//
// The other windows tell it what happened to the picture open now: pictureCounted(), pictureCorrected()
// and reportSaved(). It asks the main window to open a picture or a report. The rows, states, pooling
// and plot numbers live below the windows (report/Series.h, report/SeriesPlots.h).

#include <QMainWindow>
#include <QPointer>
#include <cstddef>
#include <vector>
#include <filesystem>
#include <optional>

#include "report/RecentSeries.h"
#include "report/Series.h"
#include "view/Plot.h"

class QCheckBox;
class QComboBox;
class QProgressBar;
class QLabel;
class QPushButton;
class QShortcut;
class QTableWidget;

class SeriesWindow : public QMainWindow {
public:
    explicit SeriesWindow(QWidget* parent = nullptr);
    ~SeriesWindow() override;

    /// Shows the series of source (a folder, or pictures) in front and keeps it among the recent series.
    /// False (after a message) when it could not be opened; the window is then left as it was.
    bool openSeries(const SeriesSource& source);
    const Series& series() const { return series_; }

    /// The picture open now was counted (its report shown, not saved): its row follows.
    void pictureCounted();
    /// The picture open now was corrected by hand: its row follows.
    void pictureCorrected();
    /// The report of the picture open now was saved: its row is read again from the files.
    void reportSaved();
    /// Opens the picture step rows after the current one (-1: the one before), if there is one.
    void walk(int step);
    /// Opens the picture of row index with its saved report (and corrections), or alone.
    void openRow(int index);

    /// "Count all": every field not saved yet (saved ones too while "Count saved ones again" is on)
    /// opened in the picture window, counted there on a worker (as the count button counts) with the
    /// parameters and learnt settings there, and its report saved, one field after another; a report already
    /// saved is replaced only when the user says so, and unsaved corrections are asked about first.
    /// Cancel stops after the field being counted: every row stays as its files say.
    void BnCountallClick();
    void BnCancelClick();
    /// True while Count all works through the fields.
    bool countingAll() const { return running_; }

    /// "Export table…": the table as CSV.
    void ExporttableClick();
    /// "Save pooled report": the pooled text as pooled.txt beside the pictures.
    void SavepooledClick();
    /// "Save plot…": the plot shown, as PNG or SVG.
    void SaveplotClick();

    /// What the plot area shows now.
    enum class PlotKind { PictureSizes, SeriesSizes, FieldCounts, CountsPerPicture };
    void showPlot(PlotKind kind);
    /// The numbers of the plot kind for the series (and the current row, for PictureSizes).
    PlotData plotData(PlotKind kind) const;

    // Controls.
    QTableWidget* Table = nullptr;
    QLabel* PooledLine = nullptr;
    QComboBox* PlotChoice = nullptr;
    QLabel* PlotView = nullptr;
    QPushButton* BnSaveplot = nullptr;
    QPushButton* BnCountall = nullptr;
    QPushButton* BnCancel = nullptr;
    QCheckBox* CountSavedToo = nullptr;
    QProgressBar* Progress = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    /// Writes row index into the table (every cell), and the pooled line and the plot after it.
    void showRow(int index);
    void showAll();
    /// Row index changed: it, the pooled line and the plot shown again.
    void showChanged(std::size_t index);
    void showPooled();
    /// The row of the picture open now in the picture window, if it is one of the series.
    std::optional<std::size_t> currentPictureRow() const;

    /// Counts the next field of Count all, then comes back through the event loop for the one after.
    void countNextField();
    void endCountAll();

    Series series_;
    std::vector<std::size_t> countQueue_;  // the rows Count all has still to count, first at the back
    bool running_ = false;        // from Count all until the step after the last field has ended it
    bool countingField_ = false;  // a field is being opened, counted and saved
    bool cancelled_ = false;
    std::vector<QPointer<QShortcut>> walkKeys_;  // Page Up and Page Down in the picture window
    PlotKind plotKind_ = PlotKind::FieldCounts;
};

/// The series window, made on first use (owned by the program; deleted by destroyForms).
SeriesWindow* seriesWindow();
/// The series window if it was made, else nullptr: for the windows that tell it what happened.
SeriesWindow* seriesWindowIfOpen();
/// Deletes the series window (destroyForms).
void destroySeriesWindow();
