#pragma once
// The headless counter's work: every picture counted as the window's count button counts it.

#include <memory>
#include <optional>
#include <ostream>

#include "core/BlobSettings.h"

#include "cli/Options.h"

/// Counts every picture of options (a folder: its pictures); writes the outputs, one line per picture
/// on out, failures and the reader's warnings on err. Returns the exit status: 0 when every picture
/// was counted, 1 when any failed or was damaged (unless accepted) or out could not be written, 2
/// when outputs would overwrite each other or an input (then nothing is written).
int runCounter(const CounterOptions& options, std::ostream& out, std::ostream& err);

/// --pool: pools the saved reports (options.pictures) of one filter into options.poolFile and prints
/// the tab-separated result line on out. Returns 0, or 1 (reasons on err, nothing written) when a
/// report cannot be used.
int runPool(const CounterOptions& options, std::ostream& out, std::ostream& err);

/// The blob settings of a saved report (the lines after its 21 lines), if it holds them; problem
/// says why a settings line could not be read.
std::optional<BlobSettings> readReportBlobSettings(const std::filesystem::path& report, std::string& problem);

/// The learnt model beside a saved report (densityModelPath), if there is one; nullptr without. A
/// model that cannot be read, or a report that names a model when none lies beside it (when needed),
/// sets problem.
std::shared_ptr<const DensityModel> readReportModel(const std::filesystem::path& report, bool needed,
                                                    std::string& problem);

/// The learnt positions' file name: "c_" + name less its last four characters + ".learnt.csv".
std::string learntPositionsFileName(const std::string& imageFileName);
/// The learnt positions as CSV: header "number,x,y", one position a line, numbered from 1.
std::string learntPositionsText(const std::vector<Mark>& positions);

/// --learn: teaches on the one picture of options from its marks, writes the parameter file
/// (a report of the picture counted with the learnt parameters, blob lines included) and prints the
/// learnt options and how they fit the marks. Returns 0, or 1 when it could not.
int runLearning(const CounterOptions& options, std::ostream& out, std::ostream& err);
