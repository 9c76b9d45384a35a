#include "report/BlobReport.h"

#include <cmath>
#include <cstdio>

#include "core/FieldText.h"
#include "report/NumberFormat.h"
#include "report/ReportText.h"
#include "report/Results.h"

namespace {

constexpr double kLargestScale = 50;  // pixels; far beyond any particle the program counts
// Below half a pixel the filter answers every pixel's noise: each one becomes a blob.
constexpr double kLeastScale = 0.5;
constexpr int kLargestDistance = 1000;

std::string decimalText(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return withRegionalSeparator(text);
}

}  // namespace

std::string blobSettingsText(const BlobSettings& settings)
{
    return decimalText(settings.scale, 2) + " / " + decimalText(settings.threshold, 3) + " / " +
           std::to_string(settings.minDistance);
}

std::vector<std::string> blobReportLines(int blobCount, const BlobSettings& settings, const ParameterTexts& fields,
                                         const TAnalysisState& state)
{
    TAnalysisState blobs = state;
    blobs.AutoCount = blobCount;
    computeResults(fields, blobs);
    return {kBlobCountLabel + std::to_string(blobCount),
            kBlobsPerFilterLabel + formatScientific(blobs.ParticlesPerFilter),
            kBlobsPerCm3Label + formatScientific(blobs.ParticlesPerCm3),
            kBlobSettingsLabel + blobSettingsText(settings)};
}

std::optional<BlobSettings> readBlobSettings(const std::vector<std::string>& lines, std::string& error)
{
    const std::string label = kBlobSettingsLabel;
    std::size_t settingsLine = 0, countLine = 0;
    for (std::size_t i = kReportLineCount; i < lines.size(); ++i) {
        if (lines[i].rfind(kBlobCountLabel, 0) == 0 && countLine == 0) countLine = i;
        if (lines[i].rfind(label, 0) != 0) continue;
        if (settingsLine != 0) {
            // Which of two would be the one meant cannot be told.
            error = "lines " + std::to_string(settingsLine) + " and " + std::to_string(i) +
                    " both hold blob settings; a report holds one";
            return std::nullopt;
        }
        settingsLine = i;
    }
    if (settingsLine == 0) {
        // The blob lines without their settings: the default settings would count other blobs.
        if (countLine != 0)
            error = "line " + std::to_string(countLine) + " gives a blob count, but no line holds the blob "
                    "settings it was counted with";
        return std::nullopt;
    }
    const std::string value = lines[settingsLine].substr(label.size());
    const std::size_t first = value.find(" / ");
    const std::size_t second = first == std::string::npos ? first : value.find(" / ", first + 3);
    std::optional<double> scale, threshold;
    std::optional<std::int64_t> distance;
    if (second != std::string::npos) {
        scale = parseDecimal(value.substr(0, first));
        threshold = parseDecimal(value.substr(first + 3, second - first - 3));
        distance = parseWholeNumber(value.substr(second + 3));
    }
    if (!scale || !threshold || !distance || !(*scale >= kLeastScale) || *scale > kLargestScale ||
        !std::isfinite(*threshold) || *threshold < 0 || *distance < 0 || *distance > kLargestDistance) {
        error = "line " + std::to_string(settingsLine) +
                " does not hold blob settings as scale / threshold / distance "
                "(scale from 0.5 to 50, threshold from 0, distance from 0 to 1000): '" + value + "'";
        return std::nullopt;
    }
    return BlobSettings{*scale, *threshold, static_cast<int>(*distance)};
}
