#pragma once
// The second TIFF reader: what ReadTiff refuses only because of a variant it does not decode (LZW,
// Deflate, PackBits or JPEG compression, tiles, separate colour planes, 16-bit samples, extra samples,
// BigTIFF) is read through libtiff into a 24-bit blue-green-red Picture. Plain C++, no Qt. libtiff's
// own errors and warnings are collected here, never printed.

#include <cstdint>
#include <string>
#include <vector>

#include "core/Picture.h"
#include "picture/SampleRange.h"

struct LibTiffResult {
    Picture picture;                    // empty when nothing could be decoded
    std::vector<std::string> messages;  // why nothing was decoded, or the damage in a picture kept
    bool damaged = false;               // a picture is kept but libtiff reported errors while decoding it
    bool opened = false;                // libtiff took the file for a TIFF file
    int pages = 0;                      // full-resolution directories (pages) in the file
    bool morePages = false;             // the file has directories past the most that are looked at
    std::string mapping;                // 16-bit pictures: how the samples became 8 bits; else empty
};

/// Decodes the first full-resolution directory of the named file through libtiff (a reduced-resolution
/// directory only when there is no other). The picture's size is checked against the memory limit
/// before anything is allocated. The file is only read. 16-bit grey and RGB pictures are mapped onto
/// 8 bits by range (SampleRange); page, from 1, picks another full-resolution page (0: the first).
LibTiffResult ReadTiffThroughLibtiff(const std::string& fileName, const SampleRange& range, int page = 0);
