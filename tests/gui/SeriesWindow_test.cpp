// The series window: a folder of generated fields opens with each row's state from the files beside
// the pictures; a count, a correction and a save in the picture window are followed by the row and
// the pooled line; Up and Down in the table and Page Up and Page Down in the picture window walk
// through the fields; the table, the pooled report and the plots are saved. Real events, offscreen.

#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "core/Markers.h"
#include "gui/SeriesWindow.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"
#include "picture/PictureLoading.h"
#include "report/Pooling.h"
#include "report/SeriesPlots.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"

using namespace layermouse;

namespace {

/// A green particle on dark ground.
void drawParticle(Picture& picture, int cx, int cy)
{
    for (int y = cy - 3; y <= cy + 3; ++y)
        for (int x = cx - 3; x <= cx + 3; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 9) picture.setPixel(x, y, rgbColour(121, 223, 95));
}

/// A 200 x 150 field of particles particles, in rows of four.
Picture field(int particles)
{
    Picture picture = plainPicture(200, 150, rgbColour(10, 20, 12));
    for (int i = 0; i < particles; ++i) drawParticle(picture, 25 + 50 * (i % 4), 25 + 50 * (i / 4));
    return picture;
}

/// The first counted particle's marker.
QPoint firstMarker()
{
    const Picture& area = Form2->layers().Image3;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (isCentreMarker(area.row(y) + 3 * x)) return {x, y};
    return {-1, -1};
}

QString cell(int row, int column) { return seriesWindow()->Table->item(row, column)->text(); }

enum { kPicture, kSize, kSpecified, kBlob, kLearnt, kRemoved, kAdded, kState };

}  // namespace

class SeriesWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rowsAndThePooledLineFollowCountsCorrectionsAndSaves();
    void keysWalkThroughTheFields();
    void countAllCountsWhatIsNotSavedAndCancelStopsBetweenFields();
    void tableReportAndPlotsAreSaved();

private:
    QString path(const QString& name) const { return folder_->filePath(name); }
    /// field1.jpg (12 particles), field2.jpg (11, its count saved) and field10.jpg (10), then the series
    /// opened as File, "Open series…" does with one of them chosen.
    void openFields();

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

void SeriesWindowTest::init()
{
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    dialogs_ = openTestWindows(path(QStringLiteral("SpotTally.ini")).toStdString());
    Form1->setWorkingFolder(folder_->path().toStdString());
    Form3->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)); }, RegionalDateTime{});
}

void SeriesWindowTest::cleanup()
{
    closeTestWindows(dialogs_);
    folder_.reset();
}

void SeriesWindowTest::openFields()
{
    for (const auto& [name, particles] : {std::pair{"field1.jpg", 12}, std::pair{"field2.jpg", 11}, std::pair{"field10.jpg", 10}})
        QCOMPARE(QString::fromStdString(writeJpegFile(field(particles), path(QString::fromLatin1(name)).toStdString())),
                 QString());
    QVERIFY(Form1->openChosenPicture(path(QStringLiteral("field2.jpg"))));
    Form1->BnCount->click();
    QCOMPARE(AnalysisState.AutoCount, 11);
    QVERIFY(Form3->saveReport());
    Form1->Particletable1Click();
    Form3->BnExp->click();  // c_field2.csv, the particle table the size plots read
    dialogs_->answerNextFileDialog(path(QStringLiteral("field10.jpg")));
    Form1->Openseries1->trigger();
    VERIFY_NO_MESSAGE(dialogs_);
    QVERIFY(seriesWindow()->isVisible());
}

