#pragma once
// Pooled fields: the saved reports of several fields of view of one filter give one result for the
// filter. The particles of all fields over their summed area give the density; a dispersion test
// (index of dispersion, chi-square with n - 1 degrees of freedom) chooses the 95 % interval: the
// exact Poisson (Garwood) interval on the total count when the counts are consistent with random
// scatter, else a Student-t interval from the between-field variation. Fields of different picture
// sizes or scales are weighted by their areas throughout.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/AtomicFile.h"
#include "report/ReportFile.h"

/// Why "Pool reports…" does not start while the report window holds a report not yet saved.
inline constexpr const char* kPoolUnsavedReportWarning =
    "The report in the report window is not saved. Save it first: the pooled result is shown in its place.";

/// One field of view as its saved report gives it.
struct PoolField {
    std::string reportName;       // the report's file name, for the pooled text and messages
    std::string pictureName;      // line 3
    std::filesystem::path picturePath;  // the picture whose size gave the area (empty when not read)
    std::int64_t count = 0;       // line 15: the count after manual corrections
    double areaMm2 = 0;           // the picture's width x height in mm, from its size and line 10
    std::int64_t filterArea = 0;  // line 11, mm^2
    double volume = 0;            // line 12, cm^3
    std::string volumeText;       // line 12 as the report writes it, for the pooled text
};

enum class PoolIntervalKind { Poisson, StudentT };

/// The significance level of the dispersion test and the interval's confidence (95 %).
inline constexpr double kPoolAlpha = 0.05;

struct PooledResult {
    std::string error;  // set when no result can be formed; nothing else is then valid
    int fields = 0;
    std::int64_t particles = 0;
    double areaMm2 = 0;
    double meanPerField = 0;
    double sdPerField = 0;  // of the counts, n - 1 in the divisor; NaN for one field
    // Dispersion: sum of (count - expected)^2 / expected with expected = total x field area / total
    // area; the index is that over n - 1. NaN when there is no test (one field, or no particles).
    double chiSquare = 0;
    int degreesOfFreedom = 0;
    double pValue = 0;  // P(chi-square >= the statistic)
    double dispersionIndex = 0;
    PoolIntervalKind kind = PoolIntervalKind::Poisson;
    std::string reason;  // why that interval, in words for the pooled text
    double perFilter = 0, perFilterLow = 0, perFilterHigh = 0;
    double perCm3 = 0, perCm3Low = 0, perCm3High = 0;
};

/// Pools the fields. All must name the same filter area and sample volume. A total past what the
/// interval computation holds exactly is refused.
PooledResult poolFields(const std::vector<PoolField>& fields);

/// Reads one saved report for pooling: lines 3, 10, 11, 12 and 15, and the size of its picture,
/// looked for beside the report and then in pictureFolders. error is set when any of it is missing.
struct PoolFieldReading {
    PoolField field;
    std::string error;  // names the report and what is wrong
};
PoolFieldReading readPoolField(const std::filesystem::path& report,
                               const std::vector<std::filesystem::path>& pictureFolders = {});

/// The same from a report already read (reportName names it in the error) and its picture's size, known
/// by the caller.
PoolFieldReading poolFieldOfReport(const ReportReading& text, const std::string& reportName,
                                   const std::filesystem::path& picturePath, std::int64_t width,
                                   std::int64_t height);

/// Reads every report for pooling. The same file given twice (under any name, hard links too) would
/// count its field twice: refused.
/// errors holds one message per report that cannot be used, in order; fields is valid only when it
/// is empty.
struct PoolReading {
    std::vector<PoolField> fields;
    std::vector<std::string> errors;
};
PoolReading readPoolFields(const std::vector<std::filesystem::path>& reports,
                           const std::vector<std::filesystem::path>& pictureFolders = {});

/// The pooled text, one line each (UTF-8), in the report's label style and number formats.
std::vector<std::string> pooledLines(const std::vector<PoolField>& fields, const PooledResult& result);

/// Writes the pooled text to path as a report file is written (Windows-1252, CR LF, atomically).
FileSaveOutcome writePooledReport(const std::filesystem::path& path, const std::vector<PoolField>& fields,
                                  const PooledResult& result);

/// The counter's line: fields, particles, particles per filter with its interval low and high,
/// particles per cm^3 with its interval, and the kind ("poisson" or "t"), tab-separated.
std::string pooledSummaryLine(const PooledResult& result);
