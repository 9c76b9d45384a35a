#include "report/Pooling.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/FieldText.h"
#include "picture/PictureLoading.h"
#include "report/Distributions.h"
#include "report/NumberFormat.h"
#include "report/ReportFile.h"

namespace fs = std::filesystem;

namespace {

// The report lines pooling reads (the layout of a saved report).
constexpr int kPictureLine = 3;
constexpr int kPixelsPerMmLine = 10;
constexpr int kFilterAreaLine = 11;
constexpr int kVolumeLine = 12;
constexpr int kCountLine = 15;
constexpr const char* kCountLabel = "<Particles counted:> ";
// The largest total pooled: the interval's series and fractions converge within their iterations up
// to about here, and far beyond the particles of any set of fields a person counts.
constexpr std::int64_t kMostPooledParticles = 1000000;

std::string numberText(double value)
{
    return std::isnan(value) ? std::string("-") : formatScientific(value);
}

/// The picture's width and height, or an error text.
struct PictureSize {
    std::int64_t width = 0, height = 0;
    std::string error;
};

PictureSize pictureSize(const fs::path& path)
{
    PictureSize size;
    const PictureKind kind = pictureKindForName(path.string());
    Picture picture;
    // Read as the counter reads it: compressed, tiled and 16-bit TIFF pictures too.
    if (kind != PictureKind::None) {
        DecodedPicture decoded = decodePictureFile(path, kind);
        if (decoded.failed()) {
            size.error = decoded.error;
            return size;
        }
        picture = std::move(decoded.picture);
    }
    if (picture.empty()) {
        size.error = "the picture " + quotedPath(path) + " cannot be read";
        return size;
    }
    size.width = picture.width();
    size.height = picture.height();
    return size;
}

}  // namespace

namespace {

/// What pooling takes from a report's text, the area aside: the field less its area, and the pixels
/// per mm that turn the picture's size into the area. reading.error says what is missing.
struct PoolReportValues {
    PoolFieldReading reading;
    std::int64_t pixelsPerMm = 0;
};

PoolReportValues poolReportValues(const ReportReading& text, const std::string& reportName)
{
    PoolReportValues values;
    PoolFieldReading& reading = values.reading;
    PoolField& field = reading.field;
    field.reportName = reportName;
    if (!text.error.empty()) {
        reading.error = text.error;
        return values;
    }
    const auto fail = [&](const std::string& why) {
        reading.error = field.reportName + ": " + why;
        return values;
    };
    if (static_cast<int>(text.lines.size()) <= kCountLine ||
        text.lines[kCountLine].rfind(kCountLabel, 0) != 0)
        return fail("not a saved count report (line 16 does not give the particles counted)");
    const auto count = parseWholeNumber(reportLineValue(text.lines[kCountLine]));
    if (!count || *count < 0) return fail("the particles counted are no whole number");
    field.count = *count;
    const auto pixelsPerMm = parseWholeNumber(reportLineValue(text.lines[kPixelsPerMmLine]));
    if (!pixelsPerMm || *pixelsPerMm <= 0) return fail("the pixels per mm are no whole number above 0");
    values.pixelsPerMm = *pixelsPerMm;
    const auto filterArea = parseWholeNumber(reportLineValue(text.lines[kFilterAreaLine]));
    if (!filterArea || *filterArea <= 0) return fail("the filter area is no whole number above 0");
    field.filterArea = *filterArea;
    const auto volume = parseDecimal(reportLineValue(text.lines[kVolumeLine]));
    if (!volume || !(*volume > 0)) return fail("the sample volume is no number above 0");
    field.volume = *volume;
    field.volumeText = reportLineValue(text.lines[kVolumeLine]);
    // Only the picture's name part counts, as when a report is opened.
    field.pictureName = namePart(reportLineValue(text.lines[kPictureLine]));
    if (field.pictureName.empty()) return fail("names no picture");
    return values;
}

/// The field's area from its picture's size; error when the count cannot be one of that picture.
PoolFieldReading withPictureSize(PoolReportValues values, const fs::path& picturePath, std::int64_t width,
                                 std::int64_t height)
{
    PoolFieldReading& reading = values.reading;
    PoolField& field = reading.field;
    // Each particle holds at least its accepted pixel: a larger count is no count of this picture.
    if (field.count > width * height) {
        reading.error = field.reportName + ": the particles counted, " + std::to_string(field.count) +
                        ", are more than the " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels of its picture";
        return reading;
    }
    field.picturePath = picturePath;
    const double mmPerPixel = 1.0 / static_cast<double>(values.pixelsPerMm);
    field.areaMm2 = static_cast<double>(width) * mmPerPixel * static_cast<double>(height) * mmPerPixel;
    return reading;
}

}  // namespace

