#include "picture/tiff/LibTiffReader.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

#include "picture/PictureMemory.h"

namespace {

// Directories looked at for pages: a chain of more is not walked to its end.
constexpr tdir_t kMostDirectories = 65535;

// libtiff reports through process-wide handlers; they are set once and collect into the calling
// thread's list, so readers on several threads keep their messages apart and nothing reaches stderr.
thread_local std::vector<std::string> libtiffErrors;

std::string formatted(const char* module, const char* format, va_list arguments) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = module && *module ? std::string(module) + ": " : std::string();
    return line + text;
}

void collectError(thandle_t, const char* module, const char* format, va_list arguments) {
    libtiffErrors.push_back(formatted(module, format, arguments));
}

void ignoreWarning(thandle_t, const char*, const char*, va_list) {
    // Unknown tags and the like: the picture is read anyway, so they are not worth a message box.
}

void installHandlersOnce() {
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

bool reducedResolution(TIFF* tif) {
    std::uint32_t subfileType = 0;
    return TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfileType) && (subfileType & FILETYPE_REDUCEDIMAGE);
}

// 16-bit unsigned grey or RGB samples, which the RGBA reader would cut to their high byte: read as
// they are, by strips or tiles, contiguous or in planes, for the mapping onto 8 bits.
bool sixteenBitGreyOrRgb(TIFF* tif, int& channels) {
    std::uint16_t bits = 1, samples = 1, photometric = 0, format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || bits != 16 || format != SAMPLEFORMAT_UINT)
        return false;
    if ((photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) && samples >= 1) {
        channels = 1;
        return true;
    }
    if (photometric == PHOTOMETRIC_RGB && samples >= 3) {
        channels = 3;
        return true;
    }
    return false;
}

// Reads the first `channels` samples of every pixel into one plane each. False when the layout cannot
// be read at all; a strip or tile libtiff cannot decode stays 0 and sets damaged, as in the RGBA reader.
bool readSixteenBit(TIFF* tif, std::uint32_t width, std::uint32_t height, int channels,
                    std::vector<std::vector<std::uint16_t>>& planes, bool& damaged) {
    std::uint16_t samples = 1, planar = PLANARCONFIG_CONTIG, photometric = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    const bool separate = planar == PLANARCONFIG_SEPARATE;
    const bool tiled = TIFFIsTiled(tif) != 0;
    std::uint32_t blockWidth = width, blockHeight = 0;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &blockWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &blockHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &blockHeight);
        blockHeight = std::min(blockHeight, height);
    }
    if (blockWidth == 0 || blockHeight == 0) return false;
    const std::size_t perPixel = separate ? 1 : samples;
    const std::size_t blockValues = static_cast<std::size_t>(blockWidth) * blockHeight * perPixel;
    const tmsize_t blockBytes = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    if (blockBytes <= 0 || static_cast<std::size_t>(blockBytes) < blockValues * 2) return false;
    std::vector<std::uint16_t> block(static_cast<std::size_t>(blockBytes) / 2 + 1);
    planes.assign(static_cast<std::size_t>(channels),
                  std::vector<std::uint16_t>(static_cast<std::size_t>(width) * height));
    const int passes = separate ? channels : 1;
    for (int plane = 0; plane < passes; ++plane)
        for (std::uint32_t y0 = 0; y0 < height; y0 += blockHeight)
            for (std::uint32_t x0 = 0; x0 < width; x0 += blockWidth) {
                tmsize_t got = 0;
                if (tiled) {
                    got = TIFFReadTile(tif, block.data(), x0, y0, 0, static_cast<std::uint16_t>(plane));
                } else {
                    const std::uint32_t strip = TIFFComputeStrip(tif, y0, static_cast<std::uint16_t>(plane));
                    got = TIFFReadEncodedStrip(tif, strip, block.data(), blockBytes);
                }
                if (got < 0) {
                    damaged = true;
                    continue;
                }
                const std::uint32_t rows = std::min(blockHeight, height - y0);
                const std::uint32_t columns = std::min(blockWidth, width - x0);
                if (static_cast<std::size_t>(got) <
                    static_cast<std::size_t>(rows - 1) * blockWidth * perPixel * 2 +
                        static_cast<std::size_t>(columns) * perPixel * 2) {
                    damaged = true;  // a short strip: libtiff has said why
                    continue;
                }
                for (std::uint32_t r = 0; r < rows; ++r) {
                    const std::uint16_t* in =
                        block.data() + static_cast<std::size_t>(r) * blockWidth * perPixel;
                    const std::size_t out = static_cast<std::size_t>(y0 + r) * width + x0;
                    // One channel at a time, with its stride fixed: this copy is a hot loop.
                    for (int c = separate ? plane : 0; c < (separate ? plane + 1 : channels); ++c) {
                        std::uint16_t* target = planes[static_cast<std::size_t>(c)].data() + out;
                        const std::uint16_t* source = in + (separate ? 0 : c);
                        for (std::uint32_t x = 0; x < columns; ++x) target[x] = source[x * perPixel];
                    }
                }
            }
    if (photometric == PHOTOMETRIC_MINISWHITE)
        for (std::uint16_t& v : planes[0]) v = static_cast<std::uint16_t>(65535 - v);
    return true;
}

