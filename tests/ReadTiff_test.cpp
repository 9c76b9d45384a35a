#include "picture/tiff/ReadTiff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <optional>

#include "support/TiffWriter.h"
#include "picture/PictureMemory.h"
#include "picture/tiff/ReadTiffTags.h"

using namespace tifftest;

namespace {

TiffResult decode(const TiffFile& file) { return ReadTiffFromMemory(file.bytes.data(), file.bytes.size(), "x.tif"); }

std::string messagesOf(const TiffResult& result)
{
    std::string all;
    for (const auto& m : result.messages) all += "[" + m + "]";
    return all;
}

std::uint32_t grey(int v) { return rgbColour(v, v, v); }

// A 5 x 3 picture in every kind: its bytes and the colours it must show.
struct Sample {
    const char* name;
    Page page;
    std::vector<std::uint32_t> expected;  // row by row, 0xBBGGRR
};

constexpr std::uint32_t kW = 5, kH = 3;

Sample bilevel(std::uint32_t photometric)
{
    // Rows 10110, 01001, 11111 (most significant bit first, one byte per row).
    const std::vector<std::uint8_t> data = {0b10110000, 0b01001000, 0b11111000};
    const int one = photometric == 0 ? 0 : 255, zero = 255 - one;
    std::vector<std::uint32_t> expected;
    for (const char* row : {"10110", "01001", "11111"})
        for (int x = 0; x < 5; ++x) expected.push_back(grey(row[x] == '1' ? one : zero));
    return {photometric == 0 ? "bilevel WhiteIsZero" : "bilevel BlackIsZero",
            imagePage(kW, kH, {1}, photometric, 1, data, 1, 2), expected};
}

Sample grey8(std::uint32_t photometric)
{
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 0; i < kW * kH; ++i) {
        const int v = static_cast<int>(i * 17 + 3);
        data.push_back(static_cast<std::uint8_t>(v));
        expected.push_back(grey(photometric == 0 ? 255 - v : v));
    }
    return {photometric == 0 ? "grey 8 WhiteIsZero" : "grey 8 BlackIsZero", imagePage(kW, kH, {8}, photometric, 1, data, 5, 1),
            expected};
}

Sample grey4(std::uint32_t photometric)
{
    // Levels 0..14 in order, two to a byte, each row padded to whole bytes.
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> expected;
    int level = 0;
    for (std::uint32_t y = 0; y < kH; ++y) {
        std::uint8_t bytes[3] = {0, 0, 0};
        for (std::uint32_t x = 0; x < kW; ++x, ++level) {
            bytes[x / 2] |= static_cast<std::uint8_t>(level << ((x % 2) ? 0 : 4));
            expected.push_back(grey(photometric == 0 ? 255 - level * 17 : level * 17));
        }
        data.insert(data.end(), bytes, bytes + 3);
    }
    return {photometric == 0 ? "grey 4 WhiteIsZero" : "grey 4 BlackIsZero", imagePage(kW, kH, {4}, photometric, 1, data, 3),
            expected};
}

Sample palette8()
{
    std::vector<std::uint32_t> map(768);
    for (std::uint32_t i = 0; i < 256; ++i) {
        map[i] = i * 257;                  // red: high byte i
        map[256 + i] = (255 - i) * 256 + 99;  // green: high byte 255 - i
        map[512 + i] = 0x4000 + i;           // blue: high byte 64
    }
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 0; i < kW * kH; ++i) {
        const int index = static_cast<int>(i * 16 + 1);
        data.push_back(static_cast<std::uint8_t>(index));
        expected.push_back(rgbColour(index, 255 - index, 64));
    }
    Page page = imagePage(kW, kH, {8}, 3, 1, data, 5);
    page.fields.push_back({320, kShort, map});
    return {"palette 8", page, expected};
}

Sample palette4()
{
    std::vector<std::uint32_t> map(48);
    for (std::uint32_t i = 0; i < 16; ++i) {
        map[i] = 0xFF00;
        map[16 + i] = i * 0x1100;
        map[32 + i] = 0;
    }
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t y = 0; y < kH; ++y) {
        data.insert(data.end(), {0x01, 0x23, static_cast<std::uint8_t>(0x40 + y)});
        for (int index : {0, 1, 2, 3, 4}) expected.push_back(rgbColour(255, index * 17, 0));
    }
    Page page = imagePage(kW, kH, {4}, 3, 1, data, 3);
    page.fields.push_back({320, kShort, map});
    return {"palette 4", page, expected};
}

