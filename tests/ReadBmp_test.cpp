// Our BMP reader against Qt's, which loaded BMP files before it: every file Qt reads and we find sound
// gives the same picture byte for byte; damage is reported, never filled in silently.
#include "picture/ReadBmp.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "picture/PictureMemory.h"
#include "support/TestPictures.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;


/// The picture Qt's BMP reader gives, as the program loaded BMP files before: BMP content only, then
/// 24-bit rows. None when Qt refuses the file.
std::optional<Picture> decodeWithQt(const Bytes& bytes)
{
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(2730);
    QImage image;
    if (!reader.read(&image) || image.isNull()) return std::nullopt;
    image = std::move(image).convertToFormat(QImage::Format_BGR888);
    Picture picture(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) std::memcpy(picture.row(y), image.constScanLine(y), picture.stride());
    return picture;
}

DecodedPicture decode(const Bytes& bytes, const std::string& name = "x.bmp")
{
    return ReadBmpFromMemory(bytes.data(), bytes.size(), name);
}

}  // namespace

namespace {

/// True for RLE files (compression 1 or 2 in an INFO or later header).
bool isRle(const Bytes& bytes)
{
    if (bytes.size() < 34 || bytes[14] < 40) return false;
    return bytes[30] == 1 || bytes[30] == 2;
}

/// Pixels in which ours differs from Qt's. In RLE files the pixels a stream jumps over are black in
/// ours and whatever Qt's buffer held in its (uninitialised memory): those are not compared.
int differences(const Picture& ours, const Picture& qt, bool rle)
{
    if (ours.width() != qt.width() || ours.height() != qt.height()) return -1;
    int count = 0;
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x)
            if (ours.pixel(x, y) != qt.pixel(x, y) && !(rle && ours.pixel(x, y) == 0)) ++count;
    return count;
}

}  // namespace

TEST(ReadBmpCorpus, SoundFilesGiveQtsPictureAndNoneIsFilledSilently)
{
    const fs::path corpus = fs::path(SPOTTALLY_SHARED_DATA) / "bmp-corpus";
    if (!fs::exists(corpus / "INDEX.tsv")) GTEST_SKIP() << "no bmp corpus";
    int equal = 0, damaged = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".tsv") continue;
        const std::string name = fs::relative(entry.path(), corpus).string();
        SCOPED_TRACE(name);
        const Bytes bytes = readBytes(entry.path());
        const DecodedPicture ours = decode(bytes, name);
        const std::optional<Picture> qt = decodeWithQt(bytes);
        EXPECT_EQ(ours.failed(), ours.picture.empty());
        if (ours.failed()) {
            EXPECT_NE(ours.error.find(name), std::string::npos) << ours.error;
            continue;
        }
        // What Qt refuses, we do not read as sound either.
        ASSERT_TRUE(qt.has_value() || ours.damaged) << "read by us only";
        if (ours.damaged) {
            ASSERT_EQ(ours.messages.size(), 1u);
            EXPECT_NE(ours.messages[0].find(" is damaged, the picture may be incomplete: "), std::string::npos);
            ++damaged;
            continue;
        }
        EXPECT_TRUE(ours.messages.empty());
        EXPECT_EQ(differences(ours.picture, *qt, isRle(bytes)), 0);
        ++equal;
    }
    EXPECT_GT(equal, 80);
    EXPECT_GT(damaged, 5);
}

