#pragma once
// ReadBmp: our own BMP reader, bounds-checked and without Qt. Reads the variants Windows and OS/2 write
// (core, INFO, V4 and V5 headers; 1/4/8-bit colour tables, 16/24/32-bit pixels, RLE4, RLE8, bit
// fields; rows bottom-up or top-down) and gives valid files exactly the picture Qt's BMP reader gave
// them. Damage (a file cut short, a broken RLE stream, colour indices beyond the table) is reported
// as a message with the picture read so far, never filled in silently.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "picture/PictureLoading.h"

/// Decodes a whole BMP file held in memory into 24-bit rows. fileLabel names the file in the error and
/// the messages. Sizes are checked against the file's size and the picture memory limit before the
/// picture is allocated.
DecodedPicture ReadBmpFromMemory(const std::uint8_t* data, std::size_t size, const std::string& fileLabel);

class RowsReady;

/// A BMP file read from disk, in steps like JpegDecoding. An uncompressed 24-bit file (what cameras and
/// most programs write) is read straight into the picture, a band of rows at a time from the top row
/// down, so the rows above can be used while the rest are read, and the file is never held in memory
/// whole; any other BMP is read whole and decoded by ReadBmpFromMemory. The outcome is the same as
/// ReadBmpFromMemory's on the file's bytes.
class BmpFileDecoding {
public:
    /// file stays open and its own while this reads it; fileLabel names it in the texts.
    BmpFileDecoding(std::FILE* file, const std::string& fileLabel);
    ~BmpFileDecoding();
    BmpFileDecoding(const BmpFileDecoding&) = delete;
    BmpFileDecoding& operator=(const BmpFileDecoding&) = delete;

    /// Reads the headers and sizes the picture (a file read whole is decoded here). False when the
    /// reading has ended already: finish says why, or has the picture.
    bool start();
    /// The picture being read, sized once start returned true. Its rows are final only as far as
    /// decodeRows has told ready.
    const Picture& picture() const;
    /// Reads every row (nothing after a failed start). ready, when given, hears of each band of rows as
    /// it is done, and is closed at the end, whatever the end.
    void decodeRows(RowsReady* ready);
    /// The outcome once the steps are done: the picture or the error, and the messages.
    DecodedPicture finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};
