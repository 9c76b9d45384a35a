#pragma once
// The parameters of the last count, kept in the settings file so that the next start begins with them:
// one "parameter-NAME=TEXT" line per field, named as the counter's options are (parameter-min-size,
// parameter-volume, parameter-red, ...), each holding the field's text as the user typed it.

#include <string>
#include <utility>
#include <vector>

#include "core/ParameterTexts.h"

/// Longest field text kept; a longer one is not a parameter the count used.
inline constexpr std::size_t kLastParameterLength = 64;

/// The settings entries for texts: (key, value) in the fields' order.
std::vector<std::pair<std::string, std::string>> lastParameterEntries(const ParameterTexts& texts);

/// The fields found among the settings file's later lines replace those of texts; a field whose line
/// is missing, repeated, too long or holds control characters keeps its text. Returns how many
/// fields were taken.
int readLastParameters(const std::vector<std::string>& laterLines, ParameterTexts& texts);
