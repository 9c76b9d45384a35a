#include "picture/PictureLoading.h"
#include "picture/PictureMemory.h"
#include "picture/SampleRange.h"

#include "support/TestPictures.h"
#include "support/TiffWriter.h"

#include <QImage>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// ---- helpers -----------------------------------------------------------------------------------

bool toolAvailable(const std::string& tool)
{
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string shellQuoted(const fs::path& path) { return "'" + path.string() + "'"; }

/// Smooth colour ramps with deterministic noise and a few sharp dots: exercises every DCT band.
Picture testPicture(int width, int height)
{
    Picture picture(width, height);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 27) - 16;
            const bool dot = (x % 11 == 3) && (y % 7 == 2);
            const int blue = std::clamp(x * 255 / std::max(1, width - 1) + noise, 0, 255);
            const int green = dot ? 255 : std::clamp(y * 200 / std::max(1, height) + noise, 0, 255);
            row[3 * x + 0] = static_cast<std::uint8_t>(blue);
            row[3 * x + 1] = static_cast<std::uint8_t>(green);
            row[3 * x + 2] = static_cast<std::uint8_t>(dot ? 20 : ((x + y) * 3) & 0xFF);
        }
    }
    return picture;
}

void writePpm(const Picture& picture, const fs::path& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width() << ' ' << picture.height() << "\n255\n";
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x) {
            const char rgb[3] = {static_cast<char>(row[3 * x + 2]), static_cast<char>(row[3 * x + 1]),
                                 static_cast<char>(row[3 * x])};
            out.write(rgb, 3);
        }
    }
}

/// A binary PGM or PPM with maxval 255, as djpeg writes them.
struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> samples;
};

bool readPnm(const fs::path& path, Pnm& pnm)
{
    const std::vector<std::uint8_t> bytes = readBytes(path);
    std::size_t at = 0;
    const auto token = [&]() {
        std::string text;
        while (at < bytes.size()) {
            const char c = static_cast<char>(bytes[at]);
            if (c == '#') {
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++at;
                if (!text.empty()) break;
            } else {
                text += c;
                ++at;
            }
        }
        return text;
    };
    const std::string magic = token();
    pnm.channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    pnm.width = std::atoi(token().c_str());
    pnm.height = std::atoi(token().c_str());
    if (pnm.channels == 0 || token() != "255") return false;
    const std::size_t size = std::size_t(pnm.width) * pnm.height * pnm.channels;
    if (bytes.size() - at != size) return false;
    pnm.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    return true;
}