// Opened, the rows come from the files: field2's saved report, the others not counted, in natural order.
// The picture window's count, correction and save are followed by the row; the pooled line pools the
// saved rows as --pool pools their reports.
void SeriesWindowTest::rowsAndThePooledLineFollowCountsCorrectionsAndSaves()
{
    openFields();
    SeriesWindow* series = seriesWindow();
    QCOMPARE(series->Table->rowCount(), 3);
    QCOMPARE(QStringList({cell(0, kPicture), cell(1, kPicture), cell(2, kPicture)}),
             QStringList({"field1.jpg", "field2.jpg", "field10.jpg"}));
    QCOMPARE(QStringList({cell(0, kState), cell(1, kState), cell(2, kState)}),
             QStringList({"not counted", "saved", "not counted"}));
    QCOMPARE(cell(1, kSpecified), QStringLiteral("11"));
    QCOMPARE(cell(1, kSize), QStringLiteral("200 x 150"));
    QVERIFY2(series->PooledLine->text().startsWith(QStringLiteral("Pooled 1 fields, 11 particles")),
             qPrintable(series->PooledLine->text()));

    series->openRow(0);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("field1.jpg"));
    Form1->BnCount->click();
    QCOMPARE(cell(0, kState), QStringLiteral("counted"));
    QCOMPARE(cell(0, kSpecified), QStringLiteral("12"));
    // Counted but not saved (as the one not counted): left out of the pooled line, which says so.
    QVERIFY2(series->PooledLine->text().contains(QStringLiteral("2 not saved, left out")), qPrintable(series->PooledLine->text()));

    QTest::mouseClick(Form2->Image2, Qt::LeftButton, Qt::NoModifier, firstMarker());
    QCOMPARE(AnalysisState.AutoCount, 11);
    QCOMPARE(cell(0, kState), QStringLiteral("corrected"));
    QCOMPARE(QStringList({cell(0, kSpecified), cell(0, kRemoved), cell(0, kAdded)}), QStringList({"11", "1", "0"}));

    QVERIFY(Form3->saveReport());
    QCOMPARE(cell(0, kState), QStringLiteral("saved"));
    QCOMPARE(cell(0, kSpecified), QStringLiteral("11"));
    const PoolReading reading = readPoolFields({path(QStringLiteral("c_field1.txt")).toStdString(),
                                                path(QStringLiteral("c_field2.txt")).toStdString()});
    QVERIFY(reading.errors.empty());
    const PooledResult pooled = poolFields(reading.fields);
    QCOMPARE(series->series().pooled().result.particles, pooled.particles);
    QCOMPARE(series->series().pooled().result.perFilter, pooled.perFilter);
    QVERIFY2(series->PooledLine->text().startsWith(QStringLiteral("Pooled 2 fields, 22 particles: %1 per filter")
                                                       .arg(pooled.perFilter, 0, 'g', 4)),
             qPrintable(series->PooledLine->text()));
    VERIFY_NO_MESSAGE(dialogs_);
}

// Down and Up in the table open the next and the previous field; Page Down and Page Up do the same in
// the picture window. At either end nothing happens.
void SeriesWindowTest::keysWalkThroughTheFields()
{
    openFields();
    SeriesWindow* series = seriesWindow();
    series->openRow(0);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("field1.jpg"));
    QTest::keyClick(series->Table, Qt::Key_Up);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("field1.jpg"));
    QTest::keyClick(series->Table, Qt::Key_Down);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("field2.jpg"));
    // field2's saved report came with it.
    QCOMPARE(AnalysisState.AutoCount, 11);
    QCOMPARE(series->Table->currentRow(), 1);

    Form2->show();
    Form2->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form2));
    QTest::keyClick(Form2, Qt::Key_PageDown);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("field10.jpg"));
    QTest::keyClick(Form2, Qt::Key_PageDown);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("field10.jpg"));
    QTest::keyClick(Form2, Qt::Key_PageUp);
    QCOMPARE(QString::fromStdString(AnalysisState.ImageFileName), QStringLiteral("field2.jpg"));
    // The Window menu brings the series window back.
    series->hide();
    QAction* item = nullptr;
    for (QAction* action : Form1->Window1->actions())
        if (action->text() == QStringLiteral("&Series window")) item = action;
    QVERIFY(item != nullptr);
    emit Form1->Window1->aboutToShow();
    QVERIFY(item->isEnabled());
    item->trigger();
    QVERIFY(series->isVisible());
    VERIFY_NO_MESSAGE(dialogs_);
}

