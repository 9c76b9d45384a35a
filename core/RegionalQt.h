#pragma once
// The regional settings as Qt's locale data give them: for the window, the tests, and the table the
// counter is built with.

#include <QLocale>

#include "core/Regional.h"

/// The decimal point of numeric and the date and time of day of time.
RegionalSettings regionalSettingsOf(const QLocale& numeric, const QLocale& time);