Sample rgb(std::uint32_t rowsPerStrip, std::vector<std::uint32_t> depths)
{
    // Rows of 15 bytes: not a multiple of 4.
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 0; i < kW * kH; ++i) {
        const int r = static_cast<int>(i * 10), g = static_cast<int>(200 - i), b = static_cast<int>(i * 3 + 1);
        data.insert(data.end(), {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)});
        expected.push_back(rgbColour(r, g, b));
    }
    return {rowsPerStrip ? "rgb multi-strip" : "rgb one strip", imagePage(kW, kH, depths, 2, 3, data, 15, rowsPerStrip),
            expected};
}

std::vector<Sample> allSamples()
{
    return {bilevel(0), bilevel(1), grey8(0), grey8(1),          grey4(0),          grey4(1),
            palette8(), palette4(), rgb(0, {8}), rgb(1, {8, 8, 8}), rgb(2, {16, 8, 16})};
}

void expectPicture(const Picture& picture, const std::vector<std::uint32_t>& expected, const std::string& what)
{
    ASSERT_EQ(picture.width(), static_cast<int>(kW)) << what;
    ASSERT_EQ(picture.height(), static_cast<int>(kH)) << what;
    for (std::uint32_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(picture.pixel(static_cast<int>(i % kW), static_cast<int>(i / kW)), expected[i])
            << what << " pixel " << i % kW << "," << i / kW;
}

std::string withTail(std::string_view first) { return std::string(first) + std::string(TiffText::CompressedTail); }

}  // namespace

TEST(ReadTiff, EveryKindDecodesInBothByteOrders)
{
    for (const Sample& sample : allSamples())
        for (bool big : {false, true}) {
            const TiffResult result = decode(writeTiff({sample.page}, big));
            const std::string what = std::string(sample.name) + (big ? " MM" : " II");
            EXPECT_TRUE(result.messages.empty()) << what << messagesOf(result);
            expectPicture(result.picture, sample.expected, what);
        }
}

TEST(ReadTiff, BilevelWithoutBitsPerSample)
{
    Sample sample = bilevel(1);
    removeField(sample.page, 258);
    const TiffResult result = decode(writeTiff({sample.page}, true));
    EXPECT_TRUE(result.messages.empty()) << messagesOf(result);
    expectPicture(result.picture, sample.expected, "no tag 258");
}

TEST(ReadTiff, RowsPerStripMissingZeroOrHugeMeansOneStrip)
{
    for (std::uint32_t rowsPerStrip : {0u, 3u, 4u, 0xFFFFFFFFu}) {
        Sample sample = rgb(0, {8});
        if (rowsPerStrip) sample.page.fields.push_back({278, kLong, {rowsPerStrip}});
        const TiffResult result = decode(writeTiff({sample.page}));
        EXPECT_TRUE(result.messages.empty()) << rowsPerStrip << messagesOf(result);
        expectPicture(result.picture, sample.expected, "RowsPerStrip " + std::to_string(rowsPerStrip));
    }
}

TEST(ReadTiff, RowsAreWidthTimesBitsWhateverTheStripsHoldBeyond)
{
    // Rows are width x bits per pixel in whole bytes: bytes a strip holds beyond its rows never shear
    // the picture (they used to set the row length: 52 bytes over 3 rows gave 17-byte rows).
    struct Case {
        const char* name;
        Sample sample;
        std::vector<std::size_t> trailingBytes;  // appended to each strip
    };
    const std::vector<Case> cases = {
        {"rgb, one strip and no RowsPerStrip", rgb(0, {8}), {7}},
        {"rgb, two rows a strip", rgb(2, {8}), {4, 9}},
        {"bilevel, two rows a strip", bilevel(1), {3, 1}},
        {"grey 4, one strip", grey4(1), {1}},
    };
    for (const Case& c : cases) {
        Page page = c.sample.page;
        ASSERT_EQ(page.strips.size(), c.trailingBytes.size()) << c.name;
        for (std::size_t i = 0; i < page.strips.size(); ++i)
            page.strips[i].insert(page.strips[i].end(), c.trailingBytes[i], 0xEE);
        for (bool big : {false, true}) {
            const TiffResult result = decode(writeTiff({page}, big));
            EXPECT_TRUE(result.messages.empty()) << c.name << messagesOf(result);
            expectPicture(result.picture, c.sample.expected, c.name);
        }
    }
    // A strip shorter than its rows is refused, not filled from the next strip.
    Sample shortStrip = rgb(2, {8});
    shortStrip.page.strips[0].resize(29);
    shortStrip.page.strips[1].insert(shortStrip.page.strips[1].end(), 30, 0xEE);
    EXPECT_EQ(decode(writeTiff({shortStrip.page})).messages, std::vector<std::string>{"Error reading image data"});
}

