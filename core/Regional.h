#pragma once
// The user's regional settings that reach a report: the decimal separator, and how a date and a time of
// day are written. Plain C++: the counter reads them without loading Qt.

#include <string>
#include <string_view>

/// How the user's regional settings write a date and a time of day.
struct RegionalDateTime {
    std::string shortDateFormat = "dd.MM.yyyy";  // in QDate::toString notation
    std::string timeSeparator = ":";
    bool twelveHour = false;
    bool hourLeadingZero = true;  // "09:05:03" rather than "9:05:03"
    std::string amText = "AM";
    std::string pmText = "PM";
    bool markerFirst = false;  // the AM/PM marker stands before the time

    /// The settings of the running system (systemRegionalSettings()).
    static RegionalDateTime fromSystem();
    bool operator==(const RegionalDateTime&) const = default;
};

struct RegionalSettings {
    char decimalPoint = '.';  // ',' or '.'
    RegionalDateTime dateTime;
    bool operator==(const RegionalSettings&) const = default;
};

/// The running system's settings, as Qt's system locale gives them: the decimal point of the locale
/// named by LC_ALL, else LC_NUMERIC, else LANG; the date and time of the one named by LC_ALL, else
/// LC_TIME, else LANG ("C" when none is set). Read once.
/// Each program links one definition: the window and the tests ask Qt (core/RegionalQt.cpp); the
/// counter looks the locale up in a table made from Qt's data when it was built (cli/RegionalTable.cpp).
const RegionalSettings& systemRegionalSettings();

/// A local date and time of day, as the clock on the wall shows it.
struct LocalDateTime {
    int year = 2000;
    int month = 1;  // 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

/// Now, in the local time zone.
LocalDateTime currentLocalDateTime();

/// The date written by a format in QDate::toString notation, as Qt writes it: d, dd, ddd, dddd (day,
/// two digits, English day names), M, MM, MMM, MMMM (month likewise), yy and yyyy (year), text in single
/// quotes as it stands ('' for a quote); any other character as it stands.
std::string formatDate(std::string_view format, int year, int month, int day);