namespace {

/// A BMP file built by hand: any header size, depth, compression, colour table and masks.
struct BmpLayout {
    std::uint32_t headerSize = 40;  // 12 core, 40 INFO, 108 V4, 124 V5
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows top-down
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::vector<std::array<std::uint8_t, 3>> palette;  // blue, green, red
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
    Bytes pixels;  // rows as stored, or the RLE stream
};

Bytes bmpFile(const BmpLayout& layout)
{
    Bytes bytes = {'B', 'M'};
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const bool core = layout.headerSize == 12;
    const std::uint32_t masksAfter = layout.headerSize == 40 && layout.compression == 3 ? 12 : 0;
    const std::uint32_t entry = core ? 3 : 4;
    const auto offset = static_cast<std::uint32_t>(14 + layout.headerSize + masksAfter + entry * layout.palette.size());
    put(offset + static_cast<std::uint32_t>(layout.pixels.size()), 4), put(0, 4), put(offset, 4);
    put(layout.headerSize, 4);
    if (core) {
        put(static_cast<std::uint32_t>(layout.width), 2), put(static_cast<std::uint32_t>(layout.height), 2);
        put(1, 2), put(layout.bits, 2);
    } else {
        put(static_cast<std::uint32_t>(layout.width), 4), put(static_cast<std::uint32_t>(layout.height), 4);
        put(1, 2), put(layout.bits, 2), put(layout.compression, 4), put(static_cast<std::uint32_t>(layout.pixels.size()), 4);
        put(2835, 4), put(2835, 4), put(static_cast<std::uint32_t>(layout.palette.size()), 4), put(0, 4);
        if (layout.headerSize >= 108) {
            for (std::uint32_t mask : layout.masks) put(mask, 4);
            put(0x73524742, 4);  // "sRGB"
            for (int i = 0; i < 12; ++i) put(0, 4);  // end points and gammas
            if (layout.headerSize == 124) put(4, 4), put(0, 4), put(0, 4), put(0, 4);
        }
        if (masksAfter)
            for (int i = 0; i < 3; ++i) put(layout.masks[static_cast<std::size_t>(i)], 4);
    }
    for (const auto& colour : layout.palette) {
        bytes.insert(bytes.end(), colour.begin(), colour.end());
        if (!core) bytes.push_back(0);
    }
    bytes.insert(bytes.end(), layout.pixels.begin(), layout.pixels.end());
    return bytes;
}

/// Rows of width x |height| pixels at bits per pixel, each padded to 4 bytes, filled with a pattern.
Bytes patternRows(std::int32_t width, std::int32_t height, int bits)
{
    const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    Bytes rows(stride * static_cast<std::size_t>(height < 0 ? -height : height));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i * 37 + i / 7);
    return rows;
}

std::vector<std::array<std::uint8_t, 3>> patternPalette(int count)
{
    std::vector<std::array<std::uint8_t, 3>> palette;
    for (int i = 0; i < count; ++i)
        palette.push_back({static_cast<std::uint8_t>(i * 11), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 5 + 3)});
    return palette;
}

// RLE8 over a 7 x 4 picture, in stored row order.
const Bytes kRle8 = {3, 1, 0, 3, 2, 3, 0, /* pad */ 0, 0, 0,  // row 0: a run, a literal run, end of row
                     0, 2, 2, 1,                            // row 1: jump 2 right and 1 up
                     2, 3, 0, 0,                            // row 2: a run from column 2, end of row
                     5, 1, 0, 1};                           // row 3: a run, end of picture

}  // namespace

TEST(ReadBmp, EveryVariantGivesQtsPicture)
{
    struct Case {
        const char* name;
        BmpLayout layout;
    };
    const std::vector<Case> cases = {
        {"1 bit", {40, 13, 5, 1, 0, patternPalette(2), {}, patternRows(13, 5, 1)}},
        {"4 bits, 16 colours", {40, 9, 4, 4, 0, patternPalette(16), {}, patternRows(9, 4, 4)}},
        {"8 bits, top-down", {40, 7, -6, 8, 0, patternPalette(256), {}, patternRows(7, -6, 8)}},
        {"8 bits, core header", {12, 7, 3, 8, 0, patternPalette(256), {}, patternRows(7, 3, 8)}},
        {"16 bits, 5-5-5", {40, 5, 3, 16, 0, {}, {}, patternRows(5, 3, 16)}},
        {"16 bits, 5-6-5 bit fields", {40, 5, 3, 16, 3, {}, {0xF800, 0x07E0, 0x001F, 0}, patternRows(5, 3, 16)}},
        {"24 bits, padded rows", {40, 5, 3, 24, 0, {}, {}, patternRows(5, 3, 24)}},
        {"24 bits, V5 header", {124, 5, -3, 24, 0, {}, {}, patternRows(5, -3, 24)}},
        {"32 bits", {40, 4, 3, 32, 0, {}, {}, patternRows(4, 3, 32)}},
        {"32 bits, bit fields", {40, 4, 3, 32, 3, {}, {0xFF00, 0xFF0000, 0xFF000000u, 0}, patternRows(4, 3, 32)}},
        {"32 bits, V4 bit fields with alpha",
         {108, 4, 3, 32, 3, {}, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, patternRows(4, 3, 32)}},
        {"RLE8", {40, 7, 4, 8, 1, patternPalette(4), {}, kRle8}},
        {"RLE4", {40, 7, 2, 4, 2, patternPalette(16), {}, {4, 0x12, 0, 3, 0x34, 0x50, 0, 0, 7, 0x9A, 0, 1}}},
    };
    for (const Case& c : cases) {
        const Bytes bytes = bmpFile(c.layout);
        const DecodedPicture ours = decode(bytes);
        const std::optional<Picture> qt = decodeWithQt(bytes);
        ASSERT_TRUE(qt.has_value()) << c.name;
        ASSERT_FALSE(ours.failed()) << c.name << ": " << ours.error;
        EXPECT_TRUE(ours.messages.empty()) << c.name << ": " << ours.messages.front();
        EXPECT_FALSE(ours.damaged) << c.name;
        EXPECT_EQ(differences(ours.picture, *qt, c.layout.compression == 1 || c.layout.compression == 2), 0) << c.name;
    }
}

