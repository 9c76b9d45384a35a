#include "picture/tiff/ReadTiff.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>

#include "picture/tiff/ReadTiffTags.h"

namespace {

constexpr std::uint32_t kUncompressed = 1;
constexpr std::uint32_t kPlanarSeparate = 2;
constexpr std::uint32_t kMaxSide = 65535;  // pictures are addressed by 16-bit positions
constexpr int kPaletteSize = 256;

enum Photometric : std::int32_t { kWhiteIsZero = 0, kBlackIsZero = 1, kRgb = 2, kPalette = 3 };

/// TiffPalette: the colour table of the 1-, 4- and 8-bit decoders, 16-bit entries of which only the low
/// byte is used. One per decode, so decodes never share it.
struct TiffPalette {
    std::array<std::uint16_t, kPaletteSize> red{}, green{}, blue{};

    /// The identity ramp, base of every setup: entry i = i.
    void setRamp()
    {
        for (int i = 0; i < kPaletteSize; ++i) setGrey(i, i);
    }
    void setGrey(int index, int value)
    {
        red[index] = green[index] = blue[index] = static_cast<std::uint16_t>(value);
    }
};

/// What one decoder is called in its messages, and its compressed-image message.
struct ImageKind {
    std::string_view name;
    std::string_view compressed;
};
constexpr ImageKind kBilevel{TiffText::BilevelKind, TiffText::CompressedBilevel};
constexpr ImageKind kGray{TiffText::GrayKind, TiffText::CompressedGray};
constexpr ImageKind kColorPalette{TiffText::PaletteKind, TiffText::CompressedPalette};
constexpr ImageKind kRgbFullColor{TiffText::RgbKind, TiffText::CompressedRgb};

/// The strip data of one directory, one strip after another: a view into the file when the strips
/// lie there back to back, otherwise a joined copy.
struct StripData {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::vector<std::uint8_t> joined;
};

/// One directory being decoded; collects the messages of the whole file.
class DirectoryDecoder {
public:
    DirectoryDecoder(const TGraphicTiff& directory, std::vector<std::string>& messages)
        : dir_(directory), file_(directory.owner()), messages_(messages)
    {
    }

    bool ReadBilevelImage(std::int32_t photometric, Picture& target);
    bool ReadGrayScaleImage(std::int32_t photometric, std::uint32_t depth, Picture& target);
    bool ReadColorPaletteImage(Picture& target);
    bool ReadRgbFullColorImage(Picture& target);

private:
    bool tell(std::string message)
    {
        messages_.push_back(std::move(message));
        return false;
    }
    std::string cantRead(const ImageKind& kind, std::string_view what) const
    {
        return std::string(TiffText::CantRead) + std::string(kind.name) + std::string(what);
    }
    /// First value of the entry with tag (its only value in a sound file).
    std::optional<std::uint32_t> firstValue(std::uint16_t tag) const;
    /// The checks every decoder starts with: width, height and compression present, no compression.
    bool checkSizeAndCompression(const ImageKind& kind);
    /// This reader's own limits: strips, sample count, plane layout, picture size.
    bool checkLayout(const ImageKind& kind, std::uint32_t samplesPerPixel);
    void ReadColorMap(const TiffEntry& colorMap);
    std::optional<StripData> ReadStrips(std::uint64_t minRowBytes, std::uint64_t& rowBytes);
    std::optional<StripData> joinStrips(std::uint64_t needed) const;
    bool MakePicture(const StripData& strips, std::uint64_t rowBytes, int bitsPerPixel, Picture& target);

