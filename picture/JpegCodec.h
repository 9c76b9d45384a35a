#pragma once
// JPEG decoding and encoding through libjpeg-turbo: the pieces the picture loader puts together.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/WorkProgress.h"
#include "picture/PictureLoading.h"

/// Decodes a whole JPEG file held in memory into 24-bit blue-green-red rows: accurate integer DCT,
/// fancy upsampling and block smoothing, as djpeg -dct int does. Greyscale, CMYK and YCCK pictures
/// are converted to colour. fileLabel names the file in the texts of error and messages.
/// A libjpeg warning (damaged data, premature end) keeps the picture and adds one message.
/// The picture is decoded into buffer's memory where that is large enough.
DecodedPicture decodeJpegBytes(const std::uint8_t* data, std::size_t size, const std::string& fileLabel,
                               Picture buffer = {});

/// The same, reading the JPEG from an open file as it decodes (the file is not closed). progress is
/// asked once per band of rows; when it answers false the decoding stops and gives no picture and no
/// error, only cancelled.
DecodedPicture decodeJpegStream(std::FILE* file, const std::string& fileLabel, Picture buffer = {},
                                const WorkProgress& progress = {});

/// Writes picture to file as a baseline colour JPEG (4:2:0). Returns an empty text on success,
/// else libjpeg's reason. Does not close file.
std::string encodeJpegFile(const Picture& picture, std::FILE* file, int quality);