// Count all counts and saves the fields not saved yet, skipping the saved one; cancelled after the
// first field, the rest stay as they were and every row is what its files say.
void SeriesWindowTest::countAllCountsWhatIsNotSavedAndCancelStopsBetweenFields()
{
    openFields();
    SeriesWindow* series = seriesWindow();
    const QByteArray savedBefore = [&] {
        QFile file(path(QStringLiteral("c_field2.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(!series->CountSavedToo->isChecked());
    series->BnCountall->click();
    QVERIFY(series->countingAll());
    QCoreApplication::processEvents();  // the first field
    QCOMPARE(series->Progress->value(), 1);
    // Another series is not opened under Count all's feet.
    QVERIFY(!series->openSeries({folder_->path().toStdString(), {}}));
    QCOMPARE(dialogs_->messages.size(), std::size_t{1});
    dialogs_->messages.clear();
    series->BnCancel->click();
    QTRY_VERIFY(!series->countingAll());
    QCOMPARE(QStringList({cell(0, kState), cell(1, kState), cell(2, kState)}),
             QStringList({"saved", "saved", "not counted"}));
    for (std::size_t i = 0; i < series->series().size(); ++i) {
        const SeriesRow& shown = series->series().row(i);
        const SeriesRow onDisk = readSeriesRow(shown.path);
        QCOMPARE(shown.state, onDisk.state);
        QCOMPARE(shown.count, onDisk.count);
    }

    series->BnCountall->click();
    QTRY_VERIFY(!series->countingAll());
    QCOMPARE(QStringList({cell(0, kSpecified), cell(1, kSpecified), cell(2, kSpecified)}), QStringList({"12", "11", "10"}));
    QCOMPARE(QStringList({cell(0, kState), cell(1, kState), cell(2, kState)}), QStringList({"saved", "saved", "saved"}));
    QFile saved(path(QStringLiteral("c_field2.txt")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), savedBefore);  // skipped: its report is as it was
    QVERIFY2(series->PooledLine->text().startsWith(QStringLiteral("Pooled 3 fields, 33 particles")),
             qPrintable(series->PooledLine->text()));
    VERIFY_NO_MESSAGE(dialogs_);
}

// Export table writes the CSV of every row; Save pooled report writes pooled.txt as --pool writes it;
// each plot saves as PNG and SVG, and the field-count plot's bars are the saved fields' counts.
void SeriesWindowTest::tableReportAndPlotsAreSaved()
{
    openFields();
    SeriesWindow* series = seriesWindow();
    dialogs_->answerNextFileDialog(path(QStringLiteral("series.csv")));
    series->ExporttableClick();
    QFile csv(path(QStringLiteral("series.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray written = csv.readAll();
    QCOMPARE(written, QByteArray::fromStdString(seriesCsvText(series->series())));
    const QStringList csvLines = QString::fromUtf8(written).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(csvLines.size(), 4);  // the header and the three rows
    QVERIFY2(csvLines[2].endsWith(QStringLiteral(",saved")), qPrintable(csvLines[2]));

    series->SavepooledClick();
    QVERIFY(QFile::exists(path(QStringLiteral("pooled.txt"))));

    series->PlotChoice->setCurrentIndex(static_cast<int>(SeriesWindow::PlotKind::FieldCounts));
    const PlotData counts = series->plotData(SeriesWindow::PlotKind::FieldCounts);
    const FieldCountPlot expected = fieldCountPlot(series->series().pooled());
    QCOMPARE(counts.bars.size(), std::size_t{1});
    QCOMPARE(counts.bars[0].values.size(), expected.bins.size());
    double fields = 0;
    for (std::size_t i = 0; i < expected.bins.size(); ++i) {
        QCOMPARE(counts.bars[0].values[i], static_cast<double>(expected.bins[i].fields));
        fields += counts.bars[0].values[i];
    }
    QCOMPARE(fields, 1.0);
    QVERIFY(!series->PlotView->pixmap().isNull());
    for (const QString& name : {QStringLiteral("counts.png"), QStringLiteral("counts.svg")}) {
        dialogs_->answerNextFileDialog(path(name));
        series->BnSaveplot->click();
        QVERIFY2(QFileInfo(path(name)).size() > 0, qPrintable(name));
    }
    // The size plots: every particle of the saved table in one bar or another.
    for (const auto kind : {SeriesWindow::PlotKind::SeriesSizes, SeriesWindow::PlotKind::PictureSizes}) {
        series->Table->setCurrentCell(1, 0);
        const PlotData sizes = series->plotData(kind);
        double particles = 0;
        for (double bar : sizes.bars.at(0).values) particles += bar;
        QCOMPARE(particles, 11.0);
    }
    const PlotData perPicture = series->plotData(SeriesWindow::PlotKind::CountsPerPicture);
    QCOMPARE(perPicture.bars[0].values, std::vector<double>({0, 11, 0}));
    VERIFY_NO_MESSAGE(dialogs_);
}

QTEST_MAIN(SeriesWindowTest)
#include "SeriesWindow_test.moc"
