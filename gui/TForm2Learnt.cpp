// TForm2's learnt density count: the background boxes of teach mode, the teaching set kept over the
// pictures of a series, learning and predicting as long work, the density view, and the model kept
// beside a saved report.

#include <QApplication>
#include <QImage>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "core/AnalysisState.h"
#include "core/AtomicFile.h"
#include "detect/BackgroundBoxes.h"
#include "gui/Forms.h"
#include "gui/LayerView.h"
#include "gui/LongWork.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/UserDialogs.h"
#include "report/DensityReport.h"

namespace fs = std::filesystem;

namespace {

/// Runs job(cancel) on a worker thread as long work: busy, and cancellable from the progress dialog,
/// which sets *cancel. False when it was cancelled. An exception job throws is thrown again here.
bool runCancellable(QWidget* parent, const QString& label,
                    const std::function<void(const std::atomic<bool>*)>& job)
{
    std::atomic<bool> cancel{false};
    if (LongWork::running()) {  // already inside long work: its dialog is showing
        job(&cancel);
        return true;
    }
    LongWork work(parent, label);
    return work.run([&](const WorkProgress& progress) {
        std::atomic<bool> done{false};
        std::exception_ptr failure;
        std::thread worker([&] {
            try {
                job(&cancel);
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
        });
        // The learning and the prediction look at cancel between trees and tiles; the progress hook
        // is asked here meanwhile.
        while (!done) {
            if (!cancel && !progress(0, 1)) cancel = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        worker.join();
        if (failure) std::rethrow_exception(failure);
        return !cancel.load();
    });
}

/// The density as a heat map: transparent where there is none, through red to yellow where the
/// density reaches its highest value.
QImage heatImage(const FloatPlane& density)
{
    QImage heat(density.width, density.height, QImage::Format_ARGB32_Premultiplied);
    if (heat.isNull()) return heat;
    float peak = 0;
    for (float value : density.values) peak = std::max(peak, value);
    const float scale = peak > 0 ? 1.0F / peak : 0.0F;
    for (int y = 0; y < density.height; ++y) {
        const float* in = density.row(y);
        auto* out = reinterpret_cast<QRgb*>(heat.scanLine(y));
        for (int x = 0; x < density.width; ++x) {
            const float share = std::clamp(in[x] * scale, 0.0F, 1.0F);
            const int alpha = static_cast<int>(share * 200.0F);
            const int green = static_cast<int>(share * share * 255.0F);
            out[x] = qPremultiply(qRgba(255, green, 0, alpha));
        }
    }
    return heat;
}

/// The background file beside a marks file: c_NAME.marks.csv -> c_NAME.background.csv.
fs::path backgroundFileBeside(const fs::path& marksFile)
{
    std::string name = marksFile.filename().string();
    const std::string marksEnd = ".marks.csv";
    if (name.size() >= marksEnd.size() &&
        name.compare(name.size() - marksEnd.size(), marksEnd.size(), marksEnd) == 0)
        name.erase(name.size() - marksEnd.size());
    return marksFile.parent_path() / (name + ".background.csv");
}

}  // namespace

// --- Background boxes ----------------------------------------------------------------------------

bool TForm2::removeBackgroundAt(QPoint at)
{
    auto smallest = background_.end();
    for (auto it = background_.begin(); it != background_.end(); ++it)
        if (it->contains(at.x(), at.y()) &&
            (smallest == background_.end() ||
             std::int64_t(it->width) * it->height < std::int64_t(smallest->width) * smallest->height))
            smallest = it;
    if (smallest == background_.end()) return false;
    if (!mayChangeBackground()) return true;
    const PixelRegion removed = *smallest;
    background_.erase(smallest);
    saveBackground();
    showTeachOverlay();
    showStatus(QStringLiteral("Background box at %1, %2 (%3 x %4) removed")
                   .arg(removed.x)
                   .arg(removed.y)
                   .arg(removed.width)
                   .arg(removed.height),
               windowTitle());
    return true;
}

bool TForm2::saveBackground()
{
    if (backgroundFile_.empty() || backgroundRefused_) return true;
    std::error_code ignored;
    if (background_.empty() && !fs::exists(backgroundFile_, ignored)) return true;
    const FileSaveOutcome saved = writeBackgroundFile(backgroundFile_, background_);
    if (!saved.saved()) {
        dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(saved.error));
        return false;
    }
    return true;
}

void TForm2::readBackground(const fs::path& marksFile)
{
    background_.clear();
    backgroundRefused_ = false;
    backgroundFile_ = marksFile.empty() ? fs::path() : backgroundFileBeside(marksFile);
    std::error_code ignored;
    if (backgroundFile_.empty() || !fs::exists(backgroundFile_, ignored)) return;
    const BackgroundReading reading = readBackgroundFile(backgroundFile_);
    if (reading.error.empty()) {
        background_ = reading.boxes;
        return;
    }
    backgroundRefused_ = true;
    dialogs().message(
        UserDialogs::MessageKind::Warning,
        QStringLiteral("%1\nThe file is kept; the first change of this picture's background boxes "
                       "moves it aside.")
            .arg(QString::fromStdString(reading.error)));
}

// --- Learning and counting -----------------------------------------------------------------------

bool TForm2::learntCountsOn() const { return Learntcounts1 != nullptr && Learntcounts1->isChecked(); }

void TForm2::LearndensityClick()
{
    if (layers_.Image1.empty()) return;
    // What this picture teaches now replaces what it taught before; the other pictures' teaching stays.
    TeachingSet set = teachingSet_;
    const std::string problem = addTeachingPicture(set, layers_.Image1, AnalysisState.ImageFileName,
                                                   teachRegion_, marks_, background_);
    if (!problem.empty()) {
        dialogs().message(
            UserDialogs::MessageKind::Warning,
            QStringLiteral("Cannot learn the density count: %1").arg(QString::fromStdString(problem)));
        return;
    }
    DensityTraining training;
    const bool finished = runCancellable(this, QStringLiteral("Learning the density count…"),
                                         [&](const std::atomic<bool>* cancel) {
                                             DensityOptions options;
                                             options.cancel = cancel;
                                             training = trainDensityModel(set, options);
                                         });
    if (!finished || training.cancelled) {
        showStatus(QStringLiteral("Learning cancelled: the learnt count is as it was"), windowTitle());
        return;
    }
    if (!training.error.empty()) {
        dialogs().message(UserDialogs::MessageKind::Warning,
                          QStringLiteral("Cannot learn the density count: %1")
                              .arg(QString::fromStdString(training.error)));
        return;
    }
    // As the counter does: what was learnt on 16-bit samples keeps the mapping it was taught with.
    if (const std::optional<SampleRange> taught = Form1->taughtSampleRange()) {
        training.model.hasSampleRange = true;
        training.model.sampleRange = *taught;
    }
    teachingSet_ = std::move(set);
    densityModel_ = std::move(training.model);
    Learntcounts1->setChecked(true);
    Form1->BnCountClick();  // the count, and with it the learnt count of this picture
    const DensityModel& model = *densityModel_;
    QString text = QStringLiteral("Learnt from %1 marks and %2 background boxes on %3 %4; particle scale %5 "
                                  "pixels.")
                       .arg(model.marks)
                       .arg(model.backgroundBoxes)
                       .arg(model.pictures)
                       .arg(model.pictures == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"))
                       .arg(model.particleScale, 0, 'f', 2);
    if (learntResult_)
        text +=
            QStringLiteral("\nLearnt count of this picture: %1.").arg(learntParticleCount(*learntResult_));
    for (const std::string& warning : training.warnings)
        text += QStringLiteral("\nNote: %1.").arg(QString::fromStdString(warning));
    dialogs().message(UserDialogs::MessageKind::Information, text);
}

void TForm2::ForgetteachingClick()
{
    teachingSet_ = TeachingSet();
    densityModel_.reset();
    learntResult_.reset();
    blobSettings_.reset();
    blobMarkers_.clear();
    showTeachOverlay();
    showDensityOverlay();
}

bool TForm2::predictLearnt(bool keepDensity)
{
    learntResult_.reset();
    if (!densityModel_ || layers_.Image1.empty()) return true;
    DensityResult result;
    const Picture& original = layers_.Image1;  // no input reaches the windows meanwhile
    const DensityModel& model = *densityModel_;
    const bool finished =
        runCancellable(this, QStringLiteral("Learnt count…"), [&](const std::atomic<bool>* cancel) {
            DensityOptions options;
            options.cancel = cancel;
            result = predictDensity(original, model, options, keepDensity);
        });
    if (!finished || result.cancelled) return false;
    learntResult_ = std::move(result);
    return true;
}

bool TForm2::countLearnt()
{
    if (!learntCountsOn() || !densityModel_) {
        learntResult_.reset();
        showDensityOverlay();
        return true;
    }
    const bool counted = predictLearnt(Densityview1->isChecked());
    showDensityOverlay();
    return counted;
}

std::vector<std::string> TForm2::learntLines(const ParameterTexts& texts, const TAnalysisState& state) const
{
    if (!learntResult_ || !densityModel_) return {};
    const DensityModel& model = *densityModel_;
    return learntReportLines(learntParticleCount(*learntResult_), {model.marks, model.pictures, model.particleScale},
                             texts, state);
}

void TForm2::DensityviewClick()
{
    if (Densityview1->isChecked() && !densityModel_) {
        Densityview1->setChecked(false);
        showStatus(QStringLiteral("Nothing learnt yet: choose Learn density count first"), windowTitle());
        return;
    }
    // The density plane is kept only while the view shows it.
    if (Densityview1->isChecked() && densityModel_ &&
        (!learntResult_ || learntResult_->density.values.empty()))
        predictLearnt(true);
    if (!Densityview1->isChecked() && learntResult_) learntResult_->density = FloatPlane();
    showDensityOverlay();
}

void TForm2::showDensityOverlay()
{
    QImage heat;
    std::vector<QPoint> positions;
    if (Densityview1 != nullptr && Densityview1->isChecked() && learntResult_) {
        if (!learntResult_->density.values.empty()) heat = heatImage(learntResult_->density);
        for (const Mark& position : learntResult_->positions) positions.emplace_back(position.x, position.y);
    }
    for (LayerView* layer : {Image1, Image2, Image3}) layer->setDensityOverlay(heat, positions);
}

// --- The model beside the report -----------------------------------------------------------------

bool TForm2::saveDensityModel(const fs::path& reportPath)
{
    const fs::path path = densityModelPath(reportPath);
    if (densityModel_ && learntResult_) {  // the report holds the learnt lines
        const FileSaveOutcome saved = writeDensityModelFile(path, *densityModel_);
        if (!saved.saved()) {
            dialogs().message(UserDialogs::MessageKind::Warning, QString::fromStdString(saved.error));
            return false;
        }
        return true;
    }
    // A model left from an earlier save of this report would come back with it: it goes.
    std::error_code error;
    if (fs::is_regular_file(path, error) && !fs::remove(path, error)) {
        dialogs().message(
            UserDialogs::MessageKind::Warning,
            QStringLiteral("Cannot remove the old model file %1: %2")
                .arg(QString::fromStdString(quotedPath(path)), QString::fromStdString(error.message())));
        return false;
    }
    return true;
}

void TForm2::restoreDensityModel(const fs::path& reportPath, bool reportHasModel)
{
    const fs::path path = densityModelPath(reportPath);
    std::error_code ignored;
    densityModel_.reset();
    learntResult_.reset();
    if (!fs::exists(path, ignored)) {
        if (reportHasModel)
            dialogs().message(UserDialogs::MessageKind::Warning,
                              QStringLiteral("The report was saved with a learnt count, but its model %1 is "
                                             "missing: the report is opened without its learnt count.")
                                  .arg(QString::fromStdString(quotedPath(path))));
    } else {
        const DensityModelReading reading = readDensityModelFile(path);
        if (!reading.error.empty()) {
            dialogs().message(UserDialogs::MessageKind::Warning,
                              QStringLiteral("%1\nThe report is opened without its learnt count.")
                                  .arg(QString::fromStdString(reading.error)));
        } else {
            densityModel_ = reading.model;
            Learntcounts1->setChecked(true);
        }
    }
    showDensityOverlay();
}
