#include "detect/CountRun.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/FieldText.h"
#include "detect/AreaFill.h"
#include "detect/ColourModel.h"
#include "detect/FillMasks.h"
#include "core/Markers.h"
#include "core/Ring.h"

namespace {

constexpr std::int64_t kPixel = Picture::kBytesPerPixel;

/// Pixels looked at together by the quick brightness pre-check.
constexpr std::int64_t kBlockPixels = 16;
constexpr std::int64_t kBlockBytes = kBlockPixels * kPixel;

/// True when none of the kBlockBytes bytes from bytes lies in [low, high]. Most of a micrograph is
/// background far from the target's brightness: whole blocks of pixels then fail the brightness test
/// at once. Every byte is looked at, not only the dominant channel's, so the answer may be "no" for
/// a block that holds no candidate, never "yes" for one that does.
inline bool noByteInRange(const std::uint8_t* bytes, std::uint8_t low, std::uint8_t high)
{
#if defined(__SSE2__)
    const __m128i lows = _mm_set1_epi8(static_cast<char>(low));
    const __m128i highs = _mm_set1_epi8(static_cast<char>(high));
    __m128i inRange = _mm_setzero_si128();
    for (int i = 0; i < kBlockBytes; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        inRange = _mm_or_si128(inRange, _mm_cmpeq_epi8(_mm_min_epu8(_mm_max_epu8(v, lows), highs), v));
    }
    return _mm_movemask_epi8(inRange) == 0;
#else
    unsigned inRange = 0;
    for (int i = 0; i < kBlockBytes; ++i) inRange |= static_cast<std::uint8_t>(bytes[i] - low) <= high - low;
    return inRange == 0;
#endif
}

/// Rows of the scan between two calls of a progress hook: a 24-megapixel picture's count asks about
/// 250 times, and a hook that stops it is heard within a fraction of a second.
constexpr std::int64_t kProgressRows = 16;

/// Step 5 of the run: the manual counters and the area restart at 0.
void resetCounters(TAnalysisState& state)
{
    state.ManualRemoved = 0;
    state.ManualAdded = 0;
    state.TotalAreaPixels = 0;
}

/// The scan proper: every pixel inside the margins runs the brightness, colour balance and contrast
/// tests, then the surroundings checks; an accepted particle is counted, ringed, marked and filled.
/// Step 2 (the count and area layers become copies of the original) happens through rows, row by
/// row as the scan goes; all rows are copied when this returns.
/// Returns false when progress asked it to stop: the layers are then partly made and the counters
/// partly counted, and the caller drops them.
bool scanForParticles(CountLayers layers, TAnalysisState& state, const CountParams& params, LayerRowSupply& rows,
                      ParticleList* particles, const WorkProgress& progress = {})
{
    state.AutoCount = 0;
    const Picture& original = layers.Image1;
    const std::int64_t m = countReach(params.maxSize);
    const std::int64_t height = original.height();
    const std::int64_t width = original.width();
    const std::int64_t firstRow = m + 2;
    const std::int64_t lastRow = height - m - 3;
    const std::int64_t firstByte = kPixel * (m + 1);
    const std::int64_t endByte = kPixel * (width - m - 3);
    if (lastRow < firstRow || endByte <= firstByte) {
        rows.copyAll();
        return true;
    }

    const ColourModel model = buildColourModel(params.targetColour);
    const std::uint32_t pen = ringColour(params.targetColour);
    CountWorkingValues run;
    run.original = &original;
    run.countLayer = &layers.Image2;
    run.areaLayer = &layers.Image3;
    run.model = model;
    run.colourTolerance = params.colourTolerance;
    run.brightnessTolerance = params.brightnessTolerance;
    run.minSize = params.minSize;
    run.rows = &rows;
    FillMasks masks(layers, &rows, FillTest{model, params.colourTolerance, params.brightnessTolerance});
    // The particle table sums each particle's colours pixel by pixel: such a count keeps to that path.
    run.masks = particles ? nullptr : &masks;
    // Rows below the scanned row that a candidate's window, ring, marker and first rings reach.
    const std::int64_t lookahead = std::max<std::int64_t>(params.minSize, 5);

    const int d = model.dominant, s = model.second;
    const int dominantValue = model.dominantValue;
    const int expected = model.expectedDifference;
    const int colourTolerance = params.colourTolerance;
    const int minContrast = params.minContrast;
    // The brightness test |value - dominant value| <= tolerance as one unsigned range check.
    const int brightLow = std::max(0, dominantValue - static_cast<int>(params.brightnessTolerance));
    const int brightHigh = std::min(255, dominantValue + static_cast<int>(params.brightnessTolerance));
    const auto brightSpan = static_cast<unsigned>(brightHigh - brightLow);
    const auto brightLowByte = static_cast<std::uint8_t>(brightLow),
               brightHighByte = static_cast<std::uint8_t>(brightHigh);
    const std::int64_t skip = 2 * kPixel * params.minSize;  // bytes jumped after a hit, beyond the usual 3

    const std::int64_t scanRows = lastRow - firstRow + 1;
    for (std::int64_t y = firstRow; y <= lastRow; ++y) {
        if (progress && (y - firstRow) % kProgressRows == 0 && !progress(y - firstRow, scanRows)) return false;
        rows.ensure(y + lookahead);
        rows.ensureDecoded(y + m);  // the contrast's lower samples
        const std::uint8_t* upper = original.row(static_cast<int>(y - m));
        const std::uint8_t* centre = original.row(static_cast<int>(y));
        const std::uint8_t* lower = original.row(static_cast<int>(y + m));
        std::uint8_t* areaRow = layers.Image3.row(static_cast<int>(y));
        const std::uint8_t* centreD = centre + d;
        for (std::int64_t x = firstByte; x < endByte;) {
            if (x + kBlockBytes <= endByte && noByteInRange(centre + x, brightLowByte, brightHighByte)) {
                x += kBlockBytes;
                continue;
            }
            const std::int64_t blockEnd = std::min(x + kBlockBytes, endByte);
            for (; x < blockEnd; x += kPixel) {
                const int value = centreD[x];
                if (static_cast<unsigned>(value - brightLow) > brightSpan) continue;  // 1. brightness
                if (std::abs(value - centre[x + s] - expected) > colourTolerance)
                    continue;  // 2. colour balance
                // 3. Contrast: samples m rows up and down, m bytes (not pixels) left and right.
                const int sumD =
                    upper[x + d - m] + upper[x + d + m] + lower[x + d - m] + lower[x + d + m] - 4 * value;
                const int sumS = upper[x + s - m] + upper[x + s + m] + lower[x + s - m] + lower[x + s + m] -
                                 4 * centre[x + s];
                if ((std::abs(sumD) + std::abs(sumS)) / 8 <= minContrast) continue;
                run.y = static_cast<int>(y);
                run.x = static_cast<std::ptrdiff_t>(x);
                if (!nomarknear(run) || !enoughmatches(run)) continue;                            // 4. and 5.
                ++state.AutoCount;                                                                // 6. accept
                drawRing(layers.Image2, static_cast<int>(x / kPixel), static_cast<int>(y), pen);  // 7. mark
                masks.noteRingDrawn(static_cast<int>(x / kPixel), static_cast<int>(y));
                areaRow[x] = kMarkBlue;
                areaRow[x + 1] = kCentreGreen;
                masks.noteMarked(static_cast<int>(y), static_cast<int>(x / kPixel));
                if (particles) {
                    ParticleRecord& record = particles->particles.emplace_back();
                    record.x = static_cast<std::int32_t>(x / kPixel);
                    record.y = static_cast<std::int32_t>(y);
                    run.particle = &record;
                }
                fillarea(run, state);  // 8. fill, then skip the rest of this particle in the row
                x += skip;
            }
        }
    }
    rows.copyAll();
    return !progress || progress(scanRows, scanRows);
}

}  // namespace

