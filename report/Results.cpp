#include "report/Results.h"
#include "core/FieldLabels.h"

#include <cstdint>

#include "core/FieldText.h"

namespace {


}  // namespace

double readSampleVolume(const std::string& text) { return readDecimalField(kSampleVolumeField, text); }

void computeResults(const ParameterTexts& fields, TAnalysisState& state)
{
    const std::int64_t filterArea = readWholeField(kFilterAreaField, fields.Edfilter, INT32_MIN, INT32_MAX);
    // The product is formed in 64 bits: large areas times large counts must not wrap.
    const long double numerator = static_cast<long double>(filterArea * std::int64_t{state.AutoCount});
    const std::int64_t pixelsPerMm = readWholeField(kPixelsPerMmField, fields.Edpixmm, 0, INT32_MAX);
    if (pixelsPerMm == 0)
        throw FieldError{"Pixels / mm is 0: the picture's size in mm cannot be computed, so there are no "
                         "results."};
    if (state.ImageWidth <= 0 || state.ImageHeight <= 0)
        throw FieldError{"There is no picture, so there are no results to compute."};
    const long double widthMm = static_cast<long double>(state.ImageWidth) / pixelsPerMm;
    const long double heightMm = static_cast<long double>(state.ImageHeight) / pixelsPerMm;
    const double perFilter = static_cast<double>(numerator / (heightMm * widthMm));
    const long double sampleVolume = readSampleVolume(fields.EdVol);
    if (sampleVolume == 0)
        throw FieldError{"'" + fields.EdVol + "' in the field \"" + kSampleVolumeField +
                         "\" is 0: particles per cm^3 cannot be computed."};
    // Deliberate: the per-cm^3 value divides the stored (64-bit) per-filter value.
    const double perCm3 = static_cast<double>(static_cast<long double>(perFilter) / sampleVolume);
    state.ParticlesPerFilter = perFilter;
    state.ParticlesPerCm3 = perCm3;
}
