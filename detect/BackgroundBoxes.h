#pragma once
// Background boxes: rectangles a user dragged over parts of a picture that hold no particle, kept
// beside the picture's marks in the file c_NAME.background.csv (header "x,y,width,height", one box a
// line, pixel coordinates from the top-left, 0-based). The learnt count takes them as zero density.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/AtomicFile.h"
#include "detect/Marks.h"

inline constexpr const char* kBackgroundHeader = "x,y,width,height";

/// "c_" + the picture name less its last four characters + ".background.csv" (as marksFileName).
std::string backgroundFileName(std::string_view imageFileName);

/// The file's text: the header, then "x,y,width,height" per box, each line ended by a line feed.
std::string backgroundText(const std::vector<PixelRegion>& boxes);

struct BackgroundReading {
    std::string error;  // set when the text was refused; boxes is then empty
    std::vector<PixelRegion> boxes;
};
/// Reads a background text as parseMarksText reads marks: the header first, then per line four whole
/// numbers (x and y from 0, width and height from 1, all inside the 16-bit picture range). A bad line
/// refuses the whole file with a message naming fileName, the line number and its text.
BackgroundReading parseBackgroundText(std::string_view text, const std::string& fileName);
BackgroundReading readBackgroundFile(const std::filesystem::path& path);
FileSaveOutcome writeBackgroundFile(const std::filesystem::path& path, const std::vector<PixelRegion>& boxes);
