#include "view/EditsFile.h"

#include <cerrno>
#include <charconv>
#include <fstream>

namespace fs = std::filesystem;

namespace {

/// A whole number in [low, high] filling text exactly.
bool wholeNumber(std::string_view text, long long low, long long high, long long& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

/// The words of a line, split at single blanks.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t blank = line.find(' ', start);
        parts.push_back(
            line.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
        if (blank == std::string_view::npos) break;
        start = blank + 1;
    }
    return parts;
}

}  // namespace

CorrectionsTally tallyCorrections(const EditsFileContent& content) {
    std::int64_t adds = 0, removes = 0;
    for (const EditAction& action : content.actions)
        ++(action.kind == EditAction::Kind::Add ? adds : removes);
    return {static_cast<std::int32_t>(content.count + adds - removes), static_cast<std::uint16_t>(removes),
            static_cast<std::uint16_t>(adds)};
}

std::string editsFileName(std::string_view reportFileName) {
    std::string name(reportFileName);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) name.resize(name.size() - 4);
    return name + ".edits";
}

std::string editsFileText(const EditsFileContent& content) {
    std::string text = std::string(kEditsFileHeading) + " " + std::to_string(kEditsFileVersion) + "\n";
    text += "count " + std::to_string(content.count) + "\n";
    for (const EditAction& action : content.actions)
        text += (action.kind == EditAction::Kind::Add ? "add " : "remove ") + std::to_string(action.x) + " " +
                std::to_string(action.y) + "\n";
    return text;
}

EditsReading parseEditsText(std::string_view text, const std::string& fileName) {
    EditsReading reading;
    const std::string failure = "Cannot use the corrections file \"" + fileName + "\": ";
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    const std::string heading = std::string(kEditsFileHeading) + " ";
    if (lines.empty() || lines[0].substr(0, heading.size()) != heading) {
        reading.error = failure + "it is not a SpotTally corrections file.";
        return reading;
    }
    long long version = 0;
    if (!wholeNumber(lines[0].substr(heading.size()), 1, 1'000'000, version)) {
        reading.error = failure + "its first line names no format version.";
        return reading;
    }
    if (version != kEditsFileVersion) {
        reading.error = failure + "it is of format version " + std::to_string(version) +
                        ", which this version of SpotTally does not read.";
        return reading;
    }
    const auto lineError = [&](std::size_t index, const std::string& why) {
        reading.error = failure + "line " + std::to_string(index + 1) + " " + why;
        reading.content = {};
        return reading;
    };
    long long count = 0;
    if (lines.size() < 2) return lineError(1, "is missing: it should give the count.");
    const std::vector<std::string_view> countWords = words(lines[1]);
    if (countWords.size() != 2 || countWords[0] != "count" ||
        !wholeNumber(countWords[1], 0, INT32_MAX, count))
        return lineError(1, "should give the count, as \"count 212\".");
    reading.content.count = static_cast<std::int32_t>(count);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (lines[i].empty() && i + 1 == lines.size()) break;  // the last line's end
        const std::vector<std::string_view> parts = words(lines[i]);
        long long x = 0, y = 0;
        const bool known = parts.size() == 3 && (parts[0] == "add" || parts[0] == "remove");
        if (!known || !wholeNumber(parts[1], 0, INT32_MAX, x) || !wholeNumber(parts[2], 0, INT32_MAX, y))
            return lineError(i, "should be a correction, as \"add X Y\" or \"remove X Y\".");
        reading.content.actions.push_back(
            {parts[0] == "add" ? EditAction::Kind::Add : EditAction::Kind::Remove, static_cast<int>(x),
             static_cast<int>(y)});
    }
    return reading;
}

EditsReading readEditsFile(const fs::path& path) {
    const BoundedRead read = readBoundedFile(path, kMaxEditsFileBytes);
    if (read.reason.empty()) return parseEditsText(read.bytes, path.filename().string());
    EditsReading reading;
    reading.error = "Cannot read the corrections file " + quotedPath(path) + ": " + read.reason + (read.tooLarge ? "." : "");
    return reading;
}

FileSaveOutcome writeEditsFile(const fs::path& path, const EditsFileContent& content) {
    return writeFileAtomically(path, editsFileText(content));
}
