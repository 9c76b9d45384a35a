#pragma once
// The summary table of a count of many pictures: one CSV row per picture with its size, count,
// results and total particle area, then the blob and learnt counts when they were made. '.' as the
// decimal point whatever the regional settings.

#include <optional>
#include <string>

#include "core/AnalysisState.h"

/// The columns of every summary, with its line feed.
inline constexpr const char* kSummaryHeader =
    "file,width,height,particles,particles_per_filter,particles_per_cm3,total_area_pixels\n";

/// The header line for a summary with the blob and the learnt count's columns when asked for, after
/// the specified ones; with its line feed.
std::string summaryHeader(bool blobs, bool learnt);

/// A CSV field: the text, in double quotes (doubled inside) when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text);

/// A number as the summary writes it: ten significant digits, '.' as the decimal point.
std::string plainNumber(double value);

/// A picture's row, without its line feed: pathText, then the record's size, count, results and total
/// area, then blobCount and learntCount when given.
std::string summaryRow(const std::string& pathText, const TAnalysisState& state,
                       std::optional<int> blobCount = std::nullopt,
                       std::optional<int> learntCount = std::nullopt);