// Damage is reported with the picture read so far; a file that holds too little of its claimed picture
// is refused before the picture is allocated.
TEST(ReadBmp, DamageIsReportedNotFilledIn)
{
    struct Case {
        const char* name;
        BmpLayout layout;
        std::size_t cutBytes;     // taken off the end of the file
        std::string errorPart;    // empty: the picture is kept, with messagePart
        std::string messagePart;
    };
    Bytes runPastRow = kRle8, jumpPast = kRle8, cutStream(kRle8.begin(), kRle8.begin() + 10);
    runPastRow[0] = 9;  // 9 pixels in a row of 7
    jumpPast[13] = 9;   // up 9 rows in a picture of 4
    const Bytes badIndices = {0, 1, 2, 3, 3, 200, 1, 0};
    const std::vector<Case> cases = {
        {"rows cut off", {40, 10, 10, 24, 0, {}, {}, patternRows(10, 10, 24)}, 3 * 32 + 5, "",
         "the file ends after 6 of its 10 rows"},
        {"118 bytes claiming 30000 x 30000", {40, 30000, 30000, 4, 0, patternPalette(16), {}, {}}, 0,
         "the file holds 0 of its 30000 rows", ""},
        {"RLE run past the row", {40, 7, 4, 8, 1, patternPalette(4), {}, runPastRow}, 0, "",
         "a run goes past the end of its row"},
        {"RLE jump past the picture", {40, 7, 4, 8, 1, patternPalette(4), {}, jumpPast}, 0, "",
         "a jump goes past the picture"},
        {"RLE stream cut", {40, 7, 4, 8, 1, patternPalette(4), {}, cutStream}, 0, "",
         "the compressed data end before the picture is complete"},
        {"colour index beyond the table", {40, 4, 2, 8, 0, patternPalette(4), {}, badIndices}, 0, "",
         "1 pixel uses a colour beyond the 4 of its colour table"},
    };
    for (const Case& c : cases) {
        Bytes bytes = bmpFile(c.layout);
        bytes.resize(bytes.size() - c.cutBytes);
        if (c.errorPart.empty()) {
            ASSERT_TRUE(decodeWithQt(bytes).has_value()) << c.name << ": Qt read it silently";
        }
        const DecodedPicture ours = decode(bytes, "d.bmp");
        if (!c.errorPart.empty()) {
            EXPECT_TRUE(ours.picture.empty()) << c.name;
            EXPECT_EQ(ours.error, "\"d.bmp\" is not a readable BMP picture: " + c.errorPart + ".") << c.name;
            continue;
        }
        ASSERT_FALSE(ours.failed()) << c.name << ": " << ours.error;
        EXPECT_TRUE(ours.damaged) << c.name;
        EXPECT_EQ(ours.picture.width(), std::abs(c.layout.width)) << c.name;
        EXPECT_EQ(ours.messages, std::vector<std::string>{"\"d.bmp\" is damaged, the picture may be incomplete: " +
                                                          c.messagePart + "."})
            << c.name;
    }
}

TEST(ReadBmp, PictureOverTheMemoryLimitIsRefused)
{
    const BmpLayout layout{40, 100, 100, 8, 0, patternPalette(256), {}, patternRows(100, 100, 8)};
    setPictureMemoryLimit(pictureLayersBytes(100, 100));
    EXPECT_FALSE(decode(bmpFile(layout)).failed());
    setPictureMemoryLimit(pictureLayersBytes(100, 100) - 1);
    const DecodedPicture refused = decode(bmpFile(layout), "big.bmp");
    setPictureMemoryLimit(0);
    EXPECT_TRUE(refused.picture.empty());
    EXPECT_EQ(refused.error, "\"big.bmp\" is too large to load: 100 x 100 pixels need 1 MB in three picture layers, "
                             "more than the memory limit of 0 MB.");
}

TEST(ReadBmp, HeaderPointingOutsideTheFileIsRefused)
{
    // An unknown header size is read as a core header whose tables lie beyond the file (Qt's reader,
    // failing to seek there, took the pixels from wherever it stood).
    Bytes bytes = bmpFile({12, 3, 2, 24, 0, {}, {}, patternRows(3, 2, 24)});
    for (std::uint32_t size : {0x7FFFFFF0u, 0xFFFFFFF0u}) {
        for (int i = 0; i < 4; ++i) bytes[14 + i] = static_cast<std::uint8_t>(size >> (8 * i));
        const DecodedPicture result = decode(bytes, "h.bmp");
        EXPECT_EQ(result.error, "\"h.bmp\" is not a readable BMP picture: the file ends inside its header.") << size;
        EXPECT_TRUE(result.picture.empty());
    }
}

