// spottally-count-qt: what the headless counter needs Qt for now and then (cli/QtModule.h). The counter
// loads this module only when it needs one of these, so that a count starts without Qt's libraries.
// Fonts need no display: without a platform chosen, Qt's offscreen one is used.

#include <QGuiApplication>

#include "cli/QtModule.h"
#include "core/Regional.h"
#include "picture/PictureMemory.h"
#include "picture/PngDecoding.h"
#include "view/Overlays.h"
#include "view/ScaleLabel.h"

namespace {

QGuiApplication* application = nullptr;

}  // namespace

#define SPOTTALLY_EXPORT extern "C" __attribute__((visibility("default")))

/// Starts Qt's font machinery (argc must outlive it) and returns the label writer to set.
SPOTTALLY_EXPORT ScaleLabelWriter spottallyStartFonts(int* argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!application) application = new QGuiApplication(*argc, argv);
    return writeScaleLabel;
}

/// Ends what spottallyStartFonts started.
SPOTTALLY_EXPORT void spottallyStopFonts()
{
    delete application;
    application = nullptr;
}

/// Decodes a PNG picture with Qt's reader, under the counter's memory limit and sample range.
SPOTTALLY_EXPORT void spottallyDecodePng(const PngRequest* request, DecodedPicture* result)
{
    setPictureMemoryLimit(request->memoryLimit);
    setPictureMemoryClaimer(request->claimMemory);
    setSampleRange(request->range);
    *result = decodePng(request->path);
}

/// The regional settings of Qt's system locale.
SPOTTALLY_EXPORT void spottallySystemRegional(RegionalSettings* settings) { *settings = systemRegionalSettings(); }
