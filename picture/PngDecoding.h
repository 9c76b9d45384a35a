#pragma once
// PNG pictures. Qt's reader decodes them; the counter, which starts without Qt, reaches the same reader
// through a module it loads for its first PNG picture. Each program links one definition of decodePng:
// picture/PngQt.cpp, or the counter's module loader (cli/QtModule.cpp).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/PictureLoading.h"

/// Decodes a PNG file into 24-bit rows. The transparency is dropped; 16-bit samples are mapped onto 8
/// bits by the chosen sample range, as 16-bit TIFF pictures are. A picture over the memory limit is
/// refused from its header, before anything is allocated.
DecodedPicture decodePng(const std::filesystem::path& path);

/// Reads the whole file into bytes. Returns an empty text on success, else why it failed.
std::string readWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes);
