#include "picture/ReadBmp.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "core/AtomicFile.h"
#include "core/RowsReady.h"
#include "picture/PictureMemory.h"

#if defined(__unix__)
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#define BMP_ROWS_FROM_FILE 1
#endif

namespace {

constexpr std::size_t kFileHeaderSize = 14;
// Info header sizes: the OS/2 core header (16-bit sizes, 3-byte colour entries), INFO, OS/2 2.x, V4, V5.
constexpr std::uint32_t kCoreHeader = 12;
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::uint32_t kOs2Header = 64;
constexpr std::uint32_t kV4Header = 108;
constexpr std::uint32_t kV5Header = 124;
constexpr std::uint32_t kMasksSize = 12;    // red, green and blue masks after an INFO header
constexpr std::uint32_t kV4Extra = 4 + 4 + 36 + 12;  // alpha mask, colour space, end points, gammas
constexpr std::uint32_t kV5Extra = 16;              // intent, profile offset and size, reserved

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };
constexpr int kMaxColours = 256;

std::uint32_t le16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

/// One colour channel of a 16- or 32-bit pixel: (pixel & mask) >> shift, times scale, low byte kept.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t scale = 0;

    /// From a mask: the shift to its lowest set bit, and 256 over the number of its values. False for a
    /// mask of all 32 bits, which has no such scale.
    bool setMask(std::uint32_t bits)
    {
        mask = bits;
        shift = 0;
        while (bits && !(bits & 1)) {
            bits >>= 1;
            ++shift;
        }
        if (bits == 0xFFFFFFFFu) return false;
        scale = 256 / (bits + 1);
        return true;
    }
    std::uint8_t operator()(std::uint32_t pixel) const
    {
        return static_cast<std::uint8_t>(((pixel & mask) >> shift) * scale);
    }
};

/// The header fields the decoders need.
struct BmpHeader {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative: rows stored top-down
    int bits = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t coloursUsed = 0;
    std::int64_t dataOffset = 0;  // from the file header; used when it lies past the colour table
};

class BmpDecoder {
public:
    BmpDecoder(const std::uint8_t* data, std::size_t size, const std::string& fileLabel)
        : data_(data), size_(size), label_(quotedPath(fileLabel))
    {
    }
    DecodedPicture decode();

