#pragma once
// A picture's width and height from its file's header alone, without decoding its pixels: a folder of
// fields is listed with their sizes in the time one of them would take to decode.

#include <cstdint>
#include <filesystem>
#include <string>

struct PictureHeaderSize {
    std::int64_t width = 0, height = 0;
    std::string error;  // why the header gives no size, naming the file; width and height are then 0
    bool known() const { return error.empty(); }
};

/// The size the file's header declares, by the decoder pictureKindForName chooses: a JPEG's frame
/// header, a BMP's or PNG's image header, a TIFF's picture directory (the last full-resolution one, the
/// page the TIFF reader keeps). At most the header's bytes are read (a TIFF's directories for a TIFF).
/// A file the header cannot be read from, or a name of no picture kind, gives an error.
PictureHeaderSize readPictureHeaderSize(const std::filesystem::path& path);