PoolFieldReading poolFieldOfReport(const ReportReading& text, const std::string& reportName,
                                   const fs::path& picturePath, std::int64_t width, std::int64_t height)
{
    PoolReportValues values = poolReportValues(text, reportName);
    if (!values.reading.error.empty()) return values.reading;
    return withPictureSize(std::move(values), picturePath, width, height);
}

PoolFieldReading readPoolField(const fs::path& report, const std::vector<fs::path>& pictureFolders)
{
    PoolReportValues values = poolReportValues(readReportFile(report), report.filename().string());
    PoolFieldReading& reading = values.reading;
    if (!reading.error.empty()) return reading;
    const PoolField& field = reading.field;
    // The report does not hold the picture's size: the picture is looked for beside the report, then
    // in the given folders.
    std::vector<fs::path> folders{report.parent_path()};
    folders.insert(folders.end(), pictureFolders.begin(), pictureFolders.end());
    for (const fs::path& folder : folders) {
        const fs::path candidate = (folder.empty() ? fs::path(".") : folder) / field.pictureName;
        std::error_code ignored;
        if (!fs::is_regular_file(candidate, ignored)) continue;
        const PictureSize size = pictureSize(candidate);
        if (!size.error.empty()) {
            reading.error = field.reportName + ": " + size.error;
            return reading;
        }
        return withPictureSize(std::move(values), candidate, size.width, size.height);
    }
    reading.error = field.reportName + ": its picture " + field.pictureName +
                    " is not found beside it; the field's area is taken from the picture's size";
    return reading;
}

PoolReading readPoolFields(const std::vector<fs::path>& reports, const std::vector<fs::path>& pictureFolders)
{
    PoolReading reading;
    std::vector<std::string> seen;
    for (const fs::path& report : reports) {
        const std::string same = sameFileKey(report);
        if (std::find(seen.begin(), seen.end(), same) != seen.end()) {
            reading.errors.push_back(report.filename().string() + ": given twice; each field counts once");
            continue;
        }
        seen.push_back(same);
        PoolFieldReading field = readPoolField(report, pictureFolders);
        if (!field.error.empty())
            reading.errors.push_back(field.error);
        else
            reading.fields.push_back(std::move(field.field));
    }
    return reading;
}

PooledResult poolFields(const std::vector<PoolField>& fields)
{
    PooledResult result;
    if (fields.empty()) {
        result.error = "No reports to pool.";
        return result;
    }
    const PoolField& first = fields.front();
    for (const PoolField& field : fields) {
        if (field.filterArea != first.filterArea || field.volume != first.volume) {
            result.error =
                field.reportName + " and " + first.reportName +
                " give different filter areas or sample volumes: they are not fields of one filter.";
            return result;
        }
        if (!(field.areaMm2 > 0)) {
            result.error = field.reportName + ": the field has no area.";
            return result;
        }
        if (field.count < 0 || field.count > kMostPooledParticles - result.particles) {
            result.error = field.reportName + ": the particles counted, " + std::to_string(field.count) +
                           ", bring the total past " + std::to_string(kMostPooledParticles) +
                           ", more than can be pooled.";
            return result;
        }
        result.particles += field.count;
        result.areaMm2 += field.areaMm2;
    }
    const int n = static_cast<int>(fields.size());
    const double total = static_cast<double>(result.particles);
    const double area = result.areaMm2;
    result.fields = n;
    result.meanPerField = total / n;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    result.sdPerField = nan;
    result.chiSquare = result.pValue = result.dispersionIndex = nan;
    result.degreesOfFreedom = n - 1;
    if (n > 1) {
        double squares = 0;
        for (const PoolField& field : fields)
            squares += (static_cast<double>(field.count) - result.meanPerField) *
                       (static_cast<double>(field.count) - result.meanPerField);
        result.sdPerField = std::sqrt(squares / (n - 1));
    }
    const double density = total / area;  // per mm^2, every field weighted by its area
    if (n > 1 && result.particles > 0) {
        double chiSquare = 0;
        for (const PoolField& field : fields) {
            const double expected = density * field.areaMm2;
            const double deviation = static_cast<double>(field.count) - expected;
            chiSquare += deviation * deviation / expected;
        }
        result.chiSquare = chiSquare;
        result.dispersionIndex = chiSquare / (n - 1);
        result.pValue = 1.0 - chiSquareCdf(chiSquare, n - 1);
    }

    // Deliberate: only too much scatter (p below alpha) leaves the Poisson interval. Counts more
    // even than random keep it, the wider and so the safer of the two.
    double low = 0, high = 0;  // particles per mm^2
    if (!(result.pValue < kPoolAlpha)) {
        result.kind = PoolIntervalKind::Poisson;
        if (n == 1)
            result.reason =
                "Poisson (exact, Garwood) on the total: one field gives no between-field variation";
        else if (result.particles == 0)
            result.reason = "Poisson (exact, Garwood) on the total: no particles in any field";
        else
            result.reason =
                "Poisson (exact, Garwood) on the total: the counts are consistent with random "
                "scatter (chi-square test, p = " +
                formatFixed(result.pValue) + ")";
        const double lowCount =
            result.particles == 0 ? 0.0 : chiSquareQuantile(kPoolAlpha / 2, 2 * total) / 2;
        const double highCount = chiSquareQuantile(1 - kPoolAlpha / 2, 2 * total + 2) / 2;
        low = lowCount / area;
        high = highCount / area;
    } else {
        result.kind = PoolIntervalKind::StudentT;
        result.reason =
            "Student t from the between-field variation: the counts scatter more than random "
            "(chi-square test, p = " +
            formatFixed(result.pValue) + ")";
        // Standard error of the ratio (area-weighted) mean over the fields.
        double squares = 0;
        for (const PoolField& field : fields) {
            const double residual = static_cast<double>(field.count) - density * field.areaMm2;
            squares += residual * residual;
        }
        const double standardError = std::sqrt(static_cast<double>(n) / (n - 1) * squares) / area;
        const double t = studentTQuantile(1 - kPoolAlpha / 2, n - 1);
        low = std::max(0.0, density - t * standardError);  // a density is never below 0
        high = density + t * standardError;
    }
    const double filterArea = static_cast<double>(first.filterArea);
    result.perFilter = density * filterArea;
    result.perFilterLow = low * filterArea;
    result.perFilterHigh = high * filterArea;
    result.perCm3 = result.perFilter / first.volume;
    result.perCm3Low = result.perFilterLow / first.volume;
    result.perCm3High = result.perFilterHigh / first.volume;
    return result;
}

