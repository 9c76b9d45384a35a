#pragma once
// JPEG decoding and encoding through libjpeg-turbo, from and to memory-independent pieces the loader
// puts together: decodeJpegBytes works on a file's bytes, encodeJpegFile on an open file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/PictureLoading.h"

/// Decodes a whole JPEG file held in memory into 24-bit blue-green-red rows: accurate integer DCT,
/// fancy upsampling and block smoothing, as djpeg -dct int does. Greyscale, CMYK and YCCK pictures
/// are converted to colour. fileLabel names the file in the texts of error and messages.
/// A libjpeg warning (damaged data, premature end) keeps the picture and adds one message.
DecodedPicture decodeJpegBytes(const std::uint8_t* data, std::size_t size, const std::string& fileLabel);

/// Writes picture to file as a baseline colour JPEG (4:2:0). Returns an empty text on success,
/// else libjpeg's reason. Does not close file.
std::string encodeJpegFile(const Picture& picture, std::FILE* file, int quality);