std::int64_t countReach(std::int32_t maxSize)
{
    return (static_cast<std::int64_t>(maxSize) + 3) / 2;
}

CountParams readCountParams(const ParameterTexts& texts, std::uint32_t targetColour)
{
    constexpr std::int64_t kMax16 = std::numeric_limits<std::uint16_t>::max();
    CountParams params;
    params.targetColour = targetColour;
    params.colourTolerance =
        static_cast<std::uint16_t>(readWholeField(kColourToleranceField, texts.EdDevi, 0, kMax16));
    params.brightnessTolerance =
        static_cast<std::uint16_t>(readWholeField(kBrightnessToleranceField, texts.Edhell, 0, kMax16));
    params.minContrast =
        static_cast<std::uint16_t>(readWholeField(kMinContrastField, texts.EdCont, 0, kMax16));
    params.maxSize = static_cast<std::int32_t>(
        readWholeField(kMaxSizeField, texts.EdMax, 0, std::numeric_limits<std::int32_t>::max()));
    params.minSize = static_cast<std::uint8_t>(readWholeField(kMinSizeField, texts.Edmin, 0, 255));
    return params;
}

void countParticles(Layers& layers, TAnalysisState& state, std::uint32_t targetColour,
                    const ParameterTexts& texts, ParticleList* particles)
{
    if (particles) particles->clear();
    LayerRowSupply rows(layers);
    resetCounters(state);
    CountParams params;
    try {
        params = readCountParams(texts, targetColour);
    } catch (const FieldError&) {
        rows.copyAll();  // a bad field ends the run with the layers reset
        throw;
    }
    scanForParticles(layers, state, params, rows, particles);
}

