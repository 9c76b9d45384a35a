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

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
        const Bytes bytes = fileBytes(entry.path());
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