    const TGraphicTiff& dir_;
    const TFileTiff& file_;
    std::vector<std::string>& messages_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    TiffPalette palette_;
};

std::optional<std::uint32_t> DirectoryDecoder::firstValue(std::uint16_t tag) const
{
    const TiffEntry* entry = dir_.FindEntry(tag);
    if (!entry) return std::nullopt;
    const auto values = dir_.ReadValues(*entry, 1);
    if (values && !values->empty()) return values->front();
    return entry->Value;
}

bool DirectoryDecoder::checkSizeAndCompression(const ImageKind& kind)
{
    const auto width = firstValue(TiffTag::ImageWidth);
    if (!width) return tell(std::string(TiffText::NoWidth));
    const auto height = firstValue(TiffTag::ImageLength);
    if (!height) return tell(std::string(TiffText::NoHeight));
    const auto compression = firstValue(TiffTag::Compression);
    if (!compression) return tell(std::string(TiffText::NoCompression));
    if (*compression != kUncompressed)
        return tell(std::string(kind.compressed) + std::string(TiffText::CompressedTail));
    width_ = *width;
    height_ = *height;
    return true;
}

bool DirectoryDecoder::checkLayout(const ImageKind& kind, std::uint32_t samplesPerPixel)
{
    if (dir_.FindEntry(TiffTag::TileWidth) || dir_.FindEntry(TiffTag::TileOffsets))
        return tell(cantRead(kind, TiffText::Tiled));
    // SamplesPerPixel is optional; an RGB file without it is taken as three samples.
    const std::uint32_t samples = firstValue(TiffTag::SamplesPerPixel).value_or(samplesPerPixel);
    if (samples != samplesPerPixel)
        return tell(cantRead(kind, " with " + std::to_string(samples) + std::string(TiffText::SamplesPerPixelAfter)));
    if (samples > 1 && firstValue(TiffTag::PlanarConfiguration).value_or(1) == kPlanarSeparate)
        return tell(cantRead(kind, TiffText::Planar));
    if (width_ == 0 || height_ == 0) return tell(cantRead(kind, TiffText::NoPixels));
    if (width_ > kMaxSide || height_ > kMaxSide) return tell(cantRead(kind, TiffText::TooLarge));
    return true;
}

// ReadColorMap: the TIFF colour map (n red, n green, n blue 16-bit intensities) into the first n
// palette entries as their high bytes. A count that does not give 1-256 entries per colour, or a map
// outside the file, leaves the grey ramp.
void DirectoryDecoder::ReadColorMap(const TiffEntry& colorMap)
{
    palette_.setRamp();
    const std::uint32_t n = colorMap.Count / 3;
    if (n < 1 || n > kPaletteSize) return;
    const auto values = dir_.ReadValues(colorMap, 3 * n);
    if (!values || values->size() != 3 * n) return;
    for (std::uint32_t i = 0; i < n; ++i) {
        palette_.red[i] = static_cast<std::uint16_t>((*values)[i] / 256);
        palette_.green[i] = static_cast<std::uint16_t>((*values)[n + i] / 256);
        palette_.blue[i] = static_cast<std::uint16_t>((*values)[2 * n + i] / 256);
    }
}

// ReadStrips: the strips' bytes one after another, and the length of one row in them. The row length
// is strip 0's byte count over the rows it holds (RowsPerStrip; missing, 0 or more than the height
// means one strip holds the whole picture), so rows a writer padded show without shear. When that
// length is shorter than the pixels need, or the strips cannot hold every row at it (a byte count
// larger than the file, say), the rows are taken at the length their pixels need. Fails when the
// strips cannot hold every row even then.
std::optional<StripData> DirectoryDecoder::ReadStrips(std::uint64_t minRowBytes, std::uint64_t& rowBytes)
{
    const StripInfo* first = dir_.GetStrip(0);
    if (!first) return std::nullopt;
    std::uint64_t rowsPerStrip = firstValue(TiffTag::RowsPerStrip).value_or(0);
    if (rowsPerStrip == 0 || rowsPerStrip > height_) rowsPerStrip = height_;
    rowBytes = std::max<std::uint64_t>(first->ByteCount / rowsPerStrip, minRowBytes);
    std::optional<StripData> strips = joinStrips(rowBytes * (height_ - 1) + minRowBytes);
    if (!strips && rowBytes != minRowBytes) {
        rowBytes = minRowBytes;
        strips = joinStrips(rowBytes * (height_ - 1) + minRowBytes);
    }
    return strips;
}

// The first `needed` bytes of the strips in strip order; none when they hold fewer.
std::optional<StripData> DirectoryDecoder::joinStrips(std::uint64_t needed) const
{
    // Strips may overlap, but the picture's data cannot be larger than the file.
    if (needed > file_.FileSize()) return std::nullopt;
    const StripInfo* first = dir_.GetStrip(0);
    const std::uint8_t* bytes = file_.bytes().data();
    StripData strips;
    bool contiguous = true;
    std::uint64_t end = first->Offset;  // where the next strip must start to continue the view
    for (std::uint32_t i = 0; i < dir_.StripCount() && strips.size < needed; ++i) {
        const StripInfo& strip = *dir_.GetStrip(i);
        // A strip running past the end of the file gives what it has; nothing after it can be placed.
        const std::uint64_t available =
            strip.Offset < file_.FileSize() ? std::min<std::uint64_t>(strip.ByteCount, file_.FileSize() - strip.Offset)
                                            : 0;
        if (contiguous && strip.Offset != end) {
            contiguous = false;
            strips.joined.reserve(static_cast<std::size_t>(needed));
            strips.joined.assign(bytes + first->Offset, bytes + first->Offset + strips.size);
        }
        const std::uint64_t take = std::min<std::uint64_t>(available, needed - strips.size);
        if (!contiguous && take > 0) strips.joined.insert(strips.joined.end(), bytes + strip.Offset, bytes + strip.Offset + take);
        strips.size += static_cast<std::size_t>(take);
        end = std::uint64_t{strip.Offset} + available;
        if (available < strip.ByteCount) break;
    }
    if (strips.size < needed) return std::nullopt;
    strips.data = contiguous ? bytes + first->Offset : strips.joined.data();
    return strips;
}

/// SwapRedBlue: pixelCount 3-byte pixels from red-green-blue into blue-green-red order.
void SwapRedBlue(const std::uint8_t* rgb, std::uint8_t* bgr, std::size_t pixelCount)
{
    for (std::size_t i = 0; i < pixelCount; ++i, rgb += 3, bgr += 3) {
        bgr[0] = rgb[2];
        bgr[1] = rgb[1];
        bgr[2] = rgb[0];
    }
}

// MakePicture: the 24-bit picture from the rows (top row first) and, below 24 bits, the colour table.
bool DirectoryDecoder::MakePicture(const StripData& strips, std::uint64_t rowBytes, int bitsPerPixel,
                                   Picture& target)
{
    Picture picture;
    try {
        picture.resize(static_cast<int>(width_), static_cast<int>(height_));
    } catch (const std::bad_alloc&) {
        target.clear();
        return tell(std::string(TiffText::OutOfMemory));
    }
    std::array<std::array<std::uint8_t, 3>, kPaletteSize> colours;
    for (int i = 0; i < kPaletteSize; ++i)
        colours[i] = {static_cast<std::uint8_t>(palette_.blue[i]), static_cast<std::uint8_t>(palette_.green[i]),
                      static_cast<std::uint8_t>(palette_.red[i])};
    const int width = static_cast<int>(width_);
    for (int y = 0; y < static_cast<int>(height_); ++y) {
        const std::uint8_t* source = strips.data + rowBytes * static_cast<std::uint64_t>(y);
        std::uint8_t* out = picture.row(y);
        switch (bitsPerPixel) {
            case 24:
                SwapRedBlue(source, out, static_cast<std::size_t>(width));
                break;
            case 8:
                for (int x = 0; x < width; ++x, out += 3) std::memcpy(out, colours[source[x]].data(), 3);
                break;
            case 4:  // high nibble first
                for (int x = 0; x < width; ++x, out += 3)
                    std::memcpy(out, colours[(source[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F].data(), 3);
                break;
            default:  // 1 bit, most significant bit first
                for (int x = 0; x < width; ++x, out += 3)
                    std::memcpy(out, colours[(source[x >> 3] >> (7 - (x & 7))) & 1].data(), 3);
                break;
        }
    }
    target = std::move(picture);
    return true;
}

/// Bytes of the pixels of one row at bits per pixel.
std::uint64_t pixelRowBytes(std::uint32_t width, int bitsPerPixel)
{
    return (std::uint64_t{width} * static_cast<std::uint64_t>(bitsPerPixel) + 7) / 8;
}

bool DirectoryDecoder::ReadBilevelImage(std::int32_t photometric, Picture& target)
{
    if (!checkSizeAndCompression(kBilevel) || !checkLayout(kBilevel, 1)) return false;
    palette_.setRamp();
    palette_.setGrey(0, photometric == kWhiteIsZero ? 255 : 0);
    palette_.setGrey(1, photometric == kWhiteIsZero ? 0 : 255);
    std::uint64_t rowBytes = 0;
    const auto strips = ReadStrips(pixelRowBytes(width_, 1), rowBytes);
    if (!strips) return tell(std::string(TiffText::ImageData));
    return MakePicture(*strips, rowBytes, 1, target);
}

bool DirectoryDecoder::ReadGrayScaleImage(std::int32_t photometric, std::uint32_t depth, Picture& target)
{
    if (!checkSizeAndCompression(kGray) || !checkLayout(kGray, 1)) return false;
    palette_.setRamp();
    const int levels = depth == 4 ? 16 : kPaletteSize;
    for (int i = 0; i < levels; ++i) {
        const int grey = depth == 4 ? i * 255 / 15 : i;
        palette_.setGrey(i, photometric == kWhiteIsZero ? 255 - grey : grey);
    }
    std::uint64_t rowBytes = 0;
    const int bits = static_cast<int>(depth);
    const auto strips = ReadStrips(pixelRowBytes(width_, bits), rowBytes);
    if (!strips) return tell(std::string(TiffText::ImageData));
    return MakePicture(*strips, rowBytes, bits, target);
}

bool DirectoryDecoder::ReadColorPaletteImage(Picture& target)
{
    if (!checkSizeAndCompression(kColorPalette)) return false;
    const auto depth = firstValue(TiffTag::BitsPerSample);
    if (!depth) return tell(std::string(TiffText::NoBitsPerSample));
    const TiffEntry* colorMap = dir_.FindEntry(TiffTag::ColorMap);
    if (!colorMap) return tell(std::string(TiffText::NoColorMap));
    if (!checkLayout(kColorPalette, 1)) return false;
    if (*depth != 1 && *depth != 4 && *depth != 8)
        return tell(cantRead(kColorPalette, " with " + std::to_string(*depth) + std::string(TiffText::BitsPerSampleAfter)));
    ReadColorMap(*colorMap);
    std::uint64_t rowBytes = 0;
    const int bits = static_cast<int>(*depth);
    const auto strips = ReadStrips(pixelRowBytes(width_, bits), rowBytes);
    if (!strips) return tell(std::string(TiffText::ImageData));
    return MakePicture(*strips, rowBytes, bits, target);
}

bool DirectoryDecoder::ReadRgbFullColorImage(Picture& target)
{
    if (!checkSizeAndCompression(kRgbFullColor)) return false;
    const TiffEntry* depths = dir_.FindEntry(TiffTag::BitsPerSample);
    if (!depths) return tell(std::string(TiffText::NoBitsPerSample));
    // One value for all three samples, or three values; the data are read as 8 bits per sample when
    // any of them says 8.
    const auto values = dir_.ReadValues(*depths, 3);
    if (!values || std::find(values->begin(), values->end(), 8u) == values->end())
        return tell(std::string(TiffText::RgbNot8));
    if (!checkLayout(kRgbFullColor, 3)) return false;
    std::uint64_t rowBytes = 0;
    const auto strips = ReadStrips(pixelRowBytes(width_, 24), rowBytes);
    if (!strips) return tell(std::string(TiffText::ImageData));
    return MakePicture(*strips, rowBytes, 24, target);
}

/// Dispatch over the directories of a read file.
TiffResult decodeDirectories(const TFileTiff& file)
{
    TiffResult result;
    // A header whose first directory lies outside the file holds no picture either: said the same way,
    // rather than loading an empty picture without a word.
    if (!file.Valid() || file.Count() == 0) {
        result.messages.push_back(std::string(TiffText::NotValidBefore) + file.FileName() +
                                  std::string(TiffText::NotValidAfter));
        return result;
    }
    for (std::size_t index = 0; index < file.Count(); ++index) {
        const TGraphicTiff& directory = *file.Images(index);
        const TiffEntry* photometricEntry = directory.FindEntry(TiffTag::Photometric);
        if (!photometricEntry) {
            result.messages.emplace_back(TiffText::NoPhotometric);
            break;
        }
        const auto photometricValues = directory.ReadValues(*photometricEntry, 1);
        // Taken as a signed number: a LONG of 2^31 or more is reported as negative.
        const auto photometric = static_cast<std::int32_t>(
            photometricValues && !photometricValues->empty() ? photometricValues->front() : photometricEntry->Value);
        if (photometric < kWhiteIsZero || photometric > kPalette) {
            result.messages.push_back(std::string(TiffText::BadPhotometric) + std::to_string(photometric));
            break;
        }
        DirectoryDecoder decoder(directory, result.messages);
        if (photometric == kWhiteIsZero || photometric == kBlackIsZero) {
            const TiffEntry* depthEntry = directory.FindEntry(TiffTag::BitsPerSample);
            const auto depths = depthEntry ? directory.ReadValues(*depthEntry, 1) : std::nullopt;
            const std::uint32_t depth = depths && !depths->empty() ? depths->front() : 1;
            if (depth == 1)
                decoder.ReadBilevelImage(photometric, result.picture);
            else if (depth == 4 || depth == 8)
                decoder.ReadGrayScaleImage(photometric, depth, result.picture);
            else
                result.messages.push_back(std::string(TiffText::CantRead) + std::string(TiffText::GrayKind) +
                                          " with " + std::to_string(depth) +
                                          std::string(TiffText::BitsPerSampleAfter));
        } else if (photometric == kPalette) {
            decoder.ReadColorPaletteImage(result.picture);
        } else {
            decoder.ReadRgbFullColorImage(result.picture);
        }
    }
    return result;
}

}  // namespace

TiffResult ReadTiffToBitmap(const std::string& fileName)
{
    TFileTiff file;
    file.SetFileName(fileName);
    return decodeDirectories(file);
}

TiffResult ReadTiffFromMemory(const std::uint8_t* data, std::size_t size, const std::string& fileName)
{
    TFileTiff file;
    file.ReadFromMemory(data, size, fileName);
    return decodeDirectories(file);
}
