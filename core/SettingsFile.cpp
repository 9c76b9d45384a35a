#include "core/SettingsFile.h"

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
    return result;
}

std::string settingsFirstLine(std::string_view bytes)
{
    std::string_view line = bytes.substr(0, bytes.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return std::string(line);
}

std::string writeSettingsFile(const fs::path& path, const std::string& line)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return "Cannot create the file " + path.string() + ": " + std::strerror(errno);
    out << line << "\r\n";
    out.close();
    if (!out) return "Cannot write the file " + path.string() + ".";
    return {};
}
