#include "report/Series.h"

#include <algorithm>
#include <climits>

#include "core/FieldText.h"
#include "core/ParameterTexts.h"
#include "picture/PictureFolder.h"
#include "picture/PictureLoading.h"
#include "picture/PictureSize.h"
#include "report/BlobReport.h"
#include "report/CountSummary.h"
#include "report/DensityReport.h"
#include "report/ParticleTable.h"
#include "report/ReportFile.h"
#include "report/ReportText.h"
#include "report/Results.h"

namespace fs = std::filesystem;

namespace {

// Report line 16 (index): removed / added by hand.
constexpr std::size_t kCorrectionsLine = kFirstResultLine + 1;
constexpr const char* kCorrectionsLabel = "<including manually removed / added:> ";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

SeriesRow damaged(SeriesRow row, const std::string& why)
{
    row.state = SeriesState::Damaged;
    row.problem = why;
    row.count.reset();
    row.blobCount.reset();
    row.learntCount.reset();
    row.removed = row.added = 0;
    row.perFilter.reset();
    row.perCm3.reset();
    row.totalAreaPixels.reset();
    row.poolField.reset();
    return row;
}

}  // namespace

std::optional<int> reportLabelledCount(const std::vector<std::string>& lines, const char* label,
                                 const std::string& reportName, std::string& error)
{
    for (std::size_t i = kReportLineCount; i < lines.size(); ++i) {
        if (lines[i].rfind(label, 0) != 0) continue;
        const auto value = parseWholeNumber(reportLineValue(lines[i]));
        if (!value || *value < 0 || *value > INT_MAX) {
            const std::string labelText(label);
            error = reportName + ": line " + std::to_string(i + 1) + " holds no count after \"" +
                    labelText.substr(0, labelText.size() - 1) + "\"";
            return std::nullopt;
        }
        return static_cast<int>(*value);
    }
    return std::nullopt;
}


const char* seriesStateText(SeriesState state)
{
    switch (state) {
    case SeriesState::NotCounted: return "not counted";
    case SeriesState::Counted: return "counted";
    case SeriesState::Corrected: return "corrected";
    case SeriesState::Saved: return "saved";
    case SeriesState::Damaged: return "damaged";
    }
    return "damaged";
}

bool naturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the runs' values: leading zeros aside, the longer run is the larger number.
            std::size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA])) ++endA;
            while (endB < b.size() && isDigit(b[endB])) ++endB;
            std::size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            const std::string_view runA(a.data() + startA, endA - startA),
                runB(b.data() + startB, endB - startB);
            if (runA.size() != runB.size()) return runA.size() < runB.size();
            if (runA != runB) return runA < runB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size())) return j < b.size();
    return a < b;  // equal but for leading zeros: still one order
}

