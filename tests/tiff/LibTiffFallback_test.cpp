// TIFF variants our own reader refuses, read through libtiff: files of every variant are written here
// with libtiff itself, and each must load as the picture written (lossless kinds exactly, JPEG as libtiff
// decodes it); on the shared corpus every file gives a picture or a message, and more files give a picture.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>

#include "picture/PictureLoading.h"
#include "picture/PictureMemory.h"
#include "picture/SampleRange.h"
#include "picture/tiff/ReadTiff.h"

namespace fs = std::filesystem;

namespace {

// A picture whose every pixel differs from its neighbours in all three channels.
Picture testPicture(int width, int height) {
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 7 + y * 3);
            p[1] = static_cast<std::uint8_t>(x * 2 + y * 11 + 40);
            p[2] = static_cast<std::uint8_t>(255 - x * 5 - y);
        }
    return picture;
}

struct Variant {
    const char* name;
    const char* mode;  // TIFFOpen's: "w" little-endian, "wb" big-endian, "w8" BigTIFF
    std::uint16_t compression = COMPRESSION_NONE;
    int bits = 8;       // 8 or 16 (16: the value times 257)
    bool grey = false;  // one sample: the picture's green
    bool tiled = false;
    bool planar = false;
    bool exact = true;  // lossless: the picture written comes back exactly
};

std::uint16_t sampleOf(const Picture& picture, int x, int y, int channel, int bits) {
    const std::uint8_t value = picture.row(y)[3 * x + (2 - channel)];  // channel 0 red, 1 green, 2 blue
    return static_cast<std::uint16_t>(bits == 16 ? value * 257 : value);
}

// Writes picture in the variant's form; returns false when libtiff could not.
bool writeVariant(const fs::path& path, const Picture& picture, const Variant& v) {
    TIFF* tif = TIFFOpen(path.c_str(), v.mode);
    if (!tif) return false;
    const int width = picture.width(), height = picture.height();
    const int samples = v.grey ? 1 : 3;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, v.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, v.grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, v.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, v.compression);
    if (v.compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
    const int bytesPerSample = v.bits / 8;
    auto fill = [&](std::vector<std::uint8_t>& buffer, int x0, int y0, int w, int h, int plane) {
        const int perPixel = v.planar ? 1 : samples;
        buffer.assign(static_cast<std::size_t>(w) * h * perPixel * bytesPerSample, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int s = 0; s < perPixel; ++s) {
                    if (x0 + x >= width || y0 + y >= height) continue;  // tile padding stays 0
                    const int channel = v.grey ? 1 : (v.planar ? plane : s);
                    const std::uint16_t value = sampleOf(picture, x0 + x, y0 + y, channel, v.bits);
                    const std::size_t at =
                        ((static_cast<std::size_t>(y) * w + x) * perPixel + s) * bytesPerSample;
                    if (bytesPerSample == 2)
                        std::memcpy(&buffer[at], &value, 2);  // native order: libtiff swaps for "wb"
                    else
                        buffer[at] = static_cast<std::uint8_t>(value);
                }
    };
    const int planes = v.planar ? samples : 1;
    bool ok = true;
    std::vector<std::uint8_t> buffer;
    if (v.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < height; y += 16)
                for (int x = 0; x < width; x += 16) {
                    fill(buffer, x, y, 16, 16, plane);
                    ok = ok &&
                         TIFFWriteTile(tif, buffer.data(), x, y, 0, static_cast<std::uint16_t>(plane)) >= 0;
                }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < height; ++y) {
                fill(buffer, 0, y, width, 1, plane);
                ok = ok && TIFFWriteScanline(tif, buffer.data(), static_cast<std::uint32_t>(y),
                                             static_cast<std::uint16_t>(plane)) >= 0;
            }
    }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return ok;
}

// What libtiff's own RGBA reader makes of the file's first directory, as a 24-bit picture.
Picture libtiffPicture(const fs::path& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return {};
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    Picture picture;
    if (TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 1)) {
        picture.resize(static_cast<int>(width), static_cast<int>(height));
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint32_t p = raster[y * width + x];
                std::uint8_t* out = picture.row(static_cast<int>(y)) + 3 * x;
                out[0] = static_cast<std::uint8_t>(TIFFGetB(p));
                out[1] = static_cast<std::uint8_t>(TIFFGetG(p));
                out[2] = static_cast<std::uint8_t>(TIFFGetR(p));
            }
    }
    TIFFClose(tif);
    return picture;
}

