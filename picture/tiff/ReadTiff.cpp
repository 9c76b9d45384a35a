#include "picture/tiff/ReadTiff.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "picture/PictureMemory.h"
#include "picture/tiff/ReadTiffTags.h"

namespace {

constexpr std::uint32_t kUncompressed = 1;  // also the value of a missing Compression tag
constexpr std::uint32_t kPlanarSeparate = 2;
constexpr std::uint32_t kLowBitFirst = 2;          // FillOrder 2: a byte's first pixel in its lowest bits
constexpr std::uint32_t kReducedResolution = 1;    // NewSubfileType bit 0: a thumbnail or other reduced copy
constexpr std::uint16_t kOldSubfileType = 255;     // SubfileType, before NewSubfileType replaced it
constexpr std::uint32_t kOldReducedResolution = 2;  // its value for a reduced-resolution copy
constexpr std::uint32_t kMaxSide = 65535;  // pictures are addressed by 16-bit positions
constexpr int kPaletteSize = 256;
constexpr std::uint32_t kStripsPerRead = 4096;  // strip table entries read from the file at once

enum Photometric : std::int32_t { kWhiteIsZero = 0, kBlackIsZero = 1, kRgb = 2, kPalette = 3 };

/// TiffPalette: the colour table of the 1-, 4- and 8-bit decoders, 16-bit entries of which only the low
/// byte is used. One per directory, so decodes never share it.
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

/// A directory that passed every check: what decoding it needs.
struct DirectoryPlan {
    std::size_t index = 0;  // in chain order
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitsPerPixel = 0;        // 1, 4, 8 or 24
    std::uint64_t rowBytes = 0;  // width x bits per pixel, padded to whole bytes
    std::uint32_t rowsPerStrip = 0;  // each strip starts a new row every so many rows; 0: the rows run on
                                     // through the strips (no usable RowsPerStrip)
    bool lowBitFirst = false;    // FillOrder 2: every byte is bit-reversed before use
    bool reduced = false;        // a reduced-resolution copy
    TiffPalette palette;
};

/// The answer of the last strip check, kept because the directories of one file often share a strip
/// table: 256 directories then cost one walk through it.
struct StripCheck {
    bool known = false;
    TiffEntry offsets, byteCounts;
    std::uint64_t rowBytes = 0;
    std::uint32_t height = 0;
    std::uint32_t rowsPerStrip = 0;
    bool holds = false;
};

bool sameEntry(const TiffEntry& a, const TiffEntry& b)
{
    return a.Tag == b.Tag && a.FieldType == b.FieldType && a.Count == b.Count && a.Value == b.Value;
}

/// Bytes of the pixels of one row at bits per pixel.
std::uint64_t pixelRowBytes(std::uint32_t width, int bitsPerPixel)
{
    return (std::uint64_t{width} * static_cast<std::uint64_t>(bitsPerPixel) + 7) / 8;
}

/// Checks one directory and, where it can be decoded, plans the decode; collects the messages of the
/// whole file.
class DirectoryDecoder {
public:
    DirectoryDecoder(const TGraphicTiff& directory, std::vector<std::string>& messages, StripCheck& lastCheck)
        : dir_(directory), file_(directory.owner()), messages_(messages), lastCheck_(lastCheck)
    {
    }

    bool ReadBilevelImage(std::int32_t photometric, DirectoryPlan& plan);
    bool ReadGrayScaleImage(std::int32_t photometric, std::uint32_t depth, DirectoryPlan& plan);
    bool ReadColorPaletteImage(DirectoryPlan& plan);
    bool ReadRgbFullColorImage(DirectoryPlan& plan);

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
    /// The checks every decoder starts with: width and height present, no compression (a missing
    /// Compression tag means none, the TIFF default).
    bool checkSizeAndCompression(const ImageKind& kind);
    /// This reader's own limits: strips, sample count, plane layout, picture size, memory.
    bool checkLayout(const ImageKind& kind, std::uint32_t samplesPerPixel);
    void ReadColorMap(const TiffEntry& colorMap, TiffPalette& palette);
    /// The row layout at bits per pixel, and whether the strips hold every row of it.
    bool ReadStrips(const ImageKind& kind, int bitsPerPixel, DirectoryPlan& plan);
    bool stripsHold(const DirectoryPlan& plan) const;
    bool stripsHoldRowsInTurn(const DirectoryPlan& plan) const;
    bool eachStripHoldsItsRows(const DirectoryPlan& plan) const;

