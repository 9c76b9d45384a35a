// spottally-count-fonts: the counter's fonts for the scale bar's label of a marked picture. The counter
// loads this module only for --marked, so that every other count starts without loading the window
// system's libraries. No display is needed: without a platform chosen, Qt's offscreen one is used.

#include <QGuiApplication>

#include "view/Overlays.h"
#include "view/ScaleLabel.h"

namespace {

QGuiApplication* application = nullptr;

}  // namespace

/// Starts Qt's font machinery (argc must outlive it) and returns the label writer to set.
extern "C" __attribute__((visibility("default"))) ScaleLabelWriter spottallyStartFonts(int* argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!application) application = new QGuiApplication(*argc, argv);
    return writeScaleLabel;
}

/// Ends what spottallyStartFonts started.
extern "C" __attribute__((visibility("default"))) void spottallyStopFonts()
{
    delete application;
    application = nullptr;
}
