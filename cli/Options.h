#pragma once
// The headless counter's command line.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/BlobSettings.h"
#include "core/ParameterTexts.h"
#include "detect/Marks.h"

struct CounterOptions {
    ParameterTexts texts;            // the parameter fields as the window would hold them
    int gridMicrons = 25;
    int scaleMicrons = 25;
    std::filesystem::path outFolder;  // empty: beside each picture
    bool marked = false;
    bool xy = false;
    bool stats = false;
    std::filesystem::path summaryFile;
    int jobs = 0;                     // 0: the number of cores
    std::vector<std::filesystem::path> pictures;
    bool help = false;
    // Teaching by example and the blob count.
    std::filesystem::path learnMarks;   // --learn: marks file; the picture is then taught on, not counted
    PixelRegion learnRegion;            // --learn-region
    std::filesystem::path learnOut;     // --learn-out: the parameter file written
    bool blobs = false;                 // --blobs: the blob count beside the count
    std::filesystem::path blobSettingsFrom;  // the last --params-from: its blob settings, if any, are used
    BlobSettings blobSettings;          // the defaults, or those of blobSettingsFrom
};

struct OptionsResult {
    CounterOptions options;
    std::string error;  // set for bad options: the counter prints it with the usage and exits 2
};

/// Reads the parameters of a saved report into texts. Returns an empty text or the reason it failed.
using ReportParameterReader = std::string (*)(const std::filesystem::path& report, ParameterTexts& texts);

/// Parses argv[1..]; options apply in their order, so an option after --params-from overrides the report.
OptionsResult parseCounterOptions(const std::vector<std::string>& arguments, ReportParameterReader readReport);

/// The text --help prints.
std::string counterUsage();
