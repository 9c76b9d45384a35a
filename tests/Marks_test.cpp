#include "detect/Marks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace fs = std::filesystem;

TEST(Marks, FileNameFollowsTheReportsNaming)
{
    EXPECT_EQ(marksFileName("sample.jpg"), "c_sample.marks.csv");
    EXPECT_EQ(marksFileName("c_sample.jpg"), "c_sample.marks.csv");
    EXPECT_EQ(marksFileName("Bäume.tif"), "c_Bäume.marks.csv");
}

TEST(Marks, FileRoundTripKeepsEveryMarkInOrder)
{
    const fs::path folder = fs::temp_directory_path() / ("spottally-marks-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    const std::vector<Mark> marks = {{0, 0}, {65535, 12}, {17, 4000}, {17, 4000}};
    const fs::path path = folder / "c_plate.marks.csv";
    ASSERT_TRUE(writeMarksFile(path, marks).saved());
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes, "x,y\n0,0\n65535,12\n17,4000\n17,4000\n");
    const MarksReading reading = readMarksFile(path);
    EXPECT_EQ(reading.error, "");
    EXPECT_EQ(reading.marks, marks);
    EXPECT_NE(readMarksFile(folder / "absent.csv").error.find("absent.csv"), std::string::npos);
    fs::remove_all(folder);
}

TEST(Marks, ReadsWhatSpreadsheetsWrite)
{
    // CR LF line ends, a byte-order mark, blank lines and blanks around the numbers.
    const MarksReading reading = parseMarksText("\xEF\xBB\xBFx,y\r\n 3, 4\r\n\r\n5,6\r\n", "m.csv");
    EXPECT_EQ(reading.error, "");
    EXPECT_EQ(reading.marks, (std::vector<Mark>{{3, 4}, {5, 6}}));
    EXPECT_TRUE(parseMarksText("x,y\n", "m.csv").marks.empty());
    EXPECT_EQ(parseMarksText("x,y\n", "m.csv").error, "");
}

TEST(Marks, BadLinesRefuseTheFileNamingTheLine)
{
    struct Case {
        const char* text;
        const char* expected;  // the message's start
    };
    const Case cases[] = {
        {"", "m.csv: empty, the header x,y is missing"},
        {"3,4\n", "m.csv, line 1: the first line must be the header x,y ('3,4')"},
        {"X;Y\n", "m.csv, line 1: the first line must be the header x,y"},
        {"x,y\n1,2\n3;4\n", "m.csv, line 3: a mark must be two whole numbers x,y ('3;4')"},
        {"x,y\n1,2\n\n3\n", "m.csv, line 4: a mark must be two whole numbers x,y ('3')"},
        {"x,y\n3,4,5\n", "m.csv, line 2: a mark must be two whole numbers x,y"},
        {"x,y\n3.5,4\n", "m.csv, line 2: a mark must be two whole numbers x,y"},
        {"x,y\nx,y\n", "m.csv, line 2: a mark must be two whole numbers x,y"},
        {"x,y\n-1,4\n", "m.csv, line 2: a mark's x and y must lie from 0 to 65535 ('-1,4')"},
        {"x,y\n4,65536\n", "m.csv, line 2: a mark's x and y must lie from 0 to 65535"},
        {"x,y\n4,99999999999999999999\n", "m.csv, line 2: a mark must be two whole numbers x,y"},
        {"x,y\n1,\x01\n", "m.csv, line 2: a mark must be two whole numbers x,y ('1,?')"},
    };
    for (const Case& c : cases) {
        const MarksReading reading = parseMarksText(c.text, "m.csv");
        EXPECT_EQ(reading.error.rfind(c.expected, 0), 0u) << c.text << " -> " << reading.error;
        EXPECT_TRUE(reading.marks.empty()) << c.text;
    }
}

TEST(Marks, RegionTextAndMembership)
{
    PixelRegion region;
    EXPECT_EQ(parseRegionText("10,20,300,200", region), "");
    EXPECT_EQ(region, (PixelRegion{10, 20, 300, 200}));
    EXPECT_TRUE(region.contains(10, 20));
    EXPECT_TRUE(region.contains(309, 219));
    EXPECT_FALSE(region.contains(310, 20));
    EXPECT_FALSE(region.contains(10, 220));
    EXPECT_FALSE(region.contains(9, 20));
    EXPECT_EQ(marksInside({{9, 20}, {10, 20}, {309, 219}, {310, 219}}, region),
              (std::vector<Mark>{{10, 20}, {309, 219}}));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "-1,0,5,5", "0,0,0,5", "0,0,5,0", "a,0,5,5", "0,0,5,99999"}) {
        PixelRegion untouched{1, 2, 3, 4};
        EXPECT_NE(parseRegionText(bad, untouched), "") << bad;
        EXPECT_EQ(untouched, (PixelRegion{1, 2, 3, 4})) << bad;
    }
}