/// Decodes jpeg with our loader and with djpeg -dct int; every byte must agree.
void expectEqualsDjpeg(const fs::path& jpeg, const fs::path& scratch)
{
    SCOPED_TRACE(jpeg.string());
    const DecodedPicture ours = decodePictureFile(jpeg, PictureKind::Jpeg);
    ASSERT_FALSE(ours.failed()) << ours.error;
    const fs::path reference = scratch / (jpeg.stem().string() + ".pnm");
    const std::string command =
        "djpeg -dct int -ppm -outfile " + shellQuoted(reference) + " " + shellQuoted(jpeg) + " 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2);  // 2: finished with warnings
    Pnm pnm;
    ASSERT_TRUE(readPnm(reference, pnm));
    ASSERT_EQ(ours.picture.width(), pnm.width);
    ASSERT_EQ(ours.picture.height(), pnm.height);
    long differences = 0;
    std::string first;
    for (int y = 0; y < pnm.height; ++y) {
        const std::uint8_t* row = ours.picture.row(y);
        for (int x = 0; x < pnm.width; ++x) {
            const std::uint8_t* sample = pnm.samples.data() + (std::size_t(y) * pnm.width + x) * pnm.channels;
            const int red = sample[0];
            const int green = pnm.channels == 3 ? sample[1] : sample[0];
            const int blue = pnm.channels == 3 ? sample[2] : sample[0];
            if (row[3 * x] != blue || row[3 * x + 1] != green || row[3 * x + 2] != red) {
                if (differences++ == 0)
                    first = "first at " + std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    EXPECT_EQ(differences, 0) << first;
}

class PictureLoadingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int serial = 0;
        folder_ = fs::temp_directory_path() /
                  ("spottally_loading_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    fs::path file(const std::string& name) const { return folder_ / name; }

    /// A JPEG of picture written by cjpeg with the given options (skips the test when cjpeg is absent).
    fs::path cjpegFile(const Picture& picture, const std::string& name, const std::string& options)
    {
        const fs::path ppm = file(name + ".ppm");
        const fs::path jpeg = file(name + ".jpg");
        writePpm(picture, ppm);
        const std::string command =
            "cjpeg -quality 85 " + options + " -outfile " + shellQuoted(jpeg) + " " + shellQuoted(ppm);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return jpeg;
    }

    fs::path folder_;
};

// ---- choosing the decoder --------------------------------------------------------------------

TEST(PictureKindForName, OwnLastSuffixInAnyCase)
{
    struct Row {
        const char* name;
        PictureKind kind;
    };
    const Row rows[] = {
        {"photo.jpg", PictureKind::Jpeg},
        {"photo.JPG", PictureKind::Jpeg},
        {"photo.Jpg", PictureKind::Jpeg},
        {"photo.jpeg", PictureKind::Jpeg},
        {"photo.JPEG", PictureKind::Jpeg},
        {"photo.jpe", PictureKind::Jpeg},
        {"CLIPBOARD.jpg", PictureKind::Jpeg},
        {"scan.BMP", PictureKind::Bmp},
        {"scan.bmp", PictureKind::Bmp},
        {"filter.TIF", PictureKind::Tiff},
        {"filter.tif", PictureKind::Tiff},
        {"filter.tiff", PictureKind::Tiff},
        {"filter.Tiff", PictureKind::Tiff},
        {"picture.png", PictureKind::Png},
        {"picture.PNG", PictureKind::Png},
        {"photo.jpg.bmp", PictureKind::Bmp},  // the last suffix decides
        {"scan.tif.jpg", PictureKind::Jpeg},
        {"photo.jpg.txt", PictureKind::None},
        {"/data/run7/plate.jpg", PictureKind::Jpeg},
        {"pics.jpg/photo.jpg", PictureKind::Jpeg},  // a folder's name does not count ...
        {"pics.jpg/photo", PictureKind::None},      // ... for the files in it either
        {"pics.jpg/", PictureKind::None},
        {"C:\\pics\\photo.JPG", PictureKind::Jpeg},  // no folder: '\\' is part of the name
        {"scan 12:30:45.jpg", PictureKind::Jpeg},
        {"photo.gif", PictureKind::None},
        {"photo.jpgx", PictureKind::None},
        {"photo.jp", PictureKind::None},
        {"photo.jpg ", PictureKind::None},
        {"photo.", PictureKind::None},
        {"abc", PictureKind::None},  // no suffix at all
        {"jpg", PictureKind::None},
        {"", PictureKind::None},
    };
    for (const Row& row : rows)
        EXPECT_EQ(pictureKindForName(row.name), row.kind) << '"' << row.name << '"';
    EXPECT_EQ(readablePicturePatterns(), "*.jpg;*.jpeg;*.jpe;*.bmp;*.tif;*.tiff;*.png");
}

TEST(NamePart, OnlySlashSeparatesFolders)
{
    const std::pair<const char*, const char*> rows[] = {
        {"/home/lab/photo.jpg", "photo.jpg"},
        {"CLIPBOARD.jpg", "CLIPBOARD.jpg"},
        {"pics/", ""},
        {"scan 12:30:45.jpg", "scan 12:30:45.jpg"},
        {"/data/scan 12:30:45.jpg", "scan 12:30:45.jpg"},
        {"C:\\pics\\photo.jpg", "C:\\pics\\photo.jpg"},
        {"a/b\\c:d.bmp", "b\\c:d.bmp"},
    };
    for (const auto& [path, name] : rows) EXPECT_EQ(namePart(path), name) << path;
}

TEST(DecodePictureFile, NoneDecodesNothingAndTiffReportsInMessages)
{
    DecodedPicture result = decodePictureFile("/no/such/file.tif", PictureKind::None);
    EXPECT_FALSE(result.failed());
    EXPECT_TRUE(result.picture.empty());
    EXPECT_TRUE(result.messages.empty());
    // A TIFF that cannot be read never fails the load: an empty picture and the reader's message.
    result = decodePictureFile("/no/such/file.tif", PictureKind::Tiff);
    EXPECT_FALSE(result.failed());
    EXPECT_TRUE(result.picture.empty());
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0], "</no/such/file.tif> is not a valid TIFF file");
    EXPECT_FALSE(std::filesystem::exists("/no/such/file.tif"));
}

// ---- JPEG: equal to djpeg ----------------------------------------------------------------------

TEST_F(PictureLoadingTest, JpegFromCjpegEqualsDjpeg)
{
    if (!toolAvailable("djpeg") || !toolAvailable("cjpeg")) GTEST_SKIP() << "djpeg/cjpeg not installed";
    struct Row {
        const char* name;
        int width, height;
        const char* options;
    };
    const Row rows[] = {
        {"c420_17x9", 17, 9, "-sample 2x2"},       {"c420_64x48", 64, 48, "-sample 2x2"},
        {"c444_17x9", 17, 9, "-sample 1x1"},       {"c444_33x65", 33, 65, "-sample 1x1"},
        {"c422_31x17", 31, 17, "-sample 2x1"},     {"c440_31x17", 31, 17, "-sample 1x2"},
        {"grey_17x9", 17, 9, "-grayscale"},        {"grey_1x1", 1, 1, "-grayscale"},
        {"c420_1x1", 1, 1, "-sample 2x2"},         {"prog_97x61", 97, 61, "-progressive"},
        {"restart_40x40", 40, 40, "-restart 1"},   {"rgb_19x11", 19, 11, "-rgb"},
        {"arith_23x13", 23, 13, "-arithmetic"},    {"optim_300x200", 300, 200, "-optimize -sample 2x2"},
    };
    for (const Row& row : rows)
        expectEqualsDjpeg(cjpegFile(testPicture(row.width, row.height), row.name, row.options), folder_);
}

TEST_F(PictureLoadingTest, JpegFromWriteJpegFileEqualsDjpeg)
{
    if (!toolAvailable("djpeg")) GTEST_SKIP() << "djpeg not installed";
    for (const auto& [width, height] : {std::pair{17, 9}, {257, 131}, {2, 1}}) {
        const fs::path path = file("ours_" + std::to_string(width) + "x" + std::to_string(height) + ".jpg");
        ASSERT_EQ(writeJpegFile(testPicture(width, height), path), "");
        expectEqualsDjpeg(path, folder_);
    }
}

// A cut progressive file: block smoothing works on incomplete coefficients, the picture is kept.
TEST_F(PictureLoadingTest, TruncatedProgressiveJpegKeepsPictureLikeDjpeg)
{
    if (!toolAvailable("djpeg") || !toolAvailable("cjpeg")) GTEST_SKIP() << "djpeg/cjpeg not installed";
    const fs::path whole = cjpegFile(testPicture(160, 120), "whole", "-progressive");
    std::vector<std::uint8_t> bytes = readBytes(whole);
    bytes.resize(bytes.size() * 2 / 3);
    const fs::path cut = file("cut.jpg");
    writeBytes(cut, bytes);
    expectEqualsDjpeg(cut, folder_);
    const DecodedPicture result = decodePictureFile(cut, PictureKind::Jpeg);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_NE(result.messages[0].find("cut.jpg"), std::string::npos) << result.messages[0];
    EXPECT_NE(result.messages[0].find("Premature end of JPEG file"), std::string::npos) << result.messages[0];
}

TEST_F(PictureLoadingTest, GreyscaleJpegBecomesColourWithEqualChannels)
{
    if (!toolAvailable("cjpeg")) GTEST_SKIP() << "cjpeg not installed";
    const fs::path grey = cjpegFile(testPicture(23, 15), "grey", "-grayscale");
    const DecodedPicture result = decodePictureFile(grey, PictureKind::Jpeg);
    ASSERT_FALSE(result.failed()) << result.error;
    ASSERT_EQ(result.picture.width(), 23);
    ASSERT_EQ(result.picture.height(), 15);
    bool anyNonBlack = false;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 23; ++x) {
            const std::uint32_t colour = result.picture.pixel(x, y);
            ASSERT_EQ(colourRed(colour), colourGreen(colour)) << x << "," << y;
            ASSERT_EQ(colourRed(colour), colourBlue(colour)) << x << "," << y;
            anyNonBlack |= colour != 0;
        }
    EXPECT_TRUE(anyNonBlack);
}

