#pragma once
// The two results of a count: particles per filter and particles per cubic centimetre of sample.

#include "core/AnalysisState.h"
#include "core/ParameterTexts.h"

/// Computes ParticlesPerFilter and ParticlesPerCm3 from the count, the picture size and the fields
/// Edfilter, Edpixmm and EdVol (read in this order), with extended-precision intermediates.
/// Throws FieldError when a field is no number, when pixels per mm or the sample volume is 0, or
/// when there is no picture; the record is then left as it was (both results or neither are stored).
void computeResults(const ParameterTexts& fields, TAnalysisState& state);

/// EdVol read with either decimal separator.
/// Throws FieldError naming the field and the text.
double readSampleVolume(const std::string& text);
