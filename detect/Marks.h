#pragma once
// Marks: the particles a user clicked inside a teaching region, kept per picture in the file
// c_NAME.marks.csv (header "x,y", one mark a line, pixel coordinates from the top-left, 0-based).
// The window and the headless counter read and write the same file.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AtomicFile.h"

struct Mark {
    int x = 0;  // column
    int y = 0;  // row
    bool operator==(const Mark&) const = default;
};

/// A rectangle of picture pixels: columns x .. x + width - 1, rows y .. y + height - 1.
struct PixelRegion {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool contains(int column, int row) const
    {
        return column >= x && row >= y && column - x < width && row - y < height;
    }
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelRegion&) const = default;
};

inline constexpr const char* kMarksHeader = "x,y";
inline constexpr std::uintmax_t kMaxMarksFileBytes = 16u << 20;

/// "c_" + the picture name less its last four characters + ".marks.csv" (the report's naming).
std::string marksFileName(std::string_view imageFileName);

/// The file's text: the header, then "x,y" per mark, each line ended by a line feed.
std::string marksText(const std::vector<Mark>& marks);

struct MarksReading {
    std::string error;        // set when the text was refused; marks is then empty
    std::vector<Mark> marks;
};
/// Reads a marks text. Lines end at LF or CR LF; blank lines are skipped. The first line must be the
/// header; every other line two whole numbers from 0 to 65535. A bad line refuses the whole file with
/// a message naming fileName, the line number and its text.
/// Reads a text of a header line and then one item a line, as the marks and background files are:
/// blank lines are passed over, CR LF and a byte-order mark before the header are taken. takeLine
/// takes one line and says why it is refused (empty: taken). Returns the first refusal, naming the
/// file and the line, or that the header is missing; empty when every line was taken.
std::string readHeaderedLines(std::string_view text, const std::string& fileName, std::string_view header,
                              const std::function<std::string(std::string_view)>& takeLine);
MarksReading parseMarksText(std::string_view text, const std::string& fileName);
MarksReading readMarksFile(const std::filesystem::path& path);
FileSaveOutcome writeMarksFile(const std::filesystem::path& path, const std::vector<Mark>& marks);

/// The marks inside region, in their order.
std::vector<Mark> marksInside(const std::vector<Mark>& marks, const PixelRegion& region);

/// Reads "X,Y,W,H" (whole numbers, width and height at least 1). Returns an empty text or the reason.
std::string parseRegionText(std::string_view text, PixelRegion& region);
