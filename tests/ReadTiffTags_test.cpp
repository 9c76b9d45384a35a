#include "picture/tiff/ReadTiffTags.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/TiffWriter.h"

using namespace tifftest;

namespace {

void readBytes(TFileTiff& tiff, const std::vector<std::uint8_t>& bytes)
{
    tiff.ReadFromMemory(bytes.data(), bytes.size(), "test.tif");
}

Page plainPage(std::uint32_t marker)
{
    Page page;
    page.fields = {{256, kLong, {marker}}};
    page.strips = {{1, 2, 3, 4}};
    return page;
}

std::filesystem::path tempPath(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("spottally_tags_" + std::to_string(::getpid()) + "_" + name);
}

}  // namespace

TEST(ReadTiffTags, HeaderDecidesValidityAndByteOrder)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool valid;
        bool littleEndian;
    };
    const std::vector<Case> cases = {
        {"little endian", {'I', 'I', 42, 0, 0, 0, 0, 0}, true, true},
        {"big endian", {'M', 'M', 0, 42, 0, 0, 0, 0}, true, false},
        {"seven bytes", {'I', 'I', 42, 0, 0, 0, 0}, false, true},
        {"empty", {}, false, true},
        {"bad mark", {'I', 'M', 42, 0, 0, 0, 0, 0}, false, true},
        {"magic in the other order", {'M', 'M', 42, 0, 0, 0, 0, 0}, false, false},
        {"BigTIFF magic 43", {'I', 'I', 43, 0, 8, 0, 0, 0}, false, true},
    };
    for (const Case& c : cases) {
        TFileTiff tiff;
        readBytes(tiff, c.bytes);
        EXPECT_EQ(tiff.Valid(), c.valid) << c.name;
        EXPECT_EQ(tiff.LittleEndian(), c.littleEndian) << c.name;
        EXPECT_EQ(tiff.Count(), 0u) << c.name;
    }
}

TEST(ReadTiffTags, EntriesAndSingleStripInBothByteOrders)
{
    for (bool big : {false, true}) {
        Page page;
        page.fields = {{256, kShort, {300}}, {257, kLong, {70000}}, {262, kShort, {1}}};
        page.strips = {std::vector<std::uint8_t>(10, 7)};
        const TiffFile file = writeTiff({page}, big);
        TFileTiff tiff;
        readBytes(tiff, file.bytes);
        ASSERT_TRUE(tiff.Valid());
        ASSERT_EQ(tiff.Count(), 1u);
        const TGraphicTiff& dir = *tiff.Images(0);
        EXPECT_EQ(dir.EntryCount(), 5);
        ASSERT_NE(dir.FindEntry(256), nullptr);
        EXPECT_EQ(dir.FindEntry(256)->Value, 300u) << "SHORT value, big endian " << big;
        EXPECT_EQ(dir.FindEntry(256)->FieldType, kShort);
        EXPECT_EQ(dir.FindEntry(257)->Value, 70000u);
        EXPECT_EQ(dir.FindEntry(999), nullptr);
        ASSERT_EQ(dir.StripCount(), 1u);
        EXPECT_EQ(dir.GetStrip(0)->Offset, 8u);
        EXPECT_EQ(dir.GetStrip(0)->ByteCount, 10u);
        EXPECT_EQ(dir.GetStrip(1), nullptr);
        EXPECT_EQ(dir.NextOffset(), 0u);
    }
}

TEST(ReadTiffTags, ShortValueIgnoresTheFieldsUnusedBytes)
{
    TiffFile file = writeTiff({plainPage(0)});
    const std::size_t field = file.valueField(0, 256);
    file.put16(file.directoryOffsets[0] + 2 + 2, kShort);  // entry 0 becomes a SHORT
    file.put32(field, 0xABCD0000u | 640u);                  // junk in the unused half
    TFileTiff tiff;
    readBytes(tiff, file.bytes);
    EXPECT_EQ(tiff.Images(0)->FindEntry(256)->Value, 640u);
}

