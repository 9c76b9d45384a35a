#pragma once
// The headless counter's work: every picture counted as the window's count button counts it.

#include <ostream>

#include "cli/Options.h"

/// Reads the parameters of a saved report (the report reader of "Open report").
std::string readReportParameters(const std::filesystem::path& report, ParameterTexts& texts);

/// Counts every picture of options; writes the outputs, one line per picture on out, failures on err.
/// Returns the exit status: 0 when every picture was counted, 1 when any failed.
int runCounter(const CounterOptions& options, std::ostream& out, std::ostream& err);

/// --pool: pools the saved reports (options.pictures) of one filter into options.poolFile and prints
/// the tab-separated result line on out. Returns 0, or 1 (reasons on err, nothing written) when a
/// report cannot be used.
int runPool(const CounterOptions& options, std::ostream& out, std::ostream& err);
