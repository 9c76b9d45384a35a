// TForm1's long work: the count button's count and the decoding of a picture, each on a worker thread
// through LongWork, so that the windows repaint and the user can cancel.

#include "gui/TForm1.h"

#include <QFileInfo>
#include <optional>

#include "core/AnalysisState.h"
#include "core/FieldText.h"
#include "detect/CountRun.h"
#include "gui/Forms.h"
#include "gui/LongWork.h"
#include "gui/TForm2.h"
#include "picture/PictureLoading.h"

void TForm1::countWithProgress()
{
    if (LongWork::running() || countInBackground_) return;  // one count at a time
    countInBackground_ = true;
    try {
        BnCountClick();
    } catch (...) {
        countInBackground_ = false;
        throw;
    }
    countInBackground_ = false;
}

bool TForm1::countOnLayers()
{
    ParticleList& particles = Form2->particles();
    if (!countInBackground_) {
        countParticles(Form2->layers(), AnalysisState, PnColorColour(), parameterTexts(), &particles);
        return true;
    }
    CountParams params;
    try {
        params = readCountParams(parameterTexts(), PnColorColour());
    } catch (const FieldError&) {
        // A field the count cannot use ends it as it always has: with the layers and the manual
        // counters reset, and the field named.
        countParticles(Form2->layers(), AnalysisState, PnColorColour(), parameterTexts(), &particles);
        throw;  // not reached: the count throws the same error
    }
    // The worker reads the original where it is and writes layers of its own: the windows keep
    // showing the old ones, and a cancel just drops the new ones. The user cannot change the
    // original meanwhile (LongWork lets no input through).
    // A picture just opened has count and area layers that hold nothing the count does not make
    // again: the count writes into their buffers, and a cancel has them made again. The first
    // picture after the start is spared two fresh 72 MB buffers and their first touch.
    std::optional<LayerBuffers> opened = Form2->takeNewPictureLayers();
    Picture countBuffer = opened ? std::move(opened->countLayer) : std::move(spareLayer_);
    Picture areaBuffer = opened ? std::move(opened->areaLayer) : std::move(secondSpareLayer_);
    Layers& layers = Form2->layers();
    const Picture& original = layers.Image1;
    std::optional<FinishedCount> outcome;
    LongWork work(this, QStringLiteral("Counting particles…"));
    bool counted = false;
    try {
        counted = work.run([&](const WorkProgress& progress) {
            outcome = countIntoNewLayers(original, params, true, progress, std::move(countBuffer),
                                         std::move(areaBuffer));
            return outcome.has_value();
        });
    } catch (...) {
        if (opened) Form2->restoreNewPictureLayers();
        throw;
    }
    if (!counted) {
        if (opened) Form2->restoreNewPictureLayers();
        return false;
    }
    applyFinishedCount(*outcome, layers, AnalysisState, &particles);
    // The layers just replaced take the next count (none when the count wrote into them).
    keepSpareLayer(std::move(outcome->Image2));
    keepSpareLayer(std::move(outcome->Image3));
    return true;
}

DecodedPicture TForm1::decodeWithProgress(const std::filesystem::path& path, PictureKind kind, const QString& name,
                                          Picture recycled)
{
    DecodedPicture decoded;
    LongWork work(this, QStringLiteral("Loading %1…").arg(QFileInfo(name).fileName()));
    const bool loaded = work.run([&](const WorkProgress& progress) {
        decoded = decodePictureFile(path, kind, std::move(recycled), progress);
        return !decoded.cancelled;
    });
    if (!loaded) {
        decoded = DecodedPicture();
        decoded.cancelled = true;
    }
    return decoded;
}
