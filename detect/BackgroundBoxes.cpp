#include "detect/BackgroundBoxes.h"

namespace {

/// A line's text for a message: control characters shown as '?', long lines cut.
std::string shownLine(std::string_view line)
{
    std::string shown;
    for (char c : line.substr(0, 60)) shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (line.size() > 60) shown += "...";
    return shown;
}

std::string regionLine(const PixelRegion& box)
{
    return std::to_string(box.x) + "," + std::to_string(box.y) + "," + std::to_string(box.width) + "," +
           std::to_string(box.height);
}

}  // namespace

std::string backgroundFileName(std::string_view imageFileName)
{
    std::string name = marksFileName(imageFileName);
    return name.substr(0, name.size() - std::string_view(".marks.csv").size()) + ".background.csv";
}

std::string backgroundText(const std::vector<PixelRegion>& boxes)
{
    std::string text = std::string(kBackgroundHeader) + "\n";
    for (const PixelRegion& box : boxes) text += regionLine(box) + "\n";
    return text;
}

BackgroundReading parseBackgroundText(std::string_view text, const std::string& fileName)
{
    BackgroundReading reading;
    bool headerSeen = false;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        const auto refuse = [&](const std::string& why) {
            reading.boxes.clear();
            reading.error = fileName + ", line " + std::to_string(lineNumber) + ": " + why + " ('" +
                            shownLine(line) + "')";
        };
        if (!headerSeen) {
            std::string header(line);
            if (header.rfind("\xEF\xBB\xBF", 0) == 0)
                header.erase(0, 3);  // a byte-order mark from spreadsheets
            while (!header.empty() && (header.back() == ' ' || header.back() == '\t')) header.pop_back();
            if (header != kBackgroundHeader) {
                refuse(std::string("the first line must be the header ") + kBackgroundHeader);
                return reading;
            }
            headerSeen = true;
            continue;
        }
        PixelRegion box;
        const std::string problem = parseRegionText(line, box);
        if (!problem.empty() || box.x + box.width > 65536 || box.y + box.height > 65536) {
            refuse("a box must be four whole numbers x,y,width,height inside the picture range");
            return reading;
        }
        reading.boxes.push_back(box);
    }
    if (!headerSeen)
        reading.error = fileName + ": empty, the header " + std::string(kBackgroundHeader) + " is missing";
    return reading;
}

BackgroundReading readBackgroundFile(const std::filesystem::path& path)
{
    BackgroundReading reading;
    const BoundedRead read = readBoundedFile(path, kMaxMarksFileBytes);
    if (!read.reason.empty()) {
        reading.error = "Cannot read the background file " + quotedPath(path) + ": " + read.reason;
        return reading;
    }
    return parseBackgroundText(read.bytes, path.filename().string());
}

FileSaveOutcome writeBackgroundFile(const std::filesystem::path& path, const std::vector<PixelRegion>& boxes)
{
    return writeFileAtomically(path, backgroundText(boxes));
}
