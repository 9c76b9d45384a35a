#include "cli/Options.h"

#include <thread>

#include "core/FieldText.h"

namespace {

std::string wholeNumberText(const std::string& option, const std::string& value, long long minimum,
                            long long maximum, std::string& error)
{
    const auto number = parseWholeNumber(value);
    if (!number || *number < minimum || *number > maximum) {
        error = option + " takes a whole number from " + std::to_string(minimum) + " to " +
                std::to_string(maximum) + ", not '" + value + "'";
        return {};
    }
    return std::to_string(*number);
}

}  // namespace

std::string counterUsage()
{
    return R"(Usage: spottally-count [OPTIONS] PICTURE...
Counts the particles on each picture (JPEG .jpg/.JPG, BMP .bmp/.BMP, uncompressed TIFF .tif/.TIF)
exactly as the SpotTally window's count button does, and writes the report c_NAME.txt beside the
picture (or into --out). Prints one line per picture: picture, count, particles per filter,
particles per cm3 (tab-separated).

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
  --params-from REPORT      take the parameters from a saved report; later options override
Output:
  --out DIR                 write outputs into DIR instead of beside each picture
  --marked                  also write the marked picture c_NAME (JPEG, quality 90: rings, grid, scale bar)
  --xy                      also write the particle positions c_NAME.asc (x/y export)
  --stats                   append the grid-field statistics to each report
  --summary FILE            CSV, one row per picture: file,width,height,particles,
                            particles_per_filter,particles_per_cm3,total_area_pixels
  --jobs N                  pictures counted at once (default: the number of cores)
  --help                    this text
Blob count and teaching by example:
  --blobs                   also count blobs (Laplacian-of-Gaussian peaks; settings from --params-from
                            when it holds them): a fifth printed column, four report lines after the
                            21 lines, and a blob_count column of --summary
  --learn MARKS.csv         learn the parameters from the marks (header x,y) of one picture instead
                            of counting: needs --learn-region and --learn-out; prints the options
  --learn-region X,Y,W,H    the teaching region in pixels (marks outside it are ignored)
  --learn-out FILE          the report-format parameter file to write; --params-from FILE restores it

Exit status: 0 all pictures counted, 1 a picture failed (named on stderr), 2 bad options.
)";
}

OptionsResult parseCounterOptions(const std::vector<std::string>& arguments, ReportParameterReader readReport)
{
    OptionsResult result;
    CounterOptions& options = result.options;
    std::string& error = result.error;
    options.texts.EdVol = withRegionalSeparator("0.143");  // as the window writes its default
    for (std::size_t i = 0; i < arguments.size() && error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument.compare(0, 2, "--") != 0 || argument == "--") {
            if (argument == "--") {
                for (++i; i < arguments.size(); ++i) options.pictures.emplace_back(arguments[i]);
                break;
            }
            if (argument.size() > 1 && argument[0] == '-') {
                error = "unknown option '" + argument + "'";
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
        if (name == "--blobs") {
            flag(options.blobs);
            continue;
        }
        static const char* const kValued[] = {"--min-size", "--max-size", "--colour", "--colour-tolerance",
                                              "--brightness-tolerance", "--min-contrast", "--pixels-per-mm",
                                              "--filter-area", "--volume", "--grid", "--scale", "--params-from",
                                              "--out", "--summary", "--jobs", "--learn", "--learn-region",
                                              "--learn-out"};
        bool known = false;
        for (const char* valued : kValued) known = known || name == valued;
        if (!known) {
            error = "unknown option '" + name + "'";
            break;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value";
                break;
            }
            value = arguments[++i];
        }
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
                error = "--colour takes three whole numbers R,G,B from 0 to 255, not '" + value + "'";
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
                error = "--volume takes a positive decimal number, not '" + value + "'";
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
            const std::string problem = readReport(value, texts);
            if (!problem.empty()) error = "--params-from " + value + ": " + problem;
            options.blobSettingsFrom = value;
        } else if (name == "--out") {
            options.outFolder = value;
        } else if (name == "--summary") {
            options.summaryFile = value;
        } else if (name == "--jobs") {
            const std::string text = wholeNumberText(name, value, 1, 256, error);
            if (error.empty()) options.jobs = std::stoi(text);
        } else if (name == "--learn") {
            options.learnMarks = value;
        } else if (name == "--learn-region") {
            const std::string problem = parseRegionText(value, options.learnRegion);
            if (!problem.empty()) error = "--learn-region: " + problem;
        } else if (name == "--learn-out") {
            options.learnOut = value;
        }
    }
    if (error.empty() && !options.learnMarks.empty()) {
        if (options.learnRegion.empty())
            error = "--learn needs --learn-region X,Y,W,H";
        else if (options.learnOut.empty())
            error = "--learn needs --learn-out FILE";
        else if (options.pictures.size() != 1 && !options.help)
            error = "--learn teaches on exactly one picture, not " + std::to_string(options.pictures.size());
    } else if (error.empty() && (!options.learnRegion.empty() || !options.learnOut.empty())) {
        error = "--learn-region and --learn-out go with --learn MARKS.csv";
    }
    if (error.empty() && !options.help && options.pictures.empty()) error = "no picture given";
    if (error.empty() && options.jobs == 0)
        options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return result;
}
