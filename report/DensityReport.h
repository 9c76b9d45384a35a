#pragma once
// The learnt count's lines, appended after the report's 21 lines and the blob lines (never in their
// place): the count, per filter, per cm^3 of sample, and what the model was taught on. The model
// itself is a file beside the report.

#include <string>
#include <vector>

#include "core/AnalysisState.h"
#include "core/ParameterTexts.h"

inline constexpr const char* kLearntCountLabel = "<Learnt count:> ";
inline constexpr const char* kLearntPerFilterLabel = "<Learnt per filter:> ";
inline constexpr const char* kLearntPerCm3Label = "<Learnt per cm^3 of sample:> ";
inline constexpr const char* kLearntModelLabel = "<Learnt model (marks / pictures / particle scale):> ";
inline constexpr int kLearntReportLineCount = 4;

/// What the learnt model was taught on, for its summary line.
struct LearntModelSummary {
    int marks = 0;
    int pictures = 0;
    double particleScale = 0;  // pixels
};

/// The four learnt lines for learntCount particles on the record's picture. The results are computed
/// as the particles' are (the same fields, the same arithmetic); throws FieldError like computeResults.
std::vector<std::string> learntReportLines(int learntCount, const LearntModelSummary& model,
                                           const ParameterTexts& fields, const TAnalysisState& state);

/// The model line's value: "300 / 2 / 3,15" (the scale with the regional separator).
std::string learntModelText(const LearntModelSummary& model);

/// True when lines, after the 21 report lines, hold a learnt model line: the report was written
/// with a model, which should then lie beside it.
bool hasLearntModelLine(const std::vector<std::string>& lines);
