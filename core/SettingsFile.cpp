#include "core/SettingsFile.h"

#include "core/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr const char* kSettingsName = "SpotTally.ini";
}

fs::path settingsFilePath(const fs::path& executableFolder, const fs::path& configFolder,
                          const fs::path& installedBinFolder)
{
    std::error_code ec;
    const bool installed = !installedBinFolder.empty() && fs::equivalent(executableFolder, installedBinFolder, ec);
    if (!installed && !executableFolder.empty() && ::access(executableFolder.c_str(), W_OK) == 0)
        return executableFolder / kSettingsName;
    return configFolder / kSettingsName;
}

SettingsRead readSettingsFile(const fs::path& path)
{
    SettingsRead result;
    std::error_code ec;
    if (!fs::exists(path, ec)) return result;
    result.exists = true;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = "Cannot read the settings file " + path.string() + ": " + std::strerror(errno);
        return result;
    }
    std::string line;
    std::getline(in, line);
    if (in.bad()) {
        result.error = "Cannot read the settings file " + path.string() + ".";
        return result;
    }
    result.firstLine = settingsFirstLine(line);
    // The later lines are a few short entries; a file grown past this is not one of ours after its
    // first line, and what lies beyond is not read.
    constexpr std::size_t kLaterLinesLimit = 1 << 20;
    std::size_t total = 0;
    while (total < kLaterLinesLimit && std::getline(in, line)) {
        total += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.laterLines.push_back(line);
    }
    if (in.bad()) {
        result.error = "Cannot read the settings file " + path.string() + ".";
        result.laterLines.clear();
    }
    return result;
}

std::string settingsFirstLine(std::string_view bytes)
{
    std::string_view line = bytes.substr(0, bytes.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return std::string(line);
}

namespace {

std::string writeSettingsLines(const fs::path& path, const std::string& firstLine,
                               const std::vector<std::string>& laterLines)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    // Replaced whole or not at all: the file holds the folder, the placement and the recent lists.
    std::string text = firstLine + "\r\n";
    for (const std::string& line : laterLines) text += line + "\r\n";
    return writeFileAtomically(path, text).error;
}

bool isEntryOf(const std::string& line, std::string_view key)
{
    return line.size() > key.size() && line.compare(0, key.size(), key) == 0 && line[key.size()] == '=';
}

}  // namespace

std::string writeSettingsFile(const fs::path& path, const std::string& line)
{
    // The later lines stay; a file that cannot be read loses them, as the folder line must be written.
    const SettingsRead current = readSettingsFile(path);
    return writeSettingsLines(path, line, current.laterLines);
}

std::vector<std::string> settingsValues(const std::vector<std::string>& laterLines, std::string_view key)
{
    std::vector<std::string> values;
    for (const std::string& line : laterLines)
        if (isEntryOf(line, key)) values.push_back(line.substr(key.size() + 1));
    return values;
}

namespace {

/// Every entry of keys goes and added follows the other lines; the first line stays byte for byte.
std::string replaceEntries(const fs::path& path, const std::vector<std::string_view>& keys,
                           const std::vector<std::string>& added)
{
    const SettingsRead current = readSettingsFile(path);
    if (!current.error.empty()) return current.error;
    std::vector<std::string> lines;
    for (const std::string& line : current.laterLines) {
        const auto replaced = [&](std::string_view key) { return isEntryOf(line, key); };
        if (std::none_of(keys.begin(), keys.end(), replaced)) lines.push_back(line);
    }
    lines.insert(lines.end(), added.begin(), added.end());
    return writeSettingsLines(path, current.firstLine, lines);
}

bool holdsLineEnd(const std::string& value) { return value.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::string writeSettingsValues(const fs::path& path, std::string_view key,
                                const std::vector<std::string>& values)
{
    std::vector<std::string> added;
    for (const std::string& value : values)
        if (!holdsLineEnd(value)) added.push_back(std::string(key) + "=" + value);
    return replaceEntries(path, {key}, added);
}

std::string writeSettingsEntries(const fs::path& path,
                                 const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::vector<std::string_view> keys;
    std::vector<std::string> added;
    for (const auto& [key, value] : entries) {
        keys.push_back(key);
        if (!holdsLineEnd(value)) added.push_back(key + "=" + value);
    }
    return replaceEntries(path, keys, added);
}

std::vector<std::string> withRecentFirst(std::vector<std::string> list, const std::string& path, std::size_t limit)
{
    std::erase(list, path);
    list.insert(list.begin(), path);
    if (list.size() > limit) list.resize(limit);
    return list;
}