TEST_F(PictureLoadingTest, RecycledBufferGivesSamePicture)
{
    ASSERT_EQ(writeJpegFile(testPicture(50, 40), file("a.jpg")), "");
    const DecodedPicture fresh = decodePictureFile(file("a.jpg"), PictureKind::Jpeg);
    ASSERT_FALSE(fresh.failed()) << fresh.error;
    for (const auto& [width, height] : {std::pair{100, 100}, {10, 10}, {50, 40}}) {
        Picture spare(width, height);
        std::fill(spare.data(), spare.data() + spare.byteCount(), std::uint8_t{0x5A});  // stale contents
        const std::uint8_t* before = spare.data();
        const DecodedPicture recycled = decodePictureFile(file("a.jpg"), PictureKind::Jpeg, std::move(spare));
        ASSERT_FALSE(recycled.failed()) << recycled.error;
        EXPECT_EQ(recycled.picture, fresh.picture) << width << "x" << height;
        if (width * height >= 50 * 40) {
            EXPECT_EQ(recycled.picture.data(), before);  // no new buffer
        }
    }
    Picture spare(60, 60);
    const DecodedPicture failed = decodePictureFile(file("none.jpg"), PictureKind::Jpeg, std::move(spare));
    EXPECT_TRUE(failed.failed());
    EXPECT_TRUE(failed.picture.empty());
}