    // The steps of a file read straight into the picture (BmpFileDecoding). data holds the file's
    // first bytes only; headers() is told where they end.
    /// Reads the headers and tables from the bytes held. False when they do not make a picture (the
    /// outcome says why) or when they may reach past the bytes held.
    bool headers(std::size_t held)
    {
        size_ = held;
        return readHeaders() && readColoursOrMasks() && pixelsAt_ < held;
    }
    /// Whether the rows are the picture's own bytes, blue, green, red, each row padded to 4 bytes.
    bool plainRows() const { return header_.bits == 24 && header_.compression == kRgb; }
    /// Sizes the picture against the whole file's size, as decode does; the rows are left unwritten.
    bool allocateFor(std::uint64_t fileBytes)
    {
        size_ = static_cast<std::size_t>(fileBytes);
        return allocate(false);
    }
    std::size_t pixelsAt() const { return pixelsAt_; }
    std::size_t fileStride() const { return static_cast<std::size_t>((width_ * 24 + 31) / 32 * 4); }
    bool topDown() const { return topDown_; }
    const std::string& label() const { return label_; }
    Picture& picture() { return result_.picture; }
    void noteDamage(const std::string& reason) { damage(reason); }
    /// The outcome: the picture, or the error, and the damage found.
    DecodedPicture outcome();

private:
    bool fail(const std::string& reason)
    {
        result_.picture.clear();
        result_.error = label_ + " is not a readable BMP picture: " + reason + ".";
        return false;
    }
    void damage(const std::string& reason)
    {
        if (damageReason_.empty()) damageReason_ = reason;
    }
    bool readHeaders();
    bool readColoursOrMasks();
    bool allocate(bool clear = true);
    void readRows();
    void readRle(bool fourBits);
    /// Row y of the picture as the file counts rows: 0 is the first row stored.
    std::uint8_t* storedRow(std::int64_t y)
    {
        return result_.picture.row(static_cast<int>(topDown_ ? y : height_ - 1 - y));
    }
    void putIndex(std::uint8_t* out, unsigned index)
    {
        if (index >= colours_.size()) {
            ++badIndices_;
            index = 0;  // shown as the table's first colour
            if (colours_.empty()) return;
        }
        std::memcpy(out, colours_[index].data(), 3);
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::string label_;
    BmpHeader header_;
    std::int64_t width_ = 0, height_ = 0;
    bool topDown_ = false;
    std::vector<std::array<std::uint8_t, 3>> colours_;  // blue, green, red
    Channel red_, green_, blue_;
    std::size_t pixelsAt_ = 0;  // where the pixel data start
    std::uint64_t badIndices_ = 0;
    std::string damageReason_;
    DecodedPicture result_;
};

bool BmpDecoder::readHeaders()
{
    if (size_ < kFileHeaderSize + 4 || data_[0] != 'B' || data_[1] != 'M') return fail("it does not start with \"BM\"");
    header_.dataOffset = static_cast<std::int32_t>(le32(data_ + 10));
    const std::uint8_t* info = data_ + kFileHeaderSize;
    header_.headerSize = le32(info);
    const bool full = header_.headerSize == kInfoHeader || header_.headerSize == kOs2Header ||
                      header_.headerSize == kV4Header || header_.headerSize == kV5Header;
    // Deliberate, as the readers before us: any other header size is read as a core header.
    const std::size_t fieldsEnd = kFileHeaderSize + (full ? kInfoHeader : kCoreHeader);
    if (size_ < fieldsEnd) return fail("the file ends inside its header");
    std::uint32_t planes = 0;
    if (full) {
        header_.width = static_cast<std::int32_t>(le32(info + 4));
        header_.height = static_cast<std::int32_t>(le32(info + 8));
        planes = le16(info + 12);
        header_.bits = static_cast<int>(le16(info + 14));
        header_.compression = le32(info + 16);
        header_.coloursUsed = le32(info + 32);
    } else {
        header_.width = static_cast<std::int16_t>(le16(info + 4));
        header_.height = static_cast<std::int16_t>(le16(info + 6));
        planes = le16(info + 8);
        header_.bits = static_cast<int>(le16(info + 10));
    }
    const int bits = header_.bits;
    const std::uint32_t compression = header_.compression;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return fail(std::to_string(bits) + " bits per pixel");
    if (planes != 1) return fail(std::to_string(planes) + " planes");
    if (!(compression == kRgb || (bits == 4 && compression == kRle4) || (bits == 8 && compression == kRle8) ||
          ((bits == 16 || bits == 32) && compression == kBitFields)))
        return fail("compression " + std::to_string(compression) + " with " + std::to_string(bits) + " bits per pixel");
    width_ = header_.width;
    height_ = header_.height < 0 ? -header_.height : header_.height;
    topDown_ = header_.height < 0;
    if (width_ <= 0 || height_ <= 0) return fail("width or height 0 or less");
    return true;
}

bool BmpDecoder::readColoursOrMasks()
{
    const std::uint32_t headerSize = header_.headerSize;
    std::size_t at = kFileHeaderSize + (headerSize >= kV4Header ? kInfoHeader : headerSize);
    if (headerSize == kCoreHeader || (headerSize != kInfoHeader && headerSize != kOs2Header &&
                                      headerSize != kV4Header && headerSize != kV5Header))
        at = kFileHeaderSize + headerSize;
    if (at > size_) return fail("the file ends inside its header");
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    if (headerSize >= kV4Header || header_.compression == kBitFields) {
        const std::size_t length = kMasksSize + (headerSize >= kV4Header ? kV4Extra : 0) +
                                   (headerSize == kV5Header ? kV5Extra : 0);
        if (at > size_ || size_ - at < length) return fail("the file ends inside its header");
        for (int i = 0; i < 3; ++i) masks[i] = le32(data_ + at + 4 * i);
        if (headerSize == kV5Header && le32(data_ + at + length - 4) != 0) return fail("a V5 header's reserved field is not 0");
        at += length;
    }
    if (header_.bits <= 8) {
        const std::uint32_t count = header_.coloursUsed ? header_.coloursUsed : 1u << header_.bits;
        if (count < 1 || count > kMaxColours) return fail("a colour table of " + std::to_string(count) + " entries");
        const std::size_t entry = headerSize == kCoreHeader ? 3 : 4;
        if (at > size_ || (size_ - at) / entry < count) return fail("the file ends inside its colour table");
        colours_.resize(count);
        for (std::uint32_t i = 0; i < count; ++i, at += entry)
            colours_[i] = {data_[at], data_[at + 1], data_[at + 2]};
    } else if (header_.compression == kBitFields) {
        if (!red_.setMask(masks[0]) || !green_.setMask(masks[1]) || !blue_.setMask(masks[2]))
            return fail("a colour mask of all 32 bits");
    } else if (header_.bits == 16) {  // 5 bits each: the shifts leave red and green times 8, blue times 8
        red_ = {0x7C00, 7, 1};
        green_ = {0x03E0, 2, 1};
        blue_ = {0x001F, 0, 8};
    } else {
        red_ = {0xFF0000, 16, 1};
        green_ = {0x00FF00, 8, 1};
        blue_ = {0x0000FF, 0, 1};
    }
    // The file header's offset is taken where it lies past the tables; an offset pointing back into
    // them is ignored.
    pixelsAt_ = header_.dataOffset >= 0 && static_cast<std::uint64_t>(header_.dataOffset) > at
                    ? static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(header_.dataOffset), size_))
                    : at;
    return true;
}