std::string lastError(const std::string& fallback) {
    return libtiffErrors.empty() ? fallback : libtiffErrors.back();
}

}  // namespace

LibTiffResult ReadTiffThroughLibtiff(const std::string& fileName, const SampleRange& range, int page) {
    installHandlersOnce();
    libtiffErrors.clear();
    LibTiffResult result;
    const std::string label = "\"" + fileName + "\"";
    // libtiff allocates what a file's tags claim (strip tables, decoding buffers): no single allocation
    // may pass the picture memory limit, so a hostile header meets a refusal instead of the allocator.
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                         &TIFFOpenOptionsFree);
    if (options)
        TIFFOpenOptionsSetMaxSingleMemAlloc(
            options.get(), static_cast<tmsize_t>(std::min<std::uint64_t>(pictureMemoryLimit(), INT64_MAX)));
    // "r": read only, never created or written; memory mapping is libtiff's default for reading.
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpenExt(fileName.c_str(), "r", options.get()));
    if (!tif) {
        result.messages.push_back(label + " cannot be read as a TIFF file: " + lastError("unknown reason") +
                                  ".");
        return result;
    }
    result.opened = true;

    // The first (or the page-th) full-resolution directory; the first directory of all when every one is
    // reduced.
    tdir_t chosen = 0;
    bool found = false;
    tdir_t index = 0;
    do {
        if (!reducedResolution(tif.get())) {
            ++result.pages;
            if (!found && (page <= 1 || result.pages == page)) {
                chosen = index;
                found = true;
            }
        }
        ++index;
    } while (index < kMostDirectories && TIFFReadDirectory(tif.get()));
    // Past the last directory looked at, more pages are only said to be there, not counted.
    result.morePages = index >= kMostDirectories && TIFFReadDirectory(tif.get());
    libtiffErrors.clear();  // a damaged chain after the picture's directory does not concern the picture
    if (page > 1 && !found) {
        result.messages.push_back(label + " has no page " + std::to_string(page) + ": it has " +
                                  std::string(result.morePages ? "more than " : "") +
                                  std::to_string(result.pages) + " full-resolution page" +
                                  (result.pages == 1 ? "" : "s") + ".");
        return result;
    }
    if (!TIFFSetDirectory(tif.get(), chosen)) {
        result.messages.push_back(
            label + " cannot be read as a TIFF file: " + lastError("no readable directory") + ".");
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
    int channels = 0;
    const bool sixteenBit = sixteenBitGreyOrRgb(tif.get(), channels);
    // Besides the layers: the 16-bit samples of each channel, or the 32-bit raster libtiff fills.
    const std::uint64_t decoding = sixteenBit ? 2 * static_cast<std::uint64_t>(channels) : 4;
    if (!claimPictureMemory(width, height, decoding)) {
        result.messages.push_back(label + " is too large to load: " +
                                  overMemoryLimitReason(width, height, decoding) + ".");
        return result;
    }
    if (sixteenBit) {
        std::vector<std::vector<std::uint16_t>> planes;
        try {
            result.picture.resize(static_cast<int>(width), static_cast<int>(height));
            bool damaged = false;
            if (!readSixteenBit(tif.get(), width, height, channels, planes, damaged)) {
                result.picture = Picture();
                result.messages.push_back(label +
                                          " cannot be read: " + lastError("its pixel data is damaged") + ".");
                return result;
            }
            if (damaged || !libtiffErrors.empty()) {
                result.damaged = true;
                result.messages.push_back(label + " is damaged, the picture may be incomplete: " +
                                          lastError("a strip or tile could not be decoded") + ".");
            }
        } catch (const std::bad_alloc&) {
            result.picture = Picture();
            result.messages.push_back("Not enough memory to load " + label + ".");
            return result;
        }
        result.mapping = mapSamplesTo8Bit(planes, range, result.picture);
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
    const int complete =
        TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 0);
    if (!complete || !libtiffErrors.empty()) {
        if (libtiffErrors.empty()) {
            result.picture = Picture();
            result.messages.push_back(label + " cannot be read through libtiff.");
            return result;
        }
        result.damaged = true;
        result.messages.push_back(
            label + " is damaged, the picture may be incomplete: " + libtiffErrors.front() + ".");
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