    const TGraphicTiff& dir_;
    const TFileTiff& file_;
    std::vector<std::string>& messages_;
    StripCheck& lastCheck_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
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
    if (firstValue(TiffTag::Compression).value_or(kUncompressed) != kUncompressed)
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
void DirectoryDecoder::ReadColorMap(const TiffEntry& colorMap, TiffPalette& palette)
{
    palette.setRamp();
    const std::uint32_t n = colorMap.Count / 3;
    if (n < 1 || n > kPaletteSize) return;
    const auto values = dir_.ReadValues(colorMap, 3 * n);
    if (!values || values->size() != 3 * n) return;
    for (std::uint32_t i = 0; i < n; ++i) {
        palette.red[i] = static_cast<std::uint16_t>((*values)[i] / 256);
        palette.green[i] = static_cast<std::uint16_t>((*values)[n + i] / 256);
        palette.blue[i] = static_cast<std::uint16_t>((*values)[2 * n + i] / 256);
    }
}

// ReadStrips: rows are width x bits per pixel, padded to whole bytes. With RowsPerStrip (at most the
// height, and a strip for each of its runs of rows) strip i holds rows i x RowsPerStrip onwards from its
// start, and what a strip holds beyond its rows is ignored; else the rows run on through the strips in
// strip order. Checks, without
// reading the pixels, that the strips hold every row; a picture over the memory limit is refused here
// too, so nothing is allocated for it.
bool DirectoryDecoder::ReadStrips(const ImageKind& kind, int bitsPerPixel, DirectoryPlan& plan)
{
    plan.width = width_;
    plan.height = height_;
    plan.bitsPerPixel = bitsPerPixel;
    plan.rowBytes = pixelRowBytes(width_, bitsPerPixel);
    const std::uint32_t rowsPerStrip = firstValue(TiffTag::RowsPerStrip).value_or(0);
    plan.rowsPerStrip = rowsPerStrip <= height_ ? rowsPerStrip : 0;
    // A strip table too short for RowsPerStrip: its rows are taken in turn, as they come.
    if (plan.rowsPerStrip && dir_.StripCount() < (height_ + plan.rowsPerStrip - 1) / plan.rowsPerStrip)
        plan.rowsPerStrip = 0;
    if (!stripsHold(plan)) return tell(std::string(TiffText::ImageData));
    if (!claimPictureMemory(width_, height_))
        return tell(cantRead(kind, std::string(TiffText::OverLimit) + overMemoryLimitReason(width_, height_)));
    plan.lowBitFirst = firstValue(TiffTag::FillOrder).value_or(1) == kLowBitFirst;
    return true;
}

bool DirectoryDecoder::stripsHold(const DirectoryPlan& plan) const
{
    // Strips may overlap, but the picture's data cannot be larger than the file.
    if (plan.rowBytes * plan.height > file_.FileSize() || dir_.StripCount() == 0) return false;
    const TiffEntry& offsets = *dir_.FindEntry(TiffTag::StripOffsets);
    const TiffEntry& byteCounts = *dir_.FindEntry(TiffTag::StripByteCounts);
    if (lastCheck_.known && sameEntry(lastCheck_.offsets, offsets) && sameEntry(lastCheck_.byteCounts, byteCounts) &&
        lastCheck_.rowBytes == plan.rowBytes && lastCheck_.height == plan.height &&
        lastCheck_.rowsPerStrip == plan.rowsPerStrip)
        return lastCheck_.holds;
    const bool holds = plan.rowsPerStrip ? eachStripHoldsItsRows(plan) : stripsHoldRowsInTurn(plan);
    lastCheck_ = {true, offsets, byteCounts, plan.rowBytes, plan.height, plan.rowsPerStrip, holds};
    return holds;
}

/// Bytes of strip that lie inside the file.
std::uint64_t availableBytes(const StripInfo& strip, std::uint64_t fileSize)
{
    return strip.Offset < fileSize ? std::min<std::uint64_t>(strip.ByteCount, fileSize - strip.Offset) : 0;
}

// Every strip holds its rows: ceil(height / RowsPerStrip) strips, the last one with the rows left.
bool DirectoryDecoder::eachStripHoldsItsRows(const DirectoryPlan& plan) const
{
    const std::uint32_t needed = (plan.height + plan.rowsPerStrip - 1) / plan.rowsPerStrip;
    if (dir_.StripCount() < needed) return false;
    for (std::uint32_t first = 0; first < needed; first += kStripsPerRead) {
        const auto run = dir_.ReadStrips(first, std::min(kStripsPerRead, needed - first));
        if (run.empty()) return false;
        for (std::size_t i = 0; i < run.size(); ++i) {
            const std::uint64_t firstRow = std::uint64_t{first + static_cast<std::uint32_t>(i)} * plan.rowsPerStrip;
            const std::uint64_t rows = std::min<std::uint64_t>(plan.rowsPerStrip, plan.height - firstRow);
            if (availableBytes(run[i], file_.FileSize()) < rows * plan.rowBytes) return false;
        }
    }
    return true;
}

// The strips in turn hold height x rowBytes bytes. A strip running past the end of the file gives what
// it has; nothing after it can be placed. A sound file has at most one strip per row: more are never
// looked at.
bool DirectoryDecoder::stripsHoldRowsInTurn(const DirectoryPlan& plan) const
{
    const std::uint64_t needed = plan.rowBytes * plan.height;
    const std::uint32_t strips = std::min(dir_.StripCount(), plan.height);
    std::uint64_t have = 0;
    for (std::uint32_t first = 0; first < strips; first += kStripsPerRead) {
        const auto run = dir_.ReadStrips(first, std::min(kStripsPerRead, strips - first));
        if (run.empty()) return false;
        for (const StripInfo& strip : run) {
            const std::uint64_t available = availableBytes(strip, file_.FileSize());
            have += available;
            if (have >= needed) return true;
            if (available < strip.ByteCount) return false;
        }
    }
    return false;
}

bool DirectoryDecoder::ReadBilevelImage(std::int32_t photometric, DirectoryPlan& plan)
{
    if (!checkSizeAndCompression(kBilevel) || !checkLayout(kBilevel, 1)) return false;
    plan.palette.setRamp();
    plan.palette.setGrey(0, photometric == kWhiteIsZero ? 255 : 0);
    plan.palette.setGrey(1, photometric == kWhiteIsZero ? 0 : 255);
    return ReadStrips(kBilevel, 1, plan);
}

bool DirectoryDecoder::ReadGrayScaleImage(std::int32_t photometric, std::uint32_t depth, DirectoryPlan& plan)
{
    if (!checkSizeAndCompression(kGray) || !checkLayout(kGray, 1)) return false;
    plan.palette.setRamp();
    const int levels = depth == 4 ? 16 : kPaletteSize;
    for (int i = 0; i < levels; ++i) {
        const int grey = depth == 4 ? i * 255 / 15 : i;
        plan.palette.setGrey(i, photometric == kWhiteIsZero ? 255 - grey : grey);
    }
    return ReadStrips(kGray, static_cast<int>(depth), plan);
}

bool DirectoryDecoder::ReadColorPaletteImage(DirectoryPlan& plan)
{
    if (!checkSizeAndCompression(kColorPalette)) return false;
    const auto depth = firstValue(TiffTag::BitsPerSample);
    if (!depth) return tell(std::string(TiffText::NoBitsPerSample));
    const TiffEntry* colorMap = dir_.FindEntry(TiffTag::ColorMap);
    if (!colorMap) return tell(std::string(TiffText::NoColorMap));
    if (!checkLayout(kColorPalette, 1)) return false;
    if (*depth != 1 && *depth != 4 && *depth != 8)
        return tell(cantRead(kColorPalette, " with " + std::to_string(*depth) + std::string(TiffText::BitsPerSampleAfter)));
    ReadColorMap(*colorMap, plan.palette);
    return ReadStrips(kColorPalette, static_cast<int>(*depth), plan);
}

bool DirectoryDecoder::ReadRgbFullColorImage(DirectoryPlan& plan)
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
    return ReadStrips(kRgbFullColor, 24, plan);
}

/// Reads the strips' bytes in strip order, a row at a time, from where the directory points.
class StripStream {
public:
    /// runOn: the rows run on from strip to strip, and nothing after a strip cut short by the end of
    /// the file can be placed.
    StripStream(const TGraphicTiff& directory, bool runOn) : dir_(directory), file_(directory.owner()), runOn_(runOn)
    {
    }