bool BmpDecoder::allocate(bool clear)
{
    const auto width = static_cast<std::uint64_t>(width_);
    const auto height = static_cast<std::uint64_t>(height_);
    if (header_.compression == kRgb || header_.compression == kBitFields) {
        // Uncompressed rows: a file holding less than half of them is no picture of that size.
        const std::uint64_t stride = (width * static_cast<std::uint64_t>(header_.bits) + 31) / 32 * 4;
        const std::uint64_t rowsHeld = (size_ - pixelsAt_) / stride;
        if (rowsHeld < (height + 1) / 2)
            return fail("the file holds " + std::to_string(rowsHeld) + " of its " + std::to_string(height) + " rows");
    }
    if (width * height * Picture::kBytesPerPixel > kMaxPictureBytes || width > 0x7FFFFFFF / 3)
        return fail(std::to_string(width) + " x " + std::to_string(height) + " pixels are more than a picture can hold");
    if (!claimPictureMemory(width, height)) {
        result_.error = label_ + " is too large to load: " + overMemoryLimitReason(width, height) + ".";
        return false;
    }
    try {
        if (clear)
            result_.picture.resize(static_cast<int>(width_), static_cast<int>(height_));
        else
            result_.picture.resizeForOverwrite(static_cast<int>(width_), static_cast<int>(height_));
    } catch (const std::bad_alloc&) {
        result_.picture.clear();
        result_.error = "Not enough memory to load " + label_ + ".";
        return false;
    }
    return true;
}

