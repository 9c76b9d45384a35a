#include "report/RecentSeries.h"

#include "core/SettingsFile.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderKind = "folder";
constexpr const char* kPicturesKind = "pictures";
constexpr char kSeparator = '\t';

bool storable(const fs::path& path)
{
    const std::string text = path.string();
    return !text.empty() && text.find_first_of("\t\r\n") == std::string::npos;
}

}  // namespace

std::string recentSeriesValue(const SeriesSource& source)
{
    if (!source.folder.empty())
        return storable(source.folder) ? std::string(kFolderKind) + kSeparator + source.folder.string() : "";
    if (source.pictures.empty()) return {};
    std::string value = kPicturesKind;
    for (const fs::path& picture : source.pictures) {
        if (!storable(picture)) return {};
        value += kSeparator + picture.string();
    }
    return value;
}

SeriesSource seriesSourceOfValue(const std::string& value)
{
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = value.find(kSeparator, start);
        parts.push_back(value.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    SeriesSource source;
    if (parts.size() < 2) return source;
    for (std::size_t i = 1; i < parts.size(); ++i)
        if (parts[i].empty()) return source;
    if (parts[0] == kFolderKind && parts.size() == 2) source.folder = parts[1];
    if (parts[0] == kPicturesKind) source.pictures.assign(parts.begin() + 1, parts.end());
    return source;
}

std::vector<SeriesSource> readRecentSeries(const fs::path& settingsFile)
{
    std::vector<SeriesSource> list;
    const SettingsRead read = readSettingsFile(settingsFile);
    for (const std::string& value : settingsValues(read.laterLines, kRecentSeriesKey)) {
        SeriesSource source = seriesSourceOfValue(value);
        if (!source.folder.empty() || !source.pictures.empty()) list.push_back(std::move(source));
    }
    return list;
}

std::string rememberRecentSeries(const fs::path& settingsFile, const SeriesSource& source)
{
    const std::string value = recentSeriesValue(source);
    if (value.empty()) return "the series' paths cannot be kept in the settings file";
    const SettingsRead read = readSettingsFile(settingsFile);
    if (!read.error.empty()) return read.error;
    const std::vector<std::string> list =
        withRecentFirst(settingsValues(read.laterLines, kRecentSeriesKey), value, kRecentSeriesLimit);
    return writeSettingsValues(settingsFile, kRecentSeriesKey, list);
}
