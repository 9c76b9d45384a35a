#pragma once
// The count run: scans the original picture for particles of the target colour, counts and rings
// each accepted particle in the count layer, marks its centre and paints its area in the area layer.
// The window (BnCountClick) and the headless counter both call countParticles and then do their
// own finishing.

#include <cstdint>
#include <optional>

#include "core/AnalysisState.h"
#include "core/FieldLabels.h"
#include "core/ParameterTexts.h"
#include "core/Layers.h"
#include "core/Particles.h"
#include "core/RowsReady.h"
#include "core/WorkProgress.h"
#include "detect/CountLayers.h"

/// The count's parameters, converted from the main window's fields.
struct CountParams {
    std::uint16_t colourTolerance = 40;      // EdDevi
    std::uint16_t brightnessTolerance = 50;  // Edhell
    std::uint16_t minContrast = 40;          // EdCont: the contrast must be greater than this
    std::int32_t maxSize = 8;                // EdMax: only sets the reach m
    std::uint8_t minSize = 5;                // Edmin: candidate window and skip after a hit
    std::uint32_t targetColour = 0x5FDF79;   // 0xBBGGRR; default red 121, green 223, blue 95
};

/// Reads the count parameters in the order EdDevi, Edhell, EdCont, EdMax, Edmin. A text that is
/// not a whole number, or a value outside what the parameter holds (negative; tolerances and
/// contrast above 65535, maximum size above 2147483647, minimum size above 255), throws FieldError
/// naming the field.
CountParams readCountParams(const ParameterTexts& texts, std::uint32_t targetColour);

/// The reach m = (maximum size + 3) / 2: the contrast samples' distance and the scan's margin.
std::int64_t countReach(std::int32_t maxSize);

/// The whole run on the layers: the count and area layers become copies of the original (their
/// buffers are reused), ManualAdded, ManualRemoved and TotalAreaPixels restart at 0, the parameters
/// are read from texts, then AutoCount restarts and the scan runs. On a bad parameter text
/// FieldError is thrown after the layers and those three counters were reset; AutoCount keeps its
/// value then.
/// With particles given, it is cleared and receives one record per accepted particle, in count
/// order (the particle table's rows); the count itself is the same with or without it.
void countParticles(Layers& layers, TAnalysisState& state, std::uint32_t targetColour,
                    const ParameterTexts& texts, ParticleList* particles = nullptr);

/// The same run with parameters already converted.
void runCount(Layers& layers, TAnalysisState& state, const CountParams& params,
              ParticleList* particles = nullptr);

/// runCount's run on an original whose rows are still being decoded: layers.Image1 has its final size,
/// and the scan reads a row of it (and copies it into the count and area layers) only once decoded
/// says it is ready, waiting for it until then. The scan reads no row further below its current row
/// than the contrast's reach, the candidate window and ring, and the fill's rings and their tiles, so
/// it follows the decoding a few rows behind. Which rows are ready when changes nothing in the
/// outcome: it is runCount's, byte for byte. Returns false when decoded was closed without a row the
/// scan needed: the layers and counters are then partly made, for the caller to drop.
bool runCountAsRowsArrive(CountLayers layers, TAnalysisState& state, const CountParams& params,
                          const RowsReady& decoded, ParticleList* particles = nullptr);

/// What a count made apart from the window's layers, ready to take their place: the count and area
/// layers, the counters and the particles.
struct FinishedCount {
    Picture Image2;
    Picture Image3;
    std::int32_t AutoCount = 0;
    std::int64_t TotalAreaPixels = 0;
    ParticleList particles;  // filled only when asked for
};

/// runCount's run on original, written into layers of its own: nothing the caller holds changes, so a
/// count on a worker thread can be cancelled by dropping what it made. progress is asked every few
/// rows of the scan (rows scanned, rows in all); when it answers false the run stops and gives
/// nothing. The layers, counters and particles are those runCount makes. Throws std::bad_alloc when
/// the new layers do not fit.
/// spareImage2 and spareImage3, when their buffers are large enough, become the new layers: what they
/// hold is lost, and a 24-megapixel count is spared two fresh 72 MB buffers (and their first touch).
std::optional<FinishedCount> countIntoNewLayers(const Picture& original, const CountParams& params,
                                              bool collectParticles, const WorkProgress& progress = {},
                                              Picture spareImage2 = {}, Picture spareImage3 = {});

/// A finished count's outcome in place of the old count: the count and area layers, AutoCount and
/// TotalAreaPixels, the manual counters back to 0 and, when given, the particle list. The old count and
/// area layers are left in outcome, for the next count to write into.
void applyFinishedCount(FinishedCount& outcome, Layers& layers, TAnalysisState& state, ParticleList* particles);

/// The analysis record's part of the finishing after a run: remove mode (AddMode false), the report
/// active, the count view in front. Zoom, overlays, buttons and the report are the windows' job.
void finishCountState(TAnalysisState& state);

/// Whether the export button is enabled after a run: something counted, an export chosen and a grid.
bool exportEnabledAfterCount(const TAnalysisState& state);
