#include "report/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "core/FieldText.h"

namespace {

// A finite non-zero value as decimal digits d1 d2 d3 ... (no leading zeros) and the power of ten of d1.
struct DecimalDigits {
    bool negative = false;
    std::string digits;  // significant digits, at least one
    int exponent = 0;    // value = 0.d1d2d3... * 10^(exponent + 1) = d1.d2d3... * 10^exponent
};

// The shortest digits that read back as the same double (at most 17).
DecimalDigits decimalDigits(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    std::string_view written(text, static_cast<std::size_t>(result.ptr - text));  // "-1.125e+00"
    DecimalDigits out;
    if (!written.empty() && written.front() == '-') {
        out.negative = true;
        written.remove_prefix(1);
    }
    const std::size_t e = written.find('e');
    for (char c : written.substr(0, e))
        if (c != '.') out.digits += c;
    out.exponent = std::atoi(std::string(written.substr(e + 1)).c_str());
    return out;
}

// Keeps the first `keep` digits, rounding half away from zero on the digit that follows. A carry out
// of the first digit ("999" -> "1000") raises the exponent and keeps `keep` digits.
void roundDigits(DecimalDigits& number, int keep)
{
    if (keep < 0) {  // the rounding place lies left of every digit: the value rounds to zero
        number.digits = "0";
        return;
    }
    std::string& digits = number.digits;
    const bool up = static_cast<std::size_t>(keep) < digits.size() && digits[keep] >= '5';
    digits.resize(static_cast<std::size_t>(keep), '0');
    if (!up) {
        if (digits.empty()) digits = "0";  // keep == 0 and rounded down
        return;
    }
    int i = keep - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
        ++digits[i];
    } else {
        digits.insert(digits.begin(), '1');
        ++number.exponent;
        if (keep > 0) digits.pop_back();
    }
}

std::string specialValue(double value)
{
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

}  // namespace

std::string formatScientific(double value, char decimalSeparator)
{
    if (!std::isfinite(value)) return specialValue(value);
    DecimalDigits number;
    if (value == 0) {
        number.digits = "000";
    } else {
        number = decimalDigits(value);
        roundDigits(number, 3);
    }
    const int exponent = number.exponent;
    std::string text = number.negative ? "-" : "";
    text += number.digits[0];
    text += decimalSeparator;
    text += number.digits.substr(1, 2);
    text += exponent < 0 ? "E-" : "E+";
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) text += '0';
    text += std::to_string(magnitude);
    return text;
}

std::string formatFixed(double value, char decimalSeparator)
{
    if (!std::isfinite(value)) return specialValue(value);
    constexpr int kSignificant = 3;
    constexpr int kDecimals = 3;
    bool negative = false;
    // Digits of the value scaled by 1000, as a whole number text (rounded), e.g. 12.5 -> "12500".
    std::string scaled = "0";
    if (value != 0) {
        DecimalDigits number = decimalDigits(value);
        negative = number.negative;
        // Digits kept: up to the third significant one, but none beyond the third decimal.
        const int keep = std::min(kSignificant, number.exponent + 1 + kDecimals);
        roundDigits(number, keep);
        if (number.digits != "0") {
            // The kept digits end at the place 10^(exponent + 1 - size); pad to the place 10^-3.
            const int lastPlace = number.exponent + 1 - static_cast<int>(number.digits.size());
            scaled = number.digits + std::string(static_cast<std::size_t>(lastPlace + kDecimals), '0');
        }
    }
    if (scaled.size() <= kDecimals) scaled.insert(0, kDecimals + 1 - scaled.size(), '0');
    std::string text = negative && scaled.find_first_not_of('0') != std::string::npos ? "-" : "";
    text += scaled.substr(0, scaled.size() - kDecimals);
    text += decimalSeparator;
    text += scaled.substr(scaled.size() - kDecimals);
    return text;
}

std::string formatScientific(double value) { return formatScientific(value, regionalDecimalSeparator()); }
std::string formatFixed(double value) { return formatFixed(value, regionalDecimalSeparator()); }
