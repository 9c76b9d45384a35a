// Writes the counter's table of regional settings (cli/RegionalTable.cpp) from Qt's locale data: one
// entry for every name under which Qt knows a locale, each with what QLocale(name) gives.
// Usage: spottally-make-regional-table OUTPUT

#include <QLocale>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "core/RegionalQt.h"

namespace {

/// A C++ string literal; every byte outside plain letters, digits and a few signs as an octal escape.
std::string literal(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == ' ' || c == '.' || c == ',' || c == ':' || c == '/' || c == '-' || c == '_';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", c);
            out += escaped;
        }
    }
    return out + "\"";
}

const char* boolean(bool value) { return value ? "true" : "false"; }

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: spottally-make-regional-table OUTPUT\n";
        return 2;
    }
    std::map<std::string, RegionalSettings> table;  // byte order, as the lookup searches it
    const auto add = [&](const QString& name) {
        if (name.isEmpty()) return;
        const QLocale locale(name);
        table.emplace(name.toStdString(), regionalSettingsOf(locale, locale));
    };
    add(QStringLiteral("C"));
    add(QStringLiteral("POSIX"));
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        add(locale.name());
        add(locale.bcp47Name());
        add(QLocale::languageToCode(locale.language()));
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << "// Made by spottally-make-regional-table from Qt " << qVersion() << "'s locale data.\n";
    for (const auto& [name, settings] : table) {
        const RegionalDateTime& time = settings.dateTime;
        out << "{" << literal(name) << ", '" << settings.decimalPoint << "', " << literal(time.shortDateFormat) << ", "
            << literal(time.timeSeparator) << ", " << boolean(time.twelveHour) << ", " << boolean(time.hourLeadingZero)
            << ", " << literal(time.amText) << ", " << literal(time.pmText) << ", " << boolean(time.markerFirst)
            << "},\n";
    }
    out.close();
    if (!out) {
        std::cerr << "spottally-make-regional-table: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