SeriesRow readSeriesRow(const fs::path& picture)
{
    SeriesRow row;
    row.path = picture;
    row.name = picture.filename().string();
    if (pictureKindForName(row.name) == PictureKind::None)
        return damaged(row, row.name + ": " + kUnreadablePictureKindReason);
    const PictureHeaderSize size = readPictureHeaderSize(picture);
    if (!size.known()) return damaged(row, size.error);
    // The size the loader refuses (and the record's 32-bit width and height cannot hold).
    if (size.width > INT32_MAX || size.height > INT32_MAX ||
        static_cast<double>(size.width) * static_cast<double>(size.height) * 3 >
            static_cast<double>(kMaxPictureBytes))
        return damaged(row, "the picture " + quotedPath(picture) + " is larger than a picture can be loaded");
    row.width = size.width;
    row.height = size.height;

    const std::string reportName = reportFileName(row.name);
    const fs::path report = picture.parent_path() / reportName;
    std::error_code ec;
    if (!fs::exists(report, ec)) return row;  // NotCounted
    const ReportReading text = readReportFile(report);
    if (!text.error.empty()) return damaged(row, text.error);
    const PoolFieldReading field = poolFieldOfReport(text, reportName, picture, row.width, row.height);
    if (!field.error.empty()) return damaged(row, field.error);
    if (field.field.pictureName != row.name)
        return damaged(row, reportName + ": the report is of the picture " + field.field.pictureName +
                                ", not of " + row.name);
    const std::vector<std::string>& lines = text.lines;
    const auto corrections =
        lines.size() > kCorrectionsLine && lines[kCorrectionsLine].rfind(kCorrectionsLabel, 0) == 0
            ? std::optional<std::string>(reportLineValue(lines[kCorrectionsLine]))
            : std::nullopt;
    const std::size_t slash = corrections ? corrections->find(" / ") : std::string::npos;
    const auto removed =
        slash != std::string::npos ? parseWholeNumber(corrections->substr(0, slash)) : std::nullopt;
    const auto added =
        slash != std::string::npos ? parseWholeNumber(corrections->substr(slash + 3)) : std::nullopt;
    if (!removed || !added || *removed < 0 || *removed > UINT16_MAX || *added < 0 || *added > UINT16_MAX)
        return damaged(row, reportName + ": line 17 does not give the particles removed / added by hand");
    std::string problem;
    const std::optional<int> blobs = reportLabelledCount(lines, kBlobCountLabel, reportName, problem);
    const std::optional<int> learnt = reportLabelledCount(lines, kLearntCountLabel, reportName, problem);
    if (!problem.empty()) return damaged(row, problem);

    // The results as the count computed them: from the report's fields and the picture's size.
    ParameterTexts fields;
    copyReportValues(text, fields);
    TAnalysisState state;
    state.ImageWidth = static_cast<std::int32_t>(row.width);
    state.ImageHeight = static_cast<std::int32_t>(row.height);
    state.AutoCount = static_cast<std::int32_t>(std::min<std::int64_t>(field.field.count, INT32_MAX));
    try {
        computeResults(fields, state);
    } catch (const FieldError& error) {
        return damaged(row, reportName + ": " + error.message);
    }
    row.count = state.AutoCount;
    row.removed = static_cast<std::uint16_t>(*removed);
    row.added = static_cast<std::uint16_t>(*added);
    row.blobCount = blobs;
    row.learntCount = learnt;
    row.perFilter = state.ParticlesPerFilter;
    row.perCm3 = state.ParticlesPerCm3;
    row.poolField = field.field;
    row.state = SeriesState::Saved;

    // The total particle area is in the report to three digits only: the particle table has it whole.
    const fs::path table = picture.parent_path() / particleTableFileName(row.name);
    if (fs::exists(table, ec)) {
        const ParticleTableReading particles = readParticleTable(table);
        if (particles.error.empty()) {
            std::int64_t total = 0;
            for (const ParticleTableRow& particle : particles.rows) total += particle.areaPixels;
            row.totalAreaPixels = total;
        }
    }
    return row;
}

Series Series::openFolder(const fs::path& folder)
{
    Series series;
    series.folder_ = folder;
    series.fromFolder_ = true;
    std::vector<fs::path> pictures = picturesOfFolder(folder, false, series.error_);
    if (!series.error_.empty()) return series;
    std::stable_sort(pictures.begin(), pictures.end(), [](const fs::path& a, const fs::path& b) {
        return naturalLess(a.filename().string(), b.filename().string());
    });
    for (const fs::path& picture : pictures) series.appendRow(picture);
    return series;
}

Series Series::openPictures(const std::vector<fs::path>& pictures)
{
    Series series;
    std::vector<fs::path> sorted = pictures;
    std::stable_sort(sorted.begin(), sorted.end(), [](const fs::path& a, const fs::path& b) {
        const std::string nameA = a.filename().string(), nameB = b.filename().string();
        if (nameA != nameB) return naturalLess(nameA, nameB);
        return a < b;
    });
    std::vector<std::string> seen;
    for (const fs::path& picture : sorted) {
        const std::string same = sameFileKey(picture);
        if (std::find(seen.begin(), seen.end(), same) != seen.end()) continue;
        seen.push_back(same);
        series.appendRow(picture);
    }
    if (series.rows_.empty())
        series.error_ = "no pictures given";
    else
        series.folder_ = series.rows_.front().path.parent_path();
    return series;
}

void Series::appendRow(const fs::path& picture) { rows_.push_back(readSeriesRow(picture)); }