TEST(ReadTiffTags, StripArraysHonourFieldTypeAndByteOrder)
{
    struct Case {
        std::uint16_t type;
        bool big;
        std::size_t strips;
    };
    for (const Case c : {Case{kShort, false, 5}, Case{kShort, true, 5}, Case{kLong, false, 3}, Case{kLong, true, 3},
                         Case{kShort, true, 2} /* packed into the entry */, Case{kShort, false, 2}}) {
        Page page;
        page.fields = {{262, kShort, {1}}};
        page.stripArrayType = c.type;
        for (std::size_t i = 0; i < c.strips; ++i) page.strips.push_back(std::vector<std::uint8_t>(3 + i, 1));
        const TiffFile file = writeTiff({page}, c.big);
        TFileTiff tiff;
        readBytes(tiff, file.bytes);
        const TGraphicTiff& dir = *tiff.Images(0);
        ASSERT_EQ(dir.StripCount(), c.strips) << "type " << c.type << " big " << c.big;
        std::uint32_t expectedOffset = 8;
        for (std::uint32_t i = 0; i < c.strips; ++i) {
            EXPECT_EQ(dir.GetStrip(i)->ByteCount, 3 + i);
            EXPECT_EQ(dir.GetStrip(i)->Offset, expectedOffset);
            expectedOffset += 3 + i;
            expectedOffset += expectedOffset % 2;  // the writer starts each strip on an even offset
        }
    }
}

TEST(ReadTiffTags, BrokenStripTablesGiveNoStrips)
{
    Page page = plainPage(1);
    page.writeStripTags = false;
    Page mismatch = page;
    mismatch.fields.push_back({273, kLong, {8, 9}});
    mismatch.fields.push_back({279, kLong, {1}});
    Page outside = page;
    outside.fields.push_back({273, kLong, {8, 9, 10}});
    outside.fields.push_back({279, kLong, {1, 1, 1}});
    TiffFile outsideFile = writeTiff({outside});
    outsideFile.put32(outsideFile.valueField(0, 279), 0xFFFFFFF0u);  // array far beyond the end
    for (const auto& bytes : {writeTiff({page}).bytes, writeTiff({mismatch}).bytes, outsideFile.bytes}) {
        TFileTiff tiff;
        readBytes(tiff, bytes);
        ASSERT_EQ(tiff.Count(), 1u);
        EXPECT_EQ(tiff.Images(0)->StripCount(), 0u);
        EXPECT_EQ(tiff.Images(0)->GetStrip(0), nullptr);
    }
}

TEST(ReadTiffTags, LastDuplicateTagWins)
{
    Page page = plainPage(5);
    page.fields.push_back({256, kLong, {6}});
    page.fields.push_back({257, kLong, {1}});
    page.fields.push_back({256, kLong, {7}});
    TFileTiff tiff;
    readBytes(tiff, writeTiff({page}).bytes);
    EXPECT_EQ(tiff.Images(0)->FindEntry(256)->Value, 7u);
}

TEST(ReadTiffTags, MultiPageFileGivesOneDirectoryPerPageInOrder)
{
    for (bool big : {false, true}) {
        TFileTiff tiff;
        readBytes(tiff, writeTiff({plainPage(10), plainPage(11), plainPage(12)}, big).bytes);
        ASSERT_EQ(tiff.Count(), 3u);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(tiff.Images(i)->FindEntry(256)->Value, 10 + i);
        EXPECT_EQ(tiff.Images(3), nullptr);
    }
}

TEST(ReadTiffTags, ChainEndsAtBadOrRepeatedOffsets)
{
    struct Case {
        const char* name;
        std::uint32_t nextOfSecond;  // 0xFFFFFFFF: back to the first directory
        std::size_t expectedCount;
    };
    const TiffFile base = writeTiff({plainPage(1), plainPage(2)});
    const std::vector<Case> cases = {
        {"zero", 0, 2},
        {"into the header", 7, 2},
        {"one", 1, 2},
        {"negative when signed", 0x80000000u, 2},
        {"beyond the file", static_cast<std::uint32_t>(base.bytes.size()), 2},
        {"loop to the first", base.directoryOffsets[0], 2},
        {"loop to itself", base.directoryOffsets[1], 2},
    };
    for (const Case& c : cases) {
        TiffFile file = base;
        file.put32(file.nextOffsetField(1), c.nextOfSecond);
        TFileTiff tiff;
        readBytes(tiff, file.bytes);
        EXPECT_EQ(tiff.Count(), c.expectedCount) << c.name;
    }
}

