#pragma once
// SpotTally.ini: its first line is the folder of the picture last chosen in "Open image", with its
// trailing separator; that line alone is what older versions (and the file's first purpose) read.
// Further lines hold "key=value" entries (window placement, recent files); a line of another form, or
// of a key this version does not know, is kept as it is when the file is written again.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// Where the settings file lives: beside the executable when that folder is writable (portable use),
/// otherwise in configFolder (the user's configuration folder). An installed program (its folder is
/// installedBinFolder) always uses configFolder, even for a user who could write to the system folder.
std::filesystem::path settingsFilePath(const std::filesystem::path& executableFolder,
                                       const std::filesystem::path& configFolder,
                                       const std::filesystem::path& installedBinFolder = {});

struct SettingsRead {
    bool exists = false;
    std::string firstLine;  // up to the first line end; empty for an empty file
    std::string error;      // set when the file exists but cannot be read
    std::vector<std::string> laterLines;  // the lines after the first, without their line ends
};
SettingsRead readSettingsFile(const std::filesystem::path& path);
/// The line readSettingsFile takes from the file's bytes: up to the first line feed, less a carriage
/// return that ends it.
std::string settingsFirstLine(std::string_view bytes);

/// Replaces the file's first line by line (+ CR LF), keeping the lines after it. Returns an empty text
/// on success, else the reason.
std::string writeSettingsFile(const std::filesystem::path& path, const std::string& line);

/// The values of key's entries ("key=value" lines) among laterLines, in their order.
std::vector<std::string> settingsValues(const std::vector<std::string>& laterLines, std::string_view key);
/// Replaces key's entries by one entry per value, keeping the first line byte for byte (an empty one
/// for a file that does not exist yet) and every other line. A file that exists but cannot be read is
/// left alone (the reason is returned). A value holding a line end is not written.
std::string writeSettingsValues(const std::filesystem::path& path, std::string_view key,
                                const std::vector<std::string>& values);

/// writeSettingsValues for several keys at once, one value each, in one write of the file.
std::string writeSettingsEntries(const std::filesystem::path& path,
                                 const std::vector<std::pair<std::string, std::string>>& entries);

/// A list of recent files with path put first: an earlier entry of the same path goes, and the list
/// keeps at most limit entries.
std::vector<std::string> withRecentFirst(std::vector<std::string> list, const std::string& path,
                                         std::size_t limit);
