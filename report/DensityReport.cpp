#include "report/DensityReport.h"

#include <cstdio>

#include "core/FieldText.h"
#include "report/NumberFormat.h"
#include "report/ReportText.h"
#include "report/Results.h"

std::string learntModelText(const LearntModelSummary& model)
{
    char scale[64];
    std::snprintf(scale, sizeof scale, "%.2f", model.particleScale);
    return std::to_string(model.marks) + " / " + std::to_string(model.pictures) + " / " +
           withRegionalSeparator(scale);
}

std::vector<std::string> learntReportLines(int learntCount, const LearntModelSummary& model,
                                           const ParameterTexts& fields, const TAnalysisState& state)
{
    TAnalysisState learnt = state;
    learnt.AutoCount = learntCount;
    computeResults(fields, learnt);
    return {kLearntCountLabel + std::to_string(learntCount),
            kLearntPerFilterLabel + formatScientific(learnt.ParticlesPerFilter),
            kLearntPerCm3Label + formatScientific(learnt.ParticlesPerCm3), kLearntModelLabel + learntModelText(model)};
}

bool hasLearntModelLine(const std::vector<std::string>& lines)
{
    for (std::size_t i = kReportLineCount; i < lines.size(); ++i)
        if (lines[i].rfind(kLearntModelLabel, 0) == 0) return true;
    return false;
}
