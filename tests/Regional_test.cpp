// The regional settings the counter takes without Qt: its table against Qt's locale data, the
// environment's precedence, and the date format against QDate::toString.

#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <map>
#include <set>

#include "cli/RegionalTable.h"
#include "core/RegionalQt.h"

namespace {

RegionalSettings fromQt(const std::string& name)
{
    const QLocale locale(QString::fromStdString(name));
    return regionalSettingsOf(locale, locale);
}

}  // namespace

TEST(RegionalTable, GivesWhatQtGivesForEveryNameItHolds)
{
    const std::vector<std::string> names = regionalTableNames();
    ASSERT_GT(names.size(), 300u);
    for (const char* expected : {"C", "POSIX", "de_DE", "en_US", "fr", "zh_CN"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    for (const std::string& name : names)
        for (const std::string& written : {name, name + ".UTF-8", name + ".ISO-8859-1", name + ".utf8"}) {
            const std::optional<RegionalSettings> table = tableRegionalSettings(written, written);
            ASSERT_TRUE(table) << written;
            EXPECT_EQ(*table, fromQt(written)) << written;
        }
    // Numbers and dates may come from different locales.
    const std::optional<RegionalSettings> mixed = tableRegionalSettings("de_DE.UTF-8", "en_US");
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->decimalPoint, ',');
    EXPECT_EQ(mixed->dateTime, fromQt("en_US").dateTime);
}

TEST(RegionalTable, LeavesToQtWhatItDoesNotHold)
{
    for (const char* name : {"de_DE@euro", "sr_RS@latin", "de_DE.", "de_DE.UTF 8", "xx_YY", "", "de_DE.UTF-8@euro"})
        EXPECT_FALSE(tableRegionalSettings(name, "C")) << name;
}

TEST(RegionalTable, EnvironmentPrecedenceAsQtReadsIt)
{
    struct Case {
        std::map<std::string, std::string> variables;
        std::string numeric;
        std::string time;
    };
    const std::vector<Case> cases{
        {{}, "C", "C"},
        {{{"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8", "de_DE.UTF-8"},
        {{{"LANG", "de_DE"}, {"LC_TIME", "en_GB"}}, "de_DE", "en_GB"},
        {{{"LANG", "de_DE"}, {"LC_NUMERIC", "fr_FR"}, {"LC_ALL", "it_IT"}}, "it_IT", "it_IT"},
        {{{"LC_ALL", ""}, {"LC_NUMERIC", "fr_FR"}}, "fr_FR", "C"},
        {{{"LANG", ""}, {"LC_MESSAGES", "fr_FR"}}, "C", "C"},
    };
    for (const Case& c : cases) {
        const auto variable = [&](const char* name) -> const char* {
            const auto found = c.variables.find(name);
            return found == c.variables.end() ? nullptr : found->second.c_str();
        };
        EXPECT_EQ(localeNameFor("LC_NUMERIC", variable), c.numeric);
        EXPECT_EQ(localeNameFor("LC_TIME", variable), c.time);
    }
}

TEST(FormatDate, WritesEveryFormatAsQDateDoes)
{
    std::set<std::string> formats{"dddd, d MMMM yyyy", "ddd MMM yy", "'d'd''M'", "yyy y", "hh:mm AP d.M.", "dd''MM"};
    for (const std::string& name : regionalTableNames()) formats.insert(fromQt(name).dateTime.shortDateFormat);
    const std::vector<QDate> dates{{2009, 1, 5}, {2026, 12, 8}, {1999, 10, 31}, {2000, 2, 29}, {2031, 7, 13}, {2004, 3, 7}};
    for (const std::string& format : formats)
        for (const QDate& date : dates)
            EXPECT_EQ(formatDate(format, date.year(), date.month(), date.day()),
                      date.toString(QString::fromStdString(format)).toStdString())
                << format << " " << date.toString(Qt::ISODate).toStdString();
}
