#include "cli/RegionalTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct RegionalEntry {
    const char* name;
    char decimalPoint;
    const char* shortDateFormat;
    const char* timeSeparator;
    bool twelveHour;
    bool hourLeadingZero;
    const char* amText;
    const char* pmText;
    bool markerFirst;
};

// Sorted by name (byte order).
constexpr RegionalEntry kTable[] = {
#include "RegionalTable.inc"
};

const RegionalEntry* entryFor(std::string_view name)
{
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos) {
        const std::string_view codeset = name.substr(dot + 1);
        const bool plain = !codeset.empty() && std::all_of(codeset.begin(), codeset.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        });
        if (!plain) return nullptr;
        name = name.substr(0, dot);
    }
    const auto found = std::lower_bound(std::begin(kTable), std::end(kTable), name,
                                        [](const RegionalEntry& entry, std::string_view key) { return std::string_view(entry.name) < key; });
    if (found == std::end(kTable) || std::string_view(found->name) != name) return nullptr;
    return found;
}

}  // namespace

std::string localeNameFor(const char* category, const std::function<const char*(const char*)>& getVariable)
{
    for (const char* variable : {"LC_ALL", category, "LANG"}) {
        const char* value = getVariable(variable);
        if (value && *value) return value;
    }
    return "C";
}

std::optional<RegionalSettings> tableRegionalSettings(std::string_view numericName, std::string_view timeName)
{
    const RegionalEntry* numeric = entryFor(numericName);
    const RegionalEntry* time = entryFor(timeName);
    if (!numeric || !time) return std::nullopt;
    RegionalSettings settings;
    settings.decimalPoint = numeric->decimalPoint;
    settings.dateTime = {time->shortDateFormat, time->timeSeparator, time->twelveHour, time->hourLeadingZero,
                         time->amText,          time->pmText,        time->markerFirst};
    return settings;
}

std::vector<std::string> regionalTableNames()
{
    std::vector<std::string> names;
    for (const RegionalEntry& entry : kTable) names.emplace_back(entry.name);
    return names;
}
