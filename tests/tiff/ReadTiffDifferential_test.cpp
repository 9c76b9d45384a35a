// Our TIFF reader against libtiff: for every uncompressed strip file of the shared corpus, the pixels we
// decode equal what libtiff's scanlines give under the same colour rules; compressed and malformed files
// give messages and no crash.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "picture/tiff/ReadTiff.h"
#include "picture/tiff/ReadTiffTags.h"

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(SPOTTALLY_SHARED_DATA) / "tiff-corpus";

std::vector<std::uint8_t> fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct IndexRow {
    std::string file, compression, layout;
};

std::vector<IndexRow> readIndex()
{
    std::vector<IndexRow> rows;
    std::ifstream in(kCorpus / "INDEX.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream cellStream(line);
        for (std::string cell; std::getline(cellStream, cell, '\t');) cells.push_back(cell);
        if (cells.size() >= 8) rows.push_back({cells[0], cells[5], cells[7]});
    }
    return rows;
}

template <typename T>
T field(TIFF* tif, ttag_t tag, T fallback)
{
    T value{};
    return TIFFGetField(tif, tag, &value) ? value : fallback;
}

/// The current libtiff directory as this reader must show it, or none when the reader refuses it.
std::optional<Picture> expectedPicture(TIFF* tif, int photometric)
{
    const auto width = field<std::uint32_t>(tif, TIFFTAG_IMAGEWIDTH, 0);
    const auto height = field<std::uint32_t>(tif, TIFFTAG_IMAGELENGTH, 0);
    const auto bits = field<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
    const auto samples = field<std::uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    const auto planar = field<std::uint16_t>(tif, TIFFTAG_PLANARCONFIG, 1);
    // FillOrder 2 is left to libtiff, which reverses the bits of every byte before the scanlines.
    if (field<std::uint16_t>(tif, TIFFTAG_COMPRESSION, 1) != 1 || TIFFIsTiled(tif)) return std::nullopt;
    if (width == 0 || height == 0 || width > 65535 || height > 65535) return std::nullopt;
    const bool rgb = photometric == 2;
    if (rgb ? (bits != 8 || samples != 3 || planar != 1) : (samples != 1 || (bits != 1 && bits != 4 && bits != 8)))
        return std::nullopt;
    // This reader does not apply the 8-bit colour map heuristic: the map's high bytes are the colours.
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (photometric == 3 && !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) return std::nullopt;

    Picture picture(static_cast<int>(width), static_cast<int>(height));
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return std::nullopt;
        for (std::uint32_t x = 0; x < width; ++x) {
            if (rgb) {
                picture.setPixel(x, y, rgbColour(line[3 * x], line[3 * x + 1], line[3 * x + 2]));
                continue;
            }
            int index = bits == 8 ? line[x]
                        : bits == 4 ? (line[x / 2] >> ((x % 2) ? 0 : 4)) & 15
                                    : (line[x / 8] >> (7 - x % 8)) & 1;
            if (photometric == 3) {
                picture.setPixel(x, y, rgbColour(red[index] >> 8, green[index] >> 8, blue[index] >> 8));
                continue;
            }
            int level = bits == 8 ? index : bits == 4 ? index * 17 : index * 255;
            if (photometric == 0) level = 255 - level;
            picture.setPixel(x, y, rgbColour(level, level, level));
        }
    }
    return picture;
}

struct LibtiffView {
    bool opened = false;
    std::optional<Picture> last;  // the directory the dispatch must keep: the last full-resolution one
                                  // that decodes, else the last reduced-resolution one
};

LibtiffView decodeWithLibtiff(const fs::path& path)
{
    LibtiffView view;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return view;
    view.opened = true;
    int directories = 0;
    std::optional<Picture> lastFull, lastReduced;
    do {
        std::uint16_t photometric = 0;
        // A missing or unknown photometric interpretation ends our decode: stop here as well.
        if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || photometric > 3) break;
        const bool reduced = field<std::uint32_t>(tif, TIFFTAG_SUBFILETYPE, 0) & FILETYPE_REDUCEDIMAGE;
        if (auto picture = expectedPicture(tif, photometric)) (reduced ? lastReduced : lastFull) = std::move(picture);
    } while (++directories < 256 && TIFFReadDirectory(tif));
    TIFFClose(tif);
    view.last = lastFull ? std::move(lastFull) : std::move(lastReduced);
    return view;
}

class DifferentialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::is_regular_file(kCorpus / "INDEX.tsv")) GTEST_SKIP() << "no TIFF corpus at " << kCorpus;
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    }
};

}  // namespace

TEST_F(DifferentialTest, UncompressedStripFilesMatchLibtiff)
{
    int compared = 0, matched = 0;
    for (const IndexRow& row : readIndex()) {
        if (row.compression.rfind("none(1)", 0) != 0 || row.layout.rfind("strips", 0) != 0) continue;
        const fs::path path = kCorpus / row.file;
        const auto bytes = fileBytes(path);
        const TiffResult ours = ReadTiffFromMemory(bytes.data(), bytes.size(), row.file);
        if (bytes.size() >= 4 && (bytes[2] == 43 || bytes[3] == 43)) {  // BigTIFF: not read here
            EXPECT_EQ(ours.messages, std::vector<std::string>{"<" + row.file + "> is not a valid TIFF file"});
            continue;
        }
        const LibtiffView theirs = decodeWithLibtiff(path);
        if (!theirs.opened || !theirs.last) {
            // libtiff cannot read it, or it holds nothing we decode: we must still show or say something.
            TFileTiff tiff;
            tiff.ReadFromMemory(bytes.data(), bytes.size(), row.file);
            EXPECT_TRUE(!ours.picture.empty() || !ours.messages.empty() || (tiff.Valid() && tiff.Count() == 0))
                << row.file;
            continue;
        }
        ++compared;
        EXPECT_EQ(ours.picture.width(), theirs.last->width()) << row.file;
        EXPECT_EQ(ours.picture.height(), theirs.last->height()) << row.file;
        if (ours.picture == *theirs.last)
            ++matched;
        else
            ADD_FAILURE() << row.file << " differs from libtiff";
    }
    std::cout << "compared with libtiff: " << compared << " files, " << matched << " equal\n";
    EXPECT_GT(compared, 40);
}

TEST_F(DifferentialTest, CompressedFilesAreRefusedWithAMessage)
{
    int compressedMessages = 0;
    for (const IndexRow& row : readIndex()) {
        if (row.compression.rfind("none(1)", 0) == 0 || row.compression.find(';') != std::string::npos) continue;
        const auto bytes = fileBytes(kCorpus / row.file);
        const TiffResult ours = ReadTiffFromMemory(bytes.data(), bytes.size(), row.file);
        EXPECT_FALSE(ours.messages.empty()) << row.file;
        EXPECT_TRUE(ours.picture.empty()) << row.file;
        for (const auto& message : ours.messages)
            if (message.rfind("Cant read compressed", 0) == 0) {
                EXPECT_NE(message.find(TiffText::CompressedTail), std::string::npos) << row.file;
                ++compressedMessages;
            }
    }
    EXPECT_GT(compressedMessages, 50);
}

TEST_F(DifferentialTest, EveryCorpusFileGivesAPictureOrAMessage)
{
    for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".tsv") continue;
        const auto bytes = fileBytes(entry.path());
        const TiffResult ours = ReadTiffFromMemory(bytes.data(), bytes.size(), entry.path().string());
        TFileTiff tiff;
        tiff.ReadFromMemory(bytes.data(), bytes.size(), "");
        EXPECT_TRUE(!ours.picture.empty() || !ours.messages.empty() || (tiff.Valid() && tiff.Count() == 0))
            << entry.path();
    }
}

TEST(FuzzRegression, InputsGiveAPictureOrAMessage)
{
    const fs::path corpus = fs::path(SPOTTALLY_SOURCE_DIR) / "tests/fuzz/corpus/tiff";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no regression corpus";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const auto bytes = fileBytes(entry.path());
        const TiffResult ours = ReadTiffFromMemory(bytes.data(), bytes.size(), "f.tif");
        TFileTiff tiff;
        tiff.ReadFromMemory(bytes.data(), bytes.size(), "f.tif");
        // Only a sound header with an empty directory chain may end without either.
        EXPECT_TRUE(!ours.picture.empty() || !ours.messages.empty() || (tiff.Valid() && tiff.Count() == 0))
            << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0);
}