// A loading the user cancels: the hook hears of the decoding band by band (a JPEG, baseline or
// progressive) or once at the end (the other kinds); a stop anywhere gives no picture, no messages and
// no error, only cancelled. Never stopped, the picture is the one decoded without a hook.
TEST_F(PictureLoadingTest, ProgressHookFollowsTheDecodingAndItsStopLeavesNothing)
{
    const Picture source = testPicture(640, 480);
    ASSERT_EQ(writeJpegFile(source, file("baseline.jpg")), "");
    std::vector<std::pair<fs::path, PictureKind>> files{{file("baseline.jpg"), PictureKind::Jpeg}};
    if (toolAvailable("cjpeg")) files.emplace_back(cjpegFile(source, "progressive", "-progressive"), PictureKind::Jpeg);
    ASSERT_TRUE(QImage(reinterpret_cast<const uchar*>(source.data()), source.width(), source.height(),
                       static_cast<qsizetype>(source.stride()), QImage::Format_BGR888)
                    .save(QString::fromStdString(file("plain.bmp").string()), "BMP"));
    files.emplace_back(file("plain.bmp"), PictureKind::Bmp);
    for (const auto& [path, kind] : files) {
        SCOPED_TRACE(path.filename().string());
        const DecodedPicture plain = decodePictureFile(path, kind);
        ASSERT_FALSE(plain.failed()) << plain.error;
        std::int64_t calls = 0;
        double lastShare = 0;
        bool ordered = true;
        const DecodedPicture followed = decodePictureFile(path, kind, [&](std::int64_t done, std::int64_t total) {
            const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : -1;
            ordered = ordered && share >= lastShare && share <= 1;
            lastShare = share;
            ++calls;
            return true;
        });
        EXPECT_FALSE(followed.cancelled);
        EXPECT_EQ(followed.picture, plain.picture);
        EXPECT_TRUE(ordered);
        EXPECT_EQ(lastShare, 1.0);
        if (kind == PictureKind::Jpeg) {
            EXPECT_GE(calls, 480 / 16) << "about one call per band of rows";
        }

        for (const std::int64_t stopAtCall : {std::int64_t{1}, std::max<std::int64_t>(1, calls / 2), calls}) {
            std::int64_t call = 0;
            const DecodedPicture stopped = decodePictureFile(path, kind, [&](std::int64_t, std::int64_t) {
                return ++call < stopAtCall;
            });
            EXPECT_TRUE(stopped.cancelled) << stopAtCall;
            EXPECT_TRUE(stopped.picture.empty());
            EXPECT_TRUE(stopped.messages.empty());
            EXPECT_FALSE(stopped.failed());
            EXPECT_EQ(call, stopAtCall) << "not asked again after a stop";
        }
    }
}

// ---- JPEG: failures ----------------------------------------------------------------------------

/// Offset of the first SOFn marker's height field, or 0.
std::size_t frameHeightOffset(const std::vector<std::uint8_t>& jpeg)
{
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
    return 0;
}

TEST_F(PictureLoadingTest, BrokenJpegFilesFailWithFileAndReason)
{
    ASSERT_EQ(writeJpegFile(testPicture(40, 30), file("good.jpg")), "");
    const std::vector<std::uint8_t> good = readBytes(file("good.jpg"));
    const std::size_t heightAt = frameHeightOffset(good);
    ASSERT_GT(heightAt, 0u);

    std::vector<std::uint8_t> zeroHeight = good;
    zeroHeight[heightAt] = zeroHeight[heightAt + 1] = 0;
    std::vector<std::uint8_t> huge = good;  // 65000 x 65000: refused before any allocation
    for (std::size_t at : {heightAt, heightAt + 2}) {
        huge[at] = 0xFD;
        huge[at + 1] = 0xE8;
    }
    const std::string text = "this is a text file, not a picture\n";
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool create;
        const char* reason;
    };
    const Row rows[] = {
        {"text.jpg", {text.begin(), text.end()}, true, "Not a JPEG file"},
        {"empty.jpg", {}, true, "Empty input file"},
        {"header_only.jpg", {good.begin(), good.begin() + 20}, true, "no image"},
        {"zero_height.jpg", zeroHeight, true, "Empty JPEG image"},
        {"huge.jpg", huge, true, "too large"},
        {"missing.jpg", {}, false, "No such file or directory"},
        {"folder.jpg", {}, false, "Is a directory"},
    };
    fs::create_directory(file("folder.jpg"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.create) writeBytes(file(row.name), row.bytes);
        const DecodedPicture result = decodePictureFile(file(row.name), PictureKind::Jpeg);
        EXPECT_TRUE(result.failed());
        EXPECT_TRUE(result.picture.empty());
        EXPECT_NE(result.error.find(file(row.name).string()), std::string::npos) << result.error;
        EXPECT_NE(result.error.find(row.reason), std::string::npos) << result.error;
    }
    EXPECT_FALSE(fs::exists(file("missing.jpg")));  // reading never creates a file
}

/// Start and end of the last scan (SOS segment and its entropy-coded data) of a JPEG file.
std::pair<std::size_t, std::size_t> lastScan(const std::vector<std::uint8_t>& jpeg)
{
    std::pair<std::size_t, std::size_t> scan{0, 0};
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xD9) {
        const std::size_t start = at;
        at += 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
        if (jpeg[start + 1] != 0xDA) continue;
        while (at + 1 < jpeg.size() &&
               !(jpeg[at] == 0xFF && jpeg[at + 1] != 0x00 && (jpeg[at + 1] < 0xD0 || jpeg[at + 1] > 0xD7)))
            ++at;
        scan = {start, at};
    }
    return scan;
}

// A file that repeats a scan hundreds of times would keep the decoder busy for minutes at full size.
TEST_F(PictureLoadingTest, EndlessProgressiveScansAreRefused)
{
    if (!toolAvailable("cjpeg")) GTEST_SKIP() << "cjpeg not installed";
    std::vector<std::uint8_t> bytes = readBytes(cjpegFile(testPicture(32, 32), "prog", "-progressive"));
    const auto [start, end] = lastScan(bytes);
    ASSERT_GT(end, start);
    const std::vector<std::uint8_t> scan(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(end));
    for (int i = 0; i < 600; ++i)
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(end), scan.begin(), scan.end());
    writeBytes(file("scans.jpg"), bytes);
    const DecodedPicture result = decodePictureFile(file("scans.jpg"), PictureKind::Jpeg);
    EXPECT_TRUE(result.failed());
    EXPECT_TRUE(result.picture.empty());
    EXPECT_NE(result.error.find("more than 500 progressive scans"), std::string::npos) << result.error;
}

