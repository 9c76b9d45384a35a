#pragma once
// The headless counter's work: every picture counted as the window's count button counts it.

#include <ostream>

#include "cli/Options.h"

/// Counts every picture of options (a folder: its pictures); writes the outputs, one line per picture
/// on out, failures and the reader's warnings on err. Returns the exit status: 0 when every picture
/// was counted, 1 when any failed or was damaged (unless accepted) or out could not be written, 2
/// when outputs would overwrite each other or an input (then nothing is written).
int runCounter(const CounterOptions& options, std::ostream& out, std::ostream& err);