    /// Leaves what is left of the current strip and starts the next one.
    bool beginStrip() { return nextStrip(); }

    /// The next length bytes into out; false when the strips end first or the file cannot be read.
    /// withinStrip: the bytes must all come from the current strip.
    bool read(std::uint8_t* out, std::uint64_t length, bool withinStrip)
    {
        if (withinStrip && left_ < length) return false;
        while (length > 0) {
            if (left_ == 0 && !nextStrip()) return false;
            const std::uint64_t take = std::min(left_, length);
            if (!file_.ReadAt(at_, static_cast<std::size_t>(take), out)) return false;
            out += take;
            at_ += take;
            left_ -= take;
            length -= take;
        }
        return true;
    }

private:
    bool nextStrip()
    {
        if (runOn_ && ended_) return false;
        if (index_ == run_.size()) {
            run_ = dir_.ReadStrips(first_, kStripsPerRead);
            first_ += kStripsPerRead;
            index_ = 0;
            if (run_.empty()) return false;
        }
        const StripInfo& strip = run_[index_++];
        at_ = strip.Offset;
        const std::uint64_t size = file_.FileSize();
        left_ = strip.Offset < size ? std::min<std::uint64_t>(strip.ByteCount, size - strip.Offset) : 0;
        ended_ = left_ < strip.ByteCount;
        return !runOn_ || left_ > 0 || !ended_;
    }

