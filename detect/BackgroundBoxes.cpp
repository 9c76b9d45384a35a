#include "detect/BackgroundBoxes.h"

namespace {

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
    reading.error = readHeaderedLines(text, fileName, kBackgroundHeader, [&](std::string_view line) -> std::string {
        PixelRegion box;
        const std::string problem = parseRegionText(line, box);
        if (!problem.empty() || box.x + box.width > 65536 || box.y + box.height > 65536)
            return "a box must be four whole numbers x,y,width,height inside the picture range";
        reading.boxes.push_back(box);
        return {};
    });
    if (!reading.error.empty()) reading.boxes.clear();
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
