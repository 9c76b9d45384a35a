#pragma once
// SpotTally.ini: one line, the folder of the picture last chosen in "Open image", with its trailing
// separator. Only the first line is ever read.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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
};
SettingsRead readSettingsFile(const std::filesystem::path& path);
/// The line readSettingsFile takes from the file's bytes: up to the first line feed, less a carriage
/// return that ends it.
std::string settingsFirstLine(std::string_view bytes);

/// Replaces the file by line + CR LF. Returns an empty text on success, else the reason.
std::string writeSettingsFile(const std::filesystem::path& path, const std::string& line);