TEST(ReadTiff, FillOrder2ReversesTheBitsOfEveryByte)
{
    // Stored least-significant bit first, every kind shows the same picture as stored the usual way.
    for (Sample sample : {bilevel(0), bilevel(1), grey4(1), palette4(), grey8(1)}) {
        for (auto& strip : sample.page.strips)
            for (std::uint8_t& byte : strip) {
                std::uint8_t reversed = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (byte & (1 << bit)) reversed = static_cast<std::uint8_t>(reversed | (0x80 >> bit));
                byte = reversed;
            }
        sample.page.fields.push_back({266, kShort, {2}});
        for (bool big : {false, true}) {
            const TiffResult result = decode(writeTiff({sample.page}, big));
            EXPECT_TRUE(result.messages.empty()) << sample.name << messagesOf(result);
            expectPicture(result.picture, sample.expected, std::string(sample.name) + " FillOrder 2");
        }
    }
}

TEST(ReadTiff, MissingCompressionMeansUncompressed)
{
    for (Sample sample : {grey8(1), bilevel(0), palette8(), rgb(0, {8})}) {
        removeField(sample.page, 259);
        const TiffResult result = decode(writeTiff({sample.page}, true));
        EXPECT_TRUE(result.messages.empty()) << sample.name << messagesOf(result);
        EXPECT_FALSE(result.damaged) << sample.name;
        expectPicture(result.picture, sample.expected, sample.name);
    }
}

TEST(ReadTiff, ReducedResolutionCopiesGiveWayToTheFullPicture)
{
    const Sample full = grey8(1), other = rgb(0, {8});
    Page thumbnail = imagePage(1, 1, {8}, 1, 1, {9}, 1);
    thumbnail.fields.insert(thumbnail.fields.begin(), {254, kLong, {1}});
    Page oldStyleThumbnail = imagePage(1, 1, {8}, 1, 1, {9}, 1);
    oldStyleThumbnail.fields.insert(oldStyleThumbnail.fields.begin(), {255, kShort, {2}});
    Page compressedThumbnail = thumbnail;
    setField(compressedThumbnail, 259, kShort, {5});
    Page compressedFull = full.page;
    setField(compressedFull, 259, kShort, {5});
    struct Case {
        const char* name;
        std::vector<Page> pages;
        std::vector<std::uint32_t> expected;  // empty: the 1 x 1 thumbnail
        std::vector<std::string> messages;
        bool damaged;
    };
    const std::vector<Case> cases = {
        {"picture, thumbnail", {full.page, thumbnail}, full.expected, {}, false},
        {"picture, old-style thumbnail", {full.page, oldStyleThumbnail}, full.expected, {}, false},
        {"thumbnail, picture", {thumbnail, full.page}, full.expected, {}, false},
        {"two pictures and a thumbnail: the last picture", {full.page, other.page, thumbnail}, other.expected, {}, false},
        {"picture, compressed thumbnail", {full.page, compressedThumbnail}, full.expected,
         {withTail(TiffText::CompressedGray)}, false},
        {"only the thumbnail decodes", {compressedFull, thumbnail}, {}, {withTail(TiffText::CompressedGray)}, true},
    };
    for (const Case& c : cases) {
        const TiffResult result = decode(writeTiff(c.pages));
        EXPECT_EQ(result.messages, c.messages) << c.name;
        EXPECT_EQ(result.damaged, c.damaged) << c.name;
        if (c.expected.empty()) {
            ASSERT_EQ(result.picture.width(), 1) << c.name;
            EXPECT_EQ(result.picture.pixel(0, 0), grey(9)) << c.name;
        } else {
            expectPicture(result.picture, c.expected, c.name);
        }
    }
}

