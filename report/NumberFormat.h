#pragma once
// The report's two number formats. Both round half away from zero, once, on the shortest decimal text
// that reads back as the same double: 1.125 becomes 1,13E+00 and 0.0145 becomes 1,45E-02, as the
// decimal value the user sees suggests (printf would round both of them down).

#include <string>

/// Scientific result format: three significant digits, "3,07E+05", "5,00E-01", "0,00E+00"; the
/// exponent carries its sign and at least two digits. Infinite and undefined values are written
/// "INF", "-INF" and "NAN".
std::string formatScientific(double value);

/// Fixed result format: rounded at whichever comes first of three significant digits and three
/// decimals, then written with exactly three decimals: 1.2345 -> "1,230", 12.5 -> "12,500",
/// 0.0004 -> "0,000", 0.01246 -> "0,012".
std::string formatFixed(double value);

/// The same formats with an explicit decimal separator (the ones above use the regional one).
std::string formatScientific(double value, char decimalSeparator);
std::string formatFixed(double value, char decimalSeparator);
