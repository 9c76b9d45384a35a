#include "core/RegionalQt.h"

#include <QRegularExpression>

namespace {

RegionalDateTime regionalDateTimeOf(const QLocale& locale)
{
    RegionalDateTime regional;
    regional.shortDateFormat = locale.dateFormat(QLocale::ShortFormat).toStdString();
    const QString time = locale.timeFormat(QLocale::LongFormat);  // "HH:mm:ss t", "h:mm:ss AP t"
    const qsizetype hour = time.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    if (hour >= 0) {
        qsizetype end = hour;
        while (end < time.size() && (time[end] == QLatin1Char('h') || time[end] == QLatin1Char('H'))) ++end;
        regional.hourLeadingZero = end - hour >= 2;
        qsizetype separatorEnd = end;
        while (separatorEnd < time.size() && !time[separatorEnd].isLetter()) ++separatorEnd;
        if (separatorEnd > end) regional.timeSeparator = time.mid(end, separatorEnd - end).toStdString();
    }
    const qsizetype marker = time.indexOf(QRegularExpression(QStringLiteral("[aA]")));
    regional.twelveHour = marker >= 0;
    regional.markerFirst = marker >= 0 && hour >= 0 && marker < hour;
    regional.amText = locale.amText().toStdString();
    regional.pmText = locale.pmText().toStdString();
    return regional;
}

}  // namespace

RegionalSettings regionalSettingsOf(const QLocale& numeric, const QLocale& time)
{
    RegionalSettings settings;
    settings.decimalPoint = numeric.decimalPoint() == QStringLiteral(",") ? ',' : '.';
    settings.dateTime = regionalDateTimeOf(time);
    return settings;
}

const RegionalSettings& systemRegionalSettings()
{
    static const RegionalSettings settings = [] {
        const QLocale system = QLocale::system();
        return regionalSettingsOf(system, system);
    }();
    return settings;
}