TEST(ReadTiff, StripsOutOfOrderInTheFileAreJoinedInStripOrder)
{
    for (bool big : {false, true}) {
        Sample sample = grey8(1);
        // Three one-row strips written as rows 2, 0, 1; the SHORT offsets put them back in order.
        auto& strips = sample.page.strips;
        std::rotate(strips.begin(), strips.begin() + 2, strips.end());
        sample.page.stripArrayType = kShort;
        TiffFile file = writeTiff({sample.page}, big);
        TFileTiff tiff;
        tiff.ReadFromMemory(file.bytes.data(), file.bytes.size(), "x.tif");
        std::vector<std::uint32_t> offsets;
        for (std::uint32_t i = 0; i < 3; ++i) offsets.push_back(tiff.Images(0)->GetStrip(i)->Offset);
        const std::size_t array = tiff.Images(0)->FindEntry(273)->Value;
        file.put16(array, static_cast<std::uint16_t>(offsets[1]));
        file.put16(array + 2, static_cast<std::uint16_t>(offsets[2]));
        file.put16(array + 4, static_cast<std::uint16_t>(offsets[0]));
        const TiffResult result = decode(file);
        EXPECT_TRUE(result.messages.empty()) << messagesOf(result);
        expectPicture(result.picture, sample.expected, big ? "joined MM" : "joined II");
    }
}

TEST(ReadTiff, LastDecodedDirectoryWins)
{
    const Sample first = grey8(1), second = rgb(0, {8});
    Page small = imagePage(1, 1, {8}, 1, 1, {9}, 1);
    // A page that fails (compressed) after a good one keeps the good one; the good second page replaces it.
    Page compressed = small;
    setField(compressed, 259, kShort, {5});
    const TiffResult two = decode(writeTiff({first.page, second.page}));
    EXPECT_TRUE(two.messages.empty()) << messagesOf(two);
    expectPicture(two.picture, second.expected, "second of two");
    const TiffResult failedLast = decode(writeTiff({first.page, compressed}));
    EXPECT_EQ(failedLast.messages, std::vector<std::string>{withTail(TiffText::CompressedGray)});
    expectPicture(failedLast.picture, first.expected, "first kept");
}

TEST(ReadTiff, MessagesOfRefusedDirectories)
{
    struct Case {
        const char* name;
        std::function<void(Page&)> damage;
        std::string message;
    };
    const Sample g = grey8(1), p = palette8(), c = rgb(0, {8}), b = bilevel(1);
    const std::vector<std::pair<Page, std::vector<Case>>> groups = {
        {g.page,
         {{"no width", [](Page& pg) { removeField(pg, 256); }, "Error reading tag Image Width"},
          {"no height", [](Page& pg) { removeField(pg, 257); }, "Error reading tag Image Height"},
          {"grey 16", [](Page& pg) { setField(pg, 258, kShort, {16}); }, "Cant read Gray Scale Image with 16 bits per sample"},
          {"grey 2", [](Page& pg) { setField(pg, 258, kShort, {2}); }, "Cant read Gray Scale Image with 2 bits per sample"},
          {"grey two samples", [](Page& pg) { setField(pg, 277, kShort, {2}); },
           "Cant read Gray Scale Image with 2 samples per pixel"},
          {"grey packbits", [](Page& pg) { setField(pg, 259, kShort, {32773}); }, withTail("Cant read compressed Gray Scale Image")},
          {"tiled", [](Page& pg) { pg.fields.push_back({322, kShort, {16}}); }, "Cant read Gray Scale Image stored in tiles"},
          {"width 0", [](Page& pg) { setField(pg, 256, kLong, {0}); }, "Cant read Gray Scale Image with Image Width or Image Height 0"},
          {"too wide", [](Page& pg) { setField(pg, 256, kLong, {65536}); }, "Cant read Gray Scale Image wider or higher than 65535 pixels"},
          {"strips too short", [](Page& pg) { pg.strips.pop_back(); }, "Error reading image data"},
          {"no strip table", [](Page& pg) { pg.writeStripTags = false; }, "Error reading image data"}}},
        {b.page,
         {{"bilevel lzw", [](Page& pg) { setField(pg, 259, kShort, {5}); }, withTail("Cant read compressed bilevel image")}}},
        {p.page,
         {{"no depth", [](Page& pg) { removeField(pg, 258); }, "Error reading tag Bits Per Sample"},
          {"no colour map", [](Page& pg) { removeField(pg, 320); }, "Error reading tag Color Table Offset"},
          {"palette 2 bits", [](Page& pg) { setField(pg, 258, kShort, {2}); }, "Cant read ColorPaletImage with 2 bits per sample"},
          {"palette deflate", [](Page& pg) { setField(pg, 259, kShort, {8}); }, withTail("Cant read compressed ColorPaletImage")}}},
        {c.page,
         {{"rgb no depth", [](Page& pg) { removeField(pg, 258); }, "Error reading tag Bits Per Sample"},
          {"rgb 16", [](Page& pg) { setField(pg, 258, kShort, {16, 16, 16}); }, "Error: Bits Per Sample (RGB) not 8"},
          {"rgb lzw", [](Page& pg) { setField(pg, 259, kShort, {5}); }, withTail("Cant read compressed RGB Full Color Image")},
          {"rgba", [](Page& pg) { setField(pg, 277, kShort, {4}); }, "Cant read RGB Full Color Image with 4 samples per pixel"},
          {"planar", [](Page& pg) { pg.fields.push_back({284, kShort, {2}}); },
           "Cant read RGB Full Color Image with separate colour planes (Planar Configuration 2)"}}},
    };
    for (const auto& [base, cases] : groups)
        for (const Case& c : cases)
            for (bool big : {false, true}) {
                Page page = base;
                c.damage(page);
                const TiffResult result = decode(writeTiff({page}, big));
                EXPECT_EQ(result.messages, std::vector<std::string>{c.message}) << c.name << (big ? " MM" : " II");
                EXPECT_TRUE(result.picture.empty()) << c.name;
            }
    EXPECT_EQ(withTail(TiffText::CompressedRgb).substr(0, 85),
              "Cant read compressed RGB Full Color Image\r\rfeel free to implement this type of image\r");
}

