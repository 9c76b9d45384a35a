#include "picture/tiff/LibTiffReader.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

#include "picture/PictureMemory.h"

namespace {

// libtiff reports through process-wide handlers; they are set once and collect into the calling
// thread's list, so readers on several threads keep their messages apart and nothing reaches stderr.
thread_local std::vector<std::string> libtiffErrors;

std::string formatted(const char* module, const char* format, va_list arguments)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = module && *module ? std::string(module) + ": " : std::string();
    return line + text;
}

void collectError(thandle_t, const char* module, const char* format, va_list arguments)
{
    libtiffErrors.push_back(formatted(module, format, arguments));
}

void ignoreWarning(thandle_t, const char*, const char*, va_list)
{
    // Unknown tags and the like: the picture is read anyway, so they are not worth a message box.
}

void installHandlersOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandlerExt(collectError);
        TIFFSetWarningHandlerExt(ignoreWarning);
    });
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

bool reducedResolution(TIFF* tif)
{
    std::uint32_t subfileType = 0;
    return TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfileType) && (subfileType & FILETYPE_REDUCEDIMAGE);
}

std::string lastError(const std::string& fallback)
{
    return libtiffErrors.empty() ? fallback : libtiffErrors.back();
}

}  // namespace

LibTiffResult ReadTiffThroughLibtiff(const std::string& fileName)
{
    installHandlersOnce();
    libtiffErrors.clear();
    LibTiffResult result;
    const std::string label = "\"" + fileName + "\"";
    // "r": read only, never created or written; memory mapping is libtiff's default for reading.
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(fileName.c_str(), "r"));
    if (!tif) {
        result.messages.push_back(label + " cannot be read as a TIFF file: " + lastError("unknown reason") + ".");
        return result;
    }
    result.opened = true;

    // The first full-resolution directory; the first directory of all when every one is reduced.
    tdir_t chosen = 0;
    bool found = false;
    tdir_t index = 0;
    do {
        if (!reducedResolution(tif.get())) {
            if (!found) chosen = index;
            found = true;
            ++result.pages;
        }
        ++index;
    } while (index < 65535 && TIFFReadDirectory(tif.get()));
    libtiffErrors.clear();  // a damaged chain after the picture's directory does not concern the picture
    if (!TIFFSetDirectory(tif.get(), chosen)) {
        result.messages.push_back(label + " cannot be read as a TIFF file: " + lastError("no readable directory") + ".");
        return result;
    }

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        result.messages.push_back(label + " cannot be read: its picture is " + std::to_string(width) + " x " +
                                  std::to_string(height) + " pixels (1 to 65535 each way can be read).");
        return result;
    }
    if (!pictureFitsMemoryLimit(width, height)) {
        result.messages.push_back(label + " is too large to load: " + overMemoryLimitReason(width, height) + ".");
        return result;
    }
    char why[1024] = "";
    if (!TIFFRGBAImageOK(tif.get(), why)) {
        result.messages.push_back(label + " cannot be read through libtiff: " + why + ".");
        return result;
    }
    std::vector<std::uint32_t> raster;
    try {
        raster.resize(static_cast<std::size_t>(width) * height);
        result.picture.resize(static_cast<int>(width), static_cast<int>(height));
    } catch (const std::bad_alloc&) {
        result.picture = Picture();
        result.messages.push_back("Not enough memory to load " + label + ".");
        return result;
    }
    // stopOnError 0: a damaged strip or tile leaves its part blank, the rest is still decoded.
    const int complete = TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 0);
    if (!complete || !libtiffErrors.empty()) {
        if (libtiffErrors.empty()) {
            result.picture = Picture();
            result.messages.push_back(label + " cannot be read through libtiff.");
            return result;
        }
        result.damaged = true;
        result.messages.push_back(label + " is damaged, the picture may be incomplete: " + libtiffErrors.front() +
                                  ".");
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* in = raster.data() + static_cast<std::size_t>(y) * width;
        std::uint8_t* out = result.picture.row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            out[3 * x] = static_cast<std::uint8_t>(TIFFGetB(in[x]));
            out[3 * x + 1] = static_cast<std::uint8_t>(TIFFGetG(in[x]));
            out[3 * x + 2] = static_cast<std::uint8_t>(TIFFGetR(in[x]));
        }
    }
    return result;
}
