#include "cli/Options.h"

#include <algorithm>
#include <set>
#include <thread>

#include "core/FieldText.h"

namespace {

std::string wholeNumberText(const std::string& option, const std::string& value, long long minimum,
                            long long maximum, std::string& error)
{
    const auto number = parseWholeNumber(value);
    if (!number || *number < minimum || *number > maximum) {
        error = option + " takes a whole number from " + std::to_string(minimum) + " to " +
                std::to_string(maximum) + ", not '" + shortenedValue(value) + "'";
        return {};
    }
    return std::to_string(*number);
}

// The parameter lines of a report and the option that gives the same value.
struct ReportLine {
    int line;
    const char* option;
};
constexpr ReportLine kReportLines[] = {{4, "--min-size"},          {5, "--max-size"},
                                       {6, "--colour"},            {7, "--colour-tolerance"},
                                       {8, "--brightness-tolerance"}, {9, "--min-contrast"},
                                       {10, "--pixels-per-mm"},    {11, "--filter-area"},
                                       {12, "--volume"}};

// Takes the parameters of a report as --params-from does. Lines the report lacks go to missing;
// returns the reason when the report cannot be used.
std::string takeReportParameters(const ReportReading& reading, ParameterTexts& texts, std::vector<ReportLine>& missing)
{
    if (!reading.error.empty()) return reading.error;
    if (reading.EdR && !reading.panelColour) return reading.colourError;
    const std::optional<std::string>* values[] = {&reading.Edmin,  &reading.EdMax,  &reading.EdR,
                                                  &reading.EdDevi, &reading.Edhell, &reading.EdCont,
                                                  &reading.Edpixmm, &reading.Edfilter, &reading.EdVol};
    for (std::size_t i = 0; i < std::size(kReportLines); ++i)
        if (!*values[i]) missing.push_back(kReportLines[i]);
    // The report's values are refused where the options' are.
    if (reading.Edfilter) {
        const auto area = parseWholeNumber(*reading.Edfilter);
        if (area && *area < 0)
            return "the filter area of line 11, '" + shortenedValue(*reading.Edfilter) +
                   "', is negative (--filter-area takes a whole number from 0 to 2147483647)";
    }
    if (reading.EdVol) {
        const auto volume = parseDecimal(*reading.EdVol);
        if (volume && !(*volume > 0))
            return "the volume of line 12, '" + shortenedValue(*reading.EdVol) +
                   "', is not positive (--volume takes a positive decimal number)";
    }
    copyReportValues(reading, texts);
    return {};
}

}  // namespace

std::string shortenedValue(const std::string& value) { return shortenedForMessage(value); }

