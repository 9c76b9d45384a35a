// spottally-count: the headless counter. Counts pictures with the same core as the SpotTally window.

#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <iostream>

#include "cli/Counter.h"
#include "cli/Options.h"

int main(int argc, char* argv[])
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const OptionsResult parsed = parseCounterOptions(arguments, readReportParameters);
    if (!parsed.error.empty()) {
        std::cerr << "spottally-count: " << parsed.error << "\n\n" << counterUsage();
        return 2;
    }
    if (parsed.options.help) {
        std::cout << counterUsage();
        return 0;
    }
    if (!parsed.options.poolFile.empty()) return runPool(parsed.options, std::cout, std::cerr);
    // The marked picture's scale bar has a text label, which needs Qt's fonts; no display is needed.
    std::unique_ptr<QGuiApplication> fonts;
    if (parsed.options.marked) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        fonts = std::make_unique<QGuiApplication>(argc, argv);
    }
    return runCounter(parsed.options, std::cout, std::cerr);
}
