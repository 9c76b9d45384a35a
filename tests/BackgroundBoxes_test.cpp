#include "detect/BackgroundBoxes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace fs = std::filesystem;

TEST(BackgroundBoxes, FileBesideTheMarksKeepsEveryBoxInOrder)
{
    EXPECT_EQ(backgroundFileName("plate.jpg"), "c_plate.background.csv");
    EXPECT_EQ(backgroundFileName("c_plate.tif"), "c_plate.background.csv");
    const fs::path folder =
        fs::temp_directory_path() / ("spottally-bg-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    const std::vector<PixelRegion> boxes = {{0, 0, 1, 1}, {10, 20, 300, 40}, {65535, 0, 1, 65536}};
    const fs::path path = folder / "c_plate.background.csv";
    ASSERT_TRUE(writeBackgroundFile(path, boxes).saved());
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes, "x,y,width,height\n0,0,1,1\n10,20,300,40\n65535,0,1,65536\n");
    const BackgroundReading reading = readBackgroundFile(path);
    EXPECT_EQ(reading.error, "");
    EXPECT_EQ(reading.boxes, boxes);
    EXPECT_NE(readBackgroundFile(folder / "absent.csv").error.find("absent.csv"), std::string::npos);
    fs::remove_all(folder);
}

TEST(BackgroundBoxes, ABadLineRefusesTheWholeFileAndSaysWhere)
{
    // CR LF, a byte-order mark and blank lines are read as a spreadsheet writes them.
    const BackgroundReading good =
        parseBackgroundText("\xEF\xBB\xBFx,y,width,height\r\n\r\n1, 2, 3, 4\r\n", "b.csv");
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(good.boxes, (std::vector<PixelRegion>{{1, 2, 3, 4}}));
    struct Case {
        const char* text;
        const char* where;
    };
    const Case refused[] = {
        {"", "b.csv: empty"},
        {"x,y\n1,2\n", "line 1"},
        {"x,y,width,height\n1,2,3\n", "line 2"},
        {"x,y,width,height\n1,2,3,4\n1,2,0,4\n", "line 3"},
        {"x,y,width,height\n-1,2,3,4\n", "line 2"},
        {"x,y,width,height\n65535,0,2,1\n", "line 2"},  // reaches past the largest picture
        {"x,y,width,height\n1,2,3,4,5\n", "line 2"},
    };
    for (const Case& c : refused) {
        const BackgroundReading reading = parseBackgroundText(c.text, "b.csv");
        EXPECT_TRUE(reading.boxes.empty()) << c.text;
        EXPECT_NE(reading.error.find(c.where), std::string::npos) << c.text << " -> " << reading.error;
    }
}
