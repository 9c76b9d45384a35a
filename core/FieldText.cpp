#include "core/FieldText.h"

#include "core/Regional.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

char overrideSeparator = '\0';

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::int64_t> parseWholeNumber(std::string_view text)
{
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 18) return std::nullopt;  // 18 digits always fit
    std::int64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::optional<double> parseDecimal(std::string_view text)
{
    text = trimBlanks(text);
    if (text.empty() || text.size() > 64) return std::nullopt;
    std::string normal;
    bool seenSeparator = false, seenDigit = false, seenExponent = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (isDigit(c)) {
            seenDigit = true;
        } else if ((c == ',' || c == '.') && !seenSeparator && !seenExponent) {
            seenSeparator = true;
            c = '.';
        } else if ((c == '+' || c == '-') && (i == 0 || text[i - 1] == 'e' || text[i - 1] == 'E')) {
        } else if ((c == 'e' || c == 'E') && seenDigit && !seenExponent) {
            seenExponent = true;
            seenDigit = false;  // the exponent needs digits of its own
        } else {
            return std::nullopt;
        }
        normal += c;
    }
    if (!seenDigit) return std::nullopt;
    // strtod reads '.' only in the "C" numeric locale, which Qt programs keep.
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(normal.c_str(), &end);
    if (end != normal.c_str() + normal.size() || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string shortenedForMessage(std::string_view text)
{
    constexpr std::size_t kShown = 60;
    if (text.size() <= kShown) return std::string(text);
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // whole characters
    return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

char regionalDecimalSeparator()
{
    if (overrideSeparator != '\0') return overrideSeparator;
    return systemRegionalSettings().decimalPoint;
}

void setDecimalSeparator(char separator) { overrideSeparator = separator; }

std::string withRegionalSeparator(std::string_view dottedText)
{
    std::string text(dottedText);
    const char separator = regionalDecimalSeparator();
    for (char& c : text)
        if (c == '.') c = separator;
    return text;
}

std::int64_t readWholeField(std::string_view fieldName, std::string_view text, std::int64_t minimum,
                            std::int64_t maximum)
{
    const auto value = parseWholeNumber(text);
    if (!value)
        throw FieldError{"'" + shortenedForMessage(text) + "' in the field \"" + std::string(fieldName) +
                         "\" is not a whole number."};
    if (*value < minimum || *value > maximum)
        throw FieldError{"'" + shortenedForMessage(text) + "' in the field \"" + std::string(fieldName) +
                         "\" is out of range: allowed are " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + "."};
    return *value;
}

double readDecimalField(std::string_view fieldName, std::string_view text)
{
    const auto value = parseDecimal(text);
    if (!value)
        throw FieldError{"'" + shortenedForMessage(text) + "' in the field \"" + std::string(fieldName) +
                         "\" is not a number."};
    return *value;
}
