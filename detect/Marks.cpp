#include "detect/Marks.h"

#include <cerrno>
#include <fstream>
#include <sstream>

#include "core/FieldText.h"

namespace {

constexpr int kMaxCoordinate = 65535;

/// The name less its last four characters, counted as UTF-8 characters like the report's name.
std::string withoutLastFour(std::string_view name)
{
    std::size_t end = name.size();
    for (int dropped = 0; dropped < 4 && end > 0; ++dropped) {
        --end;
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    }
    return std::string(name.substr(0, end));
}

/// A line's text for a message: control characters shown as '?', long lines cut.
std::string shownLine(std::string_view line)
{
    std::string shown;
    for (char c : line.substr(0, 60)) shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (line.size() > 60) shown += "...";
    return shown;
}

}  // namespace

std::string marksFileName(std::string_view imageFileName)
{
    std::string bare = withoutLastFour(imageFileName);
    if (bare.rfind("c_", 0) != 0) bare = "c_" + bare;
    return bare + ".marks.csv";
}

std::string marksText(const std::vector<Mark>& marks)
{
    std::string text = std::string(kMarksHeader) + "\n";
    for (const Mark& mark : marks) text += std::to_string(mark.x) + "," + std::to_string(mark.y) + "\n";
    return text;
}

std::string readHeaderedLines(std::string_view text, const std::string& fileName, std::string_view header,
                              const std::function<std::string(std::string_view)>& takeLine)
{
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
        const auto refusal = [&](const std::string& why) {
            return fileName + ", line " + std::to_string(lineNumber) + ": " + why + " ('" + shownLine(line) + "')";
        };
        if (!headerSeen) {
            std::string first(line);
            if (first.rfind("\xEF\xBB\xBF", 0) == 0) first.erase(0, 3);  // a byte-order mark from spreadsheets
            while (!first.empty() && (first.back() == ' ' || first.back() == '\t')) first.pop_back();
            if (first != header) return refusal("the first line must be the header " + std::string(header));
            headerSeen = true;
            continue;
        }
        if (const std::string why = takeLine(line); !why.empty()) return refusal(why);
    }
    if (!headerSeen) return fileName + ": empty, the header " + std::string(header) + " is missing";
    return {};
}

MarksReading parseMarksText(std::string_view text, const std::string& fileName)
{
    MarksReading reading;
    reading.error = readHeaderedLines(text, fileName, kMarksHeader, [&](std::string_view line) -> std::string {
        const std::size_t comma = line.find(',');
        const auto x = comma == std::string_view::npos ? std::nullopt : parseWholeNumber(line.substr(0, comma));
        const auto y = comma == std::string_view::npos ? std::nullopt : parseWholeNumber(line.substr(comma + 1));
        if (!x || !y) return "a mark must be two whole numbers x,y";
        if (*x < 0 || *y < 0 || *x > kMaxCoordinate || *y > kMaxCoordinate)
            return "a mark's x and y must lie from 0 to " + std::to_string(kMaxCoordinate);
        reading.marks.push_back({static_cast<int>(*x), static_cast<int>(*y)});
        return {};
    });
    if (!reading.error.empty()) reading.marks.clear();
    return reading;
}

MarksReading readMarksFile(const std::filesystem::path& path)
{
    MarksReading reading;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        reading.error = "Cannot read the marks file " + quotedPath(path) + ": " + ec.message();
        return reading;
    }
    if (size > kMaxMarksFileBytes) {
        reading.error = "The marks file " + quotedPath(path) + " is too large to be a marks file";
        return reading;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reading.error = "Cannot read the marks file " + quotedPath(path) + ": " + systemReason(errno);
        return reading;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return parseMarksText(bytes.str(), path.filename().string());
}

FileSaveOutcome writeMarksFile(const std::filesystem::path& path, const std::vector<Mark>& marks)
{
    return writeFileAtomically(path, marksText(marks));
}

std::vector<Mark> marksInside(const std::vector<Mark>& marks, const PixelRegion& region)
{
    std::vector<Mark> inside;
    for (const Mark& mark : marks)
        if (region.contains(mark.x, mark.y)) inside.push_back(mark);
    return inside;
}

std::string parseRegionText(std::string_view text, PixelRegion& region)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string_view::npos; start = comma + 1)
        parts.push_back(text.substr(start, comma - start));
    parts.push_back(text.substr(start));
    const std::string problem = "a region is four whole numbers X,Y,WIDTH,HEIGHT (X and Y from 0, width and "
                                "height from 1), not '" + std::string(text) + "'";
    if (parts.size() != 4) return problem;
    std::int64_t values[4];
    for (int i = 0; i < 4; ++i) {
        const auto value = parseWholeNumber(parts[static_cast<std::size_t>(i)]);
        if (!value || *value < (i < 2 ? 0 : 1) || *value > kMaxCoordinate + 1) return problem;
        values[i] = *value;
    }
    region = {static_cast<int>(values[0]), static_cast<int>(values[1]), static_cast<int>(values[2]),
              static_cast<int>(values[3])};
    return {};
}