void BmpDecoder::readRows()
{
    const int bits = header_.bits;
    const std::size_t stride = static_cast<std::size_t>((width_ * bits + 31) / 32 * 4);
    const std::size_t held = (size_ - pixelsAt_) / stride;
    const auto rows = static_cast<std::int64_t>(std::min<std::size_t>(held, static_cast<std::size_t>(height_)));
    if (rows < height_)
        damage("the file ends after " + std::to_string(rows) + " of its " + std::to_string(height_) + " rows");
    const int width = static_cast<int>(width_);
    for (std::int64_t y = 0; y < rows; ++y) {
        const std::uint8_t* in = data_ + pixelsAt_ + static_cast<std::size_t>(y) * stride;
        std::uint8_t* out = storedRow(y);
        switch (bits) {
            case 1:
                for (int x = 0; x < width; ++x, out += 3) putIndex(out, (in[x >> 3] >> (7 - (x & 7))) & 1);
                break;
            case 4:
                for (int x = 0; x < width; ++x, out += 3) putIndex(out, (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F);
                break;
            case 8:
                for (int x = 0; x < width; ++x, out += 3) putIndex(out, in[x]);
                break;
            case 24:
                if (header_.compression == kRgb) {  // stored blue, green, red: our own order
                    std::memcpy(out, in, static_cast<std::size_t>(width) * 3);
                    break;
                }
                [[fallthrough]];
            default: {
                const int bytes = bits / 8;
                for (int x = 0; x < width; ++x, out += 3, in += bytes) {
                    std::uint32_t pixel = le16(in);
                    if (bytes > 2) pixel |= std::uint32_t{in[2]} << 16;
                    if (bytes > 3) pixel |= std::uint32_t{in[3]} << 24;
                    out[0] = blue_(pixel);
                    out[1] = green_(pixel);
                    out[2] = red_(pixel);
                }
                break;
            }
        }
    }
}

// RLE4 and RLE8: runs of one index (two alternating ones in RLE4), escapes for the end of a row, the
// end of the picture, a jump and literal runs (padded to 16 bits). Pixels the stream leaves untouched
// (jumped over, or after the end of the picture) stay black.
void BmpDecoder::readRle(bool fourBits)
{
    const std::uint8_t* p = data_ + pixelsAt_;
    const std::uint8_t* const end = data_ + size_;
    std::int64_t x = 0, y = 0;
    const auto put = [&](unsigned index) {
        putIndex(storedRow(y) + 3 * x, index);
        ++x;
    };
    bool finished = false;
    while (y < height_) {
        if (p >= end) break;
        const unsigned count = *p++;
        if (count > 0) {  // a run
            if (p >= end) break;
            const unsigned value = *p++;
            if (x + count > width_) damage("a run goes past the end of its row");
            const std::int64_t n = std::min<std::int64_t>(count, width_ - x);
            for (std::int64_t i = 0; i < n; ++i) put(fourBits ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (p >= end) break;
        const unsigned escape = *p++;
        if (escape == 0) {  // end of row
            x = 0;
            ++y;
        } else if (escape == 1) {  // end of picture
            finished = true;
            break;
        } else if (escape == 2) {  // jump right and up
            if (end - p < 2) break;
            x += p[0];
            y += p[1];
            p += 2;
            if (x >= width_ || y >= height_) {
                damage("a jump goes past the picture");
                x = std::min(x, width_ - 1);
                y = std::min(y, height_ - 1);
            }
        } else {  // literal run of `escape` indices
            const std::size_t bytes = fourBits ? (escape + 1) / 2 : escape;
            const std::size_t padded = (bytes + 1) & ~std::size_t{1};
            if (static_cast<std::size_t>(end - p) < bytes) break;
            if (x + escape > width_) damage("a run goes past the end of its row");
            const std::int64_t n = std::min<std::int64_t>(escape, width_ - x);
            for (std::int64_t i = 0; i < n; ++i)
                put(fourBits ? ((i & 1) ? p[i >> 1] & 0x0F : p[i >> 1] >> 4) : p[i]);
            p += std::min<std::size_t>(padded, static_cast<std::size_t>(end - p));
        }
    }
    // A stream may end with the last row (or its end-of-row) instead of an end of picture.
    if (!finished && y < height_ && !(y == height_ - 1 && x >= width_)) damage("the compressed data end before the picture is complete");
}

DecodedPicture BmpDecoder::decode()
{
    if (!readHeaders() || !readColoursOrMasks() || !allocate()) {
        result_.picture.clear();
        return std::move(result_);
    }
    if (header_.compression == kRle4 || header_.compression == kRle8)
        readRle(header_.compression == kRle4);
    else
        readRows();
    return outcome();
}

DecodedPicture BmpDecoder::outcome()
{
    if (badIndices_ > 0)
        damage(std::to_string(badIndices_) + (badIndices_ == 1 ? " pixel uses a colour" : " pixels use colours") +
               " beyond the " + std::to_string(colours_.size()) + " of its colour table");
    if (!damageReason_.empty()) {
        result_.messages.push_back(label_ + " is damaged, the picture may be incomplete: " + damageReason_ + ".");
        result_.damaged = true;
    }
    return std::move(result_);
}

}  // namespace

DecodedPicture ReadBmpFromMemory(const std::uint8_t* data, std::size_t size, const std::string& fileLabel)
{
    return BmpDecoder(data, size, fileLabel).decode();
}

namespace {

constexpr std::size_t kHeaderBytes = 64 * 1024;  // read first: every header and table of a usual file
constexpr std::int64_t kBandRows = 64;           // rows read and told ready at a time

}  // namespace

struct BmpFileDecoding::State {
    std::FILE* file = nullptr;
    std::string fileLabel;
    std::vector<std::uint8_t> head;            // the file's first bytes
    std::unique_ptr<BmpDecoder> decoder;       // rows read straight from the file
    std::optional<DecodedPicture> outcome;     // a file read whole, or one that failed before its rows
    std::string rowsError;                     // why reading the rows straight from the file failed
    bool rowsRead = false;
    std::uint64_t fileBytes = 0;
    Picture none;

    /// The whole file through ReadBmpFromMemory, as a file that is no plain 24-bit BMP is read.
    void readWhole()
    {
        std::vector<std::uint8_t> bytes;
        std::rewind(file);
        DecodedPicture result;
        result.error = readWholeStream(file, std::filesystem::path(fileLabel), bytes);
        outcome = result.failed() ? std::move(result) : ReadBmpFromMemory(bytes.data(), bytes.size(), fileLabel);
    }
    std::string readError(int error) const
    {
        return "Cannot read " + quotedPath(fileLabel) + ": " + systemReason(error ? error : EIO) + ".";
    }
};

BmpFileDecoding::BmpFileDecoding(std::FILE* file, const std::string& fileLabel) : state_(std::make_unique<State>())
{
    state_->file = file;
    state_->fileLabel = fileLabel;
}

BmpFileDecoding::~BmpFileDecoding() = default;

bool BmpFileDecoding::start()
{
    State& state = *state_;
#if BMP_ROWS_FROM_FILE
    const int fd = fileno(state.file);
    struct stat status {};
    if (fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        state.fileBytes = static_cast<std::uint64_t>(status.st_size);
        state.head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(state.fileBytes, kHeaderBytes)));
        std::size_t got = 0;
        while (got < state.head.size()) {
            const ssize_t n = pread(fd, state.head.data() + got, state.head.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                state.outcome.emplace();
                state.outcome->error = state.readError(errno);
                return false;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        state.head.resize(got);
        auto decoder = std::make_unique<BmpDecoder>(state.head.data(), state.head.size(), state.fileLabel);
        // Files of other kinds, or whose headers reach past the first bytes, are read whole below; so are
        // broken headers, for the whole file's message.
        if (decoder->headers(state.head.size()) && decoder->plainRows() &&
            got == std::min<std::uint64_t>(state.fileBytes, kHeaderBytes)) {
            if (!decoder->allocateFor(state.fileBytes)) {
                state.outcome = decoder->outcome();
                state.outcome->picture.clear();
                return false;
            }
            state.decoder = std::move(decoder);
            return true;
        }
    }
#endif
    state.readWhole();
    return !state.outcome->failed();
}

const Picture& BmpFileDecoding::picture() const
{
    const State& state = *state_;
    if (state.decoder) return state.decoder->picture();
    return state.outcome ? state.outcome->picture : state.none;
}

void BmpFileDecoding::decodeRows(RowsReady* ready)
{
    State& state = *state_;
#if BMP_ROWS_FROM_FILE
    if (state.decoder && !state.rowsRead) {
        state.rowsRead = true;
        BmpDecoder& decoder = *state.decoder;
        Picture& picture = decoder.picture();
        const std::int64_t height = picture.height();
        const std::size_t rowBytes = picture.stride(), fileStride = decoder.fileStride();
        std::uint8_t padding[4];
        const std::int64_t held = static_cast<std::int64_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(height), (state.fileBytes - decoder.pixelsAt()) / fileStride));
        if (held < height)
            decoder.noteDamage("the file ends after " + std::to_string(held) + " of its " + std::to_string(height) + " rows");
        const int fd = fileno(state.file);
        // Stored row y (the file's order) is picture row y of a top-down file, height - 1 - y of a
        // bottom-up one; a band of picture rows is one run of stored rows either way.
        const auto pictureRow = [&](std::int64_t stored) { return decoder.topDown() ? stored : height - 1 - stored; };
        std::vector<iovec> pieces;
        for (std::int64_t first = 0; first < height; first += kBandRows) {
            const std::int64_t last = std::min(height, first + kBandRows) - 1;
            std::int64_t storedFirst = decoder.topDown() ? first : height - 1 - last;
            std::int64_t storedLast = decoder.topDown() ? last : height - 1 - first;
            for (std::int64_t y = std::max(storedFirst, held); y <= storedLast; ++y)  // past the file's end: black
                std::memset(picture.row(static_cast<int>(pictureRow(y))), 0, rowBytes);
            storedLast = std::min(storedLast, held - 1);
            pieces.clear();
            for (std::int64_t y = storedFirst; y <= storedLast; ++y) {
                pieces.push_back({picture.row(static_cast<int>(pictureRow(y))), rowBytes});
                if (fileStride > rowBytes) pieces.push_back({padding, fileStride - rowBytes});
            }
            std::size_t at = 0;  // the first piece not read whole
            off_t offset = static_cast<off_t>(decoder.pixelsAt() + static_cast<std::size_t>(storedFirst) * fileStride);
            while (at < pieces.size()) {
                const ssize_t n = preadv(fd, pieces.data() + at, static_cast<int>(pieces.size() - at), offset);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {  // a read error, or a file cut short since it was opened
                    state.rowsError = state.readError(n < 0 ? errno : EIO);
                    if (ready) ready->close();
                    return;
                }
                offset += n;
                for (auto left = static_cast<std::size_t>(n); left > 0;) {
                    iovec& piece = pieces[at];
                    const std::size_t taken = std::min(left, piece.iov_len);
                    piece.iov_base = static_cast<std::uint8_t*>(piece.iov_base) + taken;
                    piece.iov_len -= taken;
                    left -= taken;
                    if (piece.iov_len == 0) ++at;
                }
            }
            if (ready) ready->publish(last + 1);
        }
        if (ready) ready->close();
        return;
    }
#endif
    if (ready) {
        if (state.outcome) ready->publish(state.outcome->picture.height());
        ready->close();
    }
}

DecodedPicture BmpFileDecoding::finish()
{
    State& state = *state_;
    if (state.decoder) {
        decodeRows(nullptr);  // nothing when they were read already
        DecodedPicture result = state.decoder->outcome();
        state.decoder.reset();
        if (!state.rowsError.empty()) {
            result = DecodedPicture();
            result.error = state.rowsError;
        }
        return result;
    }
    if (!state.outcome) return {};
    DecodedPicture result = std::move(*state.outcome);
    state.outcome.reset();
    return result;
}
