#include "core/Regional.h"

#include <array>
#include <cstdlib>
#include <ctime>

RegionalDateTime RegionalDateTime::fromSystem() { return systemRegionalSettings().dateTime; }

LocalDateTime currentLocalDateTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

namespace {

constexpr std::array<std::string_view, 7> kDayNames{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                    "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonthNames{"January", "February", "March",     "April",
                                                       "May",     "June",     "July",      "August",
                                                       "September", "October", "November", "December"};

/// 0 for Monday to 6 for Sunday, in the proleptic Gregorian calendar.
int weekdayOf(int year, int month, int day)
{
    // Days since 1970-01-01 (a Thursday), after Howard Hinnant's days_from_civil.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long days = static_cast<long>(era) * 146097 + dayOfEra - 719468;
    return static_cast<int>(((days % 7) + 7 + 3) % 7);
}

std::string padded(int value, int digits)
{
    std::string text = std::to_string(std::abs(value));
    if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return value < 0 ? "-" + text : text;
}

}  // namespace

std::string formatDate(std::string_view format, int year, int month, int day)
{
    std::string text;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '\'') {
            // Quoted text; '' stands for one quote, inside quotes or out.
            if (i + 1 < format.size() && format[i + 1] == '\'') {
                text += '\'';
                i += 2;
                continue;
            }
            ++i;
            while (i < format.size()) {
                if (format[i] == '\'') {
                    if (i + 1 < format.size() && format[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += format[i++];
            }
            continue;
        }
        std::size_t repeat = 1;
        while (i + repeat < format.size() && format[i + repeat] == c) ++repeat;
        if (c == 'd' || c == 'M') {
            repeat = std::min<std::size_t>(repeat, 4);
            const int value = c == 'd' ? day : month;
            const std::string_view name =
                c == 'd' ? kDayNames[static_cast<std::size_t>(weekdayOf(year, month, day))]
                         : kMonthNames[static_cast<std::size_t>(month - 1)];
            if (repeat == 1) text += std::to_string(value);
            else if (repeat == 2) text += padded(value, 2);
            else if (repeat == 3) text += name.substr(0, 3);
            else text += name;
        } else if (c == 'y' && repeat >= 2) {
            repeat = repeat >= 4 ? 4 : 2;
            if (repeat == 4) text += padded(year, 4);
            else text += padded(((year % 100) + 100) % 100, 2);
        } else {
            repeat = 1;
            text += c;
        }
        i += repeat;
    }
    return text;
}