std::string counterUsage()
{
    return R"(Usage: spottally-count [OPTIONS] PICTURE|FOLDER...
Counts the particles on each picture exactly as the SpotTally window's count button does, and
writes the report c_NAME.txt beside the picture (or into --out). Pictures are JPEG (.jpg, .jpeg,
.jpe), BMP (.bmp), PNG (.png) and TIFF (.tif, .tiff), the suffix in any letter case. A folder
stands for its pictures, sorted by name. Prints one line per picture: picture, count, particles
per filter, particles per cm3 (tab-separated), and a fifth field "damaged" for a picture the reader
found damaged (its messages go to stderr).

Particle and colour:
  --min-size N              minimum particle size in pixels (5)
  --max-size N              maximum particle size in pixels (8)
  --colour R,G,B            target colour (121,223,95)
  --colour-tolerance N      allowed colour deviation (40)
  --brightness-tolerance N  allowed brightness variation (50)
  --min-contrast N          minimum contrast (40)
Calculation:
  --pixels-per-mm N         picture scale (3952)
  --filter-area N           analysed filter area in mm2 (378)
  --volume X                sample volume in cm3, either decimal separator (0.143)
  --grid N                  grid spacing in micrometres, 0 for none (25)
  --scale N                 scale bar length in micrometres, 0 for none (25)
  --params-from REPORT      take the parameters from a saved report; later options override;
                            a parameter line the report lacks must be given as an option
Input:
  --recursive               a folder's subfolders too (sorted by path)
  --accept-damaged          a damaged picture is counted with a warning, without exit status 1
Output:
  --out DIR                 write outputs into DIR instead of beside each picture
  --marked                  also write the marked picture c_NAME (JPEG, quality 90: rings, grid, scale bar)
  --xy                      also write the particle positions c_NAME.asc (x/y export)
  --stats                   append the grid-field statistics to each report
  --summary FILE            CSV, one row per counted picture: file,width,height,particles,
                            particles_per_filter,particles_per_cm3,total_area_pixels; when a
                            picture was damaged, also warnings (the reader's messages, or empty)
  --jobs N                  pictures counted at once (default: the number of cores)
  --memory-limit MB         memory the three picture layers of one picture may take (default: half
                            of the physical memory); a picture claiming more is refused unread
  --range auto|full|LOW,HIGH
                            how 16-bit samples become 8 bits, linearly: auto (default) from each
                            channel's 0.1st to its 99.9th percentile, full divides by 257 (rounded
                            to the nearest), LOW,HIGH maps LOW..HIGH onto 0..255; the mapping used
                            is printed for each such picture
  --page N                  the N-th full-resolution page of a TIFF file of several (default: 1)
  --particles               also write the particle table c_NAME.csv: number,x,y,area_pixels,
                            area_um2,ecd_um,mean_red,mean_green,mean_blue,added,removed
  --summary-append FILE     append the --summary rows to FILE (header only when it is new),
                            locked, so that counters running at once never mix or lose rows
Pooling (no count):
  spottally-count --pool FILE [--pictures DIR]... REPORT...
                            pools saved reports of the fields of one filter into FILE and prints
                            fields, particles, particles per filter, its 95 % interval low and
                            high, particles per cm3, its interval low and high, and the interval's
                            kind (poisson or t), tab-separated. Each report's picture is looked
                            for beside it, then in every --pictures DIR, for the field's size.
  --help                    this text
Blob count and teaching by example:
  --blobs                   also count blobs (Laplacian-of-Gaussian peaks; settings from --params-from
                            when it holds them): a fifth printed column, four report lines after the
                            21 lines, and a blob_count column of --summary
  --learn MARKS.csv         learn the parameters from the marks (header x,y) of one picture instead
                            of counting: needs --learn-region and --learn-out; prints the options
  --learn-region X,Y,W,H    the teaching region in pixels (marks outside it are ignored)
  --learn-background X,Y,W,H
                            a box that holds no particle (any number; it teaches the learnt count
                            what is not a particle)
  --learn-out FILE          the report-format parameter file to write, and beside it the learnt
                            model FILE less its suffix + .model.txt; --params-from FILE restores both
                            Several pictures of a series teach one learnt model: give --learn once
                            per picture, each followed by its --learn-region and --learn-background
                            options; the N-th --learn goes with the N-th picture. The parameters and
                            blob settings are learnt on the first picture.
  --density                 also give the learnt count (the model beside --params-from): a column
                            after the blob count (after the fourth without --blobs), four report
                            lines after the blob lines, a learnt_count column of --summary, and with
                            --particles the learnt positions in c_NAME.learnt.csv (number,x,y)

Exit status: 0 all pictures counted, 1 a picture failed or was damaged (named on stderr), 2 bad
options, or outputs that would overwrite each other or an input (nothing is counted then).
)";
}