TEST_F(PictureLoadingTest, DamagedDataStillGivesWholePicture)
{
    ASSERT_EQ(writeJpegFile(testPicture(64, 64), file("good.jpg")), "");
    std::vector<std::uint8_t> bytes = readBytes(file("good.jpg"));
    // Junk before the quantisation tables: libjpeg skips it and warns, as djpeg does.
    std::size_t tables = 2;
    while (tables + 1 < bytes.size() && !(bytes[tables] == 0xFF && bytes[tables + 1] == 0xDB)) ++tables;
    ASSERT_LT(tables + 1, bytes.size());
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(tables), {0x00, 0x11, 0x22, 0x33, 0x44});
    writeBytes(file("damaged.jpg"), bytes);
    const DecodedPicture result = decodePictureFile(file("damaged.jpg"), PictureKind::Jpeg);
    ASSERT_FALSE(result.failed()) << result.error;
    EXPECT_EQ(result.picture.width(), 64);
    EXPECT_EQ(result.picture.height(), 64);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_NE(result.messages[0].find("damaged.jpg"), std::string::npos);
    EXPECT_NE(result.messages[0].find("5 extraneous bytes"), std::string::npos) << result.messages[0];
}

// ---- JPEG writing ------------------------------------------------------------------------------

TEST_F(PictureLoadingTest, WrittenJpegIsBaselineAndCloseToPicture)
{
    const Picture picture = testPicture(120, 80);
    ASSERT_EQ(writeJpegFile(picture, file("out.jpg")), "");
    const std::vector<std::uint8_t> bytes = readBytes(file("out.jpg"));
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
    EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
    const std::size_t heightAt = frameHeightOffset(bytes);
    ASSERT_GT(heightAt, 0u);
    EXPECT_EQ(bytes[heightAt - 4], 0xC0);  // SOF0: baseline
    EXPECT_EQ(bytes[heightAt + 4], 3);     // three components

    const DecodedPicture back = decodePictureFile(file("out.jpg"), PictureKind::Jpeg);
    ASSERT_FALSE(back.failed()) << back.error;
    ASSERT_EQ(back.picture.width(), 120);
    ASSERT_EQ(back.picture.height(), 80);
    // Channel order survives: mean of each channel stays close (noise and chroma subsampling blur pixels).
    for (int channel = 0; channel < 3; ++channel) {
        double original = 0, decoded = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 120; ++x) {
                original += picture.row(y)[3 * x + channel];
                decoded += back.picture.row(y)[3 * x + channel];
            }
        EXPECT_NEAR(original / 9600, decoded / 9600, 2.0) << "channel " << channel;
    }

    const Picture red = [] {
        Picture p(16, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) p.setPixel(x, y, rgbColour(250, 10, 10));
        return p;
    }();
    ASSERT_EQ(writeJpegFile(red, file("red.jpg")), "");
    const DecodedPicture redBack = decodePictureFile(file("red.jpg"), PictureKind::Jpeg);
    ASSERT_FALSE(redBack.failed());
    EXPECT_NEAR(colourRed(redBack.picture.pixel(8, 8)), 250, 4);
    EXPECT_NEAR(colourBlue(redBack.picture.pixel(8, 8)), 10, 4);
}

TEST_F(PictureLoadingTest, WriteFailuresNameFileAndLeaveNothing)
{
    const fs::path noFolder = file("no_such_folder") / "out.jpg";
    const std::string error = writeJpegFile(testPicture(8, 8), noFolder);
    EXPECT_NE(error.find(noFolder.string()), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(noFolder));

    const std::string emptyError = writeJpegFile(Picture(), file("empty.jpg"));
    EXPECT_NE(emptyError.find("no picture"), std::string::npos) << emptyError;
    EXPECT_FALSE(fs::exists(file("empty.jpg")));

    // Too wide for JPEG: libjpeg refuses after the file was opened; the file is removed again.
    const std::string wideError = writeJpegFile(Picture(70000, 1), file("wide.jpg"));
    EXPECT_NE(wideError.find("65500"), std::string::npos) << wideError;
    EXPECT_FALSE(fs::exists(file("wide.jpg")));
}

// ---- BMP ---------------------------------------------------------------------------------------

