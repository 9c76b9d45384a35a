// spottally-count: the headless counter. Counts pictures with the same core as the SpotTally window.

#include <csignal>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/Counter.h"
#include "cli/Options.h"
#include "view/Overlays.h"

namespace {

/// The font module (cli/CounterFonts.cpp): beside the counter in a build, else where it is installed.
constexpr const char* kFontModule = "spottally-count-fonts.so";

using StartFonts = ScaleLabelWriter (*)(int* argc, char** argv);
using StopFonts = void (*)();
StopFonts stopFonts = nullptr;

/// Loads the font module and sets its label writer. Returns an empty text or why it failed.
std::string loadFonts(int& argc, char** argv)
{
    std::vector<std::filesystem::path> places;
    std::error_code unknown;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", unknown);
    if (!unknown) places.push_back(self.parent_path() / kFontModule);
#ifdef SPOTTALLY_MODULE_DIR
    places.push_back(std::filesystem::path(SPOTTALLY_MODULE_DIR) / kFontModule);
#endif
    std::string reasons;
    for (const std::filesystem::path& place : places) {
        if (!std::filesystem::exists(place, unknown)) continue;
        void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto start = module ? reinterpret_cast<StartFonts>(dlsym(module, "spottallyStartFonts")) : nullptr;
        stopFonts = module ? reinterpret_cast<StopFonts>(dlsym(module, "spottallyStopFonts")) : nullptr;
        if (start && stopFonts) {
            setScaleLabelWriter(start(&argc, argv));
            return {};
        }
        const char* reason = dlerror();
        reasons += "; " + place.string() + ": " + (reason ? reason : "not the font module");
    }
    return std::string("cannot load the fonts for the scale bar's label (") + kFontModule + ")" +
           (reasons.empty() ? ": not found" : reasons);
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
    // Only the marked picture's scale bar needs fonts: they come from a module loaded for it alone.
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
