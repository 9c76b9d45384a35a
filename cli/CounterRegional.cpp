// The counter's regional settings: from the built-in table, else from Qt through the counter's module.

#include <cstdlib>
#include <iostream>

#include "cli/QtModule.h"
#include "cli/RegionalTable.h"

const RegionalSettings& systemRegionalSettings()
{
    static const RegionalSettings settings = [] {
        const auto variable = [](const char* name) -> const char* { return std::getenv(name); };
        if (const std::optional<RegionalSettings> fromTable =
                tableRegionalSettings(localeNameFor("LC_NUMERIC", variable), localeNameFor("LC_TIME", variable)))
            return *fromTable;
        RegionalSettings fromQt;
        std::string problem;
        const auto query = reinterpret_cast<SystemRegionalFunction>(counterQtFunction("spottallySystemRegional", problem));
        if (query) query(&fromQt);
        else std::cerr << "spottally-count: " << problem << "; numbers and dates are written as in the C locale\n";
        return fromQt;
    }();
    return settings;
}