TEST(ReadTiff, PhotometricProblemsEndTheWholeDecode)
{
    const Sample g = grey8(1);
    Page missing = g.page, five = g.page, negative = g.page;
    removeField(missing, 262);
    setField(five, 262, kShort, {5});
    setField(negative, 262, kLong, {0xFFFFFFFFu});
    struct Case {
        Page bad;
        std::string message;
    };
    for (const Case& c : {Case{missing, "Error reading tag Photometric interpretation"},
                          Case{five, "Error evaluating Photometric interpretation: 5"},
                          Case{negative, "Error evaluating Photometric interpretation: -1"}}) {
        // good, bad, good: the third is never reached, the first stays.
        const TiffResult result = decode(writeTiff({g.page, c.bad, rgb(0, {8}).page}));
        EXPECT_EQ(result.messages, std::vector<std::string>{c.message});
        expectPicture(result.picture, g.expected, c.message);
    }
}

TEST(ReadTiff, ColourMapOfWrongSizeLeavesTheGreyRamp)
{
    // 768 values: 256 entries, all white. 2 and 771 values give no entry or more than 256: grey ramp.
    for (std::uint32_t count : {2u, 768u, 771u}) {
        Page page = imagePage(2, 1, {8}, 3, 1, {7, 200}, 2);
        page.fields.push_back({320, kShort, std::vector<std::uint32_t>(count, 0xFFFF)});
        const TiffResult result = decode(writeTiff({page}));
        ASSERT_FALSE(result.picture.empty()) << count;
        EXPECT_EQ(result.picture.pixel(0, 0), count == 768u ? grey(255) : grey(7)) << count;
        EXPECT_EQ(result.picture.pixel(1, 0), count == 768u ? grey(255) : grey(200)) << count;
    }
}

TEST(ReadTiff, StripRunningPastTheEndGivesWhatItHolds)
{
    Sample sample = grey8(1);
    removeField(sample.page, 278);
    sample.page.strips = {{}};
    for (std::uint8_t v : {3, 20, 37, 54, 71, 88, 105, 122, 139, 156, 173, 190, 207, 224, 241})
        sample.page.strips[0].push_back(v);  // one strip with the rows of grey8
    TiffFile file = writeTiff({sample.page});
    // Strip 0 claims far more bytes than the file has: the rows are then taken at their natural length...
    TiffFile generous = file;
    generous.put32(generous.valueField(0, 279), 1000000);
    const TiffResult enough = decode(generous);
    EXPECT_TRUE(enough.messages.empty()) << messagesOf(enough);
    expectPicture(enough.picture, sample.expected, "long strip");
    // ...but a strip that starts beyond the end gives nothing.
    TiffFile beyond = file;
    beyond.put32(beyond.valueField(0, 273), static_cast<std::uint32_t>(file.bytes.size() + 10));
    EXPECT_EQ(decode(beyond).messages, std::vector<std::string>{"Error reading image data"});
}

