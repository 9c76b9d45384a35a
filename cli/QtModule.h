#pragma once
// The counter's Qt module, spottally-count-qt.so (cli/CounterQt.cpp): what the counter needs Qt for
// now and then, so that it starts without loading Qt. Fonts for the scale bar's label of --marked, PNG
// decoding, and the regional settings of a locale the built-in table does not hold. Loaded once, at
// its first use: beside the counter in a build, else where it is installed.

#include <cstdint>
#include <filesystem>
#include <string>

#include "picture/PictureLoading.h"
#include "picture/PictureMemory.h"
#include "picture/SampleRange.h"

/// What the module's PNG decoder needs of the counter's state.
struct PngRequest {
    std::filesystem::path path;
    std::uint64_t memoryLimit = 0;  // bytes (pictureMemoryLimit())
    SampleRange range;
    PictureMemoryClaimer claimMemory = nullptr;  // the counter's claimPictureMemory: one limit for all
};

using DecodePngFunction = void (*)(const PngRequest* request, DecodedPicture* result);
using SystemRegionalFunction = void (*)(struct RegionalSettings* settings);

/// The module's function of that name, loading the module on first use. Null, with problem saying
/// why, when the module or the function is not there.
void* counterQtFunction(const char* name, std::string& problem);