OptionsResult parseCounterOptions(const std::vector<std::string>& arguments, ReportParameterReader readReport)
{
    OptionsResult result;
    CounterOptions& options = result.options;
    std::string& error = result.error;
    options.texts.EdVol = withRegionalSeparator("0.143");  // as the window writes its default
    std::set<std::string> given;            // the valued options on the command line
    std::string reportFile;                 // the last --params-from
    std::vector<ReportLine> reportMissing;  // the parameter lines that report lacks
    for (std::size_t i = 0; i < arguments.size() && error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument.compare(0, 2, "--") != 0 || argument == "--") {
            if (argument == "--") {
                for (++i; i < arguments.size(); ++i) options.pictures.emplace_back(arguments[i]);
                break;
            }
            if (argument.size() > 1 && argument[0] == '-') {
                error = "unknown option '" + shortenedValue(argument) + "'";
                break;
            }
            options.pictures.emplace_back(argument);
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        const auto flag = [&](bool& target) {
            if (hasValue) error = name + " takes no value";
            target = true;
        };
        if (name == "--help") {
            flag(options.help);
            continue;
        }
        if (name == "--marked") {
            flag(options.marked);
            continue;
        }
        if (name == "--xy") {
            flag(options.xy);
            continue;
        }
        if (name == "--stats") {
            flag(options.stats);
            continue;
        }
        if (name == "--accept-damaged") {
            flag(options.acceptDamaged);
            continue;
        }
        if (name == "--recursive") {
            flag(options.recursive);
            continue;
        }
        if (name == "--particles") {
            flag(options.particles);
            continue;
        }
        if (name == "--blobs") {
            flag(options.blobs);
            continue;
        }
        if (name == "--density") {
            flag(options.density);
            continue;
        }
        static const char* const kValued[] = {"--min-size", "--max-size", "--colour", "--colour-tolerance",
                                              "--brightness-tolerance", "--min-contrast", "--pixels-per-mm",
                                              "--filter-area", "--volume", "--grid", "--scale", "--params-from",
                                              "--out", "--summary", "--jobs", "--memory-limit", "--range", "--page",
                                              "--summary-append", "--pool", "--pictures", "--learn", "--learn-region",
                                              "--learn-out", "--learn-background"};
        bool known = false;
        for (const char* valued : kValued) known = known || name == valued;
        if (!known) {
            error = "unknown option '" + shortenedValue(name) + "'";
            break;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value";
                break;
            }
            value = arguments[++i];
        }
        given.insert(name);
        ParameterTexts& texts = options.texts;
        if (name == "--min-size") {
            texts.Edmin = wholeNumberText(name, value, 0, 255, error);
        } else if (name == "--max-size") {
            texts.EdMax = wholeNumberText(name, value, 0, 65535, error);
        } else if (name == "--colour") {
            std::vector<std::string> parts(1);
            for (char c : value) {
                if (c == ',')
                    parts.emplace_back();
                else
                    parts.back() += c;
            }
            if (parts.size() != 3) {
                error = "--colour takes three whole numbers R,G,B from 0 to 255, not '" + shortenedValue(value) + "'";
                break;
            }
            std::string* targets[3] = {&texts.EdR, &texts.EdG, &texts.EdB};
            for (int c = 0; c < 3 && error.empty(); ++c) *targets[c] = wholeNumberText(name, parts[c], 0, 255, error);
        } else if (name == "--colour-tolerance") {
            texts.EdDevi = wholeNumberText(name, value, 0, 65535, error);
        } else if (name == "--brightness-tolerance") {
            texts.Edhell = wholeNumberText(name, value, 0, 65535, error);
        } else if (name == "--min-contrast") {
            texts.EdCont = wholeNumberText(name, value, 0, 65535, error);
        } else if (name == "--pixels-per-mm") {
            texts.Edpixmm = wholeNumberText(name, value, 1, 2147483647, error);
        } else if (name == "--filter-area") {
            texts.Edfilter = wholeNumberText(name, value, 0, 2147483647, error);
        } else if (name == "--volume") {
            const auto volume = parseDecimal(value);
            if (!volume || !(*volume > 0)) {
                error = "--volume takes a positive decimal number, not '" + shortenedValue(value) + "'";
                break;
            }
            texts.EdVol = withRegionalSeparator(value.find(',') != std::string::npos
                                                    ? std::string(value).replace(value.find(','), 1, ".")
                                                    : value);
        } else if (name == "--grid" || name == "--scale") {
            const std::string text = wholeNumberText(name, value, 0, 255, error);
            if (!error.empty()) break;
            (name == "--grid" ? options.gridMicrons : options.scaleMicrons) = std::stoi(text);
        } else if (name == "--params-from") {
            if (!readReport) {
                error = "--params-from is not available";
                break;
            }
            std::vector<ReportLine> missing;
            const std::string problem = takeReportParameters(readReport(value), texts, missing);
            if (!problem.empty()) error = "--params-from " + shortenedValue(value) + ": " + problem;
            reportFile = value;
            reportMissing = std::move(missing);
            options.blobSettingsFrom = value;
        } else if (name == "--out") {
            options.outFolder = value;
        } else if (name == "--summary") {
            options.summaryFile = value;
        } else if (name == "--summary-append") {
            options.summaryAppendFile = value;
        } else if (name == "--pool") {
            options.poolFile = value;
        } else if (name == "--pictures") {
            options.pictureFolders.emplace_back(value);
        } else if (name == "--jobs") {
            const std::string text = wholeNumberText(name, value, 1, 256, error);
            if (error.empty()) options.jobs = std::stoi(text);
        } else if (name == "--memory-limit") {
            const std::string text = wholeNumberText(name, value, 1, 1ll << 40, error);
            if (error.empty()) options.memoryLimitMB = std::stoull(text);
        } else if (name == "--range") {
            if (!parseSampleRange(value, options.range))
                error = "--range: '" + shortenedValue(value) + "' is not auto, full or LOW,HIGH (0 <= LOW < HIGH <= 65535)";
            options.rangeGiven = true;
        } else if (name == "--page") {
            const std::string text = wholeNumberText(name, value, 1, 65535, error);
            if (error.empty()) options.page = std::stoi(text);
        } else if (name == "--learn") {
            // A new group; a region or background given before the first --learn belongs to it.
            if (options.learnGroups.empty() || !options.learnGroups.back().marks.empty())
                options.learnGroups.emplace_back();
            options.learnGroups.back().marks = value;
        } else if (name == "--learn-region" || name == "--learn-background") {
            PixelRegion region;
            const std::string problem = parseRegionText(value, region);
            if (!problem.empty()) {
                error = name + ": " + problem;
                break;
            }
            if (options.learnGroups.empty()) options.learnGroups.emplace_back();
            LearnGroup& group = options.learnGroups.back();
            if (name == "--learn-background") {
                group.background.push_back(region);
            } else if (!group.region.empty()) {
                error = "--learn-region is given twice for one --learn";
            } else {
                group.region = region;
            }
        } else if (name == "--learn-out") {
            options.learnOut = value;
        }
    }
    if (error.empty() && !reportMissing.empty()) {
        std::string lines;
        for (const ReportLine& line : reportMissing)
            if (!given.count(line.option))
                lines += (lines.empty() ? "" : ", ") + std::to_string(line.line) + " (" + line.option + ")";
        if (!lines.empty())
            error = "--params-from " + shortenedValue(reportFile) + ": the report has no line " + lines +
                    "; give those values as options";
    }
    if (error.empty() && !options.learnGroups.empty()) {
        options.learnMarks = options.learnGroups.front().marks;
        options.learnRegion = options.learnGroups.front().region;
    }
    if (error.empty() && !options.learnMarks.empty()) {
        const auto unfinished = std::find_if(options.learnGroups.begin(), options.learnGroups.end(),
                                             [](const LearnGroup& group) { return group.region.empty(); });
        if (unfinished != options.learnGroups.end())
            error = "--learn needs --learn-region X,Y,W,H" +
                    (options.learnGroups.size() > 1
                         ? " for each marks file (missing for " + shortenedValue(unfinished->marks.string()) + ")"
                         : std::string());
        else if (std::any_of(options.learnGroups.begin(), options.learnGroups.end(),
                             [](const LearnGroup& group) { return group.marks.empty(); }))
            error = "--learn-region and --learn-background go with a --learn MARKS.csv before them";
        else if (options.learnOut.empty())
            error = "--learn needs --learn-out FILE";
        else if (options.pictures.size() != options.learnGroups.size() && !options.help)
            error = options.learnGroups.size() == 1
                        ? "--learn teaches on exactly one picture, not " + std::to_string(options.pictures.size())
                        : std::to_string(options.learnGroups.size()) + " marks files (--learn) need as many pictures, not " +
                              std::to_string(options.pictures.size());
        else if (options.density)
            error = "--density counts with a model that --learn has written; give it with --params-from";
    } else if (error.empty() && (!options.learnGroups.empty() || !options.learnOut.empty())) {
        error = !options.learnGroups.empty() && !options.learnGroups.front().background.empty()
                    ? "--learn-background goes with --learn MARKS.csv"
                    : "--learn-region and --learn-out go with --learn MARKS.csv";
    }
    if (error.empty() && options.density && options.blobSettingsFrom.empty() && !options.help)
        error = "--density needs --params-from REPORT, a report written by --learn-out with its model beside it";
    if (error.empty() && !options.help && options.pictures.empty())
        error = options.poolFile.empty() ? "no picture given" : "no report given to pool";
    if (error.empty() && options.jobs == 0)
        options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return result;
}