/// A bottom-up 32-bit BI_RGB BMP, written by hand (Qt saves 32-bit pictures as 24-bit BMPs).
std::vector<std::uint8_t> bmp32(const Picture& picture)
{
    std::vector<std::uint8_t> bytes;
    const auto put = [&](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const std::uint32_t pixelBytes = 4u * picture.width() * picture.height();
    bytes.push_back('B');
    bytes.push_back('M');
    put(54 + pixelBytes, 4), put(0, 4), put(54, 4);
    put(40, 4), put(picture.width(), 4), put(picture.height(), 4), put(1, 2), put(32, 2), put(0, 4);
    put(pixelBytes, 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    for (int y = picture.height() - 1; y >= 0; --y)
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* p = picture.row(y) + 3 * x;
            bytes.insert(bytes.end(), {p[0], p[1], p[2], 0x80});
        }
    return bytes;
}

TEST_F(PictureLoadingTest, BmpOf8And32BitsEnds24Bit)
{
    // 8 bits: a palette picture saved by Qt.
    constexpr int kColours = 40;  // more than 16: Qt then writes 8 bits per pixel
    QImage indexed(13, 7, QImage::Format_Indexed8);
    indexed.setColorCount(kColours);
    for (int i = 0; i < kColours; ++i) indexed.setColor(i, qRgb(6 * i, 255 - 3 * i, (i * 37) & 0xFF));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) indexed.setPixel(x, y, static_cast<uint>((x + 5 * y) % kColours));
    ASSERT_TRUE(indexed.save(QString::fromStdString(file("p8.bmp").string()), "BMP"));
    ASSERT_EQ(readBytes(file("p8.bmp")).at(28), 8);  // bits per pixel in the file header

    const DecodedPicture eight = decodePictureFile(file("p8.bmp"), PictureKind::Bmp);
    ASSERT_FALSE(eight.failed()) << eight.error;
    ASSERT_EQ(eight.picture.width(), 13);
    ASSERT_EQ(eight.picture.height(), 7);
    EXPECT_EQ(eight.picture.stride(), 39u);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) {
            const int i = (x + 5 * y) % kColours;
            EXPECT_EQ(eight.picture.pixel(x, y), rgbColour(6 * i, 255 - 3 * i, (i * 37) & 0xFF))
                << x << "," << y;
        }

    // 32 bits: the fourth byte is dropped, the rows come out top-down.
    const Picture source = testPicture(9, 5);
    writeBytes(file("p32.BMP"), bmp32(source));
    const DecodedPicture thirtyTwo = decodePictureFile(file("p32.BMP"), PictureKind::Bmp);
    ASSERT_FALSE(thirtyTwo.failed()) << thirtyTwo.error;
    EXPECT_EQ(thirtyTwo.picture, source);
}

TEST_F(PictureLoadingTest, PngOfEveryLayoutEnds24BitAndOtherContentIsRefused)
{
    QImage colour(11, 6, QImage::Format_ARGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 11; ++x) colour.setPixel(x, y, qRgba(x * 23, y * 40, 200 - x * 9, 255 - x));
    struct Layout {
        const char* name;
        QImage image;
    };
    const Layout layouts[] = {
        {"rgb.png", colour.convertToFormat(QImage::Format_RGB888)},
        {"alpha.PNG", colour},  // colour values as stored, transparency dropped
        {"grey.png", colour.convertToFormat(QImage::Format_Grayscale8)},
        {"deep.png", colour.convertToFormat(QImage::Format_RGBA64)},
        {"palette.png", colour.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        ASSERT_TRUE(layout.image.save(QString::fromStdString(file(layout.name).string()), "PNG"));
        ASSERT_EQ(pictureKindForName(layout.name), PictureKind::Png);
        // 16 bits a sample are mapped by the chosen range: the full range gives the 8-bit values back.
        setSampleRange(SampleRange{SampleRange::Mode::Full, 0, 65535});
        const DecodedPicture result = decodePictureFile(file(layout.name), PictureKind::Png);
        setSampleRange(SampleRange{});
        ASSERT_FALSE(result.failed()) << result.error;
        EXPECT_EQ(result.mapping.empty(), std::string(layout.name) != "deep.png") << result.mapping;
        ASSERT_EQ(result.picture.width(), 11);
        ASSERT_EQ(result.picture.height(), 6);
        EXPECT_EQ(result.picture.stride(), 33u);
        const QImage stored(QString::fromStdString(file(layout.name).string()), "PNG");
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 11; ++x) {
                const QRgb pixel = stored.pixel(x, y);
                EXPECT_EQ(result.picture.pixel(x, y), rgbColour(qRed(pixel), qGreen(pixel), qBlue(pixel)))
                    << x << "," << y;
            }
    }
    // A .png name must hold PNG content: a BMP or a JPEG under that name is refused, naming the file.
    writeBytes(file("bmp.png"), bmp32(testPicture(4, 4)));
    ASSERT_EQ(writeJpegFile(testPicture(8, 8), file("jpeg.png")), "");
    for (const char* name : {"bmp.png", "jpeg.png", "missing.png"}) {
        SCOPED_TRACE(name);
        const DecodedPicture result = decodePictureFile(file(name), PictureKind::Png);
        EXPECT_TRUE(result.failed());
        EXPECT_TRUE(result.picture.empty());
        EXPECT_NE(result.error.find(file(name).string()), std::string::npos) << result.error;
    }
}

