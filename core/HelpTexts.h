#pragma once
// The Help menu's texts: the Info box, the manual-not-found box and the built-in manual that the report
// window shows before the first report.

#include <filesystem>
#include <string>
#include <vector>

/// Lines of the Info and not-found boxes are joined by line feed then carriage return, in that order.
constexpr const char* kHelpLineBreak = "\n\r";

std::string infoText();
std::string manualNotFoundText();
/// The report window's text at start: the built-in manual, one element per line.
const std::vector<std::string>& builtInManualLines();

constexpr const char* kManualFileName = "SpotTally_Manual.txt";
/// Where the manual is: beside the executable, else in the installed data folder; empty when neither.
std::filesystem::path findManualFile(const std::filesystem::path& executableFolder,
                                     const std::filesystem::path& installedDataFolder);