namespace {

/// The file with its pixels moved gap bytes further on, the header's offset telling where.
Bytes withGapBeforePixels(Bytes bytes, std::size_t gap)
{
    const std::uint32_t offset = bytes[10] | (bytes[11] << 8) | (bytes[12] << 16) | (bytes[13] << 24);
    bytes.insert(bytes.begin() + offset, gap, 0x5A);
    const auto moved = static_cast<std::uint32_t>(offset + gap);
    for (int i = 0; i < 4; ++i) bytes[10 + i] = static_cast<std::uint8_t>(moved >> (8 * i));
    return bytes;
}


}  // namespace

// A file on disk: plain 24-bit files are read straight into the picture band by band, the others
// whole; either way the picture, error and messages are those of the same bytes read from memory.
TEST(ReadBmpFile, GivesWhatTheBytesInMemoryGive)
{
    const fs::path path = fs::temp_directory_path() /
                          ("read_bmp_file_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".bmp");
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes cut = bmpFile({40, 37, 200, 24, 0, {}, {}, patternRows(37, 200, 24)});
    cut.resize(cut.size() - 112 * 70 - 50);  // 129 whole rows of 200 held, the top ones missing
    Bytes mostlyMissing = bmpFile({40, 37, 200, 24, 0, {}, {}, patternRows(37, 200, 24)});
    mostlyMissing.resize(mostlyMissing.size() - 112 * 101);
    const std::vector<Case> cases = {
        {"bottom-up, padded rows, several bands", bmpFile({40, 37, 200, 24, 0, {}, {}, patternRows(37, 200, 24)})},
        {"top-down, V5 header, several bands", bmpFile({124, 40, -150, 24, 0, {}, {}, patternRows(40, -150, 24)})},
        {"one row", bmpFile({40, 5, 1, 24, 0, {}, {}, patternRows(5, 1, 24)})},
        {"rows cut off", cut},
        {"fewer than half the rows held", mostlyMissing},
        {"pixels beyond the first bytes read",
         withGapBeforePixels(bmpFile({40, 9, 70, 24, 0, {}, {}, patternRows(9, 70, 24)}), 70000)},
        {"8 bits, read whole", bmpFile({40, 7, -6, 8, 0, patternPalette(256), {}, patternRows(7, -6, 8)})},
        {"32 bits, read whole", bmpFile({40, 4, 3, 32, 0, {}, {}, patternRows(4, 3, 32)})},
        {"not a BMP", Bytes{'B', 'M', 0, 0}},
        {"empty", Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path, c.bytes);
        const DecodedPicture fromMemory = decode(c.bytes, path.string());
        PictureDecoding decoding(path, PictureKind::Bmp);
        for (const DecodedPicture& fromFile : {decodePictureFile(path, PictureKind::Bmp), decoding.finish()}) {
            EXPECT_EQ(fromFile.error, fromMemory.error);
            EXPECT_EQ(fromFile.messages, fromMemory.messages);
            EXPECT_EQ(fromFile.damaged, fromMemory.damaged);
            EXPECT_TRUE(fromFile.picture == fromMemory.picture);
        }
    }
    // Sizes are checked against the memory limit before the picture is allocated, as from memory.
    writeBytes(path, bmpFile({40, 100, 100, 24, 0, {}, {}, patternRows(100, 100, 24)}));
    setPictureMemoryLimit(pictureLayersBytes(100, 100) - 1);
    const DecodedPicture refused = decodePictureFile(path, PictureKind::Bmp);
    setPictureMemoryLimit(0);
    EXPECT_TRUE(refused.picture.empty());
    EXPECT_NE(refused.error.find("is too large to load: 100 x 100 pixels"), std::string::npos) << refused.error;

    // A file cut short after its header was read fails the reading, rather than leaving rows unread.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    BmpFileDecoding shrinking(file, path.string());
    ASSERT_TRUE(shrinking.start());
    fs::resize_file(path, 5000);
    shrinking.decodeRows(nullptr);
    const DecodedPicture failed = shrinking.finish();
    std::fclose(file);
    EXPECT_EQ(failed.error, "Cannot read \"" + path.string() + "\": Input/output error.");
    EXPECT_TRUE(failed.picture.empty());
    fs::remove(path);
}