TEST_F(PictureLoadingTest, BrokenBmpFilesFailWithFileAndReason)
{
    writeBytes(file("text.bmp"), {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
    std::vector<std::uint8_t> cut = bmp32(testPicture(30, 30));
    cut.resize(40);
    writeBytes(file("cut.bmp"), cut);
    // A real BMP in a .bmp name must be BMP content: a JPEG is refused.
    ASSERT_EQ(writeJpegFile(testPicture(8, 8), file("jpeg.bmp")), "");
    writeBytes(file("huge.bmp"), bmp32(testPicture(4, 4)));
    fs::resize_file(file("huge.bmp"), std::uintmax_t{3} << 30);  // 3 GB, sparse: refused unread
    for (const char* name : {"text.bmp", "cut.bmp", "jpeg.bmp", "missing.bmp", "huge.bmp"}) {
        SCOPED_TRACE(name);
        const DecodedPicture result = decodePictureFile(file(name), PictureKind::Bmp);
        EXPECT_TRUE(result.failed());
        EXPECT_TRUE(result.picture.empty());
        EXPECT_NE(result.error.find(file(name).string()), std::string::npos) << result.error;
    }
    EXPECT_NE(decodePictureFile(file("missing.bmp"), PictureKind::Bmp).error.find("No such file"),
              std::string::npos);
    EXPECT_NE(decodePictureFile(file("huge.bmp"), PictureKind::Bmp).error.find("too large"),
              std::string::npos);
}

// Damaged pictures are never taken as sound: each reader says so in its messages and marks the picture
// damaged, so the counter can tell them from plain information.
TEST_F(PictureLoadingTest, DamagedPicturesOfEveryKindAreMarked)
{
    ASSERT_EQ(writeJpegFile(testPicture(400, 300), file("whole.jpg")), "");
    const std::vector<std::uint8_t> jpeg = readBytes(file("whole.jpg"));
    writeBytes(file("half.jpg"), std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
    writeBytes(file("head.jpg"), std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 700));
    // A TIFF whose second directory cannot be read keeps the first picture and says why.
    tifftest::Page first = tifftest::imagePage(2, 1, {8}, 1, 1, {10, 20}, 2);
    tifftest::Page second = first;
    tifftest::setField(second, 259, tifftest::kShort, {5});
    const auto tiff = tifftest::writeTiff({first, second}).bytes;
    writeBytes(file("second.tif"), tiff);
    // A BMP whose last rows are missing.
    std::vector<std::uint8_t> bmp = bmp32(testPicture(10, 10));
    bmp.resize(bmp.size() - 3 * 40);
    writeBytes(file("cut.bmp"), bmp);
    // A PNG whose pixels use indices past its palette of two colours.
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(1);
    indexed.scanLine(1)[2] = 7;
    ASSERT_TRUE(indexed.save(QString::fromStdString(file("palette.png").string()), "PNG"));
    struct Case {
        const char* name;
        PictureKind kind;
        const char* messagePart;
    };
    for (const Case& c : {Case{"half.jpg", PictureKind::Jpeg, "is damaged, the picture may be incomplete"},
                          Case{"head.jpg", PictureKind::Jpeg, "is damaged, the picture may be incomplete"},
                          Case{"second.tif", PictureKind::Tiff, "Cant read compressed Gray Scale Image"},
                          Case{"cut.bmp", PictureKind::Bmp, "is damaged, the picture may be incomplete"},
                          Case{"palette.png", PictureKind::Png, "1 pixel uses a colour beyond the 2 of its palette"}}) {
        SCOPED_TRACE(c.name);
        const DecodedPicture result = decodePictureFile(file(c.name), c.kind);
        ASSERT_FALSE(result.failed()) << result.error;
        EXPECT_FALSE(result.picture.empty());
        EXPECT_TRUE(result.damaged);
        ASSERT_EQ(result.messages.size(), 1u);
        EXPECT_NE(result.messages[0].find(c.messagePart), std::string::npos) << result.messages[0];
    }
    // Sound files are not.
    writeBytes(file("sound.tif"), tifftest::writeTiff({first}).bytes);
    writeBytes(file("sound.bmp"), bmp32(testPicture(10, 10)));
    for (const auto& [name, kind] : {std::pair{"whole.jpg", PictureKind::Jpeg}, {"sound.tif", PictureKind::Tiff},
                                     {"sound.bmp", PictureKind::Bmp}}) {
        const DecodedPicture result = decodePictureFile(file(name), kind);
        EXPECT_FALSE(result.damaged) << name;
        EXPECT_TRUE(result.messages.empty()) << name;
    }
}

// ---- shared corpora (skipped when absent) ------------------------------------------------------

std::vector<std::vector<std::string>> readIndex(const fs::path& index)
{
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(index);
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        std::string field;
        while (std::getline(stream, field, '\t')) fields.push_back(field);
        rows.push_back(std::move(fields));
    }
    return rows;
}

TEST_F(PictureLoadingTest, JpegCorpusDecodesAsDjpegDoes)
{
    const fs::path corpus = fs::path(SPOTTALLY_SHARED_DATA) / "jpeg-corpus";
    if (!fs::exists(corpus / "INDEX.tsv")) GTEST_SKIP() << "no jpeg corpus";
    const bool djpeg = toolAvailable("djpeg");
    int checked = 0;
    for (const auto& fields : readIndex(corpus / "INDEX.tsv")) {
        ASSERT_GE(fields.size(), 9u);
        const fs::path path = corpus / fields[0];
        const std::string& verdict = fields[8];
        SCOPED_TRACE(fields[0] + ": " + verdict);
        const DecodedPicture result = decodePictureFile(path, PictureKind::Jpeg);
        if (verdict.rfind("error", 0) == 0) {
            EXPECT_TRUE(result.failed());
            continue;
        }
        ASSERT_FALSE(result.failed()) << result.error;
        EXPECT_EQ(std::to_string(result.picture.width()), fields[3]);
        EXPECT_EQ(std::to_string(result.picture.height()), fields[4]);
        EXPECT_EQ(result.messages.size(), verdict.find("warning") != std::string::npos ? 1u : 0u);
        if (djpeg) expectEqualsDjpeg(path, folder_);
        ++checked;
    }
    EXPECT_GT(checked, 10);
}

TEST(PictureLoadingCorpus, BmpCorpusDecodesOrFailsCleanly)
{
    const fs::path corpus = fs::path(SPOTTALLY_SHARED_DATA) / "bmp-corpus";
    if (!fs::exists(corpus / "INDEX.tsv")) GTEST_SKIP() << "no bmp corpus";
    int decoded = 0;
    for (const auto& fields : readIndex(corpus / "INDEX.tsv")) {
        ASSERT_GE(fields.size(), 6u);
        SCOPED_TRACE(fields[0]);
        const DecodedPicture result = decodePictureFile(corpus / fields[0], PictureKind::Bmp);
        // Every file of the BMP suite's "good" set must load.
        if (fields[0].rfind("bmpsuite/g/", 0) == 0) {
            EXPECT_FALSE(result.failed()) << result.error;
        }
        if (result.failed()) {
            EXPECT_NE(result.error.find(fields[0]), std::string::npos) << result.error;
            EXPECT_TRUE(result.picture.empty());
            continue;
        }
        ASSERT_FALSE(result.picture.empty());
        EXPECT_EQ(std::to_string(result.picture.width()), fields[4]);
        EXPECT_EQ(std::to_string(result.picture.height()), fields[5].substr(fields[5][0] == '-' ? 1 : 0));
        ++decoded;
    }
    EXPECT_GT(decoded, 50);
}

}  // namespace