    const TGraphicTiff& dir_;
    const TFileTiff& file_;
    std::vector<StripInfo> run_;
    std::size_t index_ = 0;
    std::uint32_t first_ = 0;
    std::uint64_t at_ = 0;
    std::uint64_t left_ = 0;
    bool runOn_;
    bool ended_ = false;
};

/// Each byte with its bits in reverse order: FillOrder 2 data turned into the usual order.
constexpr std::array<std::uint8_t, 256> kReversedBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        int reversed = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (i & (1 << bit)) reversed |= 0x80 >> bit;
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(reversed);
    }
    return table;
}();

using Colours = std::array<std::array<std::uint8_t, 3>, kPaletteSize>;

/// SwapRedBlue: pixelCount 3-byte pixels from red-green-blue into blue-green-red order.
void SwapRedBlue(const std::uint8_t* rgb, std::uint8_t* bgr, std::size_t pixelCount)
{
    for (std::size_t i = 0; i < pixelCount; ++i, rgb += 3, bgr += 3) {
        bgr[0] = rgb[2];
        bgr[1] = rgb[1];
        bgr[2] = rgb[0];
    }
}

/// One row of 8-bit indices through the colour table.
void indexRow8(const std::uint8_t* source, std::uint8_t* out, int width, const Colours& colours)
{
    for (int x = 0; x < width; ++x, out += 3) std::memcpy(out, colours[source[x]].data(), 3);
}