Picture greyOf(const Picture& picture) {
    Picture grey(picture.width(), picture.height());
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t g = picture.row(y)[3 * x + 1];
            std::uint8_t* out = grey.row(y) + 3 * x;
            out[0] = out[1] = out[2] = g;
        }
    return grey;
}

class LibTiffFallback : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("spottally-libtiff-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        setPictureMemoryLimit(0);
        setSampleRange(SampleRange{});
        setPicturePage(0);
    }
    fs::path folder_;
};

}  // namespace

// One row per variant: our reader refuses it (or reads it, for the plain file), the loader shows it.
TEST_F(LibTiffFallback, EveryVariantLoadsAsWritten) {
    const Picture original = testPicture(37, 29);  // not a multiple of the tile or strip size
    setSampleRange(SampleRange{SampleRange::Mode::Full, 0, 65535});  // 16-bit rows: 257 * v gives v back
    const Variant variants[] = {
        {"plain.tif", "w"},
        {"lzw.tif", "w", COMPRESSION_LZW},
        {"deflate.tif", "w", COMPRESSION_ADOBE_DEFLATE},
        {"packbits.tif", "w", COMPRESSION_PACKBITS},
        {"jpeg.tif", "w", COMPRESSION_JPEG, 8, false, false, false, false},
        {"tiled.tif", "w", COMPRESSION_NONE, 8, false, true},
        {"tiled-lzw.tif", "w", COMPRESSION_LZW, 8, false, true},
        {"planar.tif", "w", COMPRESSION_NONE, 8, false, false, true},
        {"planar-tiled-deflate.tif", "w", COMPRESSION_ADOBE_DEFLATE, 8, false, true, true},
        {"bigendian-lzw.tif", "wb", COMPRESSION_LZW},
        {"bigtiff.tif", "w8"},
        {"rgb16.tif", "w", COMPRESSION_NONE, 16},
        {"rgb16-lzw-bigendian.tif", "wb", COMPRESSION_LZW, 16},
        {"grey16-lzw.tif", "w", COMPRESSION_LZW, 16, true},
        {"rgb16-planar-deflate.tif", "w", COMPRESSION_ADOBE_DEFLATE, 16, false, false, true},
        {"rgb16-planar-tiled.tif", "wb", COMPRESSION_NONE, 16, false, true, true},
        {"grey16-tiled.tif", "w", COMPRESSION_NONE, 16, true, true},
        {"grey8-deflate.tif", "w", COMPRESSION_ADOBE_DEFLATE, 8, true},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const fs::path path = folder_ / v.name;
        ASSERT_TRUE(writeVariant(path, original, v));
        const DecodedPicture decoded = decodePictureFile(path, PictureKind::Tiff);
        ASSERT_FALSE(decoded.failed()) << decoded.error;
        EXPECT_TRUE(decoded.messages.empty()) << decoded.messages.front();
        EXPECT_FALSE(decoded.damaged);
        EXPECT_EQ(decoded.mapping.empty(), v.bits == 8) << decoded.mapping;
        const Picture expected = v.exact ? (v.grey ? greyOf(original) : original) : libtiffPicture(path);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(decoded.picture == expected);
        if (!v.exact) {  // lossy JPEG stays close to what was written
            int worst = 0;
            for (int y = 0; y < original.height(); ++y)
                for (std::size_t i = 0; i < original.stride(); ++i)
                    worst = std::max(worst, std::abs(decoded.picture.row(y)[i] - original.row(y)[i]));
            EXPECT_LT(worst, 64);
        }
    }
}

