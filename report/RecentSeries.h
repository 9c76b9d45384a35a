#pragma once
// File menu's recent series: the series last opened, most recent first, kept in the settings file as
// the recent pictures and reports are (one "recent-series=" entry each).

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

inline constexpr const char* kRecentSeriesKey = "recent-series";
inline constexpr std::size_t kRecentSeriesLimit = 8;

/// What a series was opened from: a folder, or the pictures chosen (folder empty then).
struct SeriesSource {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> pictures;
    bool operator==(const SeriesSource&) const = default;
};

/// The entry's value: "folder" or "pictures", then each path, separated by tabs. Empty when a path
/// holds a tab or a line end (such a series is not remembered) or there is nothing to remember.
std::string recentSeriesValue(const SeriesSource& source);
/// The series of an entry's value; an empty source (no folder, no pictures) for a value of another form.
SeriesSource seriesSourceOfValue(const std::string& value);

/// The recent series of the settings file, most recent first; entries of another form are left out.
std::vector<SeriesSource> readRecentSeries(const std::filesystem::path& settingsFile);
/// Puts source first in the settings file's list (an earlier entry of it goes; at most
/// kRecentSeriesLimit are kept). Returns an empty text, or why the file was not written.
std::string rememberRecentSeries(const std::filesystem::path& settingsFile, const SeriesSource& source);
