#pragma once
// The counter's regional settings without Qt: a table made from Qt's locale data when the counter is
// built (cli/MakeRegionalTable.cpp), looked up by the locale names of the environment as Qt reads them.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Regional.h"

/// The locale name Qt's system locale takes for a category ("LC_NUMERIC", "LC_TIME"): LC_ALL when
/// set and not empty, else the category's variable, else LANG, else "C". getVariable returns null for
/// an unset variable.
std::string localeNameFor(const char* category, const std::function<const char*(const char*)>& getVariable);

/// The table's settings for the locale names of the two categories; none when the table does not hold
/// either name. A name is held as the table writes it ("de_DE", "sr-Latn-RS", "C"), or with a codeset
/// after a dot ("de_DE.UTF-8"); a name with a modifier ("@euro") is left to Qt.
std::optional<RegionalSettings> tableRegionalSettings(std::string_view numericName, std::string_view timeName);

/// The locale names in the table, in its order.
std::vector<std::string> regionalTableNames();
