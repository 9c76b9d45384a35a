#include "picture/PictureSize.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <optional>

#include "core/AtomicFile.h"
#include "picture/PictureLoading.h"
#include "picture/tiff/ReadTiffTags.h"

namespace fs = std::filesystem;

namespace {

PictureHeaderSize headerError(const fs::path& path, const std::string& why)
{
    PictureHeaderSize size;
    size.error = "the picture " + quotedPath(path) + " gives no size: " + why;
    return size;
}

PictureHeaderSize sizeOf(const fs::path& path, std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0)
        return headerError(path, "its header gives a width or height of 0 or less");
    PictureHeaderSize size;
    size.width = width;
    size.height = height;
    return size;
}

std::uint32_t bigEndian16(const unsigned char* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
std::uint32_t bigEndian32(const unsigned char* p) { return (bigEndian16(p) << 16) | bigEndian16(p + 2); }
std::uint32_t littleEndian16(const unsigned char* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
}
std::uint32_t littleEndian32(const unsigned char* p)
{
    return littleEndian16(p) | (littleEndian16(p + 2) << 16);
}

/// Reads count bytes at the stream's position; false when the file ends first.
bool readBytes(std::ifstream& in, unsigned char* out, std::size_t count)
{
    in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount()) == count;
}

// JPEG markers: every frame header SOF0..SOF15 but DHT (C4), JPG (C8) and DAC (CC) gives the size;
// these stand alone, without a length: TEM, RST0..RST7, SOI, EOI.
bool isFrameHeader(unsigned char marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}
bool standsAlone(unsigned char marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9); }

PictureHeaderSize jpegSize(const fs::path& path, std::ifstream& in)
{
    unsigned char start[2];
    if (!readBytes(in, start, 2) || start[0] != 0xFF || start[1] != 0xD8)
        return headerError(path, "it does not start as a JPEG file does");
    for (;;) {
        unsigned char byte = 0;
        if (!readBytes(in, &byte, 1)) break;
        if (byte != 0xFF) return headerError(path, "its header is damaged");
        unsigned char marker = 0xFF;
        while (marker == 0xFF)  // fill bytes before a marker
            if (!readBytes(in, &marker, 1)) return headerError(path, "the file ends inside its header");
        if (standsAlone(marker)) {
            if (marker == 0xD9) break;  // EOI before any frame
            continue;
        }
        unsigned char length[2];
        if (!readBytes(in, length, 2)) break;
        const std::uint32_t segment = bigEndian16(length);
        if (segment < 2) return headerError(path, "its header is damaged");
        if (isFrameHeader(marker)) {
            unsigned char frame[5];  // precision, height, width
            if (segment < 7 || !readBytes(in, frame, 5))
                return headerError(path, "its frame header is cut short");
            // A height of 0 is given later (DNL): only the decoding would tell it.
            return sizeOf(path, bigEndian16(frame + 3), bigEndian16(frame + 1));
        }
        if (marker == 0xDA) break;  // scan data before any frame header
        in.seekg(segment - 2, std::ios::cur);
        if (!in) break;
    }
    return headerError(path, "it holds no frame header");
}

// BMP: the file header, then the image header whose first field is its own size.
constexpr std::size_t kBmpFileHeader = 14;
constexpr std::array<std::uint32_t, 4> kBmpFullHeaders{40, 64, 108, 124};  // INFO, OS/2 2, V4, V5

PictureHeaderSize bmpSize(const fs::path& path, std::ifstream& in)
{
    unsigned char header[kBmpFileHeader + 12];
    if (!readBytes(in, header, sizeof header) || header[0] != 'B' || header[1] != 'M')
        return headerError(path, "it does not start as a BMP file does");
    const unsigned char* info = header + kBmpFileHeader;
    const std::uint32_t infoSize = littleEndian32(info);
    // Any other header size is read as a core header (16-bit width and height), as the reader does.
    for (std::uint32_t full : kBmpFullHeaders)
        if (infoSize == full) {
            const auto width = static_cast<std::int32_t>(littleEndian32(info + 4));
            const auto height = static_cast<std::int32_t>(littleEndian32(info + 8));
            return sizeOf(path, width, height < 0 ? -std::int64_t{height} : height);
        }
    const auto width = static_cast<std::int16_t>(littleEndian16(info + 4));
    const auto height = static_cast<std::int16_t>(littleEndian16(info + 6));
    return sizeOf(path, width, height < 0 ? -std::int64_t{height} : height);
}

PictureHeaderSize pngSize(const fs::path& path, std::ifstream& in)
{
    static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char header[24];  // signature, the IHDR chunk's length and type, width, height
    if (!readBytes(in, header, sizeof header) || !std::equal(kSignature, kSignature + 8, header) ||
        std::string(reinterpret_cast<const char*>(header + 12), 4) != "IHDR")
        return headerError(path, "it does not start as a PNG file does");
    return sizeOf(path, bigEndian32(header + 16), bigEndian32(header + 20));
}

// NewSubfileType bit 0 and the older SubfileType's value 2: a reduced-resolution copy (a thumbnail).
constexpr std::uint32_t kReducedResolution = 1;
constexpr std::uint16_t kOldSubfileType = 255;
constexpr std::uint32_t kOldReducedResolution = 2;

std::optional<std::uint32_t> tiffValue(const TGraphicTiff& directory, std::uint16_t tag)
{
    const TiffEntry* entry = directory.FindEntry(tag);
    if (!entry) return std::nullopt;
    const auto values = directory.ReadValues(*entry, 1);
    return values && !values->empty() ? values->front() : entry->Value;
}

PictureHeaderSize tiffSize(const fs::path& path)
{
    TFileTiff file;
    file.SetFileName(path.string());
    if (!file.Valid() || file.Count() == 0)
        return headerError(path, "it is no TIFF file with a picture directory");
    // The reader keeps the last full-resolution directory that decodes: the last one that gives a size.
    std::optional<PictureHeaderSize> full, reduced;
    for (std::size_t index = 0; index < file.Count(); ++index) {
        const std::unique_ptr<TGraphicTiff> directory = file.ReadImage(index);
        if (!directory) continue;
        const auto width = tiffValue(*directory, TiffTag::ImageWidth);
        const auto height = tiffValue(*directory, TiffTag::ImageLength);
        if (!width || !height || *width == 0 || *height == 0) continue;
        const auto newType = tiffValue(*directory, TiffTag::NewSubfileType);
        const bool isReduced =
            newType ? (*newType & kReducedResolution) != 0
                    : tiffValue(*directory, kOldSubfileType).value_or(0) == kOldReducedResolution;
        (isReduced ? reduced : full) = sizeOf(path, *width, *height);
    }
    if (full) return *full;
    if (reduced) return *reduced;
    return headerError(path, "no picture directory gives a width and a height");
}

}  // namespace

PictureHeaderSize readPictureHeaderSize(const fs::path& path)
{
    const PictureKind kind = pictureKindForName(path.string());
    if (kind == PictureKind::None) return headerError(path, kUnreadablePictureKindReason);
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return headerError(path, "it is not there or is no file");
    if (kind == PictureKind::Tiff) return tiffSize(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) return headerError(path, "it cannot be opened");
    if (kind == PictureKind::Jpeg) return jpegSize(path, in);
    if (kind == PictureKind::Bmp) return bmpSize(path, in);
    return pngSize(path, in);
}
