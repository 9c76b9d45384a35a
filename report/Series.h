#pragma once
// A series: the fields of view of one filter, one picture each, as a table of rows. Each row's state
// comes from the files beside its picture (the saved report c_NAME.txt, the particle table c_NAME.csv)
// and from what the window tells it since (a count, a correction not yet saved). Opening reads picture
// headers and reports only, never pixels, so a folder of fields opens at once. The pooled result is
// made from the saved reports, as the counter's --pool makes it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/AnalysisState.h"
#include "core/AtomicFile.h"
#include "report/Pooling.h"

enum class SeriesState {
    NotCounted,  // no saved report and no count yet
    Counted,     // counted in the window, not saved
    Corrected,   // corrected by hand in the window, not saved
    Saved,       // the saved report beside the picture gives the row
    Damaged      // the picture or its report cannot be read: problem says why
};

/// The state's word in the table's CSV: "not counted", "counted", "corrected", "saved", "damaged".
const char* seriesStateText(SeriesState state);

/// The pooled report beside the pictures: the name the window offers for a pooled result.
inline constexpr const char* kPooledReportFileName = "pooled.txt";

struct SeriesRow {
    std::filesystem::path path;            // the picture
    std::string name;                      // its file name
    std::int64_t width = 0, height = 0;    // from the picture's header, or the window's count; 0: unknown
    std::optional<std::int32_t> count;     // the specified count after corrections (report line 15)
    std::optional<int> blobCount;          // the report's blob count line, when it has one
    std::optional<int> learntCount;        // the report's learnt count line, when it has one
    std::uint16_t removed = 0, added = 0;  // the manual corrections (report line 16)
    // The results, as computed from the report's fields and the count (as the counter computes them).
    std::optional<double> perFilter, perCm3;
    std::optional<std::int64_t> totalAreaPixels;  // from the particle table, else the window's count
    SeriesState state = SeriesState::NotCounted;
    std::string problem;  // Damaged: why, naming the file
    // Saved: the field as pooling reads its report; unset when the report cannot be pooled
    // (poolProblem says why; the row itself may still be usable).
    std::optional<PoolField> poolField;
    std::string poolProblem;
};

/// The pooled result of a series: over the rows whose reports are saved.
struct SeriesPool {
    std::vector<PoolField> fields;      // the saved rows' fields, in row order
    PooledResult result;                // poolFields(fields); result.error set when nothing pools
    int notSaved = 0;                   // rows left out: not counted, or counted or corrected but not saved
    int damaged = 0;                    // rows left out: damaged, or a saved report pooling refuses
    std::vector<std::string> problems;  // why each damaged or refused row was left out, in row order
};

class Series {
public:
    Series() = default;

    /// The pictures of folder (picturesOfFolder's rule, not recursive), names in natural order
    /// ("f2" before "f10"). A folder that cannot be read or holds no picture sets error.
    static Series openFolder(const std::filesystem::path& folder);
    /// The pictures given, in natural order of their names (then paths); the same file given twice
    /// is one row. A file that is no picture, or is not there, is a damaged row.
    static Series openPictures(const std::vector<std::filesystem::path>& pictures);

    /// Why the series could not be opened (no rows then).
    const std::string& error() const { return error_; }
    /// The folder given to openFolder, or the first picture's folder: where the pooled report goes.
    const std::filesystem::path& folder() const { return folder_; }
    bool fromFolder() const { return fromFolder_; }
    const std::vector<SeriesRow>& rows() const { return rows_; }
    std::size_t size() const { return rows_.size(); }
    const SeriesRow& row(std::size_t index) const { return rows_.at(index); }
    /// The row of the picture at path (compared as the same file), if it is one of the series.
    std::optional<std::size_t> indexOf(const std::filesystem::path& picture) const;

    /// Reads row index again from the files beside its picture; what the window told it is dropped.
    void refresh(std::size_t index);
    /// The window counted the picture: the record after the count (AutoCount, the size, the results,
    /// TotalAreaPixels), with the blob and learnt counts when they were made. State Counted (Corrected
    /// when the record already holds corrections).
    void setCounted(std::size_t index, const TAnalysisState& state,
                    std::optional<int> blobCount = std::nullopt,
                    std::optional<int> learntCount = std::nullopt);
    /// The window corrected the count by hand: the record's AutoCount, ManualRemoved, ManualAdded and
    /// results. State Corrected (Counted again when the corrections are all undone).
    void setCorrected(std::size_t index, const TAnalysisState& state);

    /// The rows' saved reports pooled.
    SeriesPool pooled() const;

private:
    void appendRow(const std::filesystem::path& picture);

    std::vector<SeriesRow> rows_;
    std::filesystem::path folder_;
    bool fromFolder_ = false;
    std::string error_;
};

/// Natural order of names: runs of digits compare by their value ("f2" < "f10"), the rest by bytes.
bool naturalLess(const std::string& a, const std::string& b);

/// Reads the row of picture from the files beside it: its header's size, its saved report, its
/// particle table.
SeriesRow readSeriesRow(const std::filesystem::path& picture);

/// The whole-number value of the line that begins with label after the report's own 21 lines (the
/// blob or the learnt count's line): none when there is none; error set, naming reportName, when the
/// line holds no whole number of int's range.
std::optional<int> reportLabelledCount(const std::vector<std::string>& lines, const char* label,
                                       const std::string& reportName, std::string& error);

/// Writes the pooled report (the text --pool writes) as kPooledReportFileName in the series' folder.
/// Nothing is written when no saved row pools; error then says why.
FileSaveOutcome writeSeriesPooledReport(const Series& series);

/// The table as CSV: the counter's summary columns, then blob_count, learnt_count, removed, added and
/// state. Unknown values are empty fields. Every row is listed, damaged ones too.
std::string seriesCsvText(const Series& series);
/// Writes seriesCsvText to path, whole or not at all.
FileSaveOutcome writeSeriesCsv(const std::filesystem::path& path, const Series& series);