// Several pages: a thumbnail first, then two full-resolution pages; the first full-resolution one loads.
TEST_F(LibTiffFallback, FirstFullResolutionPageOfSeveral) {
    const fs::path path = folder_ / "pages.tif";
    const Picture first = testPicture(20, 10);
    Picture second = testPicture(20, 10);
    for (std::size_t i = 0; i < second.byteCount(); ++i) second.data()[i] ^= 0x5A;
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    auto page = [&](const Picture& picture, bool thumbnail) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, thumbnail ? FILETYPE_REDUCEDIMAGE : 0);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, picture.width());
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, picture.height());
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        std::vector<std::uint8_t> line(picture.stride());
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x)
                for (int c = 0; c < 3; ++c) line[3 * x + c] = picture.row(y)[3 * x + 2 - c];
            TIFFWriteScanline(tif, line.data(), static_cast<std::uint32_t>(y), 0);
        }
        TIFFWriteDirectory(tif);
    };
    page(testPicture(5, 3), true);
    page(first, false);
    page(second, false);
    TIFFClose(tif);
    const DecodedPicture decoded = decodePictureFile(path, PictureKind::Tiff);
    ASSERT_FALSE(decoded.picture.empty());
    EXPECT_TRUE(decoded.picture == first);
    EXPECT_FALSE(decoded.damaged);
    EXPECT_EQ(decoded.pages, 2);
    setPicturePage(2);
    EXPECT_TRUE(decodePictureFile(path, PictureKind::Tiff).picture == second);
    setPicturePage(3);
    const DecodedPicture none = decodePictureFile(path, PictureKind::Tiff);
    EXPECT_TRUE(none.picture.empty());
    ASSERT_FALSE(none.messages.empty());
    EXPECT_NE(none.messages.back().find("has no page 3: it has 2 full-resolution pages"), std::string::npos)
        << none.messages.back();
}

// Past the 65535 directories looked at, the pages are not counted but said to be more: 70,000 pages
// of one pixel are "more than 65535", not 65535.
TEST_F(LibTiffFallback, MorePagesThanAreLookedAtAreSaidToBeMore) {
    const fs::path path = folder_ / "many.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const std::uint8_t pixel[3] = {10, 20, 30};
    for (int page = 0; page < 70000; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 1);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFWriteScanline(tif, const_cast<std::uint8_t*>(pixel), 0, 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    const DecodedPicture decoded = decodePictureFile(path, PictureKind::Tiff);
    ASSERT_FALSE(decoded.picture.empty());
    EXPECT_EQ(decoded.pages, 65535);
    EXPECT_TRUE(decoded.morePages);
}

// 16-bit samples onto 8 bits: a dim 12-bit picture is stretched from its 0.1st to its 99.9th percentile,
// a flat one divides by nothing, and a fixed range is used as given.
TEST_F(LibTiffFallback, SixteenBitMapping) {
    // 100 x 100 grey: values 1000 + x + 10 * y (12-bit, dim), except one hot pixel at 4095 and one at 0.
    const int n = 100;
    std::vector<std::vector<std::uint16_t>> grey(1, std::vector<std::uint16_t>(n * n));
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) grey[0][y * n + x] = static_cast<std::uint16_t>(1000 + x + 10 * y);
    grey[0][5] = 4095;
    grey[0][6] = 0;
    Picture picture(n, n);
    const std::string automatic = mapSamplesTo8Bit(grey, SampleRange{}, picture);
    // 10000 values: the 0.1st percentile is the 11th smallest, the 99.9th the 9991st; the hot pixels
    // lie outside and do not stretch the range.
    EXPECT_NE(automatic.find("grey 1010.."), std::string::npos) << automatic;
    EXPECT_NE(automatic.find("(0.1st to 99.9th percentile)"), std::string::npos) << automatic;
    EXPECT_EQ(picture.row(0)[3 * 6], 0);
    EXPECT_EQ(picture.row(0)[3 * 5], 255);
    EXPECT_EQ(picture.row(n - 1)[3 * (n - 1)], 255);
    EXPECT_GT(picture.row(n / 2)[3 * (n / 2) + 1], 100);  // the middle is mid-grey, not dark
    EXPECT_LT(picture.row(n / 2)[3 * (n / 2) + 1], 160);

    std::vector<std::vector<std::uint16_t>> flat(3, std::vector<std::uint16_t>(n * n, 777));
    const std::string flatMapping = mapSamplesTo8Bit(flat, SampleRange{}, picture);
    EXPECT_NE(flatMapping.find("777..777 over all channels"), std::string::npos) << flatMapping;
    EXPECT_EQ(picture.row(3)[4], 0);
    const std::string flatChannels =
        mapSamplesTo8Bit(flat, SampleRange{SampleRange::Mode::PerChannel, 0, 65535}, picture);
    EXPECT_NE(flatChannels.find("red 777..777"), std::string::npos) << flatChannels;
    EXPECT_EQ(picture.row(3)[4], 0);

    SampleRange fixed;
    ASSERT_TRUE(parseSampleRange("1000,2020", fixed));
    EXPECT_EQ(mapSamplesTo8Bit(grey, fixed, picture), "16-bit samples mapped linearly: 1000..2020");
    EXPECT_EQ(picture.row(0)[0], 0);          // 1000
    EXPECT_EQ(picture.row(2)[3 * 0], 5);      // 1020: 20 * 255 / 1020 = 5
    EXPECT_EQ(picture.row(99)[3 * 99], 255);  // 2089, above the range
    ASSERT_TRUE(parseSampleRange("full", fixed));
    EXPECT_EQ(mapSamplesTo8Bit(grey, fixed, picture),
              "16-bit samples mapped linearly: full range 0..65535 (value / 257)");
    EXPECT_EQ(picture.row(0)[0], (1000 + 128) / 257);
    for (const char* wrong : {"", "2,1", "5,5", "0,65536", "-1,10", "1,", "auto ", "FULL", "1,2,3"})
        EXPECT_FALSE(parseSampleRange(wrong, fixed)) << wrong;
}

