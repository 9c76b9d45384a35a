// spottally-count: the headless counter. Counts pictures with the same core as the SpotTally window.

#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <memory>
#include <iostream>

#include "cli/Counter.h"
#include "cli/Options.h"

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
    // The marked picture's scale bar has a text label, which needs Qt's fonts; no display is needed.
    std::unique_ptr<QGuiApplication> fonts;
    if (parsed.options.marked) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        fonts = std::make_unique<QGuiApplication>(argc, argv);
    }
    return runCounter(parsed.options, std::cout, std::cerr);
}