TEST(ReadTiff, NotATiffFileSaysSoWithItsName)
{
    const std::vector<std::uint8_t> bytes = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
    const TiffResult result = ReadTiffFromMemory(bytes.data(), bytes.size(), "C:\\pics\\a.tif");
    EXPECT_EQ(result.messages, std::vector<std::string>{"<C:\\pics\\a.tif> is not a valid TIFF file"});
    EXPECT_TRUE(result.picture.empty());
}

TEST(ReadTiff, ReadsFromDiskAndNeverCreatesAMissingFile)
{
    const auto dir = std::filesystem::temp_directory_path();
    const auto path = dir / ("spottally_read_" + std::to_string(::getpid()) + ".tif");
    const Sample sample = palette4();
    const auto bytes = writeTiff({sample.page}, true).bytes;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const TiffResult result = ReadTiffToBitmap(path.string());
    EXPECT_TRUE(result.messages.empty()) << messagesOf(result);
    expectPicture(result.picture, sample.expected, "from disk");
    std::filesystem::remove(path);

    const TiffResult missing = ReadTiffToBitmap(path.string());
    EXPECT_EQ(missing.messages, std::vector<std::string>{"<" + path.string() + "> is not a valid TIFF file"});
    EXPECT_FALSE(std::filesystem::exists(path));

    const TiffResult folder = ReadTiffToBitmap(dir.string());
    EXPECT_EQ(folder.messages, std::vector<std::string>{"<" + dir.string() + "> is not a valid TIFF file"});
}

namespace {

/// Bytes this process has read from files and pipes so far (rchar of /proc/self/io); none where the
/// kernel does not say.
std::optional<std::uint64_t> bytesReadSoFar()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return std::nullopt;
}

/// A temporary TIFF file on disk, removed at the end of the test.
class TiffOnDisk {
public:
    TiffOnDisk(const std::string& name, const std::vector<std::uint8_t>& bytes, std::uintmax_t size = 0)
        : path_(std::filesystem::temp_directory_path() / ("spottally_" + std::to_string(::getpid()) + "_" + name))
    {
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (size > bytes.size()) std::filesystem::resize_file(path_, size);  // sparse: costs no disk
    }
    ~TiffOnDisk() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

/// Restores the default picture memory limit at the end of a test.
struct MemoryLimitGuard {
    explicit MemoryLimitGuard(std::uint64_t bytes) { setPictureMemoryLimit(bytes); }
    ~MemoryLimitGuard() { setPictureMemoryLimit(0); }
};

}  // namespace