std::optional<std::size_t> Series::indexOf(const fs::path& picture) const
{
    const std::string same = sameFileKey(picture);
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].path == picture || sameFileKey(rows_[i].path) == same) return i;
    return std::nullopt;
}

void Series::refresh(std::size_t index) { rows_.at(index) = readSeriesRow(rows_.at(index).path); }

void Series::setCounted(std::size_t index, const TAnalysisState& state, std::optional<int> blobCount,
                        std::optional<int> learntCount)
{
    SeriesRow& row = rows_.at(index);
    row.width = state.ImageWidth;
    row.height = state.ImageHeight;
    row.blobCount = blobCount;
    row.learntCount = learntCount;
    row.totalAreaPixels = state.TotalAreaPixels;
    setCorrected(index, state);
}

void Series::setCorrected(std::size_t index, const TAnalysisState& state)
{
    SeriesRow& row = rows_.at(index);
    row.count = state.AutoCount;
    row.removed = state.ManualRemoved;
    row.added = state.ManualAdded;
    row.perFilter = state.ParticlesPerFilter;
    row.perCm3 = state.ParticlesPerCm3;
    row.state =
        state.ManualRemoved == 0 && state.ManualAdded == 0 ? SeriesState::Counted : SeriesState::Corrected;
    row.problem.clear();
    // What the saved report held is no longer the row's count.
    row.poolField.reset();
}

SeriesPool Series::pooled() const
{
    SeriesPool pool;
    for (const SeriesRow& row : rows_) {
        if (row.state == SeriesState::Damaged) {
            ++pool.damaged;
            pool.problems.push_back(row.problem);
        } else if (row.state != SeriesState::Saved || !row.poolField) {
            ++pool.notSaved;
        } else {
            pool.fields.push_back(*row.poolField);
        }
    }
    pool.result = poolFields(pool.fields);
    return pool;
}

FileSaveOutcome writeSeriesPooledReport(const Series& series)
{
    const SeriesPool pool = series.pooled();
    if (!pool.result.error.empty()) return {pool.result.error, {}};
    return writePooledReport(series.folder() / kPooledReportFileName, pool.fields, pool.result);
}

std::string seriesCsvText(const Series& series)
{
    std::string text = summaryHeader(true, true);
    text.insert(text.size() - 1, ",removed,added,state");
    const auto optionalNumber = [](const auto& value) {
        return value ? std::to_string(*value) : std::string();
    };
    const auto optionalDecimal = [](const std::optional<double>& value) {
        return value ? plainNumber(*value) : std::string();
    };
    for (const SeriesRow& row : series.rows()) {
        const bool known = row.count.has_value();
        // The summary's own row where every value is known, so the columns read as the counter's.
        if (known && row.totalAreaPixels && row.perFilter && row.perCm3) {
            TAnalysisState state;
            state.ImageWidth = static_cast<std::int32_t>(row.width);
            state.ImageHeight = static_cast<std::int32_t>(row.height);
            state.AutoCount = *row.count;
            state.ParticlesPerFilter = *row.perFilter;
            state.ParticlesPerCm3 = *row.perCm3;
            state.TotalAreaPixels = *row.totalAreaPixels;
            text += summaryRow(row.path.string(), state);
        } else {
            text += csvField(row.path.string()) + "," + (row.width > 0 ? std::to_string(row.width) : "") +
                    "," + (row.height > 0 ? std::to_string(row.height) : "") + "," +
                    optionalNumber(row.count) + "," + optionalDecimal(row.perFilter) + "," +
                    optionalDecimal(row.perCm3) + "," + optionalNumber(row.totalAreaPixels);
        }
        text += "," + optionalNumber(row.blobCount) + "," + optionalNumber(row.learntCount);
        text += "," + (known ? std::to_string(row.removed) : std::string()) + "," +
                (known ? std::to_string(row.added) : std::string()) + "," + seriesStateText(row.state) + "\n";
    }
    return text;
}

FileSaveOutcome writeSeriesCsv(const fs::path& path, const Series& series)
{
    return writeFileAtomically(path, seriesCsvText(series));
}