// The memory limit holds the decoder's own copies too: a 16-bit picture whose layers alone would fit
// is refused when its 16-bit samples (libtiff) or Qt's 64-bit image (PNG) do not.
TEST_F(PictureLoadingTest, MemoryLimitCoversWhatTheDecoderHolds)
{
    QImage deep(100, 100, QImage::Format_RGBA64);
    deep.fill(QColor(40, 200, 90));
    ASSERT_TRUE(deep.save(QString::fromStdString(file("deep.png").string()), "PNG"));
    std::vector<std::uint8_t> samples(100 * 100 * 3 * 2, 0x40);
    writeBytes(file("deep.tif"),
               tifftest::writeTiff({tifftest::imagePage(100, 100, {16, 16, 16}, 2, 3, samples, 100 * 3 * 2)}).bytes);
    for (const auto& [name, kind] : {std::pair{"deep.png", PictureKind::Png}, {"deep.tif", PictureKind::Tiff}}) {
        SCOPED_TRACE(name);
        setPictureMemoryLimit(pictureLayersBytes(100, 100) + 1000);
        const DecodedPicture refused = decodePictureFile(file(name), kind);
        setPictureMemoryLimit(0);
        EXPECT_TRUE(refused.picture.empty());
        const std::string said = refused.error + (refused.messages.empty() ? "" : refused.messages.back());
        EXPECT_NE(said.find("in three picture layers and their decoding"), std::string::npos) << said;
        EXPECT_FALSE(decodePictureFile(file(name), kind).picture.empty());
    }
}

// Shared, the limit covers the pictures of all threads at once: a claim that does not fit beside
// another thread's waits until that one is given back.
TEST(PictureMemory, ClaimsOfAllThreadsShareTheLimit)
{
    setPictureMemoryShared(true);
    setPictureMemoryLimit(2 << 20);
    const std::uint64_t each = pictureLayersBytes(1000, 150);  // more than half the limit
    ASSERT_TRUE(claimPictureMemory(1000, 150));
    std::atomic<bool> claimed{false};
    std::thread other([&] {
        claimed = claimPictureMemory(1000, 150);
        releasePictureMemory();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(claimed.load());
    EXPECT_EQ(claimedPictureMemory(), each);
    EXPECT_FALSE(claimPictureMemory(1000, 1000));  // alone over the limit: refused at once
    EXPECT_EQ(claimedPictureMemory(), each);
    releasePictureMemory();
    other.join();
    EXPECT_TRUE(claimed.load());
    EXPECT_EQ(claimedPictureMemory(), 0u);
    setPictureMemoryLimit(0);
    setPictureMemoryShared(false);
}