// The reader goes where the directories point: a file's size costs nothing, only the bytes of the
// directories, their arrays and the rows of the picture kept are read.
TEST(ReadTiffFromDisk, ReadsOnlyWhatTheDirectoriesPointAt)
{
    if (!bytesReadSoFar()) GTEST_SKIP() << "no /proc/self/io";
    constexpr std::uint64_t kReadBound = 1 << 20;
    {
        // A 16 x 16 picture at the start of a 3 GiB (sparse) file.
        std::vector<std::uint8_t> data(256);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
        const TiffOnDisk file("huge.tif", writeTiff({imagePage(16, 16, {8}, 1, 1, data, 16)}).bytes,
                              std::uintmax_t{3} << 30);
        const std::uint64_t before = *bytesReadSoFar();
        const TiffResult result = ReadTiffToBitmap(file.path());
        EXPECT_LT(*bytesReadSoFar() - before, kReadBound);
        EXPECT_TRUE(result.messages.empty()) << messagesOf(result);
        ASSERT_EQ(result.picture.width(), 16);
        EXPECT_EQ(result.picture.pixel(5, 3), grey(3 * 16 + 5));
    }
    {
        // 256 directories sharing one strip table of a million strips (8 MB): the first four strips
        // are the four rows of a 4 x 4 picture.
        constexpr std::uint32_t kStrips = 1 << 20;
        constexpr std::uint32_t kDirectories = 256;
        std::vector<std::uint8_t> bytes = {'I', 'I', 42, 0, 0, 0, 0, 0};
        const auto put = [&bytes](std::uint32_t value, int size) {
            for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        };
        for (std::uint8_t v = 0; v < 16; ++v) bytes.push_back(static_cast<std::uint8_t>(v * 16));
        const auto offsets = static_cast<std::uint32_t>(bytes.size());
        for (std::uint32_t i = 0; i < kStrips; ++i) put(8 + 4 * std::min(i, 3u), 4);
        const auto counts = static_cast<std::uint32_t>(bytes.size());
        for (std::uint32_t i = 0; i < kStrips; ++i) put(4, 4);
        const auto firstDirectory = static_cast<std::uint32_t>(bytes.size());
        bytes[4] = static_cast<std::uint8_t>(firstDirectory), bytes[5] = static_cast<std::uint8_t>(firstDirectory >> 8);
        bytes[6] = static_cast<std::uint8_t>(firstDirectory >> 16), bytes[7] = static_cast<std::uint8_t>(firstDirectory >> 24);
        constexpr std::uint32_t kDirectoryBytes = 2 + 7 * 12 + 4;
        for (std::uint32_t d = 0; d < kDirectories; ++d) {
            put(7, 2);
            for (const auto& [tag, type, count, value] :
                 std::vector<std::array<std::uint32_t, 4>>{{256, kShort, 1, 4}, {257, kShort, 1, 4}, {258, kShort, 1, 8},
                                                           {262, kShort, 1, 1}, {273, kLong, kStrips, offsets},
                                                           {278, kShort, 1, 1}, {279, kLong, kStrips, counts}}) {
                put(tag, 2), put(type, 2), put(count, 4), put(value, 4);
            }
            put(d + 1 < kDirectories ? firstDirectory + (d + 1) * kDirectoryBytes : 0, 4);
        }
        const TiffOnDisk file("shared.tif", bytes);
        const std::uint64_t before = *bytesReadSoFar();
        const TiffResult result = ReadTiffToBitmap(file.path());
        EXPECT_LT(*bytesReadSoFar() - before, kReadBound);
        EXPECT_TRUE(result.messages.empty()) << messagesOf(result);
        ASSERT_EQ(result.picture.width(), 4);
        EXPECT_EQ(result.picture.pixel(3, 2), grey(11 * 16));
    }
}

// A picture whose three layers would not fit the memory limit is refused before anything is
// allocated or its rows are read, with the sizes in the message.
TEST(ReadTiffFromDisk, PictureOverTheMemoryLimitIsRefusedUnread)
{
    const MemoryLimitGuard limit(std::uint64_t{4} << 30);
    // 1 bit, 65535 x 65535: 512 MB of rows in a sparse file, 12 GB a layer once decoded.
    constexpr std::uint32_t kSide = 65535;
    constexpr std::uint64_t kRowBytes = (kSide + 7) / 8;
    Page page = imagePage(kSide, kSide, {1}, 0, 1, {}, 0);
    page.strips = {{0}};
    TiffFile tiff = writeTiff({page});
    tiff.put32(tiff.valueField(0, 279), static_cast<std::uint32_t>(kRowBytes * kSide));
    const TiffOnDisk file("big.tif", tiff.bytes, tiff.bytes.size() + kRowBytes * kSide);
    const auto before = bytesReadSoFar();
    const TiffResult result = ReadTiffToBitmap(file.path());
    if (before) {
        EXPECT_LT(*bytesReadSoFar() - *before, 1u << 20);
    }
    EXPECT_EQ(result.messages, std::vector<std::string>{
                                   "Cant read bilevel image: 65535 x 65535 pixels need 36863 MB in three picture "
                                   "layers, more than the memory limit of 4096 MB"});
    EXPECT_TRUE(result.damaged);
    EXPECT_TRUE(result.picture.empty());

    // The same picture at a limit it fits is decoded (here: a small one, under a limit just above it).
    const MemoryLimitGuard exact(pictureLayersBytes(kW, kH));
    const Sample sample = grey8(1);
    const TiffResult fits = decode(writeTiff({sample.page}));
    EXPECT_TRUE(fits.messages.empty()) << messagesOf(fits);
    setPictureMemoryLimit(pictureLayersBytes(kW, kH) - 1);
    EXPECT_EQ(decode(writeTiff({sample.page})).messages,
              std::vector<std::string>{"Cant read Gray Scale Image: 5 x 3 pixels need 1 MB in three picture layers, "
                                       "more than the memory limit of 0 MB"});
}
