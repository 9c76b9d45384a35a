#pragma once
// Conversion of the parameter fields' text. Fields hold decimal text; every reader converts at the
// moment it needs the value, so a bad text is reported by the command that reads it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// A whole number in decimal: optional surrounding blanks, an optional sign, digits. Nothing else.
std::optional<std::int64_t> parseWholeNumber(std::string_view text);

/// A decimal number; either ',' or '.' is taken as the decimal separator, at most one of them.
/// An optional exponent (E+03) is accepted. Surrounding blanks are ignored.
std::optional<double> parseDecimal(std::string_view text);

/// The user's regional decimal separator (',' or '.'). Tests may fix it with setDecimalSeparator.
char regionalDecimalSeparator();
void setDecimalSeparator(char separator);  // '\0' goes back to the system's

/// "0,143" or "0.143": a decimal text with the regional separator.
std::string withRegionalSeparator(std::string_view dottedText);

/// A text quoted in a message: one longer than 60 bytes is cut after its first 60 (at a character's
/// start) and followed by "... (N bytes)", so a pasted megabyte does not fill a message box.
std::string shortenedForMessage(std::string_view text);

/// Thrown by a command that reads a field whose text it cannot use. The window shows what() and the
/// command ends where the error was raised.
struct FieldError {
    std::string message;
    const char* what() const { return message.c_str(); }
};

/// Reads a whole-number field into [minimum, maximum]; throws FieldError naming the field and the text.
std::int64_t readWholeField(std::string_view fieldName, std::string_view text, std::int64_t minimum,
                            std::int64_t maximum);
/// Reads a decimal field; throws FieldError naming the field and the text.
double readDecimalField(std::string_view fieldName, std::string_view text);
