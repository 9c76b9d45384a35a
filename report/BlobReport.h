#pragma once
// The blob count's lines, appended after the report's 21 lines (never in their place): the count,
// per filter, per cm^3 of sample, and the settings it was made with, so that reading a report back
// restores them.

#include <optional>
#include <string>
#include <vector>

#include "core/AnalysisState.h"
#include "core/BlobSettings.h"
#include "core/ParameterTexts.h"

inline constexpr const char* kBlobCountLabel = "<Blob count:> ";
inline constexpr const char* kBlobsPerFilterLabel = "<Blobs per filter:> ";
inline constexpr const char* kBlobsPerCm3Label = "<Blobs per cm^3 of sample:> ";
inline constexpr const char* kBlobSettingsLabel = "<Blob settings (scale / threshold / distance):> ";
inline constexpr int kBlobReportLineCount = 4;

/// The four blob lines for blobCount blobs on the record's picture. The results are computed as the
/// particles' are (the same fields, the same arithmetic); throws FieldError like computeResults.
std::vector<std::string> blobReportLines(int blobCount, const BlobSettings& settings, const ParameterTexts& fields,
                                         const TAnalysisState& state);

/// The settings line's value: "2,35 / 2,674 / 3" (scale and threshold with the regional separator).
std::string blobSettingsText(const BlobSettings& settings);

/// Finds the settings line after the 21 report lines and reads it. No such line: nullopt and no
/// error. A line that cannot be read: nullopt and error says why.
std::optional<BlobSettings> readBlobSettings(const std::vector<std::string>& lines, std::string& error);
