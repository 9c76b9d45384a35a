// spottally-count: the headless counter. Counts pictures with the same core as the SpotTally window.

#include <csignal>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/Counter.h"
#include "cli/Options.h"
#include "cli/QtModule.h"
#include "view/Overlays.h"

namespace {

using StartFonts = ScaleLabelWriter (*)(int* argc, char** argv);
using StopFonts = void (*)();
StopFonts stopFonts = nullptr;

/// Sets the label writer of the counter's Qt module. Returns an empty text or why it failed.
std::string loadFonts(int& argc, char** argv)
{
    std::string problem;
    const auto start = reinterpret_cast<StartFonts>(counterQtFunction("spottallyStartFonts", problem));
    stopFonts = reinterpret_cast<StopFonts>(counterQtFunction("spottallyStopFonts", problem));
    if (!start || !stopFonts) return "cannot load the fonts for the scale bar's label: " + problem;
    setScaleLabelWriter(start(&argc, argv));
    return {};
}

}  // namespace

int main(int argc, char* argv[])
{
    // A closed pipe on stdout is a write error the run reports (exit 1), not a silent end.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const OptionsResult parsed = parseCounterOptions(arguments, readReportFile);
    if (!parsed.error.empty()) {
        std::cerr << "spottally-count: " << parsed.error << "\n"
                  << "Try 'spottally-count --help' for more information.\n";
        return 2;
    }
    if (parsed.options.help) {
        std::cout << counterUsage() << std::flush;
        if (std::cout) return 0;
        std::cerr << "spottally-count: cannot write to the standard output\n";
        return 1;
    }
    if (!parsed.options.poolFile.empty()) return runPool(parsed.options, std::cout, std::cerr);
    // Only the marked picture's scale bar needs fonts: they come from the Qt module, loaded for it.
    if (parsed.options.marked) {
        const std::string problem = loadFonts(argc, argv);
        if (!problem.empty()) {
            std::cerr << "spottally-count: " << problem << "\n";
            return 1;
        }
    }
    const int status = runCounter(parsed.options, std::cout, std::cerr);
    if (stopFonts) stopFonts();
    return status;
}
