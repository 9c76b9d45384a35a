// Long work in the windows: the count button's count and the loading of a picture run on a worker
// thread, with a busy cursor, a progress dialog with Cancel and the windows repainting meanwhile. A
// cancelled count or load leaves everything exactly as it was; a finished count is the same as the
// count run in place.
//
// The worker is held at a chosen point through LongWork's watcher, so that what happens meanwhile
// does not depend on how fast the machine is.

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "core/AnalysisState.h"
#include "gui/Forms.h"
#include "gui/LongWork.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"
#include "picture/PictureLoading.h"
#include "support/LayerMouse.h"
#include "support/WindowTest.h"

namespace {

const QString kSample = QStringLiteral(SPOTTALLY_SOURCE_DIR "/samples/sample.jpg");

/// Everything a count or a load may change, as the user and the saved files see it.
struct WindowsState {
    Layers layers;
    TAnalysisState record;
    ParticleList particles;
    QStringList report;
    QString reportTitle;
    QString pictureTitle;
    bool saveEnabled = false, savePictureEnabled = false, exportEnabled = false;
};

WindowsState takeState()
{
    WindowsState state;
    state.layers = std::as_const(*Form2).layers();
    state.record = AnalysisState;
    state.particles = Form2->particles();
    state.report = Form3->lines();
    state.reportTitle = Form3->windowTitle();
    state.pictureTitle = Form2->windowTitle();
    state.saveEnabled = Form3->BnSaverep->isEnabled();
    state.savePictureEnabled = Form3->BnSavepic->isEnabled();
    state.exportEnabled = Form3->BnExp->isEnabled();
    return state;
}

/// The first field that differs, or an empty text when the two are the same byte for byte.
QString difference(const WindowsState& a, const WindowsState& b)
{
    if (!(a.layers.Image1 == b.layers.Image1)) return QStringLiteral("Image1");
    if (!(a.layers.Image2 == b.layers.Image2)) return QStringLiteral("Image2");
    if (!(a.layers.Image3 == b.layers.Image3)) return QStringLiteral("Image3");
    const TAnalysisState &r = a.record, &s = b.record;
    if (r.ImageWidth != s.ImageWidth || r.ImageHeight != s.ImageHeight || r.ImageFileName != s.ImageFileName)
        return QStringLiteral("picture size or name");
    if (r.ReportActive != s.ReportActive || r.ExportMode != s.ExportMode || r.GridMicrons != s.GridMicrons ||
        r.ScaleMicrons != s.ScaleMicrons || r.AddMode != s.AddMode || r.ViewMode != s.ViewMode ||
        r.ZoomPercent != s.ZoomPercent)
        return QStringLiteral("settings of the record");
    if (r.AutoCount != s.AutoCount || r.ManualAdded != s.ManualAdded || r.ManualRemoved != s.ManualRemoved ||
        r.TotalAreaPixels != s.TotalAreaPixels)
        return QStringLiteral("counters");
    if (r.ParticlesPerFilter != s.ParticlesPerFilter || r.ParticlesPerCm3 != s.ParticlesPerCm3)
        return QStringLiteral("results");
    if (!(r.MarkerList == s.MarkerList) || r.FieldHistogram != s.FieldHistogram)
        return QStringLiteral("export arrays");
    if (a.particles.particles.size() != b.particles.particles.size()) return QStringLiteral("particle count");
    for (std::size_t i = 0; i < a.particles.particles.size(); ++i) {
        const ParticleRecord &p = a.particles.particles[i], &q = b.particles.particles[i];
        if (p.x != q.x || p.y != q.y || p.areaPixels != q.areaPixels || p.sumRed != q.sumRed ||
            p.sumGreen != q.sumGreen || p.sumBlue != q.sumBlue || p.added != q.added || p.removed != q.removed)
            return QStringLiteral("particle %1").arg(i);
    }
    if (a.report != b.report) return QStringLiteral("report text");
    if (a.reportTitle != b.reportTitle || a.pictureTitle != b.pictureTitle) return QStringLiteral("window titles");
    if (a.saveEnabled != b.saveEnabled || a.savePictureEnabled != b.savePictureEnabled ||
        a.exportEnabled != b.exportEnabled)
        return QStringLiteral("report buttons");
    return {};
}

/// Waits on the worker thread, at most a minute, until flag is set on the window thread.
void waitFor(const std::atomic<bool>& flag)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!flag.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

class LongWorkTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    /// The sample counted with the count button, one particle removed by hand and the colour tolerance
    /// changed: a state that a new count would change everywhere.
    void countAndCorrect()
    {
        Form1->BnCount->click();
        QCOMPARE(AnalysisState.AutoCount, 400);
        const ParticleRecord first = Form2->particles().particles.front();
        layermouse::press(Form2->Image2, QPoint(first.x, first.y));
        layermouse::release(Form2->Image2, QPoint(first.x, first.y));
        QCOMPARE(AnalysisState.ManualRemoved, 1);
        Form1->EdDevi->setText(QStringLiteral("60"));
    }

private slots:
    void init()
    {
        dialogs_ = openTestWindows(folder_.filePath(QStringLiteral("SpotTally.ini")).toStdString());
        Form3->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)); }, RegionalDateTime{});
        QVERIFY(Form1->loadimage(kSample));
    }
    void cleanup()
    {
        LongWork::setWatcher({});
        closeTestWindows(dialogs_);
    }

    // The count is held half-way until the window thread has looked around: the busy cursor is up,
    // the windows take no input (a second press of the count button, typing in a field), the progress
    // dialog shows and its Cancel button is pressed. Afterwards everything is as before the press:
    // after a count with corrections, and on a picture just opened, whose count writes into the
    // layers the opening made.
    void aCancelledCountLeavesEverythingAsItWas_data()
    {
        QTest::addColumn<bool>("countedBefore");
        QTest::newRow("a count with corrections") << true;
        QTest::newRow("a picture just opened") << false;
    }
    void aCancelledCountLeavesEverythingAsItWas()
    {
        QFETCH(bool, countedBefore);
        if (countedBefore) countAndCorrect();
        const WindowsState before = takeState();
        const QString tolerance = Form1->EdDevi->text();

        std::atomic<bool> cancelPressed{false};
        LongWork::setWatcher([&](double done) {
            if (done >= 0.5) waitFor(cancelPressed);
            return true;
        });
        bool busyCursor = false, inputIgnored = false, dialogShown = false, layersLent = false;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            if (!LongWork::running() || cancelPressed.load()) return;
            busyCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            // The opened picture's count layer is the count's to write into meanwhile.
            layersLent = std::as_const(*Form2).layers().Image2.empty();
            // A second count would change the state compared below; typing would change the field.
            QTest::mouseClick(Form1->BnCount, Qt::LeftButton);
            Form1->BnCount->click();
            QTest::keyClicks(Form1->EdDevi, QStringLiteral("5"));
            inputIgnored = Form1->EdDevi->text() == tolerance;
            QProgressDialog* dialog = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* found = qobject_cast<QProgressDialog*>(widget); found && found->isVisible()) dialog = found;
            if (dialog == nullptr) return;  // it shows once the count has taken half a second
            dialogShown = true;
            auto* cancel = dialog->findChild<QPushButton*>();
            QVERIFY(cancel != nullptr);
            QTest::mouseClick(cancel, Qt::LeftButton);
            cancelPressed.store(true);
        });
        look.start(20);
        Form1->BnCount->click();
        look.stop();

        QVERIFY(cancelPressed.load());
        QVERIFY(busyCursor);
        QVERIFY(inputIgnored);
        QVERIFY(dialogShown);
        QCOMPARE(layersLent, !countedBefore);
        QVERIFY(!LongWork::running());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        VERIFY_NO_MESSAGE(dialogs_);
        const QString changed = difference(takeState(), before);
        QVERIFY2(changed.isEmpty(), qPrintable(changed));

        // The same press again, not cancelled, counts as ever: as the count in place does.
        LongWork::setWatcher({});
        Form1->BnCount->click();
        QVERIFY(AnalysisState.AutoCount > 0);
        QCOMPARE(AnalysisState.ManualRemoved, 0);
        QVERIFY(!difference(takeState(), before).isEmpty());
        const WindowsState counted = takeState();
        Form1->BnCountClick();
        const QString changed2 = difference(takeState(), counted);
        QVERIFY2(changed2.isEmpty(), qPrintable(changed2));
    }

    // The count button's count on the worker thread and the count other windows run in place give the
    // same layers, record, particles and report, from the same corrected state.
    void theButtonsCountEqualsTheCountInPlace()
    {
        countAndCorrect();
        Form1->BnCountClick();
        const WindowsState inPlace = takeState();

        QVERIFY(Form1->loadimage(kSample));
        Form1->EdDevi->setText(QStringLiteral("40"));
        countAndCorrect();
        std::atomic<int> progressCalls{0};
        LongWork::setWatcher([&](double) {
            ++progressCalls;
            return true;
        });
        Form1->BnCount->click();
        QVERIFY(progressCalls.load() > 10);
        VERIFY_NO_MESSAGE(dialogs_);
        const QString changed = difference(takeState(), inPlace);
        QVERIFY2(changed.isEmpty(), qPrintable(changed));
    }

    // A load cancelled part way through the decoding leaves the picture open before, its count and
    // its report; the folder and the settings file stay as they were, and nothing is said.
    void aCancelledLoadLeavesThePreviousPicture()
    {
        countAndCorrect();
        const WindowsState before = takeState();
        const QString openedBefore = Form1->OpenDialog1FileName;
        const QString other = folder_.filePath(QStringLiteral("other.jpg"));
        QVERIFY(writeJpegFile(layermouse::gradientPicture(900, 700), other.toStdString()).empty());

        double stoppedAt = -1;
        LongWork::setWatcher([&](double done) {
            if (done < 0.5) return true;
            stoppedAt = done;
            return false;
        });
        QVERIFY(!Form1->openChosenPicture(other));
        QVERIFY(stoppedAt >= 0.5 && stoppedAt < 1.0);  // stopped during the decoding, not after it
        VERIFY_NO_MESSAGE(dialogs_);
        QCOMPARE(Form1->OpenDialog1FileName, openedBefore);
        const QString changed = difference(takeState(), before);
        QVERIFY2(changed.isEmpty(), qPrintable(changed));

        LongWork::setWatcher({});
        QVERIFY(Form1->openChosenPicture(other));
        QCOMPARE(AnalysisState.ImageWidth, 900);
    }
};

QTEST_MAIN(LongWorkTest)
#include "LongWork_test.moc"
