#pragma once
// The headless counter's command line.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/BlobSettings.h"
#include "core/ParameterTexts.h"
#include "detect/DensityCount.h"
#include "detect/Marks.h"
#include "picture/SampleRange.h"
#include "report/ReportFile.h"

/// One picture's share of teaching: its marks file, teaching region and background boxes.
struct LearnGroup {
    std::filesystem::path marks;            // --learn MARKS.csv
    PixelRegion region;                     // --learn-region
    std::vector<PixelRegion> background;    // --learn-background, any number
};

struct CounterOptions {
    ParameterTexts texts;            // the parameter fields as the window would hold them
    int gridMicrons = 25;
    int scaleMicrons = 25;
    std::filesystem::path outFolder;  // empty: beside each picture
    bool marked = false;
    bool xy = false;
    bool stats = false;
    bool acceptDamaged = false;       // a picture the reader called damaged does not fail the run
    bool recursive = false;           // a folder given as a picture: its subfolders too
    std::filesystem::path summaryFile;
    int jobs = 0;                     // 0: the number of cores
    std::uint64_t memoryLimitMB = 0;  // --memory-limit; 0: the readers' default
    SampleRange range;                // --range: how 16-bit samples become 8 bits
    bool rangeGiven = false;          // --range was given (it then wins over a learnt model's mapping)
    int page = 0;                     // --page: the page of a TIFF file of several; 0: the first
    bool particles = false;           // also write the particle table c_NAME.csv
    std::filesystem::path summaryAppendFile;  // rows appended under a lock; header only when empty
    std::filesystem::path poolFile;   // --pool: the positional arguments are reports to pool
    std::vector<std::filesystem::path> pictureFolders;  // --pictures: where --pool also looks
    std::vector<std::filesystem::path> pictures;  // as given: pictures and folders of pictures
    bool help = false;
    // Teaching by example and the blob count.
    std::filesystem::path learnMarks;   // --learn: marks file; the picture is then taught on, not counted
    PixelRegion learnRegion;            // --learn-region
    std::filesystem::path learnOut;     // --learn-out: the parameter file written
    bool blobs = false;                 // --blobs: the blob count beside the count
    std::filesystem::path blobSettingsFrom;  // the last --params-from: its blob settings, if any, are used
    BlobSettings blobSettings;          // the defaults, or those of blobSettingsFrom
    // The learnt count. learnMarks and learnRegion above are those of the first group.
    std::vector<LearnGroup> learnGroups;  // one per --learn, in order: the N-th teaches on the N-th picture
    bool density = false;                 // --density: the learnt count (model beside --params-from)
    std::shared_ptr<const DensityModel> densityModel;  // read by the counter from beside --params-from
};

struct OptionsResult {
    CounterOptions options;
    std::string error;  // set for bad options: the counter prints it and exits 2
};

/// Reads a saved report (the report reader of "Open report").
using ReportParameterReader = ReportReading (*)(const std::filesystem::path& report);

/// Parses argv[1..]; options apply in their order, so an option after --params-from overrides the report.
/// A parameter line the report lacks is an error unless an option (before or after) gives its value.
OptionsResult parseCounterOptions(const std::vector<std::string>& arguments, ReportParameterReader readReport);

/// The text --help prints.
std::string counterUsage();

/// A value for a message: a long one is cut to its first characters and "...".
std::string shortenedValue(const std::string& value);