void runCount(Layers& layers, TAnalysisState& state, const CountParams& params, ParticleList* particles)
{
    if (particles) particles->clear();
    LayerRowSupply rows(layers);
    resetCounters(state);
    scanForParticles(layers, state, params, rows, particles);
}

bool runCountAsRowsArrive(CountLayers layers, TAnalysisState& state, const CountParams& params,
                          const RowsReady& decoded, ParticleList* particles)
{
    if (particles) particles->clear();
    LayerRowSupply rows(layers, &decoded);
    resetCounters(state);
    try {
        scanForParticles(layers, state, params, rows, particles);
    } catch (const RowsNeverReady&) {
        return false;
    }
    return true;
}

std::optional<FinishedCount> countIntoNewLayers(const Picture& original, const CountParams& params,
                                              bool collectParticles, const WorkProgress& progress,
                                              Picture spareImage2, Picture spareImage3)
{
    std::optional<FinishedCount> outcome(std::in_place);
    outcome->Image2 = std::move(spareImage2);  // LayerRowSupply sizes them, keeping a buffer that fits
    outcome->Image3 = std::move(spareImage3);
    CountLayers layers(original, outcome->Image2, outcome->Image3);
    LayerRowSupply rows(layers);
    TAnalysisState counters;  // the run's own counters; the caller's record is not touched
    if (!scanForParticles(layers, counters, params, rows, collectParticles ? &outcome->particles : nullptr, progress))
        return std::nullopt;
    outcome->AutoCount = counters.AutoCount;
    outcome->TotalAreaPixels = counters.TotalAreaPixels;
    return outcome;
}

void applyFinishedCount(FinishedCount& outcome, Layers& layers, TAnalysisState& state, ParticleList* particles)
{
    std::swap(layers.Image2, outcome.Image2);
    std::swap(layers.Image3, outcome.Image3);
    resetCounters(state);
    state.AutoCount = outcome.AutoCount;
    state.TotalAreaPixels = outcome.TotalAreaPixels;
    if (particles) *particles = std::move(outcome.particles);
}

void finishCountState(TAnalysisState& state)
{
    // The run sets add mode and then toggles the click mode, which always ends in remove mode.
    state.AddMode = false;
    state.ReportActive = true;
    state.ViewMode = kViewCount;
}

bool exportEnabledAfterCount(const TAnalysisState& state)
{
    return state.AutoCount > 0 && state.ExportMode != kExportOff && state.GridMicrons != 0;
}