TEST(ReadTiffTags, ChainStopsAfter256Directories)
{
    const std::vector<Page> pages(300, plainPage(3));
    TFileTiff tiff;
    readBytes(tiff, writeTiff(pages).bytes);
    EXPECT_EQ(tiff.Count(), TFileTiff::kMaxDirectories);
}

TEST(ReadTiffTags, DirectoryCutShortKeepsCompleteEntriesAndEndsChain)
{
    TiffFile file = writeTiff({plainPage(4), plainPage(5)});
    // The file ends inside the second directory's third entry.
    const std::size_t ifd = file.directoryOffsets[1];
    file.bytes.resize(ifd + 2 + 12 * 2 + 5);
    TFileTiff tiff;
    readBytes(tiff, file.bytes);
    ASSERT_EQ(tiff.Count(), 2u);
    EXPECT_EQ(tiff.Images(1)->EntryCount(), 2);
    EXPECT_EQ(tiff.Images(1)->NextOffset(), 0u);
}

TEST(ReadTiffTags, ZeroEntryDirectoryReadsItsNextOffsetAfterTheCount)
{
    std::vector<std::uint8_t> bytes = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 14, 0, 0, 0};
    // Directory at 14 with one entry, no successor.
    const std::vector<std::uint8_t> second = {1, 0, 0x06, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    bytes.insert(bytes.end(), second.begin(), second.end());
    TFileTiff tiff;
    readBytes(tiff, bytes);
    ASSERT_EQ(tiff.Count(), 2u);
    EXPECT_EQ(tiff.Images(0)->EntryCount(), 0);
    EXPECT_EQ(tiff.Images(1)->FindEntry(262)->Value, 2u);
}

TEST(ReadTiffTags, ReadValuesTakesPackedAndDistantArrays)
{
    for (bool big : {false, true}) {
        Page page = plainPage(0);
        page.fields.push_back({258, kShort, {8, 16}});        // packed in the entry
        page.fields.push_back({320, kShort, {1, 2, 3, 4, 5, 6}});  // at an offset
        page.fields.push_back({259, kByte, {9, 8, 7}});
        TFileTiff tiff;
        readBytes(tiff, writeTiff({page}, big).bytes);
        const TGraphicTiff& dir = *tiff.Images(0);
        EXPECT_EQ(*dir.ReadValues(*dir.FindEntry(258), 3), (std::vector<std::uint32_t>{8, 16}));
        EXPECT_EQ(*dir.ReadValues(*dir.FindEntry(320), 4), (std::vector<std::uint32_t>{1, 2, 3, 4}));
        EXPECT_EQ(*dir.ReadValues(*dir.FindEntry(259), 9), (std::vector<std::uint32_t>{9, 8, 7}));
    }
}

TEST(ReadTiffTags, FileNameReadsOnceAndEmptyNameEmpties)
{
    const auto path = tempPath("once.tif");
    {
        const auto bytes = writeTiff({plainPage(1), plainPage(2)}).bytes;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    TFileTiff tiff;
    tiff.SetFileName(path.string());
    EXPECT_TRUE(tiff.Valid());
    EXPECT_EQ(tiff.Count(), 2u);
    EXPECT_EQ(tiff.FileName(), path.string());
    {
        const auto bytes = writeTiff({plainPage(1)}).bytes;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    tiff.SetFileName(path.string());
    EXPECT_EQ(tiff.Count(), 2u) << "the same name is not read again";
    tiff.SetFileName("");
    EXPECT_FALSE(tiff.Valid());
    EXPECT_EQ(tiff.Count(), 0u);
    EXPECT_EQ(tiff.FileSize(), 0u);
    EXPECT_EQ(tiff.FileName(), "");
    std::filesystem::remove(path);
}

TEST(ReadTiffTags, MissingFileIsNotValidAndNotCreated)
{
    const auto path = tempPath("missing.tif");
    std::filesystem::remove(path);
    TFileTiff tiff;
    tiff.SetFileName(path.string());
    EXPECT_FALSE(tiff.Valid());
    EXPECT_FALSE(std::filesystem::exists(path));
}
