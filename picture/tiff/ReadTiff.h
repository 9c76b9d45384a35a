#pragma once
// ReadTiff: decodes the uncompressed strip images of a TIFF file (bilevel, 4/8-bit grey, palette
// colour, 8-bit RGB) into a 24-bit blue-green-red Picture. Plain C++, no Qt: the loader shows the
// messages, one message box each. Every directory is checked in chain order (its messages in that
// order); then only the directory whose picture is kept is decoded, so a file of many pages costs
// one picture's memory and time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Picture.h"

struct TiffResult {
    Picture picture;                    // the last full-resolution directory that decoded; empty when none did
    std::vector<std::string> messages;  // in order, one message box each
    bool damaged = false;  // a message concerns the file or a full-resolution directory, not only a
                           // reduced-resolution copy (a thumbnail) next to the picture kept
};

/// Reads every directory of the named file. The picture kept is that of the last full-resolution
/// directory that decodes; a reduced-resolution copy (NewSubfileType bit 0) only when no full-resolution
/// directory decodes. The file is only read where its directories point, never created or written.
TiffResult ReadTiffToBitmap(const std::string& fileName);
/// The same from bytes in memory; fileName is used in the messages only.
TiffResult ReadTiffFromMemory(const std::uint8_t* data, std::size_t size, const std::string& fileName);

// The reader's messages, byte for byte. Lines are separated by carriage returns.
namespace TiffText {
inline constexpr std::string_view NotValidBefore = "<";
inline constexpr std::string_view NotValidAfter = "> is not a valid TIFF file";
inline constexpr std::string_view NoPhotometric = "Error reading tag Photometric interpretation";
inline constexpr std::string_view BadPhotometric = "Error evaluating Photometric interpretation: ";
inline constexpr std::string_view NoWidth = "Error reading tag Image Width";
inline constexpr std::string_view NoHeight = "Error reading tag Image Height";
inline constexpr std::string_view NoBitsPerSample = "Error reading tag Bits Per Sample";
inline constexpr std::string_view NoColorMap = "Error reading tag Color Table Offset";
inline constexpr std::string_view RgbNot8 = "Error: Bits Per Sample (RGB) not 8";
inline constexpr std::string_view ImageData = "Error reading image data";
inline constexpr std::string_view OutOfMemory = "Out Of Memory ";  // trailing blank deliberate

inline constexpr std::string_view CompressedBilevel = "Cant read compressed bilevel image";
inline constexpr std::string_view CompressedGray = "Cant read compressed Gray Scale Image";
inline constexpr std::string_view CompressedPalette = "Cant read compressed ColorPaletImage";
inline constexpr std::string_view CompressedRgb = "Cant read compressed RGB Full Color Image";
/// The three lines after each compressed-image message's first line.
inline constexpr std::string_view CompressedTail =
    "\r\rfeel free to implement this type of image\r"
    "and please send your implementation to the SpotTally developers";

// Variants this reader does not decode: the directory is skipped with "Cant read " + the kind's
// name + one of these (for example "Cant read Gray Scale Image with 16 bits per sample").
inline constexpr std::string_view CantRead = "Cant read ";
inline constexpr std::string_view BilevelKind = "bilevel image";
inline constexpr std::string_view GrayKind = "Gray Scale Image";
inline constexpr std::string_view PaletteKind = "ColorPaletImage";
inline constexpr std::string_view RgbKind = "RGB Full Color Image";
inline constexpr std::string_view BitsPerSampleAfter = " bits per sample";     // after " with " + n
inline constexpr std::string_view SamplesPerPixelAfter = " samples per pixel";  // after " with " + n
inline constexpr std::string_view Planar = " with separate colour planes (Planar Configuration 2)";
inline constexpr std::string_view Tiled = " stored in tiles";
inline constexpr std::string_view NoPixels = " with Image Width or Image Height 0";
inline constexpr std::string_view TooLarge = " wider or higher than 65535 pixels";
/// After CantRead + the kind's name, before overMemoryLimitReason: a picture over the memory limit.
inline constexpr std::string_view OverLimit = ": ";
}  // namespace TiffText
