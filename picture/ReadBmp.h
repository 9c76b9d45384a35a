#pragma once
// ReadBmp: our own BMP reader, bounds-checked and without Qt. Reads the variants Windows and OS/2 write
// (core, INFO, V4 and V5 headers; 1/4/8-bit colour tables, 16/24/32-bit pixels, RLE4, RLE8, bit
// fields; rows bottom-up or top-down) and gives valid files exactly the picture Qt's BMP reader gave
// them. Damage (a file cut short, a broken RLE stream, colour indices beyond the table) is reported
// as a message with the picture read so far, never filled in silently.

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/PictureLoading.h"

/// Decodes a whole BMP file held in memory into 24-bit rows. fileLabel names the file in the error and
/// the messages. Sizes are checked against the file's size and the picture memory limit before the
/// picture is allocated.
DecodedPicture ReadBmpFromMemory(const std::uint8_t* data, std::size_t size, const std::string& fileLabel);