/// One row of 4-bit indices, high nibble first.
void indexRow4(const std::uint8_t* source, std::uint8_t* out, int width, const Colours& colours)
{
    for (int x = 0; x < width; ++x, out += 3)
        std::memcpy(out, colours[(source[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F].data(), 3);
}

/// One row of 1-bit indices, most significant bit first.
void indexRow1(const std::uint8_t* source, std::uint8_t* out, int width, const Colours& colours)
{
    for (int x = 0; x < width; ++x, out += 3)
        std::memcpy(out, colours[(source[x >> 3] >> (7 - (x & 7))) & 1].data(), 3);
}

// MakePicture: reads the planned directory's rows (top row first) into a 24-bit picture through the
// colour table below 24 bits. Target is replaced only when every row was read.
bool MakePicture(const TGraphicTiff& directory, const DirectoryPlan& plan, Picture& target,
                 std::vector<std::string>& messages)
{
    Picture picture;
    std::vector<std::uint8_t> row;
    try {
        picture.resize(static_cast<int>(plan.width), static_cast<int>(plan.height));
        row.resize(static_cast<std::size_t>(plan.rowBytes));
    } catch (const std::bad_alloc&) {
        messages.emplace_back(TiffText::OutOfMemory);
        return false;
    }
    Colours colours;
    for (int i = 0; i < kPaletteSize; ++i)
        colours[i] = {static_cast<std::uint8_t>(plan.palette.blue[i]), static_cast<std::uint8_t>(plan.palette.green[i]),
                      static_cast<std::uint8_t>(plan.palette.red[i])};
    StripStream strips(directory, plan.rowsPerStrip == 0);
    const int width = static_cast<int>(plan.width);
    for (int y = 0; y < static_cast<int>(plan.height); ++y) {
        const bool stripStart = plan.rowsPerStrip != 0 && y % plan.rowsPerStrip == 0;
        if ((stripStart && !strips.beginStrip()) ||
            !strips.read(row.data(), plan.rowBytes, plan.rowsPerStrip != 0)) {  // the file changed or cannot be read
            messages.emplace_back(TiffText::ImageData);
            return false;
        }
        if (plan.lowBitFirst)
            for (std::uint8_t& byte : row) byte = kReversedBits[byte];
        std::uint8_t* out = picture.row(y);
        switch (plan.bitsPerPixel) {
            case 24:
                SwapRedBlue(row.data(), out, static_cast<std::size_t>(width));
                break;
            case 8:
                indexRow8(row.data(), out, width, colours);
                break;
            case 4:
                indexRow4(row.data(), out, width, colours);
                break;
            default:
                indexRow1(row.data(), out, width, colours);
                break;
        }
    }
    target = std::move(picture);
    return true;
}

/// True when the directory is a reduced-resolution copy of another (a thumbnail, say).
bool isReducedResolution(const TGraphicTiff& directory)
{
    const auto flag = [&](std::uint16_t tag) -> std::optional<std::uint32_t> {
        const TiffEntry* entry = directory.FindEntry(tag);
        if (!entry) return std::nullopt;
        const auto values = directory.ReadValues(*entry, 1);
        return values && !values->empty() ? values->front() : entry->Value;
    };
    if (const auto newType = flag(TiffTag::NewSubfileType)) return (*newType & kReducedResolution) != 0;
    return flag(kOldSubfileType).value_or(0) == kOldReducedResolution;
}

/// Dispatch over the directories of a read file: every directory is checked in chain order, then the
/// picture to keep is decoded.
TiffResult decodeDirectories(const TFileTiff& file)
{
    TiffResult result;
    // A header whose first directory lies outside the file holds no picture either: said the same way,
    // rather than loading an empty picture without a word.
    if (!file.Valid() || file.Count() == 0) {
        result.messages.push_back(std::string(TiffText::NotValidBefore) + file.FileName() +
                                  std::string(TiffText::NotValidAfter));
        result.damaged = true;
        return result;
    }
    std::vector<DirectoryPlan> plans;
    StripCheck lastCheck;
    for (std::size_t index = 0; index < file.Count(); ++index) {
        const std::unique_ptr<TGraphicTiff> directory = file.ReadImage(index);
        const bool reduced = isReducedResolution(*directory);
        const std::size_t messagesBefore = result.messages.size();
        const TiffEntry* photometricEntry = directory->FindEntry(TiffTag::Photometric);
        if (!photometricEntry) {
            result.messages.emplace_back(TiffText::NoPhotometric);
            result.damaged = true;
            break;
        }
        const auto photometricValues = directory->ReadValues(*photometricEntry, 1);
        // Taken as a signed number: a LONG of 2^31 or more is reported as negative.
        const auto photometric = static_cast<std::int32_t>(
            photometricValues && !photometricValues->empty() ? photometricValues->front() : photometricEntry->Value);
        if (photometric < kWhiteIsZero || photometric > kPalette) {
            result.messages.push_back(std::string(TiffText::BadPhotometric) + std::to_string(photometric));
            result.damaged = true;
            break;
        }
        DirectoryDecoder decoder(*directory, result.messages, lastCheck);
        DirectoryPlan plan;
        plan.index = index;
        plan.reduced = reduced;
        bool planned = false;
        if (photometric == kWhiteIsZero || photometric == kBlackIsZero) {
            const TiffEntry* depthEntry = directory->FindEntry(TiffTag::BitsPerSample);
            const auto depths = depthEntry ? directory->ReadValues(*depthEntry, 1) : std::nullopt;
            const std::uint32_t depth = depths && !depths->empty() ? depths->front() : 1;
            if (depth == 1)
                planned = decoder.ReadBilevelImage(photometric, plan);
            else if (depth == 4 || depth == 8)
                planned = decoder.ReadGrayScaleImage(photometric, depth, plan);
            else
                result.messages.push_back(std::string(TiffText::CantRead) + std::string(TiffText::GrayKind) +
                                          " with " + std::to_string(depth) +
                                          std::string(TiffText::BitsPerSampleAfter));
        } else if (photometric == kPalette) {
            planned = decoder.ReadColorPaletteImage(plan);
        } else {
            planned = decoder.ReadRgbFullColorImage(plan);
        }
        if (planned) plans.push_back(plan);
        if (result.messages.size() != messagesBefore && !reduced) result.damaged = true;
    }
    // The picture kept: the last full-resolution directory that decodes, else the last reduced one.
    std::stable_partition(plans.begin(), plans.end(), [](const DirectoryPlan& plan) { return plan.reduced; });
    for (auto plan = plans.rbegin(); plan != plans.rend(); ++plan) {
        const std::unique_ptr<TGraphicTiff> directory = file.ReadImage(plan->index);
        if (MakePicture(*directory, *plan, result.picture, result.messages)) break;
        result.damaged = true;
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
