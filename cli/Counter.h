#pragma once
// The headless counter's work: every picture counted as the window's count button counts it.

#include <ostream>

#include "cli/Options.h"

/// Reads the parameters of a saved report (the report reader of "Open report").
std::string readReportParameters(const std::filesystem::path& report, ParameterTexts& texts);

/// Counts every picture of options; writes the outputs, one line per picture on out, failures on err.
/// Returns the exit status: 0 when every picture was counted, 1 when any failed.
int runCounter(const CounterOptions& options, std::ostream& out, std::ostream& err);