// Files neither reader decodes: a clear message, no picture; over the memory limit, nothing allocated.
TEST_F(LibTiffFallback, RefusalsNameWhatIsWrong) {
    const Variant lzw{"big-lzw.tif", "w", COMPRESSION_LZW};
    ASSERT_TRUE(writeVariant(folder_ / lzw.name, testPicture(300, 200), lzw));
    setPictureMemoryLimit(pictureLayersBytes(300, 200) - 1);
    DecodedPicture decoded = decodePictureFile(folder_ / lzw.name, PictureKind::Tiff);
    EXPECT_TRUE(decoded.picture.empty());
    ASSERT_FALSE(decoded.messages.empty());
    EXPECT_NE(decoded.messages.back().find("memory limit"), std::string::npos) << decoded.messages.back();
    setPictureMemoryLimit(0);

    // An LZW file cut in its pixel data: libtiff decodes what is there and the picture is marked damaged.
    const Variant lzwSmall{"cut.tif", "w", COMPRESSION_LZW};
    ASSERT_TRUE(writeVariant(folder_ / "whole.tif", testPicture(64, 64), lzwSmall));
    std::ifstream in(folder_ / "whole.tif", std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // libtiff writes the directory after the pixel data: spoil the middle of the strips instead.
    for (std::size_t i = 200; i < 1200 && i < bytes.size() / 2; ++i) bytes[i] = static_cast<char>(0xFF);
    std::ofstream(folder_ / "spoilt.tif", std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    decoded = decodePictureFile(folder_ / "spoilt.tif", PictureKind::Tiff);
    EXPECT_FALSE(decoded.failed());
    EXPECT_FALSE(decoded.messages.empty());
    if (!decoded.picture.empty()) {
        EXPECT_TRUE(decoded.damaged);
    }

    // Not a TIFF file at all: our reader's message, byte for byte, and nothing more.
    std::ofstream(folder_ / "text.tif") << "hello, not a picture";
    decoded = decodePictureFile(folder_ / "text.tif", PictureKind::Tiff);
    EXPECT_TRUE(decoded.picture.empty());
    ASSERT_EQ(decoded.messages.size(), 1u);
    EXPECT_EQ(decoded.messages[0], "<" + (folder_ / "text.tif").string() + "> is not a valid TIFF file");
}

// The shared corpus: every file gives a picture or a message, and libtiff adds pictures.
TEST_F(LibTiffFallback, CorpusGivesMorePictures) {
    const fs::path corpus = fs::path(SPOTTALLY_SHARED_DATA) / "tiff-corpus";
    if (!fs::is_regular_file(corpus / "INDEX.tsv")) GTEST_SKIP() << "no TIFF corpus at " << corpus;
    int files = 0, ours = 0, loaded = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".tsv") continue;
        ++files;
        if (!ReadTiffToBitmap(entry.path().string()).picture.empty()) ++ours;
        const DecodedPicture decoded = decodePictureFile(entry.path(), PictureKind::Tiff);
        EXPECT_FALSE(decoded.failed()) << entry.path();
        if (!decoded.picture.empty())
            ++loaded;
        else
            EXPECT_FALSE(decoded.messages.empty()) << entry.path();
    }
    std::cout << "TIFF corpus: " << files << " files; our reader alone gives " << ours
              << " pictures, with libtiff " << loaded << "\n";
    EXPECT_GT(loaded, ours);
}
