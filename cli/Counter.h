#pragma once
// The headless counter's work: every picture counted as the window's count button counts it.

#include <optional>
#include <ostream>

#include "core/BlobSettings.h"

#include "cli/Options.h"

/// Reads the parameters of a saved report (the report reader of "Open report").
std::string readReportParameters(const std::filesystem::path& report, ParameterTexts& texts);

/// Counts every picture of options; writes the outputs, one line per picture on out, failures on err.
/// Returns the exit status: 0 when every picture was counted, 1 when any failed.
int runCounter(const CounterOptions& options, std::ostream& out, std::ostream& err);

/// The blob settings of a saved report (the lines after its 21 lines), if it holds them; problem
/// says why a settings line could not be read.
std::optional<BlobSettings> readReportBlobSettings(const std::filesystem::path& report, std::string& problem);

/// --learn: teaches on the one picture of options from its marks, writes the parameter file
/// (a report of the picture counted with the learnt parameters, blob lines included) and prints the
/// learnt options and how they fit the marks. Returns 0, or 1 when it could not.
int runLearning(const CounterOptions& options, std::ostream& out, std::ostream& err);