std::vector<std::string> pooledLines(const std::vector<PoolField>& fields, const PooledResult& result)
{
    std::vector<std::string> lines;
    lines.push_back("S p o t T a l l y  POOLED RESULT");
    lines.push_back("<Fields pooled:> " + std::to_string(result.fields));
    for (const PoolField& field : fields)
        lines.push_back("<Field:> " + field.reportName + " / " + field.pictureName + " / " +
                        std::to_string(field.count) + " particles / " + formatScientific(field.areaMm2) +
                        " mm^2");
    if (!fields.empty()) {
        lines.push_back("<Filter area (mm^2):> " + std::to_string(fields.front().filterArea));
        lines.push_back("<Sample volume (cm^3):> " + (fields.front().volumeText.empty()
                                                          ? numberText(fields.front().volume)
                                                          : fields.front().volumeText));
    }
    lines.push_back("<_______________________________>");
    lines.push_back("<Total particles:> " + std::to_string(result.particles));
    lines.push_back("<Total area analysed (mm^2):> " + formatScientific(result.areaMm2));
    lines.push_back("<Mean per field:> " + numberText(result.meanPerField));
    lines.push_back("<Standard deviation per field:> " + numberText(result.sdPerField));
    lines.push_back("<Index of dispersion:> " + numberText(result.dispersionIndex));
    lines.push_back("<Chi-square with " + std::to_string(result.degreesOfFreedom) + " degrees of freedom:> " +
                    numberText(result.chiSquare));
    lines.push_back("<P (chi-square as large or larger):> " + numberText(result.pValue));
    lines.push_back("<95 % interval:> " + result.reason);
    lines.push_back("<Particles per filter:> " + formatScientific(result.perFilter));
    lines.push_back("<95 % interval per filter:> " + formatScientific(result.perFilterLow) + " - " +
                    formatScientific(result.perFilterHigh));
    lines.push_back("<Particles per cm^3 of sample:> " + formatScientific(result.perCm3));
    lines.push_back("<95 % interval per cm^3:> " + formatScientific(result.perCm3Low) + " - " +
                    formatScientific(result.perCm3High));
    lines.push_back("<_______________________________>");
    return lines;
}

FileSaveOutcome writePooledReport(const fs::path& path, const std::vector<PoolField>& fields,
                                  const PooledResult& result)
{
    return writeReportFile(path, pooledLines(fields, result));
}

std::string pooledSummaryLine(const PooledResult& result)
{
    return std::to_string(result.fields) + "\t" + std::to_string(result.particles) + "\t" +
           formatScientific(result.perFilter) + "\t" + formatScientific(result.perFilterLow) + "\t" +
           formatScientific(result.perFilterHigh) + "\t" + formatScientific(result.perCm3) + "\t" +
           formatScientific(result.perCm3Low) + "\t" + formatScientific(result.perCm3High) + "\t" +
           (result.kind == PoolIntervalKind::Poisson ? "poisson" : "t");
}
